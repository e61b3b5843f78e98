// MODE SENSE(10) and MODE SELECT(10) of pages 01h (error recovery), 05h (write parameters),
// 2Ah (capabilities) and, when the recorder offers it, vendor page 30h (underrun protection).
#include <array>

#include "platform/aspi/recorder/commands/vr_commands.h"

namespace platform::aspi::vr {

namespace {

constexpr std::uint16_t kBufferKb = 2048;

std::vector<std::uint8_t> CapabilitiesPage(Drive& d, bool changeable) {
  const Disc& disc = d.disc();
  const auto writes = WriteSpeeds(disc);
  std::vector<std::uint8_t> p(32 + 4 * writes.size(), 0);
  p[0] = 0x2A;
  p[1] = static_cast<std::uint8_t>(p.size() - 2);
  if (changeable) return p;
  const auto reads = ReadSpeeds(disc);
  p[2] = 0x3F;  // reads CD-R, CD-RW, method 2, DVD-ROM, DVD-R, DVD-RAM
  p[3] = 0x37;  // writes CD-R, CD-RW, DVD-R, DVD-RAM; test write
  p[4] = 0xD0;  // BUF, multi-session, Mode 2 Form 1
  p[6] = static_cast<std::uint8_t>(0x29 | (d.prevent ? 0x02 : 0));  // tray, eject, lock
  Put16(p, 8, reads.back());
  Put16(p, 12, kBufferKb);
  Put16(p, 14, CurrentSpeed(reads, d.state.settings.readSpeed));
  Put16(p, 18, writes.back());
  const std::uint16_t write = CurrentSpeed(writes, d.state.settings.writeSpeed);
  Put16(p, 20, write);
  Put16(p, 28, write);
  Put16(p, 30, static_cast<std::uint32_t>(writes.size()));
  for (size_t i = 0; i < writes.size(); ++i)
    Put16(p, 32 + 4 * i + 2, writes[writes.size() - 1 - i]);
  return p;
}

std::array<std::uint8_t, kWriteParametersSize> WriteParametersMask() {
  std::array<std::uint8_t, kWriteParametersSize> m{};
  m[0] = 0x05;
  m[1] = kWriteParametersSize - 2;
  m[2] = 0x7F;
  m[3] = 0xFF;
  m[4] = 0x0F;
  m[5] = 0xFF;
  m[7] = 0x3F;
  m[8] = 0xFF;
  for (size_t i = 10; i < kWriteParametersSize; ++i) m[i] = 0xFF;
  return m;
}

std::array<std::uint8_t, kErrorRecoverySize> ErrorRecoveryMask() {
  return {0x01, kErrorRecoverySize - 2, 0x3F, 0xFF, 0, 0, 0, 0, 0xFF, 0, 0xFF, 0xFF};
}

std::array<std::uint8_t, kUnderrunPageSize> UnderrunPage(bool enabled, bool changeable) {
  std::array<std::uint8_t, kUnderrunPageSize> p{0x30, kUnderrunPageSize - 2};
  if (changeable) {
    p[3] = 0x01;
  } else {
    p[2] = 0x01;  // supported
    p[3] = enabled ? 0x01 : 0x00;
  }
  return p;
}

template <size_t N>
std::vector<std::uint8_t> Vec(const std::array<std::uint8_t, N>& a) {
  return {a.begin(), a.end()};
}

Media MediaInTray(Drive& d) {
  return d.state.trayEmpty ? d.config.media : d.disc().media;
}

// Fields outside the changeable mask must stay as they are.
template <size_t N>
void CheckUnchangeable(std::span<const std::uint8_t> page, const std::array<std::uint8_t, N>& now,
                       const std::array<std::uint8_t, N>& mask) {
  for (size_t i = 2; i < N; ++i)
    if ((page[i] ^ now[i]) & ~mask[i]) InvalidFieldInParameters();
}

}  // namespace

void HandleModeSense10(Drive& d, Exchange& x) {
  if ((x.B(1) & 0xE7) || x.B(3) || x.B(4) || x.B(5) || x.B(6)) InvalidFieldInCdb();
  const std::uint8_t control = x.B(2) >> 6, code = x.B(2) & 0x3F;
  if (control == 3) SavingNotSupported();
  const bool changeable = control == 1, defaults = control == 2;
  std::vector<std::uint8_t> page;
  switch (code) {
    case 0x01:
      page = Vec(changeable ? ErrorRecoveryMask()
                 : defaults ? DriveSettings::DefaultErrorRecovery()
                            : d.state.settings.errorRecovery);
      break;
    case 0x05:
      page = Vec(changeable ? WriteParametersMask()
                 : defaults ? WriteParameters::Default(MediaInTray(d)).page
                            : d.write().page);
      break;
    case 0x2A:
      page = CapabilitiesPage(d, changeable);
      break;
    case 0x30:
      if (!d.config.underrunPage) InvalidFieldInCdb();
      page = Vec(UnderrunPage(!defaults && d.state.settings.underrunPageEnabled, changeable));
      break;
    default:
      InvalidFieldInCdb();
  }
  std::vector<std::uint8_t> b(8, 0);
  b.insert(b.end(), page.begin(), page.end());
  Put16(b, 0, static_cast<std::uint32_t>(b.size() - 2));
  x.Reply(b, x.U16(7));
}

void HandleModeSelect10(Drive& d, Exchange& x) {
  if (!(x.B(1) & 0x10) || (x.B(1) & 0xEF)) InvalidFieldInCdb();  // PF only; no saved pages
  for (size_t i = 2; i <= 6; ++i)
    if (x.B(i)) InvalidFieldInCdb();
  const std::uint16_t length = x.U16(7);
  if (length == 0) return;
  if (length < 8) ParameterListLengthError();
  const auto list = x.Parameters(length);
  if (list[0] || list[1] || list[6] || list[7]) InvalidFieldInParameters();
  DriveSettings next = d.state.settings;
  for (size_t at = 8; at < list.size();) {
    if (list.size() - at < 2) ParameterListLengthError();
    const std::uint8_t code = list[at], len = list[at + 1];
    if (list.size() - at < 2u + len) ParameterListLengthError();
    const auto page = list.subspan(at, 2u + len);
    switch (code) {
      case 0x05: {
        if (page.size() != kWriteParametersSize) InvalidFieldInParameters();
        WriteParameters w;
        std::copy(page.begin(), page.end(), w.page.begin());
        CheckUnchangeable(page, d.write().page, WriteParametersMask());
        ValidateWriteParameters(w, MediaInTray(d));
        next.write = w;
        break;
      }
      case 0x01:
        if (page.size() != kErrorRecoverySize) InvalidFieldInParameters();
        CheckUnchangeable(page, d.state.settings.errorRecovery, ErrorRecoveryMask());
        std::copy(page.begin(), page.end(), next.errorRecovery.begin());
        break;
      case 0x30:
        if (!d.config.underrunPage || page.size() != kUnderrunPageSize) InvalidFieldInParameters();
        CheckUnchangeable(page, UnderrunPage(d.state.settings.underrunPageEnabled, false),
                          UnderrunPage(false, true));
        next.underrunPageEnabled = page[3] & 0x01;
        break;
      default:
        InvalidFieldInParameters();
    }
    at += page.size();
  }
  d.state.settings = next;
  d.dirty = true;
}

}  // namespace platform::aspi::vr
