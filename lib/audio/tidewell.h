// The audio reader's function interface: start-up and shut-down, whether a file is supported,
// and a reader handle that delivers a file as 16-bit signed little-endian stereo PCM at
// 44,100 Hz (176,400 bytes a second). Every function returns a 32-bit status: 0 success,
// 87 bad pointer, bad magic or a header field out of line, 14 out of memory, 996 short read,
// otherwise the system error of the failing call or the reader's result (0x80070000 ORed with
// a system error, or the failing decoder's code). Nothing is thrown across these functions.
// Hidden inside libhalvorin: the library reaches the reader only through them.
#pragma once

#include <cstddef>
#include <cstdint>

class CTidewell_SyncFileReader;

inline constexpr std::uint32_t kTidewellStatusSuccess = 0;
inline constexpr std::uint32_t kTidewellStatusOutOfMemory = 14;
inline constexpr std::uint32_t kTidewellStatusHandleEof = 38;
inline constexpr std::uint32_t kTidewellStatusBadArgument = 87;
inline constexpr std::uint32_t kTidewellStatusBadFormat = 160;
inline constexpr std::uint32_t kTidewellStatusFileTooLarge = 223;
inline constexpr std::uint32_t kTidewellStatusShortRead = 996;

inline constexpr std::uint32_t kTidewellHeaderMagic = 0x48435244;
inline constexpr std::uint32_t kTidewellTailerMagic = 0x54435244;

// The handle record behind a reader handle: both magics around the owned reader (24 bytes
// here, the pointer being 8 bytes and aligned).
struct TIDEWELL_COMPRESSED_FILE_READER_OBJECT {
  std::uint32_t m__ULONG__HeaderMagic;
  CTidewell_SyncFileReader* m__PCTidewell_SyncFileReader;
  std::uint32_t m__ULONG__TailerMagic;
};
static_assert(sizeof(TIDEWELL_COMPRESSED_FILE_READER_OBJECT) == 24);

#pragma pack(push, 1)
struct TIDEWELL_WAVE_FORMAT_CHUNK {
  std::uint16_t m__USHORT__Format;
  std::uint16_t m__USHORT__Channels;
  std::uint32_t m__ULONG__SamplesPerSecond;
  std::uint32_t m__ULONG__AverageSamplesPerSecond;
  std::uint16_t m__USHORT__Alignment;
  std::uint16_t m__USHORT__BitsPerSample;
};

// The 44 bytes at the start of a canonical PCM WAV file, little-endian.
struct TIDEWELL_WAVE_FILE_HEADER {
  std::uint32_t m__ULONG__Riff;
  std::uint32_t m__ULONG__RiffSize;
  std::uint32_t m__ULONG__Wave;
  std::uint32_t m__ULONG__FormatTag;
  std::uint32_t m__ULONG__FormatLength;
  TIDEWELL_WAVE_FORMAT_CHUNK m__TIDEWELL_WAVE_FORMAT_CHUNK;
  std::uint32_t m__ULONG__DataTag;
  std::uint32_t m__ULONG__DataSize;
};
#pragma pack(pop)

static_assert(sizeof(TIDEWELL_WAVE_FORMAT_CHUNK) == 16);
static_assert(sizeof(TIDEWELL_WAVE_FILE_HEADER) == 44);
static_assert(offsetof(TIDEWELL_WAVE_FILE_HEADER, m__ULONG__Wave) == 8);
static_assert(offsetof(TIDEWELL_WAVE_FILE_HEADER, m__ULONG__FormatTag) == 12);
static_assert(offsetof(TIDEWELL_WAVE_FILE_HEADER, m__ULONG__FormatLength) == 16);
static_assert(offsetof(TIDEWELL_WAVE_FILE_HEADER, m__TIDEWELL_WAVE_FORMAT_CHUNK) == 20);
static_assert(offsetof(TIDEWELL_WAVE_FILE_HEADER, m__ULONG__DataTag) == 36);
static_assert(offsetof(TIDEWELL_WAVE_FILE_HEADER, m__ULONG__DataSize) == 40);

// Banner, trace settings from the registry, COM for the process.
std::uint32_t Tidewell_UpStart();
std::uint32_t Tidewell_DownShut();
// Reads "DebugLevel", "DebugFacility" and "DebugFileName" under HKLM
// "SOFTWARE\Veltrane\Tidewell"; a missing key or value keeps its default. Always 0.
std::uint32_t Tidewell_InitDebugSettings();

// 0 when the file is a canonical 44,100 Hz stereo 16-bit PCM WAV file or its extension is
// ".raw" (raw CD samples); paths in the Windows form.
std::uint32_t Tidewell_UncompressedFileSupportedIs(const char* p__PCHAR__UncompressedFileName);
// 0 when a reader handle can be made for the file (it is made and destroyed again).
std::uint32_t Tidewell_CompressedFileSupportedIs(const char* p__PCHAR__CompressedFileName);

// The handle is written only on success; a failed create leaves no handle and no open file.
std::uint32_t Tidewell_CompressedFileReaderObjectCreate(
    void** p__PPVOID__CompressedFileReaderObject, const char* p__PCHAR__CompressedFileName);
// Destroys reader and handle and sets the handle to null; a handle with a bad magic is left
// untouched (87).
std::uint32_t Tidewell_CompressedFileReaderObjectDestroy(
    void** p__PPVOID__CompressedFileReaderObject);
// Fills the buffer with exactly that many PCM bytes, or fails.
std::uint32_t Tidewell_CompressedFileReaderObjectRead(void* p__PVOID__CompressedFileReaderObject,
                                                      void* p__PVOID__ReadDataBuffer,
                                                      std::uint32_t p__ULONG__ReadSizeInUCHARs);
std::uint32_t Tidewell_CompressedFileReaderObjectBeginSeek(
    void* p__PVOID__CompressedFileReaderObject);
// The PCM size in bytes. For a file of the media runtime this decodes the whole file and
// leaves it at its end: rewind before reading.
std::uint32_t Tidewell_CompressedFileReaderObjectUncompressedSizeGet(
    void* p__PVOID__CompressedFileReaderObject, std::uint32_t* p__PULONG__UncompressedSizeInUCHARs);

// 0, or 87 with the first field out of line.
std::uint32_t Tidewell_WaveFileHeaderVerify(
    const TIDEWELL_WAVE_FILE_HEADER* p__PTIDEWELL_WAVE_FILE_HEADER);

// One log line: the function name directly followed by the formatted text. Levels: 0 failures
// and notable events, 1 entry and exit, 2 parameters, 3 progress counts.
void Tidewell_LogMessage(std::uint32_t p__ULONG__Level, const char* p__PCHAR__FunctionName,
                         const char* p__PCHAR__Format, ...) __attribute__((format(printf, 3, 4)));
std::uint32_t Tidewell_LogLevelSet(std::uint32_t p__ULONG__Level);
std::uint32_t Tidewell_LogFacilitySet(std::int32_t p__LONG__Facility);
// Taken only when not empty.
std::uint32_t Tidewell_LogFileNameSet(const char* p__PCHAR__FileName);
