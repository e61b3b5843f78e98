// The backup program's burn sequence through the exports, on every writable medium of the
// virtual recorder, and the exported disc read back by outside tools.
#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>

#include "tests/lib/burner/burner_test_support.h"

namespace burnertest {
namespace {

struct MediumCase {
  Media media;
  const char* name;
  bool erase;
  DISC_TYPE type;
};

class BurnSequence : public BurnerTest, public ::testing::WithParamInterface<MediumCase> {};

TEST_P(BurnSequence, LeavesADiscWhoseImageEqualsTheSource) {
  const MediumCase& c = GetParam();
  Devices({c.media});
  // Not a whole number of sectors: the last one is padded.
  std::string data(300001, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + i / 2048);
  WriteFile(dir.P("src/QUORVABACKUP"), data);

  ASSERT_EQ(Create(), 0u) << text;
  EXPECT_EQ(Halvorin_CdvdBurnerGrabber_GetInsertedDiscType(burner), c.type);
  TRACK_INFORMATION info{};
  if (c.type != DISC_TYPE_DVDRAM && c.type != DISC_TYPE_DVDPLUSRW) {
    ASSERT_EQ(Halvorin_CdvdBurnerGrabber_GetTrackInformation(BURNER_ARGS, 255, &info), 0u) << text;
    EXPECT_EQ(info.m__UCHAR__IsValid, 1);
    EXPECT_EQ(info.m__BOOLEAN__IsBlank, 1);
    EXPECT_EQ(info.m__LONG__NextWritableAddress, 0);
    EXPECT_GT(info.m__ULONG__FreeBlocks, 0u);
  }
  Halvorin_Destroy(&burner);

  ASSERT_EQ(BurnVolume(dir.W("src/QUORVABACKUP"), "QUORVABACKUP", c.erase), 0u) << text;
  EXPECT_EQ(start, 0);
  const std::vector<uint32_t> expected = {TARGET_FILE_ANALYZE_BEGIN, TARGET_FILE_ANALYZE_END,
                                          WAIT_CACHE_FULL_BEGIN, WAIT_CACHE_FULL_END};
  auto it =
      std::search(events.reasons.begin(), events.reasons.end(), expected.begin(), expected.end());
  EXPECT_NE(it, events.reasons.end());
  auto sync = std::find(events.reasons.begin(), events.reasons.end(), SYNCHRONIZE_CACHE_BEGIN);
  ASSERT_NE(sync, events.reasons.end());
  EXPECT_EQ(*(sync + 1), SYNCHRONIZE_CACHE_END);
  EXPECT_GT(events.lastTotal, 0);
  EXPECT_EQ(events.lastWritten, events.lastTotal);  // 100 %
  EXPECT_EQ(std::count(events.reasons.begin(), events.reasons.end(),
                       HALVORIN_CALLBACK_REASON_BUFFER_UNDERRUN),
            0);
  ExpectImageHolds(Image(), dir.P("src"), "QUORVABACKUP");
}

INSTANTIATE_TEST_SUITE_P(
    Media, BurnSequence,
    ::testing::Values(MediumCase{Media::CdR, "CdR", false, DISC_TYPE_CDR},
                      MediumCase{Media::CdRw, "CdRw", true, DISC_TYPE_CDRW},
                      MediumCase{Media::DvdR, "DvdR", false, DISC_TYPE_DVDR},
                      MediumCase{Media::DvdRwSequential, "DvdRw", false,
                                 DISC_TYPE_DVDRW_SEQUENTIAL},
                      MediumCase{Media::DvdRwRestricted, "DvdRwRestricted", false,
                                 DISC_TYPE_DVDRW_RESTRICTED_OVERWRITE},
                      MediumCase{Media::DvdPlusR, "DvdPlusR", false, DISC_TYPE_DVDPLUSR},
                      MediumCase{Media::DvdPlusRw, "DvdPlusRw", true, DISC_TYPE_DVDPLUSRW},
                      MediumCase{Media::DvdRam, "DvdRam", true, DISC_TYPE_DVDRAM}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace burnertest

namespace burnertest {
namespace {

TEST_F(BurnerTest, MultiSessionCdRListsBothSessionsAndEachReadsAtItsStart) {
  Devices({Media::CdR});
  WriteFile(dir.P("one/QUORVABACKUP-1"), std::string(150000, '1'));
  WriteFile(dir.P("two/QUORVABACKUP-2"), std::string(90000, '2'));
  ASSERT_EQ(Create(), 0u);
  Halvorin_Destroy(&burner);
  // The first session stays open for the next; a query between write and close must not
  // finalise the disc.
  ASSERT_EQ(Create(), 0u);
  ASSERT_EQ(BuildTree(dir.W("one/QUORVABACKUP-1"), "QUORVABACKUP-1", 0), 0u) << text;
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_TrackAtOnceFromTree(BURNER_ARGS, tree, 1, 0, 1, 1, 0), 0u)
      << text;
  TRACK_INFORMATION info{};
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_GetTrackInformation(BURNER_ARGS, 1, &info), 0u) << text;
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_CloseSession(BURNER_ARGS), 0u) << text;
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_GetTrackInformation(BURNER_ARGS, 255, &info), 0u) << text;
  ASSERT_EQ(info.m__BOOLEAN__IsBlank, 1);
  const int32_t second = info.m__LONG__NextWritableAddress;
  ASSERT_GT(second, 0);
  ASSERT_EQ(BuildTree(dir.W("two/QUORVABACKUP-2"), "QUORVABACKUP-2", second), 0u) << text;
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_TrackAtOnceFromTree(BURNER_ARGS, tree, 1, 0, 1, 1, 0), 0u)
      << text;
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_CloseSession(BURNER_ARGS), 0u) << text;

