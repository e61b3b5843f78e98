// A temporary folder for one test, removed with everything in it afterwards.
#pragma once

#include <string>

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Posix() const { return posix_; }  // "/tmp/qvtest-XXXXXX"
  std::string Win() const;                             // "Z:\tmp\qvtest-XXXXXX\"
  // POSIX path of a name inside the folder.
  std::string P(const std::string& name) const { return posix_ + "/" + name; }
  // Windows-form path of a name inside the folder ('/' in the name become '\').
  std::string W(const std::string& name) const;

 private:
  std::string posix_;
};

// Writes a file (creating parent folders); POSIX path.
void WriteFile(const std::string& posixPath, const std::string& content);
std::string ReadFile(const std::string& posixPath);
// Runs a shell command, returns its exit status; output goes to `output` when given.
int RunCommand(const std::string& command, std::string* output = nullptr);
