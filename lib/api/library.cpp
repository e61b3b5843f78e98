// Library-wide exports: start-up and shut-down, version, the DVD padding switch and
// destruction of library objects.
#include <atomic>
#include <memory>

#include "halvorin.h"
#include "lib/api/audio_reader_link.h"
#include "lib/api/export_frame.h"
#include "lib/audio/tidewell.h"
#include "lib/core/debug_trace.h"

namespace {

std::atomic<bool> gStarted{false};
std::atomic<bool> gDVDPadding{false};

}  // namespace

void HalvorinI_AudioReaderUpStart() {
  Tidewell_UpStart();
}

void HalvorinI_AudioReaderDownShut() {
  Tidewell_DownShut();
}

bool HalvorinI_AudioReaderSupports(const char* p__PCHAR__FileName) {
  return Tidewell_UncompressedFileSupportedIs(p__PCHAR__FileName) == kTidewellStatusSuccess ||
         Tidewell_CompressedFileSupportedIs(p__PCHAR__FileName) == kTidewellStatusSuccess;
}

bool HalvorinI_IsStarted() {
  return gStarted.load();
}

HALVORIN_STATUS Halvorin_UpStart(void) {
  DebugTrace("\nHalvorin:Halvorin_UpStart(): ENTERed\n");
  if (!gStarted.exchange(true)) HalvorinI_AudioReaderUpStart();
  DebugTrace("\nHalvorin:Halvorin_UpStart(): EXITing with success\n");
  return HALVORIN_STATUS_SUCCESS;
}

HALVORIN_STATUS Halvorin_DownShut(void) {
  DebugTrace("\nHalvorin:Halvorin_DownShut(): ENTERed\n");
  if (gStarted.exchange(false)) HalvorinI_AudioReaderDownShut();
  DebugTrace("\nHalvorin:Halvorin_DownShut(): EXITing with success\n");
  return HALVORIN_STATUS_SUCCESS;
}

uint32_t Halvorin_GetVersion(void) {
  return HALVORIN_VERSION;
}

uint8_t Halvorin_GetDVDPadding(void) {
  return gDVDPadding.load() ? 1 : 0;
}

uint8_t Halvorin_SetDVDPadding(uint8_t p__BOOLEAN__IsDVDPadding) {
  gDVDPadding.store(p__BOOLEAN__IsDVDPadding != 0);
  return p__BOOLEAN__IsDVDPadding;
}

void Halvorin_Destroy(void** p__PPVOID__Handle) {
  DebugTrace("\nHalvorin:Halvorin_Destroy(): ENTERed, handle %p\n",
             p__PPVOID__Handle ? *p__PPVOID__Handle : nullptr);
  if (!p__PPVOID__Handle) return;
  std::unique_ptr<CHalvorin_Object> object(static_cast<CHalvorin_Object*>(*p__PPVOID__Handle));
  object.reset();
  *p__PPVOID__Handle = nullptr;
  DebugTrace("\nHalvorin:Halvorin_Destroy(): EXITing with success\n");
}

HALVORIN_STATUS Halvorin_IsAudioFileSupported(const char* p__PCHAR__FileName) {
  DebugTrace("\nHalvorin:Halvorin_IsAudioFileSupported(): ENTERed\n");
  const bool supported = p__PCHAR__FileName && HalvorinI_AudioReaderSupports(p__PCHAR__FileName);
  DebugTrace("\nHalvorin:Halvorin_IsAudioFileSupported(): EXITing with success\n");
  return supported ? HALVORIN_STATUS_SUCCESS : HALVORIN_STATUS_AUDIO_FILE_NOT_SUPPORTED;
}
