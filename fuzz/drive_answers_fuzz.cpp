// The answers of a drive, which the library parses (INQUIRY, GET CONFIGURATION, mode pages,
// track and disc information, TOC, capacities, speeds), from untrusted bytes: one CD/DVD device
// behind the SG_IO adapter answers each command from the input, and the library's queries run
// against it. The input is a list of answers: an opcode, a flag byte (bit 0: a check condition
// whose sense data follows instead of data), a little-endian 16-bit length and that many bytes.
// A command takes the next answer given for its opcode, and fails as an unknown command once
// they are used up.
//
// Besides memory errors it traps when the TOC record read from a full TOC has other than a
// track entry for each descriptor of POINT 1 to 100 (up to 100) or a table of other than its
// first 100 descriptors, or when a DVD's TOC ends past the last LBA that READ CAPACITY gave.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "halvorin.h"
#include "platform/aspi/testing.h"

namespace at = platform::aspi::testing;

namespace {

struct Answer {
  bool check = false;
  std::vector<std::uint8_t> bytes;
};

class AnsweringKernel : public platform::aspi::SgIoSystem {
 public:
  void Load(const std::uint8_t* p, std::size_t n) {
    std::lock_guard lock(mutex_);
    answers_.clear();
    answered_.clear();
    for (std::size_t at = 0; at + 4 <= n;) {
      const std::uint8_t opcode = p[at];
      Answer a;
      a.check = p[at + 1] & 1;
      const std::size_t length = p[at + 2] | p[at + 3] << 8;
      at += 4;
      const std::size_t take = std::min(length, n - at);
      a.bytes.assign(p + at, p + at + take);
      at += take;
      answers_[opcode].push_back(std::move(a));
    }
  }

  std::vector<platform::aspi::SgDeviceNode> ListDevices() override {
    return {{"/dev/sg0", 0, 0, 0, 0, 5}};
  }
  int Open(const std::string&) override { return 100; }
  int Close(int) override { return 0; }
  int SgIo(int, sg_io_hdr_t* h) override {
    std::lock_guard lock(mutex_);
    h->status = 0;
    h->host_status = 0;
    h->driver_status = 0;
    h->sb_len_wr = 0;
    h->resid = 0;
    auto& list = answers_[h->cmdp[0]];
    if (list.empty()) return Sense(h, {0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x20, 0});
    Answer a = std::move(list.front());
    list.erase(list.begin());
    if (a.check) return Sense(h, a.bytes);
    if (h->dxfer_direction == SG_DXFER_FROM_DEV && h->dxferp) {
      const std::size_t n = std::min<std::size_t>(a.bytes.size(), h->dxfer_len);
      if (n) std::memcpy(h->dxferp, a.bytes.data(), n);
      h->resid = static_cast<int>(h->dxfer_len - n);
      answered_[h->cmdp[0]].assign(a.bytes.begin(), a.bytes.begin() + static_cast<long>(n));
    }
    return 0;
  }

  // The data of the opcode's last answer that succeeded, as the command took it.
  std::vector<std::uint8_t> Answered(std::uint8_t opcode) {
    std::lock_guard lock(mutex_);
    return answered_[opcode];
  }

 private:
  static int Sense(sg_io_hdr_t* h, const std::vector<std::uint8_t>& sense) {
    h->status = 0x02;
    h->driver_status = 0x08;
    const std::size_t n = std::min<std::size_t>(sense.size(), h->mx_sb_len);
    if (h->sbp && n) std::memcpy(h->sbp, sense.data(), n);
    h->sb_len_wr = static_cast<unsigned char>(n);
    return 0;
  }

