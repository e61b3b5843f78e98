// CD-Text: the texts as stored, the packs and their counts for the edge cases, the refusal of
// more text packs than one block numbers, the R-W blocks read back by the virtual recorder's
// decoder, and the packs as a .cdt file read by cd-info beside a small .bin and .cue.
#include "lib/core/sector/cd_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/aspi/recorder/coding/vr_subchannel.h"
#include "tests/support/temp_dir.h"

namespace {

namespace vr = platform::aspi::vr;
using Bytes = std::vector<std::uint8_t>;

Bytes Packs(const CHalvorin_CDText& t) {
  return Bytes(t.GetPackData(), t.GetPackData() + t.GetPackDataSize());
}

int PacksOfType(const Bytes& packs, std::uint8_t type) {
  int n = 0;
  for (std::size_t at = 0; at < packs.size(); at += 18) n += packs[at] == type;
  return n;
}

TEST(CDText, TextsAreCutToThirtyOneAndSpacesBecomeUnderscores) {
  CHalvorin_CDText t;
  EXPECT_FALSE(t.IsCDTextPresent());
  ASSERT_EQ(t.AddTrackInfo(1, "Two words", "0123456789012345678901234567890123456789"), 0u);
  EXPECT_TRUE(t.IsCDTextPresent());
  EXPECT_STREQ(t.GetEntry(1)->m__CHAR__Title, "Two_words");
  EXPECT_STREQ(t.GetEntry(1)->m__CHAR__Performer, "0123456789012345678901234567890");
  ASSERT_EQ(t.AddTrackInfo(1, nullptr, "Caf\xC3\xA9\t!"), 0u);
  EXPECT_STREQ(t.GetEntry(1)->m__CHAR__Title, "");
  EXPECT_STREQ(t.GetEntry(1)->m__CHAR__Performer, "Caf___!");
  for (std::int32_t bad : {100, 101, -1}) EXPECT_EQ(t.AddTrackInfo(bad, "x", "y"), 87u) << bad;
  t.Clear();
  EXPECT_FALSE(t.IsCDTextPresent());
  EXPECT_EQ(t.GetFirstTrack(), 255);
}

TEST(CDText, PacksOfTheEdgeCases) {
  struct Case {
    const char* title;
    int titlePacks;
  };
  for (const Case& c : {Case{"Elevenchars", 1}, Case{"Twelve_chars", 2}}) {
    SCOPED_TRACE(c.title);
    CHalvorin_CDText t;
    ASSERT_EQ(t.AddTrackInfo(0, c.title, ""), 0u);
    ASSERT_EQ(t.GetData(), 0u);
    const Bytes packs = Packs(t);
    ASSERT_EQ(packs.size(), static_cast<std::size_t>(c.titlePacks + 1 + 3) * 18);
    EXPECT_EQ(PacksOfType(packs, 0x80), c.titlePacks);
    EXPECT_EQ(PacksOfType(packs, 0x81), 1);
    EXPECT_EQ(PacksOfType(packs, 0x8F), 3);
    if (c.titlePacks == 2) {
      // The second title pack holds only the terminator, from character position 12.
      EXPECT_EQ(packs[18 + 3], 12);
      EXPECT_EQ(Bytes(packs.begin() + 18 + 4, packs.begin() + 18 + 16), Bytes(12, 0));
    }
    for (std::size_t at = 0; at < packs.size(); at += 18) {
      EXPECT_EQ(packs[at + 2], at / 18) << "sequence";
      EXPECT_TRUE(vr::PackCrcOk(&packs[at])) << at / 18;
    }
    // Size information: numbered 0, 1, 2 in byte 1, the counts, the last sequence number and
    // the language of block 0.
    const std::size_t info = packs.size() - 54;
    for (int k = 0; k < 3; ++k) EXPECT_EQ(packs[info + 18 * k + 1], k);
    EXPECT_EQ(packs[info + 4 + 4], c.titlePacks);  // info byte 4
    EXPECT_EQ(packs[info + 4 + 5], 1);
    EXPECT_EQ(packs[info + 18 + 4 + 7], 3);  // info byte 19
    EXPECT_EQ(packs[info + 18 + 4 + 8], c.titlePacks + 1 + 2);
    EXPECT_EQ(packs[info + 36 + 4 + 4], 0x09);  // info byte 28
  }
}

TEST(CDText, SixPacksGiveThreeBlocksThatTheDecoderReadsBack) {
  CHalvorin_CDText t;
  ASSERT_EQ(t.AddTrackInfo(0, "Twelve_chars", ""), 0u);
  ASSERT_EQ(t.PrepareSubChannels(), 0u);
  ASSERT_EQ(t.GetPackDataSize(), 6u * 18);
  ASSERT_EQ(t.GetBlockCount(), 3u);
  const Bytes blocks(t.GetSubChannelsData(), t.GetSubChannelsData() + 3 * 96);
  for (std::uint8_t b : blocks) EXPECT_EQ(b & 0xC0, 0);
  const auto decoded = vr::DecodeSubchannel(blocks, 96, 96);
  ASSERT_EQ(decoded.packs.size(), 12u);  // every pack twice
  const Bytes packs = Packs(t);
  for (std::size_t i = 0; i < 12; ++i) {
    EXPECT_TRUE(decoded.packs[i].crcOk) << i;
    EXPECT_EQ(Bytes(decoded.packs[i].bytes.begin(), decoded.packs[i].bytes.end()),
              Bytes(packs.begin() + (i % 6) * 18, packs.begin() + (i % 6 + 1) * 18))
        << i;
  }
  // A second preparation replaces the first.
  ASSERT_EQ(t.AddTrackInfo(0, "Elevenchars", ""), 0u);
  ASSERT_EQ(t.PrepareSubChannels(), 0u);
  EXPECT_EQ(t.GetPackDataSize(), 5u * 18);
  EXPECT_EQ(t.GetBlockCount(), 5u);
}

// Entries of 6 packs (31-character title and performer), one of `last` packs.
void Fill(CHalvorin_CDText& t, int full, const char* lastTitle, const char* lastPerformer) {
  const std::string longText(31, 'x');
  for (int i = 0; i < full; ++i)
    ASSERT_EQ(t.AddTrackInfo(i, longText.c_str(), longText.c_str()), 0u);
  ASSERT_EQ(t.AddTrackInfo(full, lastTitle, lastPerformer), 0u);
  t.SetFirstTrack(1);
  t.SetLastTrack(static_cast<std::uint8_t>(full));
}

TEST(CDText, MoreTextPacksThanABlockNumbersAreRefused) {
  {
    CHalvorin_CDText t;  // 41 × 6 + 5 + 2 = 253 text packs: sequence numbers 0..255
    Fill(t, 41, std::string(31, 'y').c_str(), "twelve_chars");
    ASSERT_EQ(t.AddTrackInfo(42, "", ""), 0u);
    t.SetLastTrack(42);
    ASSERT_EQ(t.GetData(), 0u);
    EXPECT_EQ(t.GetPackDataSize(), 256u * 18);
    EXPECT_EQ(t.GetPackData()[255 * 18 + 2], 255);
  }
  {
    CHalvorin_CDText t;  // 42 × 6 + 2 = 254
    Fill(t, 42, "", "");
    EXPECT_EQ(t.GetData(), 87u);
    EXPECT_EQ(t.PrepareSubChannels(), 87u);
    EXPECT_EQ(t.GetBlockCount(), 0u);
  }
  {
    CHalvorin_CDText t;  // 100 full entries: 600 text packs
    Fill(t, 99, std::string(31, 'z').c_str(), std::string(31, 'z').c_str());
    t.SetLastTrack(99);
    EXPECT_EQ(t.GetData(), 87u);
  }
}

TEST(CDText, CdInfoReadsThePacksBesideABinAndCue) {
  TempDir dir;
  CHalvorin_CDText t;
  ASSERT_EQ(t.AddTrackInfo(0, "Test Disc", "Quorva Band"), 0u);
  ASSERT_EQ(t.AddTrackInfo(1, "First Song", "Ann"), 0u);
  ASSERT_EQ(t.AddTrackInfo(2, "Second", "Bob Two"), 0u);
  t.SetFirstTrack(1);
  t.SetLastTrack(2);
  ASSERT_EQ(t.GetData(), 0u);
  WriteFile(dir.P("disc.cdt"),
            std::string(reinterpret_cast<const char*>(t.GetPackData()), t.GetPackDataSize()));
  WriteFile(dir.P("disc.bin"), std::string(2352 * 600, '\0'));
  WriteFile(dir.P("disc.cue"),
            "CDTEXTFILE \"disc.cdt\"\nFILE \"disc.bin\" BINARY\n  TRACK 01 AUDIO\n"
            "    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    INDEX 01 00:04:00\n");
  std::string out;
  ASSERT_EQ(RunCommand("cd-info --no-device-info --no-cddb --cue-file " + dir.P("disc.cue"), &out),
            0)
      << out;
  for (const char* line : {"CD-TEXT for Disc:\n\tTITLE: Test_Disc\n\tPERFORMER: Quorva_Band",
                           "CD-TEXT for Track  1:\n\tTITLE: First_Song\n\tPERFORMER: Ann",
                           "CD-TEXT for Track  2:\n\tTITLE: Second\n\tPERFORMER: Bob_Two"})
    EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
}

}  // namespace
