#include "lib/core/scsi/scsi_device_cdvd_rom_writer.h"

#include "lib/core/debug_trace.h"

CHalvorin_ScsiDeviceCdvdRomWriter::CHalvorin_ScsiDeviceCdvdRomWriter(
    std::uint8_t p__UCHAR__HostAdapter, std::uint8_t p__UCHAR__Bus, std::uint8_t p__UCHAR__TargetID,
    std::uint8_t p__UCHAR__LUN)
    : CHalvorin_ScsiDeviceCdvdRomReader(p__UCHAR__HostAdapter, p__UCHAR__Bus, p__UCHAR__TargetID,
                                        p__UCHAR__LUN) {
  const char* method = "CHalvorin_ScsiDeviceCdvdRomWriter::CHalvorin_ScsiDeviceCdvdRomWriter";
  DebugTrace("\n%s(): ENTERed\n", method);
  // Test write alone records nothing.
  if (!m__BOOLEAN__IsWriteCDR && !m__BOOLEAN__IsWriteCDRW && !m__BOOLEAN__IsWriteDVDR &&
      !m__BOOLEAN__IsWriteDVDRAM)
    DebugTrace("\n%s(): WARNING! Device does not support recording!!!\n", method);
  DebugTrace("\n%s(): EXITing with success\n", method);
}

CHalvorin_ScsiDeviceCdvdRomWriter::~CHalvorin_ScsiDeviceCdvdRomWriter() = default;
