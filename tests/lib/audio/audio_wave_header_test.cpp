// The WAV header check, field by field, and the test for files the reader takes as they are.
#include <cctype>
#include <cstring>

#include "platform/debug/debug.h"
#include "tests/lib/audio/audio_test_support.h"

namespace audiotest {
namespace {

TIDEWELL_WAVE_FILE_HEADER Canonical() {
  TIDEWELL_WAVE_FILE_HEADER h{};
  std::memcpy(&h.m__ULONG__Riff, "RIFF", 4);
  h.m__ULONG__RiffSize = 36 + 4000;
  std::memcpy(&h.m__ULONG__Wave, "WAVE", 4);
  std::memcpy(&h.m__ULONG__FormatTag, "fmt ", 4);
  h.m__ULONG__FormatLength = 16;
  h.m__TIDEWELL_WAVE_FORMAT_CHUNK = {1, 2, 44100, 176400, 4, 16};
  std::memcpy(&h.m__ULONG__DataTag, "data", 4);
  h.m__ULONG__DataSize = 4000;
  return h;
}

struct HeaderCase {
  const char* name;
  void (*spoil)(TIDEWELL_WAVE_FILE_HEADER&);
  const char* message;  // the failure line, without the function name
};

const HeaderCase kHeaderCases[] = {
    {"Riff", [](auto& h) { std::memcpy(&h.m__ULONG__Riff, "RIFX", 4); },
     "(): m__ULONG__Riff == 0x58464952 instead of 0x46464952, status 87 ( 0x57 )\n"},
    {"Wave", [](auto& h) { std::memcpy(&h.m__ULONG__Wave, "AVI ", 4); },
     "(): m__ULONG__Wave == 0x20495641 instead of 0x45564157, status 87 ( 0x57 )\n"},
    {"FormatTag", [](auto& h) { std::memcpy(&h.m__ULONG__FormatTag, "JUNK", 4); },
     "(): m__ULONG__Wave == 0x4b4e554a instead of 0x20746d66, status 87 ( 0x57 )\n"},
    {"FormatLength18", [](auto& h) { h.m__ULONG__FormatLength = 18; },
     "(): m__ULONG__FormatLength == 18 instead of 16, status 87 ( 0x57 )\n"},
    {"Float", [](auto& h) { h.m__TIDEWELL_WAVE_FORMAT_CHUNK.m__USHORT__Format = 3; },
     "(): m__TIDEWELL_WAVE_FORMAT_CHUNK.m__USHORT__Format == 3 instead of 1, status 87 ( 0x57 "
     ")\n"},
    {"Mono", [](auto& h) { h.m__TIDEWELL_WAVE_FORMAT_CHUNK.m__USHORT__Channels = 1; },
     "(): m__TIDEWELL_WAVE_FORMAT_CHUNK.m__USHORT__Channels == 1 instead of 2, status 87 ( 0x57 "
     ")\n"},
    {"Rate48000",
     [](auto& h) { h.m__TIDEWELL_WAVE_FORMAT_CHUNK.m__ULONG__SamplesPerSecond = 48000; },
     "(): m__TIDEWELL_WAVE_FORMAT_CHUNK.m__ULONG__SamplesPerSecond == 48000 instead of 44100, "
     "status 87 ( 0x57 )\n"},
    {"ByteRate",
     [](auto& h) { h.m__TIDEWELL_WAVE_FORMAT_CHUNK.m__ULONG__AverageSamplesPerSecond = 192000; },
     "(): m__TIDEWELL_WAVE_FORMAT_CHUNK.m__ULONG__AverageSamplesPerSecond == 192000 instead of "
     "176400, status 87 ( 0x57 )\n"},
    {"Alignment", [](auto& h) { h.m__TIDEWELL_WAVE_FORMAT_CHUNK.m__USHORT__Alignment = 6; },
     "(): m__TIDEWELL_WAVE_FORMAT_CHUNK.m__USHORT__Alignment == 6 instead of 4, status 87 ( 0x57 "
     ")\n"},
    {"Bits24", [](auto& h) { h.m__TIDEWELL_WAVE_FORMAT_CHUNK.m__USHORT__BitsPerSample = 24; },
     "(): m__TIDEWELL_WAVE_FORMAT_CHUNK.m__USHORT__BitsPerSample == 24 instead of 16, status 87 "
     "( 0x57 )\n"},
    {"ListBeforeData", [](auto& h) { std::memcpy(&h.m__ULONG__DataTag, "LIST", 4); },
     "(): m__ULONG__DataTag == 1414744396 instead of 1635017060, status 87 ( 0x57 )\n"},
};

class WaveHeader : public AudioTest, public ::testing::WithParamInterface<HeaderCase> {};

TEST_P(WaveHeader, FirstFieldOutOfLineGives87WithItsLine) {
  TIDEWELL_WAVE_FILE_HEADER h = Canonical();
  GetParam().spoil(h);
  platform::debug::Capture capture;
  EXPECT_EQ(Tidewell_WaveFileHeaderVerify(&h), kTidewellStatusBadArgument);
  EXPECT_EQ(capture.Text(),
            std::string("Tidewell_WaveFileHeaderVerify") + GetParam().message +
                "Tidewell_WaveFileHeaderVerify(): <<< *** EXITing with failure, status 87 ( 0x57 "
                ")\n");
}

INSTANTIATE_TEST_SUITE_P(Fields, WaveHeader, ::testing::ValuesIn(kHeaderCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(AudioTest, CanonicalHeaderPassesAndSizesAreNotChecked) {
  TIDEWELL_WAVE_FILE_HEADER h = Canonical();
  EXPECT_EQ(Tidewell_WaveFileHeaderVerify(&h), 0u);
  h.m__ULONG__RiffSize = 7;
  h.m__ULONG__DataSize = 0xFFFFFFFF;
  EXPECT_EQ(Tidewell_WaveFileHeaderVerify(&h), 0u);
  EXPECT_EQ(Tidewell_WaveFileHeaderVerify(nullptr), kTidewellStatusBadArgument);
}

struct FileCase {
  const char* name;  // the file's name in the test folder
  const char* make;  // the command that makes it, or empty for none
  std::uint32_t status;
};

const FileCase kFileCases[] = {
    {"canonical.wav",
     "sox -n -r 44100 -c 2 -b 16 -e signed-integer canonical.wav synth 0.2 sine 440", 0},
    // ffmpeg writes a LIST chunk before "data": taken as compressed, not here.
    {"list.wav", "ffmpeg -v error -f lavfi -i sine=d=0.2 -ac 2 -ar 44100 list.wav", 87},
    {"mono.wav", "sox -n -r 44100 -c 1 -b 16 mono.wav synth 0.2 sine 440", 87},
    {"r48.wav", "sox -n -r 48000 -c 2 -b 16 r48.wav synth 0.2 sine 440", 87},
    {"short.wav", "head -c 43 /dev/urandom > short.wav", 996},
    {"empty.wav", ": > empty.wav", 996},
    // Any content at all, under the header's size too: raw samples by the extension alone.
    {"song.raw", "echo hello > song.raw", 0},
    {"SONG.RAW", "head -c 5000 /dev/urandom > SONG.RAW", 0},
    {"song.raw.wav", "head -c 5000 /dev/zero > song.raw.wav", 87},
    {"a.rawx", "head -c 5000 /dev/zero > a.rawx", 87},
    {"missing.wav", "", 2},
    {"missing.raw", "", 2},
};

class UncompressedFile : public AudioTest, public ::testing::WithParamInterface<FileCase> {};

TEST_P(UncompressedFile, IsTakenByHeaderOrExtension) {
  const FileCase& c = GetParam();
  if (*c.make) Run(c.make);
  EXPECT_EQ(Tidewell_UncompressedFileSupportedIs(dir.W(c.name).c_str()), c.status);
}

INSTANTIATE_TEST_SUITE_P(Files, UncompressedFile, ::testing::ValuesIn(kFileCases),
                         [](const auto& info) {
                           std::string n = info.param.name;
                           for (char& ch : n)
                             if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return n;
                         });

TEST_F(AudioTest, ARawNameInAFolderNamedLikeRawIsNotRaw) {
  Run("mkdir -p x.raw && head -c 100 /dev/zero > x.raw/a");
  EXPECT_EQ(Tidewell_UncompressedFileSupportedIs(dir.W("x.raw/a").c_str()), 87u);
  EXPECT_EQ(Tidewell_UncompressedFileSupportedIs(nullptr), 87u);
}

}  // namespace
}  // namespace audiotest
