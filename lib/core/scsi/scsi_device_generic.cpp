#include "lib/core/scsi/scsi_device_generic.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "lib/core/debug_trace.h"
#include "lib/core/halvorin_exception.h"
#include "lib/core/scsi/dumps.h"

namespace {

constexpr const char* kClass = "CHalvorin_ScsiDeviceGeneric";
constexpr std::uint8_t kNone = kHalvorinDirectionIn;  // no data moves: no buffer is passed

std::uint8_t Byte(std::uint32_t value, int shift) {
  return static_cast<std::uint8_t>(value >> shift);
}

void Put16(std::uint8_t* cdb, int at, std::uint32_t value) {
  cdb[at] = Byte(value, 8);
  cdb[at + 1] = Byte(value, 0);
}
void Put24(std::uint8_t* cdb, int at, std::uint32_t value) {
  cdb[at] = Byte(value, 16);
  Put16(cdb, at + 1, value);
}
void Put32(std::uint8_t* cdb, int at, std::uint32_t value) {
  cdb[at] = Byte(value, 24);
  Put24(cdb, at + 1, value);
}

// Allocation lengths beyond the field's width ask for as much as the field holds.
std::uint16_t Length16(std::uint32_t size) {
  return static_cast<std::uint16_t>(std::min<std::uint32_t>(size, 0xFFFF));
}
std::uint8_t Length8(std::uint32_t size) {
  return static_cast<std::uint8_t>(std::min<std::uint32_t>(size, 0xFF));
}

void CopyField(char* to, std::size_t toSize, const std::uint8_t* from, std::size_t width) {
  if (!to || toSize == 0) return;
  const std::size_t n = std::min(width, toSize - 1);
  std::memcpy(to, from, n);
  to[n] = 0;
}

}  // namespace

CHalvorin_ScsiDeviceGeneric::CHalvorin_ScsiDeviceGeneric(std::uint8_t p__UCHAR__HostAdapter,
                                                         std::uint8_t p__UCHAR__Bus,
                                                         std::uint8_t p__UCHAR__TargetID,
                                                         std::uint8_t p__UCHAR__LUN)
    : CHalvorin_ScsiTransportASPI(p__UCHAR__HostAdapter, p__UCHAR__Bus, p__UCHAR__TargetID,
                                  p__UCHAR__LUN) {
  HalvorinI_Traced("CHalvorin_ScsiDeviceGeneric::CHalvorin_ScsiDeviceGeneric", [&] {
    GetInquiryStrings(m__CHAR__VendorIdentification, kStringSize, m__CHAR__ProductIdentification,
                      kStringSize, m__CHAR__ProductRevision, kStringSize);
    DebugTrace(
        "\nCHalvorin_ScsiDeviceGeneric::CHalvorin_ScsiDeviceGeneric(): '%s' - '%s' - '%s' "
        "sits at %ld:%ld:%ld:%ld\n",
        m__CHAR__VendorIdentification, m__CHAR__ProductIdentification, m__CHAR__ProductRevision,
        static_cast<long>(m__UCHAR__HostAdapter), static_cast<long>(m__UCHAR__Bus),
        static_cast<long>(m__UCHAR__TargetID), static_cast<long>(m__UCHAR__LUN));
  });
}

CHalvorin_ScsiDeviceGeneric::~CHalvorin_ScsiDeviceGeneric() = default;

void CHalvorin_ScsiDeviceGeneric::SendCDB(const char* p__PCHAR__Method,
                                          const std::uint8_t* p__PUCHAR__CDB,
                                          std::uint8_t p__UCHAR__CDBLength, void* p__PVOID__Buffer,
                                          std::uint32_t p__ULONG__BufferSize,
                                          std::uint8_t p__UCHAR__Direction) {
  char method[128];
  std::snprintf(method, sizeof method, "%s::%s", kClass, p__PCHAR__Method);
  HalvorinI_Traced(method, [&] {
    ExecuteCDB(p__PUCHAR__CDB, p__UCHAR__CDBLength, p__PVOID__Buffer, p__ULONG__BufferSize,
               p__UCHAR__Direction);
  });
}

void CHalvorin_ScsiDeviceGeneric::TestUnitReadyCDB() {
  std::uint8_t cdb[6] = {0x00, LunBits()};
  SendCDB("TestUnitReadyCDB", cdb, sizeof cdb, nullptr, 0, kNone);
}

