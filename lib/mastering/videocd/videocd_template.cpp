#include "lib/mastering/videocd/videocd_template.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

constexpr std::uint32_t kSector = 2048;

// The XA attributes of a directory record's system use field.
constexpr std::uint16_t kXADirectory = 0x8D55;  // directory, Form 1, read/execute for all
constexpr std::uint16_t kXAForm1 = 0x0D55;
constexpr std::uint16_t kXAForm2 = 0x1555;
// SEARCH.DAT: the name, version, a reserved byte, the number of scan points, the interval.
constexpr std::uint32_t kSearchHeader = 13;

struct Entry {
  std::string name;  // "" for ".", "\1" for ".."
  std::uint32_t extent;
  std::uint32_t size;
  bool directory;
  std::uint16_t attributes;
};

struct Folder {
  std::string name;
  std::uint32_t sector;
  std::vector<Entry> files;  // in name order
};

class Image {
 public:
  Image() : bytes_(kHalvorinVideoCDTemplateSize, 0) {}
  std::uint8_t* At(std::uint32_t sector, std::uint32_t offset = 0) {
    return bytes_.data() + std::size_t{sector} * kSector + offset;
  }
  std::vector<std::uint8_t> Take() { return std::move(bytes_); }

 private:
  std::vector<std::uint8_t> bytes_;
};

void Le16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
void Be16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 8);
  p[1] = static_cast<std::uint8_t>(v);
}
void Le32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void Be32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * (3 - i)));
}
void Both16(std::uint8_t* p, std::uint32_t v) {
  Le16(p, v);
  Be16(p + 2, v);
}
void Both32(std::uint8_t* p, std::uint32_t v) {
  Le32(p, v);
  Be32(p + 4, v);
}
// A text field padded with spaces, as ISO 9660 wants its identifiers.
void Text(std::uint8_t* p, std::size_t length, const std::string& text) {
  std::memset(p, ' ', length);
  std::memcpy(p, text.data(), std::min(length, text.size()));
}

// One directory record with its 14-byte XA field; its length.
std::uint32_t Record(std::uint8_t* p, const Entry& e, bool xa) {
  const std::string id = e.name.empty() ? std::string(1, '\0') : e.name;
  const std::uint32_t nameLength = static_cast<std::uint32_t>(id.size());
  const std::uint32_t base = 33 + nameLength + (nameLength % 2 == 0 ? 1 : 0);
  const std::uint32_t length = base + (xa ? 14 : 0);
  p[0] = static_cast<std::uint8_t>(length);
  Both32(p + 2, e.extent);
  Both32(p + 10, e.size);
  const std::uint8_t date[7] = {100, 1, 1, 0, 0, 0, 0};  // 2000-01-01 00:00:00 GMT
  std::memcpy(p + 18, date, 7);
  p[25] = e.directory ? 0x02 : 0x00;
  Both16(p + 28, 1);
  p[32] = static_cast<std::uint8_t>(nameLength);
  std::memcpy(p + 33, id.data(), nameLength);
  if (xa) {
    std::uint8_t* x = p + base;  // group and user 0, attributes, "XA", file number 0
    Be16(x + 4, e.attributes);
    x[6] = 'X';
    x[7] = 'A';
  }
  return length;
}

void Directory(Image& image, const Folder& folder, std::uint32_t parent) {
  std::uint8_t* p = image.At(folder.sector);
  std::uint32_t at = 0;
  at += Record(p + at, {"", folder.sector, kSector, true, kXADirectory}, true);
  at += Record(p + at, {"\1", parent, kSector, true, kXADirectory}, true);
  for (const Entry& e : folder.files) at += Record(p + at, e, true);
}

}  // namespace

