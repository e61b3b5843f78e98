// The files of one virtual recorder in its image folder:
//   recorder            drive settings, tray and the number of the disc in it
//   recorder.lock       the lock that guards everything here between processes
//   disc-NNNN\state     the disc's sessions and tracks
//   disc-NNNN\sectors   its sectors, sparse: 2048 bytes per block on DVD, 2352 (raw) on CD
//   <name>-NNNN.iso     what an ejected disc left, with .bin/.cue for a CD
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/aspi/recorder/store/vr_recorder_lock.h"
#include "platform/aspi/recorder/store/vr_state_file.h"
#include "platform/aspi/recorder/vr_disc.h"
#include "platform/aspi/recorder/vr_drive_settings.h"
#include "platform/fs/fs.h"

namespace platform::aspi::vr {

struct SharedState {
  std::uint64_t generation = 0;
  std::uint32_t nextSerial = 1;  // the number the next fresh disc gets
  bool trayEmpty = false;
  DriveSettings settings;
  Disc disc;
};

class RecorderStore {
 public:
  RecorderStore(std::string folder, std::string name);

  const std::string& Folder() const { return folder_; }  // Windows form, trailing backslash
  std::string ImageBase(std::uint32_t serial) const;     // folder + "<name>-NNNN"
  std::string DiscFolder(std::uint32_t serial) const;

  // Takes the lock between processes for the length of one command.
  void Lock();
  void Unlock();

  // Under the lock: true when the state on disk changed since the last Load or Save (or was
  // never read), in which case `state` is replaced. A missing state leaves `fresh` in place and
  // saves it; so does an unreadable one, which is first kept aside (a disc's folder renamed
  // "disc-N.unreadable", a copy of the recorder's file) and reported on the debugger output.
  bool Load(SharedState& state, const std::function<SharedState()>& fresh);
  void Save(SharedState& state);

  // Sector file of the disc in the tray; reopened when the disc changes.
  void WriteSectors(const Disc& disc, std::int64_t lba, const std::uint8_t* data,
                    std::size_t count);
  // Reads stored sectors; holes and blocks beyond the end read as zeros.
  void ReadSectors(const Disc& disc, std::int64_t lba, std::uint8_t* data, std::size_t count);
  // Which of `count` blocks from `lba` were ever written (not holes).
  bool AnyStored(const Disc& disc, std::int64_t lba, std::size_t count);
  void DiscardSectors(const Disc& disc);  // blanking: the sector file goes
  // A DVD's sector file is already an .iso: it becomes one of `blocks` blocks without a copy.
  void MoveSectorsTo(const Disc& disc, const std::string& isoPath, std::int64_t blocks);
  // Removes the disc's folder after its image was exported.
  void RemoveDisc(std::uint32_t serial);
  // The highest serial the folder's images and disc folders use.
  std::uint32_t HighestSerialInUse() const;
  static std::size_t SectorSize(const Disc& disc) { return disc.IsCd() ? 2352 : 2048; }

 private:
  platform::fs::File& SectorFile(const Disc& disc);
  // Renames `path` to an unused "<path>.unreadable[-k]"; the new name, or empty on failure.
  std::string SetAside(const std::string& path) const;
  void Report(const std::string& what, const std::string& why, const std::string& keptAs) const;

  std::string folder_;
  std::string name_;
  StateFile recorderFile_;
  std::unique_ptr<RecorderLock> lock_;
  platform::fs::File sectors_;
  std::uint32_t sectorsSerial_ = 0;
  StateFile discState_;
  std::uint32_t discStateSerial_ = 0;
  DriveSettings settingsSaved_;
  std::optional<std::string> settingsText_;
  std::uint64_t seenGeneration_ = 0;
  bool loaded_ = false;
};

}  // namespace platform::aspi::vr
