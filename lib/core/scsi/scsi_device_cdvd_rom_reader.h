// A CD/DVD device: refuses any other device type and learns its capabilities from mode page
// 2Ah once, at construction.
#pragma once

#include <cstdint>

#include "lib/core/scsi/scsi_device_generic.h"

inline constexpr std::uint8_t kHalvorinDeviceTypeCdvd = 0x05;

class CHalvorin_ScsiDeviceCdvdRomReader : public CHalvorin_ScsiDeviceGeneric {
 public:
  // Exception 9 for a device that is not of type 5. A capabilities page that cannot be read
  // leaves every capability 0.
  CHalvorin_ScsiDeviceCdvdRomReader(std::uint8_t p__UCHAR__HostAdapter, std::uint8_t p__UCHAR__Bus,
                                    std::uint8_t p__UCHAR__TargetID, std::uint8_t p__UCHAR__LUN);
  ~CHalvorin_ScsiDeviceCdvdRomReader() override;

  // Up to `tries` READ DISC INFORMATION (when asked) until one succeeds, then up to `tries`
  // TEST UNIT READY the same way, sleeping `milliseconds` after each failure. Never throws: a
  // device that never answered makes the next command fail instead.
  void WaitUntilReady(std::uint32_t p__ULONG__Tries, std::uint32_t p__ULONG__Milliseconds,
                      bool p__BOOLEAN__IsAlsoDiscInformation);

  std::uint32_t GetBufferSize() const { return m__ULONG__BufferSize; }
  bool IsReadCDR() const { return m__BOOLEAN__IsReadCDR; }
  bool IsReadCDRW() const { return m__BOOLEAN__IsReadCDRW; }
  bool IsReadDVDROM() const { return m__BOOLEAN__IsReadDVDROM; }
  bool IsReadDVDR() const { return m__BOOLEAN__IsReadDVDR; }
  bool IsReadDVDRAM() const { return m__BOOLEAN__IsReadDVDRAM; }
  bool IsTestWrite() const { return m__BOOLEAN__IsTestWrite; }
  bool IsWriteCDR() const { return m__BOOLEAN__IsWriteCDR; }
  bool IsWriteCDRW() const { return m__BOOLEAN__IsWriteCDRW; }
  bool IsWriteDVDR() const { return m__BOOLEAN__IsWriteDVDR; }
  bool IsWriteDVDRAM() const { return m__BOOLEAN__IsWriteDVDRAM; }

 protected:
  std::uint32_t m__ULONG__BufferSize = 0;  // bytes
  bool m__BOOLEAN__IsReadCDR = false;
  bool m__BOOLEAN__IsReadCDRW = false;
  bool m__BOOLEAN__IsReadDVDROM = false;
  bool m__BOOLEAN__IsReadDVDR = false;
  bool m__BOOLEAN__IsReadDVDRAM = false;
  bool m__BOOLEAN__IsTestWrite = false;
  bool m__BOOLEAN__IsWriteCDR = false;
  bool m__BOOLEAN__IsWriteCDRW = false;
  bool m__BOOLEAN__IsWriteDVDR = false;
  bool m__BOOLEAN__IsWriteDVDRAM = false;

 private:
  void ReadCapabilities();
};
