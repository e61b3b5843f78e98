// The transport over the ASPI layer: opens one device address, learns its type and executes
// one command at a time under its critical section, retrying what a drive answers with busy
// or not ready, and turning every other failure into exception 8 with a
// CDB_FAILURE_INFORMATION.
#pragma once

#include <cstdint>

#include "lib/core/critical_section_lock.h"
#include "lib/core/scsi/scsi_transport.h"

inline constexpr std::uint32_t kHalvorinMaximumTransfer = 61440;
inline constexpr std::uint32_t kHalvorinMaximumRetries = 5000;

class CHalvorin_ScsiTransportASPI : public CHalvorin_ScsiTransport {
 public:
  // Throws exception 6 when the layer, the device type inquiry or the host adapter inquiry
  // fails.
  CHalvorin_ScsiTransportASPI(std::uint8_t p__UCHAR__HostAdapter, std::uint8_t p__UCHAR__Bus,
                              std::uint8_t p__UCHAR__TargetID, std::uint8_t p__UCHAR__LUN);
  ~CHalvorin_ScsiTransportASPI() override;

  // Direction 1 sends the buffer to the device; anything else reads into it. The data goes
  // straight between the buffer and the device.
  void ExecuteCDB(const std::uint8_t* p__PUCHAR__CDB, std::uint8_t p__UCHAR__CDBLength,
                  void* p__PVOID__Buffer, std::uint32_t p__ULONG__BufferSize,
                  std::uint8_t p__UCHAR__Direction) override;

 private:
  void OpenDevice();

  CHalvorin_CriticalSection m__CRITICAL_SECTION__CriticalSection;
};