  std::mutex mutex_;
  std::map<std::uint8_t, std::vector<Answer>> answers_;
  std::map<std::uint8_t, std::vector<std::uint8_t>> answered_;
};

// The bytes as the library's zeroed buffer of `size` holds them.
std::vector<std::uint8_t> Padded(std::vector<std::uint8_t> bytes, std::size_t size) {
  bytes.resize(std::max(bytes.size(), size));
  return bytes;
}

void CheckToc(AnsweringKernel& kernel, const TOC_INFORMATION& toc) {
  if (toc.m__BOOLEAN__IsDVD) {
    const std::vector<std::uint8_t> c = Padded(kernel.Answered(0x25), 8);
    const std::uint32_t last =
        static_cast<std::uint32_t>(c[0]) << 24 | c[1] << 16 | c[2] << 8 | c[3];
    if (static_cast<std::int64_t>(toc.m__TOC_TRACK_ENTRY__Tracks[0].m__LONG__EndLBA) > last)
      __builtin_trap();
    return;
  }
  const std::vector<std::uint8_t> t = Padded(kernel.Answered(0x43), 16384);
  const std::size_t length =
      std::min<std::size_t>(static_cast<std::size_t>(t[0] << 8 | t[1]), 16382);
  const std::size_t count = (length - 2) / 11;
  std::size_t tracks = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t point = t[4 + 11 * i + 3];
    if (point >= 1 && point <= 100) ++tracks;
  }
  if (toc.m__UCHAR__NumberOfTracks != std::min<std::size_t>(tracks, 100) ||
      toc.m__UCHAR__NumberOfRawDescriptors != std::min<std::size_t>(count, 100))
    __builtin_trap();
}

AnsweringKernel& Kernel() {
  static const std::shared_ptr<AnsweringKernel> kernel = [] {
    fuzzing::UseScratchHome();
    at::UseFakeClock();
    auto k = std::make_shared<AnsweringKernel>();
    at::UseSgIoSystem(k);
    at::ConfigureRecorders({});
    Halvorin_UpStart();
    return k;
  }();
  return *kernel;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  AnsweringKernel& kernel = Kernel();
  kernel.Load(data, size);
  char text[1024];
  std::uint32_t error = 0;
  CDB_FAILURE_INFORMATION failure;
  void* burner = nullptr;
  // Adapter 1: the first after the virtual recorders. A small cache: the queries need none.
  if (Halvorin_CdvdBurnerGrabber_Create(&burner, text, sizeof text, &error, &failure, nullptr,
                                        nullptr, 1, 0, 0, 0, 1) != 0)
    return 0;
  char vendor[9], product[17], revision[5];
  std::uint32_t buffer = 0;
  Halvorin_CdvdBurnerGrabber_GetDeviceInformation(burner, vendor, product, revision, &buffer);
  std::uint8_t b[10];
  Halvorin_CdvdBurnerGrabber_GetSupportedMediaFormats(burner, &b[0], &b[1], &b[2], &b[3], &b[4],
                                                      &b[5], &b[6], &b[7], &b[8], &b[9]);
  Halvorin_CdvdBurnerGrabber_GetSupportedMediaFormatsEx(burner, &b[0], &b[1], &b[2], &b[3]);
  Halvorin_CdvdBurnerGrabber_GetInsertedDiscType(burner);
#define PREFIX burner, text, sizeof text, &error, &failure
  Halvorin_CdvdBurnerGrabber_GetBUP(PREFIX, &b[0], &b[1]);
  std::uint32_t s[4];
  Halvorin_CdvdBurnerGrabber_GetSpeeds(PREFIX, &s[0], &s[1], &s[2], &s[3]);
  TRACK_INFORMATION track;
  Halvorin_CdvdBurnerGrabber_GetTrackInformation(PREFIX, 1, &track);
  Halvorin_CdvdBurnerGrabber_GetTrackInformation(PREFIX, 0xFF, &track);
  DISC_INFORMATION disc;
  Halvorin_CdvdBurnerGrabber_GetDiscInformation(PREFIX, &disc);
  static TOC_INFORMATION toc;
  if (Halvorin_CdvdBurnerGrabber_GetTOCInformation(PREFIX, &toc) == 0) CheckToc(kernel, toc);
  Halvorin_CdvdBurnerGrabber_GetDVDProtectionSystem(PREFIX, &b[0]);
  Halvorin_CdvdBurnerGrabber_ProbeSupportedReadModes(PREFIX, &b[0], &b[1], &b[2], &b[3], &b[4],
                                                     &b[5]);
  Halvorin_CdvdBurnerGrabber_ProbeSupportedWriteModes(PREFIX, &b[0], &b[1], &b[2], &b[3]);
#undef PREFIX
  Halvorin_Destroy(&burner);
  return 0;
}
