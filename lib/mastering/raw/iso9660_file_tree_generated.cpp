#include "lib/mastering/raw/iso9660_file_tree_generated.h"

#include <cstring>
#include <new>

#include "lib/core/debug_trace.h"
#include "lib/core/sector/sector_encoder.h"
#include "lib/core/sector/sector_helpers.h"
#include "lib/mastering/raw/raw_subchannel.h"

CHalvorin_ISO9660FileTreeGenerated::CHalvorin_ISO9660FileTreeGenerated(
    const char* p__PCHAR__Constructor, const char* p__PCHAR__TraceConstructor,
    std::uint32_t p__ULONG__SectorCount, std::uint32_t p__ULONG__SectorSize)
    : CHalvorin_ISO9660FileTree(nullptr, nullptr, false, false, false),
      m__PCHAR__Constructor(p__PCHAR__Constructor),
      m__PCHAR__TraceConstructor(p__PCHAR__TraceConstructor),
      m__ULONG__SectorCount(p__ULONG__SectorCount),
      m__ULONG__SectorSize(p__ULONG__SectorSize) {
  const std::size_t size = static_cast<std::size_t>(p__ULONG__SectorCount) * p__ULONG__SectorSize;
  m__PUCHAR__Memory.reset(new (std::nothrow) std::uint8_t[size > 0 ? size : 1]);
  if (!m__PUCHAR__Memory) {
    DebugTrace("\n%s(): m__PUCHAR__Memory == NULL!!!\n", m__PCHAR__TraceConstructor);
    HalvorinI_ThrowException(kHalvorinStatusOutOfMemory, 0, "%s(): m__PUCHAR__Memory == NULL!!!",
                             m__PCHAR__Constructor);
  }
}

void CHalvorin_ISO9660FileTreeGenerated::ChainMemory(const char* p__PCHAR__Member) {
  const std::uint64_t size =
      static_cast<std::uint64_t>(m__ULONG__SectorCount) * m__ULONG__SectorSize;
  m__PCHalvorin_MemoryFile__Area.reset(new (std::nothrow)
                                           CHalvorin_MemoryFile(m__PUCHAR__Memory.get(), size));
  if (!m__PCHalvorin_MemoryFile__Area) {
    m__PUCHAR__Memory.reset();
    DebugTrace("\n%s(): %s == NULL!!!\n", m__PCHAR__TraceConstructor, p__PCHAR__Member);
    HalvorinI_ThrowException(kHalvorinStatusOutOfMemory, 0, "%s(): %s == NULL!!!",
                             m__PCHAR__Constructor, p__PCHAR__Member);
  }
  AddChainTail(m__PCHalvorin_MemoryFile__Area.get());
  SeekToBegin();
}

void CHalvorin_ISO9660FileTreeGenerated::FormatMainData(std::uint8_t* p__PUCHAR__Sector,
                                                        std::int32_t p__LONG__LBA,
                                                        bool p__BOOLEAN__IsData,
                                                        bool p__BOOLEAN__IsMode2) {
  std::memset(p__PUCHAR__Sector, 0, 2352);
  if (!p__BOOLEAN__IsData) return;
  if (p__BOOLEAN__IsMode2) {
    SetSectorSync(p__PUCHAR__Sector);
    BuildSectorHeader(p__PUCHAR__Sector, kHalvorinSectorTypeMode2,
                      static_cast<std::uint32_t>(HalvorinI_SectorAddressOfLBA(p__LONG__LBA)));
  } else {
    EncodeSectorAtAddress(p__PUCHAR__Sector, kHalvorinSectorTypeMode1, p__LONG__LBA);
  }
  ScrambleSector(p__PUCHAR__Sector);
}

void CHalvorin_ISO9660FileTreeGenerated::PutSubchannel(std::uint8_t* p__PUCHAR__Sector,
                                                       const std::uint8_t* p__PUCHAR__PQ) const {
  if (m__ULONG__SectorSize == kHalvorinRawPQSectorSize)
    std::memcpy(p__PUCHAR__Sector + 2352, p__PUCHAR__PQ, 16);
  else
    PackSubchannelPQ(p__PUCHAR__PQ, p__PUCHAR__Sector + 2352);
}
