// The WAV header check and the test for files the reader takes without decoding.
#include <cctype>
#include <cstring>
#include <string_view>

#include "lib/audio/tidewell.h"
#include "lib/audio/tidewell_trace.h"
#include "platform/fs/fs.h"

namespace {

constexpr std::uint32_t kRiff = 0x46464952;    // "RIFF"
constexpr std::uint32_t kWave = 0x45564157;    // "WAVE"
constexpr std::uint32_t kFormat = 0x20746D66;  // "fmt "
constexpr std::uint32_t kData = 0x61746164;    // "data"
constexpr std::uint64_t kMaxPcmSize = 0xFFFFFFFFu;

std::uint32_t Mismatch(const char* p__PCHAR__FunctionName, const char* p__PCHAR__Format,
                       std::uint32_t p__ULONG__Found, std::uint32_t p__ULONG__Wanted) {
  Tidewell_LogMessage(kTidewellLevelNotable, p__PCHAR__FunctionName, p__PCHAR__Format,
                      p__ULONG__Found, p__ULONG__Wanted, kTidewellStatusBadArgument,
                      kTidewellStatusBadArgument);
  return kTidewellStatusBadArgument;
}

}  // namespace

bool TidewellI_IsRawFileName(const char* p__PCHAR__FileName) {
  if (!p__PCHAR__FileName) return false;
  const std::string_view name(p__PCHAR__FileName);
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || name.find_first_of("\\/:", dot) != std::string_view::npos)
    return false;
  const std::string_view extension = name.substr(dot + 1);
  return extension.size() == 3 && std::toupper(static_cast<unsigned char>(extension[0])) == 'R' &&
         std::toupper(static_cast<unsigned char>(extension[1])) == 'A' &&
         std::toupper(static_cast<unsigned char>(extension[2])) == 'W';
}

std::uint32_t Tidewell_WaveFileHeaderVerify(
    const TIDEWELL_WAVE_FILE_HEADER* p__PTIDEWELL_WAVE_FILE_HEADER) {
  constexpr const char* kName = "Tidewell_WaveFileHeaderVerify";
  return TidewellI_Run(kName, [&]() -> std::uint32_t {
    const TIDEWELL_WAVE_FILE_HEADER* h = p__PTIDEWELL_WAVE_FILE_HEADER;
    Tidewell_LogMessage(kTidewellLevelParameters, kName,
                        "(): p__PTIDEWELL_WAVE_FILE_HEADER == 0x%p\n", static_cast<const void*>(h));
    if (!h) {
      TidewellI_LogBadPointer(kName, "IsBadReadPtr", h, sizeof *h);
      return kTidewellStatusBadArgument;
    }
    const TIDEWELL_WAVE_FORMAT_CHUNK& f = h->m__TIDEWELL_WAVE_FORMAT_CHUNK;
    struct Check {
      std::uint32_t found;
      std::uint32_t wanted;
      const char* format;
    };
    const Check checks[] = {
        {h->m__ULONG__Riff, kRiff,
         "(): m__ULONG__Riff == 0x%x instead of 0x%x, status %d ( 0x%x )\n"},
        {h->m__ULONG__Wave, kWave,
         "(): m__ULONG__Wave == 0x%x instead of 0x%x, status %d ( 0x%x )\n"},
        {h->m__ULONG__FormatTag, kFormat,
         "(): m__ULONG__Wave == 0x%x instead of 0x%x, status %d ( 0x%x )\n"},
        {h->m__ULONG__FormatLength, 16,
         "(): m__ULONG__FormatLength == %d instead of %d, status %d ( 0x%x )\n"},
        {f.m__USHORT__Format, 1,
         "(): m__TIDEWELL_WAVE_FORMAT_CHUNK.m__USHORT__Format == %d instead of %d, status %d ( "
         "0x%x )\n"},
        {f.m__USHORT__Channels, 2,
         "(): m__TIDEWELL_WAVE_FORMAT_CHUNK.m__USHORT__Channels == %d instead of %d, status %d ( "
         "0x%x )\n"},
        {f.m__ULONG__SamplesPerSecond, 44100,
         "(): m__TIDEWELL_WAVE_FORMAT_CHUNK.m__ULONG__SamplesPerSecond == %d instead of %d, "
         "status %d ( 0x%x )\n"},
        {f.m__ULONG__AverageSamplesPerSecond, 176400,
         "(): m__TIDEWELL_WAVE_FORMAT_CHUNK.m__ULONG__AverageSamplesPerSecond == %d instead of "
         "%d, status %d ( 0x%x )\n"},
        {f.m__USHORT__Alignment, 4,
         "(): m__TIDEWELL_WAVE_FORMAT_CHUNK.m__USHORT__Alignment == %d instead of %d, status %d "
         "( 0x%x )\n"},
        {f.m__USHORT__BitsPerSample, 16,
         "(): m__TIDEWELL_WAVE_FORMAT_CHUNK.m__USHORT__BitsPerSample == %d instead of %d, status "
         "%d ( 0x%x )\n"},
        {h->m__ULONG__DataTag, kData,
         "(): m__ULONG__DataTag == %d instead of %d, status %d ( 0x%x )\n"},
    };
    for (const Check& c : checks)
      if (c.found != c.wanted) return Mismatch(kName, c.format, c.found, c.wanted);
    return kTidewellStatusSuccess;
  });
}

