// Writes the seeds of the library's and the virtual recorder's fuzz targets, made by their own
// code: recorder states with the command streams that made them, pressed cue sheets, the
// answers the virtual recorder gives to the library's queries, disc images of the file tree,
// WAV data and coded sectors. Also the inputs that once broke a reader (regress-*). Usage:
// library_seeds <folder>; each target's seeds go to <folder>/<target>/.
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "fuzz/scsi_command_stream.h"
#include "halvorin.h"
#include "lib/api/export_frame.h"
#include "lib/core/burner/cdvd_burner_grabber.h"
#include "lib/core/grab/image_descriptor.h"
#include "lib/core/sector/cd_text.h"
#include "lib/core/sector/sector_encoder.h"
#include "lib/mastering/raw/iso9660_file_tree_lead_in.h"
#include "platform/aspi/aspi.h"
#include "platform/aspi/recorder/vr_disc.h"
#include "platform/aspi/recorder/vr_drive_settings.h"
#include "platform/aspi/testing.h"
#include "platform/fs/fs.h"

namespace fsys = std::filesystem;
namespace at = platform::aspi::testing;
namespace vr = platform::aspi::vr;
namespace aspi = platform::aspi;

namespace {

std::string g_out;

void Seed(const std::string& target, const std::string& name, const void* data, size_t size) {
  fsys::create_directories(g_out + "/" + target);
  fuzzing::WriteFile(g_out + "/" + target + "/" + name, data, size);
}
void Seed(const std::string& target, const std::string& name, const std::vector<uint8_t>& b) {
  Seed(target, name, b.data(), b.size());
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

class NoDevices : public aspi::SgIoSystem {
 public:
  std::vector<aspi::SgDeviceNode> ListDevices() override { return {}; }
  int Open(const std::string&) override { return -1; }
  int Close(int) override { return 0; }
  int SgIo(int, sg_io_hdr_t*) override { return -1; }
};

constexpr vr::Media kMedia[3] = {vr::Media::CdR, vr::Media::DvdR, vr::Media::DvdPlusRw};

std::string RecorderFolder(int target) {
  return fuzzing::ScratchFolder() + "/home/VirtualRecorders/Recorder" + std::to_string(target);
}

std::string CurrentState(int target) {
  std::smatch m;
  const std::string recorder = Slurp(RecorderFolder(target) + "/recorder");
  if (!std::regex_search(recorder, m, std::regex("\ndisc ([0-9]+)\n"))) return {};
  char name[32];
  std::snprintf(name, sizeof name, "/disc-%04lu/state", std::stoul(m[1]));
  std::string text = Slurp(RecorderFolder(target) + name);
  while (text.size() >= 2 && text.back() == '\n' && text[text.size() - 2] == '\n') text.pop_back();
  return text;
}

struct Reply {
  bool good = false;
  std::vector<uint8_t> data;
};

// Commands sent to one recorder and kept, in the stream form of the recorder's fuzz target.
class Session {
 public:
  explicit Session(int target) : target_(target) {}

  Reply Send(std::vector<uint8_t> cdb, uint16_t in = 0, std::vector<uint8_t> out = {}) {
    fuzzing::ScsiCommand c;
    c.cdb = cdb;
    c.direction = out.empty() ? (in ? 1 : 0) : 2;
    c.length = out.empty() ? in : static_cast<uint16_t>(out.size());
    c.out = out;
    fuzzing::EncodeCommand(c, stream_);
    aspi::SrbExecScsiCmd srb;
    srb.target = static_cast<uint8_t>(target_);
    std::vector<uint8_t> buffer = out.empty() ? std::vector<uint8_t>(in) : out;
    srb.header.flags = c.direction == 1   ? aspi::SRB_DIR_IN
                       : c.direction == 2 ? aspi::SRB_DIR_OUT
                                          : 0;
    srb.data = buffer.empty() ? nullptr : buffer.data();
    srb.dataLength = static_cast<uint32_t>(buffer.size());
    srb.cdbLength = static_cast<uint8_t>(cdb.size());
    std::memcpy(srb.cdb, cdb.data(), cdb.size());
    Reply r;
    r.good = aspi::SendASPI32Command(&srb.header) == aspi::SS_COMP;
    r.data = buffer;
    return r;
  }

  // Track-at-once of `blocks` blocks as the library sends it (CD: Mode 1, DVD: reserved).
  void TrackAtOnce(uint32_t blocks, bool multiSession) {
    Send({0x00, 0, 0, 0, 0, 0});
    const bool dvdR = kMedia[target_] == vr::Media::DvdR;
    const bool plusRw = kMedia[target_] == vr::Media::DvdPlusRw;
    Reply sense = Send({0x5A, 0x08, 0x05, 0, 0, 0, 0, 0x10, 0x00, 0}, 4096);
    if (sense.good) {
      std::vector<uint8_t> page(sense.data.begin(), sense.data.begin() + 8 + 2 + sense.data[9]);
      std::fill(page.begin(), page.begin() + 8, 0);
      uint8_t* p = page.data() + 8;
      p[0] = 0x05;
      p[2] = dvdR ? 0x22 : 0x01;
      p[3] = static_cast<uint8_t>((dvdR ? 5 : 4) | (multiSession ? 0xC0 : 0));
      p[4] = 8;
      p[5] = dvdR ? 16 : 0;
      const auto n = static_cast<uint8_t>(page.size());
      Send({0x55, 0x10, 0, 0, 0, 0, 0, 0, n, 0}, 0, page);
    }
    uint32_t nwa = 0;
    if (plusRw) {
      Send({0x04, 0x11, 0, 0, 0, 0}, 0,
           {0x00, 0x82, 0x00, 0x08, 0xFF, 0xFF, 0xFF, 0xFF, 0x98, 0x00, 0x00, 0x00});
    } else {
      Reply t = Send({0x52, 0x01, 0, 0, 0, dvdR ? uint8_t{1} : uint8_t{0xFF}, 0, 0x10, 0, 0}, 4096);
      if (t.good) nwa = t.data[12] << 24 | t.data[13] << 16 | t.data[14] << 8 | t.data[15];
    }
    if (dvdR) {
      const uint32_t size = blocks + 1;
      Send({0x53, 0, 0, 0, 0, static_cast<uint8_t>(size >> 24), static_cast<uint8_t>(size >> 16),
            static_cast<uint8_t>(size >> 8), static_cast<uint8_t>(size), 0});
    }
    for (uint32_t done = 0; done < blocks;) {
      const uint32_t n = std::min<uint32_t>(8, blocks - done);
      const uint32_t lba = nwa + done;
      std::vector<uint8_t> data(n * 2048);
      for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(lba + i * 7);
      Send({0x2A, 0, static_cast<uint8_t>(lba >> 24), static_cast<uint8_t>(lba >> 16),
            static_cast<uint8_t>(lba >> 8), static_cast<uint8_t>(lba), 0, 0,
            static_cast<uint8_t>(n), 0},
           0, data);
      done += n;
    }
    Send({0x35, 0x02, 0, 0, 0, 0, 0, 0, 0, 0});
    if (!dvdR) Send({0x5B, 0x01, 0x02, 0, 0, 0, 0, 0, 0, 0});
  }
  void Eject() { Send({0x1B, 0, 0, 0, 0x02, 0}); }

  const std::vector<uint8_t>& Stream() const { return stream_; }
  void ClearStream() { stream_.clear(); }

 private:
  int target_;
  std::vector<uint8_t> stream_;
};

std::vector<uint8_t> StateInput(int target, const std::string& state,
                                const std::vector<uint8_t>& commands) {
  std::vector<uint8_t> input{static_cast<uint8_t>(target)};
  input.insert(input.end(), state.begin(), state.end());
  input.push_back(0);
  const std::string settings = vr::DriveSettings::Default(kMedia[target]).Serialize();
  input.insert(input.end(), settings.begin(), settings.end());
  input.push_back(0);
  input.insert(input.end(), commands.begin(), commands.end());
  return input;
}

void RecorderStates() {
  std::vector<at::RecorderConfig> configs;
  for (int i = 0; i < 3; ++i) {
    at::RecorderConfig c;
    c.name = "Recorder" + std::to_string(i);
    c.media = kMedia[i];
    configs.push_back(c);
  }
  at::ConfigureRecorders(configs);
  const char* names[3] = {"cd-r", "dvd-r", "dvd+rw"};
  for (int t = 0; t < 3; ++t) {
    Session s(t);
    s.Send({0x00, 0, 0, 0, 0, 0});
    const std::string fresh = CurrentState(t);
    s.ClearStream();
    s.TrackAtOnce(24, t == 0);
    Seed("vr_state", std::string(names[t]) + "-burn", StateInput(t, fresh, s.Stream()));
    const std::string burnt = CurrentState(t);
    s.ClearStream();
    if (t == 0) s.TrackAtOnce(8, false);  // a second session
    s.Eject();
    Seed("vr_state", std::string(names[t]) + "-then", StateInput(t, burnt, s.Stream()));
  }
  // States that once lost the disc: a session without its first, a serial past four digits, a
  // track a billion sectors long (its export never ended).
  Session cd(0);
  cd.TrackAtOnce(4, false);
  cd.Eject();
  const std::vector<uint8_t> burnAndEject = cd.Stream();
  const std::string header =
      "media CD-R\nserial 1\nformatted 0\nfinalized 0\nhighWater 0\ncapacity 359849\npressed 0\n";
  Seed("vr_state", "regress-session-2",
       StateInput(0, header + "session 2 0 0 0\nend\n", burnAndEject));
  Seed("vr_state", "regress-serial-9999",
       StateInput(0, std::regex_replace(header, std::regex("serial 1"), "serial 9999") + "end\n",
                  burnAndEject));
  Seed("vr_state", "regress-track-bounds",
       StateInput(0, header + "session 1 1 0 1000000000\ntrack 1 1 0 1000000000 0 0 0 1 4\nend\n",
                  {0, 0x1B, 0, 0, 0, 0x02, 0, 0, 0, 0}));
}

void CueSheets() {
  at::RecorderConfig c;
  c.name = "Cue";
  c.media = vr::Media::CdR;
  at::ConfigureRecorders({c});
  Session s(0);
  s.TrackAtOnce(20, false);
  s.Eject();
  std::string cue = Slurp(fuzzing::ScratchFolder() + "/home/VirtualRecorders/Cue/Cue-0001.cue");
  cue = std::regex_replace(cue, std::regex("FILE \"[^\"]*\""), "FILE \"disc.bin\"");
  Seed("cue_sheet", "exported", cue.data(), cue.size());
  const std::string mixed =
      "FILE \"disc.bin\" BINARY\r\n  TRACK 01 MODE1/2352\r\n    INDEX 01 00:00:00\r\n"
      "  TRACK 02 MODE2/2352\r\n    INDEX 00 00:04:00\r\n    INDEX 01 00:06:00\r\n";
  Seed("cue_sheet", "two-tracks", mixed.data(), mixed.size());
}

// Pressed fixtures: a CD of 99 one-sector audio tracks (102 descriptors in its full TOC), and a
// DVD of 32 sectors whose volume descriptor claims 1,000.
std::string NinetyNineTracks() {
  const std::string folder = fuzzing::ScratchFolder();
  const std::vector<uint8_t> bin(99 * 2352, 0x5A);
  fuzzing::WriteFile(folder + "/99.bin", bin.data(), bin.size());
  std::string cue = "FILE \"99.bin\" BINARY\n";
  for (int n = 1; n <= 99; ++n) {
    char line[64];
    std::snprintf(line, sizeof line, "  TRACK %02d AUDIO\n    INDEX 01 00:%02d:%02d\n", n,
                  (n - 1) / 75, (n - 1) % 75);
    cue += line;
  }
  fuzzing::WriteFile(folder + "/99.cue", cue.data(), cue.size());
  return fuzzing::Win(folder + "/99.cue");
}
std::string OversizedVolume() {
  std::vector<uint8_t> iso(32 * 2048, 0);
  uint8_t* pvd = iso.data() + 16 * 2048;
  pvd[0] = 1;
  std::memcpy(pvd + 1, "CD001", 5);
  pvd[6] = 1;
  pvd[80] = 1000 & 0xFF;
  pvd[81] = 1000 >> 8;
  const std::string path = fuzzing::ScratchFolder() + "/oversized.iso";
  fuzzing::WriteFile(path, iso.data(), iso.size());
  return fuzzing::Win(path);
}

// The virtual recorder's answers to the library's queries, in the drive-answer target's form.
void DriveAnswers() {
  struct Row {
    const char* name;
    vr::Media media;
    uint32_t burn;
    std::string fixture;
  };
  const Row rows[] = {{"cd-r-blank", vr::Media::CdR, 0, ""},
                      {"cd-r-burnt", vr::Media::CdR, 16, ""},
                      {"dvd-r-burnt", vr::Media::DvdR, 16, ""},
                      {"dvd+rw", vr::Media::DvdPlusRw, 0, ""},
                      {"dvd-r-blank", vr::Media::DvdR, 0, ""},
                      {"cd-99-tracks", vr::Media::CdRom, 0, NinetyNineTracks()},
                      {"dvd-oversized-volume", vr::Media::DvdRom, 0, OversizedVolume()}};
  for (const Row& row : rows) {
    at::RecorderConfig c;
    // A recorder for each row: a recorder keeps its tray from one set-up to the next.
    c.name = "Answers" + std::to_string(&row - rows);
    c.media = row.media;
    c.fixture = row.fixture;
    at::ConfigureRecorders({c});
    if (row.burn) {
      Session s(0);
      s.TrackAtOnce(row.burn, row.media == vr::Media::CdR);
    }
    at::ClearCdbLog(0);
    char text[512];
    uint32_t error = 0;
    CDB_FAILURE_INFORMATION failure;
    void* burner = nullptr;
    if (Halvorin_CdvdBurnerGrabber_Create(&burner, text, sizeof text, &error, &failure, nullptr,
                                          nullptr, 0, 0, 0, 0, 0) != 0)
      continue;
#define PREFIX burner, text, sizeof text, &error, &failure
    uint8_t b[10];
    uint32_t s4[4];
    char v[9], p[17], r[5];
    Halvorin_CdvdBurnerGrabber_GetDeviceInformation(burner, v, p, r, &s4[0]);
    Halvorin_CdvdBurnerGrabber_GetSupportedMediaFormats(burner, &b[0], &b[1], &b[2], &b[3], &b[4],
                                                        &b[5], &b[6], &b[7], &b[8], &b[9]);
    Halvorin_CdvdBurnerGrabber_GetInsertedDiscType(burner);
    Halvorin_CdvdBurnerGrabber_GetBUP(PREFIX, &b[0], &b[1]);
    Halvorin_CdvdBurnerGrabber_GetSpeeds(PREFIX, &s4[0], &s4[1], &s4[2], &s4[3]);
    TRACK_INFORMATION track;
    Halvorin_CdvdBurnerGrabber_GetTrackInformation(PREFIX, 1, &track);
    Halvorin_CdvdBurnerGrabber_GetTrackInformation(PREFIX, 0xFF, &track);
    DISC_INFORMATION disc;
    Halvorin_CdvdBurnerGrabber_GetDiscInformation(PREFIX, &disc);
    static TOC_INFORMATION toc;
    Halvorin_CdvdBurnerGrabber_GetTOCInformation(PREFIX, &toc);
    Halvorin_CdvdBurnerGrabber_ProbeSupportedReadModes(PREFIX, &b[0], &b[1], &b[2], &b[3], &b[4],
                                                       &b[5]);
    Halvorin_CdvdBurnerGrabber_ProbeSupportedWriteModes(PREFIX, &b[0], &b[1], &b[2], &b[3]);
#undef PREFIX
    Halvorin_Destroy(&burner);
    // Each query again, for its answer.
    std::vector<uint8_t> answers;
    for (const auto& record : at::CdbLog(0)) {
      if (record.direction != aspi::DataDirection::In || record.dataLength == 0 ||
          record.cdb.empty())
        continue;
      Session again(0);
      const uint16_t length = static_cast<uint16_t>(std::min<uint32_t>(record.dataLength, 65535));
      const Reply reply = again.Send(record.cdb, length);
      answers.push_back(record.cdb[0]);
      if (reply.good) {
        // Trailing zeros are what an answer's own length fields leave unused.
        size_t used = length;
        while (used > 8 && reply.data[used - 1] == 0) --used;
        answers.push_back(0);
        answers.push_back(static_cast<uint8_t>(used));
        answers.push_back(static_cast<uint8_t>(used >> 8));
        answers.insert(answers.end(), reply.data.begin(), reply.data.begin() + used);
      } else {
        const uint8_t sense[14] = {0x70,
                                   0,
                                   record.sense.key,
                                   0,
                                   0,
                                   0,
                                   0,
                                   10,
                                   0,
                                   0,
                                   0,
                                   0,
                                   record.sense.asc,
                                   record.sense.ascq};
        answers.push_back(1);
        answers.push_back(sizeof sense);
        answers.push_back(0);
        answers.insert(answers.end(), sense, sense + sizeof sense);
      }
    }
    Seed("drive_answers", row.name, answers);
  }
}

// A disc image of a small tree with Joliet names, from sector 16 on as the import target takes
// it.
void Images() {
  const std::string src = fuzzing::ScratchFolder() + "/tree";
  fsys::create_directories(src + "/Ordner mit Ümlaut/tief/tiefer");
  fuzzing::WriteFile(src + "/a.txt", "alpha", 5);
  fuzzing::WriteFile(src + "/Ordner mit Ümlaut/b.txt", "beta", 4);
  fuzzing::WriteFile(src + "/Ordner mit Ümlaut/tief/tiefer/ein sehr langer Dateiname.txt", "c", 1);
  for (uint8_t joliet : {uint8_t{1}, uint8_t{0}}) {
    char text[512];
    uint32_t error = 0;
    void* tree = nullptr;
    if (Halvorin_ISO9660JolietFileTree_Create(&tree, text, sizeof text, &error, nullptr, nullptr, 0,
                                              0, 0, joliet) != 0)
      continue;
    void* parent = nullptr;
    Halvorin_ISO9660JolietFileTree_Add(tree, text, sizeof text, &error, fuzzing::Win(src).c_str(),
                                       "tree", 0, &parent);
    if (Halvorin_ISO9660JolietFileTree_BuildImage(tree, text, sizeof text, &error, 0, 0, 0, "SEED",
                                                  "", "") == 0) {
      uint32_t high = 0;
      const uint32_t size = Halvorin_ISO9660JolietFileTree_GetSizeInUCHARs(tree, &high);
      std::vector<uint8_t> image(size);
      if (high == 0 &&
          Halvorin_ISO9660JolietFileTree_Read(tree, text, sizeof text, &error,
                                              static_cast<int32_t>(size), image.data()) == 0 &&
          image.size() > 16 * 2048)
        Seed("import_track", joliet ? "joliet" : "iso9660",
             std::vector<uint8_t>(image.begin() + 16 * 2048, image.end()));
    }
    Halvorin_Destroy(&tree);
  }
}

// Joliet discs that once made the import lay out a record of 256 bytes and keep names that
// are paths, from sector 16 on: a record of 255 bytes with an identifier of 222 and a file
// '..\\x.txt', and with them a folder '..'.
void HostileImage(bool p__BOOLEAN__DotDot) {
  std::vector<uint8_t> disc(8 * 2048, 0);
  auto at = [&](uint32_t lba) { return disc.data() + (lba - 16) * 2048; };
  auto both32 = [](uint8_t* p, uint32_t v) {
    for (int k = 0; k < 4; ++k) p[k] = p[7 - k] = static_cast<uint8_t>(v >> (8 * k));
  };
  auto record = [&](uint8_t* p, uint8_t length, uint32_t extent, uint32_t size, uint8_t flags,
                    const std::u16string& name) {
    p[0] = length;
    both32(p + 2, extent);
    both32(p + 10, size);
    p[19] = 1;
    p[20] = 1;
    p[25] = flags;
    p[28] = 1;
    p[31] = 1;
    p[32] = static_cast<uint8_t>(name.size() * 2);
    for (size_t k = 0; k < name.size(); ++k) {
      p[33 + 2 * k] = static_cast<uint8_t>(name[k] >> 8);
      p[34 + 2 * k] = static_cast<uint8_t>(name[k]);
    }
  };
  for (uint8_t type : {uint8_t{1}, uint8_t{2}}) {
    uint8_t* d = at(15 + type);
    d[0] = type;
    std::memcpy(d + 1, "CD001", 5);
    d[6] = 1;
    if (type == 2) std::memcpy(d + 88, "%/E", 3);
    d[156] = 34;
    both32(d + 158, 18 + type);
    both32(d + 166, 2048);
    d[181] = 2;
    d[188] = 1;
  }
  uint8_t* end = at(18);
  end[0] = 0xFF;
  std::memcpy(end + 1, "CD001", 5);
  end[6] = 1;
  for (uint32_t lba : {19u, 20u}) {
    record(at(lba), 34, lba, 2048, 2, u"");
    at(lba)[32] = 1;
    record(at(lba) + 34, 34, lba, 2048, 2, u"");
    at(lba)[34 + 32] = 1;
    at(lba)[34 + 33] = 1;
  }
  uint8_t* root = at(20) + 68;
  record(root, 255, 22, 5, 0, std::u16string(109, u'L') + u";1");
  record(root + 255, 54, 22, 5, 0, u"..\\x.txt;1");
  if (p__BOOLEAN__DotDot) record(root + 309, 40, 20, 2048, 2, u"..");
  std::memcpy(at(22), "bytes", 5);
  Seed("import_track", p__BOOLEAN__DotDot ? "hostile-dotdot" : "hostile-names", disc);
}

void Audio() {
  std::vector<uint8_t> pcm(44100 / 10 * 4);
  for (size_t i = 0; i < pcm.size() / 2; ++i) {
    const auto v = static_cast<int16_t>(8000 * std::sin(i * 0.05));
    pcm[2 * i] = static_cast<uint8_t>(v);
    pcm[2 * i + 1] = static_cast<uint8_t>(v >> 8);
  }
  std::vector<uint8_t> h;
  auto text = [&](const char* t) { h.insert(h.end(), t, t + 4); };
  auto u32 = [&](uint32_t v) {
    for (int k = 0; k < 4; ++k) h.push_back(static_cast<uint8_t>(v >> (8 * k)));
  };
  auto u16 = [&](uint16_t v) {
    h.push_back(static_cast<uint8_t>(v));
    h.push_back(static_cast<uint8_t>(v >> 8));
  };
  text("RIFF");
  u32(static_cast<uint32_t>(36 + pcm.size()));
  text("WAVE");
  text("fmt ");
  u32(16);
  u16(1);  // PCM
  u16(2);
  u32(44100);
  u32(44100 * 4);
  u16(4);
  u16(16);
  text("data");
  u32(static_cast<uint32_t>(pcm.size()));
  Seed("wav_header", "canonical", h);
  std::vector<uint8_t> wav{0, 0x10};  // not raw; reads of 4,113 bytes
  wav.insert(wav.end(), h.begin(), h.end());
  wav.insert(wav.end(), pcm.begin(), pcm.end());
  Seed("audio_reader", "wav", wav);
  std::vector<uint8_t> raw{1, 0x03};
  raw.insert(raw.end(), pcm.begin(), pcm.end());
  Seed("audio_reader", "raw", raw);
}

void Sectors() {
  struct Row {
    const char* name;
    int32_t type;
    uint8_t options;  // the sector-check target's first byte
  };
  const Row rows[] = {{"mode1", kHalvorinSectorTypeMode1, 1},
                      {"form1", kHalvorinSectorTypeMode2Form1, 2 | 4},
                      {"form2", kHalvorinSectorTypeMode2Form2, 2}};
  for (const Row& r : rows) {
    std::vector<uint8_t> sector(2352);
    for (size_t i = 16; i < sector.size(); ++i) sector[i] = static_cast<uint8_t>(i * 31 + 7);
    if (r.type != kHalvorinSectorTypeMode1) {
      const uint8_t sub[4] = {
          0, 0, static_cast<uint8_t>(r.type == kHalvorinSectorTypeMode2Form2 ? 0x20 : 0x08), 0};
      std::memcpy(sector.data() + 16, sub, 4);
      std::memcpy(sector.data() + 20, sub, 4);
    }
    EncodeSectorAtAddress(sector.data(), r.type, 1234);
    std::vector<uint8_t> input{r.options};
    input.insert(input.end(), sector.begin(), sector.end());
    Seed("sector_check", r.name, input);
    input[100] ^= 0x5A;  // one damaged byte
    Seed("sector_check", std::string(r.name) + "-damaged", input);
    if (r.type != kHalvorinSectorTypeMode2Form1) continue;
    // A burst from the subheader on: both copies' bit 0x20 flipped, as uncorrectable damage.
    for (size_t i = 1 + 16; i < 1 + 16 + 400; ++i) input[i] ^= 0xA5;
    Seed("sector_check", "form1-burst", input);
  }
}

// A video manager IFO as the builder patches it: the signature, the title table at sector 1
// with two titles of one title set, and room for the header's fields.
void Ifo() {
  std::vector<uint8_t> ifo(2 * 2048);
  std::memcpy(ifo.data(), "DVDVIDEO-VMG", 12);
  ifo[199] = 1;                                                // title table at sector 1
  ifo[2048 + 1] = 2;                                           // two titles
  for (int t = 0; t < 2; ++t) ifo[2048 + 8 + 12 * t + 6] = 1;  // both in title set 1
  std::vector<uint8_t> input{0x00, 0x01, 0x00, 0x00};          // the title set's address
  input.insert(input.end(), ifo.begin(), ifo.end());
  Seed("ifo_patch", "vmg", input);
}

// The first bytes of MPEG-1 and MPEG-2 program streams as a VideoCD and a Super VideoCD take
// them: a pack header (the MPEG-2 one with stuffing) and the start of the system header.
void MpegStreams() {
  const std::vector<uint8_t> mpeg1{0x00, 0x00, 0x01, 0xBA, 0x21, 0x00, 0x01, 0x00, 0x01,
                                   0x80, 0x1B, 0x83, 0x00, 0x00, 0x01, 0xBB, 0x00, 0x09};
  Seed("mpeg_pack_header", "mpeg1", mpeg1);
  const std::vector<uint8_t> mpeg2{0x00, 0x00, 0x01, 0xBA, 0x44, 0x00, 0x04, 0x00,
                                   0x04, 0x01, 0x01, 0x89, 0xC3, 0xFA, 0xFF, 0xFF,
                                   0x00, 0x00, 0x01, 0xBB, 0x00, 0x12};
  Seed("mpeg_pack_header", "mpeg2", mpeg2);
}

// Cue sheets as the session writer compiles them for SEND CUE SHEET, and CD-Text as the
// lead-in carries it in R-W.
void SessionSeeds() {
  at::RecorderConfig c;
  c.name = "Session";
  c.media = vr::Media::CdR;
  at::ConfigureRecorders({c});
  char text[512];
  uint32_t error = 0;
  CDB_FAILURE_INFORMATION failure;
  void* handle = nullptr;
  if (Halvorin_CdvdBurnerGrabber_Create(&handle, text, sizeof text, &error, &failure, nullptr,
                                        nullptr, 0, 0, 0, 0, 1) != 0)
    return;
  auto* burner = HalvorinI_ObjectOf<CHalvorin_CdvdBurnerGrabber>(handle);
  struct Row {
    const char* name;
    std::vector<std::array<int32_t, 5>> tracks;  // audio, XA, raw P-W, size, pre-gap
    bool xa, leadIn;
  };
  const Row rows[] = {
      {"data", {{0, 0, 0, 300, 0}}, false, false},
      {"mixed", {{0, 0, 0, 300, 0}, {1, 0, 0, 400, 75}, {1, 0, 0, 226, 0}}, false, false},
      {"xa", {{0, 1, 0, 120, 0}, {0, 1, 0, 40, 2}}, true, false},
      {"raw-lead-in", {{0, 0, 1, 500, 0}}, false, true}};
  auto sao = std::make_unique<SAO_TRACK_ARRAY>();
  for (const Row& r : rows) {
    std::memset(sao.get(), 0, sizeof *sao);
    sao->m__LONG__NumberOfTracks = static_cast<int32_t>(r.tracks.size());
    for (size_t i = 0; i < r.tracks.size(); ++i) {
      SAO_TRACK_ENTRY& e = sao->m__SAO_TRACK_ENTRY__Tracks[i];
      e.m__BOOLEAN__IsAudio = static_cast<uint8_t>(r.tracks[i][0]);
      e.m__BOOLEAN__IsXA = static_cast<uint8_t>(r.tracks[i][1]);
      e.m__BOOLEAN__IsRawPW = static_cast<uint8_t>(r.tracks[i][2]);
      e.m__LONG__SizeInLBs = r.tracks[i][3];
      e.m__LONG__PreGapInLBs = r.tracks[i][4];
    }
    std::vector<uint8_t> sheet(1616);
    uint32_t length = 0;
    try {
      burner->CompileCueSheet(sao.get(), sheet.data(), &length, r.xa, r.leadIn);
    } catch (CHalvorin_Exception* e) {
      std::unique_ptr<CHalvorin_Exception> owned(e);
      continue;
    }
    sheet.resize(length);
    Seed("send_cue_sheet", r.name, sheet);
  }
  Halvorin_Destroy(&handle);

  CHalvorin_CDText cdText;
  cdText.AddTrackInfo(0, "A Disc Title", "The Performer");
  cdText.AddTrackInfo(1, "First Song", "The Performer");
  cdText.AddTrackInfo(2, "Zweites Lied", "Someone Else");
  if (cdText.PrepareSubChannels() == 0)
    Seed("cd_text_packs", "two-tracks", cdText.GetSubChannelsData(),
         size_t{cdText.GetBlockCount()} * 96);
}

// Lead-ins as the disc-at-once writer generates them: the subchannel of their first cycles for
// the TOC target, and the first blocks of a raw P-W one as a recorder's WRITE commands.
void LeadInSeeds() {
  struct Row {
    const char* name;
    std::vector<std::array<int32_t, 2>> tracks;  // size, data
    bool rawPW, xa;
  };
  const Row rows[] = {{"audio-3", {{300, 0}, {450, 0}, {226, 0}}, false, false},
                      {"data-xa", {{1000, 1}}, true, true},
                      {"audio-raw-pw", {{75, 0}, {75, 0}}, true, false}};
  auto list = std::make_unique<TRACK_ARRAY>();
  for (const Row& r : rows) {
    std::memset(list.get(), 0, sizeof *list);
    int32_t start = 0;
    for (const auto& t : r.tracks) {
      TRACK_ENTRY& e = list->m__TRACK_ENTRY__Tracks[list->m__LONG__NumberOfTracks++];
      e.m__LONG__TrackSizeInLBs = t[0];
      e.m__LONG__TrackStartInLBs = start;
      e.m__BOOLEAN__IsData = static_cast<uint8_t>(t[1]);
      start += t[0];
    }
    constexpr uint32_t kSectors = 40;
    std::unique_ptr<CHalvorin_ISO9660FileTreeGenerated> leadIn;
    try {
      if (r.rawPW)
        leadIn = std::make_unique<CHalvorin_ISO9660FileTreeLeadInRawRawPW>(
            -11634, kSectors, start, list.get(), r.xa, nullptr);
      else
        leadIn = std::make_unique<CHalvorin_ISO9660FileTreeLeadInRawPQ>(-11634, kSectors, start,
                                                                        list.get(), r.xa);
    } catch (CHalvorin_Exception* e) {
      std::unique_ptr<CHalvorin_Exception> owned(e);
      continue;
    }
    const uint32_t sector = leadIn->GetSectorSize(), unit = sector - 2352;
    std::vector<uint8_t> input{static_cast<uint8_t>(r.rawPW ? 1 : 0)};
    for (uint32_t k = 0; k < kSectors; ++k) {
      const uint8_t* sub = leadIn->GetMemory() + size_t{k} * sector + 2352;
      input.insert(input.end(), sub, sub + unit);
    }
    Seed("lead_in_toc", r.name, input);
    if (!r.rawPW || r.xa) continue;
    // A recorder of a blank CD-R takes the lead-in's start in write type 3.
    std::vector<uint8_t> commands;
    auto add = [&](std::vector<uint8_t> cdb, std::vector<uint8_t> out) {
      fuzzing::ScsiCommand c;
      c.cdb = std::move(cdb);
      c.direction = 2;
      c.length = static_cast<uint16_t>(out.size());
      c.out = std::move(out);
      fuzzing::EncodeCommand(c, commands);
    };
    std::vector<uint8_t> page(8 + 56, 0);
    page[8] = 0x05;
    page[9] = 54;
    page[10] = 0x03;  // disc-at-once
    page[12] = 0x03;  // raw with P-W
    page[8 + 15] = 150;
    add({0x55, 0x10, 0, 0, 0, 0, 0, 0, static_cast<uint8_t>(page.size()), 0}, page);
    for (uint32_t done = 0; done < kSectors; done += 20) {
      const uint32_t lba = static_cast<uint32_t>(-11634 + static_cast<int32_t>(done));
      std::vector<uint8_t> data(leadIn->GetMemory() + size_t{done} * sector,
                                leadIn->GetMemory() + size_t{done + 20} * sector);
      add({0x2A, 0, static_cast<uint8_t>(lba >> 24), static_cast<uint8_t>(lba >> 16),
           static_cast<uint8_t>(lba >> 8), static_cast<uint8_t>(lba), 0, 0, 20, 0},
          data);
    }
    at::RecorderConfig c;
    c.name = "Recorder0";
    c.media = vr::Media::CdR;
    at::ConfigureRecorders({c});
    Session s(0);
    s.Send({0x00, 0, 0, 0, 0, 0});
    Seed("vr_state", std::string("dao-") + r.name, StateInput(0, CurrentState(0), commands));
  }
}

// Image descriptors as the grab writes them: CD descriptors of a one-track and a two-track
// TOC and of two sessions (which the reader refuses), one whose size is taken from the data
// file, and the descriptor of a pressed DVD-ROM grabbed in parts.
void Descriptors() {
  auto toc = std::make_unique<TOC_INFORMATION>();
  auto make = [&](int sessions, int tracks) {
    std::memset(toc.get(), 0, sizeof *toc);
    toc->m__UCHAR__IsValid = 1;
    toc->m__UCHAR__HighestSessionNumber = static_cast<uint8_t>(sessions);
    toc->m__UCHAR__NumberOfTracks = static_cast<uint8_t>(tracks);
    int d = 0;
    for (int s = 1; s <= sessions; ++s)
      for (int i = 0; i < 3 + tracks / sessions; ++i) {
        TOC_RAW_DESCRIPTOR& r = toc->m__TOC_RAW_DESCRIPTOR__AllDescriptors[d++];
        r.m__UCHAR__SessionNumber = static_cast<uint8_t>(s);
        r.m__UCHAR__ADR_CONTROL = 0x14;
        r.m__UCHAR__POINT =
            static_cast<uint8_t>(i < 3 ? 0xA0 + i : (s - 1) * (tracks / sessions) + (i - 3) + 1);
      }
    toc->m__UCHAR__NumberOfRawDescriptors = static_cast<uint8_t>(d);
    for (int k = 0; k < tracks; ++k) {
      TOC_TRACK_ENTRY& t = toc->m__TOC_TRACK_ENTRY__Tracks[k];
      t.m__UCHAR__IsValid = 1;
      t.m__UCHAR__TrackNumber = static_cast<uint8_t>(k + 1);
      t.m__UCHAR__SessionNumber = static_cast<uint8_t>(1 + k / (tracks / sessions));
      t.m__LONG__StartLBA = k * 1000;
      t.m__LONG__EndLBA = k * 1000 + 899;
      t.m__BOOLEAN__IsDataTrack = k % 2 == 0;
      t.m__BOOLEAN__IsAudioTrack = k % 2 == 1;
      t.m__UCHAR__DataMode = k % 2 == 0 ? static_cast<uint8_t>(1 + k / 2 % 2) : 0;
      t.m__UCHAR__Form = t.m__UCHAR__DataMode == 2 ? 1 : 0;
    }
  };
  const std::string path = fuzzing::ScratchFolder() + "/seed.mds";
  auto write = [&](const char* name, bool zeroSize) {
    try {
      {
        platform::fs::File file(fuzzing::Win(path), platform::fs::OpenMode::CreateAlways);
        CHalvorin_CdvdBurnerGrabber::FormatFileMDSForCD(
            file, *toc, fuzzing::Win(fuzzing::ScratchFolder() + "/disc").c_str());
      }
      std::string bytes = Slurp(path);
      if (zeroSize) std::memset(bytes.data() + bytes.size() - 9 - 16 + 8, 0, 4);  // last track
      Seed("image_descriptor", name, bytes.data(), bytes.size());
      if (!zeroSize && toc->m__UCHAR__NumberOfTracks == 1) {
        // Once stored past 32 bits as a negative size.
        const uint8_t huge[4] = {0, 0, 0, 0xF8};
        std::memcpy(bytes.data() + bytes.size() - 9 - 16 + 8, huge, 4);
        Seed("image_descriptor", "regress-huge-size", bytes.data(), bytes.size());
      }
    } catch (CHalvorin_Exception* e) {
      std::unique_ptr<CHalvorin_Exception> owned(e);
    }
  };
  make(1, 1);
  write("cd-one-track", false);
  make(1, 2);
  write("cd-two-tracks", false);
  write("cd-size-from-data", true);
  make(2, 4);
  write("cd-two-sessions", false);

  std::vector<char> iso(3000 * 2048, 'D');
  const std::string fixture = fuzzing::ScratchFolder() + "/pressed.iso";
  fuzzing::WriteFile(fixture, iso.data(), iso.size());
  at::RecorderConfig c;
  c.name = "PressedDvd";
  c.media = vr::Media::DvdRom;
  c.fixture = fuzzing::Win(fixture);
  at::ConfigureRecorders({c});
  char text[512];
  uint32_t error = 0;
  CDB_FAILURE_INFORMATION failure;
  void* handle = nullptr;
  if (Halvorin_CdvdBurnerGrabber_Create(&handle, text, sizeof text, &error, &failure, nullptr,
                                        nullptr, 0, 0, 0, 0, 1) != 0)
    return;
  const std::string base = fuzzing::ScratchFolder() + "/dvd";
  if (Halvorin_CdvdBurnerGrabber_GrabDVD(handle, text, sizeof text, &error, &failure,
                                         fuzzing::Win(base).c_str(), 2, 0, 0, 0, 0) == 0) {
    const std::string bytes = Slurp(base + ".mds");
    Seed("image_descriptor", "dvd-three-parts", bytes.data(), bytes.size());
  }
  Halvorin_Destroy(&handle);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
    return 2;
  }
  g_out = argv[1];
  fuzzing::UseScratchHome();
  at::UseSgIoSystem(std::make_shared<NoDevices>());
  at::UseFakeClock();
  Halvorin_UpStart();
  RecorderStates();
  LeadInSeeds();
  CueSheets();
  DriveAnswers();
  Images();
  HostileImage(false);
  HostileImage(true);
  Audio();
  Sectors();
  Ifo();
  MpegStreams();
  SessionSeeds();
  Descriptors();
  at::ConfigureRecorders({});
  Halvorin_DownShut();
  return 0;
}
