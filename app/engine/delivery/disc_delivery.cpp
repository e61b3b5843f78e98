#include "app/engine/delivery/disc_delivery.h"

#include <cinttypes>
#include <cstdio>
#include <stdexcept>
#include <string_view>

#include "app/engine/delivery/burn_callback.h"
#include "app/engine/log.h"
#include "app/engine/progress.h"
#include "app/engine/project/project.h"
#include "app/engine/user_interface.h"
#include "platform/debug/debug.h"

std::atomic<void*> BurnerHandle{nullptr};

namespace {

constexpr std::uint32_t kSpeeds[] = {0xFFFF, 176, 353, 387, 528, 706, 1400, 2800};
constexpr std::uint8_t kNextWritableTrack = 255;
constexpr std::uint32_t kBlockSize = 2048;

// Owns one library object and frees it with Halvorin_Destroy.
class THalvorinObject {
 public:
  THalvorinObject() = default;
  ~THalvorinObject() { Reset(); }
  THalvorinObject(const THalvorinObject&) = delete;
  THalvorinObject& operator=(const THalvorinObject&) = delete;
  void** Address() { return &handle_; }
  void* Get() const { return handle_; }
  void Reset() { Halvorin_Destroy(&handle_); }

 private:
  void* handle_ = nullptr;
};

// The caller-owned parts of the exported functions' prefix.
struct TCallFrame {
  char text[1024] = {};
  std::uint32_t systemError = 0;
  CDB_FAILURE_INFORMATION failure{};
};

struct ECreateError : std::runtime_error {
  ECreateError() : std::runtime_error("Create Error") {}
};

void Trace(const char* text) {
  const std::string line = TraceModuleName() + ":" + text + "\n";
  platform::debug::OutputDebugString(line.c_str());
}

void LogFailure(const char* format, HALVORIN_STATUS status, const TCallFrame& frame) {
  char line[1400];
  std::snprintf(line, sizeof line, format, static_cast<int>(status),
                static_cast<int>(frame.systemError), frame.text);
  LogDevice(line);
}

void Step(std::string_view text) {
  ProgressStatus = text;
  UserInterface()->SetStatusPanel(1, text);
  LogDevice(text);
}

bool IsRewritable(DISC_TYPE type) {
  switch (type) {
    case DISC_TYPE_CDRW:
    case DISC_TYPE_DVDRAM:
    case DISC_TYPE_DVDRW_RESTRICTED_OVERWRITE:
    case DISC_TYPE_DVDRW_SEQUENTIAL:
    case DISC_TYPE_DVDPLUSRW:
    case DISC_TYPE_DDCDRW:
      return true;
    default:
      return false;
  }
}

// A DVD+RW or DVD-RAM reports no free blocks before its first format, which the track write
// does itself.
bool FormattedByTheWrite(DISC_TYPE type, const TRACK_INFORMATION& info) {
  return (type == DISC_TYPE_DVDPLUSRW || type == DISC_TYPE_DVDRAM) &&
         info.m__ULONG__FreeBlocks == 0;
}

bool BlankWithRoom(DISC_TYPE type, const TRACK_INFORMATION& info) {
  return info.m__LONG__NextWritableAddress == 0 &&
         (info.m__ULONG__FreeBlocks != 0 || FormattedByTheWrite(type, info));
}

// i x 100 / n rounded to the nearest integer, halves to even.
int RoundedPercent(std::size_t i, std::size_t n) {
  const std::size_t q = i * 100 / n, r = i * 100 % n;
  if (2 * r > n || (2 * r == n && q % 2 == 1)) return static_cast<int>(q + 1);
  return static_cast<int>(q);
}

// The eject after a volume leaves a drive's tray open: it is closed before the disc laid in it
// is tested. A drive that cannot load its tray refuses, and is tested as it stands.
void LoadTray(std::int32_t port, std::int32_t bus, std::int32_t target, std::int32_t lun) {
  THalvorinObject burner;
  TCallFrame f;
  if (Halvorin_CdvdBurnerGrabber_Create(
          burner.Address(), f.text, sizeof f.text, &f.systemError, &f.failure,
          &BurnProgressCallback, nullptr, static_cast<std::uint8_t>(port),
          static_cast<std::uint8_t>(bus), static_cast<std::uint8_t>(target),
          static_cast<std::uint8_t>(lun), 0) == 0)
    Halvorin_CdvdBurnerGrabber_Load(burner.Get(), f.text, sizeof f.text, &f.systemError,
                                    &f.failure);
}

std::string VolumeLabel(std::size_t i, std::size_t n) {
  return n == 1 ? "QUORVABACKUP" : "QUORVABACKUP-" + std::to_string(i);
}

}  // namespace

