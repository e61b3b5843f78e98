// Session-at-once of files with the XA flag through the export: every byte of each file is on
// the disc, its last block padded with zeros, whatever its size; read back from the ejected
// disc by bchunk and the Mode 2 Form 1 user data of its sectors.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "halvorin.h"
#include "tests/lib/burner/read_back_support.h"

namespace burnertest {
namespace {

class SessionAtOnceXa : public SessionAtOnce {
 protected:
  std::string File(const std::string& name, std::size_t bytes) {
    std::string content(bytes, '\0');
    for (std::size_t i = 0; i < bytes; ++i) content[i] = static_cast<char>(i * 31 + i / 4093 + 1);
    WriteFile(dir.P(name), content);
    return content;
  }
};

TEST_F(SessionAtOnceXa, EveryByteOfEachFileIsOnTheDisc) {
  struct Row {
    std::vector<std::size_t> files;  // the sizes of the tracks' files
  };
  const Row rows[] = {{{1000001}}, {{100}}, {{1}}, {{2048 * 40}}, {{4095, 2049, 300000}}};
  for (const Row& row : rows) {
    std::string name;
    for (std::size_t b : row.files) name += std::to_string(b) + " ";
    SCOPED_TRACE(name);
    Devices({Media::CdR});
    ASSERT_EQ(Create(), 0u) << text;
    SAO_TRACK_ARRAY list;
    std::memset(&list, 0, sizeof list);
    std::vector<std::string> contents;
    for (std::size_t b : row.files) {
      const std::string file = "f" + std::to_string(contents.size()) + ".bin";
      contents.push_back(File(file, b));
      std::snprintf(
          list.m__SAO_TRACK_ENTRY__Tracks[list.m__LONG__NumberOfTracks++].m__CHAR__FileName, 260,
          "%s", dir.W(file).c_str());
    }
    ASSERT_EQ(Halvorin_CdvdBurnerGrabber_SessionAtOnce(BURNER_ARGS, &list, 1, 0, 0, 0, 0), 0u)
        << text;
    const std::string info = EjectAndReadCue();
    BchunkRaw(ImageBase(), dir.P("out"));
    for (std::size_t t = 0; t < contents.size(); ++t) {
      SCOPED_TRACE("track " + std::to_string(t + 1));
      char track[48];
      std::snprintf(track, sizeof track, "out/track%02zu.iso", t + 1);
      std::string why;
      const Bytes data = Form1UserData(Slurp(dir.P(track)), &why);
      EXPECT_EQ(why, "");
      // The file, its last block padded with zeros; the last track also holds the 600 blocks
      // of its post-gap, zero user data.
      const std::size_t blocks = (contents[t].size() + 2047) / 2048;
      const std::size_t gap = t + 1 == contents.size() ? 600 : 0;
      ASSERT_EQ(data.size(), (blocks + gap) * 2048) << info;
      Bytes expected(contents[t].begin(), contents[t].end());
      expected.resize((blocks + gap) * 2048, 0);
      EXPECT_TRUE(data == expected);
    }
    Halvorin_Destroy(&burner);
    at::ConfigureRecorders({});
    std::filesystem::remove_all(dir.P("home"));
    std::filesystem::remove_all(dir.P("out"));
  }
}

}  // namespace
}  // namespace burnertest