void CHalvorin_ScsiDeviceGeneric::FormatUnit(std::uint8_t p__UCHAR__FormatCode,
                                             bool p__BOOLEAN__IsCmpList, bool p__BOOLEAN__IsFmtData,
                                             std::uint16_t p__USHORT__Interleave,
                                             void* p__PVOID__ParameterList,
                                             std::uint32_t p__ULONG__ParameterListSize) {
  std::uint8_t cdb[6] = {0x04};
  cdb[1] =
      static_cast<std::uint8_t>(LunBits() | (p__BOOLEAN__IsFmtData ? 0x10 : 0) |
                                (p__BOOLEAN__IsCmpList ? 0x08 : 0) | (p__UCHAR__FormatCode & 0x07));
  Put16(cdb, 3, p__USHORT__Interleave);
  SendCDB("FormatUnit", cdb, sizeof cdb, p__PVOID__ParameterList, p__ULONG__ParameterListSize,
          kHalvorinDirectionOut);
}

void CHalvorin_ScsiDeviceGeneric::Inquiry(void* p__PVOID__Buffer,
                                          std::uint32_t p__ULONG__BufferSize) {
  std::uint8_t cdb[6] = {0x12, LunBits()};
  cdb[4] = Length8(p__ULONG__BufferSize);
  SendCDB("Inquiry", cdb, sizeof cdb, p__PVOID__Buffer, p__ULONG__BufferSize, kHalvorinDirectionIn);
}

void CHalvorin_ScsiDeviceGeneric::StartStopUnit(bool p__BOOLEAN__IsImmed, bool p__BOOLEAN__IsLoEj,
                                                bool p__BOOLEAN__IsStart) {
  std::uint8_t cdb[6] = {0x1B};
  cdb[1] = static_cast<std::uint8_t>(LunBits() | (p__BOOLEAN__IsImmed ? 0x01 : 0));
  cdb[4] =
      static_cast<std::uint8_t>((p__BOOLEAN__IsLoEj ? 0x02 : 0) | (p__BOOLEAN__IsStart ? 0x01 : 0));
  SendCDB("StartStopUnit", cdb, sizeof cdb, nullptr, 0, kNone);
}

void CHalvorin_ScsiDeviceGeneric::PreventAllowMediumRemoval(bool p__BOOLEAN__IsPrevent) {
  std::uint8_t cdb[6] = {0x1E, LunBits()};
  cdb[4] = p__BOOLEAN__IsPrevent ? 0x01 : 0x00;
  SendCDB("PreventAllowMediumRemoval", cdb, sizeof cdb, nullptr, 0, kNone);
}

void CHalvorin_ScsiDeviceGeneric::ReadFormatCapacities(void* p__PVOID__Buffer,
                                                       std::uint32_t p__ULONG__BufferSize) {
  std::uint8_t cdb[10] = {0x23};
  Put16(cdb, 7, Length16(p__ULONG__BufferSize));
  SendCDB("ReadFormatCapacities", cdb, sizeof cdb, p__PVOID__Buffer, p__ULONG__BufferSize,
          kHalvorinDirectionIn);
}

void CHalvorin_ScsiDeviceGeneric::ReadCapacity(void* p__PVOID__Buffer,
                                               std::uint32_t p__ULONG__BufferSize) {
  std::uint8_t cdb[10] = {0x25, LunBits()};
  SendCDB("ReadCapacity", cdb, sizeof cdb, p__PVOID__Buffer, p__ULONG__BufferSize,
          kHalvorinDirectionIn);
}

void CHalvorin_ScsiDeviceGeneric::Read10(void* p__PVOID__Buffer, std::uint32_t p__ULONG__BufferSize,
                                         std::uint32_t p__ULONG__LBA,
                                         std::uint16_t p__USHORT__Blocks) {
  std::uint8_t cdb[10] = {0x28, LunBits()};
  Put32(cdb, 2, p__ULONG__LBA);
  Put16(cdb, 7, p__USHORT__Blocks);
  SendCDB("Read10", cdb, sizeof cdb, p__PVOID__Buffer, p__ULONG__BufferSize, kHalvorinDirectionIn);
}

void CHalvorin_ScsiDeviceGeneric::Write10(void* p__PVOID__Buffer,
                                          std::uint32_t p__ULONG__BufferSize,
                                          std::uint32_t p__ULONG__LBA,
                                          std::uint16_t p__USHORT__Blocks) {
  std::uint8_t cdb[10] = {0x2A};
  Put32(cdb, 2, p__ULONG__LBA);
  Put16(cdb, 7, p__USHORT__Blocks);
  SendCDB("Write10", cdb, sizeof cdb, p__PVOID__Buffer, p__ULONG__BufferSize,
          kHalvorinDirectionOut);
}

