// File-system layer. Inside the program paths keep the Windows form ("Z:\home\ann\a.txt");
// this layer is the only place that converts them to POSIX paths and touches the disk.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace platform::fs {

class FsError : public std::runtime_error {
 public:
  FsError(const std::string& what, int err) : std::runtime_error(what), error_(err) {}
  int error() const { return error_; }  // errno, 0 when none applies

 private:
  int error_;
};

// "Z:\a\b" -> "/a/b"; "Z:" and "Z:\" -> "/". A path of another drive, a relative path or a
// UNC path has no POSIX form: std::nullopt.
std::optional<std::string> ToPosix(std::string_view winPath);
// As ToPosix, but throws FsError (EINVAL) for a path without a POSIX form.
std::string ToPosixOrThrow(std::string_view winPath);
// "/a/b" -> "Z:\a\b"; "/" -> "Z:\". A relative path is made absolute against the current folder.
std::string FromPosix(std::string_view posixPath);
// The full path of a Windows-form name as GetFullPathName makes it: every '/' becomes '\' (a
// POSIX name cannot hold '/', so it can only have been meant as a separator), and a name
// without a drive or a leading separator is taken from the current folder. Throws FsError:
// EINVAL for a name of another drive, a UNC path or an empty name; the current folder's error.
std::string FullPathName(std::string_view name);

// Windows wildcard match of a file name against a mask: '*' any run, '?' one character,
// case ignored; "*.*" and "*" match every name (also names without a dot).
bool MatchesMask(std::string_view name, std::string_view mask);

enum class EntryType { Regular, Directory, Other };

struct FileInfo {
  EntryType type = EntryType::Other;  // of the link's target for a symbolic link
  bool isSymlink = false;
  bool isBrokenLink = false;  // a symbolic link whose target does not exist
  std::uint64_t size = 0;
  std::int64_t mtimeSec = 0;  // last write, seconds since the Unix epoch (UTC)
  std::int32_t mtimeNsec = 0;
  std::int64_t atimeSec = 0;  // last access
  std::int64_t ctimeSec = 0;  // last change of the inode (contents or attributes)
  // Attributes of PLATFORM.md: H name starts with a dot, R not writable by the user,
  // A every regular file, S never.
  bool hidden = false;
  bool readOnly = false;
  bool archive = false;
  // ListDirectoryForReading alone sets it: the entry passed the check for reading.
  bool readable = false;
};

struct DirEntry {
  std::string name;  // the entry's own name, no folder
  FileInfo info;
  // errno of a look at the entry that failed; `info` is then empty but for the type of a file
  // the directory types (ListDirectoryBasic).
  int error = 0;
};

// Lists a folder with a mask: `pattern` is folder + mask ("Z:\data\*.*", "Z:\jobs\*.bpj").
// Every entry, hidden ones included, "." and ".." excluded, in the directory's own order.
// Throws FsError when the folder cannot be read.
std::vector<DirEntry> ListDirectory(std::string_view pattern);
// As ListDirectory, with `readable` set for the entries the user may both read and write (the
// check of readOnly then answers both); false leaves the read permission unknown.
std::vector<DirEntry> ListDirectoryForReading(std::string_view pattern);
// As ListDirectory without the attributes, for walks, each entry handed to `each` as it is read:
// folders the directory types come without a system call and with nothing else set (times 0);
// every other entry is looked at beside the open folder (one fstatat, no look-up of the whole
// path), for its type, size and times.
void ListDirectoryBasic(std::string_view pattern, const std::function<void(const DirEntry&)>& each);

// Information about one path, following symbolic links (a broken link reports isBrokenLink).
std::optional<FileInfo> Stat(std::string_view winPath);
// The creation (birth) time in seconds since the Unix epoch, following links; nullopt when the
// file system does not report one.
std::optional<std::int64_t> BirthTimeSec(std::string_view winPath);
// The same without the attributes (hidden, read only, archive stay false): one system call
// fewer, for the per-file work of large runs.
std::optional<FileInfo> StatBasic(std::string_view winPath);

bool Exists(std::string_view winPath);
bool IsDirectory(std::string_view winPath);
bool IsRegularFile(std::string_view winPath);

