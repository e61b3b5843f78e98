// What every device class sends its commands through: one device address and one CDB at a
// time, synchronously.
#pragma once

#include <atomic>
#include <cstdint>

#include "lib/core/halvorin_object.h"
#include "lib/core/scsi/pending_work.h"

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
  // Work for the next command that waits on the device (nullptr none); taken by that command.
  void SetPendingWork(CHalvorin_PendingWork* p__PCHalvorin_PendingWork__Work) {
    m__PCHalvorin_PendingWork__Work.store(p__PCHalvorin_PendingWork__Work);
  }

 protected:
  CHalvorin_PendingWork* TakePendingWork() {
    return m__PCHalvorin_PendingWork__Work.exchange(nullptr);
  }

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

 private:
  std::atomic<CHalvorin_PendingWork*> m__PCHalvorin_PendingWork__Work{nullptr};
};

// The work for the commands of one scope, forgotten when it ends.
class CHalvorin_PendingWorkScope {
 public:
  CHalvorin_PendingWorkScope(CHalvorin_ScsiTransport& p__Transport, CHalvorin_PendingWork& p__Work)
      : m__Transport(p__Transport) {
    m__Transport.SetPendingWork(&p__Work);
  }
  ~CHalvorin_PendingWorkScope() { m__Transport.SetPendingWork(nullptr); }
  CHalvorin_PendingWorkScope(const CHalvorin_PendingWorkScope&) = delete;
  CHalvorin_PendingWorkScope& operator=(const CHalvorin_PendingWorkScope&) = delete;

 private:
  CHalvorin_ScsiTransport& m__Transport;
};
