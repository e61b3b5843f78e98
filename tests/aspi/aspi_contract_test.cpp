// The ASPI contract: support info, host-adapter inquiry, request checks, completion at once and
// with an event, and the device-name request.
#include "tests/aspi/aspi_test_support.h"

namespace aspitest {
namespace {

class AspiContract : public AspiTest {};

TEST_F(AspiContract, SupportInfoReportsStatusAndAdapters) {
  const std::uint32_t info = aspi::GetASPI32SupportInfo();
  EXPECT_EQ((info >> 8) & 0xFF, aspi::SS_COMP);
  EXPECT_GE(info & 0xFF, 1u);  // the virtual recorders at least
}

TEST_F(AspiContract, HostAdapterInquiryOfTheVirtualAdapter) {
  Recorders({Media::DvdR, Media::CdR});
  aspi::SrbHaInquiry r;
  r.header.hostAdapter = 0;
  ASSERT_EQ(aspi::SendASPI32Command(&r.header), aspi::SS_COMP);
  EXPECT_EQ(r.header.status, aspi::SS_COMP);
  EXPECT_STREQ(r.managerId, "QUORVA ASPI");
  EXPECT_STREQ(r.adapterId, "VIRTUAL");
  EXPECT_EQ(r.maxTargets, 2);
  EXPECT_EQ(r.adapterCount, aspi::GetASPI32SupportInfo() & 0xFF);

  aspi::SrbHaInquiry missing;
  missing.header.hostAdapter = 200;
  EXPECT_EQ(aspi::SendASPI32Command(&missing.header), aspi::SS_INVALID_HA);
}

TEST_F(AspiContract, DefaultConfigurationIsOneDvdRRecorder) {
  Reply inq = Cmd(0, {0x12, 0, 0, 0, 96, 0}, 96);
  ASSERT_GOOD(inq);
  EXPECT_EQ(inq.data[0], 0x05);
  EXPECT_EQ(std::string(inq.data.begin() + 8, inq.data.begin() + 16), "QUORVA  ");
  EXPECT_EQ(std::string(inq.data.begin() + 16, inq.data.begin() + 32), "Virtual Recorder");
  Reply config = Cmd(0, {0x46, 0x02, 0, 0, 0, 0, 0, 0, 8, 0}, 8);
  ASSERT_GOOD(config);
  EXPECT_EQ(config.U16(6), 0x0011u);
  EXPECT_EQ(Cmd(1, {0x12, 0, 0, 0, 96, 0}, 96).status, aspi::SS_NO_DEVICE);
}

TEST_F(AspiContract, MalformedRequestsAreRefused) {
  struct Case {
    const char* name;
    std::uint8_t flags, cdbLength, senseLength;
    bool withData;
    std::uint8_t status;
  };
  const Case cases[] = {
      {"both directions", aspi::SRB_DIR_IN | aspi::SRB_DIR_OUT, 6, 14, true, aspi::SS_INVALID_SRB},
      {"cdb of 7 bytes", aspi::SRB_DIR_IN, 7, 14, true, aspi::SS_INVALID_SRB},
      {"cdb of 16 bytes", aspi::SRB_DIR_IN, 16, 14, true, aspi::SS_INVALID_SRB},
      {"sense longer than the area", aspi::SRB_DIR_IN, 6, 15, true, aspi::SS_INVALID_SRB},
      {"length without buffer", aspi::SRB_DIR_IN, 6, 14, false, aspi::SS_INVALID_SRB},
      {"event without event", aspi::SRB_DIR_IN | aspi::SRB_EVENT_NOTIFY, 6, 14, true,
       aspi::SS_INVALID_SRB},
      {"a good one", aspi::SRB_DIR_IN, 6, 14, true, aspi::SS_COMP},
  };
  for (const auto& c : cases) {
    std::vector<std::uint8_t> buf(96);
    aspi::SrbExecScsiCmd srb;
    srb.header.flags = c.flags;
    srb.cdbLength = c.cdbLength;
    srb.senseLength = c.senseLength;
    srb.dataLength = 96;
    srb.data = c.withData ? buf.data() : nullptr;
    srb.cdb[0] = 0x12;
    srb.cdb[4] = 96;
    EXPECT_EQ(aspi::SendASPI32Command(&srb.header), c.status) << c.name;
    EXPECT_EQ(srb.header.status, c.status) << c.name;
  }
  aspi::SrbHeader unknown{0x33};
  EXPECT_EQ(aspi::SendASPI32Command(&unknown), aspi::SS_INVALID_CMD);
  EXPECT_EQ(aspi::SendASPI32Command(nullptr), aspi::SS_INVALID_SRB);
}

TEST_F(AspiContract, CheckConditionCarriesAutosense) {
  aspi::SrbExecScsiCmd srb;
  srb.cdbLength = 6;
  srb.cdb[0] = 0x12;
  srb.cdb[1] = 0x01;  // vital product data: not offered
  std::vector<std::uint8_t> buf(96);
  srb.header.flags = aspi::SRB_DIR_IN;
  srb.data = buf.data();
  srb.dataLength = 96;
  EXPECT_EQ(aspi::SendASPI32Command(&srb.header), aspi::SS_ERR);
  EXPECT_EQ(srb.hostAdapterStatus, aspi::HASTAT_OK);
  EXPECT_EQ(srb.targetStatus, aspi::TARGET_CHECK_CONDITION);
  EXPECT_EQ(srb.sense[0], 0x70);
  EXPECT_EQ(srb.sense[2], 0x05);
  EXPECT_EQ(srb.sense[7], 10);
  EXPECT_EQ(srb.sense[12], 0x24);
  EXPECT_EQ(srb.sense[13], 0x00);
}

TEST_F(AspiContract, EventNotificationCompletesLater) {
  aspi::CompletionEvent event;
  std::vector<std::uint8_t> buf(96);
  aspi::SrbExecScsiCmd srb;
  srb.header.flags = aspi::SRB_DIR_IN | aspi::SRB_EVENT_NOTIFY;
  srb.postEvent = &event;
  srb.data = buf.data();
  srb.dataLength = 96;
  srb.cdbLength = 6;
  srb.cdb[0] = 0x12;
  srb.cdb[4] = 96;
  const std::uint32_t first = aspi::SendASPI32Command(&srb.header);
  if (first == aspi::SS_PENDING) event.Wait();
  EXPECT_EQ(first, aspi::SS_PENDING);
  EXPECT_TRUE(event.IsSet());
  EXPECT_EQ(aspi::RequestStatus(srb.header), aspi::SS_COMP);
  EXPECT_EQ(buf[0], 0x05);
}

TEST_F(AspiContract, SymbolicNameOfARecorder) {
  Recorders({Media::CdR});
  aspi::SrbGetSymbolicName r;
  ASSERT_EQ(aspi::SendASPI32Command(&r.header), aspi::SS_COMP);
  EXPECT_STREQ(r.name, "Recorder0");
  aspi::SrbGetSymbolicName none;
  none.target = 4;
  EXPECT_EQ(aspi::SendASPI32Command(&none.header), aspi::SS_NO_DEVICE);
}

}  // namespace
}  // namespace aspitest