void CHalvorin_ScsiDeviceGeneric::SynchronizeCacheCDB(bool p__BOOLEAN__IsImmed,
                                                      std::uint32_t p__ULONG__LBA,
                                                      std::uint16_t p__USHORT__Blocks) {
  std::uint8_t cdb[10] = {0x35};
  cdb[1] = p__BOOLEAN__IsImmed ? 0x02 : 0x00;
  Put32(cdb, 2, p__ULONG__LBA);
  Put16(cdb, 7, p__USHORT__Blocks);
  SendCDB("SynchronizeCacheCDB", cdb, sizeof cdb, nullptr, 0, kNone);
}

void CHalvorin_ScsiDeviceGeneric::ReadTocPmaAtip(bool p__BOOLEAN__IsMSF,
                                                 std::uint8_t p__UCHAR__Format,
                                                 std::uint8_t p__UCHAR__TrackOrSessionNumber,
                                                 void* p__PVOID__Buffer,
                                                 std::uint32_t p__ULONG__BufferSize) {
  std::uint8_t cdb[10] = {0x43};
  cdb[1] = static_cast<std::uint8_t>(LunBits() | (p__BOOLEAN__IsMSF ? 0x02 : 0));
  cdb[2] = p__UCHAR__Format & 0x0F;
  cdb[6] = p__UCHAR__TrackOrSessionNumber;
  Put16(cdb, 7, Length16(p__ULONG__BufferSize));
  SendCDB("ReadTocPmaAtip", cdb, sizeof cdb, p__PVOID__Buffer, p__ULONG__BufferSize,
          kHalvorinDirectionIn);
}

void CHalvorin_ScsiDeviceGeneric::GetConfiguration(std::uint8_t p__UCHAR__RT,
                                                   std::uint16_t p__USHORT__StartingFeature,
                                                   void* p__PVOID__Buffer,
                                                   std::uint32_t p__ULONG__BufferSize) {
  std::uint8_t cdb[10] = {0x46};
  cdb[1] = static_cast<std::uint8_t>(LunBits() | (p__UCHAR__RT & 0x03));
  Put16(cdb, 2, p__USHORT__StartingFeature);
  Put16(cdb, 7, Length16(p__ULONG__BufferSize));
  SendCDB("GetConfiguration", cdb, sizeof cdb, p__PVOID__Buffer, p__ULONG__BufferSize,
          kHalvorinDirectionIn);
}

void CHalvorin_ScsiDeviceGeneric::ReadDiscInformation(void* p__PVOID__Buffer,
                                                      std::uint32_t p__ULONG__BufferSize) {
  std::uint8_t cdb[10] = {0x51, LunBits()};
  Put16(cdb, 7, Length16(p__ULONG__BufferSize));
  SendCDB("ReadDiscInformation", cdb, sizeof cdb, p__PVOID__Buffer, p__ULONG__BufferSize,
          kHalvorinDirectionIn);
}

void CHalvorin_ScsiDeviceGeneric::ReadTrackInformation(std::uint8_t p__UCHAR__AddressType,
                                                       std::uint32_t p__ULONG__LBAOrTrack,
                                                       void* p__PVOID__Buffer,
                                                       std::uint32_t p__ULONG__BufferSize) {
  std::uint8_t cdb[10] = {0x52};
  cdb[1] = static_cast<std::uint8_t>(LunBits() | (p__UCHAR__AddressType & 0x01));
  Put32(cdb, 2, p__ULONG__LBAOrTrack);
  Put16(cdb, 7, Length16(p__ULONG__BufferSize));
  SendCDB("ReadTrackInformation", cdb, sizeof cdb, p__PVOID__Buffer, p__ULONG__BufferSize,
          kHalvorinDirectionIn);
}

void CHalvorin_ScsiDeviceGeneric::ReserveTrack(std::uint32_t p__ULONG__ReservationSize) {
  std::uint8_t cdb[10] = {0x53};
  Put32(cdb, 5, p__ULONG__ReservationSize);
  SendCDB("ReserveTrack", cdb, sizeof cdb, nullptr, 0, kNone);
}

