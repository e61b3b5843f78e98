// DVD-Video bridge images of a VIDEO_TS that dvdauthor made from an ffmpeg MPEG-2: the ISO9660
// part read by isoinfo, bsdtar and 7z, the UDF part by lsdvd and pycdlib, on an image file and
// burnt on a virtual DVD-R; the IFO patches and their refusals.
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "tests/lib/burner/burner_test_support.h"
#include "tests/lib/mastering/udf_test_support.h"

namespace udftest {
namespace {

namespace stdfs = std::filesystem;
namespace at = platform::aspi::testing;
using libtest::Media;

// One DVD made once for the whole suite.
class Dvd {
 public:
  static const Dvd& Get() {
    static const Dvd dvd;
    return dvd;
  }
  std::string Folder() const { return dir_.P("dvd"); }
  std::string VideoTs() const { return dir_.P("dvd/VIDEO_TS"); }

 private:
  Dvd() {
    std::string out;
    const std::string mpg = dir_.P("title.mpg");
    EXPECT_EQ(RunCommand("ffmpeg -v error -y -f lavfi -i testsrc=duration=1:size=720x576:rate=25 "
                         "-f lavfi -i anullsrc=r=48000:cl=stereo -t 1 -target pal-dvd " +
                             mpg,
                         &out),
              0)
        << out;
    EXPECT_EQ(RunCommand("VIDEO_FORMAT=PAL dvdauthor -o " + Folder() + " -t " + mpg +
                             " && VIDEO_FORMAT=PAL dvdauthor -o " + Folder() + " -T",
                         &out),
              0)
        << out;
    stdfs::create_directories(dir_.P("dvd/AUDIO_TS"));
  }
  TempDir dir_;
};

// The DVD's files in the order a player reads them: each set's IFO, its VOBs, its BUP.
const char* const kDvdFiles[] = {"VIDEO_TS.IFO", "VIDEO_TS.BUP", "VTS_01_0.IFO", "VTS_01_1.VOB",
                                 "VTS_01_0.BUP"};

struct Bridge {
  explicit Bridge(std::size_t capacity) : items(capacity), image(true) {}
  Items items;
  Image image;
  Item* root = nullptr;
  Item* video = nullptr;
  Item* audio = nullptr;
  std::map<std::string, Item*> files;

  // Root, VIDEO_TS with the DVD's files (and the extra files), AUDIO_TS.
  void Format(const std::string& videoTs, const std::vector<std::string>& extra = {}) {
    root = items.Next();
    video = items.Next();
    audio = items.Next();
    ASSERT_EQ(Halvorin_UDF_FormatTreeItemAsDirectory(root, 1, "", nullptr), 0u);
    ASSERT_EQ(Halvorin_UDF_FormatTreeItemAsDirectory(video, 2, "VIDEO_TS", root), 0u);
    ASSERT_EQ(Halvorin_UDF_FormatTreeItemAsDirectory(audio, 3, "AUDIO_TS", root), 0u);
    std::vector<std::string> names(std::begin(kDvdFiles), std::end(kDvdFiles));
    names.insert(names.end(), extra.begin(), extra.end());
    for (const std::string& name : names) {
      Item* item = items.Next();
      ASSERT_EQ(Halvorin_UDF_FormatTreeItemAsFile(item, items.Count(), name.c_str(),
                                                  Win(videoTs + "/" + name).c_str(), video),
                0u)
          << name;
      files[name] = item;
    }
  }
  ~Bridge() {
    image.Destroy(root);
    Halvorin_UDF_CleanUp(items.Data(), items.Count());
  }
};

class UdfBridge : public libtest::LibTest {
 protected:
  void SetUp() override {
    libtest::LibTest::SetUp();
    Halvorin_UpStart();
  }

  // The ISO9660 records of VIDEO_TS as isoinfo lists them: name -> (extent, size).
  std::map<std::string, std::pair<uint32_t, uint64_t>> VideoTsRecords(const std::string& iso) {
    std::string out;
    EXPECT_EQ(RunCommand("isoinfo -l -i " + iso, &out), 0) << out;
    std::map<std::string, std::pair<uint32_t, uint64_t>> records;
    const auto from = out.find("Directory listing of /VIDEO_TS/");
    EXPECT_NE(from, std::string::npos) << out;
    const std::regex line(R"((\d+) \w{3} [ \d]\d \d{4} \[\s*(\d+) 00\]\s+(\S+);1)");
    const std::string listing = out.substr(from);
    for (std::sregex_iterator m(listing.begin(), listing.end(), line), end; m != end; ++m)
      records[(*m)[3]] = {std::stoul((*m)[2]), std::stoull((*m)[1])};
    return records;
  }

