// Discs written through the layer, exported and read by outside tools: isoinfo, xorriso,
// cd-info and bchunk.
#include <filesystem>

#include "tests/aspi/library_sequences.h"

namespace aspitest {
namespace {

class Export : public AspiTest {
 protected:
  void SetUp() override {
    AspiTest::SetUp();
    WriteFile(dir.P("src/docs/readme.txt"), std::string(100000, 'q'));
    WriteFile(dir.P("src/b.bin"), std::string(300000, 'b'));
    ASSERT_EQ(RunCommand("xorriso -as mkisofs -quiet -V QUORVABACKUP -J -o " + dir.P("src.iso") +
                         " " + dir.P("src")),
              0);
    const std::string bytes = ReadFile(dir.P("src.iso"));
    image.assign(bytes.begin(), bytes.end());
    ASSERT_EQ(image.size() % 2048, 0u);
  }

  void ExpectIsoReadable(const std::string& iso) {
    std::string out;
    EXPECT_EQ(RunCommand("isoinfo -d -i " + iso, &out), 0) << out;
    EXPECT_NE(out.find("Volume id: QUORVABACKUP"), std::string::npos) << out;
    EXPECT_EQ(RunCommand("xorriso -indev " + iso + " -toc", &out), 0) << out;
    EXPECT_NE(out.find("QUORVABACKUP"), std::string::npos) << out;
    EXPECT_EQ(RunCommand("isoinfo -i " + iso + " -x '/DOCS/README.TXT;1' | cmp - " +
                             dir.P("src/docs/readme.txt"),
                         &out),
              0)
        << out;
  }

