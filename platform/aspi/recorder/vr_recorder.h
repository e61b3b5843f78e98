// One virtual recorder: a drive that answers MMC commands over its disc state and sector file,
// strict as a real drive, with faults on request and a log of every CDB.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/aspi/host_adapter.h"
#include "platform/aspi/recorder/store/vr_store.h"
#include "platform/aspi/recorder/vr_config.h"
#include "platform/aspi/recorder/vr_exchange.h"
#include "platform/aspi/recorder/vr_faults.h"

namespace platform::aspi::vr {

struct CdbRecord {
  std::vector<std::uint8_t> cdb;
  std::uint32_t dataLength = 0;
  DataDirection direction = DataDirection::None;
  std::uint8_t hostStatus = HASTAT_OK;
  std::uint8_t targetStatus = TARGET_GOOD;
  Sense sense;
};

// A WRITE(10) the drive took, its blocks as the host sent them.
struct SentWrite {
  std::int64_t lba = 0;
  std::uint32_t blocks = 0;
  std::vector<std::uint8_t> data;
};

// What a command handler works on, under the recorder's locks.
class Drive {
 public:
  Drive(const RecorderConfig& c, SharedState& s, RecorderStore& st, Clock& cl, Faults& f,
        DrainModel& d, bool& p, std::int64_t& t)
      : config(c), state(s), store(st), clock(cl), faults(f), drain(d), prevent(p), testNext(t) {}

  const RecorderConfig& config;
  SharedState& state;
  RecorderStore& store;
  Clock& clock;
  Faults& faults;
  DrainModel& drain;
  bool& prevent;
  std::int64_t& testNext;  // next address of a test write in progress, -1 when none
  bool dirty = false;      // the shared state changed and must be saved

  Disc& disc() { return state.disc; }
  WriteParameters& write() { return state.settings.write; }
  bool UnderrunProtected() const {
    return state.settings.write.UnderrunProtection() ||
           (config.underrunPage && state.settings.underrunPageEnabled);
  }
  // A command with Immed set, refused when the fault asks so.
  void Immed(bool set) const {
    if (set && faults.rejectImmed) InvalidFieldInCdb();
  }
  // The disc leaves as an image; the tray takes a fresh blank.
  void Eject();
  // Closes the tray; an empty one takes a fresh blank.
  void Load();
  Disc FreshDisc(std::uint32_t serial) const;
  // Test writes apply to the media that can simulate a write.
  bool TestWriting() {
    const Media m = disc().media;
    return write().TestWrite() &&
           (m == Media::CdR || m == Media::CdRw || m == Media::DvdR || m == Media::DvdRwSequential);
  }
};

class Recorder {
 public:
  explicit Recorder(RecorderConfig config);

  ScsiResult Execute(const ScsiCommand& command);
  // False while a hang is armed for the opcode or another thread's command runs: that command
  // waits on the layer's worker, so that a caller's shorter wait still sees it pending.
  bool AnswersAtOnce(std::uint8_t opcode);
  const RecorderConfig& Config() const { return config_; }

  // For tests and for the library's tests, each under the recorder's lock.
  void ChangeFaults(const std::function<void(Faults&)>& change);
  void SetDrainSpeed(std::uint64_t bytesPerSecond);
  int ProtectedUnderruns();
  std::vector<CdbRecord> CdbLog();
  void ClearCdbLog();
  Disc CurrentDisc();
  void InsertBlank(Media media);  // replaces the disc in the tray, as a user would
  void RemoveDisc();              // leaves the tray empty
  void Eject();
  void ExportIso(const std::string& isoPath);
  void ExportBinCue(const std::string& binPath, const std::string& cuePath);
  // Test-only: while on, every WRITE(10) that succeeds is kept as the host sent it (raw
  // sectors with their subchannel, lead-in packets), so that a test can check each sector
  // with a coder of its own. Off by default; held in memory until taken.
  void KeepSentWrites(bool keep);
  std::vector<SentWrite> TakeSentWrites();

 private:
  // Runs `body` with the store locked and the shared state current; saves what it changed.
  void Locked(const std::function<void(Drive&)>& body);
  SharedState Fresh() const;
  void Log(const ScsiCommand& command, const ScsiResult& result, const Sense& sense);

  std::mutex mutex_;
  RecorderConfig config_;
  RecorderStore store_;
  SharedState state_;
  Faults faults_;
  DrainModel drain_;
  bool prevent_ = false;
  std::int64_t testNext_ = -1;
  bool configChecked_ = false;
  bool keepSent_ = false;
  std::vector<SentWrite> sent_;
  // Kept without a heap block per command; CdbLog() hands out CdbRecords.
  struct LoggedCdb {
    std::array<std::uint8_t, 16> cdb;
    std::uint8_t cdbLength;
    std::uint8_t hostStatus;
    std::uint8_t targetStatus;
    DataDirection direction;
    std::uint32_t dataLength;
    Sense sense;
  };
  std::deque<LoggedCdb> log_;
};

}  // namespace platform::aspi::vr