  // What every reader of a bridge must find in it: the VIDEO_TS records at the UDF content,
  // the files extracted equal, no warning from 7z, the title for lsdvd, the UDF tree for
  // pycdlib, and a volume space that covers the whole image.
  void ExpectReadable(const std::string& iso, Bridge& b, const std::string& source) {
    const uint64_t sectors = b.image.Size() / 2048;
    const auto records = VideoTsRecords(iso);
    EXPECT_EQ(records.size(), b.files.size());
    for (const auto& [name, item] : b.files) {
      ASSERT_EQ(records.count(name), 1u) << name;
      const uint32_t extent = item->m__ULONGLONG__Size ? item->m__ULONG__ContentLocation + 262 : 0;
      EXPECT_EQ(records.at(name).first, extent) << name;
      EXPECT_EQ(records.at(name).second, item->m__ULONGLONG__Size) << name;
    }
    std::string out;
    const std::string x = dir.P("x-" + stdfs::path(iso).filename().string());
    stdfs::create_directories(x);
    ASSERT_EQ(RunCommand("bsdtar -xf " + iso + " -C " + x, &out), 0) << out;
    EXPECT_EQ(RunCommand("diff -r " + source + " " + x + "/VIDEO_TS", &out), 0) << out;
    ASSERT_EQ(RunCommand("7z l -tiso " + iso, &out), 0) << out;
    EXPECT_EQ(out.find("arning"), std::string::npos) << out;
    ASSERT_EQ(RunCommand("isoinfo -d -i " + iso, &out), 0) << out;
    EXPECT_NE(out.find("Volume size is: " + std::to_string(sectors) + "\n"), std::string::npos)
        << out;
  }

  // Where the root's record puts VIDEO_TS.
  uint32_t VideoTsExtent(const std::string& iso) {
    std::string out;
    EXPECT_EQ(RunCommand("isoinfo -l -i " + iso, &out), 0) << out;
    std::smatch m;
    EXPECT_TRUE(std::regex_search(out, m, std::regex(R"(\[\s*(\d+) 02\]\s+VIDEO_TS)"))) << out;
    return m.empty() ? 0 : static_cast<uint32_t>(std::stoul(m[1]));
  }

