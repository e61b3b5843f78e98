// The command sequences the recording library sends for track-at-once writing, closing,
// blanking and formatting, replayed through the ASPI entry points.
#pragma once

#include <algorithm>
#include <functional>

#include "tests/aspi/aspi_test_support.h"

namespace aspitest {

struct TaoOptions {
  bool xa = false;
  bool testWrite = false;
  bool multiSession = false;
};

class LibraryBurner {
 public:
  explicit LibraryBurner(std::uint8_t target) : target_(target) {}

  std::uint16_t Profile() {
    Reply r = Cmd(target_, {0x46, 0x02, 0, 0, 0, 0, 0, 0x10, 0x00, 0}, 4096);
    return r.Good() ? static_cast<std::uint16_t>(r.U16(6)) : 0;
  }
  static bool DvdSequence(std::uint16_t p) {
    return p == 0x10 || p == 0x11 || p == 0x13 || p == 0x14;
  }

  Reply SetWriteParameters(std::uint8_t writeType, std::uint8_t blockType, std::uint8_t trackMode,
                           bool test, bool multi, std::uint8_t sessionFormat, bool linkSize) {
    Reply sense = Cmd(target_, {0x5A, 0x08, 0x05, 0, 0, 0, 0, 0x10, 0x00, 0}, 4096);
    if (!sense.Good()) return sense;
    std::vector<std::uint8_t> page(sense.data.begin(), sense.data.begin() + 8 + 2 + sense.data[9]);
    std::fill(page.begin(), page.begin() + 8, 0);
    std::uint8_t* p = page.data() + 8;
    p[0] = 0x05;
    p[2] = static_cast<std::uint8_t>(writeType | (test ? 0x10 : 0) | (linkSize ? 0x20 : 0));
    p[3] = static_cast<std::uint8_t>(trackMode | (multi ? 0xC0 : 0));
    p[4] = blockType;
    p[5] = linkSize ? 16 : 0;
    p[8] = sessionFormat;
    const auto length = static_cast<std::uint16_t>(page.size());
    return CmdOut(target_,
                  {0x55, 0x10, 0, 0, 0, 0, 0, static_cast<std::uint8_t>(length >> 8),
                   static_cast<std::uint8_t>(length), 0},
                  page);
  }

  Reply RestoreWriteParameters() {
    Reply sense = Cmd(target_, {0x5A, 0x08, 0x85, 0, 0, 0, 0, 0x10, 0x00, 0}, 4096);
    if (!sense.Good()) return sense;
    std::vector<std::uint8_t> page(sense.data.begin(), sense.data.begin() + 8 + 2 + sense.data[9]);
    std::fill(page.begin(), page.begin() + 8, 0);
    const auto length = static_cast<std::uint16_t>(page.size());
    return CmdOut(target_,
                  {0x55, 0x10, 0, 0, 0, 0, 0, static_cast<std::uint8_t>(length >> 8),
                   static_cast<std::uint8_t>(length), 0},
                  page);
  }

  Reply FormatDvdPlusRw() {
    return CmdOut(target_, {0x04, 0x11, 0, 0, 0, 0},
                  {0x00, 0x82, 0x00, 0x08, 0xFF, 0xFF, 0xFF, 0xFF, 0x98, 0x00, 0x00, 0x00});
  }

  Reply FormatDvdRam() {
    Reply caps = Cmd(target_, Cdb10(0x23, 0, 0, 4096), 4096);
    if (!caps.Good()) return caps;
    std::vector<std::uint8_t> list = {0x00, 0x82, 0x00, 0x08};
    list.insert(list.end(), caps.data.begin() + 4, caps.data.begin() + 8);
    list.insert(list.end(), {0x00, 0x00, 0x08, 0x00});
    return CmdOut(target_, {0x04, 0x11, 0, 0, 0, 0}, list);
  }

