// What every device class sends its commands through: one device address and one CDB at a
// time, synchronously.
#pragma once

#include <cstdint>

#include "lib/core/halvorin_object.h"

inline constexpr std::uint8_t kHalvorinDirectionOut = 1;  // to the device; anything else is in
inline constexpr std::uint8_t kHalvorinDirectionIn = 0;

class CHalvorin_ScsiTransport : public CHalvorin_Object {
 public:
  // Returns when the command completed successfully; throws a CHalvorin_Exception pointer
  // otherwise.
  virtual void ExecuteCDB(const std::uint8_t* p__PUCHAR__CDB, std::uint8_t p__UCHAR__CDBLength,
                          void* p__PVOID__Buffer, std::uint32_t p__ULONG__BufferSize,
                          std::uint8_t p__UCHAR__Direction) = 0;

  std::uint8_t GetHostAdapter() const { return m__UCHAR__HostAdapter; }
  std::uint8_t GetBus() const { return m__UCHAR__Bus; }
  std::uint8_t GetTargetID() const { return m__UCHAR__TargetID; }
  std::uint8_t GetLUN() const { return m__UCHAR__LUN; }
  std::uint8_t GetDeviceType() const { return m__UCHAR__DeviceType; }
  // Bytes per command: bounds every data command the library builds.
  std::uint32_t GetMaximumTransfer() const { return m__ULONG__MaximumTransfer; }

 protected:
  CHalvorin_ScsiTransport(std::uint8_t p__UCHAR__HostAdapter, std::uint8_t p__UCHAR__Bus,
                          std::uint8_t p__UCHAR__TargetID, std::uint8_t p__UCHAR__LUN)
      : m__UCHAR__HostAdapter(p__UCHAR__HostAdapter),
        m__UCHAR__Bus(p__UCHAR__Bus),
        m__UCHAR__TargetID(p__UCHAR__TargetID),
        m__UCHAR__LUN(p__UCHAR__LUN) {}

  std::uint8_t m__UCHAR__HostAdapter;
  std::uint8_t m__UCHAR__Bus;  // kept; ASPI requests do not use it
  std::uint8_t m__UCHAR__TargetID;
  std::uint8_t m__UCHAR__LUN;
  std::uint8_t m__UCHAR__DeviceType = 0x7F;  // unknown until the INQUIRY
  std::uint32_t m__ULONG__MaximumTransfer = 0;
};
