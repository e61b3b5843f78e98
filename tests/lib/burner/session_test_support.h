// Helpers of the session-at-once tests: memory sources, track lists and the fixture that
// writes them through SessionAtOnce to a virtual recorder.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "lib/api/export_frame.h"
#include "lib/core/burner/cdvd_burner_grabber.h"
#include "lib/mastering/tree/file_chain.h"
#include "lib/mastering/tree/file_objects.h"
#include "tests/lib/burner/burner_test_support.h"

namespace burnertest {

namespace vr = platform::aspi::vr;
using Bytes = std::vector<std::uint8_t>;

inline Bytes Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// A chain over one memory block; `onRead` runs before every read (throttle, cancel).
class MemorySource : public CHalvorin_File {
 public:
  explicit MemorySource(Bytes bytes, std::function<void(std::uint64_t)> onRead = {})
      : data_(std::move(bytes)), onRead_(std::move(onRead)) {
    m__ULONGLONG__SizeInUCHARs = data_.size();
    chain.AddChainTail(this);
    chain.SeekToBegin();
  }
  CHalvorin_FileChain chain;
  const Bytes& Data() const { return data_; }

 protected:
  void RealRead(std::uint64_t count, std::uint8_t* buffer) override {
    if (onRead_) onRead_(count);
    std::memcpy(buffer, data_.data() + m__ULONGLONG__PositionInUCHARs, count);
  }

 private:
  Bytes data_;
  std::function<void(std::uint64_t)> onRead_;
};

struct TrackSpec {
  CHalvorin_FileChain* source;
  bool audio = false, xa = false, raw = false;
  std::int32_t preGap = 0, postGap = 0;
};

inline std::unique_ptr<SAO_TRACK_ARRAY> List(std::initializer_list<TrackSpec> specs) {
  auto list = std::make_unique<SAO_TRACK_ARRAY>();
  std::memset(list.get(), 0, sizeof *list);
  for (const TrackSpec& s : specs) {
    SAO_TRACK_ENTRY& e = list->m__SAO_TRACK_ENTRY__Tracks[list->m__LONG__NumberOfTracks++];
    e.m__BOOLEAN__IsAudio = s.audio;
    e.m__BOOLEAN__IsXA = s.xa;
    e.m__BOOLEAN__IsRawPW = s.raw;
    e.m__LONG__PreGapInLBs = s.preGap;
    e.m__LONG__PostGapInLBs = s.postGap;
    e.m__PVOID__Tree = s.source ? HalvorinI_HandleOf(s.source) : nullptr;
  }
  return list;
}

inline std::string SenseOf(const CDB_FAILURE_INFORMATION& f) {
  char b[64];
  std::snprintf(b, sizeof b, "CDB %02X sense %X/%02X/%02X", f.m__UCHAR__CDB[0],
                f.m__UCHAR__Sense[2] & 0x0F, f.m__UCHAR__Sense[12], f.m__UCHAR__Sense[13]);
  return b;
}

class SessionAtOnce : public BurnerTest {
 protected:
  CHalvorin_CdvdBurnerGrabber* Burner() {
    return HalvorinI_ObjectOf<CHalvorin_CdvdBurnerGrabber>(burner);
  }
  libtest::Thrown Write(SAO_TRACK_ARRAY* list, bool xa = false, bool leadIn = false,
                        bool multi = false) {
    return libtest::Catch([&] { Burner()->SessionAtOnce(list, xa, false, multi, 1, 0, leadIn); });
  }
  // The ISO image of a tree of one file, as bytes and as the tree's chain.
  CHalvorin_FileChain* IsoTree(std::size_t fileBytes) {
    std::string content(fileBytes, '\0');
    for (std::size_t i = 0; i < fileBytes; ++i) content[i] = static_cast<char>(i * 13 + i / 997);
    WriteFile(dir.P("src/data.bin"), content);
    EXPECT_EQ(BuildTree(dir.W("src/data.bin"), "QUORVABACKUP", 0), 0u) << text;
    auto* chain = dynamic_cast<CHalvorin_FileChain*>(static_cast<CHalvorin_Object*>(tree));
    iso.assign(chain->GetSizeInUCHARs(), 0);
    chain->SeekToBegin();
    chain->Read(iso.size(), iso.data());
    chain->SeekToBegin();
    return chain;
  }
  // Raw PCM from sox: 44,100 Hz, 16-bit stereo, little-endian.
  Bytes Pcm(const std::string& name, const std::string& seconds, const std::string& tone) {
    std::string out;
    EXPECT_EQ(RunCommand("sox -n -r 44100 -c 2 -b 16 -e signed-integer -L -t raw " + dir.P(name) +
                             " synth " + seconds + " sine " + tone + " vol 0.5",
                         &out),
              0)
        << out;
    return Slurp(dir.P(name));
  }
  std::string Run(const std::string& command) {
    std::string out;
    EXPECT_EQ(RunCommand(command, &out), 0) << command << "\n" << out;
    return out;
  }
  // The recorder's image of disc `serial`, without its extension.
  std::string ImageBase(int serial = 1) {
    char name[64];
    std::snprintf(name, sizeof name, "home/VirtualRecorders/Recorder0/Recorder0-%04d", serial);
    return dir.P(name);
  }
  // Ejects the disc and returns the track list cd-info prints for its .cue.
  std::string EjectAndReadCue() {
    EXPECT_EQ(Halvorin_CdvdBurnerGrabber_Eject(BURNER_ARGS), 0u) << text;
    return Run("cd-info --no-device-info --no-cddb --cue-file " + ImageBase() + ".cue");
  }
  Bytes iso;
};

}  // namespace burnertest
