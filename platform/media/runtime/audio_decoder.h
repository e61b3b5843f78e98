// The first audio stream of a file, read through an IStream, decoded into 16-bit little-endian
// stereo PCM at 44,100 Hz. Only the audio formats of an allow list, recognised with a probe
// score that leaves no doubt, are taken: a data file is never read as sound.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/media/media.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVIOContext;
struct AVPacket;
struct SwrContext;

namespace platform::media::runtime {

// A file that is not one of the audio formats taken (ERROR_BAD_FORMAT).
inline constexpr HRESULT kNotAudio = com::HRESULT_FROM_WIN32(11);
// The largest single allocation the decoding libraries may make.
inline constexpr std::size_t kMaxAllocation = 64u << 20;

class AudioDecoder {
 public:
  AudioDecoder() = default;
  ~AudioDecoder();
  AudioDecoder(const AudioDecoder&) = delete;
  AudioDecoder& operator=(const AudioDecoder&) = delete;

  // Opens the file from its first byte; the stream outlives the decoder's use of it.
  HRESULT Open(IStream* stream);
  bool IsOpen() const { return format_ != nullptr; }
  // Appends the next block of samples (not empty); NS_E_NO_MORE_SAMPLES at the end.
  HRESULT Next(std::vector<std::uint8_t>* pcm);
  void Close();

 private:
  static int ReadPacket(void* opaque, std::uint8_t* buffer, int size);
  static std::int64_t SeekStream(void* opaque, std::int64_t offset, int whence);
  HRESULT Convert(const AVFrame* frame, std::vector<std::uint8_t>* pcm);
  HRESULT Drain(std::vector<std::uint8_t>* pcm);

  IStream* stream_ = nullptr;
  HRESULT streamFailure_ = com::S_OK;  // what the stream answered when the demuxer saw a failure
  AVIOContext* io_ = nullptr;
  AVFormatContext* format_ = nullptr;
  AVCodecContext* codec_ = nullptr;
  SwrContext* swr_ = nullptr;
  AVPacket* packet_ = nullptr;
  AVFrame* frame_ = nullptr;
  int index_ = -1;
  // The input form the resampler was made for.
  int swrFormat_ = -1, swrRate_ = 0;
  AVChannelLayout swrLayout_{};
  bool draining_ = false;  // the decoder was told the end
  bool done_ = false;
};

}  // namespace platform::media::runtime
