// Image descriptor files ("MEDIA DESCRIPTOR"): the records that say how the data files of a
// grabbed disc map onto it, the reader of a CD descriptor, the check of an image data file and
// the WAVE header of a grabbed audio track. Every multi-byte field is little-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "halvorin.h"
#include "lib/core/path_limit.h"

#pragma pack(push, 1)

struct MEDIA_DESCRIPTOR {
  char m__CHAR__Signature[16];  // "MEDIA DESCRIPTOR", no terminator
  std::uint8_t m__UCHAR__VersionMajor;
  std::uint8_t m__UCHAR__VersionMinor;
  std::uint16_t m__USHORT__MediumType;  // 0 CD, 10h DVD
  std::uint16_t m__USHORT__NumberOfSessions;
  std::uint16_t m__USHORT__Unknown;  // 2
  std::uint8_t m__UCHAR__Reserved24[40];
  std::uint32_t m__ULONG__LayerOffset;  // DVD: the first LAYER_DESCRIPTOR
  std::uint8_t m__UCHAR__Reserved68[12];
  std::uint32_t m__ULONG__SessionOffset;
  std::uint32_t m__ULONG__Reserved84;
};

struct SESSION_DESCRIPTOR {
  std::int32_t m__LONG__StartSector;  // -150 for the disc's first track
  std::int32_t m__LONG__EndSector;    // one past the session's last sector
  std::uint16_t m__USHORT__SessionNumber;
  std::uint8_t m__UCHAR__NumberOfDescriptors;
  std::uint8_t m__UCHAR__Unknown;  // 3
  std::uint16_t m__USHORT__FirstTrack;
  std::uint16_t m__USHORT__LastTrack;
  std::uint32_t m__ULONG__Reserved16;
  std::uint32_t m__ULONG__TrackOffset;  // the session's first TRACK_DESCRIPTOR
};

struct TRACK_DESCRIPTOR {
  std::uint8_t m__UCHAR__Mode;        // E9h audio, EAh Mode 1, ECh/EDh Mode 2 Form 1/2; 0
  std::uint8_t m__UCHAR__SubChannel;  // 08h for a track
  std::uint8_t m__UCHAR__ADR_CONTROL;
  std::uint8_t m__UCHAR__TNO;
  std::uint8_t m__UCHAR__POINT;
  std::uint8_t m__UCHAR__Min;
  std::uint8_t m__UCHAR__Sec;
  std::uint8_t m__UCHAR__Frame;
  std::uint8_t m__UCHAR__Zero;
  std::uint8_t m__UCHAR__PMIN;
  std::uint8_t m__UCHAR__PSEC;
  std::uint8_t m__UCHAR__PFRAME;
  std::uint32_t m__ULONG__IndexOffset;  // CD: its Indexes record; DVD: end LBA + 1
  std::uint16_t m__USHORT__SectorSize;
  std::uint8_t m__UCHAR__Unknown;  // CD: 2
  std::uint8_t m__UCHAR__Reserved19[17];
  std::uint32_t m__ULONG__StartLBA;
  std::uint64_t m__ULONGLONG__StartOffset;  // byte offset of the track in the data file
  std::uint32_t m__ULONG__NumberOfFiles;
  std::uint32_t m__ULONG__FileOffset;  // its first FILE_DESCRIPTOR
  std::uint8_t m__UCHAR__Reserved56[24];
};

struct TRACK_INDEXES {
  std::uint32_t m__ULONG__Index0;  // sectors of index 0
  std::uint32_t m__ULONG__Index1;  // sectors of index 1
};

struct FILE_DESCRIPTOR {
  std::uint32_t m__ULONG__NameOffset;
  std::uint32_t m__ULONG__Reserved4;
  std::uint32_t m__ULONG__TrackLengthInLBs;  // CD only
  std::uint32_t m__ULONG__Reserved12;
};

struct LAYER_DESCRIPTOR {
  std::uint8_t m__UCHAR__ProtectionSystemType;
  std::uint8_t m__UCHAR__RegionManagement;
  std::uint8_t m__UCHAR__DiscManufacturingInformation[2048];
  std::uint8_t m__UCHAR__Reserved2050[2];
  std::uint8_t m__UCHAR__PhysicalFormatInformation[17];
  std::uint8_t m__UCHAR__Reserved2069[2031];
};

struct WAVE_FILE_HEADER {
  char m__CHAR__Riff[4];
  std::uint32_t m__ULONG__RiffSize;  // data size + 36
  char m__CHAR__Wave[4];
  char m__CHAR__Fmt[4];
  std::uint32_t m__ULONG__FmtSize;  // 16
  std::uint16_t m__USHORT__FormatTag;
  std::uint16_t m__USHORT__Channels;
  std::uint32_t m__ULONG__SamplesPerSecond;
  std::uint32_t m__ULONG__BytesPerSecond;
  std::uint16_t m__USHORT__BlockAlign;
  std::uint16_t m__USHORT__BitsPerSample;
  char m__CHAR__Data[4];
  std::uint32_t m__ULONG__DataSize;
};

