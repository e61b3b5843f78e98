// What every backend (virtual recorders, SG_IO, iSCSI) offers the entry points: one host
// adapter with its targets, executing one SCSI command at a time per target.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/aspi/aspi.h"
#include "platform/aspi/clock.h"

namespace platform::aspi {

enum class DataDirection { None, In, Out };

struct ScsiCommand {
  std::span<const std::uint8_t> cdb;
  std::span<std::uint8_t> data;  // the caller's buffer, either direction
  DataDirection direction = DataDirection::None;
  Clock::Duration deadline{};  // on CurrentClock(): abort and answer HASTAT_TIMEOUT after it
};

struct ScsiResult {
  std::uint8_t hostStatus = HASTAT_OK;
  std::uint8_t targetStatus = TARGET_GOOD;
  std::array<std::uint8_t, 18> sense{};  // fixed format
  std::size_t senseLength = 0;
  std::size_t transferred = 0;
};

class HostAdapter {
 public:
  virtual ~HostAdapter() = default;
  virtual const char* Kind() const = 0;  // adapter identifier of the inquiry
  virtual std::uint16_t TargetCount() const = 0;
  virtual std::uint32_t MaxTransfer() const = 0;
  virtual bool HasDevice(std::uint8_t target, std::uint8_t lun) = 0;
  virtual ScsiResult Execute(std::uint8_t target, std::uint8_t lun, const ScsiCommand& command) = 0;
  // True when the command is answered without waiting on a device: a request with an event
  // then runs on the caller's thread, which spares two thread hand-offs per command.
  virtual bool AnswersAtOnce(std::uint8_t /*target*/, std::uint8_t /*lun*/,
                             std::uint8_t /*opcode*/) {
    return false;
  }
  virtual std::optional<std::string> SymbolicName(std::uint8_t target, std::uint8_t lun) = 0;
};

}  // namespace platform::aspi
