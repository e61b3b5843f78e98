// Readable byte sources of a fixed 64-bit size, read back to back through a CHalvorin_FileChain.
#pragma once

#include <cstdint>
#include <string>

#include "lib/core/halvorin_object.h"

class CHalvorin_FileChain;
class CHalvorin_ProbeFolder;

class CHalvorin_File : public CHalvorin_Object {
 public:
  // Delivers count bytes starting in p__PCHalvorin_File__Start and the files behind it; returns
  // the file the read ended in. Bytes a source does not deliver (padding) read as zeros.
  static CHalvorin_File* Read(CHalvorin_File* p__PCHalvorin_File__Start,
                              std::uint64_t p__ULONGLONG__Count, std::uint8_t* p__PUCHAR__Buffer);

  // Rewinds this file and, while the budget lasts, the files behind it; returns the file the
  // budget ran out at, or null when the chain's end was reached.
  virtual CHalvorin_File* SeekToBeginUnsafe(std::int32_t* p__PLONG__Budget);

  std::uint64_t GetSizeInUCHARs() const { return m__ULONGLONG__SizeInUCHARs; }
  std::uint64_t GetPositionInUCHARs() const { return m__ULONGLONG__PositionInUCHARs; }
  CHalvorin_File* GetNext() const { return m__PCHalvorin_File__Next; }
  bool IsAudio() const { return m__BOOLEAN__IsAudio != 0; }
  bool IsUnits() const { return m__BOOLEAN__IsUnits != 0; }

 protected:
  CHalvorin_File() = default;
  // Delivers the next count bytes into a buffer whose bytes past CoveredByRealRead(count) are
  // already zeroed.
  virtual void RealRead(std::uint64_t p__ULONGLONG__Count, std::uint8_t* p__PUCHAR__Buffer) = 0;
  // How many leading bytes of the next count a RealRead writes in full, so Read need not zero
  // them first; 0 unless the source says so.
  virtual std::uint64_t CoveredByRealRead(std::uint64_t) const { return 0; }

  CHalvorin_File* m__PCHalvorin_File__Next = nullptr;
  std::uint8_t m__BOOLEAN__IsAudio = 0;
  std::uint8_t m__BOOLEAN__IsUnits = 0;
  std::uint64_t m__ULONGLONG__SizeInUCHARs = 0;
  std::uint64_t m__ULONGLONG__PositionInUCHARs = 0;

  friend class CHalvorin_FileChain;
};

// The caller's block (not owned), followed by zeros up to the file's size; never a byte past
// the block.
class CHalvorin_MemoryFile : public CHalvorin_File {
 public:
  CHalvorin_MemoryFile(const std::uint8_t* p__PUCHAR__Block, std::uint64_t p__ULONGLONG__Size);
  CHalvorin_MemoryFile(const std::uint8_t* p__PUCHAR__Block, std::uint64_t p__ULONGLONG__BlockSize,
                       std::uint64_t p__ULONGLONG__Size);

 protected:
  void RealRead(std::uint64_t p__ULONGLONG__Count, std::uint8_t* p__PUCHAR__Buffer) override;
  std::uint64_t CoveredByRealRead(std::uint64_t p__ULONGLONG__Count) const override;

 private:
  const std::uint8_t* m__PUCHAR__Block;
  std::uint64_t m__ULONGLONG__BlockSizeInUCHARs;
};

// A file on disk. It delivers its data bytes and then zeros up to its size; a file that ends
// before its data bytes are delivered is a failure, never zeros reported as success.
class CHalvorin_DiskFile : public CHalvorin_File {
 public:
  CHalvorin_DiskFile(const char* p__PCHAR__Path, std::uint64_t p__ULONGLONG__Size);
  // As above, with data bytes fewer than the size: the rest is padding.
  CHalvorin_DiskFile(const char* p__PCHAR__Path, std::uint64_t p__ULONGLONG__DataSize,
                     std::uint64_t p__ULONGLONG__Size);
  // Duplicates the caller's descriptor; the caller keeps its own.
  CHalvorin_DiskFile(int p__HANDLE__File, std::uint64_t p__ULONGLONG__Size);
  explicit CHalvorin_DiskFile(const char* p__PCHAR__Path);
  ~CHalvorin_DiskFile() override;

  CHalvorin_File* SeekToBeginUnsafe(std::int32_t* p__PLONG__Budget) override;

