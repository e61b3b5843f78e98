// The library core: address conversions and the Q-subchannel CRC against outside references,
// the exception and the trace, the locks, and the readers of drive data that must stay within
// what the drive returned.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "lib/core/critical_section_lock.h"
#include "lib/core/debug_trace.h"
#include "lib/core/halvorin_exception.h"
#include "lib/core/scsi/dumps.h"
#include "lib/core/scsi/mode_page.h"
#include "lib/core/sector/lba_msf.h"
#include "lib/core/sector/sector_helpers.h"
#include "platform/debug/debug.h"
#include "tests/lib/lib_test_support.h"
#include "tests/support/temp_dir.h"

namespace {

struct MsfCase {
  std::int32_t lba;
  std::uint8_t m, s, f;
  bool result;
};

// The edges of both ranges. The last address is 99:59:74 (LBA 449,849): one frame later the
// minute would be 100, which has no BCD form. 90 minutes start at LBA 404,850 (90:00:00).
const MsfCase kMsfCases[] = {
    {-150, 0, 0, 0, true},
    {0, 0, 2, 0, true},
    {-151, 99, 59, 74, true},
    {-45150, 90, 0, 0, true},
    {404849, 89, 59, 74, true},
    {404850, 90, 0, 0, false},
    {449849, 99, 59, 74, false},
    {449850, 0xFF, 0xFF, 0xFF, false},
    {449999, 0xFF, 0xFF, 0xFF, false},
    {450000, 0xFF, 0xFF, 0xFF, false},
    {-45151, 0xFF, 0xFF, 0xFF, false},
};

std::uint8_t Bcd(std::uint8_t v) {
  return v == 0xFF ? 0xFF : static_cast<std::uint8_t>((v / 10) << 4 | v % 10);
}

TEST(LbaMsf, EdgesOfBothRanges) {
  for (const auto& c : kMsfCases) {
    SCOPED_TRACE("LBA " + std::to_string(c.lba));
    std::uint8_t msf[3] = {1, 2, 3}, bcd[3] = {1, 2, 3};
    EXPECT_EQ(LBAToMSF(c.lba, msf), c.result);
    EXPECT_EQ(LBAToMSFBCD(bcd, c.lba), c.result);
    EXPECT_EQ(msf[0], c.m);
    EXPECT_EQ(msf[1], c.s);
    EXPECT_EQ(msf[2], c.f);
    EXPECT_EQ(bcd[0], Bcd(c.m));
    EXPECT_EQ(bcd[1], Bcd(c.s));
    EXPECT_EQ(bcd[2], Bcd(c.f));
  }
}

TEST(LbaMsf, FailuresAreTracedInTheirWords) {
  platform::debug::Capture capture;
  std::uint8_t msf[3];
  LBAToMSFBCD(msf, 450000);
  LBAToMSFBCD(msf, 404850);
  EXPECT_NE(capture.Text().find("LBAToMSFBCD(): EXITing with failure, convertion is incorrect #1"),
            std::string::npos);
  EXPECT_NE(capture.Text().find("LBAToMSFBCD(): EXITing with failure, convertion is incorrect #2"),
            std::string::npos);
}

// libcdio reads a cue sheet whose INDEX positions are frame counts (written here with
// FramesToMSFBCD) and lists each track's LSN and its MSF: the LSN must be the frame count we
// meant, and the MSF what LBAToMSF gives for it.
TEST(LbaMsf, AgreesWithLibcdio) {
  if (std::system("command -v cd-info >/dev/null 2>&1") != 0) GTEST_SKIP() << "cd-info missing";
  TempDir dir;
  const std::vector<std::int32_t> lbas = {0,     1,      74,     75,     4499,  4500,
                                          44999, 269999, 404849, 404850, 449849};
  WriteFile(dir.P("t.bin"), std::string(2352, '\0'));
  std::ostringstream cue;
  cue << "FILE \"t.bin\" BINARY\n";
  int track = 1;
  for (auto lba : lbas) {
    std::uint8_t bcd[3];
    FramesToMSFBCD(static_cast<std::uint32_t>(lba), bcd);
    char line[96];
    std::snprintf(line, sizeof line, "  TRACK %02d AUDIO\n    INDEX 01 %02X:%02X:%02X\n", track++,
                  bcd[0], bcd[1], bcd[2]);
    cue << line;
  }
  WriteFile(dir.P("t.cue"), cue.str());
  std::string out;
  ASSERT_EQ(RunCommand("cd-info --no-cddb --no-device-info --no-disc-mode --no-analyze --quiet "
                       "--cue-file " +
                           dir.P("t.cue") + " 2>&1",
                       &out),
            0)
      << out;
  std::istringstream lines(out);
  std::string line;
  size_t seen = 0;
  while (std::getline(lines, line)) {
    int number = 0, m = 0, s = 0, f = 0;
    long lsn = 0;
    if (std::sscanf(line.c_str(), " %d: %d:%d:%d %ld audio", &number, &m, &s, &f, &lsn) != 5 ||
        number < 1 || number > static_cast<int>(lbas.size()))
      continue;
    const std::int32_t lba = lbas[static_cast<size_t>(number - 1)];
    EXPECT_EQ(lsn, lba) << line;
    std::uint8_t msf[3];
    LBAToMSF(lba, msf);
    EXPECT_EQ(msf[0], m) << line;
    EXPECT_EQ(msf[1], s) << line;
    EXPECT_EQ(msf[2], f) << line;
    ++seen;
  }
  EXPECT_EQ(seen, lbas.size()) << out;
}

TEST(LbaMsf, BytesToBlocksRoundsUp) {
  EXPECT_EQ(UCHARsToLBs(0), 0u);
  EXPECT_EQ(UCHARsToLBs(1), 1u);
  EXPECT_EQ(UCHARsToLBs(2048), 1u);
  EXPECT_EQ(UCHARsToLBs(2049), 2u);
  EXPECT_EQ(UCHARsToLBs(std::uint64_t{5} << 40), std::uint64_t{5} << 29);
}

// Python's binascii.crc_hqx is CRC-16-CCITT with initial value 0, not reflected: the Q CRC is
// its one's complement, high byte first.
TEST(SubQCrc, AgreesWithPythonBinascii) {
  std::mt19937 random(7);
  std::vector<std::vector<std::uint8_t>> frames;
  frames.push_back({0x41, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0, 0});
  for (int i = 0; i < 200; ++i) {
    std::vector<std::uint8_t> q(12);
    for (int j = 0; j < 10; ++j) q[j] = static_cast<std::uint8_t>(random());
    frames.push_back(q);
  }
  TempDir dir;
  std::string input;
  for (auto& q : frames) input += libtest::Hex({q.begin(), q.begin() + 10}) + "\n";
  WriteFile(dir.P("frames.txt"), input);
  WriteFile(dir.P("crc.py"),
            "import binascii, sys\n"
            "for line in open(sys.argv[1]):\n"
            "    crc = binascii.crc_hqx(bytes.fromhex(line), 0) ^ 0xFFFF\n"
            "    print('%02X %02X' % (crc >> 8, crc & 0xFF))\n");
  std::string out;
  ASSERT_EQ(
      RunCommand(std::string(QUORVA_PYTHON) + " " + dir.P("crc.py") + " " + dir.P("frames.txt"),
                 &out),
      0);
  std::istringstream lines(out);
  for (auto& q : frames) {
    CalculateSubQCRC(q.data());
    unsigned hi = 0, lo = 0;
    std::string line;
    ASSERT_TRUE(std::getline(lines, line));
    ASSERT_EQ(std::sscanf(line.c_str(), "%X %X", &hi, &lo), 2);
    EXPECT_EQ(q[10], hi) << libtest::Hex(q);
    EXPECT_EQ(q[11], lo) << libtest::Hex(q);
  }
}

TEST(HalvorinException, TextIsFormattedAndCutToItsBuffer) {
  const std::string longText(5000, 'x');
  CHalvorin_Exception e(2, 0, "%s", longText.c_str());
  EXPECT_EQ(std::string(e.GetText()), longText.substr(0, CHalvorin_Exception::kTextSize - 1));
  int object = 0;
  CHalvorin_Exception f(5, 0x1234, "at %p, %" PRId64 " bytes", static_cast<void*>(&object),
                        std::int64_t{1} << 40);
  char expected[64];
  std::snprintf(expected, sizeof expected, "at %p, 1099511627776 bytes",
                static_cast<void*>(&object));
  EXPECT_STREQ(f.GetText(), expected);
  EXPECT_EQ(f.GetDetail(), 0x1234u);
}

TEST(HalvorinException, OwnsItsFailureBlockUnlessTakenOver) {
  auto block = std::make_unique<CDB_FAILURE_INFORMATION>();
  block->m__UCHAR__CDBLength = 10;
  const auto* address = block.get();
  {
    CHalvorin_Exception kept(std::move(block), "Command failed!!!");
    EXPECT_EQ(kept.GetStatus(), 8);
    EXPECT_EQ(kept.GetDetail(), reinterpret_cast<std::uintptr_t>(address));
  }  // freed with the exception; the leak checker would say otherwise
  CHalvorin_Exception taken(std::make_unique<CDB_FAILURE_INFORMATION>(), "Command failed!!!");
  auto mine = taken.TakeFailureInformation();
  EXPECT_NE(mine, nullptr);
  EXPECT_EQ(taken.GetFailureInformation(), nullptr);
}

TEST(HalvorinException, ThrownPointerKeepsItsIdentityThroughTracedMethods) {
  platform::debug::Capture capture;
  CHalvorin_Exception* seen = nullptr;
  auto thrown = libtest::Catch([&] {
    HalvorinI_Traced("CHalvorin_Test::Outer", [&] {
      HalvorinI_Traced("CHalvorin_Test::Inner", [&] {
        HalvorinI_ThrowException(10, 0, "CHalvorin_Test::Inner(): Track is not blank!!!");
      });
    });
  });
  seen = thrown.exception.get();
  ASSERT_TRUE(thrown.thrown);
  ASSERT_NE(seen, nullptr);
  EXPECT_EQ(thrown.Status(), 10);
  EXPECT_EQ(thrown.Text(), "CHalvorin_Test::Inner(): Track is not blank!!!");
  const std::string text = capture.Text();
  EXPECT_NE(text.find("\nCHalvorin_Test::Outer(): ENTERed\n"), std::string::npos);
  EXPECT_NE(text.find("\nCHalvorin_Test::Inner(): Track is not blank!!!\n"), std::string::npos);
  EXPECT_NE(text.find("\nCHalvorin_Test::Outer(): EXITing with failure, exception number "
                      "0x0000000A, exception text 'CHalvorin_Test::Inner(): Track is not "
                      "blank!!!'!!!\n"),
            std::string::npos);
}

TEST(HalvorinTrace, LongMessagesAreCutToTheBuffer) {
  platform::debug::Capture capture;
  DebugTrace("%s", std::string(6000, 'y').c_str());
  EXPECT_EQ(capture.Text(), std::string(4095, 'y'));
}

TEST(HalvorinTrace, GoesToTheFileTheVariableNames) {
  TempDir dir;
  setenv("HALVORIN_DEBUG_OUTPUT", dir.P("trace.txt").c_str(), 1);
  DebugTrace("\nfirst %d\n", 1);
  DebugTrace("second\n");
  unsetenv("HALVORIN_DEBUG_OUTPUT");
  DebugTrace("not written\n");
  EXPECT_EQ(ReadFile(dir.P("trace.txt")), "\nfirst 1\nsecond\n");
}

TEST(CriticalSection, TheHoldingThreadEntersAgain) {
  CHalvorin_CriticalSection section;
  CHalvorin_CriticalSectionLock outer(&section);
  { CHalvorin_CriticalSectionLock inner(&section); }
  bool otherGotIt = true;
  std::thread([&] { otherGotIt = section.try_lock(); }).join();
  EXPECT_FALSE(otherGotIt);
}

std::vector<std::uint8_t> TrackInformation(std::uint16_t dataLength) {
  std::vector<std::uint8_t> d(48, 0);
  d[0] = static_cast<std::uint8_t>(dataLength >> 8);
  d[1] = static_cast<std::uint8_t>(dataLength);
  d[2] = 3;                                                // track
  d[6] = 0x40;                                             // blank
  d[7] = 0x01;                                             // NWA valid
  d[12] = 0x00, d[13] = 0x01, d[14] = 0x02, d[15] = 0x03;  // NWA
  d[16] = 0x00, d[17] = 0x05, d[18] = 0x00, d[19] = 0x00;  // free blocks
  return d;
}

TEST(TrackInformation, AFullReplyGivesItsFields) {
  auto d = TrackInformation(46);
  bool blank = false, nwaValid = false;
  std::uint32_t free = 0, nwa = 0;
  std::uint8_t track = 0;
  CHalvorin_DumpAndParseTrackInformation(d.data(), static_cast<std::uint32_t>(d.size()), &blank,
                                         &nwaValid, &free, &nwa, &track);
  EXPECT_TRUE(blank);
  EXPECT_TRUE(nwaValid);
  EXPECT_EQ(nwa, 0x010203u);
  EXPECT_EQ(free, 0x050000u);
  EXPECT_EQ(track, 3);
}

// The drive returned 12 bytes (data length 10): what lies beyond is stale buffer content.
TEST(TrackInformation, AShortReplyMarksTheMissingFieldsInvalid) {
  platform::debug::Capture capture;
  auto d = TrackInformation(10);
  bool blank = false, nwaValid = true;
  std::uint32_t free = 1, nwa = 1;
  std::uint8_t track = 0;
  CHalvorin_DumpAndParseTrackInformation(d.data(), static_cast<std::uint32_t>(d.size()), &blank,
                                         &nwaValid, &free, &nwa, &track);
  EXPECT_TRUE(blank);  // byte 6 was returned
  EXPECT_FALSE(nwaValid);
  EXPECT_EQ(nwa, 0u);
  EXPECT_EQ(free, 0u);
  EXPECT_EQ(track, 3);
  EXPECT_NE(capture.Text().find("WARNING! Length 10 less then 24!"), std::string::npos);

  // A buffer shorter than the data length claims bounds it too.
  auto cut = TrackInformation(46);
  CHalvorin_DumpAndParseTrackInformation(cut.data(), 14, &blank, &nwaValid, &free, &nwa, &track);
  EXPECT_FALSE(nwaValid);
  EXPECT_EQ(free, 0u);
}

// Two entries and no terminating entry: the dump stops at the sheet's end.
TEST(TraceDumps, CueSheetStopsAtItsSize) {
  platform::debug::Capture capture;
  std::vector<std::uint8_t> sheet = {0x01, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00,
                                     0x41, 0x01, 0x01, 0x10, 0x00, 0x00, 0x02, 0x00};
  DumpCueSheet(sheet.data(), static_cast<std::uint32_t>(sheet.size()));
  const std::string text = capture.Text();
  size_t lines = 0;
  for (size_t at = text.find("DumpCueSheet(): 0x"); at != std::string::npos;
       at = text.find("DumpCueSheet(): 0x", at + 1))
    ++lines;
  EXPECT_EQ(lines, 2u) << text;
}

TEST(TraceDumps, CapabilitiesDumpRefusesAnotherPage) {
  platform::debug::Capture capture;
  const std::uint8_t page[] = {0x05, 0x32, 0x01, 0x04};
  CHalvorin_DumpCdvdCapabilitiesPage(page, sizeof page);
  EXPECT_NE(capture.Text().find("Page code 0x05 instead of 0x2A!"), std::string::npos);
  EXPECT_EQ(capture.Text().find("Read CD-R"), std::string::npos);
}

// Mode data: header (8 bytes, data length and block descriptor length), then the page.
std::vector<std::uint8_t> ModeData(std::uint16_t descriptors, std::uint8_t code,
                                   std::uint8_t pageLength, std::size_t bufferSize) {
  std::vector<std::uint8_t> d(bufferSize, 0xEE);
  std::fill(d.begin(), d.begin() + 8, 0);
  const std::uint32_t dataLength = 6 + descriptors + 2 + pageLength;
  d[0] = static_cast<std::uint8_t>(dataLength >> 8);
  d[1] = static_cast<std::uint8_t>(dataLength);
  d[6] = static_cast<std::uint8_t>(descriptors >> 8);
  d[7] = static_cast<std::uint8_t>(descriptors);
  d[8 + descriptors] = code;
  d[9 + descriptors] = pageLength;
  return d;
}

TEST(ModePage, FoundAfterTheHeaderAndBlockDescriptors) {
  auto d = ModeData(8, 0x2A, 20, 64);
  auto page = HalvorinI_LocateModePage(d.data(), 64, 0x2A);
  EXPECT_EQ(page.m__PUCHAR__Page, d.data() + 16);
  EXPECT_EQ(page.m__ULONG__Size, 22u);
  EXPECT_EQ(HalvorinI_LocateModePage(d.data(), 64, 0x05).m__PUCHAR__Page, nullptr);
}

TEST(ModePage, BoundedByTheDataLengthAndTheBuffer) {
  auto d = ModeData(0, 0x05, 54, 40);  // the page claims more than the buffer holds
  EXPECT_EQ(HalvorinI_LocateModePage(d.data(), 40, 0x05).m__ULONG__Size, 32u);
  auto header = ModeData(0, 0x05, 54, 64);
  header[1] = 6 + 4;  // the drive returned only 4 bytes of the page
  EXPECT_EQ(HalvorinI_LocateModePage(header.data(), 64, 0x05).m__ULONG__Size, 4u);
  auto descriptors = ModeData(0, 0x2A, 20, 64);
  descriptors[6] = 0x01;  // 256 bytes of block descriptors: past the buffer
  EXPECT_EQ(HalvorinI_LocateModePage(descriptors.data(), 64, 0x2A).m__PUCHAR__Page, nullptr);
}

}  // namespace
