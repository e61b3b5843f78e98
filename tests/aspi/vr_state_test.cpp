// The recorder's state files: every state it writes reads back equal, a damaged one is refused
// and kept aside instead of being replaced by a blank, and serials run past four digits.
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>

#include "platform/aspi/recorder/vr_disc.h"
#include "platform/debug/debug.h"
#include "tests/aspi/disc_at_once_sequences.h"
#include "tests/aspi/library_sequences.h"

namespace aspitest {
namespace {

namespace vr = platform::aspi::vr;
namespace fsys = std::filesystem;

std::string Slurp(const fsys::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void Spit(const fsys::path& p, const std::string& text) {
  std::ofstream(p, std::ios::binary | std::ios::trunc) << text;
}

// The saver pads a shorter text with blank lines to the file's old length.
std::string WithoutPadding(std::string text) {
  while (text.size() >= 2 && text[text.size() - 1] == '\n' && text[text.size() - 2] == '\n')
    text.pop_back();
  return text;
}

class RecorderState : public AspiTest {
 protected:
  fsys::path Folder() const { return dir.P("home/VirtualRecorders/Recorder0"); }

  std::uint32_t CurrentSerial() const {
    std::smatch m;
    const std::string text = Slurp(Folder() / "recorder");
    EXPECT_TRUE(std::regex_search(text, m, std::regex("\ndisc ([0-9]+)\n"))) << text;
    return static_cast<std::uint32_t>(std::stoul(m[1]));
  }

  static std::string DiscFolderName(std::uint32_t serial) {
    char name[32];
    std::snprintf(name, sizeof name, "disc-%04u", serial);
    return name;
  }

  fsys::path StateFile() const { return Folder() / DiscFolderName(CurrentSerial()) / "state"; }

  // The state on disk parses, and what it parses to writes the same text and parses equal.
  void ExpectStateRoundTrips(const std::string& step) {
    SCOPED_TRACE(step);
    const std::string text = WithoutPadding(Slurp(StateFile()));
    std::string why;
    const auto disc = vr::Disc::Parse(text, &why);
    ASSERT_TRUE(disc) << why << "\n" << text;
    EXPECT_EQ(disc->Serialize(), text);
    EXPECT_EQ(vr::Disc::Parse(disc->Serialize()), disc);
  }

  Reply DiscInfo() { return Cmd(0, Cdb10(0x51, 0, 0, 34), 34); }
  Reply Eject() { return Cmd(0, {0x1B, 0, 0, 0, 0x02, 0}); }
};

TEST_F(RecorderState, EveryStateTheRecorderWritesReadsBack) {
  using Step = std::pair<const char*, std::function<Reply(LibraryBurner&)>>;
  auto tao = [](std::uint32_t lba, std::uint32_t blocks, TaoOptions o = {}) {
    return [=](LibraryBurner& b) { return b.TrackAtOnce(Pattern(lba, blocks), o); };
  };
  auto close = [](LibraryBurner& b) { return b.CloseSession(); };
  auto eject = [](LibraryBurner&) { return Cmd(0, {0x1B, 0, 0, 0, 0x02, 0}); };
  auto blank = [](LibraryBurner&) { return Cmd(0, {0xA1, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}); };
  auto reserveOnly = [](LibraryBurner&) { return Cmd(0, {0x53, 0, 0, 0, 0, 0, 0, 0, 32, 0}); };
  auto openTrack = [](LibraryBurner& b) {
    Reply r = b.SetWriteParameters(1, 8, 4, false, true, 0, false);
    return r.Good() ? CmdOut(0, Cdb10(0x2A, 0, 0, 10), Pattern(0, 10)) : r;
  };
  auto quickFormat = [](LibraryBurner&) {
    return CmdOut(0, {0x04, 0x11, 0, 0, 0, 0},
                  {0, 0x82, 0, 8, 0, 0x23, 0x0F, 0x20, 0x15 << 2, 0, 0, 16});
  };
  // Session-at-once: a raw P-W track of 40 blocks after a host-written lead-in, and a cooked
  // data track with an audio track behind it on an appendable disc.
  const std::vector<std::uint8_t> rawCue = {0x41, 0, 0,    0x41, 0, 0,    0, 0, 0x41, 1, 0,
                                            0x40, 0, 0,    0,    0, 0x41, 1, 1, 0x40, 0, 0,
                                            2,    0, 0x41, 0xAA, 1, 0x14, 0, 0, 2,    40};
  const std::vector<std::uint8_t> mixedCue = {
      0x41, 0, 0, 0x14, 0, 0, 0, 0,  0x41, 1,    0, 0x10, 0, 0, 0, 0,
      0x41, 1, 1, 0x10, 0, 0, 2, 0,  0x01, 2,    0, 0x00, 0, 0, 2, 20,
      0x01, 2, 1, 0x00, 0, 0, 4, 20, 0x01, 0xAA, 1, 0x01, 0, 0, 4, 30};
  auto cue = [](const std::vector<std::uint8_t>& c, bool multi, std::uint8_t blockType) {
    return [=](LibraryBurner& b) { return b.SendCueSheet(c, multi, blockType); };
  };
  auto blocks = [](std::int32_t lba, std::int32_t count, std::size_t size) {
    return [=](LibraryBurner& b) { return b.WriteBlocks(lba, count, size); };
  };
  auto sync = [](LibraryBurner&) { return Cmd(0, Cdb10(0x35)); };
  // Disc-at-once of two tracks, and one that stops in its program area.
  const DaoDisc dao{{0, 30}, 50, true, true, 2448};
  const DaoDisc pq{{0}, 40, false, false, 2368};
  auto daoParameters = [](std::uint8_t blockType) {
    return [=](LibraryBurner& b) {
      return b.SetWriteParameters(3, blockType, 0, false, false, 0, false);
    };
  };
  auto daoBlocks = [](const DaoDisc& disc, std::int32_t lba, std::int32_t count) {
    return [=](LibraryBurner& b) {
      return b.WriteBlocks(lba, count, disc.blockSize, [&](std::int32_t at, std::uint8_t* block) {
        disc.Block(at, -11634, block);
      });
    };
  };
  auto refusedSync = [](LibraryBurner&) {
    Reply r = Cmd(0, Cdb10(0x35));
    EXPECT_SENSE(r, 5, 0x2C, 0x00);
    r.status = aspi::SS_COMP;  // the refusal is the step
    return r;
  };
  struct Row {
    Media media;
    std::vector<Step> steps;
  };
  const std::vector<Row> rows = {
      {Media::CdR,
       {{"open track", openTrack},
        {"close", close},
        {"second session", tao(11410, 20, {.xa = true, .multiSession = true})},
        {"close", close},
        {"third session", tao(11410 + 20 + 2250 + 4500 + 150, 5)},
        {"close", close},
        {"eject", eject}}},
      {Media::CdR,
       {{"raw cue sheet", cue(rawCue, false, 0)},
        {"lead-in", blocks(-11634, 11484, 96)},
        {"part of the raw pre-gap", blocks(-150, 30, 2448)},
        {"rest of the raw pre-gap", blocks(-120, 120, 2448)},
        {"raw track", blocks(0, 40, 2448)},
        {"closed by synchronize cache", sync},
        {"eject", eject}}},
      {Media::CdRw,
       {{"cooked cue sheet", cue(mixedCue, true, 8)},
        {"data track", blocks(-150, 170, 2048)},
        {"part of the audio pre-gap", blocks(20, 50, 2352)},
        {"rest of the audio pre-gap", blocks(70, 100, 2352)},
        {"audio track", blocks(170, 10, 2352)},
        {"closed by synchronize cache", sync},
        {"second session", tao(180 + 6750 + 4500 + 150, 5)},
        {"eject", eject}}},
      {Media::CdR,
       {{"disc-at-once parameters", daoParameters(3)},
        {"part of the lead-in", daoBlocks(dao, -11634, 6000)},
        {"rest of the lead-in", daoBlocks(dao, -5634, 5484)},
        {"pre-gap", daoBlocks(dao, -150, 150)},
        {"first track", daoBlocks(dao, 0, 30)},
        {"second track", daoBlocks(dao, 30, 20)},
        {"lead-out", daoBlocks(dao, 50, 6750)},
        {"closed by synchronize cache", sync},
        {"eject", eject}}},
      {Media::CdRw,
       {{"disc-at-once parameters", daoParameters(1)},
        {"lead-in", daoBlocks(pq, -11634, 11484)},
        {"pre-gap and part of the track", daoBlocks(pq, -150, 170)},
        {"stopped before the lead-out", refusedSync},
        {"eject", eject}}},
      {Media::CdRw,
       {{"two tracks", tao(0, 30)},
        {"second track", tao(182, 10)},
        {"close", close},
        {"blank", blank},
        {"after blanking", tao(0, 12, {.multiSession = true})},
        {"close", close},
        {"eject", eject}}},
      {Media::DvdR,
       {{"reservation only", reserveOnly},
        {"eject", eject},
        {"burn", tao(0, 40)},
        {"close", close},
        {"eject", eject}}},
      {Media::DvdRwSequential,
       {{"burn", tao(0, 40)},
        {"close", close},
        {"quick format", quickFormat},
        {"random write", tao(0, 32)},
        {"eject", eject}}},
      {Media::DvdPlusR, {{"burn", tao(0, 40)}, {"close", close}, {"eject", eject}}},
      {Media::DvdPlusRw, {{"format and burn", tao(0, 20)}, {"close", close}, {"eject", eject}}},
      {Media::DvdRam, {{"format and burn", tao(0, 64)}, {"eject", eject}}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(vr::Traits(row.media).name));
    Recorders({row.media});
    LibraryBurner b(0);
    Cmd(0, {0x00, 0, 0, 0, 0, 0});
    ExpectStateRoundTrips("fresh");
    for (const auto& [name, step] : row.steps) {
      ASSERT_GOOD(step(b)) << name;
      ExpectStateRoundTrips(name);
      at::Reload();  // the next step starts from what was saved
      EXPECT_GOOD(Cmd(0, {0x00, 0, 0, 0, 0, 0})) << name;
    }
    at::ConfigureRecorders({});
    fsys::remove_all(dir.P("home"));
  }
}

TEST_F(RecorderState, SerialsRunPastFourDigits) {
  Recorders({Media::CdR});
  LibraryBurner b(0);
  ASSERT_GOOD(DiscInfo());
  // As if 9,998 discs had gone before: the tray holds disc 9999, the next is 10000.
  const std::string recorder = Slurp(Folder() / "recorder");
  Spit(Folder() / "recorder",
       std::regex_replace(std::regex_replace(recorder, std::regex("\ndisc 1\n"), "\ndisc 9999\n"),
                          std::regex("\nnext 2\n"), "\nnext 10000\n"));
  fsys::rename(Folder() / "disc-0001", Folder() / "disc-9999");
  std::string state = Slurp(Folder() / "disc-9999" / "state");
  Spit(Folder() / "disc-9999" / "state",
       std::regex_replace(state, std::regex("\nserial 1\n"), "\nserial 9999\n"));
  at::Reload();

  for (std::uint32_t serial : {9999u, 10000u, 10001u}) {
    ASSERT_GOOD(b.TrackAtOnce(Pattern(0, 20 + serial % 7)));
    ASSERT_GOOD(b.CloseSession());
    at::Reload();  // a later process still finds the burnt disc
    EXPECT_EQ(CurrentSerial(), serial);
    EXPECT_EQ(DiscInfo().data[2] & 3, 2) << serial;
    ASSERT_GOOD(Eject());
    const fsys::path iso = Folder() / ("Recorder0-" + std::to_string(serial) + ".iso");
    ASSERT_TRUE(fsys::exists(iso)) << iso;
    EXPECT_EQ(fsys::file_size(iso), (20 + serial % 7) * 2048u);
  }
  // A recorder that lost its own file numbers on above every image and disc folder, five
  // digits included (10002 is the blank the last eject laid in the tray).
  fsys::remove(Folder() / "recorder");
  at::Reload();
  ASSERT_GOOD(DiscInfo());
  EXPECT_EQ(CurrentSerial(), 10003u);
}

// Damaged states are refused with the reason, the disc's folder is kept aside under another
// name, and the tray takes a fresh blank with a serial of its own.
TEST_F(RecorderState, DamagedStatesAreRefusedAndKeptAside) {
  struct Case {
    const char* name;
    Media media;
    std::string state;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {"session 2 without session 1", Media::CdR,
       "media CD-R\nserial 1\nformatted 0\nfinalized 0\nhighWater 0\ncapacity 359849\npressed 0\n"
       "session 2 0 0 0\nend\n",
       "sessions out of order"},
      {"a track far beyond a CD's capacity", Media::CdR,
       "media CD-R\nserial 1\nformatted 0\nfinalized 0\nhighWater 0\ncapacity 359849\npressed 0\n"
       "session 1 1 0 1000000000\ntrack 1 1 0 1000000000 0 0 0 1 4\nend\n",
       "track beyond the capacity"},
      {"a DVD bigger than the medium", Media::DvdR,
       "media DVD-R\nserial 1\nformatted 0\nfinalized 0\nhighWater 0\ncapacity 1000000000\n"
       "pressed 0\nsession 1 1 0 1000000000\ntrack 1 1 0 1000000000 0 1 0 1 4\nend\n",
       "capacity beyond the medium's"},
      {"overlapping tracks", Media::CdR,
       "media CD-R\nserial 1\nformatted 0\nfinalized 0\nhighWater 0\ncapacity 359849\npressed 0\n"
       "session 1 0 0 0\ntrack 1 1 0 100 0 1 0 1 4\ntrack 2 1 50 10 0 0 0 1 4\nend\n",
       "tracks overlap"},
      {"a serial of 11 digits", Media::CdR,
       "media CD-R\nserial 99999999999\nformatted 0\nfinalized 0\nhighWater 0\n"
       "capacity 359849\npressed 0\nend\n",
       "unreadable line"},
      {"cut short", Media::CdR, "media CD-R\nserial 1\n", "incomplete state"},
      {"text after a number", Media::CdR,
       "media CD-R\nserial 1\nformatted 0\nfinalized 0\nhighWater 0\ncapacity 359849\npressed 0\n"
       "session 1 1 0 24for\ntrack 1 1 0 24 0 1 0 1 4\nend\n",
       "unreadable line 'session 1 1 0 24for'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Recorders({c.media});
    ASSERT_GOOD(DiscInfo());
    Spit(Folder() / "disc-0001" / "state", c.state);
    Spit(Folder() / "disc-0001" / "sectors", "burnt data");
    platform::debug::Capture debug;
    at::Reload();
    ASSERT_GOOD(DiscInfo());  // answers at once with a fresh blank
    EXPECT_EQ(DiscInfo().data[2] & 3, 0);
    EXPECT_EQ(CurrentSerial(), 2u);
    EXPECT_EQ(Slurp(Folder() / "disc-0001.unreadable" / "state"), c.state);
    EXPECT_EQ(Slurp(Folder() / "disc-0001.unreadable" / "sectors"), "burnt data");
    EXPECT_FALSE(fsys::exists(Folder() / "disc-0001"));
    EXPECT_NE(debug.Text().find("state of disc 0001 could not be read"), std::string::npos)
        << debug.Text();
    EXPECT_NE(debug.Text().find(c.reason), std::string::npos) << debug.Text();
    EXPECT_NE(debug.Text().find("disc-0001.unreadable"), std::string::npos) << debug.Text();
    at::ConfigureRecorders({});
    fsys::remove_all(dir.P("home"));
  }
}

TEST_F(RecorderState, ADamagedRecorderFileIsCopiedAsideAndNoDiscIsReused) {
  Recorders({Media::CdR});
  LibraryBurner b(0);
  ASSERT_GOOD(b.TrackAtOnce(Pattern(0, 20), {.multiSession = true}));
  ASSERT_GOOD(b.CloseSession());
  const std::string burnt = Slurp(Folder() / "disc-0001" / "state");
  Spit(Folder() / "recorder", "generation 7\ndisc 1\nnext 99999999999\n");
  at::Reload();
  ASSERT_GOOD(DiscInfo());
  EXPECT_EQ(Slurp(Folder() / "recorder.unreadable"), "generation 7\ndisc 1\nnext 99999999999\n");
  // The burnt disc's files stay as they were; the fresh blank takes a serial above them.
  EXPECT_EQ(Slurp(Folder() / "disc-0001" / "state"), burnt);
  EXPECT_EQ(CurrentSerial(), 2u);
}

}  // namespace
}  // namespace aspitest
