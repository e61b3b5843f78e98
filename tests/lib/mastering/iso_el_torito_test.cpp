// El Torito boot catalogs as outside tools decode them, and the descriptor fields.
#include "tests/lib/mastering/iso_test_support.h"

namespace isotest {
namespace {

std::string WinOf(const std::string& posix) {
  std::string w = "Z:" + posix;
  for (char& c : w)
    if (c == '/') c = '\\';
  return w;
}

struct BootCase {
  const char* name;
  uint8_t media;
  size_t size;
  const char* xorrisoMedia;
  const char* loadCount;  // 512-byte units loaded
};

class ElToritoTest : public IsoTest, public ::testing::WithParamInterface<BootCase> {};

TEST_P(ElToritoTest, CatalogDecodes) {
  const BootCase& c = GetParam();
  WriteFile(dir_.P("first.img"), std::string(4096, 'f'));
  WriteFile(dir_.P("boot.img"), std::string(c.size, 'b'));
  ASSERT_EQ(Create(true), 0u);
  ASSERT_EQ(Add("", nullptr, "folder"), 0u);
  ASSERT_EQ(Halvorin_ISO9660JolietFileTree_SetBootImage(tree_, WinOf(dir_.P("first.img")).c_str(),
                                                        0, 0, text_, sizeof text_, &error_),
            0u);
  // A second image replaces the first.
  ASSERT_EQ(Halvorin_ISO9660JolietFileTree_SetBootImage(tree_, WinOf(dir_.P("boot.img")).c_str(), 0,
                                                        c.media, text_, sizeof text_, &error_),
            0u);
  ASSERT_EQ(Build(), 0u) << text_;
  ASSERT_EQ(WriteImage(dir_.P("b.iso")), 0u);
  const std::string report =
      Shell("xorriso -indev '" + dir_.P("b.iso") + "' -report_el_torito plain");
  EXPECT_NE(report.find(c.xorrisoMedia), std::string::npos) << report;
  EXPECT_NE(report.find(c.loadCount), std::string::npos) << report;
  const std::string info = Shell("isoinfo -d -i '" + dir_.P("b.iso") + "'");
  EXPECT_NE(info.find("El Torito"), std::string::npos) << info;
  EXPECT_NE(info.find("Eltorito validation header"), std::string::npos) << info;
  const std::string listing = Shell("isoinfo -f -i '" + dir_.P("b.iso") + "'");
  EXPECT_EQ(listing.find("BOOT.IMG;1"), listing.rfind("BOOT.IMG;1")) << listing;  // only one
  // The boot file's bytes come back.
  EXPECT_EQ(RunCommand("isoinfo -x '/BOOT.IMG;1' -i '" + dir_.P("b.iso") + "' | cmp - '" +
                       dir_.P("boot.img") + "'"),
            0);
}

INSTANTIATE_TEST_SUITE_P(EmulatedAndNot, ElToritoTest,
                         ::testing::Values(BootCase{"Floppy144", 2, 1474560, "fd1.4", " 1 "},
                                           BootCase{"NoEmulation", 0, 5000, "none", " 10 "}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(IsoTest, MissingBootImageIsStatus5WithTheText) {
  ASSERT_EQ(Create(false), 0u);
  EXPECT_EQ(Halvorin_ISO9660JolietFileTree_SetBootImage(tree_, "Z:\\no\\such.img", 0, 2, text_,
                                                        sizeof text_, &error_),
            5u);
  EXPECT_NE(std::string(text_).find("CreateFile( 'Z:\\no\\such.img' ) failed"), std::string::npos)
      << text_;
}

TEST_F(IsoTest, DescriptorsCarryLabelAndJolietOnlyInTheSupplementary) {
  ASSERT_EQ(Create(true), 0u);
  const uint8_t one[] = "1";
  void* parent = nullptr;
  ASSERT_EQ(Halvorin_ISO9660JolietFileTree_AddMemory(tree_, text_, sizeof text_, &error_, one, 1, 0,
                                                     "A.TXT", 0, &parent),
            0u);
  ASSERT_EQ(Build(), 0u);
  ASSERT_EQ(WriteImage(dir_.P("d.iso")), 0u);
  const std::string image = ReadFile(dir_.P("d.iso"));
  const std::string pvd = image.substr(16 * 2048, 2048), svd = image.substr(17 * 2048, 2048);
  EXPECT_EQ(pvd.substr(40, 12), "QUORVABACKUP");
  EXPECT_EQ(pvd.substr(190, 12), "QUORVABACKUP");
  EXPECT_EQ(pvd.substr(88, 3), std::string(3, '\0'));
  EXPECT_EQ(svd[0], 2);
  EXPECT_EQ(svd.substr(88, 3), "\x25\x2F\x40");
  EXPECT_EQ(svd.substr(40, 4), std::string("\0Q\0U", 4));
  EXPECT_EQ(svd.substr(318, 6), std::string("\0Q\0B\0.", 6));
  EXPECT_EQ(static_cast<uint8_t>(image[18 * 2048]), 0xFF);  // terminator
}

}  // namespace
}  // namespace isotest
