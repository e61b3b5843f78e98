#include "platform/media/runtime/audio_decoder.h"

#include <cerrno>
#include <cstring>
#include <string_view>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/mem.h>
#include <libswresample/swresample.h>
}

namespace platform::media::runtime {

namespace {

using com::E_FAIL;
using com::E_OUTOFMEMORY;
using com::FAILED;
using com::S_OK;

constexpr int kIoBufferSize = 64 * 1024;
constexpr int kOutputRate = 44100;
constexpr int kOutputFrameBytes = 4;
// A probe at this score or above names the format from its content alone (an extension match
// scores 50); below it a few chance frame headers inside a data file could pass as sound.
constexpr int kMinimumProbeScore = AVPROBE_SCORE_EXTENSION;
// Errors of the decoder in a row before a file counts as broken rather than damaged in places.
constexpr int kMaxDecodeErrors = 64;

// Audio containers and raw audio formats; containers of video are read for their sound only.
constexpr std::string_view kAudioFormats[] = {"aac",
                                              "ac3",
                                              "aiff",
                                              "amr",
                                              "ape",
                                              "asf",
                                              "au",
                                              "caf",
                                              "dts",
                                              "eac3",
                                              "flac",
                                              "mlp",
                                              "mp3",
                                              "mpc",
                                              "mpc8",
                                              "ogg",
                                              "tta",
                                              "truehd",
                                              "voc",
                                              "w64",
                                              "wav",
                                              "wv",
                                              "mov,mp4,m4a,3gp,3g2,mj2",
                                              "matroska,webm"};

bool IsAudioFormat(const char* name) {
  if (!name) return false;
  for (std::string_view f : kAudioFormats)
    if (f == name) return true;
  return false;
}

HRESULT ResultOf(int error) {
  if (error >= 0) return S_OK;
  if (error == AVERROR(ENOMEM)) return E_OUTOFMEMORY;
  if (error == AVERROR_INVALIDDATA) return com::HRESULT_FROM_WIN32(13);  // ERROR_INVALID_DATA
  if (error == AVERROR_DECODER_NOT_FOUND || error == AVERROR_DEMUXER_NOT_FOUND ||
      error == AVERROR_STREAM_NOT_FOUND)
    return kNotAudio;
  if (error > -0x10000) return com::HRESULT_FROM_WIN32(static_cast<std::uint32_t>(-error));
  return E_FAIL;
}

}  // namespace

AudioDecoder::~AudioDecoder() {
  Close();
}

void AudioDecoder::Close() {
  av_frame_free(&frame_);
  av_packet_free(&packet_);
  swr_free(&swr_);
  avcodec_free_context(&codec_);
  avformat_close_input(&format_);  // leaves the caller's I/O context alone
  if (io_) {
    av_freep(&io_->buffer);
    avio_context_free(&io_);
  }
  av_channel_layout_uninit(&swrLayout_);
  swrFormat_ = -1;
  swrRate_ = 0;
  index_ = -1;
  draining_ = false;
  done_ = false;
  streamFailure_ = S_OK;
  stream_ = nullptr;
}

int AudioDecoder::ReadPacket(void* opaque, std::uint8_t* buffer, int size) {
  auto* self = static_cast<AudioDecoder*>(opaque);
  std::uint32_t got = 0;
  const HRESULT hr = self->stream_->Read(buffer, static_cast<std::uint32_t>(size), &got);
  if (FAILED(hr)) {
    self->streamFailure_ = hr;
    return AVERROR(EIO);
  }
  return got == 0 ? AVERROR_EOF : static_cast<int>(got);
}

std::int64_t AudioDecoder::SeekStream(void* opaque, std::int64_t offset, int whence) {
  auto* self = static_cast<AudioDecoder*>(opaque);
  if (whence & AVSEEK_SIZE) {
    com::STATSTG statistics{};
    if (FAILED(self->stream_->Stat(&statistics, com::STATFLAG_NONAME))) return -1;
    return static_cast<std::int64_t>(statistics.cbSize);
  }
  std::uint32_t origin;
  switch (whence & ~AVSEEK_FORCE) {
    case SEEK_SET:
      origin = com::STREAM_SEEK_SET;
      break;
    case SEEK_CUR:
      origin = com::STREAM_SEEK_CUR;
      break;
    case SEEK_END:
      origin = com::STREAM_SEEK_END;
      break;
    default:
      return AVERROR(EINVAL);
  }
  std::uint64_t position = 0;
  const HRESULT hr = self->stream_->Seek(offset, origin, &position);
  if (FAILED(hr)) {
    self->streamFailure_ = hr;
    return AVERROR(EIO);
  }
  return static_cast<std::int64_t>(position);
}

HRESULT AudioDecoder::Open(IStream* stream) {
  Close();
  if (!stream) return com::E_POINTER;
  stream_ = stream;
  std::uint64_t position = 0;
  HRESULT hr = stream->Seek(0, com::STREAM_SEEK_SET, &position);
  if (FAILED(hr)) return hr;

  auto* buffer = static_cast<std::uint8_t*>(av_malloc(kIoBufferSize));
  if (!buffer) return E_OUTOFMEMORY;
  io_ = avio_alloc_context(buffer, kIoBufferSize, 0, this, &ReadPacket, nullptr, &SeekStream);
  if (!io_) {
    av_free(buffer);
    return E_OUTOFMEMORY;
  }
  const AVInputFormat* input = nullptr;
  const int score = av_probe_input_buffer2(io_, &input, "", nullptr, 0, 0);
  if (FAILED(streamFailure_)) return streamFailure_;
  if (score == AVERROR(ENOMEM)) return E_OUTOFMEMORY;
  // Nothing recognised, too little to tell, or not sound beyond doubt.
  if (score < kMinimumProbeScore || !input || !IsAudioFormat(input->name)) return kNotAudio;

  format_ = avformat_alloc_context();
  if (!format_) return E_OUTOFMEMORY;
  format_->pb = io_;
  format_->flags |= AVFMT_FLAG_CUSTOM_IO;
  int rc = avformat_open_input(&format_, nullptr, input, nullptr);  // frees format_ on failure
  if (rc >= 0) rc = avformat_find_stream_info(format_, nullptr);
  if (FAILED(streamFailure_)) return streamFailure_;
  if (rc < 0) return ResultOf(rc);

  for (unsigned i = 0; i < format_->nb_streams; ++i) {
    AVStream* s = format_->streams[i];
    if (index_ < 0 && s->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
      index_ = static_cast<int>(i);
    else
      s->discard = AVDISCARD_ALL;
  }
  if (index_ < 0) return kNotAudio;
  const AVCodecParameters* parameters = format_->streams[index_]->codecpar;
  const AVCodec* decoder = avcodec_find_decoder(parameters->codec_id);
  if (!decoder) return kNotAudio;
  codec_ = avcodec_alloc_context3(decoder);
  if (!codec_) return E_OUTOFMEMORY;
  if ((rc = avcodec_parameters_to_context(codec_, parameters)) < 0) return ResultOf(rc);
  codec_->pkt_timebase = format_->streams[index_]->time_base;
  codec_->thread_count = 1;
  if ((rc = avcodec_open2(codec_, decoder, nullptr)) < 0) return ResultOf(rc);
  packet_ = av_packet_alloc();
  frame_ = av_frame_alloc();
  if (!packet_ || !frame_) return E_OUTOFMEMORY;
  return S_OK;
}

HRESULT AudioDecoder::Convert(const AVFrame* frame, std::vector<std::uint8_t>* pcm) {
  AVChannelLayout layout{};
  int rc = frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC
               ? (av_channel_layout_default(&layout, frame->ch_layout.nb_channels), 0)
               : av_channel_layout_copy(&layout, &frame->ch_layout);
  if (rc < 0) return ResultOf(rc);
  // A new resampler when the form changes within the file (the links of a chain); the old
  // one gives up what it still holds first.
  if (!swr_ || frame->format != swrFormat_ || frame->sample_rate != swrRate_ ||
      av_channel_layout_compare(&layout, &swrLayout_) != 0) {
    if (swr_) {
      const HRESULT hr = Drain(pcm);
      if (FAILED(hr)) {
        av_channel_layout_uninit(&layout);
        return hr;
      }
      swr_free(&swr_);
    }
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    rc = swr_alloc_set_opts2(&swr_, &stereo, AV_SAMPLE_FMT_S16, kOutputRate, &layout,
                             static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0,
                             nullptr);
    if (rc >= 0) rc = swr_init(swr_);
    av_channel_layout_uninit(&swrLayout_);
    swrLayout_ = layout;
    layout = {};
    swrFormat_ = frame->format;
    swrRate_ = frame->sample_rate;
    if (rc < 0) {
      swr_free(&swr_);
      return ResultOf(rc);
    }
  }
  av_channel_layout_uninit(&layout);
  const int room = swr_get_out_samples(swr_, frame->nb_samples);
  if (room < 0) return ResultOf(room);
  const size_t old = pcm->size();
  pcm->resize(old + static_cast<size_t>(room) * kOutputFrameBytes);
  std::uint8_t* out = pcm->data() + old;
  const int got = swr_convert(
      swr_, &out, room, const_cast<const std::uint8_t**>(frame->extended_data), frame->nb_samples);
  if (got < 0) {
    pcm->resize(old);
    return ResultOf(got);
  }
  pcm->resize(old + static_cast<size_t>(got) * kOutputFrameBytes);
  return S_OK;
}

HRESULT AudioDecoder::Drain(std::vector<std::uint8_t>* pcm) {
  if (!swr_) return S_OK;
  const int room = swr_get_out_samples(swr_, 0);
  if (room <= 0) return ResultOf(room);
  const size_t old = pcm->size();
  pcm->resize(old + static_cast<size_t>(room) * kOutputFrameBytes);
  std::uint8_t* out = pcm->data() + old;
  const int got = swr_convert(swr_, &out, room, nullptr, 0);
  pcm->resize(old + static_cast<size_t>(got > 0 ? got : 0) * kOutputFrameBytes);
  return ResultOf(got);
}

HRESULT AudioDecoder::Next(std::vector<std::uint8_t>* pcm) {
  if (!codec_) return E_FAIL;
  int errors = 0;
  while (!done_) {
    int rc = avcodec_receive_frame(codec_, frame_);
    if (rc >= 0) {
      const HRESULT hr = Convert(frame_, pcm);
      av_frame_unref(frame_);
      if (FAILED(hr)) return hr;
      if (!pcm->empty()) return S_OK;
      continue;
    }
    if (rc == AVERROR_EOF) {
      done_ = true;
      const HRESULT hr = Drain(pcm);
      if (FAILED(hr)) return hr;
      break;
    }
    if (rc != AVERROR(EAGAIN)) {
      // A damaged frame is skipped, as a player does; a decoder that fails on and on is not.
      if (rc != AVERROR_INVALIDDATA || ++errors > kMaxDecodeErrors) return ResultOf(rc);
      continue;
    }
    if (draining_) return E_FAIL;  // a drained decoder that wants more input
    rc = av_read_frame(format_, packet_);
    if (FAILED(streamFailure_)) return streamFailure_;
    if (rc < 0) {
      // The end of the file, or damage that ends it: what was decoded stands.
      avcodec_send_packet(codec_, nullptr);
      draining_ = true;
      continue;
    }
    if (packet_->stream_index != index_) {
      av_packet_unref(packet_);
      continue;
    }
    rc = avcodec_send_packet(codec_, packet_);
    av_packet_unref(packet_);
    if (rc < 0 && rc != AVERROR_INVALIDDATA) return ResultOf(rc);
    if (rc < 0 && ++errors > kMaxDecodeErrors) return ResultOf(rc);
  }
  return pcm->empty() ? NS_E_NO_MORE_SAMPLES : S_OK;
}

}  // namespace platform::media::runtime
