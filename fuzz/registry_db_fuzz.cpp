// The registry database file from untrusted bytes (a damaged or foreign file in its place):
// keys are opened, walked and read, a value written and a subkey deleted as the program does.
// Each input is a new file at a new path, so the layer opens it afresh. Any result is fine; a
// crash, a leak or a hang is not.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "fuzz/fuzz_support.h"
#include "platform/registry/registry.h"

namespace fsys = std::filesystem;
using platform::registry::Hive;
using platform::registry::Key;

namespace {

void Walk(const Key& key, int depth) {
  for (const std::string& name : key.ValueNames()) {
    key.TypeOf(name);
    key.ReadString(name);
    key.ReadDWord(name);
    key.ReadBinary(name);
  }
  if (depth == 0) return;
  for (const std::string& name : key.SubKeyNames()) {
    const std::string path = key.Path() + "\\" + name;
    if (auto sub = Key::Open(key.GetHive(), path, false)) Walk(*sub, depth - 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static unsigned long round = 0;
  const std::string base = fuzzing::ScratchFolder();
  // Every input its own program folder: the layer keeps one connection per database path.
  const std::string home = base + "/registry-" + std::to_string(round++ % 2);
  std::error_code ec;
  fsys::remove_all(home, ec);
  fsys::create_directories(home);
  fuzzing::WriteFile(home + "/registry.sqlite", data, size);
  setenv("QUORVA_HOME", home.c_str(), 1);
  setenv("XDG_CONFIG_HOME", (base + "/config").c_str(), 1);

  for (Hive hive : {Hive::CurrentUser, Hive::LocalMachine})
    if (auto root = Key::Open(hive, "", false)) Walk(*root, 4);
  if (auto software = Key::Open(Hive::CurrentUser, "\\Software", false)) {
    const auto names = software->SubKeyNames();
    if (!names.empty()) software->DeleteSubKey(names.front());
  }
  if (auto key = Key::Open(Hive::CurrentUser, "\\Software\\Quorva\\Fuzz", true)) {
    key->WriteString("text", "value");
    key->WriteDWord("number", 7);
    key->DeleteValue("text");
  }
  // The run key's values mirror to autostart entries.
  if (auto run = Key::Open(Hive::CurrentUser, "\\Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                           false)) {
    for (const std::string& name : run->ValueNames()) run->ReadString(name);
  }
  return 0;
}
