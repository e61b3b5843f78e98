#include "lib/core/scsi/dumps.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "lib/core/debug_trace.h"
#include "platform/debug/debug.h"

namespace {

// Bounded view of a caller's buffer: bytes past its end read as absent.
struct Bytes {
  const std::uint8_t* data;
  std::uint32_t size;

  bool Has(std::uint32_t at, std::uint32_t count = 1) const {
    return data && at <= size && count <= size - at;
  }
  std::uint8_t B(std::uint32_t at) const { return Has(at) ? data[at] : 0; }
  bool Bit(std::uint32_t at, int bit) const { return (B(at) >> bit) & 1; }
  std::uint32_t U16(std::uint32_t at) const { return std::uint32_t{B(at)} << 8 | B(at + 1); }
  std::uint32_t U24(std::uint32_t at) const { return std::uint32_t{B(at)} << 16 | U16(at + 1); }
  std::uint32_t U32(std::uint32_t at) const { return std::uint32_t{B(at)} << 24 | U24(at + 1); }
};

const char* YesNo(bool value) {
  return value ? "Yes" : "No";
}

// "\n<function>(): <text>\n"
void Line(const char* function, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Line(const char* function, const char* format, ...) {
  char text[4096] = {};
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  DebugTrace("\n%s(): %s\n", function, text);
}

// A flag bit, when its byte is there.
void Flag(const char* function, const Bytes& b, std::uint32_t at, int bit, const char* name) {
  if (b.Has(at)) Line(function, "%s: %s", name, YesNo(b.Bit(at, bit)));
}

void Text(const char* function, const Bytes& b, std::uint32_t at, std::uint32_t width,
          const char* name) {
  if (!b.Has(at, width)) return;
  char text[32] = {};
  for (std::uint32_t i = 0; i < width && i < sizeof text - 1; ++i) {
    const char c = static_cast<char>(b.data[at + i]);
    text[i] = (c >= 0x20 && c < 0x7F) ? c : '.';
  }
  Line(function, "%s: '%s'", name, text);
}

void PageHeader(const char* function, const Bytes& b, std::uint32_t minimum) {
  Line(function, "PS: %s", YesNo(b.Bit(0, 7)));
  Line(function, "Page code: 0x%02X", b.B(0) & 0x3F);
  Line(function, "Page length: %u", b.B(1));
  if (b.B(1) + 2u < minimum)
    Line(function, "WARNING! Length %ld less then %ld!", static_cast<long>(b.B(1) + 2),
         static_cast<long>(minimum));
}

}  // namespace

void DumpCueSheet(const std::uint8_t* p__PUCHAR__CueSheet, std::uint32_t p__ULONG__Size) {
  const char* f = "DumpCueSheet";
  if (!platform::debug::IsActive()) return;
  const Bytes b{p__PUCHAR__CueSheet, p__ULONG__Size};
  Line(f, "CTL/ADR   TNO   INDEX   DATA FORM   SCMS   AMIN   ASEC   AFRAME");
  for (std::uint32_t at = 0; b.Has(at, 8); at += 8) {
    if (b.B(at) == 0) break;
    Line(f, "0x%02X      0x%02X  0x%02X    0x%02X        0x%02X   0x%02X   0x%02X   0x%02X",
         b.B(at), b.B(at + 1), b.B(at + 2), b.B(at + 3), b.B(at + 4), b.B(at + 5), b.B(at + 6),
         b.B(at + 7));
  }
}

void DumpDVDLayerDescriptor(const std::uint8_t* p__PUCHAR__Descriptor,
                            std::uint32_t p__ULONG__Size) {
  const char* f = "DumpDVDLayerDescriptor";
  if (!platform::debug::IsActive()) return;
  const Bytes b{p__PUCHAR__Descriptor, p__ULONG__Size};
  if (!b.Has(0, 17)) {
    Line(f, "WARNING! Length %ld less then %ld!", static_cast<long>(p__ULONG__Size), 17L);
    return;
  }
  Line(f, "Book type: 0x%02X", b.B(0) >> 4);
  Line(f, "Book version: 0x%02X", b.B(0) & 0x0F);
  Line(f, "Disc size: 0x%02X", b.B(1) >> 4);
  Line(f, "Minimum rate: 0x%02X", b.B(1) & 0x0F);
  Line(f, "Number of layers: %u", ((b.B(2) >> 5) & 0x03) + 1u);
  Line(f, "Track path: %s", b.Bit(2, 4) ? "Opposite" : "Parallel");
  Line(f, "Layer type: 0x%02X", b.B(2) & 0x0F);
  Line(f, "Linear density: 0x%02X", b.B(3) >> 4);
  Line(f, "Track density: 0x%02X", b.B(3) & 0x0F);
  Line(f, "Starting physical sector number of data area: 0x%06X", b.U24(5));
  Line(f, "End physical sector number of data area: 0x%06X", b.U24(9));
  Line(f, "End sector number in layer 0: 0x%06X", b.U24(13));
  Line(f, "BCA: %s", YesNo(b.Bit(16, 7)));
}

void DumpSenseData(const std::uint8_t* p__PUCHAR__Sense, std::uint32_t p__ULONG__Size) {
  const char* f = "DumpSenseData";
  if (!platform::debug::IsActive()) return;
  const Bytes b{p__PUCHAR__Sense, p__ULONG__Size};
  if (!b.Has(0, 3)) return;
  Line(f, "Valid: %s", YesNo(b.Bit(0, 7)));
  Line(f, "Error code: 0x%02X", b.B(0) & 0x7F);
  if (b.Has(1)) Line(f, "Segment number: 0x%02X", b.B(1));
  Flag(f, b, 2, 7, "Filemark");
  Flag(f, b, 2, 6, "EOM");
  Flag(f, b, 2, 5, "ILI");
  Line(f, "Sense key: 0x%02X", b.B(2) & 0x0F);
  if (b.Has(3, 4)) Line(f, "Information: 0x%08X", b.U32(3));
  if (b.Has(7)) Line(f, "Additional sense length: %u", b.B(7));
  if (b.Has(8, 4)) Line(f, "Command specific information: 0x%08X", b.U32(8));
  if (b.Has(12)) Line(f, "Additional sense code: 0x%02X", b.B(12));
  if (b.Has(13)) Line(f, "Additional sense code qualifier: 0x%02X", b.B(13));
  if (b.Has(14)) Line(f, "Field replaceable unit code: 0x%02X", b.B(14));
  if (b.Has(15, 3)) {
    Line(f, "SKSV: %s", YesNo(b.Bit(15, 7)));
    Line(f, "Sense key specific: 0x%06X", b.U24(15) & 0x7FFFFF);
  }
}

void DumpSRB(const platform::aspi::SrbExecScsiCmd* p__PSRB_ExecSCSICmd__SRB) {
  const char* f = "DumpSRB";
  if (!p__PSRB_ExecSCSICmd__SRB || !platform::debug::IsActive()) return;
  const auto& s = *p__PSRB_ExecSCSICmd__SRB;
  Line(f, "SRB status: 0x%02X", s.header.status);  // read after completion
  Line(f, "Host adapter: %u, target ID: %u, LUN: %u, flags: 0x%02X", s.header.hostAdapter, s.target,
       s.lun, s.header.flags);
  Line(f, "Host adapter status: 0x%02X", s.hostAdapterStatus);
  Line(f, "Target status: 0x%02X", s.targetStatus);
  Line(f, "Data length: %u", s.dataLength);
  char cdb[3 * platform::aspi::kMaxCdbLength + 1] = {};
  const std::size_t length = std::min<std::size_t>(s.cdbLength, platform::aspi::kMaxCdbLength);
  for (std::size_t i = 0; i < length; ++i)
    std::snprintf(cdb + 3 * i, sizeof cdb - 3 * i, "%02X ", s.cdb[i]);
  Line(f, "CDB length: %u, CDB: %s", s.cdbLength, cdb);
}

void DumpHostAdapterInquiry(const platform::aspi::SrbHaInquiry* p__PSRB_HAInquiry__SRB) {
  const char* f = "DumpHostAdapterInquiry";
  if (!p__PSRB_HAInquiry__SRB || !platform::debug::IsActive()) return;
  const auto& s = *p__PSRB_HAInquiry__SRB;
  char manager[sizeof s.managerId + 1] = {}, adapter[sizeof s.adapterId + 1] = {};
  std::copy(std::begin(s.managerId), std::end(s.managerId), manager);
  std::copy(std::begin(s.adapterId), std::end(s.adapterId), adapter);
  Line(f, "SCSI port inquiry dump");
  Line(f, "Host adapter: %u", s.header.hostAdapter);
  Line(f, "Host adapter count: %u", s.adapterCount);
  Line(f, "Host adapter SCSI ID: %u", s.adapterScsiId);
  Line(f, "Manager: '%s'", manager);
  Line(f, "Host adapter identifier: '%s'", adapter);
  Line(f, "Maximum transfer: %u", s.maxTransfer);
  Line(f, "Maximum targets: %u", s.maxTargets);
}

void DumpDeviceInquiry(const std::uint8_t* p__PUCHAR__Inquiry, std::uint32_t p__ULONG__Size) {
  const char* f = "DumpDeviceInquiry";
  if (!platform::debug::IsActive()) return;
  const Bytes b{p__PUCHAR__Inquiry, p__ULONG__Size};
  if (!b.Has(0)) return;
  Line(f, "Peripheral qualifier: 0x%02X", b.B(0) >> 5);
  Line(f, "Peripheral device type: 0x%02X", b.B(0) & 0x1F);
  Flag(f, b, 1, 7, "Removable");
  if (b.Has(2)) Line(f, "Version: 0x%02X", b.B(2));
  Flag(f, b, 3, 5, "NormACA");
  Flag(f, b, 3, 4, "HiSup");
  if (b.Has(3)) Line(f, "Response data format: 0x%02X", b.B(3) & 0x0F);
  if (b.Has(4)) Line(f, "Additional length: %u", b.B(4));
  Flag(f, b, 6, 6, "EncServ");
  Flag(f, b, 6, 4, "MultiP");
  Flag(f, b, 7, 7, "RelAdr");
  Flag(f, b, 7, 5, "WBus16");
  Flag(f, b, 7, 4, "Sync");
  Flag(f, b, 7, 3, "Linked");
  Flag(f, b, 7, 1, "CmdQue");
  Text(f, b, 8, 8, "Vendor identification");
  Text(f, b, 16, 16, "Product identification");
  Text(f, b, 32, 4, "Product revision level");
}

void CHalvorin_DumpAndParseTrackInformation(
    const std::uint8_t* p__PUCHAR__Data, std::uint32_t p__ULONG__Size, bool* p__PBOOLEAN__IsBlank,
    bool* p__PBOOLEAN__IsNextWritableAddressValid, std::uint32_t* p__PULONG__FreeBlocks,
    std::uint32_t* p__PULONG__NextWritableAddress, std::uint8_t* p__PUCHAR__TrackNumber) {
  const char* f = "CHalvorin_DumpAndParseTrackInformation";
  const Bytes whole{p__PUCHAR__Data, p__ULONG__Size};
  const std::uint32_t length = whole.Has(0, 2) ? whole.U16(0) : 0;
  if (length < 24) Line(f, "WARNING! Length %ld less then %ld!", static_cast<long>(length), 24L);
  // Only the bytes the drive returned count: bytes beyond its data length are stale.
  const Bytes b{p__PUCHAR__Data, std::min<std::uint32_t>(p__ULONG__Size, length + 2)};

  const bool nwaThere = b.Has(7) && b.Has(12, 4);
  *p__PBOOLEAN__IsBlank = b.Has(6) && b.Bit(6, 6);
  *p__PBOOLEAN__IsNextWritableAddressValid = nwaThere && b.Bit(7, 0);
  *p__PULONG__NextWritableAddress = nwaThere ? b.U32(12) : 0;
  *p__PULONG__FreeBlocks = b.Has(16, 4) ? b.U32(16) : 0;
  *p__PUCHAR__TrackNumber = b.B(2);

  if (!platform::debug::IsActive()) return;
  Line(f, "Data length: %u", length);
  if (b.Has(2)) Line(f, "Track number: %u", b.B(2));
  if (b.Has(3)) Line(f, "Session number: %u", b.B(3));
  Flag(f, b, 5, 5, "Damage");
  Flag(f, b, 5, 4, "Copy");
  if (b.Has(5)) Line(f, "Track mode: 0x%02X", b.B(5) & 0x0F);
  Flag(f, b, 6, 7, "RT");
  Flag(f, b, 6, 6, "Blank");
  Flag(f, b, 6, 5, "Packet");
  Flag(f, b, 6, 4, "FP");
  if (b.Has(6)) Line(f, "Data mode: 0x%02X", b.B(6) & 0x0F);
  Flag(f, b, 7, 1, "LRA_V");
  Flag(f, b, 7, 0, "NWA_V");
  if (b.Has(8, 4)) Line(f, "Track start address: %u", b.U32(8));
  if (b.Has(12, 4)) Line(f, "Next writable address: %u", b.U32(12));
  if (b.Has(16, 4)) Line(f, "Free blocks: %u", b.U32(16));
  if (b.Has(20, 4)) Line(f, "Fixed packet size: %u", b.U32(20));
  if (b.Has(24, 4)) Line(f, "Track size: %u", b.U32(24));
  if (b.Has(28, 4)) Line(f, "Last recorded address: %u", b.U32(28));
}

void CHalvorin_DumpCdvdCapabilitiesPage(const std::uint8_t* p__PUCHAR__Page,
                                        std::uint32_t p__ULONG__Size) {
  const char* f = "CHalvorin_DumpCdvdCapabilitiesPage";
  if (!platform::debug::IsActive()) return;
  const Bytes whole{p__PUCHAR__Page, p__ULONG__Size};
  if (!whole.Has(0, 2)) return;
  if ((whole.B(0) & 0x3F) != 0x2A) {
    Line(f, "Page code 0x%02X instead of 0x%02X!", whole.B(0) & 0x3F, 0x2A);
    return;
  }
  const Bytes b{p__PUCHAR__Page, std::min<std::uint32_t>(p__ULONG__Size, whole.B(1) + 2u)};
  PageHeader(f, b, 24);
  Flag(f, b, 2, 0, "Read CD-R");
  Flag(f, b, 2, 1, "Read CD-RW");
  Flag(f, b, 2, 2, "Method 2");
  Flag(f, b, 2, 3, "Read DVD-ROM");
  Flag(f, b, 2, 4, "Read DVD-R");
  Flag(f, b, 2, 5, "Read DVD-RAM");
  Flag(f, b, 3, 0, "Write CD-R");
  Flag(f, b, 3, 1, "Write CD-RW");
  Flag(f, b, 3, 2, "Test write");
  Flag(f, b, 3, 4, "Write DVD-R");
  Flag(f, b, 3, 5, "Write DVD-RAM");
  Flag(f, b, 4, 0, "Audio play");
  Flag(f, b, 4, 1, "Composite");
  Flag(f, b, 4, 2, "Digital port 1");
  Flag(f, b, 4, 3, "Digital port 2");
  Flag(f, b, 4, 4, "Mode 2 form 1");
  Flag(f, b, 4, 5, "Mode 2 form 2");
  Flag(f, b, 4, 6, "Multi session");
  Flag(f, b, 4, 7, "BUF");
  Flag(f, b, 5, 0, "CD-DA commands supported");
  Flag(f, b, 5, 1, "CD-DA stream is accurate");
  Flag(f, b, 5, 2, "R-W supported");
  Flag(f, b, 5, 3, "R-W de-interleaved and corrected");
  Flag(f, b, 5, 4, "C2 pointers supported");
  Flag(f, b, 5, 5, "ISRC");
  Flag(f, b, 5, 6, "UPC");
  Flag(f, b, 5, 7, "Read bar code");
  Flag(f, b, 6, 0, "Lock");
  Flag(f, b, 6, 1, "Lock state");
  Flag(f, b, 6, 2, "Prevent jumper");
  Flag(f, b, 6, 3, "Eject");
  if (b.Has(6)) Line(f, "Loading mechanism type: 0x%02X", b.B(6) >> 5);
  Flag(f, b, 7, 0, "Separate volume levels");
  Flag(f, b, 7, 1, "Separate channel mute");
  Flag(f, b, 7, 2, "Supports disc present");
  Flag(f, b, 7, 3, "S/W slot selection");
  Flag(f, b, 7, 4, "Side change capable");
  Flag(f, b, 7, 5, "R-W in lead-in");
  if (b.Has(8, 2)) Line(f, "Maximum read speed: %u", b.U16(8));
  if (b.Has(10, 2)) Line(f, "Number of volume levels: %u", b.U16(10));
  if (b.Has(12, 2)) Line(f, "Buffer size: %u", b.U16(12));
  if (b.Has(14, 2)) Line(f, "Current read speed: %u", b.U16(14));
  Flag(f, b, 17, 1, "BCKF");
  Flag(f, b, 17, 2, "RCK");
  Flag(f, b, 17, 3, "LSBF");
  if (b.Has(17)) Line(f, "Length: 0x%02X", (b.B(17) >> 4) & 0x03);
  if (b.Has(18, 2)) Line(f, "Maximum write speed: %u", b.U16(18));
  if (b.Has(20, 2)) Line(f, "Current write speed: %u", b.U16(20));
  if (b.Has(22, 2)) Line(f, "Copy management revision: %u", b.U16(22));
  if (b.Has(27)) Line(f, "Rotation control: 0x%02X", b.B(27) & 0x03);
  if (b.Has(28, 2)) Line(f, "Current write speed selected: %u", b.U16(28));
  if (b.Has(30, 2)) {
    const std::uint32_t count = b.U16(30);
    Line(f, "Number of write speed descriptors: %u", count);
    for (std::uint32_t i = 0; i < count && b.Has(32 + 4 * i, 4); ++i)
      Line(f, "Write speed %u: %u", i, b.U16(32 + 4 * i + 2));
  }
}

void Halvorin_DumpCdvdWriteParametersPage(const std::uint8_t* p__PUCHAR__Page,
                                          std::uint32_t p__ULONG__Size) {
  const char* f = "Halvorin_DumpCdvdWriteParametersPage";
  if (!platform::debug::IsActive()) return;
  const Bytes whole{p__PUCHAR__Page, p__ULONG__Size};
  if (!whole.Has(0, 2)) return;
  if ((whole.B(0) & 0x3F) != 0x05) {
    Line(f, "Page code 0x%02X instead of 0x%02X!", whole.B(0) & 0x3F, 0x05);
    return;
  }
  const Bytes b{p__PUCHAR__Page, std::min<std::uint32_t>(p__ULONG__Size, whole.B(1) + 2u)};
  PageHeader(f, b, 56);
  Flag(f, b, 2, 6, "BUFE");
  Flag(f, b, 2, 5, "LS_V");
  Flag(f, b, 2, 4, "Test write");
  if (b.Has(2)) Line(f, "Write type: 0x%02X", b.B(2) & 0x0F);
  if (b.Has(3)) Line(f, "Multi-session: 0x%02X", b.B(3) >> 6);
  Flag(f, b, 3, 5, "FP");
  Flag(f, b, 3, 4, "Copy");
  if (b.Has(3)) Line(f, "Track mode: 0x%02X", b.B(3) & 0x0F);
  if (b.Has(4)) Line(f, "Data block type: 0x%02X", b.B(4) & 0x0F);
  if (b.Has(5)) Line(f, "Link size: %u", b.B(5));
  if (b.Has(7)) Line(f, "Host application code: 0x%02X", b.B(7) & 0x3F);
  if (b.Has(8)) Line(f, "Session format: 0x%02X", b.B(8));
  if (b.Has(10, 4)) Line(f, "Packet size: %u", b.U32(10));
  if (b.Has(14, 2)) Line(f, "Audio pause length: %u", b.U16(14));
  Text(f, b, 16, 16, "Media catalog number");
  Text(f, b, 32, 16, "International standard recording code");
  for (std::uint32_t i = 0; i < 4; ++i)
    if (b.Has(48 + i)) Line(f, "Sub-header byte %u: 0x%02X", i, b.B(48 + i));
}
