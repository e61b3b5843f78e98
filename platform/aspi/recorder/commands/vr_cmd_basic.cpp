// INQUIRY, TEST UNIT READY, REQUEST SENSE, START STOP UNIT, PREVENT ALLOW MEDIUM REMOVAL,
// SET CD SPEED, READ BUFFER CAPACITY and SEND OPC INFORMATION.
#include <cstring>

#include "platform/aspi/recorder/commands/vr_commands.h"

namespace platform::aspi::vr {

namespace {

void PutText(std::vector<std::uint8_t>& b, size_t at, size_t width, const std::string& text) {
  for (size_t i = 0; i < width; ++i)
    b[at + i] = static_cast<std::uint8_t>(i < text.size() ? text[i] : ' ');
}

}  // namespace

std::vector<std::uint16_t> ReadSpeeds(const Disc& disc) {
  if (disc.IsCd()) return {1764, 3528, 5645, 7056, 8467};  // 10x to 48x
  return {2770, 5540, 11080, 22160};                       // 2x to 16x
}

std::vector<std::uint16_t> WriteSpeeds(const Disc& disc) {
  if (disc.IsCd()) return {706, 1764, 3528, 7056, 8467};  // 4x to 48x
  return {1385, 2770, 5540, 11080, 22160};                // 1x to 16x
}

std::uint16_t CurrentSpeed(const std::vector<std::uint16_t>& speeds, std::uint16_t chosen) {
  if (chosen == 0) return speeds.back();
  std::uint16_t best = speeds.front();
  for (auto s : speeds)
    if (s <= chosen) best = s;
  return best;
}

void HandleInquiry(Drive& d, Exchange& x) {
  if (x.B(1) != 0 || x.B(2) != 0) InvalidFieldInCdb();  // no vital product data pages
  std::vector<std::uint8_t> b(96, 0);
  b[0] = 0x05;  // CD/DVD device
  b[1] = 0x80;  // removable
  b[2] = 0x05;
  b[3] = 0x02;
  b[4] = static_cast<std::uint8_t>(b.size() - 5);
  PutText(b, 8, 8, d.config.vendor);
  PutText(b, 16, 16, d.config.product);
  PutText(b, 32, 4, d.config.revision);
  x.Reply(b, x.U16(3));
}

void HandleTestUnitReady(Drive&, Exchange& x) {
  if (x.B(1) || x.B(2) || x.B(3) || x.B(4)) InvalidFieldInCdb();
}

void HandleRequestSense(Drive& d, Exchange& x) {
  if (x.B(1) & 0x01) InvalidFieldInCdb();  // descriptor format
  Sense s;
  if (d.faults.unitAttention) {
    s = {6, d.faults.unitAttention, 0};
    d.faults.unitAttention = 0;
  } else if (d.drain.Flushing(d.clock.Now())) {
    s = {2, 0x04, 0x08};
  } else if (d.state.trayEmpty) {
    s = {2, 0x3A, 0x00};
  }
  const auto fixed = FixedSense(s);
  x.Reply({fixed.begin(), fixed.end()}, x.B(4));
}

void HandleStartStopUnit(Drive& d, Exchange& x) {
  if ((x.B(1) & 0xFE) || x.B(2) || (x.B(4) & 0x0C)) InvalidFieldInCdb();
  d.Immed(x.B(1) & 0x01);
  const std::uint8_t power = x.B(4) >> 4;
  if (power != 0) return;  // power conditions: the drive has none to change
  const bool loEj = x.B(4) & 0x02, start = x.B(4) & 0x01;
  if (!loEj) return;
  if (start)
    d.Load();
  else
    d.Eject();
}

void HandlePreventAllow(Drive& d, Exchange& x) {
  if (x.B(1) || x.B(2) || x.B(3) || (x.B(4) & 0xFC)) InvalidFieldInCdb();
  d.prevent = x.B(4) & 0x01;
}

void HandleSetCdSpeed(Drive& d, Exchange& x) {
  if ((x.B(1) & 0x03) > 1 || (x.B(1) & 0xFC)) InvalidFieldInCdb();
  const std::uint16_t read = x.U16(2), write = x.U16(4);
  d.state.settings.readSpeed = read == 0xFFFF ? 0 : read;
  d.state.settings.writeSpeed = write == 0xFFFF ? 0 : write;
  d.dirty = true;
}

void HandleReadBufferCapacity(Drive& d, Exchange& x) {
  if (x.B(1) & 0xFE) InvalidFieldInCdb();
  const bool blocks = x.B(1) & 0x01;
  std::vector<std::uint8_t> b(12, 0);
  Put16(b, 0, 10);
  const std::uint64_t blank = d.drain.Blank(d.clock.Now());
  if (blocks) {
    b[3] = 0x01;
    Put32(b, 8, static_cast<std::uint32_t>(blank / 2048));
  } else {
    Put32(b, 4, static_cast<std::uint32_t>(d.drain.Capacity()));
    Put32(b, 8, static_cast<std::uint32_t>(blank));
  }
  x.Reply(b, x.U16(7));
}

void HandleSendOpc(Drive& d, Exchange& x) {
  if (x.B(1) & 0xFE) InvalidFieldInCdb();
  const std::uint16_t length = x.U16(7);
  if (length % 8 != 0) InvalidFieldInCdb();
  if (!(x.B(1) & 0x01) && length == 0) return;  // nothing asked
  if (d.disc().IsRom()) IncompatibleFormat();
  if (length) x.Parameters(length);  // OPC values from the host: taken as they are
}

}  // namespace platform::aspi::vr
