// The library's write sequences on each medium, replayed: what the disc holds afterwards, what
// reads back, and what a drive refuses on the way.
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "platform/debug/debug.h"
#include "tests/aspi/library_sequences.h"

namespace aspitest {
namespace {

class Writing : public AspiTest {
 protected:
  Reply DiscInfo(std::uint8_t target = 0) { return Cmd(target, Cdb10(0x51, 0, 0, 34), 34); }
  Reply TrackInfo(std::uint32_t track, std::uint8_t target = 0) {
    return Cmd(target, Cdb10(0x52, 1, track, 48), 48);
  }
};

TEST_F(Writing, EveryWritableMediumTakesTheTrackAtOnceSequence) {
  struct Row {
    Media media;
    std::uint8_t statusAfterClose;  // READ DISC INFORMATION byte 2, bits 0-1
  };
  const Row rows[] = {
      {Media::CdR, 2},      {Media::CdRw, 2},      {Media::DvdR, 2},  {Media::DvdRwSequential, 2},
      {Media::DvdPlusR, 2}, {Media::DvdPlusRw, 2}, {Media::DvdRam, 3}};
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(platform::aspi::vr::Traits(row.media).name));
    Recorders({row.media});
    LibraryBurner b(0);
    const auto data = Pattern(0, 100);
    ASSERT_GOOD(b.TrackAtOnce(data));
    ASSERT_GOOD(b.CloseSession());
    Reply info = DiscInfo();
    ASSERT_GOOD(info);
    EXPECT_EQ(info.data[2] & 0x03, row.statusAfterClose);
    Reply back = b.ReadBlocks(0, 100);
    ASSERT_GOOD(back);
    EXPECT_EQ(back.data, data);
    at::ConfigureRecorders({});
    std::filesystem::remove_all(dir.P("home"));
  }
}

TEST_F(Writing, DvdRDiscAtOnceCompletesWithoutClose) {
  Recorders({Media::DvdR});
  LibraryBurner b(0);
  ASSERT_GOOD(b.TrackAtOnce(Pattern(0, 1000)));
  Reply info = DiscInfo();
  EXPECT_EQ(info.data[2], 0x0E);  // complete, last session complete
  Reply t = TrackInfo(1);
  ASSERT_GOOD(t);
  EXPECT_EQ(t.U32(24), 1008u);  // 1001 blocks reserved, rounded to the ECC block
  EXPECT_EQ(t.data[6] & 0x40, 0);
  Reply cap = Cmd(0, Cdb10(0x25), 8);
  EXPECT_EQ(cap.U32(0), 1007u);
  Reply padding = b.ReadBlocks(1000, 8);
  ASSERT_GOOD(padding);
  EXPECT_EQ(padding.data, std::vector<std::uint8_t>(8 * 2048, 0));
  // A finished disc takes no more.
  EXPECT_SENSE(CmdOut(0, Cdb10(0x2A, 0, 1008, 1), Pattern(0, 1)), 5, 0x21, 0x02);
  EXPECT_EQ(b.TrackAtOnce(Pattern(0, 10)).status, 0xFF);  // "Track is not blank"
}

TEST_F(Writing, CdTrackAtOnceModes) {
  Recorders({Media::CdR, Media::CdR});
  LibraryBurner mode1(0), xa(1);
  ASSERT_GOOD(mode1.TrackAtOnce(Pattern(0, 50)));
  ASSERT_GOOD(xa.TrackAtOnce(Pattern(0, 50), {.xa = true}));
  ASSERT_GOOD(mode1.CloseSession());
  ASSERT_GOOD(xa.CloseSession());
  Reply hdr = Cmd(1, {0xBE, 0, 0, 0, 0, 3, 0, 0, 1, 0xE0, 0, 0}, 24);
  ASSERT_GOOD(hdr);
  EXPECT_EQ(hdr.data[15], 0x02);      // Mode 2
  EXPECT_EQ(hdr.data[18] & 0x20, 0);  // Form 1
  EXPECT_GOOD(Cmd(1, {0xBE, 0x10, 0, 0, 0, 3, 0, 0, 1, 0x10, 0, 0}, 2048));
  EXPECT_EQ(DiscInfo(1).data[8], 0x20);  // CD-ROM XA disc
  EXPECT_EQ(Cmd(1, Cdb10(0x28, 0, 0, 50), 50 * 2048).data, Pattern(0, 50));
  Reply full = Cmd(1, {0x43, 0x02, 0x02, 0, 0, 0, 0, 0x40, 0, 0}, 16384);
  ASSERT_GOOD(full);
  EXPECT_EQ(full.data[4 + 9], 0x20);  // A0: disc type XA
}

