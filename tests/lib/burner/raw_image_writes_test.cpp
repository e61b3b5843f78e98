// Raw images written back disc-at-once and session-at-once, beyond the table's rows: the Q made
// anew (raw-view option 1) keeps each pause with its own track; control bits beyond data
// (copy permit, pre-emphasis) reach the TOC as the Q has them; an image without Q is written by
// its descriptor or as one data track; a data sector with a damaged sync is written as it was;
// an image whose Q numbers its tracks 1 and 3 is refused. Every raw sector sent is checked by
// the test's own ECMA-130 coder, and the disc is ejected and read back (.cue, .bin, bchunk).
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "platform/aspi/recorder/vr_recorder.h"
#include "tests/lib/grab/grab_test_support.h"
#include "tests/support/ecma130.h"

namespace burnertest {
namespace {

using grabtest::GrabTest;

class RawImageWrites : public GrabTest {
 protected:
  void Tone(const std::string& name, const std::string& samples, const std::string& hz) {
    Run("sox -n -r 44100 -c 2 -b 16 -e signed-integer -L " + dir.P(name + ".wav") + " synth " +
        samples + "s sine " + hz + " vol 0.5");
  }
  Bytes DataFile() {
    Bytes b = grabtest::Blocks(300);
    WriteFile(dir.P("data.bin"), std::string(b.begin(), b.end()));
    return b;
  }

  // A disc written session-at-once from the files (150-sector pauses), grabbed whole into
  // grab.qvf and grab.mds (Ignore: an audio pause after data is no data sector) and ejected
  // (image 1). Its layout as the TOC gives it.
  ecma130::Layout GrabbedDisc(const std::vector<std::string>& files) {
    auto list = std::make_unique<SAO_TRACK_ARRAY>();
    std::memset(list.get(), 0, sizeof *list);
    for (const std::string& f : files)
      std::strcpy(
          list->m__SAO_TRACK_ENTRY__Tracks[list->m__LONG__NumberOfTracks++].m__CHAR__FileName,
          dir.W(f).c_str());
    EXPECT_EQ(Halvorin_CdvdBurnerGrabber_SessionAtOnce(BURNER_ARGS, list.get(), 0, 0, 0, 0, 0), 0u)
        << text;
    const TOC_INFORMATION toc = Toc();
    ecma130::Layout layout;
    for (int i = 0; i < toc.m__UCHAR__NumberOfTracks; ++i) {
      const TOC_TRACK_ENTRY& t = toc.m__TOC_TRACK_ENTRY__Tracks[i];
      layout.tracks.push_back({t.m__BOOLEAN__IsAudioTrack != 0, 150, t.m__LONG__StartLBA});
      layout.leadOut = t.m__LONG__EndLBA + 1;
    }
    EXPECT_EQ(GrabCD(dir.W("grab"), 3, 0, true), 0u) << text;
    EXPECT_EQ(Halvorin_CdvdBurnerGrabber_Eject(BURNER_ARGS), 0u) << text;
    return layout;
  }

  // Disc-at-once of one raw image; the library's entry stays in `entry`.
  HALVORIN_STATUS Dao(bool pw, std::uint8_t option, const std::string& image,
                      TRACK_ENTRY* entry = nullptr) {
    auto list = std::make_unique<TRACK_ARRAY>();
    std::memset(list.get(), 0, sizeof *list);
    list->m__LONG__NumberOfTracks = 1;
    std::strcpy(list->m__TRACK_ENTRY__Tracks[0].m__CHAR__FileName, dir.W(image).c_str());
    const HALVORIN_STATUS s = pw ? Halvorin_CdvdBurnerGrabber_DiscAtOnceRawPWFromFile(
                                       BURNER_ARGS, list.get(), 0, 0, 0, option, 0, 0)
                                 : Halvorin_CdvdBurnerGrabber_DiscAtOncePQFromFile(
                                       BURNER_ARGS, list.get(), 0, 0, 0, option, 0, 0);
    if (entry) *entry = list->m__TRACK_ENTRY__Tracks[0];
    return s;
  }

