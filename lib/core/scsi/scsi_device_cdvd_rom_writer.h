// A CD/DVD device the library writes with: warns when the drive reports no recording at all.
#pragma once

#include <cstdint>

#include "lib/core/scsi/scsi_device_cdvd_rom_reader.h"

class CHalvorin_ScsiDeviceCdvdRomWriter : public CHalvorin_ScsiDeviceCdvdRomReader {
 public:
  CHalvorin_ScsiDeviceCdvdRomWriter(std::uint8_t p__UCHAR__HostAdapter, std::uint8_t p__UCHAR__Bus,
                                    std::uint8_t p__UCHAR__TargetID, std::uint8_t p__UCHAR__LUN);
  ~CHalvorin_ScsiDeviceCdvdRomWriter() override;
};
