// The list of loaded projects, in the order loaded or added; it owns them.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "app/engine/project/project.h"

class EProjectExists : public std::runtime_error {
 public:
  EProjectExists() : std::runtime_error("Project exists") {}
};

class TProjects {
 public:
  // A new project with that name, not yet in the list. Throws EProjectExists when the list
  // holds the name already.
  std::unique_ptr<TProject> New(std::string_view name) const;
  // Appends; a null project is ignored.
  void Add(std::unique_ptr<TProject> project);
  // Project names ignore case.
  TProject* FindByName(std::string_view name) const;
  // Removes the first project of that name and hands it to the caller.
  std::unique_ptr<TProject> Extract(std::string_view name);
  TProject* Get(int index) const;
  int Count() const { return static_cast<int>(projects_.size()); }
  void Clear() { projects_.clear(); }

  // Appends every folder + "*.bpj" project in listing order. A file that cannot be opened, a
  // damaged project, a project without a name and one whose name is listed already are logged
  // and skipped. Returns the damaged ones' files: left unlisted, nothing is ever saved over them.
  std::vector<std::string> LoadFromFolder(const std::string& folder);

 private:
  std::vector<std::unique_ptr<TProject>> projects_;
};