  // Runs the write with the recorder keeping what it is sent; every raw sector is checked
  // against the layout, and the recorder saw no Q that disagrees with its TOC.
  std::vector<vr::SentWrite> Sent(const std::function<HALVORIN_STATUS()>& write,
                                  const ecma130::Layout* layout) {
    at::Recorder(0).KeepSentWrites(true);
    const HALVORIN_STATUS status = write();
    std::vector<vr::SentWrite> sent = at::Recorder(0).TakeSentWrites();
    at::Recorder(0).KeepSentWrites(false);
    EXPECT_EQ(status, 0u) << text;
    if (status || !layout) return sent;
    ecma130::Checker checker(*layout);
    for (const vr::SentWrite& w : sent) {
      if (w.blocks == 0) continue;
      const std::size_t size = w.data.size() / w.blocks;
      for (std::uint32_t i = 0; i < w.blocks; ++i) {
        checker.Check({w.lba + i, w.data.data() + i * size, size});
        if (HasFatalFailure()) return sent;
      }
    }
    EXPECT_GT(checker.RawBlocks(), 0);
    checker.ExpectWholeToc();
    EXPECT_EQ(at::Recorder(0).CurrentDisc().qMismatches, 0);
    return sent;
  }

  // The disc just written, ejected as image `serial`, is the source disc: .bin for .bin, and
  // its .cue's indexes.
  void ExpectSourceDisc(int serial) {
    ASSERT_EQ(Halvorin_CdvdBurnerGrabber_Eject(BURNER_ARGS), 0u) << text;
    const std::string cue = ReadFile(ImageBase(serial) + ".cue"),
                      source = ReadFile(ImageBase(1) + ".cue");
    EXPECT_EQ(cue.substr(cue.find('\n')), source.substr(source.find('\n')));
    EXPECT_TRUE(Slurp(ImageBase(serial) + ".bin") == Slurp(ImageBase(1) + ".bin"));
  }

