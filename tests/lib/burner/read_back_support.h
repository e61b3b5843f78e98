// Reading an ejected CD back with outside tools: bchunk cuts the recorder's .bin by its .cue,
// and the user data of its data tracks is taken from the raw sectors here, each sector's sync,
// header and subheader checked on the way (ECMA-130 and the CD-ROM XA layout).
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "tests/lib/burner/session_test_support.h"

namespace burnertest {

// bchunk's tracks of the recorder's image `base` (.bin and .cue) into `out`/track01..., raw
// 2352-byte sectors for Mode 2 tracks (-r), the 2048-byte user data of Mode 1 tracks, WAV files
// for audio tracks (-w).
inline void BchunkRaw(const std::string& base, const std::string& out) {
  std::filesystem::create_directories(out);
  const std::filesystem::path b(base);
  std::string log;
  EXPECT_EQ(
      RunCommand("cd " + b.parent_path().string() + " && bchunk -r -w " + b.filename().string() +
                     ".bin " + b.filename().string() + ".cue " + out + "/track",
                 &log),
      0)
      << log;
}

// The 2048-byte user data of raw Mode 2 Form 1 sectors (2352 bytes each): sync, mode byte 2,
// the subheader twice alike with the Form 2 bit clear. A sector that is not one stops the
// extraction; `why` names it.
inline Bytes Form1UserData(const Bytes& raw, std::string* why) {
  static const std::uint8_t kSync[12] = {0,    0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                         0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0};
  Bytes data;
  if (raw.size() % 2352) *why = "a partial sector at the end";
  for (std::size_t at = 0; at + 2352 <= raw.size(); at += 2352) {
    const std::uint8_t* s = raw.data() + at;
    const std::string sector = "sector " + std::to_string(at / 2352) + ": ";
    if (std::memcmp(s, kSync, 12) != 0) {
      *why = sector + "no sync";
      break;
    }
    if (s[15] != 2) {
      *why = sector + "mode " + std::to_string(s[15]);
      break;
    }
    if (std::memcmp(s + 16, s + 20, 4) != 0 || (s[18] & 0x20)) {
      *why = sector + "not a Form 1 subheader";
      break;
    }
    data.insert(data.end(), s + 24, s + 24 + 2048);
  }
  return data;
}

}  // namespace burnertest
