// Faults on request, each seen by the caller as a drive shows it, and the CDB log.
#include "tests/aspi/library_sequences.h"

namespace aspitest {
namespace {

using namespace std::chrono_literals;

class Faults : public AspiTest {
 protected:
  void SetUp() override {
    AspiTest::SetUp();
    Recorders({Media::CdR});
  }
  const std::vector<std::uint8_t> tur = {0, 0, 0, 0, 0, 0};
  const std::vector<std::uint8_t> inquiry = {0x12, 0, 0, 0, 96, 0};
};

TEST_F(Faults, BusyAnswersWithTargetStatusBusy) {
  at::InjectBusy(0, 2);
  EXPECT_GOOD(Cmd(0, inquiry, 96));  // the device stays identifiable
  for (int i = 0; i < 2; ++i) {
    Reply r = Cmd(0, tur);
    EXPECT_EQ(r.status, aspi::SS_ERR);
    EXPECT_EQ(r.hostStatus, aspi::HASTAT_OK);
    EXPECT_EQ(r.targetStatus, aspi::TARGET_BUSY);
  }
  EXPECT_GOOD(Cmd(0, tur));
  at::InjectBusy(0, 1, 0x12);  // one opcode: even INQUIRY
  EXPECT_EQ(Cmd(0, inquiry, 96).targetStatus, aspi::TARGET_BUSY);
}

TEST_F(Faults, NotReadyBecomingReadyAndLongWrite) {
  at::InjectNotReady(0, 0x01, 2);
  EXPECT_SENSE(Cmd(0, tur), 2, 0x04, 0x01);
  EXPECT_GOOD(Cmd(0, inquiry, 96));
  EXPECT_SENSE(Cmd(0, Cdb10(0x51, 0, 0, 34), 34), 2, 0x04, 0x01);
  EXPECT_GOOD(Cmd(0, tur));
  LibraryBurner b(0);
  ASSERT_GOOD(b.SetWriteParameters(1, 8, 4, false, false, 0, false));
  at::InjectNotReady(0, 0x08, 1, 0x2A);
  EXPECT_SENSE(CmdOut(0, Cdb10(0x2A, 0, 0, 1), Pattern(0, 1)), 2, 0x04, 0x08);
  EXPECT_GOOD(CmdOut(0, Cdb10(0x2A, 0, 0, 1), Pattern(0, 1)));  // the retry goes through
}

TEST_F(Faults, UnitAttentionIsReportedOnce) {
  for (std::uint8_t asc : {0x28, 0x29}) {
    at::InjectUnitAttention(0, asc);
    EXPECT_GOOD(Cmd(0, inquiry, 96));
    EXPECT_SENSE(Cmd(0, tur), 6, asc, 0);
    EXPECT_GOOD(Cmd(0, tur));
  }
  at::InjectUnitAttention(0, 0x28);
  Reply sense = Cmd(0, {0x03, 0, 0, 0, 18, 0}, 18);
  ASSERT_GOOD(sense);
  EXPECT_EQ(sense.data[2], 6);
  EXPECT_EQ(sense.data[12], 0x28);
  EXPECT_GOOD(Cmd(0, tur));
}

TEST_F(Faults, MediumErrorOnChosenSectors) {
  LibraryBurner b(0);
  ASSERT_GOOD(b.TrackAtOnce(Pattern(0, 20)));
  at::InjectMediumError(0, 12);
  EXPECT_GOOD(b.ReadBlocks(0, 12));
  std::vector<std::uint8_t> buf(4 * 2048);
  aspi::SrbExecScsiCmd srb;
  srb.header.flags = aspi::SRB_DIR_IN;
  srb.data = buf.data();
  srb.dataLength = static_cast<std::uint32_t>(buf.size());
  srb.cdbLength = 10;
  const auto cdb = Cdb10(0x28, 0, 10, 4);
  std::copy(cdb.begin(), cdb.end(), srb.cdb);
  EXPECT_EQ(aspi::SendASPI32Command(&srb.header), aspi::SS_ERR);
  EXPECT_EQ(srb.sense[0], 0xF0);  // information field valid
  EXPECT_EQ(srb.sense[2], 3);
  EXPECT_EQ(srb.sense[6], 12);  // the failing LBA
  EXPECT_EQ(srb.sense[12], 0x11);
  EXPECT_EQ(srb.sense[13], 0x05);
  EXPECT_SENSE(Cmd(0, {0xBE, 0, 0, 0, 0, 12, 0, 0, 1, 0xF8, 0, 0}, 2352), 3, 0x11, 0x05);
}

TEST_F(Faults, RejectedImmedMakesTheLibraryCloseWithoutIt) {
  LibraryBurner b(0);
  ASSERT_GOOD(b.TrackAtOnce(Pattern(0, 20)));
  at::RejectImmed(0, true);
  at::ClearCdbLog(0);
  EXPECT_SENSE(b.Close(1, 2, 0), 5, 0x24, 0);
  ASSERT_GOOD(b.CloseSession());  // immediate refused, then the same close without Immed
  const auto log = at::CdbLog(0);
  ASSERT_GE(log.size(), 4u);
  const auto& last = log[log.size() - 1];
  const auto& before = log[log.size() - 2];
  EXPECT_EQ(before.cdb[0], 0x5B);
  EXPECT_EQ(before.cdb[1], 0x01);
  EXPECT_EQ(before.sense.asc, 0x24);
  EXPECT_EQ(last.cdb[1], 0x00);
  EXPECT_EQ(last.targetStatus, aspi::TARGET_GOOD);
  EXPECT_SENSE(Cmd(0, Cdb10(0x35, 0x02)), 5, 0x24, 0);
  EXPECT_SENSE(Cmd(0, {0x1B, 1, 0, 0, 0x03, 0}), 5, 0x24, 0);
}

TEST_F(Faults, SlowDrainShowsTheBufferEmptying) {
  LibraryBurner b(0);
  ASSERT_GOOD(b.SetWriteParameters(1, 8, 4, false, false, 0, false));
  at::SetDrainSpeed(0, at::kCd1x);
  const auto start = clock->Now();
  // 1200 blocks (2.4 MB) into a 2 MiB buffer: the writes wait for room at 1x.
  for (std::uint32_t lba = 0; lba < 1200; lba += 30)
    ASSERT_GOOD(CmdOut(0, Cdb10(0x2A, 0, lba, 30), Pattern(lba, 30)));
  const double waited = std::chrono::duration<double>(clock->Now() - start).count();
  EXPECT_NEAR(waited, (1200.0 * 2048 - (2 << 20)) / 176400, 0.01);
  Reply full = Cmd(0, Cdb10(0x5C, 0, 0, 12), 12);
  EXPECT_EQ(full.U32(8), 0u);
  clock->Advance(5s);
  Reply draining = Cmd(0, Cdb10(0x5C, 0, 0, 12), 12);
  EXPECT_EQ(draining.U32(8), 5u * 176400);
  // The host fell behind: the buffer ran empty before the next write.
  clock->Advance(10s);
  EXPECT_SENSE(CmdOut(0, Cdb10(0x2A, 0, 1200, 30), Pattern(1200, 30)), 3, 0x0C, 0x09);
  Reply track = Cmd(0, Cdb10(0x52, 1, 1, 48), 48);
  EXPECT_EQ(track.data[5] & 0x20, 0x20);  // damaged
  EXPECT_SENSE(CmdOut(0, Cdb10(0x2A, 0, 1200, 30), Pattern(1200, 30)), 5, 0x21, 0x02);
}

TEST_F(Faults, UnderrunProtectionRidesOverAnEmptyBuffer) {
  LibraryBurner b(0);
  ASSERT_GOOD(b.SetWriteParameters(1, 8, 4, false, false, 0, false));
  Reply wp = Cmd(0, {0x5A, 0x08, 0x05, 0, 0, 0, 0, 0x10, 0, 0}, 4096);
  std::vector<std::uint8_t> page(wp.data.begin(), wp.data.begin() + 64);
  std::fill(page.begin(), page.begin() + 8, 0);
  page[10] |= 0x40;  // BUFE
  ASSERT_GOOD(CmdOut(0, {0x55, 0x10, 0, 0, 0, 0, 0, 0, 64, 0}, page));
  at::SetDrainSpeed(0, at::kDvd1x);
  ASSERT_GOOD(CmdOut(0, Cdb10(0x2A, 0, 0, 30), Pattern(0, 30)));
  clock->Advance(60s);
  EXPECT_GOOD(CmdOut(0, Cdb10(0x2A, 0, 30, 30), Pattern(30, 30)));
  EXPECT_EQ(at::Recorder(0).ProtectedUnderruns(), 1);
  // SYNCHRONIZE CACHE with Immed: the drive is busy writing its buffer for a while.
  ASSERT_GOOD(Cmd(0, Cdb10(0x35, 0x02)));
  EXPECT_SENSE(Cmd(0, tur), 2, 0x04, 0x08);
  clock->Advance(1s);
  EXPECT_GOOD(Cmd(0, tur));
}

TEST_F(Faults, ACommandThatNeverCompletesTimesOut) {
  at::SetCommandTimeout(30s);
  at::InjectHang(0, 1, 0x00);
  const auto start = clock->Now();
  Reply r = Cmd(0, tur);
  EXPECT_EQ(r.status, aspi::SS_ERR);
  EXPECT_EQ(r.hostStatus, aspi::HASTAT_TIMEOUT);
  EXPECT_EQ(clock->Now() - start, std::chrono::nanoseconds(30s));
  EXPECT_GOOD(Cmd(0, tur));

  // With an event: pending, then the event with the failure.
  at::InjectHang(0, 1);
  aspi::CompletionEvent event;
  aspi::SrbExecScsiCmd srb;
  srb.header.flags = aspi::SRB_EVENT_NOTIFY;
  srb.postEvent = &event;
  srb.cdbLength = 6;
  ASSERT_EQ(aspi::SendASPI32Command(&srb.header), aspi::SS_PENDING);
  event.Wait();
  EXPECT_EQ(aspi::RequestStatus(srb.header), aspi::SS_ERR);
  EXPECT_EQ(srb.hostAdapterStatus, aspi::HASTAT_TIMEOUT);
}

TEST_F(Faults, EveryCdbIsLogged) {
  at::ClearCdbLog(0);
  Cmd(0, inquiry, 96);
  Cmd(0, {0x12, 1, 0, 0, 96, 0}, 96);
  const auto log = at::CdbLog(0);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].cdb, inquiry);
  EXPECT_EQ(log[0].dataLength, 96u);
  EXPECT_EQ(log[0].direction, aspi::DataDirection::In);
  EXPECT_EQ(log[1].targetStatus, aspi::TARGET_CHECK_CONDITION);
  EXPECT_EQ(log[1].sense.asc, 0x24);
}

}  // namespace
}  // namespace aspitest
