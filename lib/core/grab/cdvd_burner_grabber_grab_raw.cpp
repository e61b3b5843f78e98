// The raw read engine of the grab: whole 2352-byte sectors through READ CD, with no
// subchannel, formatted Q or raw P-W, each data sector checked (and corrected) by its EDC and
// parity, written as 2448-byte sectors whose Q channel is made anew from the TOC. The sectors
// at a track's end that the disc's own Q gives to the next track's pause are that track's: of
// its kind (an audio pause is not checked as data) and with its pre-gap Q, so that the image
// keeps the disc's pauses as they were.
#include <algorithm>
#include <cstring>

#include "lib/core/burner/cdvd_burner_grabber.h"
#include "lib/core/debug_trace.h"
#include "lib/core/grab/grab_file.h"
#include "lib/core/grab/grab_pass.h"
#include "lib/core/grab/grab_writer.h"
#include "lib/core/sector/lba_msf.h"
#include "lib/core/sector/sector_helpers.h"
#include "lib/mastering/raw/raw_subchannel.h"

namespace {

constexpr const char* kMethod = "CHalvorin_CdvdBurnerGrabber::GrabTrackRaw";
constexpr std::uint32_t kRaw = 2352;
constexpr std::uint32_t kRawPW = 2448;
constexpr std::uint32_t kChannel = 12;

struct ReadModeShape {
  std::uint32_t size;       // bytes a sector
  std::uint8_t subChannel;  // READ CD subchannel selection
};

ReadModeShape ShapeOf(std::uint32_t p__ULONG__ReadMode) {
  switch (p__ULONG__ReadMode) {
    case 2:
      return {2368, 2};
    case 3:
      return {kRawPW, 1};
    default:
      return {kRaw, 0};
  }
}

// Sectors read in `shape` become 2448-byte sectors with their subchannel in channel order
// (12 bytes each of P, Q, R ... W), last sector first so that the buffer can be widened in place.
void ToChannelOrder(std::uint8_t* p__PUCHAR__Buffer, std::uint32_t p__ULONG__Count,
                    std::uint32_t p__ULONG__ReadMode) {
  const ReadModeShape shape = ShapeOf(p__ULONG__ReadMode);
  for (std::uint32_t i = p__ULONG__Count; i-- > 0;) {
    std::uint8_t* to = p__PUCHAR__Buffer + static_cast<std::size_t>(i) * kRawPW;
    const std::uint8_t* from = p__PUCHAR__Buffer + static_cast<std::size_t>(i) * shape.size;
    std::uint8_t sub[96] = {};
    if (p__ULONG__ReadMode == 2) {
      std::memcpy(sub + kChannel, from + kRaw, kChannel);  // the Q frame of the PQ block
    } else if (p__ULONG__ReadMode == 3) {
      for (int symbol = 0; symbol < 96; ++symbol)
        for (int c = 0; c < 8; ++c)
          if ((from[kRaw + symbol] >> (7 - c)) & 1)
            sub[kChannel * c + symbol / 8] |= static_cast<std::uint8_t>(0x80 >> (symbol % 8));
    }
    std::memmove(to, from, kRaw);
    std::memcpy(to + kRaw, sub, sizeof sub);
  }
}

// A sector that could not be read: CCh over its body, the sync, its header and the mode byte
// given, an empty subchannel.
void FormatPatternSectors(std::uint8_t* p__PUCHAR__Buffer, std::uint32_t p__ULONG__Count,
                          std::int32_t p__LONG__LBA, std::uint8_t p__UCHAR__Mode) {
  for (std::uint32_t i = 0; i < p__ULONG__Count; ++i) {
    std::uint8_t* sector = p__PUCHAR__Buffer + static_cast<std::size_t>(i) * kRawPW;
    std::memset(sector, 0, kRawPW);
    std::memset(sector + 16, 0xCC, kRaw - 16);
    SetSectorSync(sector);
    LBAToMSFBCD(sector + 12, p__LONG__LBA + static_cast<std::int32_t>(i));
    sector[15] = p__UCHAR__Mode;
  }
}

std::uint8_t ModeByteOf(const TOC_TRACK_ENTRY& p__Track) {
  return p__Track.m__BOOLEAN__IsDataTrack ? p__Track.m__UCHAR__DataMode : 0;
}

// The kind the EDC/ECC check reads a sector of the track as: 1 or 2, 0 for none.
std::int32_t CheckKindOf(const TOC_TRACK_ENTRY& p__Track) {
  return p__Track.m__BOOLEAN__IsDataTrack &&
                 (p__Track.m__UCHAR__DataMode == 1 || p__Track.m__UCHAR__DataMode == 2)
             ? p__Track.m__UCHAR__DataMode
             : 0;
}

// Whether a sector read in `mode` carries a Q of the pause (INDEX 0) of track `number`.
bool IsPauseOf(const std::uint8_t* p__PUCHAR__Sector, std::uint32_t p__ULONG__ReadMode,
               std::int32_t p__LONG__Number) {
  std::uint8_t q[kChannel];
  if (p__ULONG__ReadMode == 2)
    std::memcpy(q, p__PUCHAR__Sector + kRaw, kChannel);
  else if (p__ULONG__ReadMode == 3)
    HalvorinI_UnpackSubQ(p__PUCHAR__Sector + kRaw, q);
  else
    return false;
  HalvorinI_SubQPosition position;
  return HalvorinI_ReadSubQPosition(q, &position) && position.m__LONG__Track == p__LONG__Number &&
         position.m__LONG__Index == 0;
}

}  // namespace

