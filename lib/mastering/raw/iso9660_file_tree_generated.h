// Base of the lead-in, pre-gap and lead-out generators: an area of raw sectors with generated
// subchannel, built whole in memory by the constructor and read through the tree's chain, which
// holds exactly one memory file over the block.
#pragma once

#include <cstdint>
#include <memory>

#include "lib/mastering/iso9660/iso9660_file_tree.h"
#include "lib/mastering/tree/file_objects.h"

inline constexpr std::uint32_t kHalvorinRawPQSectorSize = 2368;
inline constexpr std::uint32_t kHalvorinRawPWSectorSize = 2448;
inline constexpr std::uint32_t kHalvorinLeadOutSectors = 6750;

class CHalvorin_ISO9660FileTreeGenerated : public CHalvorin_ISO9660FileTree {
 public:
  std::uint32_t GetSectorCount() const { return m__ULONG__SectorCount; }
  std::uint32_t GetSectorSize() const { return m__ULONG__SectorSize; }
  const std::uint8_t* GetMemory() const { return m__PUCHAR__Memory.get(); }

 protected:
  // Exception 4 with "<p__PCHAR__Constructor>(): m__PUCHAR__Memory == NULL!!!" when the block
  // cannot be had (the trace names p__PCHAR__TraceConstructor).
  CHalvorin_ISO9660FileTreeGenerated(const char* p__PCHAR__Constructor,
                                     const char* p__PCHAR__TraceConstructor,
                                     std::uint32_t p__ULONG__SectorCount,
                                     std::uint32_t p__ULONG__SectorSize);
  // Wraps the filled block in the chain's memory file; exception 4 with
  // "<constructor>(): <p__PCHAR__Member> == NULL!!!" when that cannot be made.
  void ChainMemory(const char* p__PCHAR__Member);

  std::uint8_t* Sector(std::uint32_t p__ULONG__Index) {
    return m__PUCHAR__Memory.get() +
           static_cast<std::size_t>(p__ULONG__Index) * m__ULONG__SectorSize;
  }
  // The 2352 main bytes of a generated sector at the LBA: zeros for audio; for data sync,
  // header and mode (2 with Mode 2, else 1), Mode 1 encoded over zero data, then scrambled.
  static void FormatMainData(std::uint8_t* p__PUCHAR__Sector, std::int32_t p__LONG__LBA,
                             bool p__BOOLEAN__IsData, bool p__BOOLEAN__IsMode2);
  // The PQ block as the sector's subchannel: 16 bytes, or packed into 96 raw P-W bytes.
  void PutSubchannel(std::uint8_t* p__PUCHAR__Sector, const std::uint8_t* p__PUCHAR__PQ) const;

 private:
  const char* m__PCHAR__Constructor;
  const char* m__PCHAR__TraceConstructor;
  std::uint32_t m__ULONG__SectorCount;
  std::uint32_t m__ULONG__SectorSize;
  std::unique_ptr<std::uint8_t[]> m__PUCHAR__Memory;
  std::unique_ptr<CHalvorin_MemoryFile> m__PCHalvorin_MemoryFile__Area;
};