  void ExpectTitle(const std::string& iso, const std::string& label) {
    std::string out;
    ASSERT_EQ(RunCommand("lsdvd " + iso, &out), 0) << out;
    EXPECT_NE(out.find("Disc Title: " + label), std::string::npos) << out;
    EXPECT_NE(out.find("Title: 01, Length: 00:00:01"), std::string::npos) << out;
  }
};

TEST_F(UdfBridge, AnImageOfAVideoTsReadsBackThroughBothFileSystems) {
  const Dvd& dvd = Dvd::Get();
  Bridge b(16);
  b.Format(dvd.VideoTs());
  ASSERT_EQ(b.image.Create(b.root, b.video, b.audio, "DVDTEST"), 0u) << b.image.text;
  const std::string iso = dir.P("bridge.iso");
  ASSERT_EQ(b.image.Write(iso), 0u);
  ExpectReadable(iso, b, dvd.VideoTs());
  EXPECT_EQ(VideoTsExtent(iso), 260u);
  ExpectTitle(iso, "DVDTEST");
  std::string out;
  EXPECT_EQ(RunCommand(std::string(QUORVA_PYTHON) + " " + QUORVA_TEST_SOURCE_DIR +
                           "/lib/tools/udf_walk.py " + iso + " " + dvd.Folder(),
                       &out),
            0)
      << out;
}

TEST_F(UdfBridge, SixtyFilesAreListedWholeAndALongLabelIsCut) {
  const Dvd& dvd = Dvd::Get();
  const std::string videoTs = dir.P("VIDEO_TS");
  stdfs::copy(dvd.VideoTs(), videoTs);
  std::vector<std::string> extra;
  for (int i = 0; i < 55; ++i) {
    extra.push_back("EXTRA_" + std::to_string(10 + i) + ".DAT");
    WriteFile(videoTs + "/" + extra.back(), std::string(size_t(100 * i), 'e'));
  }
  Bridge b(70);
  b.Format(videoTs, extra);
  const std::string label = "A FORTY CHARACTER LABEL FOR THE DVD DISC";
  ASSERT_EQ(label.size(), 40u);
  ASSERT_EQ(b.image.Create(b.root, b.video, b.audio, label.c_str()), 0u) << b.image.text;
  const std::string iso = dir.P("sixty.iso");
  ASSERT_EQ(b.image.Write(iso), 0u);
  ExpectReadable(iso, b, videoTs);
  // Two sectors of records: the directory follows the files, inside the partition.
  uint32_t lastFile = 0;
  for (const auto& [name, item] : b.files)
    lastFile = std::max<uint32_t>(lastFile, item->m__ULONG__LastBlockUsed);
  EXPECT_EQ(VideoTsExtent(iso), lastFile + 1 + 262);
  std::string out;
  ASSERT_EQ(RunCommand("isoinfo -d -i " + iso, &out), 0) << out;
  // 32 characters, the last a blank (isoinfo drops it).
  EXPECT_NE(out.find("Volume id: " + label.substr(0, 31) + "\n"), std::string::npos) << out;
  ASSERT_EQ(RunCommand("udfinfo " + iso, &out), 0) << out;
  // The volume and file set identifiers hold 30 characters, the logical volume 126.
  EXPECT_NE(out.find("\nvid=" + label.substr(0, 30) + "\n"), std::string::npos) << out;
  EXPECT_NE(out.find("\nfsid=" + label.substr(0, 30) + "\n"), std::string::npos) << out;
  EXPECT_NE(out.find("\nlvid=" + label + "\n"), std::string::npos) << out;
}

TEST_F(UdfBridge, ALabelOutsideAsciiIsCutByCharactersForTheIso9660Part) {
  const Dvd& dvd = Dvd::Get();
  Bridge b(16);
  b.Format(dvd.VideoTs());
  const std::string label =
      "Les vid\xC3\xA9os de l'\xC3\xA9t\xC3\xA9 \xC3\xA0 Z\xC3\xBCrich, ann\xC3\xA9"
      "e deux mille";
  ASSERT_EQ(b.image.Create(b.root, b.video, b.audio, label.c_str()), 0u) << b.image.text;
  const std::string iso = dir.P("latin.iso");
  ASSERT_EQ(b.image.Write(iso), 0u);
  std::string out;
  ASSERT_EQ(RunCommand("isoinfo -d -i " + iso, &out), 0) << out;
  // 32 characters, one byte each: upper-cased, '_' for those outside ASCII.
  const std::string id = "LES VID_OS DE L'_T_ _ Z_RICH, AN";
  EXPECT_NE(out.find("Volume id: " + id + "\n"), std::string::npos) << out;
  EXPECT_NE(out.find("Volume set id: " + id), std::string::npos) << out;
  ASSERT_EQ(RunCommand("udfinfo " + iso, &out), 0) << out;
  EXPECT_NE(out.find("\nlvid=" + label + "\n"), std::string::npos) << out;
}

TEST_F(UdfBridge, BurntOnADvdRTheDiscReadsAsTheImage) {
  const Dvd& dvd = Dvd::Get();
  Devices({Media::DvdR});
  Bridge b(16);
  b.Format(dvd.VideoTs());
  ASSERT_EQ(b.image.Create(b.root, b.video, b.audio, "BURNT"), 0u) << b.image.text;
  void* burner = nullptr;
  char text[512] = {};
  uint32_t error = 0;
  CDB_FAILURE_INFORMATION failure{};
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_Create(&burner, text, sizeof text, &error, &failure, nullptr,
                                              nullptr, 0, 0, 0, 0, 0),
            0u)
      << text;
  ASSERT_EQ(
      Halvorin_CdvdBurnerGrabber_TrackAtOnceFromTree(burner, text, sizeof text, &error, &failure,
                                                     b.image.object.m__PVOID__Tree, 0, 0, 0, 0, 0),
      0u)
      << text;
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_CloseSession(burner, text, sizeof text, &error, &failure),
            0u)
      << text;
  // A DVD's table of contents ends where the ISO9660 volume space does: the whole image.
  auto toc = std::make_unique<TOC_INFORMATION>();
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_GetTOCInformation(burner, text, sizeof text, &error,
                                                         &failure, toc.get()),
            0u)
      << text;
  EXPECT_EQ(uint64_t(toc->m__TOC_TRACK_ENTRY__Tracks[0].m__LONG__EndLBA) + 1,
            b.image.Size() / 2048);
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_Eject(burner, text, sizeof text, &error, &failure), 0u);
  Halvorin_Destroy(&burner);
  const std::string iso = dir.P("home/VirtualRecorders/Recorder0/Recorder0-0001.iso");
  ASSERT_TRUE(stdfs::exists(iso));
  ExpectReadable(iso, b, dvd.VideoTs());
  ExpectTitle(iso, "BURNT");
}

