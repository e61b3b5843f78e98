// Helpers of the grab tests: the callbacks a grab sends with their LBAs and counts, data CDs
// written track-at-once, pressed discs, and the test's own reading of 2448-byte image sectors
// (the Q channel de-interleaved and CRC-checked here, apart from the library and the recorder).
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "halvorin.h"
#include "tests/lib/burner/session_test_support.h"

namespace grabtest {

using burnertest::Bytes;
using burnertest::Media;
using burnertest::Slurp;
namespace vr = platform::aspi::vr;
namespace at = platform::aspi::testing;

struct Call {
  std::uint32_t reason;
  std::int64_t a = 0, b = 0;  // the pointers' values, when the reason has them
};

struct Calls {
  std::vector<Call> calls;
  std::function<void(std::uint32_t)> onReason;
  std::vector<Call> Of(std::uint32_t reason) const {
    std::vector<Call> out;
    for (const Call& c : calls)
      if (c.reason == reason) out.push_back(c);
    return out;
  }
  std::vector<std::uint32_t> Reasons() const {
    std::vector<std::uint32_t> out;
    for (const Call& c : calls) out.push_back(c.reason);
    return out;
  }
};

inline void RecordGrab(uint32_t reason, void* context, void* p1, void* p2) {
  auto* calls = static_cast<Calls*>(context);
  Call c{reason};
  switch (reason) {
    case HALVORIN_CALLBACK_REASON_GRAB_PROGRESS:
      c.a = *static_cast<std::int64_t*>(p1);
      c.b = *static_cast<std::int64_t*>(p2);
      break;
    case HALVORIN_CALLBACK_REASON_GRAB_TRACK_BEGIN:
    case HALVORIN_CALLBACK_REASON_GRAB_TRACK_END:
    case HALVORIN_CALLBACK_REASON_SPLIT_SECTION_BEGIN:
    case HALVORIN_CALLBACK_REASON_SPLIT_SECTION_END:
    case HALVORIN_CALLBACK_REASON_GRAB_SECTOR_PATTERN:
    case HALVORIN_CALLBACK_REASON_GRAB_SECTOR_BAD_KEPT:
    case HALVORIN_CALLBACK_REASON_GRAB_SECTOR_RETRY:
      c.a = *static_cast<std::int32_t*>(p1);
      c.b = p2 ? *static_cast<std::int32_t*>(p2) : -1;
      break;
    default:
      break;
  }
  calls->calls.push_back(c);
  if (calls->onReason) calls->onReason(reason);
}

// The CRC of a Q frame as the Red Book gives it: CRC-16 1021h over bytes 0-9, inverted.
inline bool QCrcOk(const std::uint8_t* q) {
  std::uint16_t crc = 0;
  for (int i = 0; i < 10; ++i) {
    crc = static_cast<std::uint16_t>(crc ^ (q[i] << 8));
    for (int b = 0; b < 8; ++b)
      crc = static_cast<std::uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
  }
  crc = static_cast<std::uint16_t>(~crc);
  return q[10] == (crc >> 8) && q[11] == (crc & 0xFF);
}

inline std::uint8_t Bcd(int v) {
  return static_cast<std::uint8_t>(v / 10 * 16 + v % 10);
}

// The Q frame and P bits of a 2448-byte sector's interleaved subchannel.
struct SubChannel {
  std::uint8_t q[12] = {};
  int pBits = 0;  // of 96
};
inline SubChannel DecodeSub(const std::uint8_t* sector) {
  SubChannel s;
  for (int i = 0; i < 96; ++i) {
    const std::uint8_t symbol = sector[2352 + i];
    if (symbol & 0x40) s.q[i / 8] = static_cast<std::uint8_t>(s.q[i / 8] | 0x80 >> (i % 8));
    if (symbol & 0x80) ++s.pBits;
  }
  return s;
}

// The Q frame a sector of a track (or of the run-up to `track`, pre-gap form) must carry.
inline std::vector<std::uint8_t> ExpectedQ(int track, int control, bool preGap,
                                           std::int64_t relative, std::int64_t lba) {
  auto msf = [](std::int64_t frames, std::uint8_t* out) {
    out[0] = Bcd(static_cast<int>(frames / 4500));
    out[1] = Bcd(static_cast<int>(frames / 75 % 60));
    out[2] = Bcd(static_cast<int>(frames % 75));
  };
  std::vector<std::uint8_t> q(10);
  q[0] = static_cast<std::uint8_t>(control << 4 | 1);
  q[1] = Bcd(track);
  q[2] = preGap ? 0 : 1;
  msf(relative, &q[3]);
  q[6] = 0;
  msf(lba + 150, &q[7]);
  return q;
}

// A whole file at once (the byte-wise reader is slow for images of many megabytes).
inline Bytes Load(const std::string& path) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  if (ec) return {};
  Bytes b(static_cast<std::size_t>(size));
  std::ifstream(path, std::ios::binary)
      .read(reinterpret_cast<char*>(b.data()), static_cast<std::streamsize>(b.size()));
  return b;
}

