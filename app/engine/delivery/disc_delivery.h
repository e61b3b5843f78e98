// Delivery of a backup's archive volumes to CD/DVD discs, one disc per volume, written
// track-at-once through the recording library's exports.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "halvorin.h"

class TProject;
class TGlobalSetting;

// The burner object while a volume is written, else null.
extern std::atomic<void*> BurnerHandle;

// The write speed in KB/s for a project's SpeedIndex; the drive's maximum outside the table.
std::uint32_t SpeedForIndex(std::int32_t speedIndex);

// True when the inserted disc is blank and has room; the disc type goes to `discType`
// (unknown when the drive could not be opened).
bool TestDiscInDrive(std::int32_t port, std::int32_t bus, std::int32_t target, std::int32_t lun,
                     DISC_TYPE& discType);

bool BurnVolume(std::int32_t port, std::int32_t bus, std::int32_t target, std::int32_t lun,
                const std::string& volumePath, const std::string& label, std::uint32_t speed,
                bool erase);

// Counts and reports the library's events while a volume is written; cancels the write when the
// user breaks the job.
void BurnProgressCallback(std::uint32_t reason, void* context, void* first, void* second);

// Burns one disc per volume on the project's writer. True only when every volume was burnt.
bool BurnVolumesToDisc(const std::vector<std::string>& volumeNames, const TProject& project,
                       const TGlobalSetting& settings);