 protected:
  struct NoOpen {};
  CHalvorin_DiskFile(NoOpen) {}
  void OpenPath(const char* p__PCHAR__Path, const char* p__PCHAR__Method);
  // Fails as OpenPath does when the path cannot be opened for reading, holding no handle; a
  // folder given resolves a path under it from there.
  static void ProbePath(const char* p__PCHAR__Path, const char* p__PCHAR__Method,
                        const CHalvorin_ProbeFolder* p__PCHalvorin_ProbeFolder = nullptr);
  void CloseHandle();
  void RewindHandle();
  // Reads up to count bytes at the handle's position; the count delivered (short at the end).
  std::uint64_t ReadHandle(std::uint64_t p__ULONGLONG__Count, std::uint8_t* p__PUCHAR__Buffer);
  void RealRead(std::uint64_t p__ULONGLONG__Count, std::uint8_t* p__PUCHAR__Buffer) override;
  std::uint64_t CoveredByRealRead(std::uint64_t p__ULONGLONG__Count) const override;

  int m__HANDLE__File = -1;
  std::uint64_t m__ULONGLONG__DataSizeInUCHARs = 0;
};

// A disk file that holds its handle only while it is being read, so that a tree of thousands
// of files does not hold thousands of handles.
class CHalvorin_UnLockedDiskFile : public CHalvorin_DiskFile {
 public:
  CHalvorin_UnLockedDiskFile(const char* p__PCHAR__Path, std::uint64_t p__ULONGLONG__Size);
  // The probe at construction resolves the path from the folder where one is given.
  CHalvorin_UnLockedDiskFile(const char* p__PCHAR__Path, std::uint64_t p__ULONGLONG__DataSize,
                             std::uint64_t p__ULONGLONG__Size,
                             const CHalvorin_ProbeFolder* p__PCHalvorin_ProbeFolder = nullptr);

  CHalvorin_File* SeekToBeginUnsafe(std::int32_t* p__PLONG__Budget) override;
  void Open();
  void Close() { CloseHandle(); }
  // The read probe of the rewinds to come, done now from the folder: true when the file is
  // readable, and those rewinds skip their own probe until ForgetRewindProbe. A file holding
  // its handle needs none.
  bool ProbeForRewind(const CHalvorin_ProbeFolder& p__CHalvorin_ProbeFolder__Folder);
  void ForgetRewindProbe() { m__BOOLEAN__IsProbedForRewind = false; }
  const std::string& GetPath() const { return m__STRING__Path; }

 protected:
  void RealRead(std::uint64_t p__ULONGLONG__Count, std::uint8_t* p__PUCHAR__Buffer) override;

 private:
  std::uint64_t m__ULONGLONG__ReadInUCHARs = 0;
  std::string m__STRING__Path;
  bool m__BOOLEAN__IsProbedForRewind = false;
};

// An audio file decoded to CD samples (16-bit stereo at 44,100 Hz) by the audio reader. Its
// size is the reader's PCM size; a failure of the reader is status 5 with the reader's status
// as the detail.
class CHalvorin_TidewellFile : public CHalvorin_DiskFile {
 public:
  explicit CHalvorin_TidewellFile(const char* p__PCHAR__Path);
  ~CHalvorin_TidewellFile() override;

  CHalvorin_File* SeekToBeginUnsafe(std::int32_t* p__PLONG__Budget) override;

 protected:
  void RealRead(std::uint64_t p__ULONGLONG__Count, std::uint8_t* p__PUCHAR__Buffer) override;
  std::uint64_t CoveredByRealRead(std::uint64_t) const override { return 0; }

 private:
  void* m__PVOID__TidewellReader = nullptr;  // the audio reader's handle
};

// An MPEG-1/2 file cut into 2332-byte Mode 2 Form 2 units (8 subheader bytes and 2324 payload
// bytes); a last partial payload is padded with zeros to a whole unit.
class CHalvorin_MPEG12DiskFile : public CHalvorin_DiskFile {
 public:
  static constexpr std::uint64_t kUnit = 2332;
  static constexpr std::uint64_t kPayload = 2324;
  explicit CHalvorin_MPEG12DiskFile(const char* p__PCHAR__Path);

  CHalvorin_File* SeekToBeginUnsafe(std::int32_t* p__PLONG__Budget) override;

 protected:
  void RealRead(std::uint64_t p__ULONGLONG__Count, std::uint8_t* p__PUCHAR__Buffer) override;
  std::uint64_t CoveredByRealRead(std::uint64_t) const override { return 0; }

 private:
  std::uint64_t m__ULONGLONG__HandlePosition = 0;
};

// A run of empty Mode 2 Form 2 units.
class CHalvorin_MPEG12ZeroFile : public CHalvorin_File {
 public:
  explicit CHalvorin_MPEG12ZeroFile(std::uint64_t p__ULONGLONG__Size);

 protected:
  void RealRead(std::uint64_t p__ULONGLONG__Count, std::uint8_t* p__PUCHAR__Buffer) override;
};
