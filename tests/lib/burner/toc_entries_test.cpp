// The CD TOC record from a full TOC: every POINT of 1 to 100 is a track entry, with its ADR
// 2 and ADR 3 flags, its end at the next track or the session's lead-out. The drive is a
// fake SG_IO device that answers a crafted full TOC, as no writer of ours records ADR 2 or 3.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "lib/core/burner/cdvd_burner_grabber.h"
#include "tests/lib/lib_test_support.h"

namespace libtest {
namespace {

class TocKernel : public aspi::SgIoSystem {
 public:
  explicit TocKernel(std::vector<std::uint8_t> toc) : toc_(std::move(toc)) {}

  std::vector<aspi::SgDeviceNode> ListDevices() override { return {{"/dev/sg0", 0, 0, 0, 0, 5}}; }
  int Open(const std::string&) override { return 100; }
  int Close(int) override { return 0; }
  int SgIo(int, sg_io_hdr_t* h) override {
    const auto* cdb = static_cast<const std::uint8_t*>(h->cmdp);
    auto* data = static_cast<std::uint8_t*>(h->dxferp);
    if (data && h->dxfer_direction == SG_DXFER_FROM_DEV) std::memset(data, 0, h->dxfer_len);
    h->status = 0;
    h->resid = 0;
    switch (cdb[0]) {
      case 0x12:  // INQUIRY: a CD/DVD device
        data[0] = 0x05;
        std::memcpy(data + 8, "FAKESG  TOC drive       0.01", 28);
        break;
      case 0xAD: {  // READ DVD STRUCTURE: not a DVD (5/24/00)
        h->status = 0x02;
        std::uint8_t* sense = h->sbp;
        std::memset(sense, 0, h->mx_sb_len);
        sense[0] = 0x70;
        sense[2] = 0x05;
        sense[7] = 10;
        sense[12] = 0x24;
        h->sb_len_wr = 18;
        h->resid = static_cast<int>(h->dxfer_len);
        break;
      }
      case 0x43:  // READ TOC format 2
        std::memcpy(data, toc_.data(), std::min<size_t>(toc_.size(), h->dxfer_len));
        break;
      default:
        break;
    }
    return 0;
  }

 private:
  std::vector<std::uint8_t> toc_;
};

// Descriptor of session 1: ADR/CONTROL, POINT, PMIN:PSEC:PFRAME.
void Descriptor(std::vector<std::uint8_t>& toc, std::uint8_t adrControl, std::uint8_t point,
                std::uint8_t m, std::uint8_t s, std::uint8_t f) {
  toc.insert(toc.end(), {1, adrControl, 0, point, 0, 0, 0, 0, m, s, f});
}

class TocEntries : public LibTest {};

TEST_F(TocEntries, EveryPointOfOneToHundredIsATrackWithItsAdrFlags) {
  std::vector<std::uint8_t> toc = {0, 0, 1, 1};
  Descriptor(toc, 0x10, 0xA0, 1, 0, 0);
  Descriptor(toc, 0x10, 0xA1, 3, 0, 0);
  Descriptor(toc, 0x10, 0xA2, 0, 30, 0);  // lead-out at LBA 2100
  Descriptor(toc, 0x10, 1, 0, 2, 0);      // LBA 0
  Descriptor(toc, 0x20, 2, 0, 10, 0);     // LBA 600, ADR 2
  Descriptor(toc, 0x30, 3, 0, 20, 0);     // LBA 1350, ADR 3
  toc[1] = static_cast<std::uint8_t>(toc.size() - 2);
  at::UseSgIoSystem(std::make_shared<TocKernel>(toc));
  Recorders({Media::CdR});  // host adapter 0; the fake drive is host adapter 1
  CHalvorin_CdvdBurnerGrabber burner(nullptr, nullptr, 1, 0, 0, 0, 1);
  auto record = std::make_unique<TOC_INFORMATION>();
  std::memset(record.get(), 0, sizeof(TOC_INFORMATION));
  burner.GetTOCInformation(record.get());
  EXPECT_EQ(record->m__BOOLEAN__IsDVD, 0);
  EXPECT_EQ(record->m__UCHAR__NumberOfRawDescriptors, 6);
  ASSERT_EQ(record->m__UCHAR__NumberOfTracks, 3);
  const struct {
    std::int32_t start, end;
    std::uint8_t adr2, adr3;
  } expected[] = {{0, 599, 0, 0}, {600, 1349, 1, 0}, {1350, 2099, 0, 1}};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i + 1);
    const TOC_TRACK_ENTRY& t = record->m__TOC_TRACK_ENTRY__Tracks[i];
    EXPECT_EQ(t.m__UCHAR__TrackNumber, i + 1);
    EXPECT_EQ(t.m__LONG__StartLBA, expected[i].start);
    EXPECT_EQ(t.m__LONG__EndLBA, expected[i].end);
    EXPECT_EQ(t.m__BOOLEAN__IsADR2, expected[i].adr2);
    EXPECT_EQ(t.m__BOOLEAN__IsADR3, expected[i].adr3);
    EXPECT_EQ(t.m__BOOLEAN__IsAudioTrack, 1);
    EXPECT_EQ(record->m__TOC_RAW_DESCRIPTOR__TrackDescriptors[i].m__UCHAR__POINT, i + 1);
  }
}

}  // namespace
}  // namespace libtest