void CHalvorin_CdvdBurnerGrabber::GrabTrackRaw(const CHalvorin_GrabPass& p__Pass) {
  const TOC_INFORMATION& toc = *p__Pass.m__PTOC_INFORMATION__Toc;
  const std::int32_t index = p__Pass.m__LONG__TrackIndex;
  const TOC_TRACK_ENTRY& track = toc.m__TOC_TRACK_ENTRY__Tracks[index];
  // The track whose run-up ends this one: none at a session's end, whose last sectors belong
  // to this track as the ones before them.
  const TOC_TRACK_ENTRY* next = index + 1 < toc.m__UCHAR__NumberOfTracks
                                    ? &toc.m__TOC_TRACK_ENTRY__Tracks[index + 1]
                                    : nullptr;
  if (next && next->m__UCHAR__SessionNumber != track.m__UCHAR__SessionNumber) next = nullptr;
  const std::uint32_t depth = p__Pass.m__ULONG__NestingDepth;
  const std::int32_t start = depth ? p__Pass.m__LONG__StartLBA : track.m__LONG__StartLBA;
  const std::int32_t end = depth ? p__Pass.m__LONG__EndingLBA : track.m__LONG__EndLBA;
  DebugTrace("\n%s(): ENTERed for %ld - %ld, %ld, %ld, Ignore: %s, Force: %s\n", kMethod,
             static_cast<long>(start), static_cast<long>(end), static_cast<long>(depth),
             static_cast<long>(p__Pass.m__ULONG__RetryDepth),
             p__Pass.m__BOOLEAN__IsIgnore ? "Yes" : "No",
             p__Pass.m__BOOLEAN__IsForce ? "Yes" : "No");
  try {
    CHalvorin_GrabWriter& writer = *p__Pass.m__PCHalvorin_GrabWriter__Writer;
    const std::int32_t kind = CheckKindOf(track);
    const std::uint8_t control =
        toc.m__TOC_RAW_DESCRIPTOR__TrackDescriptors[index].m__UCHAR__ADR_CONTROL & 0x0F;
    const std::uint8_t tno = HalvorinI_Bcd(track.m__UCHAR__TrackNumber);
    const std::int32_t nextKind = next ? CheckKindOf(*next) : 0;
    const std::uint8_t nextControl =
        next ? toc.m__TOC_RAW_DESCRIPTOR__TrackDescriptors[index + 1].m__UCHAR__ADR_CONTROL & 0x0F
             : 0;
    const std::uint8_t nextTno = next ? HalvorinI_Bcd(next->m__UCHAR__TrackNumber) : 0;
    std::int32_t pauseStart = p__Pass.m__LONG__PauseStartLBA;
    bool isPause[kHalvorinGrabTransfer / kRawPW] = {};
    std::int32_t perTransfer = static_cast<std::int32_t>(kHalvorinGrabTransfer / kRawPW);
    if (depth > 0 || p__Pass.m__BOOLEAN__IsForce) perTransfer = 1;
    CHalvorin_GrabProgress progress(start, end);
    bool isNearTheEnd = false;
    const std::uint32_t deepest = p__Pass.m__ULONG__RetryDepth + 1;
    for (std::int32_t lba = start; lba <= end;) {
      std::int32_t count = std::min(perTransfer, end - lba + 1);
      const auto n = static_cast<std::uint32_t>(count);
      // The transfer's buffer, zeroed: written while the next ones are read, or given back.
      std::uint8_t* buffer = writer.Acquire(kMethod);
      CHalvorin_HeldGrabBuffer held{writer, buffer};
      std::uint32_t level = depth, mode = p__Pass.m__ULONG__ReadMode;
      bool isRead = false, isBad = false;
      const auto isGood = [&](std::uint8_t* p__PUCHAR__Sector, std::int32_t p__LONG__Kind) {
        return !p__LONG__Kind || m__CHalvorin_EDCECC.CheckLB(p__PUCHAR__Sector, p__LONG__Kind);
      };
      const auto attempt = [&] {
        const ReadModeShape shape = ShapeOf(mode);
        if (level > depth) std::fill(buffer, buffer + static_cast<std::size_t>(n) * kRawPW, 0);
        isRead = isBad = false;
        if (isNearTheEnd) return;
        try {
          ReadCD(0, static_cast<std::uint32_t>(lba), n, true, 3, true, true, 0, shape.subChannel,
                 buffer, n * shape.size);
          isRead = true;
        } catch (CHalvorin_Exception* p__PCHalvorin_Exception__Exception) {
          HalvorinI_WarnGrabReadFailure(kMethod, lba, count, p__PCHalvorin_Exception__Exception);
          // Only the whole track's pass: its last sectors are the run-up to the next track.
          if (depth == 0 && end - lba < kHalvorinGrabNearTheEnd) isNearTheEnd = true;
        }
        if (!isRead) return;
        for (std::uint32_t i = 0; i < n; ++i) {
          std::uint8_t* sector = buffer + static_cast<std::size_t>(i) * shape.size;
          const std::int32_t at = lba + static_cast<std::int32_t>(i);
          if (next && at < pauseStart && IsPauseOf(sector, mode, next->m__UCHAR__TrackNumber))
            pauseStart = at;
          isPause[i] = next && at >= pauseStart;
          bool good = isGood(sector, isPause[i] ? nextKind : kind);
          // A pause is burnt in the next track's form (disc-at-once) or, by a drive that writes
          // it with the track before, in this one's: bad only when it is neither.
          if (!good && isPause[i] && kind != nextKind) good = isGood(sector, kind);
          if (!good) isBad = true;
        }
      };
      attempt();
      // Below depth 0 a pass is one sector: its deeper passes are read here, one a level, so
      // that a large retry depth does not grow the stack.
      while ((!isRead || isBad) && level > 0 && level < deepest) {
        ThrowIfGrabCancelled(kMethod, lba);
        Callback(HALVORIN_CALLBACK_REASON_GRAB_SECTOR_RETRY, &lba, &count);
        ++level;
        if (isBad) mode = 1;
        attempt();
      }
      bool isWritten = false, isPattern = false;
      if (!isRead || isBad) {
        if (level < deepest && !isNearTheEnd) {
          Callback(HALVORIN_CALLBACK_REASON_GRAB_SECTOR_RETRY, &lba, &count);
          CHalvorin_GrabPass nested = p__Pass.Nested(lba, count);
          if (isBad) nested.m__ULONG__ReadMode = 1;
          nested.m__LONG__PauseStartLBA = pauseStart;
          writer.Release(buffer);
          held.buffer = nullptr;
          GrabTrackRaw(nested);
          isWritten = true;
        } else if (!p__Pass.m__BOOLEAN__IsIgnore) {
          HalvorinI_ThrowException(kHalvorinStatusGeneralFailure, 0,
                                   "%s(): LBA %ld cannot be recovered!!!", kMethod,
                                   static_cast<long>(lba));
        } else if (!isRead) {
          DebugTrace("\n%s(): Pattern will be generated for LBA %ld, %ld LBs, ( %ld - %ld ), %ld\n",
                     kMethod, static_cast<long>(lba), static_cast<long>(count),
                     static_cast<long>(level), static_cast<long>(deepest),
                     static_cast<long>(isNearTheEnd));
          Callback(HALVORIN_CALLBACK_REASON_GRAB_SECTOR_PATTERN, &lba, &count);
          FormatPatternSectors(buffer, n, lba,
                               isNearTheEnd && next ? ModeByteOf(*next) : ModeByteOf(track));
          isPattern = true;
        } else {
          DebugTrace(
              "\n%s(): Bad ECC/EDC sector detected for LBA %ld, %ld LBs, ( %ld - %ld ), %ld\n",
              kMethod, static_cast<long>(lba), static_cast<long>(count), static_cast<long>(level),
              static_cast<long>(deepest), static_cast<long>(isNearTheEnd));
          Callback(HALVORIN_CALLBACK_REASON_GRAB_SECTOR_BAD_KEPT, &lba, &count);
        }
      }
      if (!isWritten) {
        if (!isPattern) ToChannelOrder(buffer, n, mode);
        FormatQSubChannel(static_cast<std::uint32_t>(lba - track.m__LONG__StartLBA), lba, control,
                          tno, buffer, false, lba == track.m__LONG__StartLBA, true, n, false);
        // The next track's pause, read or the run-up's pattern in its place, in one pre-gap
        // form: counting down to 00:00:00 at its last sector, P set, as the disc reads.
        for (std::uint32_t i = 0; i < n; ++i) {
          const std::int32_t at = lba + static_cast<std::int32_t>(i);
          if (!next || !(isPattern ? isNearTheEnd : isPause[i])) continue;
          FormatQSubChannel(static_cast<std::uint32_t>(next->m__LONG__StartLBA - at - 1), at,
                            nextControl, nextTno, buffer + static_cast<std::size_t>(i) * kRawPW,
                            true, false, true, 1, true);
        }
        InterleaveSubChannels(buffer, n);
        if (depth == 0 && lba == start) SetPChannelOfRawSector(buffer);
        held.buffer = nullptr;
        writer.Submit(buffer, n * kRawPW, kMethod);
        ThrowIfGrabCancelled(kMethod, lba);
      }
      progress.m__ULONGLONG__Done += n;
      lba += count;
      if (lba > end) break;
      if (end - lba < kHalvorinGrabNearTheEnd) perTransfer = 1;
      ReportGrabProgress(p__Pass, progress);
    }
    if (!p__Pass.m__BOOLEAN__IsRetry) writer.Drain(kMethod);
  } catch (CHalvorin_Exception* p__PCHalvorin_Exception__Exception) {
    HalvorinI_TraceExitFailure(kMethod, p__PCHalvorin_Exception__Exception);
    throw;
  }
  DebugTrace("\n%s(): EXITing with success\n", kMethod);
}
