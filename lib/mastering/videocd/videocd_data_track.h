// The data track of a VideoCD or Super VideoCD disc: the template image from the library's
// folder with its variable fields patched for one MPEG file (its directory record, the volume
// space, the disc label and volume numbers, the Super VideoCD play time) and the optional
// additional file "ARCHIVE.dat" from the same folder. Read as 2048-byte blocks through the
// tree's chain; the Mode 2 views read it as 2336-byte units for session-at-once writing.
#pragma once

#include <cstdint>
#include <memory>

#include "lib/mastering/iso9660/iso9660_file_tree.h"
#include "lib/mastering/tree/file_objects.h"

class CHalvorin_VCDDATATrack : public CHalvorin_ISO9660FileTree {
 public:
  // The template is a file name in the library's folder (2 for any other name). Status 4 for
  // a template shorter than 598 sectors or no memory, 5 from the files, 2 for an MPEG file too
  // large for a disc.
  CHalvorin_VCDDATATrack(const char* p__PCHAR__MPEGPath, const char* p__PCHAR__Label,
                         std::uint32_t p__ULONG__Volumes, std::uint32_t p__ULONG__VolumeNumber,
                         const char* p__PCHAR__Template, std::uint32_t p__ULONG__PatchOffset);
  ~CHalvorin_VCDDATATrack() override;

  const std::uint8_t* GetImage() const { return m__PUCHAR__Memory.get(); }
  std::uint64_t GetMPEGSizeInUCHARs() const { return m__ULONGLONG__MPEGSizeInUCHARs; }
  // Units of 2324 payload bytes the MPEG file fills, its last one padded.
  std::uint64_t GetMPEGUnits() const;

 protected:
  CHalvorin_VCDDATATrack(const char* p__PCHAR__MPEGPath, const char* p__PCHAR__Label,
                         std::uint32_t p__ULONG__Volumes, std::uint32_t p__ULONG__VolumeNumber,
                         const char* p__PCHAR__Template, std::uint32_t p__ULONG__PatchOffset,
                         bool p__BOOLEAN__IsSuper);

 private:
  void Patch(const char* p__PCHAR__Label, std::uint32_t p__ULONG__Volumes,
             std::uint32_t p__ULONG__VolumeNumber, std::uint32_t p__ULONG__PatchOffset,
             bool p__BOOLEAN__IsSuper);
  // The first 2048 bytes of the additional file into the sector; false when it cannot be read.
  bool PatchAdditionalFile(std::uint32_t p__ULONG__Sector);

  std::unique_ptr<std::uint8_t[]> m__PUCHAR__Memory;
  std::unique_ptr<CHalvorin_MemoryFile> m__PCHalvorin_MemoryFile__DATATrack;
  std::uint64_t m__ULONGLONG__MPEGSizeInUCHARs = 0;
};

class CHalvorin_SVCDDATATrack : public CHalvorin_VCDDATATrack {
 public:
  CHalvorin_SVCDDATATrack(const char* p__PCHAR__MPEGPath, const char* p__PCHAR__Label,
                          std::uint32_t p__ULONG__Volumes, std::uint32_t p__ULONG__VolumeNumber,
                          const char* p__PCHAR__Template, std::uint32_t p__ULONG__PatchOffset);
};

// 2336-byte units: subheader 00 00 08 00 twice and the block.
class CHalvorin_VCDDATATrackMode2 : public CHalvorin_VCDDATATrack {
 public:
  using CHalvorin_VCDDATATrack::CHalvorin_VCDDATATrack;
  void Read(std::uint64_t p__ULONGLONG__Count, std::uint8_t* p__PUCHAR__Buffer) override;
  std::uint64_t GetSizeInUCHARs() override;
};

class CHalvorin_SVCDDATATrackMode2 : public CHalvorin_SVCDDATATrack {
 public:
  using CHalvorin_SVCDDATATrack::CHalvorin_SVCDDATATrack;
  void Read(std::uint64_t p__ULONGLONG__Count, std::uint8_t* p__PUCHAR__Buffer) override;
  std::uint64_t GetSizeInUCHARs() override;
};
