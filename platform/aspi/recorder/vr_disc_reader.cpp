#include "platform/aspi/recorder/vr_disc_reader.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/aspi/recorder/coding/vr_sector_coding.h"

namespace platform::aspi::vr {

namespace fs = platform::fs;

namespace {

void PreadAll(int fd, std::uint8_t* out, std::size_t n, off_t at) {
  std::size_t done = 0;
  while (done < n) {
    const ssize_t r = pread(fd, out + done, n - done, at + static_cast<off_t>(done));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) throw fs::FsError("read of fixture failed", errno);
    if (r == 0) break;
    done += static_cast<std::size_t>(r);
  }
  std::memset(out + done, 0, n - done);
}

}  // namespace

SectorForm FormAt(const Disc& disc, std::int64_t lba) {
  SectorForm form = SectorForm::Mode1;
  for (const auto& t : disc.tracks)
    if (t.start - t.pregap <= lba) form = t.form;
  return form;
}

void EncodeEmpty(const Disc& disc, std::int64_t lba, std::uint8_t* out) {
  const SectorForm form = FormAt(disc, lba);
  static const std::uint8_t kZero[kUserSectorSize] = {};
  static const std::uint8_t kSubheader[4] = {};
  if (form == SectorForm::Audio)
    std::memset(out, 0, kRawSectorSize);  // silence
  else if (form == SectorForm::Mode2Form1 || form == SectorForm::Mode2)
    EncodeMode2Form1(lba, kSubheader, kZero, out);
  else
    EncodeMode1(lba, kZero, out);
}

fs::File& DiscReader::Fixture() {
  if (!fixture_.IsOpen()) fixture_ = fs::File(disc_.fixture, fs::OpenMode::Read);
  return fixture_;
}

void DiscReader::UserBlocks(std::int64_t lba, std::uint8_t* out, std::size_t count) {
  if (disc_.pressed == PressedImage::Iso) {
    PreadAll(Fixture().Descriptor(), out, count * kUserSectorSize,
             static_cast<off_t>(lba) * static_cast<off_t>(kUserSectorSize));
    return;
  }
  if (!disc_.IsCd()) {
    store_.ReadSectors(disc_, lba, out, count);
    return;
  }
  for (std::size_t i = 0; i < count; ++i)
    User(lba + static_cast<std::int64_t>(i), out + i * kUserSectorSize);
}

void DiscReader::User(std::int64_t lba, std::uint8_t* out) {
  if (disc_.pressed == PressedImage::Iso || !disc_.IsCd()) {
    UserBlocks(lba, out, 1);
    return;
  }
  std::uint8_t raw[kRawSectorSize];
  if (disc_.pressed == PressedImage::Bin)
    PreadAll(Fixture().Descriptor(), raw, kRawSectorSize,
             static_cast<off_t>(lba) * static_cast<off_t>(kRawSectorSize));
  else
    store_.ReadSectors(disc_, lba, raw, 1);
  if (!HasSync(raw) || FormAt(disc_, lba) == SectorForm::Audio) {  // samples hold no user data
    std::memset(out, 0, kUserSectorSize);
    return;
  }
  std::memcpy(out, raw + ((raw[15] & 3) == 2 ? 24 : 16), kUserSectorSize);
}

void DiscReader::Raw(std::int64_t lba, std::uint8_t* out) {
  if (disc_.pressed == PressedImage::Iso) {
    std::uint8_t user[kUserSectorSize];
    UserBlocks(lba, user, 1);
    EncodeMode1(lba, user, out);
    return;
  }
  if (disc_.pressed == PressedImage::Bin)
    PreadAll(Fixture().Descriptor(), out, kRawSectorSize,
             static_cast<off_t>(lba) * static_cast<off_t>(kRawSectorSize));
  else
    store_.ReadSectors(disc_, lba, out, 1);
  // Samples are whatever they are; an unwritten audio sector reads as silence all the same. A
  // data track's sector that was never written (all zero) reads as an empty one of its form; a
  // written one as it was burnt, a damaged sync and all.
  if (FormAt(disc_, lba) != SectorForm::Audio &&
      std::all_of(out, out + kRawSectorSize, [](std::uint8_t b) { return b == 0; }))
    EncodeEmpty(disc_, lba, out);
}

}  // namespace platform::aspi::vr
