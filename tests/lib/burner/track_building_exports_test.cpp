// The track-building exports in-process, where the recorder's own record shows what reached
// it: lists refused before any command, and the XA flag a raw image's first track sets.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "halvorin.h"
#include "lib/core/burner/cdvd_burner_grabber.h"
#include "tests/aspi/aspi_test_support.h"
#include "tests/lib/burner/burner_test_support.h"

namespace burnertest {
namespace {

class TrackBuilding : public BurnerTest {
 protected:
  void SetUp() override {
    BurnerTest::SetUp();
    Devices({Media::CdR});
    ASSERT_EQ(Create(), 0u) << text;
    WriteFile(dir.P("data.bin"), std::string(2048 * 300, 'd'));
  }
  SAO_TRACK_ARRAY* Sao(std::initializer_list<const char*> names) {
    std::memset(&sao, 0, sizeof sao);
    for (const char* n : names)
      std::snprintf(sao.m__SAO_TRACK_ENTRY__Tracks[sao.m__LONG__NumberOfTracks++].m__CHAR__FileName,
                    260, "%s", dir.W(n).c_str());
    return &sao;
  }
  TRACK_ARRAY* Dao(std::initializer_list<const char*> names) {
    std::memset(&dao, 0, sizeof dao);
    for (const char* n : names)
      std::snprintf(dao.m__TRACK_ENTRY__Tracks[dao.m__LONG__NumberOfTracks++].m__CHAR__FileName,
                    260, "%s", dir.W(n).c_str());
    return &dao;
  }
  // The session format of the current write-parameters page.
  std::uint8_t SessionFormat() {
    const aspitest::Reply r = aspitest::Cmd(0, {0x5A, 0x08, 0x05, 0, 0, 0, 0, 0x01, 0x00, 0}, 256);
    EXPECT_TRUE(r.Good()) << aspitest::SenseText(r);
    return r.Good() ? r.data.at(8 + 8) : 0xFF;
  }
  SAO_TRACK_ARRAY sao;
  TRACK_ARRAY dao;
};

// Each list is refused with 2 before the recorder hears a command, and leaves nothing made.
TEST_F(TrackBuilding, ListsRefusedBeforeTheDriveIsTouched) {
  struct Row {
    const char* name;
    std::function<HALVORIN_STATUS()> call;
    const char* text;
  };
  const Row rows[] = {
      {"session, no tracks",
       [&] {
         Sao({"data.bin"})->m__LONG__NumberOfTracks = 0;
         return Halvorin_CdvdBurnerGrabber_SessionAtOnce(BURNER_ARGS, &sao, 0, 0, 0, 0, 0);
       },
       "The number of tracks is not 1..99"},
      {"session, 100 tracks",
       [&] {
         Sao({"data.bin"})->m__LONG__NumberOfTracks = 100;
         return Halvorin_CdvdBurnerGrabber_SessionAtOnce(BURNER_ARGS, &sao, 0, 0, 0, 0, 0);
       },
       "The number of tracks is not 1..99"},
      {"session, an empty name",
       [&] {
         Sao({"data.bin", "data.bin"})->m__SAO_TRACK_ENTRY__Tracks[1].m__CHAR__FileName[0] = 0;
         return Halvorin_CdvdBurnerGrabber_SessionAtOnce(BURNER_ARGS, &sao, 0, 0, 0, 0, 0);
       },
       "Track 1 has no file name"},
      {"session, a name without its terminator",
       [&] {
         std::memset(Sao({"data.bin"})->m__SAO_TRACK_ENTRY__Tracks[0].m__CHAR__FileName, 'x', 260);
         return Halvorin_CdvdBurnerGrabber_SessionAtOnce(BURNER_ARGS, &sao, 0, 0, 0, 0, 0);
       },
       "Track 0 has no file name"},
      {"session, no list",
       [&] {
         return Halvorin_CdvdBurnerGrabber_SessionAtOnce(BURNER_ARGS, nullptr, 0, 0, 0, 0, 0);
       },
       "p__PSAO_TRACK_ARRAY__Tracks == NULL"},
      {"disc, 100 tracks",
       [&] {
         Dao({"data.bin"})->m__LONG__NumberOfTracks = 100;
         return Halvorin_CdvdBurnerGrabber_DiscAtOncePQFromFile(BURNER_ARGS, &dao, 0, 0, 0, 0, 0,
                                                                0);
       },
       "The number of tracks is not 1..99"},
      {"disc, an empty name",
       [&] {
         Dao({"data.bin"})->m__TRACK_ENTRY__Tracks[0].m__CHAR__FileName[0] = 0;
         return Halvorin_CdvdBurnerGrabber_DiscAtOnceRawPWFromFile(BURNER_ARGS, &dao, 0, 0, 0, 0, 0,
                                                                   0);
       },
       "Track 0 has no file name"},
      {"disc, data before data",
       [&] {
         Dao({"data.bin", "data.bin"});
         return Halvorin_CdvdBurnerGrabber_DiscAtOncePQFromFile(BURNER_ARGS, &dao, 0, 0, 0, 0, 0,
                                                                0);
       },
       "Data track is present already, mixed mode or multisession is not supported yet"},
      {"disc, a tree not built",
       [&] {
         Halvorin_ISO9660JolietFileTree_Create(&tree, text, sizeof text, &error, nullptr, nullptr,
                                               0, 0, 1, 1);
         return Halvorin_CdvdBurnerGrabber_DiscAtOnceRawPWFromTree(BURNER_ARGS, tree, 0, 0, 0, 0,
                                                                   0);
       },
       "The tree's image is not built"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    at::ClearCdbLog(0);
    std::memset(text, 0, sizeof text);
    dao.m__TRACK_ENTRY__Tracks[0].m__PVOID__File = nullptr;
    EXPECT_EQ(row.call(), 2u);
    EXPECT_NE(std::string(text).find(row.text), std::string::npos) << text;
    EXPECT_EQ(text[0], '\n');
    EXPECT_TRUE(at::CdbLog(0).empty()) << at::CdbLog(0).size() << " commands";
    EXPECT_EQ(dao.m__TRACK_ENTRY__Tracks[0].m__PVOID__File, nullptr);
  }
}

// A raw image's first data track sets the XA flag of a disc-at-once write: Mode 1 clears it,
// Mode 2 sets it; an image of audio alone is CD-DA whatever the caller gave.
TEST_F(TrackBuilding, RawImageModeSetsXaUnlessItStartsWithAudio) {
  struct Row {
    int mode;
    std::uint8_t xa;
    std::uint8_t format;
  };
  const Row rows[] = {{1, 1, 0x00}, {1, 0, 0x00}, {2, 0, 0x20},
                      {2, 1, 0x20}, {0, 1, 0x00}, {0, 0, 0x00}};
  for (const Row& row : rows) {
    SCOPED_TRACE("mode " + std::to_string(row.mode) + ", XA " + std::to_string(row.xa));
    // 300 raw sectors: a data sector's sync and header, or an audio sector whose Q is valid.
    std::string image(300 * 2448, '\0');
    for (int i = 0; i < 300; ++i) {
      auto* sector = reinterpret_cast<std::uint8_t*>(&image[static_cast<size_t>(i) * 2448]);
      if (row.mode) {
        std::memset(sector + 1, 0xFF, 10);
        sector[15] = static_cast<std::uint8_t>(row.mode);
      }
      CHalvorin_CdvdBurnerGrabber::FormatQSubChannel(static_cast<std::uint32_t>(i), i,
                                                     row.mode ? 4 : 0, 1, sector, false, false,
                                                     true, 1, false);
      CHalvorin_CdvdBurnerGrabber::InterleaveSubChannels(sector, 1);
    }
    WriteFile(dir.P("image.qvf"), image);
    Dao({"image.qvf"});
    Halvorin_CdvdBurnerGrabber_DiscAtOncePQFromFile(BURNER_ARGS, &dao, row.xa, 1, 0, 0, 0, 0);
    EXPECT_EQ(dao.m__TRACK_ENTRY__Tracks[0].m__BOOLEAN__IsRaw, 1);
    EXPECT_EQ(SessionFormat(), row.format);
  }
}

}  // namespace
}  // namespace burnertest
