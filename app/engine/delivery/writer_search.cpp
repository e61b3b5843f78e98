#include "app/engine/delivery/writer_search.h"

#include <array>
#include <exception>
#include <memory>
#include <mutex>

#include "app/engine/delivery/burn_callback.h"
#include "app/engine/log.h"
#include "halvorin.h"
#include "platform/debug/debug.h"
#include "platform/shell/job_thread.h"

namespace {

constexpr std::int32_t kCdvdDeviceType = 5;

struct TWriterTable {
  std::mutex mutex;
  std::vector<std::string> names;
  std::array<TWriterAddress, kMaxWriters> addresses{};
  std::mutex threadMutex;
  std::unique_ptr<platform::shell::JobThread> thread;
  // The search thread ends before the lists it fills.
  ~TWriterTable() { thread.reset(); }
};

TWriterTable& Table() {
  static TWriterTable table;
  return table;
}

void Trace(const char* text) {
  const std::string line = TraceModuleName() + ":" + text + "\n";
  platform::debug::OutputDebugString(line.c_str());
}

}  // namespace

std::vector<std::string> WriterNames() {
  std::lock_guard lock(Table().mutex);
  return Table().names;
}

std::vector<TWriterAddress> WriterAddresses() {
  TWriterTable& t = Table();
  std::lock_guard lock(t.mutex);
  return {t.addresses.begin(), t.addresses.begin() + t.names.size()};
}

bool AddWriter(const std::string& caption, const TWriterAddress& address) {
  TWriterTable& t = Table();
  std::lock_guard lock(t.mutex);
  if (t.names.size() >= kMaxWriters) return false;
  t.addresses[t.names.size()] = address;
  t.names.push_back(caption);
  return true;
}

void FindDeviceCallback(std::uint32_t reason, void*, void* first, void*) {
  if (reason != HALVORIN_CALLBACK_REASON_DEVICE_FOUND || !first) return;
  const auto* device = static_cast<const HALVORIN_DEVICE_ADDRESS*>(first);
  const TWriterAddress address{device->m__UCHAR__HostAdapter, device->m__UCHAR__Bus,
                               device->m__UCHAR__TargetID, device->m__UCHAR__LUN};
  void* burner = nullptr;
  char text[1024] = {};
  std::uint32_t systemError = 0;
  CDB_FAILURE_INFORMATION failure{};
  const HALVORIN_STATUS s = Halvorin_CdvdBurnerGrabber_Create(
      &burner, text, sizeof text, &systemError, &failure, &SamplesCallback, nullptr,
      device->m__UCHAR__HostAdapter, device->m__UCHAR__Bus, device->m__UCHAR__TargetID,
      device->m__UCHAR__LUN, 0);
  Trace("Finding device");
  if (s != 0 || !burner) {
    Trace("Error here");
    return;
  }
  char vendor[1024] = {}, product[1024] = {}, revision[1024] = {};
  std::uint32_t bufferSize = 0;
  Halvorin_CdvdBurnerGrabber_GetDeviceInformation(burner, vendor, product, revision, &bufferSize);
  std::uint8_t r[6] = {}, writeCdr = 0, writeCdrw = 0, writeDvdr = 0, writeDvdram = 0;
  Halvorin_CdvdBurnerGrabber_GetSupportedMediaFormats(burner, &r[0], &r[1], &r[2], &r[3], &r[4],
                                                      &r[5], &writeCdr, &writeCdrw, &writeDvdr,
                                                      &writeDvdram);
  std::uint8_t plusRw = 0, plusR = 0, writePlusRw = 0, writePlusR = 0;
  Halvorin_CdvdBurnerGrabber_GetSupportedMediaFormatsEx(burner, &plusRw, &plusR, &writePlusRw,
                                                        &writePlusR);
  if (writeCdr || writeCdrw || writeDvdr || writeDvdram || writePlusRw || writePlusR)
    AddWriter(std::string(" ") + vendor + " " + product + " " + revision, address);
  Trace("Closeing device");
  Halvorin_Destroy(&burner);
}

std::uint32_t FindDevicesThreadProc() {
  Trace("Finding Devices");
  try {
    Halvorin_FindDevice(kCdvdDeviceType, 0, &FindDeviceCallback, nullptr);
  } catch (...) {
    LogDevice("Error happenes when finding SCSI device!");
  }
  Trace("Quiting Finding Devices");
  return 0;
}

void StartWriterSearch(int priorityIndex) {
  TWriterTable& t = Table();
  std::lock_guard lock(t.threadMutex);
  if (t.thread) return;
  t.thread = std::make_unique<platform::shell::JobThread>([] { FindDevicesThreadProc(); });
  std::string error;
  if (!t.thread->SetPriority(priorityIndex, &error))
    LogDebug("The writer search keeps its priority: " + error);
  t.thread->Resume();
}

void JoinWriterSearch() {
  TWriterTable& t = Table();
  std::lock_guard lock(t.threadMutex);
  if (t.thread) t.thread->Join();
}