TEST_F(Writing, CdMultiSessionLeavesTheDiscAppendable) {
  Recorders({Media::CdR});
  LibraryBurner b(0);
  ASSERT_GOOD(b.TrackAtOnce(Pattern(0, 300), {.xa = true, .multiSession = true}));
  ASSERT_GOOD(b.CloseSession());
  Reply info = DiscInfo();
  EXPECT_EQ(info.data[2] & 0x03, 1);      // appendable
  EXPECT_EQ((info.data[2] >> 2) & 3, 0);  // the next session is empty
  EXPECT_EQ(info.data[4], 2);             // sessions, the empty one included
  Reply next = TrackInfo(0xFF);
  ASSERT_GOOD(next);
  EXPECT_EQ(next.data[2], 2);
  EXPECT_EQ(next.data[3], 2);
  EXPECT_EQ(next.U32(12), 300u + 6750 + 4500 + 150);
  ASSERT_GOOD(b.TrackAtOnce(Pattern(11700, 20), {.xa = true}));
  ASSERT_GOOD(b.CloseSession());
  info = DiscInfo();
  EXPECT_EQ(info.data[2] & 0x03, 2);
  EXPECT_EQ(info.data[4], 2);
  Reply full = Cmd(0, {0x43, 0x02, 0x02, 0, 0, 0, 0, 0x40, 0, 0}, 16384);
  ASSERT_GOOD(full);
  EXPECT_EQ(full.data[3], 2);  // last session
  EXPECT_EQ(Cmd(0, Cdb10(0x28, 0, 11700, 20), 20 * 2048).data, Pattern(11700, 20));
}

TEST_F(Writing, CdSecondTrackInTheSessionFollowsTheGap) {
  Recorders({Media::CdR});
  LibraryBurner b(0);
  ASSERT_GOOD(b.TrackAtOnce(Pattern(0, 60)));
  Reply second = TrackInfo(0xFF);
  ASSERT_GOOD(second);
  EXPECT_EQ(second.data[2], 2);
  EXPECT_EQ(second.U32(12), 60u + 152);
  ASSERT_GOOD(b.TrackAtOnce(Pattern(212, 10)));
  ASSERT_GOOD(b.CloseSession());
  Reply toc = Cmd(0, Cdb10(0x43, 0, 0, 804), 804);
  ASSERT_GOOD(toc);
  EXPECT_EQ(toc.data[3], 2);
  EXPECT_EQ(toc.U32(4 + 8 + 4), 212u);
}

TEST_F(Writing, CdCloseSessionClosesTheOpenTrackToo) {
  Recorders({Media::CdR});
  LibraryBurner b(0);
  ASSERT_GOOD(b.SetWriteParameters(1, 8, 4, false, false, 0, false));
  ASSERT_GOOD(CmdOut(0, Cdb10(0x2A, 0, 0, 10), Pattern(0, 10)));  // no cache flush
  EXPECT_EQ(TrackInfo(1).data[7] & 1, 1);                         // the track is open
  ASSERT_GOOD(b.Close(0, 2, 0));
  Reply t = TrackInfo(1);
  EXPECT_EQ(t.data[7] & 1, 0);
  EXPECT_EQ(t.U32(24), 10u);
  EXPECT_EQ(DiscInfo().data[2] & 3, 2);
}

TEST_F(Writing, TestWriteLeavesTheDiscBlank) {
  Recorders({Media::CdR, Media::DvdR});
  for (std::uint8_t t : {0, 1}) {
    LibraryBurner b(t);
    ASSERT_GOOD(b.TrackAtOnce(Pattern(0, 40), {.testWrite = true}));
    ASSERT_GOOD(b.CloseSession());
    Reply info = DiscInfo(t);
    EXPECT_EQ(info.data[2] & 0x03, 0) << int{t};
    Reply track = TrackInfo(t == 0 ? 0xFF : 1, t);
    EXPECT_EQ(track.data[6] & 0x40, 0x40);
  }
}

