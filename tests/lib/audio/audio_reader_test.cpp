// The audio reader against files made by sox, oggenc and ffmpeg: the PCM it delivers equals
// what the reference decoders deliver, in reads of any size, after a rewind too.
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>

#include "halvorin.h"
#include "lib/audio/sync_file_reader.h"
#include "lib/mastering/tree/file_chain.h"
#include "lib/mastering/tree/file_objects.h"
#include "platform/debug/debug.h"
#include "tests/lib/audio/audio_test_support.h"

namespace audiotest {
namespace {

// A source made in the test folder as "src.<ext>" and its PCM as a reference tool decodes it.
struct SourceCase {
  const char* name;
  const char* file;
  std::function<std::vector<std::uint8_t>(AudioTest&)> make;  // returns the expected PCM
  std::uint32_t pastEnd;                                      // the status of a read past the end
  bool exact;  // bit for bit; else the same length, samples within one step
};

// A test of the reader that can reach the fixture maker.
class Reader : public AudioTest {
 public:
  using AudioTest::Bytes;
  using AudioTest::FfmpegPcm;
  using AudioTest::OggdecPcm;
  using AudioTest::Run;
  using AudioTest::Sox;
  const TempDir& Dir() const { return dir; }
};

std::vector<std::uint8_t> Tail(std::vector<std::uint8_t> bytes, size_t from, size_t count) {
  if (from > bytes.size()) return {};
  count = std::min(count, bytes.size() - from);
  return {bytes.begin() + static_cast<std::ptrdiff_t>(from),
          bytes.begin() + static_cast<std::ptrdiff_t>(from + count)};
}

const SourceCase kSources[] = {
    {"CanonicalWav", "src.wav",
     [](AudioTest& t) {
       auto& r = static_cast<Reader&>(t);
       r.Sox("src.wav", 44100, 2, 0.7);
       return Tail(r.Bytes("src.wav"), 44, SIZE_MAX);
     },
     kShortRead, true},
    {"WavWithAChunkAfterData", "src.wav",
     [](AudioTest& t) {
       auto& r = static_cast<Reader&>(t);
       r.Sox("src.wav", 44100, 2, 0.4);
       auto pcm = Tail(r.Bytes("src.wav"), 44, SIZE_MAX);
       r.Run("printf 'LIST\\004\\000\\000\\000INFO' >> src.wav");
       return pcm;
     },
     kShortRead, true},
    {"RawFromByteZero", "src.raw",
     [](AudioTest& t) {
       auto& r = static_cast<Reader&>(t);
       r.Run("head -c 100001 /dev/urandom > src.raw");
       return r.Bytes("src.raw");
     },
     kShortRead, true},
    {"RawUnderAHeader", "src.raw",
     [](AudioTest& t) {
       auto& r = static_cast<Reader&>(t);
       r.Run("printf 'ten bytes!' > src.raw");
       return r.Bytes("src.raw");
     },
     kShortRead, true},
    {"OggStereo44100", "src.ogg",
     [](AudioTest& t) {
       auto& r = static_cast<Reader&>(t);
       r.Sox("a.wav", 44100, 2, 0.9);
       r.Run("oggenc -Q -o src.ogg a.wav");
       return r.OggdecPcm("src.ogg");
     },
     kHandleEof, true},
    {"OggChainOfTwoStereoLinks", "src.ogg",
     [](AudioTest& t) {
       auto& r = static_cast<Reader&>(t);
       r.Sox("a.wav", 44100, 2, 0.5);
       r.Run("sox -n -r 44100 -c 2 -b 16 b.wav synth 0.6 square 220 vol 0.3");
       r.Run(
           "oggenc -Q -o a.ogg a.wav && oggenc -Q -q 2 -o b.ogg b.wav && cat a.ogg b.ogg > "
           "src.ogg");
       // oggdec writes each link over the last: the chain is its links one after the other.
       auto pcm = r.OggdecPcm("a.ogg");
       const auto b = r.OggdecPcm("b.ogg");
       pcm.insert(pcm.end(), b.begin(), b.end());
       return pcm;
     },
     kHandleEof, true},
    {"WavWithListChunk", "src.wav",
     [](AudioTest& t) {
       auto& r = static_cast<Reader&>(t);
       r.Run("ffmpeg -v error -f lavfi -i sine=f=500:d=0.6 -ac 2 -ar 44100 src.wav");
       return r.FfmpegPcm("src.wav");
     },
     kNoMoreSamples, true},
    {"Mp3", "src.mp3",
     [](AudioTest& t) {
       auto& r = static_cast<Reader&>(t);
       r.Sox("a.wav", 44100, 2, 0.8);
       r.Run("ffmpeg -v error -i a.wav -c:a libmp3lame -b:a 128k src.mp3");
       return r.FfmpegPcm("src.mp3");
     },
     kNoMoreSamples, true},
    {"Flac", "src.flac",
     [](AudioTest& t) {
       auto& r = static_cast<Reader&>(t);
       r.Sox("a.wav", 44100, 2, 0.8);
       r.Run("ffmpeg -v error -i a.wav src.flac");
       return r.FfmpegPcm("src.flac");
     },
     kNoMoreSamples, true},
    {"MonoWav", "src.wav",
     [](AudioTest& t) {
       auto& r = static_cast<Reader&>(t);
       r.Sox("src.wav", 44100, 1, 0.7);
       return r.FfmpegPcm("src.wav");
     },
     kNoMoreSamples, false},
    {"Wav48000", "src.wav",
     [](AudioTest& t) {
       auto& r = static_cast<Reader&>(t);
       r.Sox("src.wav", 48000, 2, 0.7);
       return r.FfmpegPcm("src.wav");
     },
     kNoMoreSamples, false},
};

void ExpectSamePcm(const std::vector<std::uint8_t>& got, const std::vector<std::uint8_t>& want,
                   bool exact, std::uint32_t chunk) {
  ASSERT_EQ(got.size(), want.size()) << "reads of " << chunk;
  if (exact) {
    EXPECT_TRUE(got == want) << "reads of " << chunk;
    return;
  }
  int worst = 0;
  for (size_t i = 0; i + 1 < got.size(); i += 2) {
    const auto a = static_cast<std::int16_t>(got[i] | got[i + 1] << 8);
    const auto b = static_cast<std::int16_t>(want[i] | want[i + 1] << 8);
    worst = std::max(worst, std::abs(a - b));
  }
  EXPECT_LE(worst, 1) << "reads of " << chunk;
}

class ReaderSources : public Reader, public ::testing::WithParamInterface<SourceCase> {};

TEST_P(ReaderSources, DeliverTheReferencePcmInReadsOfAnySize) {
  const SourceCase& c = GetParam();
  const std::vector<std::uint8_t> want = c.make(*this);
  ASSERT_FALSE(HasFatalFailure());
  ASSERT_FALSE(want.empty());
  const std::string name = dir.W(c.file);
  EXPECT_EQ(Tidewell_CompressedFileSupportedIs(name.c_str()), 0u);
  EXPECT_EQ(Halvorin_IsAudioFileSupported(name.c_str()), 0u);
  for (const std::uint32_t chunk : {1u, 3000u, 4096u, 61152u}) {
    void* handle = nullptr;
    ASSERT_EQ(Tidewell_CompressedFileReaderObjectCreate(&handle, name.c_str()), 0u);
    std::uint32_t size = 0;
    ASSERT_EQ(Tidewell_CompressedFileReaderObjectUncompressedSizeGet(handle, &size), 0u);
    EXPECT_EQ(size, want.size());
    ASSERT_EQ(Tidewell_CompressedFileReaderObjectBeginSeek(handle), 0u);
    ExpectSamePcm(ReadAll(handle, size, chunk), want, c.exact, chunk);
    std::uint8_t more[4];
    EXPECT_EQ(Tidewell_CompressedFileReaderObjectRead(handle, more, 1), c.pastEnd);
    // A rewind, and the same bytes again.
    ASSERT_EQ(Tidewell_CompressedFileReaderObjectBeginSeek(handle), 0u);
    ExpectSamePcm(ReadAll(handle, size, chunk), want, c.exact, chunk);
    EXPECT_EQ(Tidewell_CompressedFileReaderObjectDestroy(&handle), 0u);
    EXPECT_EQ(handle, nullptr);
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, ReaderSources, ::testing::ValuesIn(kSources),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Reader, ARewindInTheMiddleOfACarriedBlockStartsAgainAtTheFirstByte) {
  Sox("a.wav", 44100, 2, 0.5);
  Run("oggenc -Q -o src.ogg a.wav");
  const auto want = OggdecPcm("src.ogg");
  void* handle = nullptr;
  ASSERT_EQ(Tidewell_CompressedFileReaderObjectCreate(&handle, dir.W("src.ogg").c_str()), 0u);
  std::vector<std::uint8_t> part(4097);
  ASSERT_EQ(Tidewell_CompressedFileReaderObjectRead(handle, part.data(), 4097), 0u);
  EXPECT_TRUE(std::equal(part.begin(), part.end(), want.begin()));
  ASSERT_EQ(Tidewell_CompressedFileReaderObjectBeginSeek(handle), 0u);
  EXPECT_TRUE(ReadAll(handle, static_cast<std::uint32_t>(want.size()), 5000) == want);
  Tidewell_CompressedFileReaderObjectDestroy(&handle);
}

TEST_F(Reader, AWavFileWhoseDataChunkClaimsMoreThanItHoldsReadsWhatIsThere) {
  Sox("src.wav", 44100, 2, 0.1);
  auto bytes = Bytes("src.wav");
  const std::uint32_t claimed = 0x7FFFFFF0;
  std::memcpy(bytes.data() + 40, &claimed, 4);
  WriteFile(dir.P("src.wav"), std::string(bytes.begin(), bytes.end()));
  void* handle = nullptr;
  ASSERT_EQ(Tidewell_CompressedFileReaderObjectCreate(&handle, dir.W("src.wav").c_str()), 0u);
  std::uint32_t size = 0;
  ASSERT_EQ(Tidewell_CompressedFileReaderObjectUncompressedSizeGet(handle, &size), 0u);
  EXPECT_EQ(size, bytes.size() - 44);
  Tidewell_CompressedFileReaderObjectDestroy(&handle);
}

// No fixed buffer holds the name: a path of far more than 260 characters opens and reads.
TEST_F(Reader, ANameOfAnyLengthOpens) {
  Sox("src.wav", 44100, 2, 0.1);
  std::string folder = "";
  while (folder.size() < 400) folder += "a folder with a long name/";
  std::filesystem::create_directories(dir.P(folder));
  std::filesystem::rename(dir.P("src.wav"), dir.P(folder + "song.wav"));
  const std::string name = dir.W(folder + "song.wav");
  ASSERT_GT(name.size(), 400u);
  EXPECT_EQ(Tidewell_UncompressedFileSupportedIs(name.c_str()), 0u);
  void* handle = nullptr;
  ASSERT_EQ(Tidewell_CompressedFileReaderObjectCreate(&handle, name.c_str()), 0u);
  std::uint32_t size = 0;
  ASSERT_EQ(Tidewell_CompressedFileReaderObjectUncompressedSizeGet(handle, &size), 0u);
  std::vector<std::uint8_t> pcm(size);
  EXPECT_EQ(Tidewell_CompressedFileReaderObjectRead(handle, pcm.data(), size), 0u);
  Tidewell_CompressedFileReaderObjectDestroy(&handle);
}

struct RefusedOgg {
  const char* name;
  const char* make;
};

class ReaderRefusedOgg : public Reader, public ::testing::WithParamInterface<RefusedOgg> {};

TEST_P(ReaderRefusedOgg, OtherSampleFormsGive160WithoutTryingTheRuntime) {
  Run("sox -n -r 44100 -c 2 -b 16 s.wav synth 0.3 sine 440");
  Run("sox -n -r 44100 -c 1 -b 16 m.wav synth 0.3 sine 440");
  Run("sox -n -r 48000 -c 2 -b 16 h.wav synth 0.3 sine 440");
  Run("oggenc -Q -o s.ogg s.wav && oggenc -Q -o m.ogg m.wav && oggenc -Q -o h.ogg h.wav");
  Run(GetParam().make);
  // A runtime that is not there would show as 126: it is never asked.
  platform::media::testing::SetRuntimeName("libhalvorin_media_missing.so");
  platform::debug::Capture capture;
  void* handle = nullptr;
  EXPECT_EQ(Tidewell_CompressedFileReaderObjectCreate(&handle, dir.W("src.ogg").c_str()),
            kBadFormat);
  EXPECT_EQ(handle, nullptr);
  EXPECT_EQ(capture.Text().find("LoadLibraryA"), std::string::npos) << capture.Text();
  EXPECT_NE(capture.Text().find("are not accepted, status 160 ( 0xa0 )"), std::string::npos);
  EXPECT_EQ(Halvorin_IsAudioFileSupported(dir.W("src.ogg").c_str()),
            HALVORIN_STATUS_AUDIO_FILE_NOT_SUPPORTED);
}

INSTANTIATE_TEST_SUITE_P(
    Links, ReaderRefusedOgg,
    ::testing::Values(RefusedOgg{"Mono", "cp m.ogg src.ogg"},
                      RefusedOgg{"Rate48000", "cp h.ogg src.ogg"},
                      RefusedOgg{"ChainStereoThenMono", "cat s.ogg m.ogg > src.ogg"},
                      RefusedOgg{"ChainStereoThen48000", "cat s.ogg h.ogg > src.ogg"}),
    [](const auto& info) { return std::string(info.param.name); });

struct DataCase {
  const char* name;
  const char* file;
  const char* make;
};

class ReaderRefusesData : public Reader, public ::testing::WithParamInterface<DataCase> {};

TEST_P(ReaderRefusesData, ADataFileIsNeverAudio) {
  // Data that holds sound files is data all the same.
  Sox("a.wav", 44100, 2, 1.0);
  Run("mkdir -p tree && ffmpeg -v error -i a.wav -c:a libmp3lame tree/a.mp3 && cp a.wav tree/");
  Run(GetParam().make);
  const std::string name = dir.W(GetParam().file);
  void* handle = nullptr;
  EXPECT_EQ(Tidewell_CompressedFileReaderObjectCreate(&handle, name.c_str()), kNotAudio);
  EXPECT_EQ(handle, nullptr);
  EXPECT_EQ(Halvorin_IsAudioFileSupported(name.c_str()), HALVORIN_STATUS_AUDIO_FILE_NOT_SUPPORTED);
}

INSTANTIATE_TEST_SUITE_P(
    Files, ReaderRefusesData,
    ::testing::Values(DataCase{"IsoImage", "data.iso",
                               "xorriso -as mkisofs -quiet -o data.iso tree"},
                      DataCase{"Zip", "data.zip", "cd tree && zip -q ../data.zip a.mp3 a.wav"},
                      DataCase{"Text", "notes.txt",
                               "printf 'a text file, not a song\\n%.0s' $(seq 500) > notes.txt"},
                      DataCase{"Empty", "empty.mp3", ": > empty.mp3"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Reader, WithoutTheRuntimeMp3IsRefusedAndWavAndOggStillRead) {
  Sox("a.wav", 44100, 2, 0.3);
  Run("oggenc -Q -o a.ogg a.wav && ffmpeg -v error -i a.wav -c:a libmp3lame a.mp3");
  platform::media::testing::SetRuntimeName("libhalvorin_media_missing.so");
  void* handle = nullptr;
  EXPECT_EQ(Tidewell_CompressedFileReaderObjectCreate(&handle, dir.W("a.mp3").c_str()),
            kModuleNotFound);
  EXPECT_EQ(Halvorin_IsAudioFileSupported(dir.W("a.mp3").c_str()),
            HALVORIN_STATUS_AUDIO_FILE_NOT_SUPPORTED);
  for (const char* file : {"a.wav", "a.ogg"}) {
    EXPECT_EQ(Tidewell_CompressedFileReaderObjectCreate(&handle, dir.W(file).c_str()), 0u) << file;
    std::uint32_t size = 0;
    EXPECT_EQ(Tidewell_CompressedFileReaderObjectUncompressedSizeGet(handle, &size), 0u);
    EXPECT_GT(size, 0u);
    Tidewell_CompressedFileReaderObjectDestroy(&handle);
  }
  // A library without the entry point.
  platform::media::testing::SetRuntimeName("libz.so.1");
  EXPECT_EQ(Tidewell_CompressedFileReaderObjectCreate(&handle, dir.W("a.mp3").c_str()),
            kProcNotFound);
}

TEST_F(Reader, ASparseRawFileOver4GiBIsRefused) {
  WriteFile(dir.P("big.raw"), "");
  ASSERT_EQ(truncate(dir.P("big.raw").c_str(), static_cast<off_t>((std::uint64_t{1} << 32) + 4)),
            0);
  const std::string name = dir.W("big.raw");
  EXPECT_EQ(Tidewell_UncompressedFileSupportedIs(name.c_str()), 223u);
  void* handle = nullptr;
  EXPECT_EQ(Tidewell_CompressedFileReaderObjectCreate(&handle, name.c_str()), kTooLarge);
  EXPECT_EQ(Halvorin_IsAudioFileSupported(name.c_str()), HALVORIN_STATUS_AUDIO_FILE_NOT_SUPPORTED);
}

TEST_F(Reader, HandleChecksRefuseNullPointersAndBadMagics) {
  Sox("a.wav", 44100, 2, 0.1);
  void* handle = nullptr;
  EXPECT_EQ(Tidewell_CompressedFileReaderObjectCreate(nullptr, dir.W("a.wav").c_str()), 87u);
  EXPECT_EQ(Tidewell_CompressedFileReaderObjectCreate(&handle, nullptr), 87u);
  EXPECT_EQ(Tidewell_CompressedFileReaderObjectCreate(&handle, dir.W("none.wav").c_str()),
            0x80070002u);
  EXPECT_EQ(handle, nullptr);
  ASSERT_EQ(Tidewell_CompressedFileReaderObjectCreate(&handle, dir.W("a.wav").c_str()), 0u);
  std::uint32_t size = 0;
  std::uint8_t buffer[8];
  EXPECT_EQ(Tidewell_CompressedFileReaderObjectRead(nullptr, buffer, 8), 87u);
  EXPECT_EQ(Tidewell_CompressedFileReaderObjectRead(handle, nullptr, 8), 87u);
  EXPECT_EQ(Tidewell_CompressedFileReaderObjectUncompressedSizeGet(handle, nullptr), 87u);
  EXPECT_EQ(Tidewell_CompressedFileReaderObjectUncompressedSizeGet(nullptr, &size), 87u);
  EXPECT_EQ(Tidewell_CompressedFileReaderObjectBeginSeek(nullptr), 87u);
  EXPECT_EQ(Tidewell_CompressedFileReaderObjectDestroy(nullptr), 87u);

  auto* record = static_cast<TIDEWELL_COMPRESSED_FILE_READER_OBJECT*>(handle);
  for (std::uint32_t* magic : {&record->m__ULONG__HeaderMagic, &record->m__ULONG__TailerMagic}) {
    const std::uint32_t kept = *magic;
    *magic = 0xDEADBEEF;
    platform::debug::Capture capture;
    EXPECT_EQ(Tidewell_CompressedFileReaderObjectRead(handle, buffer, 8), 87u);
    EXPECT_EQ(Tidewell_CompressedFileReaderObjectBeginSeek(handle), 87u);
    EXPECT_EQ(Tidewell_CompressedFileReaderObjectUncompressedSizeGet(handle, &size), 87u);
    // Nothing is freed: the handle is left as it was.
    void* same = handle;
    EXPECT_EQ(Tidewell_CompressedFileReaderObjectDestroy(&same), 87u);
    EXPECT_EQ(same, handle);
    EXPECT_NE(capture.Text().find(magic == &record->m__ULONG__HeaderMagic
                                      ? "(): Header is bad, got 0xdeadbeef instead of expected "
                                        "0x48435244, failed, status 87 ( 0x57 )\n"
                                      : "(): Tailer is bad, got 0xdeadbeef instead of expected "
                                        "0x54435244, failed, status 87 ( 0x57 )\n"),
              std::string::npos);
    *magic = kept;
  }
  EXPECT_EQ(Tidewell_CompressedFileReaderObjectRead(handle, buffer, 8), 0u);
  EXPECT_EQ(Tidewell_CompressedFileReaderObjectDestroy(&handle), 0u);
  EXPECT_EQ(handle, nullptr);
}

TEST_F(Reader, ASecondOpenClosesTheFirstSourceAndAFailedOneLeavesNone) {
  Sox("a.wav", 44100, 2, 0.3);
  Run("sox -n -r 44100 -c 2 -b 16 b.wav synth 0.3 square 220 && oggenc -Q -o b.ogg b.wav");
  const auto wav = Tail(Bytes("a.wav"), 44, SIZE_MAX);
  const auto ogg = OggdecPcm("b.ogg");
  CTidewell_SyncFileReader reader;
  std::vector<std::uint8_t> buffer(10000);
  const int before = OpenDescriptors();
  ASSERT_EQ(reader.Open(dir.W("b.ogg").c_str()), 0);
  ASSERT_EQ(reader.Read(buffer.data(), 4000), 0);
  EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + 4000, ogg.begin()));
  ASSERT_EQ(reader.Open(dir.W("a.wav").c_str()), 0);
  EXPECT_EQ(OpenDescriptors(), before + 1);
  ASSERT_EQ(reader.Read(buffer.data(), 10000), 0);
  EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), wav.begin()));
  EXPECT_NE(reader.Open(dir.W("none.ogg").c_str()), 0);
  EXPECT_EQ(OpenDescriptors(), before);
  std::uint32_t size = 0;
  EXPECT_EQ(static_cast<std::uint32_t>(reader.Read(buffer.data(), 1)), kNotCreated);
  EXPECT_EQ(static_cast<std::uint32_t>(reader.SeekToBegin()), kNotCreated);
  EXPECT_EQ(static_cast<std::uint32_t>(reader.GetUncompressedSizeInUCHARs(&size)), kNotCreated);
}

