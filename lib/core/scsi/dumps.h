// Trace dumps of SCSI, ASPI and MMC structures. Each reads no byte beyond the size it is given.
#pragma once

#include <cstdint>

#include "platform/aspi/aspi.h"

// Cue sheet entries of 8 bytes, up to the first entry whose first byte is 0 or the sheet's end.
void DumpCueSheet(const std::uint8_t* p__PUCHAR__CueSheet, std::uint32_t p__ULONG__Size);
// The 17-byte layer descriptor of READ DVD STRUCTURE format 0 (after the 4-byte header).
void DumpDVDLayerDescriptor(const std::uint8_t* p__PUCHAR__Descriptor,
                            std::uint32_t p__ULONG__Size);
// Fixed-format sense data.
void DumpSenseData(const std::uint8_t* p__PUCHAR__Sense, std::uint32_t p__ULONG__Size);
void DumpSRB(const platform::aspi::SrbExecScsiCmd* p__PSRB_ExecSCSICmd__SRB);
void DumpHostAdapterInquiry(const platform::aspi::SrbHaInquiry* p__PSRB_HAInquiry__SRB);
// Standard INQUIRY data.
void DumpDeviceInquiry(const std::uint8_t* p__PUCHAR__Inquiry, std::uint32_t p__ULONG__Size);

// READ TRACK INFORMATION data: traces every field and returns the ones the writers need. A
// field that the reply does not reach (its data length, or the buffer, ends first) is
// returned as not there: FALSE or 0.
void CHalvorin_DumpAndParseTrackInformation(
    const std::uint8_t* p__PUCHAR__Data, std::uint32_t p__ULONG__Size, bool* p__PBOOLEAN__IsBlank,
    bool* p__PBOOLEAN__IsNextWritableAddressValid, std::uint32_t* p__PULONG__FreeBlocks,
    std::uint32_t* p__PULONG__NextWritableAddress, std::uint8_t* p__PUCHAR__TrackNumber);

// Mode pages 2Ah and 05h, from their page code byte on.
void CHalvorin_DumpCdvdCapabilitiesPage(const std::uint8_t* p__PUCHAR__Page,
                                        std::uint32_t p__ULONG__Size);
void Halvorin_DumpCdvdWriteParametersPage(const std::uint8_t* p__PUCHAR__Page,
                                          std::uint32_t p__ULONG__Size);
