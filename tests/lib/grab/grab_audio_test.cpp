// Audio and mixed discs pressed from a .bin/.cue: GrabTrack of sox tones gives WAV files that
// soxi and ffprobe read and whose PCM is the source's; a Mode 1, a Form 2 and an audio track
// grabbed one by one and as a whole; the recorder's .cue export names every track's kind; a
// disc of 99 tracks, more descriptors than the TOC record's table holds, grabbed track by track
// and whole.
#include <gtest/gtest.h>

#include "lib/core/grab/image_descriptor.h"
#include "platform/aspi/recorder/coding/vr_sector_coding.h"
#include "tests/lib/grab/grab_test_support.h"

namespace grabtest {
namespace {

class GrabAudio : public GrabTest {
 protected:
  // sox PCM of whole sectors: `sectors` / 75 seconds.
  Bytes Tone(const std::string& name, int sectors, const std::string& tone) {
    std::string out;
    EXPECT_EQ(RunCommand("sox -r 44100 -c 2 -n -r 44100 -c 2 -b 16 -e signed-integer -L -t raw " +
                             dir.P(name) + " synth " + std::to_string(sectors * 588) + "s sine " +
                             tone + " vol 0.5",
                         &out),
              0)
        << out;
    Bytes pcm = Slurp(dir.P(name));
    EXPECT_EQ(pcm.size(), static_cast<std::size_t>(sectors) * 2352);
    return pcm;
  }
  void Press(const Bytes& bin, const std::string& cue) {
    WriteFile(dir.P("disc.bin"), std::string(bin.begin(), bin.end()));
    WriteFile(dir.P("disc.cue"), cue);
    Pressed(Media::CdRom, dir.W("disc.cue"));
    ASSERT_EQ(CreateGrabber(), 0u) << text;
  }
  std::string Probe(const std::string& command) {
    std::string out;
    EXPECT_EQ(RunCommand(command, &out), 0) << command << "\n" << out;
    return out;
  }
};

TEST_F(GrabAudio, TracksOfSoxTonesAsWaveFiles) {
  const Bytes one = Tone("one.raw", 300, "440"), two = Tone("two.raw", 1000, "660");
  Bytes bin = one;
  bin.insert(bin.end(), two.begin(), two.end());
  Press(bin,
        "FILE \"disc.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
        "  TRACK 02 AUDIO\n    INDEX 01 00:04:00\n");
  const Bytes* sources[2] = {&one, &two};
  for (int t = 1; t <= 2; ++t) {
    SCOPED_TRACE("track " + std::to_string(t));
    const std::string wav = "t" + std::to_string(t) + ".wav";
    ASSERT_EQ(Halvorin_CdvdBurnerGrabber_GrabTrack(BURNER_ARGS, static_cast<uint8_t>(t),
                                                   dir.W(wav).c_str(), 0, 0, 0, 0),
              0u)
        << text;
    const Bytes file = Slurp(dir.P(wav));
    const Bytes& source = *sources[t - 1];
    ASSERT_EQ(file.size(), 44 + source.size());
    EXPECT_TRUE(Bytes(file.begin() + 44, file.end()) == source);
    const WAVE_FILE_HEADER h = HalvorinI_MakeWaveFileHeader(static_cast<uint32_t>(source.size()));
    EXPECT_EQ(std::memcmp(file.data(), &h, 44), 0);
    const std::string samples = std::to_string(source.size() / 4);
    EXPECT_EQ(Probe("soxi -r " + dir.P(wav)), "44100\n");
    EXPECT_EQ(Probe("soxi -c " + dir.P(wav)), "2\n");
    EXPECT_EQ(Probe("soxi -b " + dir.P(wav)), "16\n");
    EXPECT_EQ(Probe("soxi -s " + dir.P(wav)), samples + "\n");
    const std::string probe = Probe(
        "ffprobe -v error -show_entries stream=codec_name,sample_rate,channels,duration_ts "
        "-of default=noprint_wrappers=1 " +
        dir.P(wav));
    EXPECT_NE(probe.find("codec_name=pcm_s16le"), std::string::npos) << probe;
    EXPECT_NE(probe.find("sample_rate=44100"), std::string::npos) << probe;
    EXPECT_NE(probe.find("channels=2"), std::string::npos) << probe;
    EXPECT_NE(probe.find("duration_ts=" + samples), std::string::npos) << probe;
  }
  // The disc grabbed whole begins with an audio sector: the image check knows it by its Q.
  ASSERT_EQ(GrabCD(dir.W("audio"), 3), 0u) << text;
  const Bytes image = Slurp(dir.P("audio.qvf"));
  ASSERT_EQ(image.size(), 1300u * 2448);
  for (std::size_t i = 0; i < 1300; ++i)
    ASSERT_EQ(std::memcmp(image.data() + i * 2448, bin.data() + i * 2352, 2352), 0) << i;
  ExpectTrackQ(image, 0, 1, 0, 299, 0);
  ExpectTrackQ(image, 300, 2, 300, 1299, 0);
  std::int32_t mode = -1;
  EXPECT_TRUE(HalvorinI_IsMDF(dir.W("audio.qvf").c_str(), &mode));
  EXPECT_EQ(mode, 0);
  SAO_TRACK_ARRAY list;
  char name[260];
  ASSERT_EQ(HalvorinI_ParseMDS(dir.W("audio.mds").c_str(), &list, &mode, name, dir.Win().c_str()),
            0u);
  EXPECT_EQ(list.m__LONG__NumberOfRawTracks, 2);
  EXPECT_EQ(list.m__LONG__RawTrackSizeInLBs[0], 300 - 150);
  EXPECT_EQ(list.m__LONG__RawTrackSizeInLBs[1], 1000);
  EXPECT_EQ(list.m__SAO_TRACK_ENTRY__Tracks[0].m__BOOLEAN__IsAudio, 1);
  EXPECT_EQ(list.m__SAO_TRACK_ENTRY__Tracks[1].m__BOOLEAN__IsAudio, 1);
}

// A Mode 1 track, a Mode 2 track of Form 2 sectors and an audio track.
TEST_F(GrabAudio, MixedDiscTrackByTrackAndWhole) {
  constexpr int kData = 300, kForm2 = 300, kAudio = 300;  // 4 s each, a track's least
  Bytes bin, user, form2;
  for (int i = 0; i < kData; ++i) {
    std::uint8_t block[2048], sector[2352];
    for (int k = 0; k < 2048; ++k) block[k] = static_cast<std::uint8_t>(i * 3 + k * 5);
    user.insert(user.end(), block, block + 2048);
    vr::EncodeMode1(i, block, sector);
    bin.insert(bin.end(), sector, sector + 2352);
  }
  for (int i = 0; i < kForm2; ++i) {
    std::uint8_t unit[2336] = {1, 1, 0x64, 0, 1, 1, 0x64, 0}, sector[2352];
    for (int k = 8; k < 8 + 2324; ++k) unit[k] = static_cast<std::uint8_t>(i + k * 11);
    form2.insert(form2.end(), unit + 8, unit + 8 + 2324);
    vr::EncodeMode2Unit(kData + i, unit, sector);
    bin.insert(bin.end(), sector, sector + 2352);
  }
  const Bytes tone = Tone("tone.raw", kAudio, "550");
  bin.insert(bin.end(), tone.begin(), tone.end());
  Press(bin,
        "FILE \"disc.bin\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n"
        "  TRACK 02 MODE2/2352\n    INDEX 01 00:04:00\n"
        "  TRACK 03 AUDIO\n    INDEX 01 00:08:00\n");
  const TOC_INFORMATION toc = Toc();
  ASSERT_EQ(toc.m__UCHAR__NumberOfTracks, 3);
  EXPECT_EQ(toc.m__TOC_TRACK_ENTRY__Tracks[1].m__UCHAR__Form, 2);
  EXPECT_EQ(toc.m__TOC_TRACK_ENTRY__Tracks[1].m__ULONG__UserBytesPerSector, 2324u);
  const Bytes* expected[3] = {&user, &form2, &tone};
  for (int t = 1; t <= 3; ++t) {
    SCOPED_TRACE("track " + std::to_string(t));
    const std::string name = "track" + std::to_string(t);
    ASSERT_EQ(Halvorin_CdvdBurnerGrabber_GrabTrack(BURNER_ARGS, static_cast<uint8_t>(t),
                                                   dir.W(name).c_str(), 0, 0, 0, 0),
              0u)
        << text;
    Bytes file = Slurp(dir.P(name));
    if (t == 3) file.erase(file.begin(), file.begin() + 44);
    EXPECT_TRUE(file == *expected[t - 1]) << file.size() << " " << expected[t - 1]->size();
  }
  ASSERT_EQ(GrabCD(dir.W("mixed"), 3), 0u) << text;
  const Bytes image = Slurp(dir.P("mixed.qvf"));
  ASSERT_EQ(image.size(), bin.size() / 2352 * 2448);
  for (std::size_t i = 0; i < bin.size() / 2352; ++i)
    ASSERT_EQ(std::memcmp(image.data() + i * 2448, bin.data() + i * 2352, 2352), 0) << i;
  ExpectTrackQ(image, 0, 1, 0, kData - 1, 4);
  ExpectTrackQ(image, kData, 2, kData, kData + kForm2 - 1, 4);
  ExpectTrackQ(image, kData + kForm2, 3, kData + kForm2, kData + kForm2 + kAudio - 1, 0);
  SAO_TRACK_ARRAY list;
  std::int32_t mode = 0;
  char name[260];
  ASSERT_EQ(HalvorinI_ParseMDS(dir.W("mixed.mds").c_str(), &list, &mode, name, dir.Win().c_str()),
            0u);
  EXPECT_EQ(mode, 2);
  EXPECT_EQ(list.m__SAO_TRACK_ENTRY__Tracks[2].m__BOOLEAN__IsAudio, 1);
  EXPECT_EQ(list.m__LONG__RawTrackSizeInLBs[2], kAudio);
  // The recorder's own export names the three kinds; cd-info reads it.
  at::Recorder(0).ExportBinCue(dir.W("export.bin"), dir.W("export.cue"));
  const std::string cue = ReadFile(dir.P("export.cue"));
  EXPECT_NE(cue.find("TRACK 01 MODE1/2352"), std::string::npos) << cue;
  EXPECT_NE(cue.find("TRACK 02 MODE2/2352"), std::string::npos) << cue;
  EXPECT_NE(cue.find("TRACK 03 AUDIO"), std::string::npos) << cue;
  EXPECT_TRUE(Slurp(dir.P("export.bin")) == bin);
  const std::string info =
      Probe("cd-info --no-device-info --no-cddb --cue-file " + dir.P("export.cue"));
  EXPECT_NE(info.find("audio"), std::string::npos) << info;
  EXPECT_NE(info.find("XA"), std::string::npos) << info;
}

// 99 audio tracks of 150 to 210 sectors: 102 descriptors in the full TOC. Every track has its
// own size in the TOC, in its WAV file (soxi counts the samples) and in the image descriptor;
// the image holds every sector with its track's Q.
TEST_F(GrabAudio, NinetyNineTracksTrackByTrackAndWhole) {
  constexpr int kTracks = 99;
  std::vector<int> starts, sizes;
  Bytes bin;
  std::string cue = "FILE \"disc.bin\" BINARY\n";
  for (int n = 1; n <= kTracks; ++n) {
    const int start = static_cast<int>(bin.size() / 2352), size = 150 + n * 37 % 61;
    starts.push_back(start);
    sizes.push_back(size);
    bin.resize(bin.size() + static_cast<std::size_t>(size) * 2352);
    std::uint8_t* pcm = bin.data() + static_cast<std::size_t>(start) * 2352;
    for (int i = 0; i < size * 2352; ++i)
      pcm[i] = static_cast<std::uint8_t>(n * 29 + i * 7 + i / 2352);
    char line[64];
    std::snprintf(line, sizeof line, "  TRACK %02d AUDIO\n    INDEX 01 %02d:%02d:%02d\n", n,
                  start / 4500, start / 75 % 60, start % 75);
    cue += line;
  }
  Press(bin, cue);
  const TOC_INFORMATION toc = Toc();
  ASSERT_EQ(toc.m__UCHAR__NumberOfTracks, kTracks);
  EXPECT_EQ(toc.m__UCHAR__NumberOfRawDescriptors, 100);  // of 102: the table is full
  for (int n = 1; n <= kTracks; ++n) {
    const TOC_TRACK_ENTRY& t = toc.m__TOC_TRACK_ENTRY__Tracks[n - 1];
    ASSERT_EQ(t.m__UCHAR__TrackNumber, n);
    ASSERT_EQ(t.m__LONG__StartLBA, starts[n - 1]) << n;
    ASSERT_EQ(t.m__LONG__EndLBA, starts[n - 1] + sizes[n - 1] - 1) << n;
    ASSERT_EQ(toc.m__TOC_RAW_DESCRIPTOR__TrackDescriptors[n - 1].m__UCHAR__POINT, n);
  }

  std::string wavs;
  for (int n = 1; n <= kTracks; ++n) {
    const std::string wav = "t" + std::to_string(n) + ".wav";
    ASSERT_EQ(Halvorin_CdvdBurnerGrabber_GrabTrack(BURNER_ARGS, static_cast<uint8_t>(n),
                                                   dir.W(wav).c_str(), 0, 0, 0, 0),
              0u)
        << n << " " << text;
    const Bytes file = Load(dir.P(wav));
    const auto from = bin.begin() + static_cast<std::ptrdiff_t>(starts[n - 1]) * 2352;
    ASSERT_EQ(file.size(), 44u + static_cast<std::size_t>(sizes[n - 1]) * 2352) << n;
    ASSERT_TRUE(std::equal(file.begin() + 44, file.end(), from)) << n;
    wavs += " " + dir.P(wav);
  }
  std::string expected;
  for (int size : sizes) expected += std::to_string(size * 588) + "\n";
  EXPECT_EQ(Probe("soxi -s" + wavs), expected);

  ASSERT_EQ(GrabCD(dir.W("disc99"), 1), 0u) << text;
  const Bytes image = Load(dir.P("disc99.qvf"));
  ASSERT_EQ(image.size(), bin.size() / 2352 * 2448);
  for (std::size_t i = 0; i < bin.size() / 2352; ++i)
    ASSERT_EQ(std::memcmp(image.data() + i * 2448, bin.data() + i * 2352, 2352), 0) << i;
  for (int n = 1; n <= kTracks; ++n)
    ExpectTrackQ(image, static_cast<std::size_t>(starts[n - 1]), n, starts[n - 1],
                 starts[n - 1] + sizes[n - 1] - 1, 0);
  // The descriptor has a record for each of the 102 descriptors; its reader finds 99 tracks.
  const Bytes mds = Load(dir.P("disc99.mds"));
  ASSERT_GE(mds.size(), 88u + 24);
  EXPECT_EQ(mds[88 + 10], 102);
  SAO_TRACK_ARRAY list;
  std::int32_t mode = -1;
  char name[260];
  ASSERT_EQ(HalvorinI_ParseMDS(dir.W("disc99.mds").c_str(), &list, &mode, name, dir.Win().c_str()),
            0u);
  ASSERT_EQ(list.m__LONG__NumberOfRawTracks, kTracks);
  for (int n = 1; n <= kTracks; ++n) {
    EXPECT_EQ(list.m__SAO_TRACK_ENTRY__Tracks[n - 1].m__BOOLEAN__IsAudio, 1) << n;
    EXPECT_EQ(list.m__LONG__RawTrackSizeInLBs[n - 1], sizes[n - 1] - (n < kTracks ? 150 : 0)) << n;
  }
}

}  // namespace
}  // namespace grabtest