TEST_F(Writing, RewritableMediaBlankAndFormat) {
  Recorders({Media::CdRw, Media::DvdPlusRw, Media::DvdRwSequential});
  LibraryBurner cd(0), plus(1), minus(2);
  ASSERT_GOOD(cd.TrackAtOnce(Pattern(0, 20)));
  ASSERT_GOOD(cd.CloseSession());
  EXPECT_GOOD(Cmd(0, {0xA1, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));  // minimal blank, Immed
  EXPECT_EQ(DiscInfo(0).data[2] & 3, 0);
  EXPECT_SENSE(Cmd(0, {0xA1, 0x12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), 5, 0x24, 0);  // track blank

  ASSERT_GOOD(plus.TrackAtOnce(Pattern(0, 20)));  // formats first: READ CAPACITY showed 0
  EXPECT_EQ(Cmd(1, Cdb10(0x25), 8).U32(0), 2295104u - 1);
  ASSERT_GOOD(plus.TrackAtOnce(Pattern(100, 20)));  // overwritten from 0
  EXPECT_EQ(plus.ReadBlocks(0, 20).data, Pattern(100, 20));
  ASSERT_GOOD(plus.CloseSession());

  // DVD-RW: a quick format makes it restricted overwrite, written at random.
  EXPECT_GOOD(CmdOut(2, {0x04, 0x11, 0, 0, 0, 0},
                     {0, 0x82, 0, 8, 0, 0x23, 0x0F, 0x20, 0x15 << 2, 0, 0, 16}));
  EXPECT_EQ(minus.Profile(), 0x0013);
  ASSERT_GOOD(minus.TrackAtOnce(Pattern(0, 32)));
  EXPECT_GOOD(CmdOut(2, Cdb10(0x2A, 0, 5000, 1), Pattern(5000, 1)));
  EXPECT_EQ(minus.ReadBlocks(5000, 1).data, Pattern(5000, 1));
  EXPECT_GOOD(Cmd(2, {0xA1, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(minus.Profile(), 0x0014);
}

TEST_F(Writing, DvdRamFormatsFromItsCapacityList) {
  Recorders({Media::DvdRam});
  LibraryBurner b(0);
  ASSERT_GOOD(b.TrackAtOnce(Pattern(0, 64)));
  EXPECT_EQ(Cmd(0, Cdb10(0x25), 8).U32(0), 2236704u - 1);
  EXPECT_GOOD(CmdOut(0, Cdb10(0x2A, 0, 100000, 2), Pattern(100000, 2)));
  EXPECT_EQ(b.ReadBlocks(100000, 2).data, Pattern(100000, 2));
}

TEST_F(Writing, RefusedWrites) {
  Recorders({Media::CdR, Media::DvdR, Media::DvdPlusRw});
  LibraryBurner cd(0);
  ASSERT_GOOD(cd.SetWriteParameters(1, 8, 4, false, false, 0, false));
  const auto one = Pattern(0, 1);
  EXPECT_SENSE(CmdOut(0, Cdb10(0x2A, 0, 7, 1), one), 5, 0x21, 0x02);  // not the NWA
  EXPECT_SENSE(CmdOut(0, Cdb10(0x2A, 0, 0, 2), one), 5, 0x64, 0x00);  // 1024-byte blocks
  std::vector<std::uint8_t> raw(2352);
  EXPECT_SENSE(CmdOut(0, Cdb10(0x2A, 0, 0, 1), raw), 5, 0x64, 0x00);     // raw sector size
  EXPECT_SENSE(CmdOut(0, Cdb10(0x2A, 0x01, 0, 1), one), 5, 0x24, 0x00);  // RelAdr
  EXPECT_SENSE(CmdOut(0, Cdb10(0x2A, 0, 400000, 1), one), 5, 0x21, 0x02);
  EXPECT_SENSE(CmdOut(1, Cdb10(0x2A, 0, 0, 1), one), 5, 0x2C, 0x00);       // DVD-R: no reservation
  EXPECT_SENSE(Cmd(1, {0x53, 0, 0, 0, 0, 0, 0, 0, 0, 0}), 5, 0x24, 0);     // zero blocks
  EXPECT_SENSE(Cmd(1, {0x53, 0, 0, 0, 0, 0x7F, 0, 0, 0, 0}), 5, 0x24, 0);  // beyond the disc
  EXPECT_GOOD(Cmd(1, {0x53, 0, 0, 0, 0, 0, 0, 0, 16, 0}));
  EXPECT_SENSE(Cmd(1, {0x53, 0, 0, 0, 0, 0, 0, 0, 16, 0}), 5, 0x2C, 0);  // second reservation
  EXPECT_SENSE(CmdOut(1, Cdb10(0x2A, 0, 0, 17), Pattern(0, 17)), 5, 0x21, 0x00);  // past it
  EXPECT_SENSE(CmdOut(2, Cdb10(0x2A, 0, 0, 1), one), 5, 0x30, 0x05);     // DVD+RW not formatted
  EXPECT_SENSE(Cmd(0, {0x53, 0, 0, 0, 0, 0, 0, 0, 16, 0}), 5, 0x2C, 0);  // no reservation on CD
  EXPECT_SENSE(Cmd(0, {0xA1, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), 5, 0x30, 0x05);  // CD-R blank
  EXPECT_SENSE(
      CmdOut(0, {0x04, 0x11, 0, 0, 0, 0}, {0, 0x82, 0, 8, 0xFF, 0xFF, 0xFF, 0xFF, 0x98, 0, 0, 0}),
      5, 0x30, 0x05);  // no format on CD-R
  const std::vector<std::uint8_t> format = {0x04, 0x11, 0, 0, 0, 0};
  EXPECT_SENSE(CmdOut(2, format, {0, 0x82, 0, 8, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0, 0, 0}), 5, 0x26,
               0);
  EXPECT_SENSE(CmdOut(2, format, {0, 0x82, 0, 4, 0xFF, 0xFF, 0xFF, 0xFF}), 5, 0x26, 0);
  EXPECT_SENSE(
      CmdOut(2, {0x04, 0x01, 0, 0, 0, 0}, {0, 0x82, 0, 8, 0xFF, 0xFF, 0xFF, 0xFF, 0x98, 0, 0, 0}),
      5, 0x24, 0);  // FmtData clear
  const std::vector<std::uint8_t> close = {0x5B, 0, 0x03, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_SENSE(Cmd(0, close), 5, 0x24, 0);                                 // function 011b
  EXPECT_SENSE(Cmd(0, {0x5B, 0, 0x05, 0, 0, 0, 0, 0, 0, 0}), 5, 0x24, 0);  // 101b on CD
}

TEST_F(Writing, DvdPlusRFinalizesWith101b) {
  Recorders({Media::DvdPlusR});
  LibraryBurner b(0);
  ASSERT_GOOD(b.TrackAtOnce(Pattern(0, 40)));
  Reply open = TrackInfo(1);
  EXPECT_EQ(open.data[7] & 1, 1);
  EXPECT_SENSE(b.Close(1, 1, 2), 5, 0x24, 0);  // not the open track
  ASSERT_GOOD(b.CloseSession());
  EXPECT_EQ(DiscInfo().data[2] & 3, 2);
}

TEST_F(Writing, StateLivesInFilesAcrossReloads) {
  Recorders({Media::CdR});
  LibraryBurner b(0);
  ASSERT_GOOD(b.TrackAtOnce(Pattern(0, 30), {.multiSession = true}));
  ASSERT_GOOD(b.CloseSession());
  at::Reload();
  EXPECT_EQ(DiscInfo().data[2] & 3, 1);
  EXPECT_EQ(b.ReadBlocks(0, 30).data, Pattern(0, 30));
  const std::string folder = dir.P("home/VirtualRecorders/Recorder0/");
  EXPECT_TRUE(std::filesystem::exists(folder + "recorder"));
  EXPECT_TRUE(std::filesystem::exists(folder + "disc-0001/state"));
  EXPECT_TRUE(std::filesystem::exists(folder + "disc-0001/sectors"));
}

TEST_F(Writing, EjectLeavesNumberedImagesAndAFreshBlank) {
  Recorders({Media::CdR});
  LibraryBurner b(0);
  for (int disc = 1; disc <= 2; ++disc) {
    ASSERT_GOOD(b.TrackAtOnce(Pattern(0, 25 + disc)));
    ASSERT_GOOD(b.CloseSession());
    ASSERT_GOOD(Cmd(0, {0x1B, 0, 0, 0, 0x02, 0}));
    EXPECT_EQ(DiscInfo().data[2] & 3, 0);  // a fresh blank
  }
  const std::string folder = dir.P("home/VirtualRecorders/Recorder0/");
  for (const char* name :
       {"Recorder0-0001.iso", "Recorder0-0001.bin", "Recorder0-0001.cue", "Recorder0-0002.iso"})
    EXPECT_TRUE(std::filesystem::exists(folder + name)) << name;
  EXPECT_EQ(std::filesystem::file_size(folder + "Recorder0-0002.iso"), 27u * 2048);
  EXPECT_FALSE(std::filesystem::exists(folder + "disc-0001"));
  // Ejecting the blank leaves no image.
  ASSERT_GOOD(Cmd(0, {0x1B, 0, 0, 0, 0x02, 0}));
  EXPECT_FALSE(std::filesystem::exists(folder + "Recorder0-0003.iso"));
}

// A second process (its own layer state, the same files) closes the session the caller left open
// and writes a 5-block track in the next.
void SecondSessionFromAnotherProcess() {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    at::Reload();
    LibraryBurner other(0);
    const bool ok = other.CloseSession().Good() && other.TrackAtOnce(Pattern(11562, 5)).Good();
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST_F(Writing, TwoProcessesShareARecorder) {
  Recorders({Media::CdR});
  LibraryBurner b(0);
  ASSERT_GOOD(b.TrackAtOnce(Pattern(0, 10), {.multiSession = true}));
  ASSERT_NO_FATAL_FAILURE(SecondSessionFromAnotherProcess());
  Reply t = TrackInfo(2);
  ASSERT_GOOD(t);
  EXPECT_EQ(t.U32(8), 10u + 6750 + 4500 + 150);
  EXPECT_EQ(b.ReadBlocks(11410, 5).data, Pattern(11562, 5));
}

// A state another process wrote longer, then rewritten shorter here: nothing of the longer text
// stays behind it.
TEST_F(Writing, AStateAnotherProcessLengthenedIsRewrittenWhole) {
  Recorders({Media::CdRw});
  LibraryBurner b(0);
  ASSERT_GOOD(b.TrackAtOnce(Pattern(0, 10), {.multiSession = true}));
  ASSERT_NO_FATAL_FAILURE(SecondSessionFromAnotherProcess());
  platform::debug::Capture capture;
  ASSERT_GOOD(Cmd(0, {0xA1, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));  // minimal blank
  at::Reload();  // read back from the files alone
  EXPECT_EQ(DiscInfo().data[2] & 3, 0);
  EXPECT_EQ(capture.Text().find("could not be read"), std::string::npos) << capture.Text();
}

TEST_F(Writing, DvdEjectMovesItsSectorsToTheImage) {
  Recorders({Media::DvdPlusR});
  LibraryBurner b(0);
  ASSERT_GOOD(b.TrackAtOnce(Pattern(0, 48)));
  ASSERT_GOOD(b.CloseSession());
  ASSERT_GOOD(Cmd(0, {0x1B, 0, 0, 0, 0x02, 0}));
  const std::string iso = dir.P("home/VirtualRecorders/Recorder0/Recorder0-0001.iso");
  const auto data = Pattern(0, 48);
  EXPECT_EQ(ReadFile(iso), std::string(data.begin(), data.end()));
}

// More than 4 GiB on a DVD-R: addresses past 32-bit byte offsets. QUORVA_BIG_TESTS=1 runs it.
TEST_F(Writing, BigDvdRBeyondFourGigabytes) {
  if (!std::getenv("QUORVA_BIG_TESTS")) GTEST_SKIP() << "set QUORVA_BIG_TESTS=1 to run";
  Recorders({Media::DvdR});
  const std::uint32_t blocks = 2200000;  // 4.5 GB
  ASSERT_GOOD(
      Cmd(0, {0x53, 0, 0, 0, 0, 0, static_cast<std::uint8_t>(blocks >> 16),
              static_cast<std::uint8_t>(blocks >> 8), static_cast<std::uint8_t>(blocks), 0}));
  for (std::uint32_t lba = 0; lba < blocks; lba += 32)
    ASSERT_GOOD(CmdOut(0, Cdb10(0x2A, 0, lba, 32), Pattern(lba, 32))) << lba;
  ASSERT_GOOD(Cmd(0, Cdb10(0x35)));
  EXPECT_EQ(Cmd(0, Cdb10(0x25), 8).U32(0), blocks - 1);
  EXPECT_EQ(Cmd(0, Cdb10(0x28, 0, blocks - 32, 32), 32 * 2048).data, Pattern(blocks - 32, 32));
  ASSERT_GOOD(Cmd(0, {0x1B, 0, 0, 0, 0x02, 0}));
  EXPECT_EQ(std::filesystem::file_size(dir.P("home/VirtualRecorders/Recorder0/Recorder0-0001.iso")),
            std::uint64_t{blocks} * 2048);
}

}  // namespace
}  // namespace aspitest