  // Rewrites the Q of every sector of the image that `edit` changes (the test's own CRC).
  static void EditQ(Bytes& image, const std::function<bool(std::uint8_t*)>& edit) {
    for (std::size_t at = 0; at + 2448 <= image.size(); at += 2448) {
      std::uint8_t* sub = image.data() + at + 2352;
      std::uint8_t q[12] = {};
      for (int i = 0; i < 96; ++i)
        if (sub[i] & 0x40) q[i / 8] = static_cast<std::uint8_t>(q[i / 8] | 0x80 >> i % 8);
      if (!edit(q)) continue;
      const std::uint16_t crc = ecma130::QCrc(q);
      q[10] = static_cast<std::uint8_t>(crc >> 8);
      q[11] = static_cast<std::uint8_t>(crc);
      for (int i = 0; i < 96; ++i)
        sub[i] = static_cast<std::uint8_t>((sub[i] & ~0x40) | ((q[i / 8] >> (7 - i % 8)) & 1) << 6);
    }
  }
  void Save(const std::string& name, const Bytes& b) {
    WriteFile(dir.P(name), std::string(b.begin(), b.end()));
  }
};

// Option 1 over a data track and an audio track behind a pause: the pause is INDEX 0 of the
// audio track with its audio control, as the source disc had it; the disc is the source again.
TEST_F(RawImageWrites, QMadeAnewKeepsEachPauseWithItsOwnTrack) {
  for (bool pw : {false, true}) {
    SCOPED_TRACE(pw ? "raw P-W" : "PQ");
    Devices({Media::CdR});
    ASSERT_EQ(CreateGrabber(), 0u) << text;
    DataFile();
    Tone("two", "176400", "660");
    const ecma130::Layout layout = GrabbedDisc({"data.bin", "two.wav"});
    ASSERT_EQ(layout.tracks.size(), 2u);
    ASSERT_TRUE(layout.tracks[1].audio && !layout.tracks[0].audio);
    Sent([&] { return Dao(pw, 1, "grab.qvf"); }, &layout);
    if (HasFatalFailure()) return;
    ExpectSourceDisc(2);
    Halvorin_Destroy(&burner);
    at::ConfigureRecorders({});
    std::filesystem::remove_all(dir.P("home"));
  }
}

// An audio image whose Q says copy permitted for track 1 and pre-emphasis for track 2: the
// TOC (lead-in of disc-at-once, cue sheet of session-at-once) gives each track that control,
// so that it agrees with the Q written; the library's entry says audio.
TEST_F(RawImageWrites, ControlBitsBeyondDataReachTheToc) {
  for (bool sao : {false, true}) {
    SCOPED_TRACE(sao ? "session-at-once" : "disc-at-once");
    Devices({Media::CdR});
    ASSERT_EQ(CreateGrabber(), 0u) << text;
    Tone("one", "198450", "440");
    Tone("two", "176400", "660");
    ecma130::Layout layout = GrabbedDisc({"one.wav", "two.wav"});
    ASSERT_EQ(layout.tracks.size(), 2u);
    Bytes image = Slurp(dir.P("grab.qvf"));
    EditQ(image, [](std::uint8_t* q) {
      if ((q[0] & 0x0F) != 1 || (q[1] != 1 && q[1] != 2)) return false;
      q[0] = q[1] == 1 ? 0x21 : 0x11;
      return true;
    });
    Save("grab.qvf", image);
    layout.tracks[0].control = 2;
    layout.tracks[1].control = 1;
    TRACK_ENTRY entry{};
    Sent(
        [&] {
          return sao ? Halvorin_CdvdBurnerGrabber_SessionAtOnceRawRawPW(
                           BURNER_ARGS, dir.W("grab.mds").c_str(), 0, 0, 0, 0)
                     : Dao(false, 0, "grab.qvf", &entry);
        },
        sao ? nullptr : &layout);
    if (!sao) {
      EXPECT_EQ(entry.m__BOOLEAN__IsData, 0);
      EXPECT_EQ(entry.m__BOOLEAN__IsRaw, 1);
    }
    EXPECT_EQ(at::Recorder(0).CurrentDisc().qMismatches, 0);
    const TOC_INFORMATION toc = Toc();
    ASSERT_EQ(toc.m__UCHAR__NumberOfTracks, 2);
    EXPECT_EQ(toc.m__TOC_TRACK_ENTRY__Tracks[0].m__BOOLEAN__IsDigitalCopyPermitted, 1);
    EXPECT_EQ(toc.m__TOC_TRACK_ENTRY__Tracks[0].m__BOOLEAN__IsPreEmphasis, 0);
    EXPECT_EQ(toc.m__TOC_TRACK_ENTRY__Tracks[1].m__BOOLEAN__IsDigitalCopyPermitted, 0);
    EXPECT_EQ(toc.m__TOC_TRACK_ENTRY__Tracks[1].m__BOOLEAN__IsPreEmphasis, 1);
    ExpectSourceDisc(2);
    Halvorin_Destroy(&burner);
    at::ConfigureRecorders({});
    std::filesystem::remove_all(dir.P("home"));
  }
}

// A data image whose subchannel holds no Q: written by the descriptor beside it, or without one
// as one data track (its first sector a data sector); the disc holds the source's sectors, and
// bchunk's track its blocks. An image of which neither says anything is refused before the
// drive hears of it.
TEST_F(RawImageWrites, ImagesWithoutQ) {
  Devices({Media::CdR});
  ASSERT_EQ(CreateGrabber(), 0u) << text;
  const Bytes blocks = DataFile();
  const ecma130::Layout layout = GrabbedDisc({"data.bin"});
  Bytes image = Slurp(dir.P("grab.qvf"));
  for (std::size_t at = 0; at + 2448 <= image.size(); at += 2448)
    std::memset(image.data() + at + 2352, 0, 96);
  Save("grab.qvf", image);
  for (int serial : {2, 3}) {
    SCOPED_TRACE(serial == 2 ? "descriptor" : "first sector");
    if (serial == 3) std::filesystem::rename(dir.P("grab.mds"), dir.P("away.mds"));
    // Option 0 would copy the image's Q: there is none, so it is made anew all the same.
    Sent([&] { return Dao(serial == 3, serial == 2 ? 0 : 1, "grab.qvf"); }, &layout);
    ASSERT_EQ(Halvorin_CdvdBurnerGrabber_Eject(BURNER_ARGS), 0u) << text;
    EXPECT_TRUE(Slurp(ImageBase(serial) + ".bin") == Slurp(ImageBase(1) + ".bin"));
    const std::string out = dir.P("bchunk" + std::to_string(serial) + "/track");
    std::filesystem::create_directories(dir.P("bchunk" + std::to_string(serial)));
    Run("bchunk " + ImageBase(serial) + ".bin " + ImageBase(serial) + ".cue " + out);
    const Bytes iso = Slurp(out + "01.iso");
    ASSERT_GE(iso.size(), blocks.size());
    EXPECT_TRUE(Bytes(iso.begin(), iso.begin() + static_cast<std::ptrdiff_t>(blocks.size())) ==
                blocks);
  }

  // Audio sectors whose Q never reaches INDEX 1, no sync, no descriptor: nothing gives a track.
  Bytes none(10 * 2448);
  for (int i = 0; i < 10; ++i) {
    std::uint8_t* sub = none.data() + i * 2448 + 2352;
    std::uint8_t q[12] = {0x01, 0x01,
                          0x00, 0,
                          0,    static_cast<std::uint8_t>(9 - i),
                          0,    0,
                          2,    static_cast<std::uint8_t>(i)};
    const std::uint16_t crc = ecma130::QCrc(q);
    q[10] = static_cast<std::uint8_t>(crc >> 8);
    q[11] = static_cast<std::uint8_t>(crc);
    for (int k = 0; k < 96; ++k)
      sub[k] = static_cast<std::uint8_t>(((q[k / 8] >> (7 - k % 8)) & 1) << 6);
  }
  Save("none.qvf", none);
  at::Recorder(0).KeepSentWrites(true);
  EXPECT_EQ(Dao(false, 0, "none.qvf"), 2u);
  EXPECT_NE(std::string(text).find("give no track"), std::string::npos) << text;
  EXPECT_TRUE(at::Recorder(0).TakeSentWrites().empty());
  at::Recorder(0).KeepSentWrites(false);
}

// A data sector kept bad by a grab, its sync damaged: its Q says data, so it is sent scrambled
// and the disc holds it as the image has it.
TEST_F(RawImageWrites, DataSectorWithADamagedSyncIsWrittenAsItWas) {
  Devices({Media::CdR});
  ASSERT_EQ(CreateGrabber(), 0u) << text;
  DataFile();
  const ecma130::Layout layout = GrabbedDisc({"data.bin"});
  Bytes image = Slurp(dir.P("grab.qvf"));
  constexpr std::size_t kDamaged = 40;
  image[kDamaged * 2448 + 3] = 0x7F;
  Save("grab.qvf", image);
  const std::vector<vr::SentWrite> sent = Sent([&] { return Dao(false, 0, "grab.qvf"); }, nullptr);
  bool seen = false;
  for (const vr::SentWrite& w : sent)
    for (std::uint32_t i = 0; w.blocks && i < w.blocks; ++i) {
      const std::int64_t lba = w.lba + i;
      if (lba < 0 || lba >= layout.leadOut) continue;
      const std::size_t size = w.data.size() / w.blocks;
      std::uint8_t sector[2352];
      std::memcpy(sector, w.data.data() + i * size, 2352);
      ecma130::Descramble(sector);
      ASSERT_EQ(std::memcmp(sector, image.data() + static_cast<std::size_t>(lba) * 2448, 2352), 0)
          << "LBA " << lba;
      seen = seen || lba == static_cast<std::int64_t>(kDamaged);
    }
  EXPECT_TRUE(seen);
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_Eject(BURNER_ARGS), 0u) << text;
  const Bytes bin = Slurp(ImageBase(2) + ".bin");
  ASSERT_GE(bin.size(), (kDamaged + 1) * 2352);
  for (std::size_t s = 0; s < static_cast<std::size_t>(layout.leadOut); ++s)
    ASSERT_EQ(std::memcmp(bin.data() + s * 2352, image.data() + s * 2448, 2352), 0) << s;
}

// An image whose Q numbers its second track 3: the disc would be written with tracks 1 and 2
// while the Q copied says 3. Refused by both writers before any write.
TEST_F(RawImageWrites, TrackNumbersThatSkipAreRefused) {
  Devices({Media::CdR});
  ASSERT_EQ(CreateGrabber(), 0u) << text;
  Tone("one", "198450", "440");
  Tone("two", "176400", "660");
  GrabbedDisc({"one.wav", "two.wav"});
  Bytes image = Slurp(dir.P("grab.qvf"));
  EditQ(image, [](std::uint8_t* q) {
    if ((q[0] & 0x0F) != 1 || q[1] != 2) return false;
    q[1] = 3;
    return true;
  });
  Save("grab.qvf", image);
  for (bool sao : {false, true}) {
    SCOPED_TRACE(sao ? "session-at-once" : "disc-at-once");
    at::Recorder(0).KeepSentWrites(true);
    const HALVORIN_STATUS status = sao ? Halvorin_CdvdBurnerGrabber_SessionAtOnceRawRawPW(
                                             BURNER_ARGS, dir.W("grab.mds").c_str(), 0, 0, 0, 0)
                                       : Dao(false, 0, "grab.qvf");
    EXPECT_EQ(status, 2u) << text;
    EXPECT_NE(std::string(text).find("numbered 3"), std::string::npos) << text;
    EXPECT_TRUE(at::Recorder(0).TakeSentWrites().empty());
    at::Recorder(0).KeepSentWrites(false);
  }
}

}  // namespace
}  // namespace burnertest
