// The transport's retry rules against the virtual recorder's faults, on the ASPI layer's fake
// clock, and the failure record that reaches an exported function's caller.
#include <chrono>
#include <cstring>
#include <functional>

#include "lib/api/export_frame.h"
#include "lib/core/scsi/scsi_device_generic.h"
#include "platform/debug/debug.h"
#include "tests/lib/lib_test_support.h"

namespace libtest {
namespace {

using std::chrono::milliseconds;

class ScsiTransport : public LibTest {
 protected:
  void SetUp() override {
    LibTest::SetUp();
    Devices({Media::CdR});
    device = std::make_unique<CHalvorin_ScsiDeviceGeneric>(0, 0, 0, 0);
    at::ClearCdbLog(0);
    start = clock->Now();
  }
  milliseconds Slept() const {
    return std::chrono::duration_cast<milliseconds>(clock->Now() - start);
  }

  std::unique_ptr<CHalvorin_ScsiDeviceGeneric> device;
  aspi::Clock::Duration start{};
};

struct RetriedCase {
  const char* name;
  std::function<void()> inject;
  int retries;
};

TEST_F(ScsiTransport, RetriedAnswersSucceedAfterTheirRetries) {
  const RetriedCase cases[] = {
      {"busy", [] { at::InjectBusy(0, 3); }, 3},
      {"long write in progress", [] { at::InjectNotReady(0, 0x08, 2); }, 2},
      {"medium may have changed", [] { at::InjectUnitAttention(0, 0x28); }, 1},
      {"unit attention 2Eh", [] { at::InjectUnitAttention(0, 0x2E); }, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    at::ClearCdbLog(0);
    start = clock->Now();
    c.inject();
    const Thrown t = Catch([&] { device->TestUnitReadyCDB(); });
    EXPECT_FALSE(t.thrown) << t.Text();
    EXPECT_EQ(at::CdbLog(0).size(), static_cast<size_t>(c.retries + 1));
    EXPECT_EQ(Slept(), milliseconds(100 * c.retries));
  }
}

struct FailedCase {
  const char* name;
  std::function<void()> inject;
  std::uint8_t targetStatus, hostStatus, key, asc, ascq;
};

TEST_F(ScsiTransport, OtherAnswersThrowStatus8WithTheFailureBlock) {
  const FailedCase cases[] = {
      {"becoming ready", [] { at::InjectNotReady(0, 0x01, 1); }, 2, 0, 2, 0x04, 0x01},
      {"power on or reset", [] { at::InjectUnitAttention(0, 0x29); }, 2, 0, 6, 0x29, 0x00},
      {"time-out: host adapter status", [] { at::InjectHang(0, 1); }, 0, aspi::HASTAT_TIMEOUT, 0, 0,
       0},
      {"tray empty", [] { at::Recorder(0).RemoveDisc(); }, 2, 0, 2, 0x3A, 0x00},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    at::ClearCdbLog(0);
    c.inject();
    const Thrown t = Catch([&] { device->TestUnitReadyCDB(); });
    ASSERT_TRUE(t.thrown);
    ASSERT_NE(t.exception, nullptr);
    EXPECT_EQ(t.Status(), 8);
    EXPECT_EQ(t.Text(), "CHalvorin_ScsiTransportASPI::ExecuteCDB(): Command failed!!!");
    EXPECT_EQ(at::CdbLog(0).size(), 1u);  // never sent again
    const CDB_FAILURE_INFORMATION* f = t.exception->GetFailureInformation();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->m__UCHAR__IsValid, 1);
    EXPECT_EQ(f->m__UCHAR__CDBLength, 6);
    EXPECT_EQ(f->m__UCHAR__CDB[0], 0x00);
    EXPECT_EQ(f->m__UCHAR__SRBStatus, aspi::SS_ERR);
    EXPECT_EQ(f->m__UCHAR__TargetStatus, c.targetStatus);
    EXPECT_EQ(f->m__UCHAR__HostAdapterStatus, c.hostStatus);
    EXPECT_EQ(f->m__UCHAR__SenseLength, 14);
    EXPECT_EQ(f->m__UCHAR__Sense[2] & 0x0F, c.key);
    EXPECT_EQ(f->m__UCHAR__Sense[12], c.asc);
    EXPECT_EQ(f->m__UCHAR__Sense[13], c.ascq);
    at::Recorder(0).InsertBlank(Media::CdR);
  }
}

// The record as the caller's 54 bytes see it after a failed 10-byte command.
TEST_F(ScsiTransport, TheFailureRecordOfATenByteCdbReachesTheExportedCaller) {
  at::InjectNotReady(0, 0x01, 1);
  char text[64];
  std::memset(text, '#', sizeof text);
  std::uint32_t systemError = 77;
  std::uint8_t record[sizeof(CDB_FAILURE_INFORMATION)];
  std::memset(record, 0xAB, sizeof record);
  HalvorinI_ExportPrefix prefix{text, sizeof text, &systemError,
                                reinterpret_cast<CDB_FAILURE_INFORMATION*>(record)};
  std::uint8_t capacity[8];
  const HALVORIN_STATUS status = HalvorinI_RunExport(
      "Halvorin_Test", prefix, [&] { device->ReadCapacity(capacity, sizeof capacity); });
  EXPECT_EQ(status, 8u);
  EXPECT_STREQ(text, "CHalvorin_ScsiTransportASPI::ExecuteCDB(): Command failed!!!");
  EXPECT_EQ(systemError, 77u);
  EXPECT_EQ(record[0], 1);
  EXPECT_EQ(record[1], 10);
  EXPECT_EQ(record[2], 0x25);
  for (int i = 12; i <= 17; ++i) EXPECT_EQ(record[i], 0) << "CDB byte " << i - 2;
  EXPECT_EQ(record[18], 14);
  EXPECT_EQ(record[19 + 2] & 0x0F, 2);
  EXPECT_EQ(record[19 + 12], 0x04);
  EXPECT_EQ(record[19 + 13], 0x01);
  for (int i = 33; i <= 50; ++i) EXPECT_EQ(record[i], 0) << "sense byte " << i - 19;
  EXPECT_EQ(record[51], aspi::SS_ERR);
  EXPECT_EQ(record[52], aspi::TARGET_CHECK_CONDITION);
  EXPECT_EQ(record[53], 0);
}

TEST_F(ScsiTransport, BusyForLongerThan5000TriesGivesStatus7Number2) {
  at::InjectBusy(0, 6000);
  const Thrown t = Catch([&] { device->TestUnitReadyCDB(); });
  EXPECT_EQ(t.Status(), 7);
  EXPECT_EQ(t.Text(), "CHalvorin_ScsiTransportASPI::ExecuteCDB(): Device not ready too long #2!!!");
  EXPECT_EQ(at::CdbLog(0).size(), 5001u);
  EXPECT_EQ(Slept(), milliseconds(500000));
}

TEST_F(ScsiTransport, NotReadyForLongerThan5000TriesGivesStatus7Number1) {
  at::InjectNotReady(0, 0x08, 6000);
  const Thrown t = Catch([&] { device->TestUnitReadyCDB(); });
  EXPECT_EQ(t.Status(), 7);
  EXPECT_EQ(t.Text(), "CHalvorin_ScsiTransportASPI::ExecuteCDB(): Device not ready too long #1!!!");
  EXPECT_EQ(at::CdbLog(0).size(), 5001u);
}

// A long write in progress answering WRITE(10) is waited out without a failure dump; every
// other failed answer is dumped.
TEST_F(ScsiTransport, LongWriteInProgressIsRetriedWithoutADump) {
  platform::debug::Capture capture;
  at::InjectNotReady(0, 0x08, 2, 0x2A);
  std::vector<std::uint8_t> block(2048);
  Catch([&] { device->Write10(block.data(), 2048, 0, 1); });
  const auto log = at::CdbLog(0);
  ASSERT_EQ(log.size(), 3u);
  size_t otherFailures = 0;
  for (const auto& r : log)
    if (r.targetStatus != aspi::TARGET_GOOD &&
        !(r.sense.key == 2 && r.sense.asc == 0x04 && r.sense.ascq == 0x08))
      ++otherFailures;
  const std::string text = capture.Text();
  size_t dumps = 0;
  for (size_t at = text.find("DumpSRB(): SRB status"); at != std::string::npos;
       at = text.find("DumpSRB(): SRB status", at + 1))
    ++dumps;
  EXPECT_EQ(dumps, otherFailures);
}

TEST_F(ScsiTransport, ANonexistentAddressFailsWithStatus6) {
  struct Case {
    std::uint8_t hostAdapter, target;
    const char* text;
  };
  const Case cases[] = {
      {9, 0,
       "SendASPI32Command( SC_GET_DEV_TYPE ) for target ID 0 failed with ASPI status 0x11!!!"},
      {0, 5,
       "SendASPI32Command( SC_GET_DEV_TYPE ) for target ID 5 failed with ASPI status 0x12!!!"},
  };
  for (const auto& c : cases) {
    const Thrown t =
        Catch([&] { CHalvorin_ScsiTransportASPI transport(c.hostAdapter, 0, c.target, 0); });
    EXPECT_EQ(t.Status(), 6);
    EXPECT_EQ(t.Text(),
              std::string("CHalvorin_ScsiTransportASPI::CHalvorin_ScsiTransportASPI(): ") + c.text);
  }
  CHalvorin_ScsiTransportASPI transport(0, 0, 0, 0);
  EXPECT_EQ(transport.GetDeviceType(), 5);
  EXPECT_EQ(transport.GetMaximumTransfer(), 61440u);  // the adapter takes 1 MB a command
}

}  // namespace
}  // namespace libtest
