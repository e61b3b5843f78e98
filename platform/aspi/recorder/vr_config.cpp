#include "platform/aspi/recorder/vr_config.h"

#include "platform/aspi/adapter_registry.h"
#include "platform/registry/registry.h"
#include "platform/shell/shell.h"

namespace platform::aspi::vr {

namespace reg = platform::registry;

std::vector<RecorderConfig> LoadRecorderConfigs() {
  auto root = reg::Key::Open(reg::Hive::CurrentUser, kRecordersKey, false);
  unsigned count = 1;
  if (root)
    if (auto c = root->ReadDWord("Count")) count = std::min<unsigned>(*c, kMaxRecorders);
  std::vector<RecorderConfig> out;
  for (unsigned i = 0; i < count; ++i) {
    RecorderConfig c;
    std::optional<reg::Key> key;
    if (root)
      key = reg::Key::Open(reg::Hive::CurrentUser,
                           std::string(kRecordersKey) + "\\Recorder" + std::to_string(i), false);
    auto text = [&](const char* name, std::string& field) {
      if (key)
        if (auto v = key->ReadString(name); v && !v->empty()) field = *v;
    };
    c.name = "Recorder" + std::to_string(i);
    text("Name", c.name);
    text("Vendor", c.vendor);
    text("Product", c.product);
    text("Revision", c.revision);
    std::string media;
    text("Media", media);
    if (auto m = ParseMedia(media)) c.media = *m;
    text("ImageFolder", c.imageFolder);
    text("Fixture", c.fixture);
    if (key)
      if (auto v = key->ReadDWord("UnderrunPage")) c.underrunPage = *v != 0;
    if (c.imageFolder.empty())
      c.imageFolder = platform::shell::ProgramFolder() + "VirtualRecorders\\" + c.name + "\\";
    out.push_back(std::move(c));
  }
  return out;
}

void SaveRecorderConfigs(const std::vector<RecorderConfig>& recorders) {
  auto root = reg::Key::Open(reg::Hive::CurrentUser, kRecordersKey, true);
  if (!root) return;
  for (const auto& name : root->SubKeyNames()) root->DeleteSubKey(name);
  root->WriteDWord("Count", static_cast<std::uint32_t>(recorders.size()));
  for (size_t i = 0; i < recorders.size(); ++i) {
    const auto& c = recorders[i];
    auto key = reg::Key::Open(reg::Hive::CurrentUser,
                              std::string(kRecordersKey) + "\\Recorder" + std::to_string(i), true);
    if (!key) continue;
    if (!c.name.empty()) key->WriteString("Name", c.name);
    key->WriteString("Vendor", c.vendor);
    key->WriteString("Product", c.product);
    key->WriteString("Revision", c.revision);
    key->WriteString("Media", Traits(c.media).name);
    if (!c.imageFolder.empty()) key->WriteString("ImageFolder", c.imageFolder);
    if (!c.fixture.empty()) key->WriteString("Fixture", c.fixture);
    key->WriteDWord("UnderrunPage", c.underrunPage ? 1 : 0);
  }
}

std::vector<std::string> LoadIscsiUrls() {
  std::vector<std::string> urls;
  auto key = reg::Key::Open(reg::Hive::CurrentUser, kIscsiKey, false);
  if (!key) return urls;
  for (const auto& name : key->ValueNames())
    if (auto v = key->ReadString(name); v && v->rfind("iscsi://", 0) == 0) urls.push_back(*v);
  return urls;
}

void SaveIscsiUrls(const std::vector<std::string>& urls) {
  auto key = reg::Key::Open(reg::Hive::CurrentUser, kIscsiKey, true);
  if (!key) return;
  for (const auto& name : key->ValueNames()) key->DeleteValue(name);
  for (size_t i = 0; i < urls.size(); ++i) key->WriteString("Target" + std::to_string(i), urls[i]);
}

}  // namespace platform::aspi::vr

namespace platform::aspi {
std::vector<std::string> ConfiguredIscsiUrls() {
  return vr::LoadIscsiUrls();
}
}  // namespace platform::aspi