  // Track-at-once of `data` (whole 2048-byte blocks) as the library sends it; the first reply
  // that failed, or the last one.
  Reply TrackAtOnce(const std::vector<std::uint8_t>& data, TaoOptions o = {}) {
    Reply r = Cmd(target_, {0x00, 0, 0, 0, 0, 0});
    if (!r.Good()) return r;
    const std::uint16_t profile = Profile();
    r = RestoreWriteParameters();
    if (!r.Good()) return r;
    if (DvdSequence(profile))
      r = SetWriteParameters(2, 8, 5, o.testWrite, false, 0, true);
    else
      r = SetWriteParameters(1, o.xa ? 10 : 8, 4, o.testWrite, o.multiSession, o.xa ? 0x20 : 0,
                             false);
    if (!r.Good()) return r;
    const auto blocks = static_cast<std::uint32_t>(data.size() / 2048);
    std::uint32_t nwa = 0;
    if (profile == 0x12 || profile == 0x1A) {
      r = Cmd(target_, Cdb10(0x25), 8);
      if (!r.Good()) return r;
      if (r.U32(0) == 0) {
        r = profile == 0x1A ? FormatDvdPlusRw() : FormatDvdRam();
        if (!r.Good()) return r;
      }
    } else {
      r = Cmd(target_, Cdb10(0x52, 0x01, DvdSequence(profile) ? 1 : 0xFF, 4096), 4096);
      if (!r.Good()) return r;
      const bool blank = r.data[6] & 0x40, nwaValid = r.data[7] & 0x01;
      if (!blank || (!nwaValid && profile != 0x11)) {
        r.status = 0xFF;  // the library's "Track is not blank" / "NWA not valid"
        return r;
      }
      nwa = r.U32(12);
    }
    if (DvdSequence(profile)) {
      const std::uint32_t size = blocks + 1;
      r = Cmd(target_, {0x53, 0, 0, 0, 0, static_cast<std::uint8_t>(size >> 24),
                        static_cast<std::uint8_t>(size >> 16), static_cast<std::uint8_t>(size >> 8),
                        static_cast<std::uint8_t>(size), 0});
      if (!r.Good()) return r;
    }
    int writes = 0;
    for (std::uint32_t done = 0; done < blocks;) {
      const std::uint32_t n = std::min<std::uint32_t>(30, blocks - done);
      std::vector<std::uint8_t> chunk(data.begin() + done * 2048, data.begin() + (done + n) * 2048);
      r = CmdOut(target_, Cdb10(0x2A, 0, nwa + done, static_cast<std::uint16_t>(n)), chunk);
      if (!r.Good()) return r;
      done += n;
      if (++writes % 9 == 0 && profile != 0x12) Cmd(target_, Cdb10(0x5C, 0, 0, 12), 12);
    }
    r = Cmd(target_, Cdb10(0x35, 0x02));
    if (!r.Good()) return r;
    Cmd(target_, Cdb10(0x51, 0, 0, 4096), 4096);
    return Cmd(target_, {0x00, 0, 0, 0, 0, 0});
  }

  Reply Close(std::uint8_t immed, std::uint8_t function, std::uint16_t track) {
    return Cmd(target_, {0x5B, immed, function, 0, static_cast<std::uint8_t>(track >> 8),
                         static_cast<std::uint8_t>(track), 0, 0, 0, 0});
  }

  // CloseSession of the library, by disc type.
  Reply CloseSession() {
    const std::uint16_t profile = Profile();
    if (profile == 0x1B) {
      Reply r = Close(1, 1, 1);
      if (!r.Good()) return r;
      return Close(1, 5, 0);
    }
    if (profile >= 0x10 && profile <= 0x14) {
      Reply none;
      none.status = aspi::SS_COMP;
      return none;
    }
    if (profile == 0x1A) return Close(0, 2, 0);
    Reply r = Close(1, 2, 0);
    if (!r.Good()) r = Close(0, 2, 0);
    return r;
  }

  // Session-at-once as the library sends it: the write parameters page, then the cue sheet.
  Reply SendCueSheet(const std::vector<std::uint8_t>& cue, bool multi = false,
                     std::uint8_t blockType = 8) {
    Reply r = SetWriteParameters(2, blockType, 4, false, multi, 0, false);
    if (!r.Good()) return r;
    const auto n = static_cast<std::uint32_t>(cue.size());
    return CmdOut(target_,
                  {0x5D, 0, 0, 0, 0, 0, static_cast<std::uint8_t>(n >> 16),
                   static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n), 0},
                  cue);
  }
  // Blocks from `lba` on, `size` bytes each, in writes of at most 10; `fill` makes block i.
  Reply WriteBlocks(std::int32_t lba, std::int32_t count, std::size_t size,
                    const std::function<void(std::int32_t, std::uint8_t*)>& fill = {}) {
    Reply r;
    r.status = aspi::SS_COMP;
    for (std::int32_t done = 0; done < count;) {
      const std::int32_t n = std::min<std::int32_t>(10, count - done);
      std::vector<std::uint8_t> chunk(static_cast<std::size_t>(n) * size, 0);
      if (fill)
        for (std::int32_t i = 0; i < n; ++i) fill(lba + done + i, chunk.data() + i * size);
      r = CmdOut(
          target_,
          Cdb10(0x2A, 0, static_cast<std::uint32_t>(lba + done), static_cast<std::uint16_t>(n)),
          chunk);
      if (!r.Good()) return r;
      done += n;
    }
    return r;
  }

  Reply ReadBlocks(std::uint32_t lba, std::uint16_t count) {
    return Cmd(target_, Cdb10(0x28, 0, lba, count), static_cast<size_t>(count) * 2048);
  }

 private:
  std::uint8_t target_;
};

}  // namespace aspitest