std::vector<std::uint8_t> HalvorinI_BuildVideoCDTemplate(bool p__BOOLEAN__IsSuper) {
  const bool s = p__BOOLEAN__IsSuper;
  Image image;
  // Sectors 16 and 17 the descriptors, 18 and 19 the path tables, then the folders: the MPEG
  // folder first (its first record is what the data track patches), then the others.
  const std::uint32_t root = s ? 21 : 20, mpeg = s ? 20 : 21;
  const std::uint32_t cdi = 22, ext = 23, segment = 24, vcd = 25;
  const std::string mpegName = s ? "MPEG2" : "MPEGAV", vcdName = s ? "SVCD" : "VCD";
  const std::string suffix = s ? ".SVD;1" : ".VCD;1";
  std::vector<Entry> vcdFiles = {
      {"ENTRIES" + suffix, kHalvorinVideoCDEntriesSector, kSector, false, kXAForm1},
      {"INFO" + suffix, kHalvorinVideoCDInfoSector, kSector, false, kXAForm1}};
  // A Super VideoCD holds the scan points of its search too: a header, no points.
  if (s) {
    vcdFiles.push_back(
        {"SEARCH.DAT;1", kHalvorinSuperVideoCDSearchSector, kSearchHeader, false, kXAForm1});
    vcdFiles.push_back(
        {"TRACKS.SVD;1", kHalvorinSuperVideoCDTracksSector, kSector, false, kXAForm1});
  }
  // Root entries in name order: CDI, EXT, MPEG2/MPEGAV, SEGMENT, SVCD/VCD.
  const std::vector<std::pair<std::string, std::uint32_t>> folders = {
      {"CDI", cdi}, {"EXT", ext}, {mpegName, mpeg}, {"SEGMENT", segment}, {vcdName, vcd}};
  Folder rootFolder{"", root, {}};
  for (const auto& [name, sector] : folders)
    rootFolder.files.push_back({name, sector, kSector, true, kXADirectory});
  Directory(image, rootFolder, root);
  const std::string mpegFile = s ? "AVSEQ01.MPG;1" : "AVSEQ01.DAT;1";
  Directory(image, {mpegName, mpeg, {{mpegFile, kHalvorinVideoCDMPEGTrackLBA, 0, false, kXAForm2}}},
            root);
  Directory(image, {"CDI", cdi, {}}, root);
  Directory(image, {"EXT", ext, {}}, root);
  Directory(image, {"SEGMENT", segment, {}}, root);
  Directory(image, {vcdName, vcd, vcdFiles}, root);

  // Path tables: the root, then its folders in name order, each with parent 1.
  std::vector<std::uint8_t> little, big;
  auto pathRecord = [&](const std::string& name, std::uint32_t sector) {
    const std::string id = name.empty() ? std::string(1, '\0') : name;
    for (std::vector<std::uint8_t>* table : {&little, &big}) {
      const std::size_t at = table->size();
      table->resize(at + 8 + id.size() + id.size() % 2, 0);
      std::uint8_t* p = table->data() + at;
      p[0] = static_cast<std::uint8_t>(id.size());
      if (table == &little) {
        Le32(p + 2, sector);
        Le16(p + 6, 1);
      } else {
        Be32(p + 2, sector);
        Be16(p + 6, 1);
      }
      std::memcpy(p + 8, id.data(), id.size());
    }
  };
  pathRecord("", root);
  for (const auto& [name, sector] : folders) pathRecord(name, sector);
  std::memcpy(image.At(18), little.data(), little.size());
  std::memcpy(image.At(19), big.data(), big.size());

  std::uint8_t* pvd = image.At(kHalvorinVideoCDPVDSector);
  pvd[0] = 1;
  std::memcpy(pvd + 1, "CD001", 5);
  pvd[6] = 1;
  Text(pvd + 8, 32, "CD-RTOS CD-BRIDGE");
  Text(pvd + 40, 32, s ? "SUPERVCD" : "VIDEOCD");
  Both32(pvd + 80, kHalvorinVideoCDTemplateSectors);
  Both16(pvd + 120, 1);
  Both16(pvd + 124, 1);
  Both16(pvd + 128, kSector);
  Both32(pvd + 132, static_cast<std::uint32_t>(little.size()));
  Le32(pvd + 140, 18);
  Be32(pvd + 148, 19);
  Record(pvd + 156, {"", root, kSector, true, 0}, false);
  Text(pvd + 190, 128, "");  // volume set: the label
  Text(pvd + 318, 128, "");
  Text(pvd + 446, 128, "");
  Text(pvd + 574, 128, "");
  Text(pvd + 702, 37, "");
  Text(pvd + 739, 37, "");
  Text(pvd + 776, 37, "");
  for (std::uint32_t at : {813u, 830u}) {
    std::memcpy(pvd + at, "2000010100000000", 16);
    pvd[at + 16] = 0;
  }
  for (std::uint32_t at : {847u, 864u}) std::memcpy(pvd + at, "0000000000000000", 16);
  pvd[881] = 1;
  std::memcpy(pvd + 1024, "CD-XA001", 8);
  std::uint8_t* terminator = image.At(17);
  terminator[0] = 255;
  std::memcpy(terminator + 1, "CD001", 5);
  terminator[6] = 1;

  // Disc information: the system's name and version, the album label (spaces until patched),
  // one volume of one.
  std::uint8_t* info = image.At(kHalvorinVideoCDInfoSector);
  std::memcpy(info, s ? "SUPERVCD" : "VIDEO_CD", 8);
  info[8] = s ? 1 : 2;
  Text(info + 10, 16, "");
  Be16(info + 26, 1);
  Be16(info + 28, 1);
  // Entry points: one, the start of the MPEG data of track 2. Both kinds name the file
  // "ENTRYVCD"; the version tells them apart.
  std::uint8_t* entries = image.At(kHalvorinVideoCDEntriesSector);
  std::memcpy(entries, "ENTRYVCD", 8);
  entries[8] = s ? 1 : 2;
  Be16(entries + 10, 1);
  entries[12] = 0x02;
  const std::uint32_t frames = kHalvorinVideoCDFirstMPEGLBA + 150;
  auto bcd = [](std::uint32_t v) { return static_cast<std::uint8_t>(v / 10 * 16 + v % 10); };
  entries[13] = bcd(frames / 4500);
  entries[14] = bcd(frames / 75 % 60);
  entries[15] = bcd(frames % 75);
  if (s) {
    // One track; its play time (minutes, seconds, frames in BCD) is patched from the MPEG size.
    std::uint8_t* tracks = image.At(kHalvorinSuperVideoCDTracksSector);
    std::memcpy(tracks, "TRACKSVD", 8);
    tracks[8] = 1;
    tracks[10] = 1;
    // Scan points every half second (interval 1), none listed.
    std::uint8_t* search = image.At(kHalvorinSuperVideoCDSearchSector);
    std::memcpy(search, "SEARCHSV", 8);
    search[8] = 1;
    Be16(search + 10, 0);
    search[12] = 1;
  }
  return image.Take();
}
