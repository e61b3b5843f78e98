#include "lib/core/scsi/scsi_device_cdvd_rom_reader.h"

#include <array>
#include <chrono>
#include <memory>

#include "lib/core/debug_trace.h"
#include "lib/core/halvorin_exception.h"
#include "lib/core/scsi/dumps.h"
#include "lib/core/scsi/mode_page.h"
#include "platform/aspi/clock.h"

namespace {

constexpr const char* kConstructor =
    "CHalvorin_ScsiDeviceCdvdRomReader::CHalvorin_ScsiDeviceCdvdRomReader";
constexpr const char* kWait = "CHalvorin_ScsiDeviceCdvdRomReader::WaitUntilReady";

void Sleep(std::uint32_t milliseconds) {
  platform::aspi::CurrentClock()->SleepFor(std::chrono::milliseconds(milliseconds));
}

// Runs one command; a failure is freed with its failure block. True when it succeeded.
template <class Command>
bool Succeeds(Command&& command) {
  try {
    command();
    return true;
  } catch (CHalvorin_Exception* p__PCHalvorin_Exception__Exception) {
    std::unique_ptr<CHalvorin_Exception> exception(p__PCHalvorin_Exception__Exception);
    return false;
  }
}

}  // namespace

CHalvorin_ScsiDeviceCdvdRomReader::CHalvorin_ScsiDeviceCdvdRomReader(
    std::uint8_t p__UCHAR__HostAdapter, std::uint8_t p__UCHAR__Bus, std::uint8_t p__UCHAR__TargetID,
    std::uint8_t p__UCHAR__LUN)
    : CHalvorin_ScsiDeviceGeneric(p__UCHAR__HostAdapter, p__UCHAR__Bus, p__UCHAR__TargetID,
                                  p__UCHAR__LUN) {
  HalvorinI_Traced(kConstructor, [&] {
    if (m__UCHAR__DeviceType != kHalvorinDeviceTypeCdvd)
      HalvorinI_ThrowException(kHalvorinStatusWrongDeviceType, 0,
                               "%s(): Device type 0x%02X instead of 0x%02X!!!", kConstructor,
                               m__UCHAR__DeviceType, kHalvorinDeviceTypeCdvd);
    ReadCapabilities();
  });
}

CHalvorin_ScsiDeviceCdvdRomReader::~CHalvorin_ScsiDeviceCdvdRomReader() = default;

void CHalvorin_ScsiDeviceCdvdRomReader::ReadCapabilities() {
  std::array<std::uint8_t, 4096> data{};
  try {
    ModeSense10(0x2A, 0, data.data(), static_cast<std::uint32_t>(data.size()));
  } catch (CHalvorin_Exception* p__PCHalvorin_Exception__Exception) {
    std::unique_ptr<CHalvorin_Exception> exception(p__PCHalvorin_Exception__Exception);
    DebugTrace("\n%s(): WARNING! ModeSense10() failed!!!\n", kConstructor);
    if (exception)
      DebugTrace("\n%s(): Exception number 0x%08X, exception text '%s'\n", kConstructor,
                 static_cast<unsigned>(exception->GetStatus()), exception->GetText());
    else
      DebugTrace("\n%s(): WARNING! Exception pointer is NULL!\n", kConstructor);
    return;
  }
  const HalvorinI_ModePage page =
      HalvorinI_LocateModePage(data.data(), static_cast<std::uint32_t>(data.size()), 0x2A);
  if (!page.m__PUCHAR__Page) {
    DebugTrace("\n%s(): WARNING! No capabilities page in the mode data!!!\n", kConstructor);
    return;
  }
  CHalvorin_DumpCdvdCapabilitiesPage(page.m__PUCHAR__Page, page.m__ULONG__Size);
  const std::uint8_t* p = page.m__PUCHAR__Page;
  const std::uint32_t size = page.m__ULONG__Size;
  // A short page leaves what it does not reach at 0.
  if (size > 3) {
    m__BOOLEAN__IsReadCDR = p[2] & 0x01;
    m__BOOLEAN__IsReadCDRW = p[2] & 0x02;
    m__BOOLEAN__IsReadDVDROM = p[2] & 0x08;
    m__BOOLEAN__IsReadDVDR = p[2] & 0x10;
    m__BOOLEAN__IsReadDVDRAM = p[2] & 0x20;
    m__BOOLEAN__IsWriteCDR = p[3] & 0x01;
    m__BOOLEAN__IsWriteCDRW = p[3] & 0x02;
    m__BOOLEAN__IsTestWrite = p[3] & 0x04;
    m__BOOLEAN__IsWriteDVDR = p[3] & 0x10;
    m__BOOLEAN__IsWriteDVDRAM = p[3] & 0x20;
  }
  if (size > 13) m__ULONG__BufferSize = (std::uint32_t{p[12]} << 8 | p[13]) * 1024u;
}

void CHalvorin_ScsiDeviceCdvdRomReader::WaitUntilReady(std::uint32_t p__ULONG__Tries,
                                                       std::uint32_t p__ULONG__Milliseconds,
                                                       bool p__BOOLEAN__IsAlsoDiscInformation) {
  DebugTrace("\n%s(): ENTERed, tries %lu, milliseconds %lu, disc information %d\n", kWait,
             static_cast<unsigned long>(p__ULONG__Tries),
             static_cast<unsigned long>(p__ULONG__Milliseconds), p__BOOLEAN__IsAlsoDiscInformation);
  if (p__BOOLEAN__IsAlsoDiscInformation) {
    std::array<std::uint8_t, 4096> data{};
    for (std::uint32_t i = 0; i < p__ULONG__Tries; ++i) {
      if (Succeeds(
              [&] { ReadDiscInformation(data.data(), static_cast<std::uint32_t>(data.size())); }))
        break;
      Sleep(p__ULONG__Milliseconds);
    }
  }
  for (std::uint32_t i = 0; i < p__ULONG__Tries; ++i) {
    if (Succeeds([&] { TestUnitReadyCDB(); })) break;
    Sleep(p__ULONG__Milliseconds);
  }
  DebugTrace("\n%s(): EXITing with success\n", kWait);
}
