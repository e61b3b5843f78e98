// The virtual recorder's stored state and its command decoder. The input is a target byte
// (which of three recorders: CD-R, DVD-R, DVD+RW), a disc state text up to the first NUL, the
// drive settings of the recorder's own file up to the next NUL (none: the defaults), then
// commands (fuzz/scsi_command_stream.h). Both are laid in that recorder's folder as if an
// earlier process had left them, then the commands run. After every command a state the
// recorder wrote must read back (one it cannot read loses the disc), and a state must print as
// it was parsed.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "fuzz/fuzz_support.h"
#include "fuzz/scsi_command_stream.h"
#include "platform/aspi/aspi.h"
#include "platform/aspi/recorder/vr_disc.h"
#include "platform/aspi/recorder/vr_drive_settings.h"
#include "platform/aspi/testing.h"

namespace fsys = std::filesystem;
namespace at = platform::aspi::testing;
namespace vr = platform::aspi::vr;
namespace aspi = platform::aspi;

namespace {

constexpr vr::Media kMedia[3] = {vr::Media::CdR, vr::Media::DvdR, vr::Media::DvdPlusRw};
constexpr std::int64_t kMostExported = 4096;  // blocks an eject may export in a run

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string Folder(int target) {
  return fuzzing::ScratchFolder() + "/home/VirtualRecorders/Recorder" + std::to_string(target);
}

void Setup() {
  static const bool once = [] {
    fuzzing::UseScratchHome();
    at::UseFakeClock();
    std::vector<at::RecorderConfig> configs;
    for (int i = 0; i < 3; ++i) {
      at::RecorderConfig c;
      c.name = "Recorder" + std::to_string(i);
      c.media = kMedia[i];
      configs.push_back(c);
    }
    at::ConfigureRecorders(configs);
    return true;
  }();
  (void)once;
}

// The state file of the disc the recorder's own file names. A command that changes nothing
// leaves it as an earlier process wrote it: still the text laid there.
void ExpectReadableState(int target, const std::string& laid) {
  const std::string recorder = Slurp(Folder(target) + "/recorder");
  std::smatch m;
  if (!std::regex_search(recorder, m, std::regex("\ndisc ([0-9]+)\n"))) __builtin_trap();
  char name[32];
  std::snprintf(name, sizeof name, "/disc-%04lu/state", std::stoul(m[1]));
  std::string text = Slurp(Folder(target) + name);
  const bool isLaid = text == laid;
  while (text.size() >= 2 && text.back() == '\n' && text[text.size() - 2] == '\n') text.pop_back();
  std::string why;
  const auto disc = vr::Disc::Parse(text, &why);
  // One the recorder kept must read all the same; it need not be in the recorder's own form.
  if (!disc || (!isLaid && disc->Serialize() != text)) {
    std::fprintf(stderr, "state written that does not read back (%s):\n%s\n", why.c_str(),
                 text.c_str());
    if (disc) std::fprintf(stderr, "it reads as:\n%s\n", disc->Serialize().c_str());
    __builtin_trap();
  }
}

// The end of the farthest track a state's text names.
std::int64_t TracksEnd(const std::string& state) {
  std::istringstream in(state);
  std::int64_t end = 0;
  for (std::string line; std::getline(in, line);) {
    std::istringstream s(line);
    std::string key;
    long long number, session, start, written, reserved;
    if (s >> key && key == "track" && s >> number >> session >> start >> written >> reserved &&
        start >= 0 && written >= 0 && reserved >= 0 && start < (1LL << 40) &&
        written < (1LL << 40) && reserved < (1LL << 40))
      end = std::max<std::int64_t>(end, start + std::max(written, reserved));
  }
  return end;
}

// The serial a state's text names (its folder and the recorder's file say the same), else 1.
std::uint32_t SerialOf(const std::string& state) {
  std::smatch m;
  if (!std::regex_search(state, m, std::regex("(^|\n)serial ([0-9]{1,10})\n"))) return 1;
  const unsigned long long serial = std::stoull(m[2]);
  return serial >= 1 && serial <= vr::kMaxSerial ? static_cast<std::uint32_t>(serial) : 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Setup();
  if (size < 1) return 0;
  const int target = data[0] % 3;
  const auto* end = static_cast<const uint8_t*>(std::memchr(data + 1, 0, size - 1));
  const std::string state(reinterpret_cast<const char*>(data + 1),
                          end ? static_cast<size_t>(end - data - 1) : size - 1);
  size_t rest = end ? static_cast<size_t>(end - data + 1) : size;
  const auto* settingsEnd = static_cast<const uint8_t*>(std::memchr(data + rest, 0, size - rest));
  std::string settings(reinterpret_cast<const char*>(data + rest),
                       settingsEnd ? static_cast<size_t>(settingsEnd - data) - rest : size - rest);
  rest = settingsEnd ? static_cast<size_t>(settingsEnd - data + 1) : size;
  if (settings.empty()) settings = vr::DriveSettings::Default(kMedia[target]).Serialize();

  // A state that reads prints as what it read.
  if (const auto disc = vr::Disc::Parse(state)) {
    const auto again = vr::Disc::Parse(disc->Serialize());
    if (!again || again->Serialize() != disc->Serialize()) __builtin_trap();
  }
  // Not laid in the tray, judged from the text alone so that the reader under test decides
  // nothing here: a state that names an image file to press from, and one that a real disc
  // could hold but whose export on eject would take long. A state beyond any disc is laid in:
  // the recorder must refuse it.
  const std::int64_t reach = TracksEnd(state);
  if (state.find("fixture") != std::string::npos ||
      (reach > kMostExported && reach <= vr::kCdCapacity))
    return 0;
  const std::uint32_t serial = SerialOf(state);

  std::error_code ec;
  fsys::remove_all(Folder(target), ec);
  char discFolder[32];
  std::snprintf(discFolder, sizeof discFolder, "/disc-%04u", serial);
  fsys::create_directories(Folder(target) + discFolder);
  fuzzing::WriteFile(Folder(target) + discFolder + "/state", state.data(), state.size());
  const std::string recorder = "generation 1\ndisc " + std::to_string(serial) + "\nnext " +
                               std::to_string(serial + 1ull) + "\ntray-empty 0\n" + settings;
  fuzzing::WriteFile(Folder(target) + "/recorder", recorder.data(), recorder.size());
  at::Reload();

  std::vector<fuzzing::ScsiCommand> commands = {{{0, 0, 0, 0, 0, 0}, 0, 0, {}}};  // loads the state
  for (auto& c : fuzzing::DecodeCommands(data + rest, size - rest, 48)) commands.push_back(c);
  std::vector<std::uint8_t> buffer;
  for (const auto& c : commands) {
    aspi::SrbExecScsiCmd srb;
    srb.header.hostAdapter = 0;
    srb.target = static_cast<std::uint8_t>(target);
    buffer = c.direction == 2 ? c.out : std::vector<std::uint8_t>(c.length);
    srb.header.flags = c.direction == 1   ? aspi::SRB_DIR_IN
                       : c.direction == 2 ? aspi::SRB_DIR_OUT
                                          : 0;
    srb.data = buffer.empty() ? nullptr : buffer.data();
    srb.dataLength = static_cast<std::uint32_t>(buffer.size());
    srb.cdbLength = static_cast<std::uint8_t>(c.cdb.size());
    std::memcpy(srb.cdb, c.cdb.data(), c.cdb.size());
    aspi::SendASPI32Command(&srb.header);
    ExpectReadableState(target, state);
  }
  return 0;
}