TEST_F(Reader, ARuntimeFileReportsTheSumOfItsSamplesAndKeepsNoFileOpenWhenDone) {
  Sox("a.wav", 44100, 2, 0.5);
  Run("ffmpeg -v error -i a.wav -c:a libmp3lame a.mp3");
  const auto want = FfmpegPcm("a.mp3");
  const int before = OpenDescriptors();
  {
    CTidewell_SyncFileReader reader;
    ASSERT_EQ(reader.Open(dir.W("a.mp3").c_str()), 0);
    std::uint32_t size = 0;
    ASSERT_EQ(reader.GetUncompressedSizeInUCHARs(&size), 0);
    EXPECT_EQ(size, want.size());
    // The counting pass leaves the source at its end until it is rewound.
    std::uint8_t one = 0;
    EXPECT_EQ(static_cast<std::uint32_t>(reader.Read(&one, 1)), kNoMoreSamples);
    ASSERT_EQ(reader.SeekToBegin(), 0);
    ASSERT_EQ(reader.Read(&one, 1), 0);
    EXPECT_EQ(one, want[0]);
  }
  EXPECT_EQ(OpenDescriptors(), before);
}

}  // namespace
}  // namespace audiotest

namespace audiotest {
namespace {

TEST_F(Reader, AnAudioFileInAChainReadsItsPcmBetweenItsNeighbours) {
  Sox("a.wav", 44100, 2, 0.6);
  Run("oggenc -Q -o a.ogg a.wav");
  const auto pcm = OggdecPcm("a.ogg");
  const std::uint8_t head[] = {1, 2, 3}, tail[] = {9, 8};
  CHalvorin_MemoryFile before(head, 3), after(tail, 2);
  CHalvorin_TidewellFile audio(dir.W("a.ogg").c_str());
  EXPECT_TRUE(audio.IsAudio());
  EXPECT_EQ(audio.GetSizeInUCHARs(), pcm.size());
  CHalvorin_FileChain chain;
  chain.AddChainTail(&before);
  chain.AddChainTail(&audio);
  chain.AddChainTail(&after);
  std::vector<std::uint8_t> want(head, head + 3);
  want.insert(want.end(), pcm.begin(), pcm.end());
  want.insert(want.end(), tail, tail + 2);
  for (int pass = 0; pass < 2; ++pass) {
    chain.SeekToBegin();
    std::vector<std::uint8_t> got(want.size());
    for (size_t at = 0; at < got.size(); at += 2352) {
      const size_t n = std::min<size_t>(2352, got.size() - at);
      chain.Read(n, got.data() + at);
    }
    EXPECT_TRUE(got == want) << "pass " << pass;
  }
}

}  // namespace
}  // namespace audiotest
