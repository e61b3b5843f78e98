#include "platform/aspi/recorder/vr_drive_settings.h"

#include <charconv>
#include <cstdio>
#include <sstream>

#include "platform/aspi/recorder/vr_sense.h"

namespace platform::aspi::vr {

WriteParameters WriteParameters::Default(Media media) {
  WriteParameters p;
  p.page[0] = 0x05;
  p.page[1] = kWriteParametersSize - 2;
  const auto& t = Traits(media);
  if (t.cd) {
    p.page[2] = 0x01;  // track-at-once
    p.page[3] = 0x04;
  } else if (media == Media::DvdR || media == Media::DvdRwSequential || media == Media::DvdRom) {
    p.page[2] = 0x02;  // disc-at-once: this drive records DVD-R in one reserved track
    p.page[3] = 0x05;
  } else {
    p.page[3] = 0x05;
  }
  p.page[4] = 0x08;
  p.page[14] = 0x00;
  p.page[15] = 150;  // audio pause length
  return p;
}

std::size_t WriteParameters::BlockSize(Media media) const {
  if (!Traits(media).cd) return 2048;
  switch (BlockType()) {
    case 0:  // raw audio samples
      return 2352;
    case 1:  // raw with 16 bytes of PQ (disc-at-once)
      return 2368;
    case 3:  // raw with 96 bytes of raw P-W (disc-at-once)
      return 2448;
    case 8:   // Mode 1
    case 10:  // Mode 2 Form 1
      return 2048;
    case 13:  // Mode 2 Form 2 with its subheader
      return 2332;
    default:
      return 0;
  }
}

void ValidateWriteParameters(const WriteParameters& p, Media media) {
  const auto& t = Traits(media);
  if (p.page[0] != 0x05 || p.page[1] != kWriteParametersSize - 2) InvalidFieldInParameters();
  if (p.MultiSession() == 2) InvalidFieldInParameters();
  const bool sequentialDvd =
      media == Media::DvdR || media == Media::DvdRwSequential || media == Media::DvdRom;
  if (!t.cd && !sequentialDvd) return;  // DVD+R, DVD+RW, DVD-RAM and restricted overwrite
  const bool dataTrack = (p.TrackMode() & 0x0C) == 0x04;
  if (t.cd) {
    const std::uint8_t f = p.SessionFormat();
    if (f != 0x00 && f != 0x10 && f != 0x20) InvalidFieldInParameters();
    if (p.WriteType() == 2) {
      // Session-at-once: the cue sheet says what every block holds.
      if (p.BlockType() != 0 && p.BlockType() != 8) InvalidFieldInParameters();
      if (p.page[3] & 0x20) InvalidFieldInParameters();
      return;
    }
    if (p.WriteType() == 3) {
      // Disc-at-once: raw sectors whose subchannel says what every block is.
      if (p.BlockType() != 1 && p.BlockType() != 3) InvalidFieldInParameters();
      if (p.page[3] & 0x20) InvalidFieldInParameters();
      return;
    }
    if (p.WriteType() != 1) InvalidFieldInParameters();
    if (p.page[3] & 0x20) InvalidFieldInParameters();  // fixed packets need packet writing
    // Audio samples go in an audio track, user data in a data track.
    if (p.BlockType() == 0) {
      if (dataTrack) InvalidFieldInParameters();
    } else if (p.BlockType() != 8 && p.BlockType() != 10 && p.BlockType() != 13) {
      InvalidFieldInParameters();
    } else if (!dataTrack) {
      InvalidFieldInParameters();
    }
    if ((p.BlockType() == 10 || p.BlockType() == 13) && f != 0x20) InvalidFieldInParameters();
    return;
  }
  if (p.WriteType() != 2 || p.BlockType() != 8 || !dataTrack) InvalidFieldInParameters();
}

std::array<std::uint8_t, kErrorRecoverySize> DriveSettings::DefaultErrorRecovery() {
  return {0x01, kErrorRecoverySize - 2, 0x00, 0x10, 0, 0, 0, 0, 0x10, 0, 0, 0};
}

DriveSettings DriveSettings::Default(Media media) {
  DriveSettings s;
  s.write = WriteParameters::Default(media);
  s.errorRecovery = DefaultErrorRecovery();
  return s;
}

namespace {

// Appended digit by digit: the recorder's file is rewritten after every command that changes
// the drive's state.
template <size_t N>
void AppendHex(std::string& s, const std::array<std::uint8_t, N>& a) {
  static constexpr char kDigits[] = "0123456789abcdef";
  for (auto b : a) {
    s += kDigits[b >> 4];
    s += kDigits[b & 15];
  }
}

void AppendNumber(std::string& s, unsigned long long v) {
  char buf[24];
  s.append(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

template <size_t N>
bool Unhex(const std::string& s, std::array<std::uint8_t, N>& a) {
  if (s.size() != 2 * N) return false;
  for (size_t i = 0; i < N; ++i) {
    unsigned v = 0;
    if (std::sscanf(s.c_str() + 2 * i, "%2x", &v) != 1) return false;
    a[i] = static_cast<std::uint8_t>(v);
  }
  return true;
}

}  // namespace

std::string DriveSettings::Serialize() const {
  std::string out;
  out.reserve(64 + 2 * (kWriteParametersSize + kErrorRecoverySize));
  out += "page05 ";
  AppendHex(out, write.page);
  out += "\npage01 ";
  AppendHex(out, errorRecovery);
  out += "\npage30 ";
  out += underrunPageEnabled ? '1' : '0';
  out += "\nspeeds ";
  AppendNumber(out, readSpeed);
  out += ' ';
  AppendNumber(out, writeSpeed);
  out += '\n';
  return out;
}

std::optional<DriveSettings> DriveSettings::Parse(const std::string& text) {
  DriveSettings s;
  std::istringstream in(text);
  std::string key, value;
  int seen = 0;
  while (in >> key) {
    if (key == "page05" && in >> value && Unhex(value, s.write.page)) {
      ++seen;
    } else if (key == "page01" && in >> value && Unhex(value, s.errorRecovery)) {
      ++seen;
    } else if (key == "page30" && in >> s.underrunPageEnabled) {
      ++seen;
    } else if (key == "speeds" && in >> s.readSpeed >> s.writeSpeed) {
      ++seen;
    } else {
      return std::nullopt;
    }
  }
  if (seen != 4) return std::nullopt;
  return s;
}

}  // namespace platform::aspi::vr
