// The multisession import over CD-ROMs pressed from arbitrary bytes: the input becomes the
// disc from sector 16 on (descriptors, then whatever the records point at), and the track is
// imported with ISO9660 and with Joliet names. Any status is fine; a crash, a leak or a hang
// is not.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "lib/api/halvorin.h"
#include "platform/aspi/testing.h"

namespace {

namespace at = platform::aspi::testing;

// No machine drive takes part.
class NoDevices : public platform::aspi::SgIoSystem {
 public:
  std::vector<platform::aspi::SgDeviceNode> ListDevices() override { return {}; }
  int Open(const std::string&) override { return -1; }
  int Close(int) override { return 0; }
  int SgIo(int, sg_io_hdr_t*) override { return -1; }
};

std::string g_folder;

void RemoveFolder() {
  std::error_code ec;
  std::filesystem::remove_all(g_folder, ec);
}

// A recorder whose tray holds a CD-ROM pressed from `fixture`.
const std::string& Setup() {
  static const std::string fixture = [] {
    std::string folder = (std::filesystem::temp_directory_path() / "import-fuzz-XXXXXX").string();
    if (!mkdtemp(folder.data())) std::abort();
    g_folder = folder;
    std::atexit(RemoveFolder);
    setenv("QUORVA_HOME", (folder + "/home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (folder + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (folder + "/data").c_str(), 1);
    const std::string iso = folder + "/disc.iso";
    std::ofstream(iso, std::ios::binary) << std::string(17 * 2048, '\0');
    at::UseSgIoSystem(std::make_shared<NoDevices>());
    at::RecorderConfig c;
    c.name = "Fuzz";
    c.media = platform::aspi::vr::Media::CdRom;
    c.fixture = "Z:" + iso;
    for (char& ch : c.fixture)
      if (ch == '/') ch = '\\';
    at::ConfigureRecorders({c});
    Halvorin_UpStart();
    return iso;
  }();
  return fixture;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& fixture = Setup();
  if (size > (1u << 20)) return 0;
  std::vector<char> disc((16 + (size + 2047) / 2048 + 1) * 2048, '\0');
  std::copy(data, data + size, disc.begin() + 16 * 2048);
  std::ofstream(fixture, std::ios::binary | std::ios::trunc)
      .write(disc.data(), static_cast<std::streamsize>(disc.size()));
  at::Recorder(0).RemoveDisc();
  at::Recorder(0).Eject();  // an empty tray takes the disc pressed anew

  char text[512];
  uint32_t error = 0;
  CDB_FAILURE_INFORMATION failure;
  void* burner = nullptr;
  if (Halvorin_CdvdBurnerGrabber_Create(&burner, text, sizeof text, &error, &failure, nullptr,
                                        nullptr, 0, 0, 0, 0, 1) != 0)
    return 0;
  for (uint8_t joliet : {uint8_t{0}, uint8_t{1}}) {
    void* tree = nullptr;
    if (Halvorin_ISO9660JolietFileTree_Create(&tree, text, sizeof text, &error, nullptr, nullptr, 0,
                                              0, 0, 1) == 0)
      Halvorin_ISO9660JolietFileTree_ImportTrack(burner, tree, 1, joliet, text, sizeof text,
                                                 &error);
    Halvorin_Destroy(&tree);
  }
  Halvorin_Destroy(&burner);
  return 0;
}