  auto toc = std::make_unique<TOC_INFORMATION>();
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_GetTOCInformation(BURNER_ARGS, toc.get()), 0u) << text;
  EXPECT_EQ(toc->m__UCHAR__IsValid, 1);
  EXPECT_EQ(toc->m__BOOLEAN__IsDVD, 0);
  EXPECT_EQ(toc->m__UCHAR__HighestSessionNumber, 2);
  ASSERT_EQ(toc->m__UCHAR__NumberOfTracks, 2);
  EXPECT_EQ(toc->m__TOC_TRACK_ENTRY__Tracks[0].m__LONG__StartLBA, 0);
  EXPECT_EQ(toc->m__TOC_TRACK_ENTRY__Tracks[1].m__UCHAR__SessionNumber, 2);
  EXPECT_EQ(toc->m__TOC_TRACK_ENTRY__Tracks[1].m__LONG__StartLBA, second);
  EXPECT_EQ(toc->m__TOC_TRACK_ENTRY__Tracks[0].m__UCHAR__DataMode, 2);
  EXPECT_LT(toc->m__TOC_TRACK_ENTRY__Tracks[0].m__LONG__EndLBA, second);

  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_Eject(BURNER_ARGS), 0u) << text;
  ExpectImageHolds(Image(), dir.P("one"), "QUORVABACKUP-1", 0);
  ExpectImageHolds(Image(), dir.P("two"), "QUORVABACKUP-2", second);
}

TEST_F(BurnerTest, TrackAtOnceFromFileWritesAnIsoAsItIs) {
  Devices({Media::DvdR});
  WriteFile(dir.P("src/QUORVABACKUP"), std::string(70000, 'z'));
  ASSERT_EQ(RunCommand("xorriso -as mkisofs -quiet -V QUORVABACKUP -J -o " + dir.P("src.iso") +
                       " " + dir.P("src")),
            0);
  ASSERT_EQ(Create(), 0u);
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_TrackAtOnceFromFile(BURNER_ARGS, dir.W("src.iso").c_str(), 0,
                                                           0, 0, 1, 0),
            0u)
      << text;
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_Eject(BURNER_ARGS), 0u) << text;
  ExpectImageHolds(Image(), dir.P("src"), "QUORVABACKUP", 0, "");
}

TEST_F(BurnerTest, BlankOfCdRwEmptiesAWrittenDiscAndBlankOfCdRIsRefused) {
  Devices({Media::CdRw});
  WriteFile(dir.P("src/QUORVABACKUP"), std::string(5000, 'w'));
  ASSERT_EQ(Create(), 0u);
  ASSERT_EQ(BuildTree(dir.W("src/QUORVABACKUP"), "QUORVABACKUP", 0), 0u) << text;
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_TrackAtOnceFromTree(BURNER_ARGS, tree, 1, 0, 0, 0, 0), 0u);
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_CloseSession(BURNER_ARGS), 0u) << text;
  TRACK_INFORMATION info{};
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_Blank(BURNER_ARGS, 8), 0u) << text;  // low bits: 0
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_GetTrackInformation(BURNER_ARGS, 255, &info), 0u);
  EXPECT_EQ(info.m__LONG__NextWritableAddress, 0);
  EXPECT_EQ(info.m__BOOLEAN__IsBlank, 1);
  at::Recorder(0).InsertBlank(Media::CdR);
  EXPECT_EQ(Halvorin_CdvdBurnerGrabber_Blank(BURNER_ARGS, 0), 8u);
  EXPECT_EQ(failure.m__UCHAR__IsValid, 1);
}

}  // namespace
}  // namespace burnertest
