// The Ogg Vorbis source of the reader, decoded by libvorbisfile.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

#include "lib/audio/sync_file_reader.h"
#include "lib/audio/tidewell.h"
#include "lib/audio/tidewell_trace.h"
#include "platform/fs/fs.h"

namespace com = platform::com;
using com::E_OUTOFMEMORY;
using com::E_POINTER;
using com::HRESULT;
using com::HRESULT_FROM_WIN32;
using com::S_OK;

namespace {

constexpr const char* kOpen = "CTidewell_SyncFileReader::Open";
constexpr const char* kRead = "CTidewell_SyncFileReader::Read";
// One call of the decoder gives at most one packet's samples (16 KiB at the largest block
// size); a buffer below one sample frame could never be filled.
constexpr std::uint32_t kMinDecodeBuffer = 4096;
constexpr std::uint32_t kMaxDecodeBuffer = 64 * 1024;
constexpr std::uint64_t kMaxPcmSize = 0xFFFFFFFFu;

}  // namespace

HRESULT CTidewell_SyncFileReader::OpenOgg(const char* p__PCHAR__FileName,
                                          bool* p__PBOOLEAN__IsOther) {
  *p__PBOOLEAN__IsOther = false;
  // Opened by the file layer, which never waits on a FIFO or a device and takes regular files
  // only; the C stream takes the descriptor over.
  std::FILE* file = nullptr;
  int error = 0;
  try {
    platform::fs::File opened(p__PCHAR__FileName, platform::fs::OpenMode::Read);
    file = ::fdopen(opened.Descriptor(), "rb");
    if (file)
      opened.Release();
    else
      error = errno;
  } catch (const platform::fs::FsError& e) {
    error = e.error() ? e.error() : EIO;
  }
  if (!file) {
    Tidewell_LogMessage(kTidewellLevelNotable, kOpen,
                        "(): fopen( '%s', 'rb' ) failed, status %d ( 0x%x )\n", p__PCHAR__FileName,
                        error, static_cast<unsigned>(error));
    return HRESULT_FROM_WIN32(static_cast<std::uint32_t>(error));
  }
  auto state = std::make_unique<OggVorbis_File>();
  const int rc = ov_open(file, state.get(), nullptr, 0);
  if (rc < 0) {
    // A failed open leaves the C stream to its caller.
    Tidewell_LogMessage(kTidewellLevelNotable, kOpen,
                        "(): ov_open( 0x%p, 0x%p, NULL, 0 ) failed, status %d ( 0x%x )\n",
                        static_cast<void*>(file), static_cast<void*>(state.get()), rc,
                        static_cast<unsigned>(rc));
    std::fclose(file);
    *p__PBOOLEAN__IsOther = true;
    return rc;
  }
  // From here ov_clear (in CleanUp) closes the C stream.
  m__OggVorbis_File = std::move(state);
  OggVorbis_File* vf = m__OggVorbis_File.get();

  const vorbis_info* info = ov_info(vf, -1);
  if (!info) {
    Tidewell_LogMessage(
        kTidewellLevelNotable, kOpen, "(): ov_info( 0x%p, ( -1 ) ) failed, status %d ( 0x%x )\n",
        static_cast<void*>(vf), static_cast<int>(E_POINTER), static_cast<unsigned>(E_POINTER));
    return E_POINTER;
  }
  const ogg_int64_t frames = ov_pcm_total(vf, -1);
  if (frames < 0) {
    Tidewell_LogMessage(kTidewellLevelNotable, kOpen,
                        "(): ov_pcm_total( 0x%p, ( -1 ) ) failed, status %d ( 0x%x )\n",
                        static_cast<void*>(vf), static_cast<int>(frames),
                        static_cast<unsigned>(frames));
    return static_cast<HRESULT>(frames);
  }
  const std::uint64_t size = static_cast<std::uint64_t>(frames) * 2 * 2;
  Tidewell_LogMessage(kTidewellLevelNotable, kOpen,
                      "(): OGG info: bitstream has %d channel(s), %d Hz, payload size in UCHARs: "
                      "%d\n",
                      info->channels, static_cast<int>(info->rate), static_cast<int>(size));
  // Every link of a chain is decoded as it stands: each must be CD samples already.
  const long links = ov_streams(vf);
  for (long link = 0; link < links; ++link) {
    const vorbis_info* l = ov_info(vf, static_cast<int>(link));
    if (!l) {
      Tidewell_LogMessage(kTidewellLevelNotable, kOpen,
                          "(): ov_info( 0x%p, ( %ld ) ) failed, status %d ( 0x%x )\n",
                          static_cast<void*>(vf), link, static_cast<int>(E_POINTER),
                          static_cast<unsigned>(E_POINTER));
      return E_POINTER;
    }
    if (l->channels != 2 || l->rate != 44100) {
      Tidewell_LogMessage(kTidewellLevelNotable, kOpen,
                          "(): either number of channels ( %d ) or sample rate ( %d ) are not "
                          "accepted, status %d ( 0x%x )\n",
                          l->channels, static_cast<int>(l->rate), kTidewellStatusBadFormat,
                          kTidewellStatusBadFormat);
      return HRESULT_FROM_WIN32(kTidewellStatusBadFormat);
    }
  }
  if (size > kMaxPcmSize) {
    Tidewell_LogMessage(kTidewellLevelNotable, kOpen,
                        "(): '%s' holds %llu UCHARs of samples, more than %llu, status %d ( 0x%x "
                        ")\n",
                        p__PCHAR__FileName, static_cast<unsigned long long>(size),
                        static_cast<unsigned long long>(kMaxPcmSize), kTidewellStatusFileTooLarge,
                        kTidewellStatusFileTooLarge);
    return HRESULT_FROM_WIN32(kTidewellStatusFileTooLarge);
  }
  m__ULONG__OggSize = static_cast<std::uint32_t>(size);
  m__BOOLEAN__IsOgg = true;
  Tidewell_LogMessage(kTidewellLevelNotable, kOpen, "(): '%s' is recognized as OGG file...\n",
                      p__PCHAR__FileName);
  return S_OK;
}

