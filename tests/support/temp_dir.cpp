#include "tests/support/temp_dir.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

TempDir::TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "qvtest-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  posix_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(posix_, ec);
}

std::string TempDir::Win() const { return W("") ; }

std::string TempDir::W(const std::string& name) const {
  std::string s = "Z:" + posix_ + "/" + name;
  for (char& c : s)
    if (c == '/') c = '\\';
  return s;
}

void WriteFile(const std::string& posixPath, const std::string& content) {
  std::filesystem::create_directories(std::filesystem::path(posixPath).parent_path());
  std::ofstream f(posixPath, std::ios::binary | std::ios::trunc);
  f << content;
  if (!f) throw std::runtime_error("cannot write " + posixPath);
}

std::string ReadFile(const std::string& posixPath) {
  std::ifstream f(posixPath, std::ios::binary);
  std::ostringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

int RunCommand(const std::string& command, std::string* output) {
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (!p) return -1;
  std::string out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  const int status = pclose(p);
  if (output) *output = out;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