std::uint32_t Tidewell_UncompressedFileSupportedIs(const char* p__PCHAR__UncompressedFileName) {
  constexpr const char* kName = "Tidewell_UncompressedFileSupportedIs";
  const char* name = p__PCHAR__UncompressedFileName;
  return TidewellI_Run(kName, [&]() -> std::uint32_t {
    Tidewell_LogMessage(kTidewellLevelParameters, kName,
                        "(): p__PCHAR__UncompressedFileName == '%s' ( 0x%p )\n",
                        name ? name : "(null)", static_cast<const void*>(name));
    if (!name) {
      TidewellI_LogBadPointer(kName, "IsBadReadPtr", name, 1);
      return kTidewellStatusBadArgument;
    }
    platform::fs::File file;
    try {
      file = platform::fs::File(name, platform::fs::OpenMode::Read);
    } catch (const platform::fs::FsError&) {
      const std::uint32_t status = TidewellI_StatusOfCaughtException();
      Tidewell_LogMessage(kTidewellLevelNotable, kName,
                          "(): CreateFileA( '%s', GENERIC_READ, FILE_SHARE_READ, NULL, "
                          "OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL ) failed, status %d ( 0x%x "
                          ")\n",
                          name, static_cast<int>(status), status);
      return status;
    }
    if (TidewellI_IsRawFileName(name)) {
      // Raw samples from the first byte to the last; beyond 32 bits the size cannot be told.
      const std::uint64_t size = file.Size();
      if (size > kMaxPcmSize) {
        Tidewell_LogMessage(kTidewellLevelNotable, kName,
                            "(): RAW stream '%s' holds %llu UCHARs, more than %llu, status %d ( "
                            "0x%x )\n",
                            name, static_cast<unsigned long long>(size),
                            static_cast<unsigned long long>(kMaxPcmSize),
                            kTidewellStatusFileTooLarge, kTidewellStatusFileTooLarge);
        return kTidewellStatusFileTooLarge;
      }
      Tidewell_LogMessage(kTidewellLevelNotable, kName,
                          "(): Uncompressed RAW stream detected for file '%s', status %d ( 0x%x "
                          ")\n",
                          name, 0, 0);
      return kTidewellStatusSuccess;
    }
    TIDEWELL_WAVE_FILE_HEADER header{};
    std::size_t got = 0;
    try {
      got = file.Read(&header, sizeof header);
    } catch (const platform::fs::FsError&) {
      const std::uint32_t status = TidewellI_StatusOfCaughtException();
      Tidewell_LogMessage(kTidewellLevelNotable, kName,
                          "(): ReadFile( 0x%x, 0x%p, %d, 0x%p, NULL ) failed, status %d ( 0x%x "
                          ")\n",
                          file.Descriptor(), static_cast<void*>(&header),
                          static_cast<int>(sizeof header), static_cast<void*>(&got),
                          static_cast<int>(status), status);
      return status;
    }
    if (got < sizeof header) {
      Tidewell_LogMessage(kTidewellLevelNotable, kName,
                          "(): ReadFile( 0x%x, 0x%p, %d, 0x%p, NULL ) failed, read only %d "
                          "instead of %d UCHARs, status %d ( 0x%x )\n",
                          file.Descriptor(), static_cast<void*>(&header),
                          static_cast<int>(sizeof header), static_cast<void*>(&got),
                          static_cast<int>(got), static_cast<int>(sizeof header),
                          kTidewellStatusShortRead, kTidewellStatusShortRead);
      return kTidewellStatusShortRead;
    }
    const std::uint32_t status = Tidewell_WaveFileHeaderVerify(&header);
    if (status != kTidewellStatusSuccess) {
      Tidewell_LogMessage(kTidewellLevelNotable, kName,
                          "(): Tidewell_WaveFileHeaderVerify( 0x%p ) failed, status %d ( 0x%x )\n",
                          static_cast<void*>(&header), static_cast<int>(status), status);
      return status;
    }
    return kTidewellStatusSuccess;
  });
}
