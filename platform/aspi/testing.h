// The test interface of the layer: configure recorders, inject faults, drive the clock and read
// the CDB log. The layer's own tests and the library's tests use it; the product does not.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/aspi/adapters/sg_io_system.h"
#include "platform/aspi/clock.h"
#include "platform/aspi/recorder/vr_config.h"
#include "platform/aspi/recorder/vr_recorder.h"

namespace platform::aspi::testing {

using vr::CdbRecord;
using vr::Media;
using vr::RecorderConfig;

// Writes the configuration to the registry layer and rebuilds the adapters from it.
void ConfigureRecorders(const std::vector<RecorderConfig>& recorders);
void ConfigureIscsi(const std::vector<std::string>& urls);
// Rebuilds the adapters from the configuration as it stands.
void Reload();
// Replaces the kernel of the SG_IO backend (takes effect at the next Reload).
void UseSgIoSystem(std::shared_ptr<SgIoSystem> system);
void SetCommandTimeout(Clock::Duration timeout);
// Installs a fake clock for the layer and returns it.
std::shared_ptr<FakeClock> UseFakeClock();

// A virtual recorder by its target ID, for faults, the log and its disc.
vr::Recorder& Recorder(std::uint8_t target);

void InjectBusy(std::uint8_t target, int times, std::optional<std::uint8_t> opcode = {});
// ascq 01h: becoming ready; 08h: long write in progress.
void InjectNotReady(std::uint8_t target, std::uint8_t ascq, int times,
                    std::optional<std::uint8_t> opcode = {});
// asc 28h: medium may have changed; 29h: power on or reset.
void InjectUnitAttention(std::uint8_t target, std::uint8_t asc);
void InjectMediumError(std::uint8_t target, std::int64_t lba);
// The reads of one LBA answered with a sense: for `reads` reads, then it clears (0: it stays);
// READ(10) and READ CD alike unless an opcode is given.
void InjectReadFault(std::uint8_t target, std::int64_t lba, std::uint8_t key, std::uint8_t asc,
                     std::uint8_t ascq, int reads = 0, std::optional<std::uint8_t> opcode = {});
// `bytes` bytes of the sector damaged on the medium: correctable (at most 11, the drive repairs
// them in user data) or not (a run of at least 600). Reads with the EDC/ECC field see them.
void InjectDamage(std::uint8_t target, std::int64_t lba, int bytes, bool correctable);
void InjectHang(std::uint8_t target, int times, std::optional<std::uint8_t> opcode = {});
void RejectImmed(std::uint8_t target, bool reject);
// READ DISC INFORMATION of an open CD reports this lead-in start, as bytes M, S and F (any
// values); nullopt restores the disc's own.
void InjectLeadInStart(std::uint8_t target, std::optional<std::array<std::uint8_t, 3>> msf);
// Bytes per second the drive burns from its buffer; 0 writes at once.
void SetDrainSpeed(std::uint8_t target, std::uint64_t bytesPerSecond);
inline constexpr std::uint64_t kCd1x = 176400;
inline constexpr std::uint64_t kDvd1x = 1385000;

std::vector<CdbRecord> CdbLog(std::uint8_t target);
void ClearCdbLog(std::uint8_t target);

}  // namespace platform::aspi::testing
