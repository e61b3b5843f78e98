// The MMC command handlers of the virtual recorder, by family. Each throws SenseError for what
// a drive refuses.
#pragma once

#include "platform/aspi/recorder/coding/vr_subchannel.h"
#include "platform/aspi/recorder/vr_exchange.h"
#include "platform/aspi/recorder/vr_recorder.h"

namespace platform::aspi::vr {

using Handler = void (*)(Drive&, Exchange&);

// vr_cmd_basic.cpp
void HandleInquiry(Drive&, Exchange&);
void HandleTestUnitReady(Drive&, Exchange&);
void HandleRequestSense(Drive&, Exchange&);
void HandleStartStopUnit(Drive&, Exchange&);
void HandlePreventAllow(Drive&, Exchange&);
void HandleSetCdSpeed(Drive&, Exchange&);
void HandleReadBufferCapacity(Drive&, Exchange&);
void HandleSendOpc(Drive&, Exchange&);
// vr_cmd_mode.cpp
void HandleModeSense10(Drive&, Exchange&);
void HandleModeSelect10(Drive&, Exchange&);
// vr_cmd_config.cpp
void HandleGetConfiguration(Drive&, Exchange&);
// vr_cmd_info.cpp
void HandleReadDiscInformation(Drive&, Exchange&);
void HandleReadTrackInformation(Drive&, Exchange&);
void HandleReadToc(Drive&, Exchange&);
void HandleReadCapacity(Drive&, Exchange&);
void HandleReadFormatCapacities(Drive&, Exchange&);
void HandleReadDvdStructure(Drive&, Exchange&);
// vr_cmd_read.cpp
void HandleRead10(Drive&, Exchange&);
void HandleReadCd(Drive&, Exchange&);
// vr_cmd_write.cpp
void HandleWrite10(Drive&, Exchange&);
void HandleReserveTrack(Drive&, Exchange&);
void HandleSynchronizeCache(Drive&, Exchange&);
void HandleCloseTrackSession(Drive&, Exchange&);
// vr_cmd_sao.cpp
void HandleSendCueSheet(Drive&, Exchange&);
// WRITE(10) of a session-at-once session (write type 2 on CD).
void WriteSessionAtOnce(Drive&, Exchange&, std::int64_t lba, std::int64_t count);
// SYNCHRONIZE CACHE while a cue sheet is in force; false when none is.
bool SynchronizeSessionAtOnce(Drive&);
// A lead-in pack joins the disc's CD-Text once, in sequence order.
void AddCdTextPack(Disc& disc, const CdTextPack& pack);
// vr_cmd_dao.cpp
// WRITE(10) of a disc-at-once write (write type 3 on CD).
void WriteDiscAtOnce(Drive&, Exchange&, std::int64_t lba, std::int64_t count);
// SYNCHRONIZE CACHE during a disc-at-once write; false when none is in progress.
bool SynchronizeDiscAtOnce(Drive&);
// A disc-at-once write that ends before its lead-out is over (eject, underrun): the disc is
// left damaged (a test write is only forgotten).
void SpoilDiscAtOnce(Drive&);
// vr_cmd_format.cpp
void HandleBlank(Drive&, Exchange&);
void HandleFormatUnit(Drive&, Exchange&);

// Speeds a drive offers for the medium, KB/s, slowest first.
std::vector<std::uint16_t> ReadSpeeds(const Disc& disc);
std::vector<std::uint16_t> WriteSpeeds(const Disc& disc);
// The speed SET CD SPEED settles on (0 = the fastest).
std::uint16_t CurrentSpeed(const std::vector<std::uint16_t>& speeds, std::uint16_t chosen);

// Big-endian stores into answer buffers.
inline void Put16(std::vector<std::uint8_t>& b, size_t at, std::uint32_t v) {
  b[at] = static_cast<std::uint8_t>(v >> 8);
  b[at + 1] = static_cast<std::uint8_t>(v);
}
inline void Put32(std::vector<std::uint8_t>& b, size_t at, std::uint32_t v) {
  Put16(b, at, v >> 16);
  Put16(b, at + 2, v);
}

}  // namespace platform::aspi::vr