  std::vector<std::uint8_t> image;
};

TEST_F(Export, EachWritableMediumExportsAnIsoThatToolsRead) {
  const Media media[] = {Media::CdR,      Media::CdRw,      Media::DvdR,  Media::DvdRwSequential,
                         Media::DvdPlusR, Media::DvdPlusRw, Media::DvdRam};
  for (Media m : media) {
    const std::string name(platform::aspi::vr::Traits(m).name);
    SCOPED_TRACE(name);
    Recorders({m});
    LibraryBurner b(0);
    ASSERT_GOOD(b.TrackAtOnce(image, {.xa = m == Media::CdRw}));
    ASSERT_GOOD(b.CloseSession());
    const std::string iso = "out-" + std::to_string(static_cast<int>(m)) + ".iso";
    at::Recorder(0).ExportIso(dir.W(iso));
    ExpectIsoReadable(dir.P(iso));
    at::ConfigureRecorders({});
    std::filesystem::remove_all(dir.P("home"));
  }
}

TEST_F(Export, CookedCdExportsAsBinCueForCdInfoAndBchunk) {
  Recorders({Media::CdR});
  LibraryBurner b(0);
  ASSERT_GOOD(b.TrackAtOnce(image));
  ASSERT_GOOD(b.CloseSession());
  ASSERT_GOOD(Cmd(0, {0x1B, 0, 0, 0, 0x02, 0}));  // eject: the images stay
  const std::string base = dir.P("home/VirtualRecorders/Recorder0/Recorder0-0001");
  std::string out;
  EXPECT_EQ(RunCommand("cd-info --no-device-info --no-cddb --cue-file " + base + ".cue", &out), 0)
      << out;
  EXPECT_NE(out.find("CD-ROM"), std::string::npos) << out;
  EXPECT_NE(out.find("QUORVABACKUP"), std::string::npos) << out;
  EXPECT_EQ(std::filesystem::file_size(base + ".bin"), image.size() / 2048 * 2352);
  EXPECT_EQ(
      RunCommand("cd " + dir.P("") + " && bchunk " + base + ".bin " + base + ".cue track", &out), 0)
      << out;
  EXPECT_EQ(RunCommand("cmp " + dir.P("track01.iso") + " " + dir.P("src.iso"), &out), 0) << out;
  ExpectIsoReadable(base + ".iso");
}

TEST_F(Export, MultiSessionCdIsoHasSessionsAtTheirAddresses) {
  Recorders({Media::CdR});
  LibraryBurner b(0);
  ASSERT_GOOD(b.TrackAtOnce(image, {.xa = true, .multiSession = true}));
  ASSERT_GOOD(b.CloseSession());
  const auto second = static_cast<std::uint32_t>(image.size() / 2048 + 11400);
  ASSERT_GOOD(b.TrackAtOnce(Pattern(second, 16), {.xa = true}));
  ASSERT_GOOD(b.CloseSession());
  at::Recorder(0).ExportIso(dir.W("ms.iso"));
  at::Recorder(0).ExportBinCue(dir.W("ms.bin"), dir.W("ms.cue"));
  EXPECT_EQ(std::filesystem::file_size(dir.P("ms.iso")), (second + 16) * 2048ull);
  const std::string iso = ReadFile(dir.P("ms.iso"));
  EXPECT_EQ(iso.compare(0, image.size(), std::string(image.begin(), image.end())), 0);
  EXPECT_EQ(iso.substr(image.size(), 11400 * 2048), std::string(11400 * 2048, '\0'));
  const auto tail = Pattern(second, 16);
  EXPECT_EQ(iso.substr(second * 2048ull), std::string(tail.begin(), tail.end()));
  const std::string cue = ReadFile(dir.P("ms.cue"));
  EXPECT_NE(cue.find("REM SESSION 02"), std::string::npos) << cue;
  EXPECT_NE(cue.find("TRACK 02 MODE2/2352"), std::string::npos) << cue;
  std::string out;
  EXPECT_EQ(RunCommand("cd-info --no-device-info --no-cddb --cue-file " + dir.P("ms.cue"), &out), 0)
      << out;
}

TEST_F(Export, PressedDiscsReadTheirFixtures) {
  // A CD-ROM pressed from the .bin/.cue another recorder exported, a DVD-ROM from the .iso.
  Recorders({Media::CdR});
  LibraryBurner writer(0);
  ASSERT_GOOD(writer.TrackAtOnce(image));
  ASSERT_GOOD(writer.CloseSession());
  at::Recorder(0).ExportBinCue(dir.W("press.bin"), dir.W("press.cue"));
  at::RecorderConfig cd, dvd;
  cd.name = "Pressed";
  cd.media = Media::CdRom;
  cd.fixture = dir.W("press.cue");
  dvd.name = "PressedDvd";
  dvd.media = Media::DvdRom;
  dvd.fixture = dir.W("src.iso");
  at::ConfigureRecorders({cd, dvd});
  const auto blocks = static_cast<std::uint16_t>(image.size() / 2048);
  for (std::uint8_t t : {0, 1}) {
    LibraryBurner reader(t);
    EXPECT_EQ(reader.Profile(), t == 0 ? 0x0008 : 0x0010);
    Reply back = reader.ReadBlocks(0, blocks);
    ASSERT_GOOD(back);
    EXPECT_EQ(back.data, image);
    EXPECT_EQ(Cmd(t, Cdb10(0x25), 8).U32(0), blocks - 1u);
    EXPECT_SENSE(CmdOut(t, Cdb10(0x2A, 0, 0, 1), Pattern(0, 1)), 5, 0x30, 0x05);
    EXPECT_FALSE(reader.TrackAtOnce(Pattern(0, 1)).Good());
    ASSERT_GOOD(Cmd(t, {0x1B, 0, 0, 0, 0x02, 0}));  // eject: the same pressing comes back
    EXPECT_EQ(reader.ReadBlocks(16, 1).data,
              std::vector<std::uint8_t>(image.begin() + 16 * 2048, image.begin() + 17 * 2048));
  }
  Reply raw = Cmd(0, {0xBE, 0, 0, 0, 0, 16, 0, 0, 1, 0xF8, 0, 0}, 2352);
  ASSERT_GOOD(raw);
  EXPECT_EQ(std::string(raw.data.begin() + 17, raw.data.begin() + 22), "CD001");
}

}  // namespace
}  // namespace aspitest
