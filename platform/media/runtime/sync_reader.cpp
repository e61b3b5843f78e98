// The runtime's objects: the synchronous reader, its output properties and its samples, and
// the one export that creates a reader.
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "platform/media/runtime/audio_decoder.h"

extern "C" {
#include <libavutil/log.h>
#include <libavutil/mem.h>
}

namespace platform::media::runtime {

namespace {

using com::E_FAIL;
using com::E_INVALIDARG;
using com::E_NOINTERFACE;
using com::E_NOTIMPL;
using com::E_OUTOFMEMORY;
using com::E_POINTER;
using com::FAILED;
using com::REFIID;
using com::S_OK;

constexpr std::uint16_t kAudioStream = 1;
constexpr std::uint64_t kUnitsPerSecond = 10'000'000;  // 100 ns
constexpr std::uint64_t kBytesPerSecond = 176'400;

// The identity of our own output properties, asked for by SetOutputProps.
constexpr com::IID kIID_OutputProps = {
    0x6C1F2A90, 0x3B47, 0x4E25, {0x9A, 0x61, 0x0D, 0x7E, 0x52, 0xC8, 0x14, 0xB3}};

// Runs a method body: nothing thrown leaves the runtime.
template <class Body>
HRESULT Guarded(Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

bool IsCdPcm(const WM_MEDIA_TYPE* type) {
  if (!type || !(type->majortype == WMMEDIATYPE_Audio) || !(type->subtype == WMMEDIASUBTYPE_PCM) ||
      !(type->formattype == WMFORMAT_WaveFormatEx) || type->cbFormat < sizeof(WAVEFORMATEX) ||
      !type->pbFormat)
    return false;
  WAVEFORMATEX format;
  std::memcpy(&format, type->pbFormat, sizeof format);
  return format.wFormatTag == WAVE_FORMAT_PCM && format.nChannels == 2 &&
         format.nSamplesPerSec == 44100 && format.nAvgBytesPerSec == kBytesPerSecond &&
         format.nBlockAlign == 4 && format.wBitsPerSample == 16;
}

// The IUnknown part the runtime's objects share: a count that deletes the object at its last
// Release, and a QueryInterface that answers IUnknown alone.
template <class Interface>
class Counted : public Interface {
 public:
  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!(riid == com::IID_IUnknown)) return E_NOINTERFACE;
    *object = static_cast<IUnknown*>(this);
    AddRef();
    return S_OK;
  }
  std::uint32_t AddRef() override { return refs_.Add(); }
  std::uint32_t Release() override {
    const std::uint32_t left = refs_.Drop();
    if (left == 0) delete this;
    return left;
  }

 protected:
  virtual ~Counted() = default;

 private:
  com::RefCount refs_;
};

class Sample final : public Counted<INSSBuffer> {
 public:
  explicit Sample(std::vector<std::uint8_t> data) : data_(std::move(data)) {}

  HRESULT GetLength(std::uint32_t* length) override {
    if (!length) return E_POINTER;
    *length = static_cast<std::uint32_t>(data_.size());
    return S_OK;
  }
  HRESULT GetBuffer(std::uint8_t** buffer) override {
    if (!buffer) return E_POINTER;
    *buffer = data_.data();
    return S_OK;
  }

 private:
  ~Sample() override = default;
  std::vector<std::uint8_t> data_;
};

class OutputProps final : public Counted<IWMOutputMediaProps> {
 public:
  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (riid == com::IID_IUnknown)
      *object = static_cast<IUnknown*>(this);
    else if (riid == kIID_OutputProps)
      *object = this;
    else
      return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  // The one output form there is: CD samples.
  HRESULT SetMediaType(const WM_MEDIA_TYPE* type) override {
    if (!IsCdPcm(type)) return E_INVALIDARG;
    set_ = true;
    return S_OK;
  }
  bool IsSet() const { return set_; }

 private:
  ~OutputProps() override = default;
  bool set_ = false;
};

class SyncReader final : public Counted<IWMSyncReader> {
 public:
  HRESULT OpenStream(IStream* stream) override {
    return Guarded([&] {
      if (!stream) return E_INVALIDARG;
      decoder_.Close();
      stream->AddRef();
      stream_ = com::ComPtr<IStream>(stream);
      bytes_ = 0;
      const HRESULT hr = decoder_.Open(stream);
      if (FAILED(hr)) {
        decoder_.Close();
        stream_.Reset();
      }
      return hr;
    });
  }

