// What the fuzz targets share: a scratch folder of the process, made once and removed at exit.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fuzzing {

inline std::string MakeScratchFolder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/quorva-fuzz-XXXXXX";
  if (!mkdtemp(path.data())) std::abort();
  return path;
}

void RemoveScratchFolder();

// A fresh folder under $TMPDIR (or /tmp) for this process, removed when it exits.
inline const std::string& ScratchFolder() {
  static const std::string folder = MakeScratchFolder();
  // Registered once the folder's name stands, so it runs before the name is destroyed.
  static const bool removal = std::atexit(RemoveScratchFolder) == 0;
  (void)removal;
  return folder;
}

inline void RemoveScratchFolder() {
  std::error_code ec;
  std::filesystem::remove_all(ScratchFolder(), ec);
}

// The program folder, registry and XDG folders of the process all inside the scratch folder.
inline void UseScratchHome() {
  const std::string& f = ScratchFolder();
  setenv("QUORVA_HOME", (f + "/home").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (f + "/config").c_str(), 1);
  setenv("XDG_DATA_HOME", (f + "/data").c_str(), 1);
  std::filesystem::create_directories(f + "/home");
}

inline void WriteFile(const std::string& path, const void* data, std::size_t size) {
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
}

// The Windows form of a POSIX path.
inline std::string Win(const std::string& posix) {
  std::string w = "Z:" + posix;
  for (char& c : w)
    if (c == '/') c = '\\';
  return w;
}

}  // namespace fuzzing