#pragma pack(pop)

static_assert(sizeof(MEDIA_DESCRIPTOR) == 88, "MEDIA_DESCRIPTOR is 88 bytes");
static_assert(offsetof(MEDIA_DESCRIPTOR, m__USHORT__MediumType) == 18, "medium type at 18");
static_assert(offsetof(MEDIA_DESCRIPTOR, m__ULONG__LayerOffset) == 64, "layers at 64");
static_assert(offsetof(MEDIA_DESCRIPTOR, m__ULONG__SessionOffset) == 80, "sessions at 80");
static_assert(sizeof(SESSION_DESCRIPTOR) == 24, "SESSION_DESCRIPTOR is 24 bytes");
static_assert(offsetof(SESSION_DESCRIPTOR, m__UCHAR__NumberOfDescriptors) == 10, "count at 10");
static_assert(offsetof(SESSION_DESCRIPTOR, m__ULONG__TrackOffset) == 20, "tracks at 20");
static_assert(sizeof(TRACK_DESCRIPTOR) == 80, "TRACK_DESCRIPTOR is 80 bytes");
static_assert(offsetof(TRACK_DESCRIPTOR, m__ULONG__IndexOffset) == 12, "indexes at 12");
static_assert(offsetof(TRACK_DESCRIPTOR, m__ULONG__StartLBA) == 36, "start LBA at 36");
static_assert(offsetof(TRACK_DESCRIPTOR, m__ULONGLONG__StartOffset) == 40, "offset at 40");
static_assert(offsetof(TRACK_DESCRIPTOR, m__ULONG__FileOffset) == 52, "files at 52");
static_assert(sizeof(TRACK_INDEXES) == 8, "Indexes is 8 bytes");
static_assert(sizeof(FILE_DESCRIPTOR) == 16, "FILE_DESCRIPTOR is 16 bytes");
static_assert(sizeof(LAYER_DESCRIPTOR) == 4100, "LAYER_DESCRIPTOR is 4100 bytes");
static_assert(offsetof(LAYER_DESCRIPTOR, m__UCHAR__PhysicalFormatInformation) == 2052,
              "physical format information at 2052");
static_assert(sizeof(WAVE_FILE_HEADER) == 44, "WAVE_FILE_HEADER is 44 bytes");

inline constexpr std::uint16_t kHalvorinMediumTypeCD = 0x00;
inline constexpr std::uint16_t kHalvorinMediumTypeDVD = 0x10;
inline constexpr std::uint32_t kHalvorinImageSectorSize = 2448;

// Statuses of the reader beside 0 and the system errors: bad contents, a short read, and any
// failure that was not foreseen.
inline constexpr std::uint32_t kHalvorinParseBadContents = 11;
inline constexpr std::uint32_t kHalvorinParseShortRead = 996;
inline constexpr std::uint32_t kHalvorinParseException = 1064;

// The header before `p__ULONG__DataSize` bytes of 44,100 Hz 16-bit stereo samples.
WAVE_FILE_HEADER HalvorinI_MakeWaveFileHeader(std::uint32_t p__ULONG__DataSize);

// The name of part `part` of a DVD image: "<base>.qvf" for part 0, "<base>.qv<n>" after it.
std::string HalvorinI_GrabPartName(const std::string& p__STRING__Base,
                                   std::uint32_t p__ULONG__Part);

// TRUE when the file (named with ".MDF" or ".QVF", any case) is a raw image: its first sector
// has the sync pattern (mode from its header), or it is an audio sector whose subchannel at
// byte 2352 carries a valid Q frame (mode 0). Never throws.
bool HalvorinI_IsMDF(const char* p__PCHAR__FileName, std::int32_t* p__PLONG__Mode);

// Reads a one-session CD descriptor into the raw track count and sizes of the list, the image's
// sector mode (1, or 2 when a track is Mode 2) and the data file's name (a bare name of fewer
// than kHalvorinMaxPath characters, into a buffer of that size). The folder prefix is where
// the data file lies. 0, a system error, 11, 996 or 1064; never throws.
std::uint32_t HalvorinI_ParseMDS(const char* p__PCHAR__DescriptorFileName,
                                 SAO_TRACK_ARRAY* p__PSAO_TRACK_ARRAY__Tracks,
                                 std::int32_t* p__PLONG__ImageMode, char* p__PCHAR__DataFileName,
                                 const char* p__PCHAR__FolderPrefix);