HRESULT CTidewell_SyncFileReader::ReadOgg(std::uint8_t* p__PUCHAR__Buffer,
                                          std::uint32_t p__ULONG__Count) {
  std::uint32_t done = 0;
  while (done < p__ULONG__Count) {
    const std::uint32_t wanted = p__ULONG__Count - done;
    if (m__PUCHAR__CarriedBuffer) {
      const std::uint32_t available = m__ULONG__CarriedLength - m__ULONG__Position;
      const std::uint32_t n = std::min(available, wanted);
      std::memcpy(p__PUCHAR__Buffer + done, m__PUCHAR__CarriedBuffer.get() + m__ULONG__Position, n);
      done += n;
      m__ULONG__Position += n;
      if (m__ULONG__Position == m__ULONG__CarriedLength) {
        m__PUCHAR__CarriedBuffer.reset();
        m__ULONG__CarriedLength = 0;
        m__ULONG__Position = 0;
      }
      continue;
    }
    const std::uint32_t size = std::clamp(p__ULONG__Count, kMinDecodeBuffer, kMaxDecodeBuffer);
    m__PUCHAR__CarriedBuffer.reset(new (std::nothrow) std::uint8_t[size]);
    if (!m__PUCHAR__CarriedBuffer) {
      Tidewell_LogMessage(kTidewellLevelNotable, kRead,
                          "(): malloc( %d ) failed, status %d ( 0x%x )\n", static_cast<int>(size),
                          kTidewellStatusOutOfMemory, kTidewellStatusOutOfMemory);
      return E_OUTOFMEMORY;
    }
    char* target = reinterpret_cast<char*>(m__PUCHAR__CarriedBuffer.get());
    const long got =
        ov_read(m__OggVorbis_File.get(), target, static_cast<int>(size), 0, 2, 1, &m__INT__Section);
    if (got <= 0) {
      m__PUCHAR__CarriedBuffer.reset();
      if (got < 0) {
        Tidewell_LogMessage(kTidewellLevelNotable, kRead,
                            "(): #1, ov_read( 0x%p, 0x%p, %d, 0, 2, 1, 0x%p ) failed, status %d ( "
                            "0x%x )\n",
                            static_cast<void*>(m__OggVorbis_File.get()), static_cast<void*>(target),
                            static_cast<int>(size), static_cast<void*>(&m__INT__Section),
                            static_cast<int>(got), static_cast<unsigned>(got));
        return static_cast<HRESULT>(got);
      }
      Tidewell_LogMessage(kTidewellLevelNotable, kRead,
                          "(): #2, ov_read( 0x%p, 0x%p, %d, 0, 2, 1, 0x%p ) failed, status %d ( "
                          "0x%x )\n",
                          static_cast<void*>(m__OggVorbis_File.get()), static_cast<void*>(target),
                          static_cast<int>(size), static_cast<void*>(&m__INT__Section),
                          static_cast<int>(kTidewellStatusHandleEof), kTidewellStatusHandleEof);
      return HRESULT_FROM_WIN32(kTidewellStatusHandleEof);
    }
    m__ULONG__CarriedLength = static_cast<std::uint32_t>(got);
    m__ULONG__Position = 0;
  }
  return S_OK;
}
