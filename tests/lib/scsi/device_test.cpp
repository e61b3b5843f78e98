// The MMC command builders, checked field by field against what the virtual recorder logged,
// and the device classes: type check, capabilities, the writer's warning and the ready wait.
#include <chrono>
#include <functional>
#include <vector>

#include "lib/api/export_frame.h"
#include "lib/core/scsi/scsi_device_cdvd_rom_writer.h"
#include "platform/debug/debug.h"
#include "tests/lib/lib_test_support.h"

namespace libtest {
namespace {

using Dir = aspi::DataDirection;

struct BuilderCase {
  const char* name;
  std::function<void(CHalvorin_ScsiDeviceGeneric&, std::vector<std::uint8_t>&)> send;
  std::vector<std::uint8_t> cdb;  // every byte, reserved ones 0
  std::uint32_t dataLength;
  Dir direction;  // of the data, when any moves
};

// Arguments are chosen so that each field has its own value.
const std::vector<BuilderCase>& BuilderCases() {
  using D = CHalvorin_ScsiDeviceGeneric;
  using B = std::vector<std::uint8_t>;
  static const std::vector<BuilderCase> cases = {
      {"TestUnitReadyCDB",
       [](D& d, B&) { d.TestUnitReadyCDB(); },
       {0x00, 0, 0, 0, 0, 0},
       0,
       Dir::None},
      // format code 5, CmpList, FmtData; interleave 0102h; 12-byte list
      {"FormatUnit",
       [](D& d, B& b) { d.FormatUnit(5, true, true, 0x0102, b.data(), 12); },
       {0x04, 0x1D, 0, 0x01, 0x02, 0},
       12,
       Dir::Out},
      {"Inquiry", [](D& d, B& b) { d.Inquiry(b.data(), 96); }, {0x12, 0, 0, 0, 96, 0}, 96, Dir::In},
      {"StartStopUnit",
       [](D& d, B&) { d.StartStopUnit(true, true, true); },
       {0x1B, 0x01, 0, 0, 0x03, 0},
       0,
       Dir::None},
      {"StartStopUnit start only",
       [](D& d, B&) { d.StartStopUnit(false, false, true); },
       {0x1B, 0x00, 0, 0, 0x01, 0},
       0,
       Dir::None},
      {"PreventAllowMediumRemoval",
       [](D& d, B&) { d.PreventAllowMediumRemoval(true); },
       {0x1E, 0, 0, 0, 0x01, 0},
       0,
       Dir::None},
      {"ReadFormatCapacities",
       [](D& d, B& b) { d.ReadFormatCapacities(b.data(), 0x0FFC); },
       {0x23, 0, 0, 0, 0, 0, 0, 0x0F, 0xFC, 0},
       0x0FFC,
       Dir::In},
      {"ReadCapacity",
       [](D& d, B& b) { d.ReadCapacity(b.data(), 8); },
       {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0},
       8,
       Dir::In},
      {"Read10",
       [](D& d, B& b) { d.Read10(b.data(), 2 * 2048, 0x01020304, 2); },
       {0x28, 0, 0x01, 0x02, 0x03, 0x04, 0, 0x00, 0x02, 0},
       4096,
       Dir::In},
      {"Write10",
       [](D& d, B& b) { d.Write10(b.data(), 2 * 2048, 0x0A0B0C0D, 2); },
       {0x2A, 0, 0x0A, 0x0B, 0x0C, 0x0D, 0, 0x00, 0x02, 0},
       4096,
       Dir::Out},
      {"SynchronizeCacheCDB",
       [](D& d, B&) { d.SynchronizeCacheCDB(true, 0x11121314, 0x1516); },
       {0x35, 0x02, 0x11, 0x12, 0x13, 0x14, 0, 0x15, 0x16, 0},
       0,
       Dir::None},
      // MSF, format 2, session 3
      {"ReadTocPmaAtip",
       [](D& d, B& b) { d.ReadTocPmaAtip(true, 2, 3, b.data(), 0x0804); },
       {0x43, 0x02, 0x02, 0, 0, 0, 0x03, 0x08, 0x04, 0},
       0x0804,
       Dir::In},
      {"GetConfiguration",
       [](D& d, B& b) { d.GetConfiguration(2, 0x002B, b.data(), 0x1000); },
       {0x46, 0x02, 0x00, 0x2B, 0, 0, 0, 0x10, 0x00, 0},
       0x1000,
       Dir::In},
      {"ReadDiscInformation",
       [](D& d, B& b) { d.ReadDiscInformation(b.data(), 34); },
       {0x51, 0, 0, 0, 0, 0, 0, 0x00, 34, 0},
       34,
       Dir::In},
      {"ReadTrackInformation",
       [](D& d, B& b) { d.ReadTrackInformation(1, 0xFF, b.data(), 48); },
       {0x52, 0x01, 0, 0, 0, 0xFF, 0, 0x00, 48, 0},
       48,
       Dir::In},
      {"ReadTrackInformation by LBA",
       [](D& d, B& b) { d.ReadTrackInformation(0, 0x00123456, b.data(), 48); },
       {0x52, 0x00, 0x00, 0x12, 0x34, 0x56, 0, 0x00, 48, 0},
       48,
       Dir::In},
      {"ReserveTrack",
       [](D& d, B&) { d.ReserveTrack(0x21222324); },
       {0x53, 0, 0, 0, 0, 0x21, 0x22, 0x23, 0x24, 0},
       0,
       Dir::None},
      {"SendOPCInformation",
       [](D& d, B& b) { d.SendOPCInformation(true, b.data(), 8); },
       {0x54, 0x01, 0, 0, 0, 0, 0, 0x00, 0x08, 0},
       8,
       Dir::Out},
      {"ModeSelect10",
       [](D& d, B& b) { d.ModeSelect10(b.data(), 0x3A); },
       {0x55, 0x10, 0, 0, 0, 0, 0, 0x00, 0x3A, 0},
       0x3A,
       Dir::Out},
      // page 05h, default values
      {"ModeSense10",
       [](D& d, B& b) { d.ModeSense10(0x05, 2, b.data(), 0x1000); },
       {0x5A, 0x08, 0x85, 0, 0, 0, 0, 0x10, 0x00, 0},
       0x1000,
       Dir::In},
      // Immed, close function 101b; track 300 in both bytes
      {"CloseTrackSession",
       [](D& d, B&) { d.CloseTrackSession(true, true, false, true, 300); },
       {0x5B, 0x01, 0x05, 0, 0x01, 0x2C, 0, 0, 0, 0},
       0,
       Dir::None},
      {"CloseTrackSession session",
       [](D& d, B&) { d.CloseTrackSession(false, false, true, false, 0); },
       {0x5B, 0x00, 0x02, 0, 0, 0, 0, 0, 0, 0},
       0,
       Dir::None},
      {"ReadBufferCapacity",
       [](D& d, B& b) { d.ReadBufferCapacity(b.data(), 12); },
       {0x5C, 0, 0, 0, 0, 0, 0, 0x00, 12, 0},
       12,
       Dir::In},
      {"SendCueSheet",
       [](D& d, B& b) { d.SendCueSheet(b.data(), 0x000118); },
       {0x5D, 0, 0, 0, 0, 0, 0x00, 0x01, 0x18, 0},
       0x118,
       Dir::Out},
      // blanking type 1, Immed, start 31323334h
      {"BlankCDB",
       [](D& d, B&) { d.BlankCDB(1, true, 0x31323334); },
       {0xA1, 0x11, 0x31, 0x32, 0x33, 0x34, 0, 0, 0, 0, 0, 0},
       0,
       Dir::None},
      // address 41424344h, layer 1, format 0, AGID 2
      {"ReadDVDStructure",
       [](D& d, B& b) { d.ReadDVDStructure(0x41424344, 1, 0, 2, b.data(), 0x0804); },
       {0xAD, 0, 0x41, 0x42, 0x43, 0x44, 0x01, 0x00, 0x08, 0x04, 0x80, 0},
       0x0804,
       Dir::In},
      {"SetCDSpeed",
       [](D& d, B&) { d.SetCDSpeed(0x1B90, 0xFFFF); },
       {0xBB, 0, 0x1B, 0x90, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0},
       0,
       Dir::None},
      // expected type 2, LBA 0, 1 block; sync, header codes 3, user data, EDC/ECC, error field
      // 1; subchannel 2
      {"ReadCD",
       [](D& d, B& b) { d.ReadCD(2, 0, 1, true, 3, true, true, 1, 2, b.data(), 2368); },
       {0xBE, 0x08, 0, 0, 0, 0, 0x00, 0x00, 0x01, 0xFA, 0x02, 0},
       2368,
       Dir::In},
      {"ReadCD raw P-W at a far LBA",
       [](D& d,
          B& b) { d.ReadCD(0, 0x00051234, 0x010203, false, 0, false, false, 0, 1, b.data(), 96); },
       {0xBE, 0x00, 0x00, 0x05, 0x12, 0x34, 0x01, 0x02, 0x03, 0x00, 0x01, 0},
       96,
       Dir::In},
  };
  return cases;
}

class DeviceClasses : public LibTest {};

TEST_F(DeviceClasses, EveryBuilderSendsItsFieldsAsLogged) {
  Devices({Media::CdRw});
  CHalvorin_ScsiDeviceGeneric device(0, 0, 0, 0);
  std::vector<std::uint8_t> buffer(0x1000, 0);
  for (const auto& c : BuilderCases()) {
    SCOPED_TRACE(c.name);
    at::ClearCdbLog(0);
    Catch([&] { c.send(device, buffer); });  // refusals of the drive do not matter here
    const auto log = at::CdbLog(0);
    ASSERT_EQ(log.size(), 1u);
    const auto& sent = log.front().cdb;
    ASSERT_EQ(sent.size(), c.cdb.size()) << Hex(sent);
    for (size_t i = 0; i < sent.size(); ++i)
      EXPECT_EQ(sent[i], c.cdb[i]) << "byte " << i << " of " << Hex(sent);
    EXPECT_EQ(log.front().dataLength, c.dataLength);
    if (c.dataLength) {
      EXPECT_EQ(log.front().direction, c.direction);
    }
  }
}

TEST_F(DeviceClasses, InquiryStringsAndCapabilitiesComeFromTheDrive) {
  Devices({Media::DvdR});
  platform::debug::Capture capture;
  CHalvorin_ScsiDeviceCdvdRomWriter writer(0, 0, 0, 0);
  EXPECT_STREQ(writer.GetVendorIdentification(), "QUORVA  ");
  EXPECT_STREQ(writer.GetProductIdentification(), "Virtual Recorder");
  EXPECT_STREQ(writer.GetProductRevision(), "1.00");
  EXPECT_EQ(writer.GetBufferSize(), 2048u * 1024u);
  const bool flags[] = {writer.IsReadCDR(),    writer.IsReadCDRW(),   writer.IsReadDVDROM(),
                        writer.IsReadDVDR(),   writer.IsReadDVDRAM(), writer.IsTestWrite(),
                        writer.IsWriteCDR(),   writer.IsWriteCDRW(),  writer.IsWriteDVDR(),
                        writer.IsWriteDVDRAM()};
  for (bool f : flags) EXPECT_TRUE(f);
  EXPECT_NE(capture.Text().find("'QUORVA  ' - 'Virtual Recorder' - '1.00' sits at 0:0:0:0"),
            std::string::npos);
  EXPECT_EQ(capture.Text().find("WARNING! Device does not support recording!!!"),
            std::string::npos);
}

TEST_F(DeviceClasses, AFailedCapabilitiesPageLeavesAllZeroAndTheWriterWarns) {
  Devices({Media::DvdR});
  platform::debug::Capture capture;
  at::InjectNotReady(0, 0x01, 1, 0x5A);
  CHalvorin_ScsiDeviceCdvdRomWriter writer(0, 0, 0, 0);
  EXPECT_EQ(writer.GetBufferSize(), 0u);
  const bool flags[] = {writer.IsReadCDR(),    writer.IsReadCDRW(),   writer.IsReadDVDROM(),
                        writer.IsReadDVDR(),   writer.IsReadDVDRAM(), writer.IsTestWrite(),
                        writer.IsWriteCDR(),   writer.IsWriteCDRW(),  writer.IsWriteDVDR(),
                        writer.IsWriteDVDRAM()};
  for (bool f : flags) EXPECT_FALSE(f);
  const std::string text = capture.Text();
  EXPECT_NE(text.find("CHalvorin_ScsiDeviceCdvdRomReader::CHalvorin_ScsiDeviceCdvdRomReader(): "
                      "WARNING! ModeSense10() failed!!!"),
            std::string::npos);
  EXPECT_NE(text.find("CHalvorin_ScsiDeviceCdvdRomWriter::CHalvorin_ScsiDeviceCdvdRomWriter(): "
                      "WARNING! Device does not support recording!!!"),
            std::string::npos);
}

// A hard disk on an SG_IO host adapter: the reader refuses it, and an exported caller sees 9.
TEST_F(DeviceClasses, AHardDiskIsRefusedWithStatus9) {
  Devices({Media::DvdR}, {0x00});
  char text[256] = {};
  HalvorinI_ExportPrefix prefix{text, sizeof text, nullptr, nullptr};
  const HALVORIN_STATUS status = HalvorinI_RunExport(
      "Halvorin_Test", prefix, [] { CHalvorin_ScsiDeviceCdvdRomReader reader(1, 0, 0, 0); });
  EXPECT_EQ(status, 9u);
  EXPECT_STREQ(text,
               "CHalvorin_ScsiDeviceCdvdRomReader::CHalvorin_ScsiDeviceCdvdRomReader(): "
               "Device type 0x00 instead of 0x05!!!");
}

TEST_F(DeviceClasses, WaitUntilReadyTriesEachCommandUntilItAnswers) {
  Devices({Media::CdR});
  CHalvorin_ScsiDeviceCdvdRomReader reader(0, 0, 0, 0);
  at::ClearCdbLog(0);
  reader.WaitUntilReady(0, 5000, true);
  EXPECT_TRUE(at::CdbLog(0).empty());

  // Three media commands are refused (becoming ready is not retried by the transport).
  at::InjectNotReady(0, 0x01, 3);
  const auto start = clock->Now();
  reader.WaitUntilReady(5, 5000, true);
  std::vector<std::uint8_t> opcodes;
  for (const auto& r : at::CdbLog(0)) opcodes.push_back(r.cdb[0]);
  EXPECT_EQ(opcodes, (std::vector<std::uint8_t>{0x51, 0x51, 0x51, 0x51, 0x00}));
  EXPECT_EQ(clock->Now() - start, std::chrono::milliseconds(15000));

  // A device that never answers: the wait gives up silently after its tries.
  at::ClearCdbLog(0);
  at::InjectNotReady(0, 0x01, 100);
  reader.WaitUntilReady(2, 1000, false);
  EXPECT_EQ(at::CdbLog(0).size(), 2u);
}

}  // namespace
}  // namespace libtest