TEST_F(UdfBridge, IfoPatchesReachTheImage) {
  const Dvd& dvd = Dvd::Get();
  Bridge b(16);
  b.Format(dvd.VideoTs());
  ASSERT_EQ(b.image.Create(b.root, b.video, b.audio, "PATCHED"), 0u) << b.image.text;
  Item* vmg = b.files["VIDEO_TS.IFO"];
  Item* vmgBackup = b.files["VIDEO_TS.BUP"];
  Item* vts = b.files["VTS_01_0.IFO"];
  Item* vtsBackup = b.files["VTS_01_0.BUP"];
  // Sectors relative to each set's IFO, as the layout placed the files.
  const uint32_t vmgIfoLast = vmg->m__ULONG__SizeInBlocks - 1;
  const uint32_t vmgLast = vmgBackup->m__ULONG__LastBlockUsed - vmg->m__ULONG__ContentLocation;
  const uint32_t vtsIfoLast = vts->m__ULONG__SizeInBlocks - 1;
  const uint32_t vtsLast = vtsBackup->m__ULONG__LastBlockUsed - vts->m__ULONG__ContentLocation;
  const uint32_t titleSet = vts->m__ULONG__ContentLocation - vmg->m__ULONG__ContentLocation;
  for (Item* item : {vmg, vmgBackup})
    EXPECT_EQ(Halvorin_UDF_PatchIfoHeader(item, vmgIfoLast, vmgLast), 0u);
  for (Item* item : {vts, vtsBackup})
    EXPECT_EQ(Halvorin_UDF_PatchIfoHeader(item, vtsIfoLast, vtsLast), 0u);
  for (Item* item : {vmg, vmgBackup}) EXPECT_EQ(Halvorin_UDF_PatchIfoTable(item, titleSet), 0u);

  const std::string iso = dir.P("patched.iso");
  ASSERT_EQ(b.image.Write(iso), 0u);
  auto be32 = [](const std::string& s, size_t at) {
    return uint32_t(uint8_t(s[at])) << 24 | uint32_t(uint8_t(s[at + 1])) << 16 |
           uint32_t(uint8_t(s[at + 2])) << 8 | uint8_t(s[at + 3]);
  };
  std::map<std::string, std::pair<uint32_t, uint32_t>> expected = {
      {"VIDEO_TS.IFO", {vmgLast, vmgIfoLast}},
      {"VIDEO_TS.BUP", {vmgLast, vmgIfoLast}},
      {"VTS_01_0.IFO", {vtsLast, vtsIfoLast}},
      {"VTS_01_0.BUP", {vtsLast, vtsIfoLast}}};
  std::string out;
  for (const auto& [name, fields] : expected) {
    ASSERT_EQ(
        RunCommand("isoinfo -i " + iso + " -x '/VIDEO_TS/" + name + ";1' > " + dir.P(name), &out),
        0)
        << out;
    const std::string content = ReadFile(dir.P(name));
    EXPECT_EQ(be32(content, 12), fields.first) << name;
    EXPECT_EQ(be32(content, 28), fields.second) << name;
    if (name.rfind("VIDEO_TS", 0) == 0) {
      const size_t table = size_t(be32(content, 196)) * 2048;
      const uint32_t titles = uint8_t(content[table]) << 8 | uint8_t(content[table + 1]);
      ASSERT_GT(titles, 0u);
      for (uint32_t t = 0; t < titles; ++t)
        EXPECT_EQ(be32(content, table + 8 + 12 * t + 8), titleSet) << name << " title " << t;
    }
  }
  ExpectTitle(iso, "PATCHED");
}

// IFO contents that no patch may touch, and the one that the table patch takes.
struct Refusal {
  const char* name;
  std::string (*content)();
  HALVORIN_STATUS header, table;
};

