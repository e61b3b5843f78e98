#include "lib/core/sector/lba_msf.h"

#include "lib/core/debug_trace.h"

namespace {

constexpr std::uint8_t Bcd(std::uint32_t value) {
  return static_cast<std::uint8_t>(((value / 10) << 4) | (value % 10));
}

enum class Conversion { Exact, BeyondNinetyMinutes, OutOfRange };

// Binary minute, second and frame of the LBA.
Conversion Convert(std::int32_t lba, std::uint32_t& minute, std::uint32_t& second,
                   std::uint32_t& frame) {
  std::int64_t value;
  if (lba >= kHalvorinFirstLBA && lba <= kHalvorinLastLBA) {
    value = static_cast<std::int64_t>(lba) + 150;
  } else if (lba >= kHalvorinFirstLeadInLBA && lba < kHalvorinFirstLBA) {
    value = static_cast<std::int64_t>(lba) + 450150;
  } else {
    return Conversion::OutOfRange;
  }
  minute = static_cast<std::uint32_t>(value / 4500);
  second = static_cast<std::uint32_t>((value % 4500) / 75);
  frame = static_cast<std::uint32_t>(value % 75);
  return lba < kHalvorinNinetyMinutesLBA ? Conversion::Exact : Conversion::BeyondNinetyMinutes;
}

void Fill(std::uint8_t* msf, std::uint8_t m, std::uint8_t s, std::uint8_t f) {
  msf[0] = m;
  msf[1] = s;
  msf[2] = f;
}

}  // namespace

bool LBAToMSF(std::int32_t p__LONG__LBA, std::uint8_t* p__PUCHAR__MSF) {
  std::uint32_t minute = 0, second = 0, frame = 0;
  const Conversion c = Convert(p__LONG__LBA, minute, second, frame);
  if (c == Conversion::OutOfRange) {
    Fill(p__PUCHAR__MSF, 0xFF, 0xFF, 0xFF);
    return false;
  }
  Fill(p__PUCHAR__MSF, static_cast<std::uint8_t>(minute), static_cast<std::uint8_t>(second),
       static_cast<std::uint8_t>(frame));
  return c == Conversion::Exact;
}

bool LBAToMSFBCD(std::uint8_t* p__PUCHAR__MSF, std::int32_t p__LONG__LBA) {
  std::uint32_t minute = 0, second = 0, frame = 0;
  const Conversion c = Convert(p__LONG__LBA, minute, second, frame);
  if (c == Conversion::OutOfRange) {
    Fill(p__PUCHAR__MSF, 0xFF, 0xFF, 0xFF);
    DebugTrace("\nLBAToMSFBCD(): EXITing with failure, convertion is incorrect #1\n");
    return false;
  }
  Fill(p__PUCHAR__MSF, Bcd(minute), Bcd(second), Bcd(frame));
  if (c == Conversion::BeyondNinetyMinutes) {
    DebugTrace("\nLBAToMSFBCD(): EXITing with failure, convertion is incorrect #2\n");
    return false;
  }
  return true;
}

void FramesToMSFBCD(std::uint32_t p__ULONG__Frames, std::uint8_t* p__PUCHAR__MSF) {
  Fill(p__PUCHAR__MSF, Bcd(p__ULONG__Frames / 4500), Bcd((p__ULONG__Frames % 4500) / 75),
       Bcd(p__ULONG__Frames % 75));
}

std::uint64_t UCHARsToLBs(std::uint64_t p__ULONGLONG__UCHARs) {
  return p__ULONGLONG__UCHARs / 2048 + (p__ULONGLONG__UCHARs % 2048 ? 1 : 0);
}
