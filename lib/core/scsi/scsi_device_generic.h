// A SCSI/MMC device: one small builder per command. Each fills a zeroed CDB from its arguments
// and sends it with the caller's buffer (its size is the allocation or transfer length);
// the callers parse what comes back. Failures are the transport's exceptions.
#pragma once

#include <cstddef>
#include <cstdint>

#include "lib/core/scsi/scsi_transport_aspi.h"

class CHalvorin_ScsiDeviceGeneric : public CHalvorin_ScsiTransportASPI {
 public:
  static constexpr std::size_t kStringSize = 4096;

  // Opens the transport and reads the INQUIRY strings.
  CHalvorin_ScsiDeviceGeneric(std::uint8_t p__UCHAR__HostAdapter, std::uint8_t p__UCHAR__Bus,
                              std::uint8_t p__UCHAR__TargetID, std::uint8_t p__UCHAR__LUN);
  ~CHalvorin_ScsiDeviceGeneric() override;

  void TestUnitReadyCDB();
  void FormatUnit(std::uint8_t p__UCHAR__FormatCode, bool p__BOOLEAN__IsCmpList,
                  bool p__BOOLEAN__IsFmtData, std::uint16_t p__USHORT__Interleave,
                  void* p__PVOID__ParameterList, std::uint32_t p__ULONG__ParameterListSize);
  void Inquiry(void* p__PVOID__Buffer, std::uint32_t p__ULONG__BufferSize);
  void StartStopUnit(bool p__BOOLEAN__IsImmed, bool p__BOOLEAN__IsLoEj, bool p__BOOLEAN__IsStart);
  void PreventAllowMediumRemoval(bool p__BOOLEAN__IsPrevent);
  void ReadFormatCapacities(void* p__PVOID__Buffer, std::uint32_t p__ULONG__BufferSize);
  void ReadCapacity(void* p__PVOID__Buffer, std::uint32_t p__ULONG__BufferSize);
  void Read10(void* p__PVOID__Buffer, std::uint32_t p__ULONG__BufferSize,
              std::uint32_t p__ULONG__LBA, std::uint16_t p__USHORT__Blocks);
  void Write10(void* p__PVOID__Buffer, std::uint32_t p__ULONG__BufferSize,
               std::uint32_t p__ULONG__LBA, std::uint16_t p__USHORT__Blocks);
  void SynchronizeCacheCDB(bool p__BOOLEAN__IsImmed, std::uint32_t p__ULONG__LBA,
                           std::uint16_t p__USHORT__Blocks);
  void ReadTocPmaAtip(bool p__BOOLEAN__IsMSF, std::uint8_t p__UCHAR__Format,
                      std::uint8_t p__UCHAR__TrackOrSessionNumber, void* p__PVOID__Buffer,
                      std::uint32_t p__ULONG__BufferSize);
  void GetConfiguration(std::uint8_t p__UCHAR__RT, std::uint16_t p__USHORT__StartingFeature,
                        void* p__PVOID__Buffer, std::uint32_t p__ULONG__BufferSize);
  void ReadDiscInformation(void* p__PVOID__Buffer, std::uint32_t p__ULONG__BufferSize);
  // Address type 1: the address is a track number; 0: an LBA.
  void ReadTrackInformation(std::uint8_t p__UCHAR__AddressType, std::uint32_t p__ULONG__LBAOrTrack,
                            void* p__PVOID__Buffer, std::uint32_t p__ULONG__BufferSize);
  void ReserveTrack(std::uint32_t p__ULONG__ReservationSize);
  void SendOPCInformation(bool p__BOOLEAN__IsDoOPC, void* p__PVOID__ParameterList,
                          std::uint32_t p__ULONG__ParameterListSize);
  void ModeSelect10(void* p__PVOID__ParameterList, std::uint32_t p__ULONG__ParameterListSize);
  // Page control: 0 current, 1 changeable, 2 default, 3 saved values.
  void ModeSense10(std::uint8_t p__UCHAR__PageCode, std::uint8_t p__UCHAR__PageControl,
                   void* p__PVOID__Buffer, std::uint32_t p__ULONG__BufferSize);
  // The three flags are the close function's bits 0, 1 and 2.
  void CloseTrackSession(bool p__BOOLEAN__IsImmed, bool p__BOOLEAN__IsCloseFunction0,
                         bool p__BOOLEAN__IsCloseFunction1, bool p__BOOLEAN__IsCloseFunction2,
                         std::uint16_t p__USHORT__TrackNumber);
  void ReadBufferCapacity(void* p__PVOID__Buffer, std::uint32_t p__ULONG__BufferSize);
  void SendCueSheet(void* p__PVOID__CueSheet, std::uint32_t p__ULONG__CueSheetSize);
  void BlankCDB(std::uint8_t p__UCHAR__BlankingType, bool p__BOOLEAN__IsImmed,
                std::uint32_t p__ULONG__StartAddress);
  void ReadDVDStructure(std::uint32_t p__ULONG__Address, std::uint8_t p__UCHAR__Layer,
                        std::uint8_t p__UCHAR__Format, std::uint8_t p__UCHAR__AGID,
                        void* p__PVOID__Buffer, std::uint32_t p__ULONG__BufferSize);
  // KB/s; FFFFh is the drive's maximum.
  void SetCDSpeed(std::uint16_t p__USHORT__ReadSpeed, std::uint16_t p__USHORT__WriteSpeed);
  void ReadCD(std::uint8_t p__UCHAR__ExpectedSectorType, std::uint32_t p__ULONG__LBA,
              std::uint32_t p__ULONG__Blocks, bool p__BOOLEAN__IsSync,
              std::uint8_t p__UCHAR__HeaderCodes, bool p__BOOLEAN__IsUserData,
              bool p__BOOLEAN__IsEDCECC, std::uint8_t p__UCHAR__ErrorField,
              std::uint8_t p__UCHAR__SubChannel, void* p__PVOID__Buffer,
              std::uint32_t p__ULONG__BufferSize);

  // INQUIRY of 96 bytes: the vendor (8), product (16) and revision (4) strings, each cut to
  // its buffer and terminated.
  void GetInquiryStrings(char* p__PCHAR__Vendor, std::size_t p__SIZE_T__VendorSize,
                         char* p__PCHAR__Product, std::size_t p__SIZE_T__ProductSize,
                         char* p__PCHAR__Revision, std::size_t p__SIZE_T__RevisionSize);

  const char* GetVendorIdentification() const { return m__CHAR__VendorIdentification; }
  const char* GetProductIdentification() const { return m__CHAR__ProductIdentification; }
  const char* GetProductRevision() const { return m__CHAR__ProductRevision; }

 protected:
  char m__CHAR__VendorIdentification[kStringSize] = {};
  char m__CHAR__ProductIdentification[kStringSize] = {};
  char m__CHAR__ProductRevision[kStringSize] = {};

 private:
  void SendCDB(const char* p__PCHAR__Method, const std::uint8_t* p__PUCHAR__CDB,
               std::uint8_t p__UCHAR__CDBLength, void* p__PVOID__Buffer,
               std::uint32_t p__ULONG__BufferSize, std::uint8_t p__UCHAR__Direction);
  std::uint8_t LunBits() const { return static_cast<std::uint8_t>((m__UCHAR__LUN & 0x07) << 5); }
};