  HRESULT SetStreamsSelected(std::uint16_t count, const std::uint16_t* numbers,
                             const WMT_STREAM_SELECTION* selections) override {
    if (!stream_) return E_FAIL;
    if (count == 0 || !numbers || !selections) return E_INVALIDARG;
    for (std::uint16_t i = 0; i < count; ++i)
      if (numbers[i] != kAudioStream || selections[i] != WMT_ON) return E_INVALIDARG;
    return S_OK;
  }

  HRESULT SetReadStreamSamples(std::uint16_t number, std::int32_t compressed) override {
    if (!stream_) return E_FAIL;
    if (number != kAudioStream) return E_INVALIDARG;
    return compressed ? E_NOTIMPL : S_OK;  // decoded samples only
  }

  HRESULT GetOutputProps(std::uint32_t output, IWMOutputMediaProps** props) override {
    return Guarded([&] {
      if (!props) return E_POINTER;
      *props = nullptr;
      if (!stream_) return E_FAIL;
      if (output != 0) return E_INVALIDARG;
      *props = new OutputProps;
      return S_OK;
    });
  }

  HRESULT SetOutputProps(std::uint32_t output, IWMOutputMediaProps* props) override {
    if (!stream_) return E_FAIL;
    if (output != 0 || !props) return E_INVALIDARG;
    void* ours = nullptr;
    if (FAILED(props->QueryInterface(kIID_OutputProps, &ours))) return E_INVALIDARG;
    com::ComPtr<OutputProps> held(static_cast<OutputProps*>(ours));
    return held->IsSet() ? S_OK : E_INVALIDARG;
  }

  HRESULT SetRange(std::uint64_t start, std::int64_t duration) override {
    return Guarded([&] {
      if (!stream_) return E_FAIL;
      if (start != 0 || duration != 0) return E_INVALIDARG;
      // Opened again from the first byte: the same samples as the first pass, to the byte.
      bytes_ = 0;
      return decoder_.Open(stream_.Get());
    });
  }

  HRESULT GetNextSample(std::uint16_t number, INSSBuffer** sample, std::uint64_t* time,
                        std::uint64_t* duration, std::uint32_t* flags, std::uint32_t* output,
                        std::uint16_t* streamNumber) override {
    return Guarded([&] {
      if (!sample) return E_POINTER;
      *sample = nullptr;
      if (!stream_ || !decoder_.IsOpen()) return E_FAIL;
      if (number != 0 && number != kAudioStream) return E_INVALIDARG;
      std::vector<std::uint8_t> pcm;
      const HRESULT hr = decoder_.Next(&pcm);
      if (FAILED(hr)) return hr;
      const std::uint64_t length = pcm.size();
      if (time) *time = bytes_ * kUnitsPerSecond / kBytesPerSecond;
      if (duration) *duration = length * kUnitsPerSecond / kBytesPerSecond;
      if (flags) *flags = 0;
      if (output) *output = 0;
      if (streamNumber) *streamNumber = kAudioStream;
      bytes_ += length;
      *sample = new Sample(std::move(pcm));
      return S_OK;
    });
  }

 private:
  ~SyncReader() override = default;  // the decoder closes before the stream reference goes

  com::ComPtr<IStream> stream_;
  AudioDecoder decoder_;
  std::uint64_t bytes_ = 0;
};

}  // namespace

}  // namespace platform::media::runtime

extern "C" __attribute__((visibility("default"))) platform::com::HRESULT WMCreateSyncReader(
    platform::com::IUnknown*, std::uint32_t, platform::media::IWMSyncReader** reader) {
  using namespace platform::com;
  // The decoders' own messages would go to standard error: the reader reports by its results.
  // No single block of a sound file's demuxing and decoding comes near the cap; a size read
  // from a damaged header could otherwise ask for gigabytes before the data is found missing.
  static std::once_flag setUp;
  std::call_once(setUp, [] {
    av_log_set_level(AV_LOG_QUIET);
    av_max_alloc(platform::media::runtime::kMaxAllocation);
  });
  if (!reader) return E_POINTER;
  *reader = nullptr;
  auto* created = new (std::nothrow) platform::media::runtime::SyncReader;
  if (!created) return E_OUTOFMEMORY;
  *reader = created;
  return S_OK;
}
