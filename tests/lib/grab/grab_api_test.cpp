// The grab exports' arguments and edges: track numbers 0 and past the TOC, ranges outside a
// track or past its end, tracks shorter than one transfer, progress on the layer's clock, bad
// handles and names.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <functional>
#include <tuple>

#include "lib/core/burner/cdvd_burner_grabber.h"
#include "platform/aspi/clock.h"
#include "platform/aspi/recorder/coding/vr_sector_coding.h"
#include "platform/fs/fs.h"
#include "tests/lib/grab/grab_test_support.h"

namespace grabtest {
namespace {

// A clock that moves on by a step each time it is read.
class TickingClock : public platform::aspi::Clock {
 public:
  explicit TickingClock(Duration step) : step_(step) {}
  Duration Now() override { return now_ += step_; }
  void SleepFor(Duration d) override { now_ += d; }

 private:
  Duration step_, now_{};
};

class GrabApi : public GrabTest {
 protected:
  // A pressed CD of a Mode 1 track of `data` sectors and an audio track of `audio` sectors.
  void PressTwoTracks(int data, int audio) {
    Bytes bin;
    for (int i = 0; i < data; ++i) {
      std::uint8_t block[2048], sector[2352];
      std::memset(block, i + 1, sizeof block);
      user.insert(user.end(), block, block + 2048);
      vr::EncodeMode1(i, block, sector);
      bin.insert(bin.end(), sector, sector + 2352);
    }
    for (int i = 0; i < audio * 2352; ++i) pcm.push_back(static_cast<std::uint8_t>(i * 13));
    bin.insert(bin.end(), pcm.begin(), pcm.end());
    WriteFile(dir.P("disc.bin"), std::string(bin.begin(), bin.end()));
    char index[16];
    std::snprintf(index, sizeof index, "%02d:%02d:%02d", data / 4500, data / 75 % 60, data % 75);
    WriteFile(dir.P("disc.cue"), std::string("FILE \"disc.bin\" BINARY\n  TRACK 01 MODE1/2352\n") +
                                     "    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    INDEX 01 " +
                                     index + "\n");
    Pressed(Media::CdRom, dir.W("disc.cue"));
    ASSERT_EQ(CreateGrabber(), 0u) << text;
  }
  HALVORIN_STATUS Track(std::uint8_t number, const std::string& name) {
    return Halvorin_CdvdBurnerGrabber_GrabTrack(BURNER_ARGS, number, dir.W(name).c_str(), 0, 0, 0,
                                                0);
  }
  HALVORIN_STATUS Range(std::int32_t start, std::int32_t end, const std::string& name) {
    return Halvorin_CdvdBurnerGrabber_GrabRange(BURNER_ARGS, start, end, dir.W(name).c_str(), 0, 0,
                                                0, 0);
  }
  Bytes user, pcm;
};

TEST_F(GrabApi, TrackNumbersAndRanges) {
  PressTwoTracks(400, 300);
  struct Case {
    const char* what;
    std::function<HALVORIN_STATUS()> grab;
    HALVORIN_STATUS status;
    const char* text;
  } cases[] = {
      {"track 0", [&] { return Track(0, "x"); }, 2, "Track number 0 exceeds TOC tracks 2!!!"},
      {"track 3", [&] { return Track(3, "x"); }, 2, "Track number 3 exceeds TOC tracks 2!!!"},
      {"range before its start", [&] { return Range(10, 9, "x"); }, 2, "is before its start"},
      {"range past the disc", [&] { return Range(700, 710, "x"); }, 17,
       "Range 700 - 710 was not found!!!"},
      {"range before the disc", [&] { return Range(-5, 10, "x"); }, 17,
       "Range -5 - 10 was not found!!!"},
      {"range across two tracks", [&] { return Range(390, 410, "x"); }, 20,
       "Range ending LBA 410 is larger then track's ending LBA 399!!!"},
      {"no file name",
       [&] { return Halvorin_CdvdBurnerGrabber_GrabTrack(BURNER_ARGS, 1, nullptr, 0, 0, 0, 0); }, 2,
       "The file name is NULL"},
      {"no burner",
       [&] {
         return Halvorin_CdvdBurnerGrabber_GrabCD(nullptr, text, sizeof text, &error, &failure,
                                                  dir.W("x").c_str(), 1, 0, 0, 0, 0, 0);
       },
       2, "is not a burner/grabber"},
      {"name past 260 characters", [&] { return Track(1, std::string(300, 'n')); }, 5,
       "CreateFile( '"},
      {"folder that is not there", [&] { return Track(1, "none/x"); }, 5, "CreateFile("},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.grab(), c.status);
    EXPECT_NE(std::string(text).find(c.text), std::string::npos) << text;
    EXPECT_FALSE(std::filesystem::exists(dir.P("x")));
  }
  // The range's sectors exactly, at both ends of the track.
  ASSERT_EQ(Range(0, 9, "first"), 0u) << text;
  EXPECT_TRUE(Load(dir.P("first")) == Bytes(user.begin(), user.begin() + 10 * 2048));
  ASSERT_EQ(Range(399, 399, "last"), 0u) << text;
  EXPECT_TRUE(Load(dir.P("last")) == Bytes(user.end() - 2048, user.end()));
  ASSERT_EQ(Range(400, 699, "audio"), 0u) << text;
  EXPECT_TRUE(Load(dir.P("audio")) == pcm);  // a range is its samples, no WAVE header
}

// Tracks shorter than one transfer (30 cooked, 25 raw sectors): no read passes their end.
TEST_F(GrabApi, TracksShorterThanOneTransfer) {
  PressTwoTracks(20, 12);
  ASSERT_EQ(Track(1, "data"), 0u) << text;
  EXPECT_TRUE(Load(dir.P("data")) == user);
  ASSERT_EQ(Track(2, "audio.wav"), 0u) << text;
  const Bytes wav = Load(dir.P("audio.wav"));
  ASSERT_EQ(wav.size(), 44u + 12 * 2352);
  EXPECT_EQ(wav[40] | wav[41] << 8 | wav[42] << 16, 12 * 2352);
  EXPECT_TRUE(Bytes(wav.begin() + 44, wav.end()) == pcm);
  ASSERT_EQ(GrabCD(dir.W("disc"), 1), 0u) << text;
  EXPECT_EQ(std::filesystem::file_size(dir.P("disc.qvf")), 32u * 2448);
  for (const auto& r : at::CdbLog(0)) {
    if (r.cdb[0] != 0xBE && r.cdb[0] != 0x28) continue;
    const std::uint32_t lba = r.cdb[2] << 24 | r.cdb[3] << 16 | r.cdb[4] << 8 | r.cdb[5];
    const std::uint32_t count =
        r.cdb[0] == 0xBE ? (r.cdb[6] << 16 | r.cdb[7] << 8 | r.cdb[8]) : (r.cdb[7] << 8 | r.cdb[8]);
    EXPECT_LE(lba + count, 32u) << "a read of " << count << " at " << lba;
    if (lba < 20) {
      EXPECT_LE(lba + count, 20u) << "track 1's read of " << count << " at " << lba;
    }
  }
}

// Reason 11 when more than the interval has passed on the layer's clock: total and done
// sectors, done growing.
TEST_F(GrabApi, ProgressOnTheLayersClock) {
  PressTwoTracks(3000, 300);
  platform::aspi::SetClock(std::make_shared<TickingClock>(std::chrono::milliseconds(250)));
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_GrabTrack(BURNER_ARGS, 1, dir.W("p").c_str(), 0, 0, 0, 2),
            0u)
      << text;
  const auto reports = grab.Of(HALVORIN_CALLBACK_REASON_GRAB_PROGRESS);
  ASSERT_GE(reports.size(), 3u);
  std::int64_t last = 0;
  for (const Call& c : reports) {
    EXPECT_EQ(c.a, 3000);
    EXPECT_GT(c.b, last);
    EXPECT_LT(c.b, 3000);
    last = c.b;
  }
  grab.calls.clear();
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_GrabTrack(BURNER_ARGS, 1, dir.W("q").c_str(), 0, 0, 0, 0),
            0u);
  EXPECT_TRUE(grab.Of(HALVORIN_CALLBACK_REASON_GRAB_PROGRESS).empty());
}

