// The iSCSI adapter against Debian's tgtd on 127.0.0.1: a virtual CD/DVD logical unit backed
// by a file, written and read back through the ASPI entry points.
#include <algorithm>

#include "tests/aspi/aspi_test_support.h"
#include "tests/support/tgtd_target.h"

namespace aspitest {
namespace {

class Iscsi : public AspiTest {
 protected:
  void SetUp() override {
    AspiTest::SetUp();
    if (!TTgtdTarget::Installed()) GTEST_SKIP() << "tgtd is not installed";
    ASSERT_EQ(tgtd.Start(dir), "");
    at::ConfigureIscsi({tgtd.Url(1)});
    ha = 1;  // after the virtual recorders
  }
  void TearDown() override {
    at::ConfigureIscsi({});
    tgtd.Stop();
    AspiTest::TearDown();
  }
  TTgtdTarget tgtd;
  std::uint8_t ha = 1;
};

TEST_F(Iscsi, AdapterMapsTargetZeroToTheUrlsUnit) {
  aspi::SrbHaInquiry inq;
  inq.header.hostAdapter = ha;
  ASSERT_EQ(aspi::SendASPI32Command(&inq.header), aspi::SS_COMP);
  EXPECT_STREQ(inq.adapterId, "ISCSI");
  Reply r = Send(ha, 0, {0x12, 0, 0, 0, 96, 0}, 96);
  ASSERT_GOOD(r);
  EXPECT_EQ(r.data[0] & 0x1F, 0x05);
  EXPECT_EQ(Send(ha, 1, {0x12, 0, 0, 0, 96, 0}, 96).status, aspi::SS_NO_DEVICE);
  aspi::SrbGetSymbolicName name;
  name.header.hostAdapter = ha;
  ASSERT_EQ(aspi::SendASPI32Command(&name.header), aspi::SS_COMP);
  EXPECT_EQ(std::string(name.name), tgtd.Url(1));
}

TEST_F(Iscsi, WriteReadRoundTripLandsInTheBackingFile) {
  WriteFile(dir.P("src/a.txt"), std::string(70000, 'a'));
  ASSERT_EQ(RunCommand("xorriso -as mkisofs -quiet -V QUORVABACKUP -o " + dir.P("src.iso") + " " +
                       dir.P("src")),
            0);
  const std::string iso = ReadFile(dir.P("src.iso"));
  const auto blocks = static_cast<std::uint32_t>(iso.size() / 2048);

  Reply config = Send(ha, 0, {0x46, 0x02, 0, 0, 0, 0, 0, 0x10, 0, 0}, 4096);
  ASSERT_GOOD(config);
  EXPECT_EQ(config.U16(6), 0x001Bu);  // an empty backing file is a blank DVD+R
  for (std::uint32_t lba = 0; lba < blocks; lba += 16) {
    const std::uint32_t n = std::min<std::uint32_t>(16, blocks - lba);
    std::vector<std::uint8_t> chunk(iso.begin() + lba * 2048, iso.begin() + (lba + n) * 2048);
    Reply w = Send(ha, 0, Cdb10(0x2A, 0, lba, static_cast<std::uint16_t>(n)), 0, chunk);
    ASSERT_GOOD(w);
  }
  EXPECT_GOOD(Send(ha, 0, Cdb10(0x35)));
  // The library's DVD+R close: the track, then finalize; the unit then reads as a DVD-ROM.
  EXPECT_GOOD(Send(ha, 0, {0x5B, 1, 1, 0, 0, 1, 0, 0, 0, 0}));
  EXPECT_GOOD(Send(ha, 0, {0x5B, 1, 5, 0, 0, 0, 0, 0, 0, 0}));
  Reply cap = Send(ha, 0, Cdb10(0x25), 8);
  ASSERT_GOOD(cap);
  EXPECT_EQ(cap.U32(0), blocks - 1);
  std::string back;
  for (std::uint32_t lba = 0; lba < blocks; lba += 16) {
    const std::uint32_t n = std::min<std::uint32_t>(16, blocks - lba);
    Reply r = Send(ha, 0, Cdb10(0x28, 0, lba, static_cast<std::uint16_t>(n)), n * 2048);
    ASSERT_GOOD(r);
    back.append(r.data.begin(), r.data.end());
  }
  EXPECT_EQ(back, iso);

  std::string out;
  EXPECT_EQ(RunCommand("xorriso -indev " + tgtd.CdImage() + " -toc", &out), 0) << out;
  EXPECT_NE(out.find("QUORVABACKUP"), std::string::npos) << out;
}

TEST_F(Iscsi, RefusalsArriveWithTheirSense) {
  Reply opc = Send(ha, 0, Cdb10(0x54, 1));
  EXPECT_EQ(opc.status, aspi::SS_ERR);
  EXPECT_EQ(opc.targetStatus, aspi::TARGET_CHECK_CONDITION);
  EXPECT_EQ(opc.key, 5);
  EXPECT_NE(opc.asc, 0);
}

}  // namespace
}  // namespace aspitest
