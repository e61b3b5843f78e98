// A name holding '/' where the library's paths hold '\': the library takes it as a separator.
// GrabCD with such a base name writes a descriptor whose data-file name is its last component,
// and a descriptor named through such a path is written back from the data file beside it,
// never from one of the same name in the folder above; the disc written is compared by bytes
// with the disc grabbed, and with the outside tool's reading of its file.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/lib/grab/grab_test_support.h"

namespace grabtest {
namespace {

class GrabSlashNames : public GrabTest {
 protected:
  std::string Exported(int serial, const char* extension) {
    char name[64];
    std::snprintf(name, sizeof name, "home/VirtualRecorders/Recorder0/Recorder0-%04d.%s", serial,
                  extension);
    return dir.P(name);
  }
  // The one file of a data disc as isoinfo reads it from the disc's exported image.
  std::string FileOnDisc(int serial) {
    return Run("isoinfo -J -i " + Exported(serial, "iso") + " -x '/QUORVABACKUP;1'");
  }
};

TEST_F(GrabSlashNames, DescriptorNamesItsOwnDataFileAndIsWrittenBackFromIt) {
  Devices({Media::CdR});
  // Disc 1, grabbed as "a/d": the descriptor and its data file in a, the data file named alone.
  WriteDataCd(400000, false);
  const std::string first = ReadFile(dir.P("src/data.bin"));
  std::filesystem::create_directories(dir.P("a"));
  ASSERT_EQ(GrabCD(dir.W("a") + "/d", 2), 0u) << text;
  const Bytes descriptor = Slurp(dir.P("a/d.mds"));
  // The name is the last record, after the zero that ends the file descriptor before it.
  ASSERT_GT(descriptor.size(), 7u);
  EXPECT_EQ(std::string(descriptor.end() - 7, descriptor.end()), std::string("\0d.qvf\0", 7));
  EXPECT_TRUE(std::filesystem::is_regular_file(dir.P("a/d.qvf")));
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_Eject(BURNER_ARGS), 0u) << text;
  Halvorin_Destroy(&burner);

  // Disc 2, of other bytes, grabbed under the same name in the folder above.
  WriteDataCd(600000, false);
  ASSERT_EQ(GrabCD(dir.W("d"), 2), 0u) << text;
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_Eject(BURNER_ARGS), 0u) << text;

  // Disc 3, written from "a/d.mds": disc 1 again.
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_SessionAtOnceRawRawPW(
                BURNER_ARGS, (dir.W("a") + "/d.mds").c_str(), 0, 0, 0, 0),
            0u)
      << text;
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_Eject(BURNER_ARGS), 0u) << text;
  const Bytes written = Slurp(Exported(3, "bin"));
  ASSERT_FALSE(written.empty());
  EXPECT_TRUE(written == Slurp(Exported(1, "bin")));
  EXPECT_FALSE(written == Slurp(Exported(2, "bin")));
  EXPECT_EQ(FileOnDisc(3), first);
}

}  // namespace
}  // namespace grabtest