// Files that cannot be written whole: a write cut short by the file size limit is exception 10,
// one refused is exception 5 with the system error; the grab leaves no file.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &saved_);
    struct rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, SIG_DFL);
  }

 private:
  struct rlimit saved_ {};
};

TEST_F(GrabApi, WritesCutShortOrRefused) {
  PressTwoTracks(400, 300);
  // In the middle of a grab, from the writer's thread: a transfer cut short, one refused whole
  // after two written, and a raw transfer (25 sectors of 2,448 bytes) cut short.
  struct Grab {
    rlim_t bytes;
    std::function<HALVORIN_STATUS()> grab;
    HALVORIN_STATUS status;
    std::uint32_t error;  // of status 5
    std::string message;
    std::vector<std::string> files;
  } grabs[] = {
      {100000,
       [&] { return Track(1, "cut"); },
       10,
       0,
       "GrabTrackCooked(): WriteFile() wrote 38560 UCHARs instead of 61440 UCHARs!!!",
       {"cut"}},
      {2 * 61440,
       [&] { return Track(1, "refused"); },
       5,
       27,
       "GrabTrackCooked(): WriteFile() failed, status 27!!!",
       {"refused"}},
      {100000,
       [&] { return GrabCD(dir.W("raw"), 1); },
       10,
       0,
       "GrabTrackRaw(): WriteFile() wrote 38800 UCHARs instead of 61200 UCHARs!!!",
       {"raw.mds", "raw.qvf"}},
  };
  for (const Grab& g : grabs) {
    SCOPED_TRACE(g.message);
    HALVORIN_STATUS got = 0;
    {
      FileSizeLimit limit(g.bytes);
      got = g.grab();
    }
    EXPECT_EQ(got, g.status);
    if (g.status == 5) {
      EXPECT_EQ(error, g.error);
    }
    EXPECT_NE(std::string(text).find(g.message), std::string::npos) << text;
    for (const std::string& f : g.files) EXPECT_FALSE(std::filesystem::exists(dir.P(f))) << f;
  }

  const TOC_INFORMATION toc = Toc();
  for (const auto& [bytes, status, message] :
       {std::tuple<rlim_t, std::uint32_t, std::string>{
            300, 10, "WriteFile( TRACK_DESCRIPTOR[ 2 ] ) wrote 28 UCHARs instead of 80 UCHARs!!!"},
        {352, 5, "WriteFile( TRACK_DESCRIPTOR[ 3 ] ) failed, status 27!!!"}}) {
    SCOPED_TRACE(message);
    platform::fs::File file(dir.W("d.mds"), platform::fs::OpenMode::CreateAlways);
    const rlim_t limitBytes = bytes;  // this clang captures no structured binding
    const libtest::Thrown t = libtest::Catch([&] {
      FileSizeLimit limit(limitBytes);
      CHalvorin_CdvdBurnerGrabber::FormatFileMDSForCD(file, toc, dir.W("d").c_str());
    });
    ASSERT_TRUE(t.thrown);
    EXPECT_EQ(t.Status(), static_cast<std::int32_t>(status));
    EXPECT_NE(t.Text().find("CHalvorin_CdvdBurnerGrabber::FormatFileMDSForCD(): " + message),
              std::string::npos)
        << t.Text();
  }
}

