// The multisession import over CD-ROMs pressed from arbitrary bytes: the input becomes the
// disc from sector 16 on (descriptors, then whatever the records point at), and the track is
// imported with ISO9660 and with Joliet names. Any status is fine; a crash, a leak or a hang
// is not. After an import that is taken, the next session is laid out behind the disc: each
// of its hierarchies must hold one record for every node, none named '.' or '..', and no
// record whose length byte does not tell where the next one starts.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "halvorin.h"
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

[[noreturn]] void Fail(const char* p__PCHAR__What) {
  std::fprintf(stderr, "import_track_fuzz: %s\n", p__PCHAR__What);
  std::abort();
}

std::uint32_t LE32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
         std::uint32_t(p[3]) << 24;
}

std::size_t CountNodes(void* tree, void* node) {
  std::size_t n = 0;
  for (void* k = Halvorin_ISO9660JolietFileTree_GetFirstKid(tree, node); k;
       k = Halvorin_ISO9660JolietFileTree_GetNextKid(tree, node, k))
    n += 1 + CountNodes(tree, k);
  return n;
}

// The records of a laid-out hierarchy under the directory at `extent`, each directory's
// sectors read once; the pieces of a file in several extents count as one record.
std::size_t CountRecords(const std::vector<std::uint8_t>& image, std::uint32_t start,
                         std::uint32_t extent, std::uint32_t size, int depth) {
  if (depth > 200) Fail("directories nested past the tree's depth");
  if (extent < start || (std::uint64_t(extent - start) * 2048 + size) > image.size() || size == 0 ||
      size % 2048 != 0)
    Fail("a directory outside the session");
  const std::uint8_t* d = image.data() + std::size_t(extent - start) * 2048;
  std::size_t records = 0;
  int index = 0;
  for (std::uint32_t pos = 0; pos < size;) {
    const std::uint32_t length = d[pos];
    if (length == 0) {  // padding to the sector's end, and nothing else
      for (std::uint32_t p = pos; p < (pos / 2048 + 1) * 2048; ++p)
        if (d[p]) Fail("bytes after a record of length 0");
      pos = (pos / 2048 + 1) * 2048;
      continue;
    }
    if (length < 34 || pos % 2048 + length > 2048) Fail("a record that does not fit its sector");
    const std::uint32_t n = d[pos + 32];
    if (33 + n > length) Fail("a name past its record's end");
    const std::uint8_t* r = d + pos;
    pos += length;
    if (index++ < 2) continue;
    // '.' and '..' as ISO9660 bytes or as UCS-2, with or without a version.
    std::string id(reinterpret_cast<const char*>(r + 33), n);
    id.erase(std::remove(id.begin(), id.end(), '\0'), id.end());
    if (id.size() > 2 && id.compare(id.size() - 2, 2, ";1") == 0) id.resize(id.size() - 2);
    if (id == "." || id == "..") Fail("a record named '.' or '..'");
    if (r[25] & 0x80) continue;  // a piece before the last of its file
    ++records;
    if (r[25] & 0x02) records += CountRecords(image, start, LE32(r + 2), LE32(r + 10), depth + 1);
  }
  return records;
}

// The next session after an import that was taken, checked record by record.
void CheckNextSession(void* tree, std::uint32_t start) {
  char text[512];
  uint32_t error = 0;
  if (Halvorin_ISO9660JolietFileTree_BuildImage(tree, text, sizeof text, &error,
                                                static_cast<int32_t>(start), 0, 0, "NEXT", nullptr,
                                                nullptr) != 0)
    return;  // a tree the layout refuses (too many folders) lays nothing out
  uint32_t high = 0;
  const uint32_t size = Halvorin_ISO9660JolietFileTree_GetSizeInUCHARs(tree, &high);
  if (high != 0 || size < 18 * 2048) Fail("a session of no descriptors");
  std::vector<std::uint8_t> image(size);
  if (Halvorin_ISO9660JolietFileTree_Read(tree, text, sizeof text, &error,
                                          static_cast<int32_t>(size), image.data()) != 0)
    Fail("a session that cannot be read");
  const std::size_t nodes = CountNodes(tree, Halvorin_ISO9660JolietFileTree_GetRoot(tree));
  for (std::uint32_t sector = 16; sector < 18; ++sector) {
    const std::uint8_t* v = image.data() + std::size_t(sector) * 2048;
    if (v[0] != 1 && v[0] != 2) Fail("no volume descriptor");
    if (CountRecords(image, start, LE32(v + 158), LE32(v + 166), 0) != nodes)
      Fail("a hierarchy that lost a record");
  }
}

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
                                              0, 0, 1) == 0 &&
        Halvorin_ISO9660JolietFileTree_ImportTrack(burner, tree, 1, joliet, text, sizeof text,
                                                   &error) == 0 &&
        Halvorin_ISO9660JolietFileTree_GetRoot(tree))
      CheckNextSession(tree, static_cast<std::uint32_t>(disc.size() / 2048));
    Halvorin_Destroy(&tree);
  }
  Halvorin_Destroy(&burner);
  return 0;
}