void CHalvorin_ScsiDeviceGeneric::SendOPCInformation(bool p__BOOLEAN__IsDoOPC,
                                                     void* p__PVOID__ParameterList,
                                                     std::uint32_t p__ULONG__ParameterListSize) {
  std::uint8_t cdb[10] = {0x54};
  cdb[1] = p__BOOLEAN__IsDoOPC ? 0x01 : 0x00;
  Put16(cdb, 7, Length16(p__ULONG__ParameterListSize));
  SendCDB("SendOPCInformation", cdb, sizeof cdb, p__PVOID__ParameterList,
          p__ULONG__ParameterListSize, kHalvorinDirectionOut);
}

void CHalvorin_ScsiDeviceGeneric::ModeSelect10(void* p__PVOID__ParameterList,
                                               std::uint32_t p__ULONG__ParameterListSize) {
  std::uint8_t cdb[10] = {0x55};
  cdb[1] = static_cast<std::uint8_t>(LunBits() | 0x10);  // PF
  Put16(cdb, 7, Length16(p__ULONG__ParameterListSize));
  SendCDB("ModeSelect10", cdb, sizeof cdb, p__PVOID__ParameterList, p__ULONG__ParameterListSize,
          kHalvorinDirectionOut);
}

void CHalvorin_ScsiDeviceGeneric::ModeSense10(std::uint8_t p__UCHAR__PageCode,
                                              std::uint8_t p__UCHAR__PageControl,
                                              void* p__PVOID__Buffer,
                                              std::uint32_t p__ULONG__BufferSize) {
  std::uint8_t cdb[10] = {0x5A};
  cdb[1] = static_cast<std::uint8_t>(LunBits() | 0x08);  // DBD
  cdb[2] = static_cast<std::uint8_t>(((p__UCHAR__PageControl & 0x03) << 6) |
                                     (p__UCHAR__PageCode & 0x3F));
  Put16(cdb, 7, Length16(p__ULONG__BufferSize));
  SendCDB("ModeSense10", cdb, sizeof cdb, p__PVOID__Buffer, p__ULONG__BufferSize,
          kHalvorinDirectionIn);
}

void CHalvorin_ScsiDeviceGeneric::CloseTrackSession(bool p__BOOLEAN__IsImmed,
                                                    bool p__BOOLEAN__IsCloseFunction0,
                                                    bool p__BOOLEAN__IsCloseFunction1,
                                                    bool p__BOOLEAN__IsCloseFunction2,
                                                    std::uint16_t p__USHORT__TrackNumber) {
  std::uint8_t cdb[10] = {0x5B};
  cdb[1] = p__BOOLEAN__IsImmed ? 0x01 : 0x00;
  cdb[2] = static_cast<std::uint8_t>((p__BOOLEAN__IsCloseFunction0 ? 0x01 : 0) |
                                     (p__BOOLEAN__IsCloseFunction1 ? 0x02 : 0) |
                                     (p__BOOLEAN__IsCloseFunction2 ? 0x04 : 0));
  // The track number is 16 bits wide (bytes 4-5): numbers above 255 need the high byte.
  Put16(cdb, 4, p__USHORT__TrackNumber);
  SendCDB("CloseTrackSession", cdb, sizeof cdb, nullptr, 0, kNone);
}

void CHalvorin_ScsiDeviceGeneric::ReadBufferCapacity(void* p__PVOID__Buffer,
                                                     std::uint32_t p__ULONG__BufferSize) {
  std::uint8_t cdb[10] = {0x5C};
  Put16(cdb, 7, Length16(p__ULONG__BufferSize));
  SendCDB("ReadBufferCapacity", cdb, sizeof cdb, p__PVOID__Buffer, p__ULONG__BufferSize,
          kHalvorinDirectionIn);
}

void CHalvorin_ScsiDeviceGeneric::SendCueSheet(void* p__PVOID__CueSheet,
                                               std::uint32_t p__ULONG__CueSheetSize) {
  std::uint8_t cdb[10] = {0x5D};
  Put24(cdb, 6, std::min<std::uint32_t>(p__ULONG__CueSheetSize, 0xFFFFFF));
  SendCDB("SendCueSheet", cdb, sizeof cdb, p__PVOID__CueSheet, p__ULONG__CueSheetSize,
          kHalvorinDirectionOut);
}