std::uint32_t SpeedForIndex(std::int32_t speedIndex) {
  if (speedIndex < 0 || speedIndex >= static_cast<std::int32_t>(std::size(kSpeeds)))
    return kSpeeds[0];
  return kSpeeds[speedIndex];
}

void BurnProgressCallback(std::uint32_t reason, void* context, void* first, void* second) {
  ++SamplesCallbackCallsIn;
  // The user's break ends the track being written; the library answers it with status 14.
  if (ProgressCancelled)
    if (void* burner = BurnerHandle.load()) Halvorin_CdvdBurnerGrabber_Cancel(burner);
  char line[128];
  switch (reason) {
    case 0:
      if (context) ++*static_cast<std::int32_t*>(context);
      break;
    case 1:
      if (context) --*static_cast<std::int32_t*>(context);
      break;
    case 3:
      AnswerNameCollision(static_cast<HALVORIN_NAME_COLLISION_RECORD*>(first));
      break;
    case 4:
      LogDevice("Starting to analyze target file...");
      break;
    case 5:
      if (second) {
        std::snprintf(line, sizeof line, "Target file size in LBs %" PRId64,
                      *static_cast<const std::int64_t*>(second));
        LogDevice(line);
      }
      break;
    case 8:
      LogDevice("Starting to synchronize cache...");
      break;
    case 9:
      LogDevice("Synchronizing cache complete");
      break;
    case 12:
      if (first && second) {
        const std::int64_t size = *static_cast<const std::int64_t*>(first);
        if (size == 0) break;
        const std::int64_t percent = *static_cast<const std::int64_t*>(second) * 100 / size;
        if (LastWritePercent.exchange(percent) != percent) {
          ProgressPosition = static_cast<int>(percent);
          UserInterface()->StatusProgressSetPosition(static_cast<int>(percent));
        }
      }
      break;
    case 21:
      LogDevice("Starting to format disc...");
      break;
    case 22:
      LogDevice("Formatting complete");
      break;
    case 26:
      if (second) {
        std::snprintf(line, sizeof line, " DVD media padding size in LBs %d",
                      static_cast<int>(*static_cast<const std::int32_t*>(second)));
        LogDevice(line);
      }
      break;
    case 27:
      LogDevice("Starting to pad DVD media...");
      break;
    case 28:
      LogDevice("Padding DVD media complete");
      break;
    default:
      break;
  }
  ++SamplesCallbackCallsOut;
}

bool TestDiscInDrive(std::int32_t port, std::int32_t bus, std::int32_t target, std::int32_t lun,
                     DISC_TYPE& discType) {
  discType = DISC_TYPE_UNKNOWN;
  THalvorinObject burner;
  TCallFrame f;
  try {
    if (Halvorin_CdvdBurnerGrabber_Create(
            burner.Address(), f.text, sizeof f.text, &f.systemError, &f.failure,
            &BurnProgressCallback, nullptr, static_cast<std::uint8_t>(port),
            static_cast<std::uint8_t>(bus), static_cast<std::uint8_t>(target),
            static_cast<std::uint8_t>(lun), 0) != 0)
      throw std::runtime_error("Open CD/DVD Writer device error");
    discType = Halvorin_CdvdBurnerGrabber_GetInsertedDiscType(burner.Get());
    TRACK_INFORMATION info{};
    if (Halvorin_CdvdBurnerGrabber_GetTrackInformation(burner.Get(), f.text, sizeof f.text,
                                                       &f.systemError, &f.failure,
                                                       kNextWritableTrack, &info) != 0)
      throw std::runtime_error("Can not get track information");
    return BlankWithRoom(discType, info);
  } catch (const std::exception& e) {
    LogDevice(e.what());
    return false;
  }
}