// `count` blocks of 2048 bytes, each unlike the others.
inline Bytes Blocks(std::size_t count) {
  Bytes b(count * 2048);
  for (std::size_t i = 0; i < count; ++i)
    for (std::size_t k = 0; k < 2048; k += 8) {
      const std::uint64_t v = i * 0x9E3779B97F4A7C15ull ^ k;
      std::memcpy(b.data() + i * 2048 + k, &v, 8);
    }
  return b;
}

class GrabTest : public burnertest::SessionAtOnce {
 protected:
  HALVORIN_STATUS CreateGrabber(uint8_t target = 0) {
    return Halvorin_CdvdBurnerGrabber_Create(&burner, text, sizeof text, &error, &failure,
                                             &RecordGrab, &grab, 0, 0, target, 0, 0);
  }
  // A data CD of one track-at-once track holding an ISO image of one file; the image's bytes
  // are in `iso`. The session is closed and the disc stays in the tray.
  void WriteDataCd(std::size_t fileBytes, bool xa) {
    ASSERT_EQ(CreateGrabber(), 0u) << text;
    CHalvorin_FileChain* chain = IsoTree(fileBytes);
    ASSERT_NE(chain, nullptr);
    ASSERT_EQ(Halvorin_CdvdBurnerGrabber_TrackAtOnceFromTree(BURNER_ARGS, tree, xa, 0, 0, 0, 0), 0u)
        << text;
    ASSERT_EQ(Halvorin_CdvdBurnerGrabber_CloseSession(BURNER_ARGS), 0u) << text;
  }
  // A CD-ROM recorder (target 0) pressed from a fixture.
  void Pressed(vr::Media media, const std::string& fixture) {
    at::RecorderConfig c;
    c.name = "Pressed";
    c.media = media;
    c.fixture = fixture;
    at::UseSgIoSystem(std::make_shared<libtest::FakeSgKernel>(std::vector<std::uint8_t>{}));
    at::ConfigureRecorders({c});
  }
  HALVORIN_STATUS GrabCD(const std::string& base, uint32_t mode, uint32_t retry = 0,
                         bool ignore = false, bool force = false, bool ecOff = false) {
    return Halvorin_CdvdBurnerGrabber_GrabCD(BURNER_ARGS, base.c_str(), mode, retry, ignore, force,
                                             0, ecOff);
  }
  TOC_INFORMATION Toc() {
    TOC_INFORMATION toc;
    EXPECT_EQ(Halvorin_CdvdBurnerGrabber_GetTOCInformation(BURNER_ARGS, &toc), 0u) << text;
    return toc;
  }
  // Page 01h as MODE SENSE(10) answers it: current (0) or default (2) values.
  Bytes Page01(std::uint8_t control) {
    aspitest::Reply r = aspitest::Cmd(
        0, {0x5A, 0, static_cast<std::uint8_t>(control << 6 | 1), 0, 0, 0, 0, 0x01, 0x00, 0}, 256);
    EXPECT_TRUE(r.Good()) << aspitest::SenseText(r);
    if (!r.Good()) return {};
    return Bytes(r.data.begin() + 8, r.data.begin() + 8 + 2 + r.data[9]);
  }

  // Q and P of every sector of one track of the image, from `first` (its index in the image).
  void ExpectTrackQ(const Bytes& image, std::size_t first, int number, std::int64_t start,
                    std::int64_t end, int control) {
    for (std::int64_t lba = start; lba <= end; ++lba) {
      const std::uint8_t* s = image.data() + (first + static_cast<std::size_t>(lba - start)) * 2448;
      const SubChannel sub = DecodeSub(s);
      ASSERT_TRUE(QCrcOk(sub.q)) << "LBA " << lba;
      ASSERT_EQ(Bytes(sub.q, sub.q + 10), ExpectedQ(number, control, false, lba - start, lba))
          << "LBA " << lba;
      ASSERT_EQ(sub.pBits, lba == start ? 96 : 0) << "LBA " << lba;
    }
  }

  Calls grab;
};

}  // namespace grabtest