void CHalvorin_ScsiDeviceGeneric::BlankCDB(std::uint8_t p__UCHAR__BlankingType,
                                           bool p__BOOLEAN__IsImmed,
                                           std::uint32_t p__ULONG__StartAddress) {
  std::uint8_t cdb[12] = {0xA1};
  cdb[1] =
      static_cast<std::uint8_t>((p__BOOLEAN__IsImmed ? 0x10 : 0) | (p__UCHAR__BlankingType & 0x07));
  Put32(cdb, 2, p__ULONG__StartAddress);
  SendCDB("BlankCDB", cdb, sizeof cdb, nullptr, 0, kNone);
}

void CHalvorin_ScsiDeviceGeneric::ReadDVDStructure(
    std::uint32_t p__ULONG__Address, std::uint8_t p__UCHAR__Layer, std::uint8_t p__UCHAR__Format,
    std::uint8_t p__UCHAR__AGID, void* p__PVOID__Buffer, std::uint32_t p__ULONG__BufferSize) {
  std::uint8_t cdb[12] = {0xAD, LunBits()};
  Put32(cdb, 2, p__ULONG__Address);
  cdb[6] = p__UCHAR__Layer;
  cdb[7] = p__UCHAR__Format;
  Put16(cdb, 8, Length16(p__ULONG__BufferSize));
  cdb[10] = static_cast<std::uint8_t>((p__UCHAR__AGID & 0x03) << 6);
  SendCDB("ReadDVDStructure", cdb, sizeof cdb, p__PVOID__Buffer, p__ULONG__BufferSize,
          kHalvorinDirectionIn);
}

void CHalvorin_ScsiDeviceGeneric::SetCDSpeed(std::uint16_t p__USHORT__ReadSpeed,
                                             std::uint16_t p__USHORT__WriteSpeed) {
  std::uint8_t cdb[12] = {0xBB};
  Put16(cdb, 2, p__USHORT__ReadSpeed);
  Put16(cdb, 4, p__USHORT__WriteSpeed);
  SendCDB("SetCDSpeed", cdb, sizeof cdb, nullptr, 0, kNone);
}

void CHalvorin_ScsiDeviceGeneric::ReadCD(
    std::uint8_t p__UCHAR__ExpectedSectorType, std::uint32_t p__ULONG__LBA,
    std::uint32_t p__ULONG__Blocks, bool p__BOOLEAN__IsSync, std::uint8_t p__UCHAR__HeaderCodes,
    bool p__BOOLEAN__IsUserData, bool p__BOOLEAN__IsEDCECC, std::uint8_t p__UCHAR__ErrorField,
    std::uint8_t p__UCHAR__SubChannel, void* p__PVOID__Buffer, std::uint32_t p__ULONG__BufferSize) {
  std::uint8_t cdb[12] = {0xBE};
  cdb[1] = static_cast<std::uint8_t>((p__UCHAR__ExpectedSectorType & 0x07) << 2);
  Put32(cdb, 2, p__ULONG__LBA);
  Put24(cdb, 6, p__ULONG__Blocks);
  cdb[9] = static_cast<std::uint8_t>(
      (p__BOOLEAN__IsSync ? 0x80 : 0) | ((p__UCHAR__HeaderCodes & 0x03) << 5) |
      (p__BOOLEAN__IsUserData ? 0x10 : 0) | (p__BOOLEAN__IsEDCECC ? 0x08 : 0) |
      ((p__UCHAR__ErrorField & 0x03) << 1));
  cdb[10] = p__UCHAR__SubChannel & 0x07;
  SendCDB("ReadCD", cdb, sizeof cdb, p__PVOID__Buffer, p__ULONG__BufferSize, kHalvorinDirectionIn);
}

void CHalvorin_ScsiDeviceGeneric::GetInquiryStrings(char* p__PCHAR__Vendor,
                                                    std::size_t p__SIZE_T__VendorSize,
                                                    char* p__PCHAR__Product,
                                                    std::size_t p__SIZE_T__ProductSize,
                                                    char* p__PCHAR__Revision,
                                                    std::size_t p__SIZE_T__RevisionSize) {
  HalvorinI_Traced("CHalvorin_ScsiDeviceGeneric::GetInquiryStrings", [&] {
    std::uint8_t data[96] = {};
    Inquiry(data, sizeof data);
    DumpDeviceInquiry(data, sizeof data);
    CopyField(p__PCHAR__Vendor, p__SIZE_T__VendorSize, data + 8, 8);
    CopyField(p__PCHAR__Product, p__SIZE_T__ProductSize, data + 16, 16);
    CopyField(p__PCHAR__Revision, p__SIZE_T__RevisionSize, data + 32, 4);
  });
}