std::string Vmg(uint32_t tableSector, std::vector<uint8_t> sets, size_t size = 3 * 2048) {
  std::string c(size, '\0');
  std::memcpy(c.data(), "DVDVIDEO-VMG", 12);
  for (size_t i = 0; i < 4 && 196 + i < c.size(); ++i)
    c[196 + i] = static_cast<char>(tableSector >> (24 - 8 * i));
  const size_t table = size_t(tableSector) * 2048;
  if (tableSector && table + 2 <= c.size()) {
    c[table] = static_cast<char>(sets.size() >> 8);
    c[table + 1] = static_cast<char>(sets.size());
  }
  for (size_t t = 0; tableSector && t < sets.size() && table + 8 + 12 * t + 12 <= c.size(); ++t)
    c[table + 8 + 12 * t + 6] = static_cast<char>(sets[t]);
  return c;
}

// clang-format off
const Refusal kRefusals[] = {
    {"NoContentInMemory", [] { return std::string(); }, 2, 2},
    {"TooShortForByte32", [] { return std::string("DVDVIDEO-VMG0123456789"); }, 2, 2},
    {"TooShortForByte200", [] { return Vmg(0, {}, 100); }, 0, 2},
    {"WrongSignature", [] { std::string c = Vmg(1, {1}); c[9] = 'X'; return c; }, 2, 2},
    {"TitleSetIfo", [] { std::string c = Vmg(1, {1}); c[9] = 'V'; c[10] = 'T'; c[11] = 'S'; return c; }, 0, 2},
    {"TableSectorZero", [] { return Vmg(0, {1}); }, 0, 2},
    {"TablePastTheContent", [] { return Vmg(3, {1}); }, 0, 2},
    {"NoTitles", [] { return Vmg(1, {}); }, 0, 2},
    {"EntriesPastTheContent", [] { return Vmg(2, std::vector<uint8_t>(200, 1)); }, 0, 2},
    {"TwoTitleSets", [] { return Vmg(1, {1, 1, 2}); }, 0, 2},
    {"OneTitleSet", [] { return Vmg(1, {1, 1, 1}); }, 0, 0},
};
// clang-format on

class IfoRefusal : public UdfBridge, public ::testing::WithParamInterface<Refusal> {};

TEST_P(IfoRefusal, ChangesNothingUnlessThePatchFits) {
  const Refusal& c = GetParam();
  const std::string content = c.content();
  // Without content the file is not held in memory: a VOB.
  const std::string path = dir.P(content.empty() ? "X.VOB" : "X.IFO");
  WriteFile(path, content.empty() ? "vob" : content);
  Item item{};
  ASSERT_EQ(Halvorin_UDF_FormatTreeItemAsFile(&item, 1, stdfs::path(path).filename().c_str(),
                                              Win(path).c_str(), nullptr),
            0u);
  auto bytes = [&] {
    return item.m__PUCHAR__Content
               ? std::string(reinterpret_cast<char*>(item.m__PUCHAR__Content), content.size())
               : std::string();
  };
  const std::string before = bytes();
  EXPECT_EQ(Halvorin_UDF_PatchIfoTable(&item, 0x01020304), c.table);
  if (c.table != 0) {
    EXPECT_EQ(bytes(), before);
  } else {
    const std::string after = bytes();
    for (size_t t = 0; t < 3; ++t)
      EXPECT_EQ(after.substr(2048 + 8 + 12 * t + 8, 4), std::string("\x01\x02\x03\x04", 4));
  }
  const std::string beforeHeader = bytes();
  EXPECT_EQ(Halvorin_UDF_PatchIfoHeader(&item, 7, 9), c.header);
  if (c.header != 0) {
    EXPECT_EQ(bytes(), beforeHeader);
  }
  Halvorin_UDF_CleanUp(&item, 1);
}

INSTANTIATE_TEST_SUITE_P(Contents, IfoRefusal, ::testing::ValuesIn(kRefusals),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(UdfBridge, AVideoTsFileOfTwoGigabytesIsRefusedWith18) {
  const std::string videoTs = dir.P("big");
  stdfs::copy(Dvd::Get().VideoTs(), videoTs);
  stdfs::resize_file(videoTs + "/VTS_01_1.VOB", 0x80000000ull);  // sparse
  Bridge b(16);
  b.Format(videoTs);
  EXPECT_EQ(b.image.Create(b.root, b.video, b.audio, "BIG"), 18u);
  EXPECT_NE(std::string(b.image.text).find("file size 2147483648 is larger then limit 2147481600"),
            std::string::npos)
      << b.image.text;
}

}  // namespace
}  // namespace udftest