bool BurnVolume(std::int32_t port, std::int32_t bus, std::int32_t target, std::int32_t lun,
                const std::string& volumePath, const std::string& label, std::uint32_t speed,
                bool erase) {
  THalvorinObject burner, tree;
  TCallFrame f;
  std::int32_t names = 0;
  // BurnerHandle is cleared before the object goes, so a cancel never reaches a freed one.
  auto release = [&] {
    BurnerHandle = nullptr;
    burner.Reset();
    tree.Reset();
  };
#define BURNER burner.Get(), f.text, sizeof f.text, &f.systemError, &f.failure
#define TREE tree.Get(), f.text, sizeof f.text, &f.systemError
  try {
    Step("Analyzing...");
    HALVORIN_STATUS s =
        Halvorin_ISO9660JolietFileTree_Create(tree.Address(), f.text, sizeof f.text, &f.systemError,
                                              &BurnProgressCallback, &names, 1, 0, 1, 1);
    if (s) {
      LogFailure("ISO9660 File Tree Create failed, exception %d, status %d, text \"%s\"", s, f);
      throw ECreateError();
    }
    void* root = Halvorin_ISO9660JolietFileTree_GetRoot(tree.Get());
    s = Halvorin_ISO9660JolietFileTree_Add(TREE, volumePath.c_str(), label.c_str(), 2, &root);
    if (s) {
      LogFailure("ISO9660 File Tree Add Item failed, exception %d, status %d, text \"%s\"", s, f);
      throw ECreateError();
    }
    const std::uint32_t level = Halvorin_ISO9660JolietFileTree_GetLevel(tree.Get());

    Step("Creating file system...");
    s = Halvorin_CdvdBurnerGrabber_Create(
        burner.Address(), f.text, sizeof f.text, &f.systemError, &f.failure, &BurnProgressCallback,
        nullptr, static_cast<std::uint8_t>(port), static_cast<std::uint8_t>(bus),
        static_cast<std::uint8_t>(target), static_cast<std::uint8_t>(lun), 0);
    if (s) {
      LogFailure("Init device failed, exception %d, status %d, text \"%s\"", s, f);
      throw ECreateError();
    }
    BurnerHandle = burner.Get();

    if (erase && (s = Halvorin_CdvdBurnerGrabber_Blank(BURNER, 0))) {
      LogFailure("Erase disc failed, exception %d, status %d, text \"%s\"", s, f);
      LogDevice("Trying to burn files...");
    }
    if ((s = Halvorin_CdvdBurnerGrabber_TestUnitReady(BURNER))) {
      LogFailure("Test unit ready failed, exception %d, status %d, text \"%s\"", s, f);
      throw ECreateError();
    }
    std::uint8_t enabled = 0, supported = 0;
    if ((s = Halvorin_CdvdBurnerGrabber_GetBUP(BURNER, &enabled, &supported))) {
      LogFailure(
          "Get BUF (Buffer Underrun Protection) failed, exception %d, status %d, text \"%s\"", s,
          f);
    } else if (supported && (s = Halvorin_CdvdBurnerGrabber_SetBUP(BURNER, 1))) {
      LogFailure(
          "Set BUF (Buffer Underrun Protection ) failed, exception %d, status %d, text \"%s\"", s,
          f);
    }
    Halvorin_CdvdBurnerGrabber_SetSpeeds(BURNER, speed, speed);

    // Without the next writable address the image cannot be laid out.
    TRACK_INFORMATION info{};
    if ((s = Halvorin_CdvdBurnerGrabber_GetTrackInformation(BURNER, kNextWritableTrack, &info))) {
      LogFailure("Get track information failed, exception %d, status %d, text \"%s\"", s, f);
      throw ECreateError();
    }
    const DISC_TYPE type = Halvorin_CdvdBurnerGrabber_GetInsertedDiscType(burner.Get());
    // A disc blanked here is tested again as the prompt tested it.
    if (erase && !BlankWithRoom(type, info)) {
      LogDevice("Disc is not blank or device is not ready");
      throw ECreateError();
    }
    s = Halvorin_ISO9660JolietFileTree_BuildImage(TREE, info.m__LONG__NextWritableAddress, level, 1,
                                                  label.c_str(), "QB.exe", "QB.exe");
    if (s) {
      LogFailure("Build file system image failed, exception %d, status %d, text \"%s\"", s, f);
      throw ECreateError();
    }
    std::uint32_t high = 0;
    const std::uint32_t low = Halvorin_ISO9660JolietFileTree_GetSizeInUCHARs(tree.Get(), &high);
    const std::uint64_t blocks = ((std::uint64_t{high} << 32 | low) + kBlockSize - 1) / kBlockSize;
    // An unformatted disc is measured by the track write once it has formatted it.
    if (!FormattedByTheWrite(type, info) && blocks > info.m__ULONG__FreeBlocks) {
      char line[160];
      std::snprintf(line, sizeof line,
                    "The image needs %" PRIu64 " blocks, the disc has %" PRIu32 " free", blocks,
                    info.m__ULONG__FreeBlocks);
      LogDevice(line);
      throw ECreateError();
    }

    if ((s = Halvorin_CdvdBurnerGrabber_SendOPC(BURNER)))
      LogFailure("Send OPC failed, exception %d, status %d, text \"%s\"", s, f);
    LogDevice("Writing the stuff to the CD/DVD disc...");

    Step("Burning to disc...");
    LastWritePercent = 0;
    if ((s = Halvorin_CdvdBurnerGrabber_TrackAtOnceFromTree(BURNER, tree.Get(), 1, 0, 0, 1, 5))) {
      LogFailure("Burning data failed, exception %d, status %d, text \"%s\"", s, f);
      throw ECreateError();
    }

    LogDevice("Closing session... ");
    ProgressStatus = "Close session";
    UserInterface()->SetStatusPanel(1, "Close session");
    Halvorin_CdvdBurnerGrabber_CloseSession(BURNER);
    Halvorin_CdvdBurnerGrabber_Eject(BURNER);
    release();
    return true;
  } catch (const std::exception&) {
    LogDevice("Error happens... ");
    release();
    return false;
  }
#undef BURNER
#undef TREE
}