// Permanent delete (unlink); false when it failed.
bool DeleteFile(std::string_view winPath);
// Renames, replacing an existing target atomically; false when it failed.
bool RenameReplace(std::string_view from, std::string_view to);
// Makes the names in a folder durable (files made, renamed or removed there); false when it
// failed.
bool SyncFolder(std::string_view winPath);
// Creates the folder and its parents; true when it exists afterwards.
bool CreateDirectories(std::string_view winPath);
// Sets the last-write time.
bool SetModificationTime(std::string_view winPath, std::int64_t sec, std::int32_t nsec);

// A path itself, a final symbolic link not followed: which file it is and its permissions.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::uint32_t mode = 0;  // permission bits (07777)
  bool regular = false;    // a regular file, not a link to one
  // When the file was made, in nanoseconds since the Unix epoch, where the file system keeps
  // it: an inode number freed and given to a new file does not make that file the same.
  std::optional<std::int64_t> birthNsec;
};
std::optional<FileIdentity> Identify(std::string_view winPath);
// The same file: device, inode and birth time.
inline bool SameFile(const FileIdentity& a, const FileIdentity& b) {
  return a.device == b.device && a.inode == b.inode && a.birthNsec == b.birthNsec;
}
// Sets the permission bits of a regular file; false for a symbolic link or any other entry.
bool SetFileMode(std::string_view winPath, std::uint32_t mode);
// The permissions a newly created file gets: 0666 without the process's umask.
std::uint32_t DefaultFileMode();

enum class OpenMode {
  Read,          // existing regular file, read only
  ReadWrite,     // existing file, read and write
  CreateAlways,  // create or truncate, write (and read)
  CreateNew,     // create, fail when it exists
};

enum class Share {
  All,        // no lock
  ReadOnly,   // others may only read: a shared lock for readers, an exclusive one for writers
  Exclusive,  // nobody else may open it with a lock
};

// An open file (RAII). Locks are advisory (flock) and honoured by every user of this class.
class File {
 public:
  File() = default;
  // Throws FsError when the file cannot be opened or the lock is held by another. Read,
  // CreateAlways and CreateNew open regular files only (or create one) and never wait on the
  // name: a folder (EISDIR), a FIFO or a device (EINVAL, "not a regular file") is refused, a
  // socket as the system refuses it (ENXIO); the type is that of the file opened, so a name
  // replaced after a caller's check is caught, and nothing else is ever truncated. ReadWrite
  // opens whatever the name is, a device too.
  File(std::string_view winPath, OpenMode mode, Share share = Share::All);
  // Takes over an open descriptor (closed with the object); `winPath` names it in messages.
  File(int fd, std::string winPath) noexcept;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  const std::string& Path() const { return path_; }
  // Reads up to n bytes; returns the count read (0 at the end). Throws FsError on failure.
  size_t Read(void* buffer, size_t n);
  // Writes all n bytes or throws FsError (ENOSPC, EFBIG, ...).
  void Write(const void* buffer, size_t n);
  std::uint64_t Seek(std::int64_t offset, int whence);  // SEEK_SET, SEEK_CUR, SEEK_END
  std::uint64_t Position() const;
  std::uint64_t Size() const;
  void Truncate(std::uint64_t size);
  void Flush();  // fsync
  // Asks the system to start writing that range to the disk now, without waiting: a later
  // Flush then has little left to wait for. Quietly does nothing where it is not supported.
  void StartWriteBack(std::uint64_t offset, std::uint64_t length);
  // Through the descriptor: no path lookup. False when it failed.
  bool SetModificationTime(std::int64_t sec, std::int32_t nsec);
  bool SetMode(std::uint32_t mode);  // permission bits
  void Close();                      // throws FsError when the close reports a failed write
  int Descriptor() const { return fd_; }
  // Hands the descriptor to the caller, who closes it from then on; the object is left closed.
  int Release() noexcept;

 private:
  int fd_ = -1;
  std::string path_;
};

// BirthTimeSec of an open file, through its descriptor: no path lookup.
std::optional<std::int64_t> BirthTimeSec(const File& file);

// Reads a whole file; throws FsError.
std::vector<std::uint8_t> ReadWholeFile(std::string_view winPath);
// Writes a whole file under a temporary name beside it and renames it over the target.
void WriteWholeFileAtomic(std::string_view winPath, const void* data, size_t n);

// Path text helpers on the Windows form; '/' separates as '\' does (see FullPathName).
std::string ParentFolder(std::string_view winPath);  // up to and including the last '\', '/' or ':'
std::string FileNamePart(std::string_view winPath);  // after the last '\', '/' or ':'

}  // namespace platform::fs
