// Helpers of the audio reader's tests: fixtures made by outside tools (sox, oggenc, ffmpeg),
// their PCM as those tools decode it, and a whole file read through a reader handle.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "lib/audio/tidewell.h"
#include "lib/audio/tidewell_trace.h"
#include "platform/media/media.h"
#include "tests/support/temp_dir.h"

namespace audiotest {

// HRESULT forms of the reader's statuses, as the handle functions return them.
inline constexpr std::uint32_t kShortRead = 0x800703E4;      // 996
inline constexpr std::uint32_t kHandleEof = 0x80070026;      // 38
inline constexpr std::uint32_t kNoMoreSamples = 0xC00D0BCF;  // the runtime's end
inline constexpr std::uint32_t kBadFormat = 0x800700A0;      // 160
inline constexpr std::uint32_t kNotAudio = 0x8007000B;       // the runtime's refusal
inline constexpr std::uint32_t kModuleNotFound = 0x8007007E;
inline constexpr std::uint32_t kProcNotFound = 0x8007007F;
inline constexpr std::uint32_t kTooLarge = 0x800700DF;    // 223
inline constexpr std::uint32_t kNotCreated = 0x80070548;  // 1352

// A test with its own program folder and registry, the log writer as before start-up and the
// media runtime in place.
class AudioTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("QUORVA_HOME", dir.P("home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", dir.P("config").c_str(), 1);
    setenv("XDG_DATA_HOME", dir.P("data").c_str(), 1);
    TidewellI_ResetLogWriter();
    TidewellI_ResetDebugSettings();
    platform::media::testing::SetRuntimeName("");
  }
  void TearDown() override {
    TidewellI_ResetLogWriter();
    TidewellI_ResetDebugSettings();
    platform::media::testing::SetRuntimeName("");
  }

  // Runs a tool in the test folder; the test fails when it does.
  void Run(const std::string& command) {
    std::string out;
    ASSERT_EQ(RunCommand("cd " + dir.Posix() + " && " + command, &out), 0) << command << "\n"
                                                                           << out;
  }
  std::vector<std::uint8_t> Bytes(const std::string& name) {
    const std::string s = ReadFile(dir.P(name));
    return {s.begin(), s.end()};
  }
  // The PCM of a file as a reference tool decodes it.
  std::vector<std::uint8_t> OggdecPcm(const std::string& name) {
    Run("oggdec -Q -R -o " + name + ".ref " + name);
    return Bytes(name + ".ref");
  }
  std::vector<std::uint8_t> FfmpegPcm(const std::string& name) {
    Run("ffmpeg -v error -y -i " + name + " -f s16le -ac 2 -ar 44100 " + name + ".ref");
    return Bytes(name + ".ref");
  }
  // Stereo 16-bit at `rate` with `channels`, `seconds` long, made by sox (a canonical header).
  void Sox(const std::string& name, int rate, int channels, double seconds) {
    Run("sox -n -r " + std::to_string(rate) + " -c " + std::to_string(channels) +
        " -b 16 -e signed-integer " + name + " synth " + std::to_string(seconds) +
        " sine 440 sine 661 vol 0.6");
  }

  TempDir dir;
};

// Reads `size` bytes through the handle in reads of `chunk` bytes.
inline std::vector<std::uint8_t> ReadAll(void* handle, std::uint32_t size, std::uint32_t chunk) {
  std::vector<std::uint8_t> out(size);
  for (std::uint32_t at = 0; at < size; at += chunk) {
    const std::uint32_t n = std::min(chunk, size - at);
    const std::uint32_t status =
        Tidewell_CompressedFileReaderObjectRead(handle, out.data() + at, n);
    if (status != 0) {
      ADD_FAILURE() << "read of " << n << " at " << at << " failed with 0x" << std::hex << status;
      out.resize(at);
      break;
    }
  }
  return out;
}

// How many file descriptors the process holds.
inline int OpenDescriptors() {
  int n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
    ++n;
  return n;
}

}  // namespace audiotest
