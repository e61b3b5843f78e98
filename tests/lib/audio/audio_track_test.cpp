// Audio files burnt track-at-once to the virtual recorder: the disc's audio track holds their
// samples, as bchunk reads them out of the exported .bin/.cue.
#include "tests/lib/burner/burner_test_support.h"

namespace burnertest {
namespace {

class AudioTrack : public BurnerTest {
 protected:
  void Run(const std::string& command) {
    std::string out;
    ASSERT_EQ(RunCommand("cd " + dir.Posix() + " && " + command, &out), 0) << command << "\n"
                                                                           << out;
  }
  std::string Bytes(const std::string& name) { return ReadFile(dir.P(name)); }

  // Burns the file as the one track of a CD-R, ejects it and returns the track's bytes.
  std::string BurnAndExtract(const std::string& file, int serial) {
    EXPECT_EQ(Create(), 0u) << text;
    EXPECT_EQ(Halvorin_CdvdBurnerGrabber_TrackAtOnceFromFile(BURNER_ARGS, dir.W(file).c_str(), 0, 0,
                                                             0, 1, 0),
              0u)
        << text;
    EXPECT_EQ(Halvorin_CdvdBurnerGrabber_CloseSession(BURNER_ARGS), 0u) << text;
    EXPECT_EQ(Halvorin_CdvdBurnerGrabber_Eject(BURNER_ARGS), 0u) << text;
    Halvorin_Destroy(&burner);
    const std::string base = Image(serial).substr(0, Image(serial).size() - 4);
    const std::string cue = ReadFile(base + ".cue");
    EXPECT_NE(cue.find("TRACK 01 AUDIO"), std::string::npos) << cue;
    const std::string out = dir.P("track" + std::to_string(serial) + "-");
    Run("bchunk -w " + base + ".bin " + base + ".cue " + out);
    const std::string wav = ReadFile(out + "01.wav");
    EXPECT_GE(wav.size(), 44u);
    return wav.size() >= 44 ? wav.substr(44) : "";
  }
};

TEST_F(AudioTrack, WavAndOggFilesBecomeAudioTracksHoldingTheirSamples) {
  Devices({Media::CdR});
  Run("sox -n -r 44100 -c 2 -b 16 -e signed-integer a.wav synth 1.1 sine 440 sine 661 vol 0.6");
  Run("sox -n -r 44100 -c 2 -b 16 b.wav synth 0.9 square 220 vol 0.3 && oggenc -Q -o b.ogg b.wav");
  Run("oggdec -Q -R -o b.pcm b.ogg");
  const std::string pcm[] = {Bytes("a.wav").substr(44), Bytes("b.pcm")};
  const std::string files[] = {"a.wav", "b.ogg"};
  for (int i = 0; i < 2; ++i) {
    const std::string track = BurnAndExtract(files[i], i + 1);
    // The last sector is filled with silence.
    const size_t sectors = (pcm[i].size() + 2351) / 2352;
    ASSERT_EQ(track.size(), sectors * 2352) << files[i];
    EXPECT_TRUE(track.substr(0, pcm[i].size()) == pcm[i]) << files[i];
    EXPECT_EQ(track.find_first_not_of('\0', pcm[i].size()), std::string::npos) << files[i];
  }
}

}  // namespace
}  // namespace burnertest
