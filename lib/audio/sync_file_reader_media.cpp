// The media runtime's source of the reader: any other compressed format, fed to the runtime
// through a read-only file stream.
#include <algorithm>
#include <cstring>
#include <new>

#include "lib/audio/sync_file_reader.h"
#include "lib/audio/tidewell.h"
#include "lib/audio/tidewell_trace.h"

namespace com = platform::com;
namespace media = platform::media;
using com::E_OUTOFMEMORY;
using com::FAILED;
using com::HRESULT;
using com::HRESULT_FROM_WIN32;
using com::S_OK;

namespace {

constexpr const char* kOpen = "CTidewell_SyncFileReader::Open";
constexpr const char* kRead = "CTidewell_SyncFileReader::Read";
constexpr const char* kGetSize = "CTidewell_SyncFileReader::GetUncompressedSizeInUCHARs";
constexpr std::uint16_t kAudioStream = 1;
constexpr std::uint64_t kMaxPcmSize = 0xFFFFFFFFu;

// The status a failure line shows: the system error inside a result of that form.
int StatusOf(HRESULT p__HRESULT__Result) {
  return static_cast<int>(com::Win32FromHresult(p__HRESULT__Result));
}

}  // namespace

HRESULT CTidewell_SyncFileReader::OpenMedia(const char* p__PCHAR__FileName) {
  if (!m__HMODULE__Runtime.IsLoaded()) {
    const std::uint32_t error = m__HMODULE__Runtime.Load();
    if (error) {
      Tidewell_LogMessage(kTidewellLevelNotable, kOpen,
                          "(): LoadLibraryA( '%s' ) failed, status %d ( 0x%x )\n",
                          media::RuntimeName().c_str(), static_cast<int>(error), error);
      return HRESULT_FROM_WIN32(error);
    }
  }
  std::uint32_t error = 0;
  const auto create = reinterpret_cast<media::WMCreateSyncReaderFunction>(
      m__HMODULE__Runtime.GetProcAddress(media::kCreateSyncReaderName, &error));
  if (!create) {
    Tidewell_LogMessage(kTidewellLevelNotable, kOpen,
                        "(): GetProcAddress( 0x%x '%s' ) failed, status %d ( 0x%x )\n", 0,
                        media::kCreateSyncReaderName, static_cast<int>(error), error);
    return HRESULT_FROM_WIN32(error);
  }
  HRESULT hr = create(nullptr, 0, m__PIWMSyncReader.Out());
  if (FAILED(hr)) {
    Tidewell_LogMessage(
        kTidewellLevelNotable, kOpen,
        "(): WMCreateSyncReader( NULL, 0, 0x%p ) or dynamic_WMCreateSyncReader( NULL, "
        "0, 0x%p ) failed, status %d ( 0x%x )\n",
        static_cast<const void*>(&m__PIWMSyncReader), static_cast<const void*>(&m__PIWMSyncReader),
        StatusOf(hr), static_cast<unsigned>(StatusOf(hr)));
    return hr;
  }

  if (!m__PIWMSyncReader) return com::E_POINTER;

  auto* stream = new (std::nothrow) CTidewell_ReadOnlyFileStream;
  if (!stream) {
    Tidewell_LogMessage(kTidewellLevelNotable, kOpen,
                        "(): new CTidewell_ReadOnlyFileStream() failed, status %d ( 0x%x )\n",
                        kTidewellStatusOutOfMemory, kTidewellStatusOutOfMemory);
    return E_OUTOFMEMORY;
  }
  m__PCTidewell_ReadOnlyFileStream = com::ComPtr<CTidewell_ReadOnlyFileStream>(stream);
  hr = stream->Open(p__PCHAR__FileName);
  if (FAILED(hr)) {
    Tidewell_LogMessage(kTidewellLevelNotable, kOpen,
                        "(): m__PCTidewell_ReadOnlyFileStream->Open( '%s' ) failed, status %d ( "
                        "0x%x )\n",
                        p__PCHAR__FileName, static_cast<int>(com::Win32FromHresult(hr)),
                        com::Win32FromHresult(hr));
    return hr;
  }
  if (FAILED(hr = m__PIWMSyncReader->OpenStream(stream))) {
    Tidewell_LogMessage(kTidewellLevelNotable, kOpen,
                        "(): m__PIWMSyncReader->OpenStream( 0x%p ) failed, status %d ( 0x%x )\n",
                        static_cast<const void*>(stream), StatusOf(hr),
                        static_cast<unsigned>(StatusOf(hr)));
    return hr;
  }
  const std::uint16_t number = kAudioStream;
  const media::WMT_STREAM_SELECTION selection = media::WMT_ON;
  if (FAILED(hr = m__PIWMSyncReader->SetStreamsSelected(1, &number, &selection))) {
    Tidewell_LogMessage(
        kTidewellLevelNotable, kOpen,
        "(): m__PIWMSyncReader->SetStreamSelected( 1, 0x%p, 0x%p ) failed, status %d ( "
        "0x%x )\n",
        static_cast<const void*>(&number), static_cast<const void*>(&selection), StatusOf(hr),
        static_cast<unsigned>(StatusOf(hr)));
    return hr;
  }
  if (FAILED(hr = m__PIWMSyncReader->SetReadStreamSamples(kAudioStream, 0))) {
    Tidewell_LogMessage(
        kTidewellLevelNotable, kOpen,
        "(): m__PIWMSyncReader->SetReadStreamSamples( 1, FALSE ) failed, status %d ( "
        "0x%x )\n",
        StatusOf(hr), static_cast<unsigned>(StatusOf(hr)));
    return hr;
  }
  com::ComPtr<media::IWMOutputMediaProps> props;  // released on every path
  if (FAILED(hr = m__PIWMSyncReader->GetOutputProps(0, props.Out()))) {
    Tidewell_LogMessage(
        kTidewellLevelNotable, kOpen,
        "(): m__PIWMSyncReader->GetOutputProps( 1, 0x%p ) failed, status %d ( 0x%x )\n",
        static_cast<const void*>(&props), StatusOf(hr), static_cast<unsigned>(StatusOf(hr)));
    return hr;
  }
  media::WAVEFORMATEX format{media::WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
  media::WM_MEDIA_TYPE type{media::WMMEDIATYPE_Audio,
                            media::WMMEDIASUBTYPE_PCM,
                            1,
                            0,
                            4,
                            media::WMFORMAT_WaveFormatEx,
                            nullptr,
                            sizeof format,
                            reinterpret_cast<std::uint8_t*>(&format)};
  if (!props) return com::E_POINTER;
  if (FAILED(hr = props->SetMediaType(&type))) {
    Tidewell_LogMessage(
        kTidewellLevelNotable, kOpen,
        "(): l__PIWMOutputMediaProps->SetMediaType( 0x%p ) failed, status %d ( 0x%x )\n",
        static_cast<const void*>(&type), StatusOf(hr), static_cast<unsigned>(StatusOf(hr)));
    return hr;
  }
  if (FAILED(hr = m__PIWMSyncReader->SetOutputProps(0, props.Get()))) {
    Tidewell_LogMessage(
        kTidewellLevelNotable, kOpen,
        "(): m__PIWMSyncReader->SetOutputProps( 1, 0x%p ) failed, status %d ( 0x%x )\n",
        static_cast<const void*>(props.Get()), StatusOf(hr), static_cast<unsigned>(StatusOf(hr)));
    return hr;
  }
  Tidewell_LogMessage(kTidewellLevelNotable, kOpen,
                      "(): '%s' is recognized as MP3/WMA/WMV/ASF file...\n", p__PCHAR__FileName);
  return S_OK;
}

HRESULT CTidewell_SyncFileReader::ReadMedia(std::uint8_t* p__PUCHAR__Buffer,
                                            std::uint32_t p__ULONG__Count) {
  std::uint32_t done = 0;
  while (done < p__ULONG__Count) {
    if (m__PINSSBuffer) {
      std::uint32_t length = 0;
      HRESULT hr = m__PINSSBuffer->GetLength(&length);
      if (FAILED(hr)) {
        Tidewell_LogMessage(kTidewellLevelNotable, kRead,
                            "(): l__PINSSBuffer->GetLength( 0x%p ) failed, status %d ( 0x%x )\n",
                            static_cast<const void*>(&length), StatusOf(hr),
                            static_cast<unsigned>(StatusOf(hr)));
        return hr;
      }
      std::uint8_t* data = nullptr;
      if (FAILED(hr = m__PINSSBuffer->GetBuffer(&data))) {
        Tidewell_LogMessage(kTidewellLevelNotable, kRead,
                            "(): l__PINSSBuffer->GetBuffer( 0x%p ) failed, status %d ( 0x%x )\n",
                            static_cast<const void*>(&data), StatusOf(hr),
                            static_cast<unsigned>(StatusOf(hr)));
        return hr;
      }
      const std::uint32_t available = length > m__ULONG__Position ? length - m__ULONG__Position : 0;
      const std::uint32_t n = std::min(available, p__ULONG__Count - done);
      if (n) std::memcpy(p__PUCHAR__Buffer + done, data + m__ULONG__Position, n);
      done += n;
      m__ULONG__Position += n;
      if (m__ULONG__Position >= length) {
        m__PINSSBuffer.Reset();
        m__ULONG__Position = 0;
      }
      continue;
    }
    std::uint64_t time = 0, duration = 0;
    std::uint32_t flags = 0, output = 0;
    std::uint16_t stream = 0;
    const HRESULT hr = m__PIWMSyncReader->GetNextSample(0, m__PINSSBuffer.Out(), &time, &duration,
                                                        &flags, &output, &stream);
    if (FAILED(hr)) {
      Tidewell_LogMessage(kTidewellLevelNotable, kRead,
                          "(): m__PIWMSyncReader->GetNextSample( 0, 0x%p, 0x%p, 0x%p, 0x%p, 0x%p, "
                          "0x%p ) failed, status %d ( 0x%x )\n",
                          static_cast<void*>(&m__PINSSBuffer), static_cast<void*>(&time),
                          static_cast<void*>(&duration), static_cast<void*>(&flags),
                          static_cast<void*>(&output), static_cast<void*>(&stream),
                          static_cast<int>(hr), static_cast<unsigned>(hr));
      return hr;
    }
    if (!m__PINSSBuffer) return com::E_POINTER;
    if (stream != kAudioStream) m__PINSSBuffer.Reset();
    m__ULONG__Position = 0;
  }
  return S_OK;
}

HRESULT CTidewell_SyncFileReader::RewindMedia(const char* p__PCHAR__FunctionName) {
  m__PINSSBuffer.Reset();
  m__ULONG__Position = 0;
  const HRESULT hr = m__PIWMSyncReader->SetRange(0, 0);
  if (FAILED(hr)) {
    Tidewell_LogMessage(kTidewellLevelNotable, p__PCHAR__FunctionName,
                        "(): m__PIWMSyncReader->SetRange( 0, 0 ) failed, status %d ( 0x%x )\n",
                        StatusOf(hr), static_cast<unsigned>(StatusOf(hr)));
    return hr;
  }
  return S_OK;
}

HRESULT CTidewell_SyncFileReader::CountMediaSamples(std::uint32_t* p__PULONG__SizeInUCHARs) {
  *p__PULONG__SizeInUCHARs = 0;
  HRESULT hr = RewindMedia(kGetSize);
  if (FAILED(hr)) return hr;
  std::uint64_t total = 0;
  for (;;) {
    com::ComPtr<media::INSSBuffer> sample;
    std::uint64_t time = 0, duration = 0;
    std::uint32_t flags = 0, output = 0;
    std::uint16_t stream = 0;
    hr = m__PIWMSyncReader->GetNextSample(0, sample.Out(), &time, &duration, &flags, &output,
                                          &stream);
    if (hr == media::NS_E_NO_MORE_SAMPLES) break;
    if (FAILED(hr)) {
      Tidewell_LogMessage(kTidewellLevelNotable, kGetSize,
                          "(): m__PIWMSyncReader->GetNextSample( 0, 0x%p, 0x%p, 0x%p, 0x%p, 0x%p, "
                          "0x%p ) failed, status %d ( 0x%x )\n",
                          static_cast<void*>(&sample), static_cast<void*>(&time),
                          static_cast<void*>(&duration), static_cast<void*>(&flags),
                          static_cast<void*>(&output), static_cast<void*>(&stream),
                          static_cast<int>(hr), static_cast<unsigned>(hr));
      return hr;
    }
    if (!sample) return com::E_POINTER;
    if (stream != kAudioStream) continue;
    std::uint32_t length = 0;
    if (FAILED(hr = sample->GetLength(&length))) {
      Tidewell_LogMessage(kTidewellLevelNotable, kGetSize,
                          "(): l__PINSSBuffer->GetLength( 0x%p ) failed, status %d ( 0x%x )\n",
                          static_cast<const void*>(&length), StatusOf(hr),
                          static_cast<unsigned>(StatusOf(hr)));
      return hr;
    }
    total += length;
    if (total > kMaxPcmSize) {
      Tidewell_LogMessage(kTidewellLevelNotable, kGetSize,
                          "(): more than %llu UCHARs of samples, status %d ( 0x%x )\n",
                          static_cast<unsigned long long>(kMaxPcmSize), kTidewellStatusFileTooLarge,
                          kTidewellStatusFileTooLarge);
      return HRESULT_FROM_WIN32(kTidewellStatusFileTooLarge);
    }
  }
  Tidewell_LogMessage(kTidewellLevelProgress, kGetSize,
                      "(): Completed processing samples, %d UCHARs processed\n",
                      static_cast<int>(total));
  *p__PULONG__SizeInUCHARs = static_cast<std::uint32_t>(total);
  return S_OK;
}
