#include "platform/aspi/recorder/vr_recorder.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <utility>

#include "platform/aspi/recorder/commands/vr_commands.h"
#include "platform/aspi/recorder/vr_disc_reader.h"
#include "platform/aspi/recorder/vr_export.h"
#include "platform/aspi/recorder/vr_pressing.h"

namespace platform::aspi::vr {

namespace fs = platform::fs;

namespace {

enum Flags : unsigned {
  kNeedsMedium = 1,  // 2/3A/00 with an empty tray
  kMediaAccess = 2,  // refused while the drive is not ready or still writing its buffer
  kNoAttention = 4,  // never reports a unit attention
};

struct CommandInfo {
  std::uint8_t opcode;
  std::uint8_t cdbLength;
  unsigned flags;
  Handler handler;
};

constexpr std::array kCommands{
    CommandInfo{0x00, 6, kNeedsMedium | kMediaAccess, HandleTestUnitReady},
    CommandInfo{0x03, 6, kNoAttention, HandleRequestSense},
    CommandInfo{0x04, 6, kNeedsMedium | kMediaAccess, HandleFormatUnit},
    CommandInfo{0x12, 6, kNoAttention, HandleInquiry},
    CommandInfo{0x1B, 6, 0, HandleStartStopUnit},
    CommandInfo{0x1E, 6, 0, HandlePreventAllow},
    CommandInfo{0x23, 10, kNeedsMedium | kMediaAccess, HandleReadFormatCapacities},
    CommandInfo{0x25, 10, kNeedsMedium | kMediaAccess, HandleReadCapacity},
    CommandInfo{0x28, 10, kNeedsMedium | kMediaAccess, HandleRead10},
    CommandInfo{0x2A, 10, kNeedsMedium | kMediaAccess, HandleWrite10},
    CommandInfo{0x35, 10, kNeedsMedium | kMediaAccess, HandleSynchronizeCache},
    CommandInfo{0x43, 10, kNeedsMedium | kMediaAccess, HandleReadToc},
    CommandInfo{0x46, 10, kNoAttention, HandleGetConfiguration},
    CommandInfo{0x51, 10, kNeedsMedium | kMediaAccess, HandleReadDiscInformation},
    CommandInfo{0x52, 10, kNeedsMedium | kMediaAccess, HandleReadTrackInformation},
    CommandInfo{0x53, 10, kNeedsMedium | kMediaAccess, HandleReserveTrack},
    CommandInfo{0x54, 10, kNeedsMedium | kMediaAccess, HandleSendOpc},
    CommandInfo{0x55, 10, 0, HandleModeSelect10},
    CommandInfo{0x5A, 10, 0, HandleModeSense10},
    CommandInfo{0x5B, 10, kNeedsMedium | kMediaAccess, HandleCloseTrackSession},
    CommandInfo{0x5C, 10, 0, HandleReadBufferCapacity},
    CommandInfo{0x5D, 10, kNeedsMedium | kMediaAccess, HandleSendCueSheet},
    CommandInfo{0xA1, 12, kNeedsMedium | kMediaAccess, HandleBlank},
    CommandInfo{0xAD, 12, kNeedsMedium | kMediaAccess, HandleReadDvdStructure},
    CommandInfo{0xBB, 12, 0, HandleSetCdSpeed},
    CommandInfo{0xBE, 12, kNeedsMedium | kMediaAccess, HandleReadCd},
};

const CommandInfo* Lookup(std::uint8_t opcode) {
  for (const auto& c : kCommands)
    if (c.opcode == opcode) return &c;
  return nullptr;
}

constexpr std::size_t kMaxLog = 1u << 17;

}  // namespace

Disc Drive::FreshDisc(std::uint32_t serial) const {
  if (Traits(config.media).rom) return PressDisc(config.media, config.fixture, serial);
  return Disc::Blank(config.media, serial);
}

void Drive::Eject() {
  if (prevent) RemovalPrevented();
  Disc& d = disc();
  SpoilDiscAtOnce(*this);  // a disc-at-once write that stops here burnt a disc it never closed
  const bool holdsData = d.pressed == PressedImage::None && d.RecordedEnd() > 0;
  if (holdsData) {
    const std::string base = store.ImageBase(d.serial);
    if (d.IsCd()) {
      DiscReader reader(d, store);
      ExportIso(d, reader, base + ".iso");
      ExportBinCue(d, reader, base + ".bin", base + ".cue");
    } else {
      store.MoveSectorsTo(d, base + ".iso", d.RecordedEnd());
    }
  }
  // A disc that holds data, or a track reserved or opened and left without data, is taken out
  // for good: the next one laid in the tray is a fresh blank.
  const bool used = holdsData || (d.pressed == PressedImage::None && !d.tracks.empty());
  if (used) store.RemoveDisc(d.serial);
  // A cue sheet, and what its lead-in carried, is forgotten with the disc that took it.
  d.cueSheet.clear();
  d.saoNext = 0;
  d.cdText.clear();
  d.qMismatches = 0;
  if (used || state.trayEmpty || d.media != config.media) {
    if (state.nextSerial > kMaxSerial) {
      state.trayEmpty = true;  // every image number is taken
      drain.StopStreaming();
      dirty = true;
      return;
    }
    try {
      state.disc = FreshDisc(state.nextSerial++);
      state.trayEmpty = false;
    } catch (const std::runtime_error&) {
      state.trayEmpty = true;  // a pressed disc whose fixture is missing
    }
  }
  drain.StopStreaming();
  dirty = true;
}

void Drive::Load() {
  if (!state.trayEmpty) return;
  Eject();
}

Recorder::Recorder(RecorderConfig config)
    : config_(std::move(config)), store_(config_.imageFolder, config_.name) {}

SharedState Recorder::Fresh() const {
  SharedState s;
  const std::uint32_t serial = std::min(store_.HighestSerialInUse(), kMaxSerial - 1) + 1;
  s.nextSerial = serial + 1;
  s.settings = DriveSettings::Default(config_.media);
  try {
    s.disc = Traits(config_.media).rom ? PressDisc(config_.media, config_.fixture, serial)
                                       : Disc::Blank(config_.media, serial);
  } catch (const std::runtime_error&) {
    s.disc = Disc::Blank(config_.media, serial);
    s.trayEmpty = true;
  }
  return s;
}

void Recorder::Locked(const std::function<void(Drive&)>& body) {
  store_.Lock();
  struct Unlock {
    RecorderStore& s;
    ~Unlock() { s.Unlock(); }
  } unlock{store_};
  store_.Load(state_, [this] { return Fresh(); });
  auto clock = CurrentClock();
  Drive drive(config_, state_, store_, *clock, faults_, drain_, prevent_, testNext_);
  if (!configChecked_) {
    // A blank left in the tray under an earlier configuration gives way to the configured one.
    configChecked_ = true;
    const Disc& d = state_.disc;
    const bool untouched = d.pressed == PressedImage::None && d.tracks.empty() && !d.formatted;
    if (d.media != config_.media && (untouched || d.pressed != PressedImage::None)) {
      state_.trayEmpty = true;
      drive.Load();
    }
  }
  try {
    body(drive);
  } catch (...) {
    if (drive.dirty) store_.Save(state_);
    throw;
  }
  if (drive.dirty) store_.Save(state_);
}

ScsiResult Recorder::Execute(const ScsiCommand& command) {
  std::lock_guard lock(mutex_);
  Exchange x{command.cdb, command.data, command.direction};
  ScsiResult result;
  Sense sense;
  const std::uint8_t op = x.Opcode();
  const CommandInfo* info = Lookup(op);
  const bool exempt = !info || (info->flags & kNoAttention);
  auto clock = CurrentClock();
  if (faults_.busy.Take(op, !exempt)) {
    result.targetStatus = TARGET_BUSY;
  } else if (faults_.hang.Take(op, true)) {
    // The drive never answers: the command is aborted at its time-out.
    clock->SleepFor(command.deadline - clock->Now());
    result.hostStatus = HASTAT_TIMEOUT;
  } else {
    try {
      if (!info) InvalidOpcode();
      if (command.cdb.size() != info->cdbLength) InvalidFieldInCdb();
      if (!exempt && faults_.unitAttention) {
        const std::uint8_t asc = faults_.unitAttention;
        faults_.unitAttention = 0;
        Fail(6, asc, 0);
      }
      if (faults_.notReady.Take(op, (info->flags & kMediaAccess) != 0))
        Fail(2, 0x04, faults_.notReadyAscq);
      Locked([&](Drive& drive) {
        if ((info->flags & kNeedsMedium) && state_.trayEmpty) MediumNotPresent();
        if ((info->flags & kMediaAccess) && drain_.Flushing(clock->Now())) Fail(2, 0x04, 0x08);
        info->handler(drive, x);
      });
      result.transferred = x.transferred;
      if (x.overrun) result.hostStatus = HASTAT_DATA_OVERRUN;
    } catch (const SenseError& e) {
      sense = e.sense;
    } catch (const fs::FsError&) {
      // The image folder failed under the drive: a write error, as a drive reports its own.
      sense = command.direction == DataDirection::Out ? Sense{3, 0x0C, 0x00} : Sense{4, 0x44, 0x00};
    } catch (const std::runtime_error&) {
      sense = Sense{4, 0x44, 0x00};
    }
    if (sense.key || sense.asc) {
      result.targetStatus = TARGET_CHECK_CONDITION;
      result.sense = FixedSense(sense);
      result.senseLength = result.sense.size();
      result.transferred = 0;
    }
  }
  Log(command, result, sense);
  if (keepSent_ && op == 0x2A && result.targetStatus == TARGET_GOOD &&
      result.hostStatus == HASTAT_OK && command.cdb.size() >= 10)
    sent_.push_back({static_cast<std::int32_t>(x.U32(2)), x.U16(7),
                     std::vector<std::uint8_t>(command.data.begin(), command.data.end())});
  return result;
}

void Recorder::KeepSentWrites(bool keep) {
  std::lock_guard lock(mutex_);
  keepSent_ = keep;
  if (!keep) sent_.clear();
}

std::vector<SentWrite> Recorder::TakeSentWrites() {
  std::lock_guard lock(mutex_);
  return std::exchange(sent_, {});
}

bool Recorder::AnswersAtOnce(std::uint8_t opcode) {
  // Busy with another thread's command: this one queues on the worker as it always did.
  std::unique_lock lock(mutex_, std::try_to_lock);
  return lock.owns_lock() && !faults_.hang.Applies(opcode);
}

void Recorder::Log(const ScsiCommand& command, const ScsiResult& result, const Sense& sense) {
  LoggedCdb r{};
  r.cdbLength = static_cast<std::uint8_t>(std::min(command.cdb.size(), r.cdb.size()));
  std::copy_n(command.cdb.begin(), r.cdbLength, r.cdb.begin());
  r.dataLength = static_cast<std::uint32_t>(command.data.size());
  r.direction = command.direction;
  r.hostStatus = result.hostStatus;
  r.targetStatus = result.targetStatus;
  r.sense = sense;
  if (log_.size() >= kMaxLog) log_.pop_front();
  log_.push_back(r);
}

void Recorder::ChangeFaults(const std::function<void(Faults&)>& change) {
  std::lock_guard lock(mutex_);
  change(faults_);
}

void Recorder::SetDrainSpeed(std::uint64_t bytesPerSecond) {
  std::lock_guard lock(mutex_);
  drain_.SetSpeed(bytesPerSecond, CurrentClock()->Now());
}

int Recorder::ProtectedUnderruns() {
  std::lock_guard lock(mutex_);
  return drain_.ProtectedUnderruns();
}

std::vector<CdbRecord> Recorder::CdbLog() {
  std::lock_guard lock(mutex_);
  std::vector<CdbRecord> records;
  records.reserve(log_.size());
  for (const LoggedCdb& l : log_) {
    CdbRecord& r = records.emplace_back();
    r.cdb.assign(l.cdb.begin(), l.cdb.begin() + l.cdbLength);
    r.dataLength = l.dataLength;
    r.direction = l.direction;
    r.hostStatus = l.hostStatus;
    r.targetStatus = l.targetStatus;
    r.sense = l.sense;
  }
  return records;
}

void Recorder::ClearCdbLog() {
  std::lock_guard lock(mutex_);
  log_.clear();
}

Disc Recorder::CurrentDisc() {
  std::lock_guard lock(mutex_);
  Disc d;
  Locked([&](Drive& drive) { d = drive.disc(); });
  return d;
}

void Recorder::InsertBlank(Media media) {
  std::lock_guard lock(mutex_);
  Locked([&](Drive& drive) {
    if (drive.disc().pressed == PressedImage::None) store_.RemoveDisc(drive.disc().serial);
    state_.disc = Disc::Blank(media, state_.nextSerial++);
    state_.trayEmpty = false;
    drive.dirty = true;
  });
}

void Recorder::RemoveDisc() {
  std::lock_guard lock(mutex_);
  Locked([&](Drive& drive) {
    state_.trayEmpty = true;
    drive.dirty = true;
  });
}

void Recorder::Eject() {
  std::lock_guard lock(mutex_);
  Locked([&](Drive& drive) { drive.Eject(); });
}

void Recorder::ExportIso(const std::string& isoPath) {
  std::lock_guard lock(mutex_);
  Locked([&](Drive& drive) {
    DiscReader reader(drive.disc(), store_);
    vr::ExportIso(drive.disc(), reader, isoPath);
  });
}

void Recorder::ExportBinCue(const std::string& binPath, const std::string& cuePath) {
  std::lock_guard lock(mutex_);
  Locked([&](Drive& drive) {
    DiscReader reader(drive.disc(), store_);
    vr::ExportBinCue(drive.disc(), reader, binPath, cuePath);
  });
}

std::array<std::uint8_t, 18> FixedSense(const Sense& s) {
  std::array<std::uint8_t, 18> b{};
  b[0] = 0x70;
  b[2] = s.key & 0x0F;
  if (s.information) {
    b[0] |= 0x80;
    for (int i = 0; i < 4; ++i)
      b[3 + i] = static_cast<std::uint8_t>(*s.information >> (24 - 8 * i));
  }
  b[7] = 10;
  b[12] = s.asc;
  b[13] = s.ascq;
  return b;
}

}  // namespace platform::aspi::vr