// The DVD descriptor's writes the same way: a layer record cut short, a session record refused
// at the limit, a part's name cut short; neither the descriptor nor a part stays.
TEST_F(GrabApi, DvdDescriptorCutShortOrRefused) {
  const Bytes disc = Blocks(3000);
  WriteFile(dir.P("disc.iso"), std::string(disc.begin(), disc.end()));
  Pressed(Media::DvdRom, dir.W("disc.iso"));
  ASSERT_EQ(CreateGrabber(), 0u) << text;
  // One layer: the session record at 4188, the three part names from 4340 on.
  for (const auto& [bytes, status, message] :
       {std::tuple<rlim_t, std::uint32_t, std::string>{
            300, 10,
            "WriteFile( LAYER_DESCRIPTOR[ 0 ] ) wrote 212 UCHARs instead of 4100 UCHARs!!!"},
        {4188, 5, "WriteFile( SESSION_DESCRIPTOR[ 0 ] ) failed, status 27!!!"},
        {4343, 10, "WriteFile( TrackName[ 0 ] ) wrote 3 UCHARs instead of 6 UCHARs!!!"}}) {
    SCOPED_TRACE(message);
    HALVORIN_STATUS got = 0;
    {
      FileSizeLimit limit(bytes);
      got = Halvorin_CdvdBurnerGrabber_GrabDVD(BURNER_ARGS, dir.W("d").c_str(), 2, 0, 0, 0, 0);
    }
    EXPECT_EQ(got, status);
    EXPECT_NE(
        std::string(text).find("CHalvorin_CdvdBurnerGrabber::FormatFileMDSForDVD(): " + message),
        std::string::npos)
        << text;
    if (status == 5) {
      EXPECT_EQ(error, 27u);
    }
    EXPECT_FALSE(std::filesystem::exists(dir.P("d.mds")));
    EXPECT_FALSE(std::filesystem::exists(dir.P("d.qvf")));
  }
}

}  // namespace
}  // namespace grabtest
