// One of a recorder's state texts, kept mapped: a command checks its opening line and rewrites it
// in memory, without a system call, while the text fits the file; a longer text grows the file
// through the descriptor. Other processes see the same pages. The file never shrinks: a shorter
// text is padded with blank lines, which the readers skip. The length known here is the file's
// own as long as every change to it is made under the recorder's lock and read back after a
// change by another process (ReadAll or Refresh); nothing else may write them meanwhile (a file
// cut shorter behind the recorder's back while mapped would fault on its next write).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/fs/fs.h"

namespace platform::aspi::vr {

// Opens a file of the recorder's folder for reading and writing, created empty when missing.
platform::fs::File OpenOrCreateFile(const std::string& path);

class StateFile {
 public:
  StateFile() = default;
  explicit StateFile(const std::string& path);  // opened, or created empty
  ~StateFile();
  StateFile(StateFile&& other) noexcept;
  StateFile& operator=(StateFile&& other) noexcept;
  StateFile(const StateFile&) = delete;
  StateFile& operator=(const StateFile&) = delete;

  bool IsOpen() const { return file_.IsOpen(); }
  int Descriptor() const { return file_.Descriptor(); }
  void Close();

  // The file's bytes as last read or written here; empty when it is empty or could not be mapped.
  std::string_view Mapped() const;
  // The whole file through the descriptor; its length is learnt from it.
  std::string ReadAll();
  // Learns the file's length after another process may have changed it.
  void Refresh();
  void Write(std::string text);

 private:
  void Map(std::size_t size);
  void Unmap() noexcept;

  platform::fs::File file_;
  char* map_ = nullptr;
  std::size_t mapped_ = 0;
  std::size_t size_ = 0;  // the file's length
};

}  // namespace platform::aspi::vr
