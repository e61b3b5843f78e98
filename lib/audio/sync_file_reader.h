// One audio file delivered as 16-bit signed little-endian stereo PCM at 44,100 Hz: exact-size
// reads, a rewind and the size in bytes. Three sources are tried in this order: a canonical
// WAV file (or a ".raw" file of samples) read directly, an Ogg Vorbis file decoded by
// libvorbisfile, and any other format through the media runtime fed by a read-only file
// stream. Results are HRESULTs; each public operation holds the reader's (recursive) lock.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>

#include "lib/audio/read_only_file_stream.h"
#include "platform/com/com.h"
#include "platform/fs/fs.h"
#include "platform/media/media.h"

struct OggVorbis_File;

// The reader's lock held for one operation.
using CTidewell_CriticalSection = std::recursive_mutex;
using CTidewell_CriticalSectionGuard = std::lock_guard<CTidewell_CriticalSection>;

class CTidewell_SyncFileReader {
 public:
  using HRESULT = platform::com::HRESULT;

  CTidewell_SyncFileReader();
  // CleanUp, then the runtime goes with the reader.
  virtual ~CTidewell_SyncFileReader();
  CTidewell_SyncFileReader(const CTidewell_SyncFileReader&) = delete;
  CTidewell_SyncFileReader& operator=(const CTidewell_SyncFileReader&) = delete;

  // Closes what was open, then opens the file (a path in the Windows form).
  HRESULT Open(const char* p__PCHAR__FileName);
  // Fills the buffer with exactly that many bytes; a failure part-way leaves what was copied.
  HRESULT Read(void* p__PVOID__ReadBuffer, std::uint32_t p__ULONG__ReadSizeInUCHARs);
  HRESULT SeekToBegin();
  // For a file of the runtime: a pass over every sample, which leaves the source at its end.
  HRESULT GetUncompressedSizeInUCHARs(std::uint32_t* p__PULONG__UncompressedSizeInUCHARs);
  // Closes whatever source is open and clears the state; the runtime stays loaded.
  void CleanUp();

 private:
  HRESULT OpenWav(const char* p__PCHAR__FileName);
  // S_OK or a failure when the file is Ogg Vorbis (or cannot be opened at all); with
  // *p__PBOOLEAN__IsOther set when it is not Ogg and the runtime is to be tried.
  HRESULT OpenOgg(const char* p__PCHAR__FileName, bool* p__PBOOLEAN__IsOther);
  HRESULT OpenMedia(const char* p__PCHAR__FileName);
  HRESULT ReadWav(std::uint8_t* p__PUCHAR__Buffer, std::uint32_t p__ULONG__Count);
  HRESULT ReadOgg(std::uint8_t* p__PUCHAR__Buffer, std::uint32_t p__ULONG__Count);
  HRESULT ReadMedia(std::uint8_t* p__PUCHAR__Buffer, std::uint32_t p__ULONG__Count);
  HRESULT SeekWav(const char* p__PCHAR__FunctionName);
  // SetRange( 0, 0 ) with the current sample given up.
  HRESULT RewindMedia(const char* p__PCHAR__FunctionName);
  HRESULT CountMediaSamples(std::uint32_t* p__PULONG__SizeInUCHARs);

  CTidewell_CriticalSection m__CRITICAL_SECTION__Lock;

  // The media runtime's source.
  platform::com::ComPtr<platform::media::IWMSyncReader> m__PIWMSyncReader;
  platform::com::ComPtr<CTidewell_ReadOnlyFileStream> m__PCTidewell_ReadOnlyFileStream;
  platform::com::ComPtr<platform::media::INSSBuffer> m__PINSSBuffer;  // the sample being taken
  platform::media::RuntimeModule m__HMODULE__Runtime;
  std::uint32_t m__ULONG__Position = 0;  // bytes already taken from the carried buffer or sample

  // The Ogg Vorbis source; the decoder state exists while its C stream is open.
  bool m__BOOLEAN__IsOgg = false;
  std::unique_ptr<std::uint8_t[]> m__PUCHAR__CarriedBuffer;
  std::uint32_t m__ULONG__CarriedLength = 0;
  std::unique_ptr<OggVorbis_File> m__OggVorbis_File;
  int m__INT__Section = 0;
  std::uint32_t m__ULONG__OggSize = 0;

  // The WAV or RAW source: samples from the start offset, WAV size bytes of them.
  bool m__BOOLEAN__IsWav = false;
  platform::fs::File m__HANDLE__File;
  std::uint32_t m__ULONG__WavSize = 0;
  std::uint32_t m__ULONG__WavStart = 0;
  std::uint32_t m__ULONG__WavRead = 0;
};
