#include "app/engine/project/projects.h"

#include "app/engine/log.h"
#include "platform/fs/fs.h"
#include "platform/text/text.h"

std::unique_ptr<TProject> TProjects::New(std::string_view name) const {
  if (FindByName(name)) throw EProjectExists();
  auto project = std::make_unique<TProject>();
  project->Name = name;
  return project;
}

void TProjects::Add(std::unique_ptr<TProject> project) {
  if (project) projects_.push_back(std::move(project));
}

TProject* TProjects::FindByName(std::string_view name) const {
  for (const auto& project : projects_)
    if (platform::text::SameTextCI(project->Name, name)) return project.get();
  return nullptr;
}

std::unique_ptr<TProject> TProjects::Extract(std::string_view name) {
  for (auto it = projects_.begin(); it != projects_.end(); ++it) {
    if (platform::text::SameTextCI((*it)->Name, name)) {
      auto project = std::move(*it);
      projects_.erase(it);
      return project;
    }
  }
  return nullptr;
}

TProject* TProjects::Get(int index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return projects_[static_cast<size_t>(index)].get();
}

std::vector<std::string> TProjects::LoadFromFolder(const std::string& folder) {
  std::vector<std::string> damaged;
  std::vector<platform::fs::DirEntry> entries;
  try {
    entries = platform::fs::ListDirectory(folder + "*.bpj");
  } catch (const platform::fs::FsError& e) {
    // No projects folder yet is the normal first start.
    if (platform::fs::Exists(folder)) LogError(e.what());
    return damaged;
  }
  for (const auto& entry : entries) {
    const std::string path = folder + entry.name;
    auto skip = [&](std::string_view reason) {
      LogError("Project file " + path + " skipped: " + std::string(reason));
    };
    // Opening a FIFO or a device would block or read without end.
    if (entry.info.type != platform::fs::EntryType::Regular) {
      skip("not a regular file");
      continue;
    }
    try {
      platform::fs::File file(path, platform::fs::OpenMode::Read, platform::fs::Share::Exclusive);
      TFileStream stream(file);
      auto project = std::make_unique<TProject>();
      project->Name.clear();
      if (!project->LoadFromStream(stream)) {
        skip("it is damaged (cut short, or a record in it does not read)");
        damaged.push_back(path);
        continue;
      }
      if (project->Name.empty()) {
        skip("the project has no name");
        continue;
      }
      if (FindByName(project->Name)) {
        skip(EProjectExists().what());
        continue;
      }
      project->ProjectFile = path;
      Add(std::move(project));
    } catch (const std::exception& e) {
      skip(e.what());
    }
  }
  return damaged;
}