bool BurnVolumesToDisc(const std::vector<std::string>& volumeNames, const TProject& project,
                       const TGlobalSetting&) {
  const std::int32_t port = project.WriterPort, bus = project.WriterBus,
                     target = project.WriterTargetID, lun = project.WriterLUN;
  const std::uint32_t speed = SpeedForIndex(project.SpeedIndex);
  const bool erase = project.EraseDisc;
  Trace("Burn file");
  bool allBurnt = !volumeNames.empty();
  bool ejected = false;
  try {
    ProgressCaption = "Burning Files ... ";
    ProgressPosition = 0;
    const auto ui = UserInterface();
    const std::size_t n = volumeNames.size();
    for (std::size_t i = 1; i <= n; ++i) {
      const std::string question =
          "Insert a BLANK disc into the writer device and start to burn backed up data of "
          "Volume " +
          std::to_string(i) + "/Total " + std::to_string(n) +
          " discs\rClick YES to continue burning.\rClick NO to skip current volume. \rClick "
          "CANCEL to Abort this operation.";
      bool burn = false, retry = false;
      for (;;) {
        const TModalResult answer = ui->AskInsertBlankDisc(question, "Start to burn", retry);
        if (answer == TModalResult::No) break;
        if (answer == TModalResult::Cancel) {
          LogDevice("Cancel Burning");
          throw std::runtime_error("cancelled");
        }
        if (answer != TModalResult::Yes) continue;
        retry = true;
        DISC_TYPE type = DISC_TYPE_UNKNOWN;
        if (ejected) LoadTray(port, bus, target, lun);
        // A rewritable disc with data is taken when it is to be erased: BurnVolume blanks it.
        if (!TestDiscInDrive(port, bus, target, lun, type) && !(erase && IsRewritable(type))) {
          ui->MessageBox("Disc is not blank or device is not ready", "Drive tests error",
                         TMessageButtons::Ok, TMessageKind::Error);
          continue;
        }
        if (type == DISC_TYPE_UNKNOWN || type == DISC_TYPE_CDROM) {
          ui->MessageBox("Disc is not writable", "Disc tests error", TMessageButtons::Ok,
                         TMessageKind::Error);
          continue;
        }
        burn = true;
        break;
      }
      if (!burn) {
        allBurnt = false;
        continue;
      }
      ProgressStatus = "Burning volume " + std::to_string(i) + " to disc";
      const bool burnt =
          BurnVolume(port, bus, target, lun, volumeNames[i - 1], VolumeLabel(i, n), speed, erase);
      ProgressPosition = RoundedPercent(i, n);
      if (!burnt) throw std::runtime_error("volume failed");
      ejected = true;
    }
  } catch (const std::exception&) {
    LogDevice("Burning error");
    allBurnt = false;
  }
  Trace("Quiting Burn Files");
  return allBurnt;
}
