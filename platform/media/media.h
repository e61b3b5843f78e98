// The media runtime: our own shared library (libhalvorin_media.so, beside libhalvorin.so) that
// decodes compressed audio into 44,100 Hz 16-bit stereo samples through the synchronous reader
// interface below. It is loaded by name when first needed; a process without it still reads
// every format the audio reader decodes itself.
#pragma once

#include <cstdint>
#include <string>

#include "platform/com/com.h"

namespace platform::media {

using com::GUID;
using com::HRESULT;
using com::IStream;
using com::IUnknown;

// The end of the samples.
inline constexpr HRESULT NS_E_NO_MORE_SAMPLES = static_cast<HRESULT>(0xC00D0BCFu);

inline constexpr GUID WMMEDIATYPE_Audio = {
    0x73647561, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
inline constexpr GUID WMMEDIASUBTYPE_PCM = {
    0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
inline constexpr GUID WMFORMAT_WaveFormatEx = {
    0x05589F81, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};

inline constexpr std::uint16_t WAVE_FORMAT_PCM = 1;

#pragma pack(push, 1)
struct WAVEFORMATEX {
  std::uint16_t wFormatTag;
  std::uint16_t nChannels;
  std::uint32_t nSamplesPerSec;
  std::uint32_t nAvgBytesPerSec;
  std::uint16_t nBlockAlign;
  std::uint16_t wBitsPerSample;
  std::uint16_t cbSize;
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18);

struct WM_MEDIA_TYPE {
  GUID majortype;
  GUID subtype;
  std::int32_t bFixedSizeSamples;
  std::int32_t bTemporalCompression;
  std::uint32_t lSampleSize;
  GUID formattype;
  IUnknown* pUnk;
  std::uint32_t cbFormat;
  std::uint8_t* pbFormat;
};

enum WMT_STREAM_SELECTION : std::uint32_t { WMT_OFF = 0, WMT_CLEANPOINT_ONLY = 1, WMT_ON = 2 };

// One decoded sample: a block of PCM bytes.
class INSSBuffer : public IUnknown {
 public:
  virtual HRESULT GetLength(std::uint32_t* length) = 0;
  virtual HRESULT GetBuffer(std::uint8_t** buffer) = 0;

 protected:
  ~INSSBuffer() = default;
};

// The output format of a reader's output.
class IWMOutputMediaProps : public IUnknown {
 public:
  virtual HRESULT SetMediaType(const WM_MEDIA_TYPE* type) = 0;

 protected:
  ~IWMOutputMediaProps() = default;
};

// A reader of one stream of bytes. Stream number 1 is the file's first audio stream; its
// output 0 delivers 16-bit little-endian stereo at 44,100 Hz.
class IWMSyncReader : public IUnknown {
 public:
  // Takes a reference on the stream and opens the file it holds; a file that is not one of
  // the audio formats taken fails.
  virtual HRESULT OpenStream(IStream* stream) = 0;
  virtual HRESULT SetStreamsSelected(std::uint16_t count, const std::uint16_t* numbers,
                                     const WMT_STREAM_SELECTION* selections) = 0;
  virtual HRESULT SetReadStreamSamples(std::uint16_t number, std::int32_t compressed) = 0;
  virtual HRESULT GetOutputProps(std::uint32_t output, IWMOutputMediaProps** props) = 0;
  virtual HRESULT SetOutputProps(std::uint32_t output, IWMOutputMediaProps* props) = 0;
  // Start (in 100 ns units) and duration (0: to the end); only the start of the file is taken.
  virtual HRESULT SetRange(std::uint64_t start, std::int64_t duration) = 0;
  // The next sample of any selected stream (number 0) or of one; NS_E_NO_MORE_SAMPLES at the
  // end. Every out pointer but the sample may be null.
  virtual HRESULT GetNextSample(std::uint16_t number, INSSBuffer** sample, std::uint64_t* time,
                                std::uint64_t* duration, std::uint32_t* flags,
                                std::uint32_t* output, std::uint16_t* streamNumber) = 0;

 protected:
  ~IWMSyncReader() = default;
};

// The runtime's one entry point, looked up by name.
using WMCreateSyncReaderFunction = HRESULT (*)(IUnknown* certificate, std::uint32_t rights,
                                               IWMSyncReader** reader);
inline constexpr const char* kCreateSyncReaderName = "WMCreateSyncReader";

// The runtime loaded into the process (RAII): unloaded with the last holder.
class RuntimeModule {
 public:
  RuntimeModule() = default;
  ~RuntimeModule();
  RuntimeModule(RuntimeModule&& other) noexcept;
  RuntimeModule& operator=(RuntimeModule&& other) noexcept;
  RuntimeModule(const RuntimeModule&) = delete;
  RuntimeModule& operator=(const RuntimeModule&) = delete;

  // Loads the runtime by name; 0, or the system error: 126 when it cannot be loaded.
  std::uint32_t Load();
  bool IsLoaded() const { return handle_ != nullptr; }
  // An export of the runtime, or null with the system error 127.
  void* GetProcAddress(const char* name, std::uint32_t* error) const;
  void Free();

 private:
  void* handle_ = nullptr;
};

// The name the runtime is loaded by.
std::string RuntimeName();

namespace testing {
// Loads another library in its place from now on (a name nothing answers makes the runtime
// missing); an empty name restores the runtime.
void SetRuntimeName(const std::string& name);
}  // namespace testing

}  // namespace platform::media
