// Every write export for every kind of source it takes, one row each: the source is made, the
// export writes it to a virtual CD-R whose recorder keeps what the library sent, every raw
// sector sent is checked by the test's own ECMA-130 coder (EDC/ECC of data sectors, Q CRC and
// positions against the disc the row expects), then the disc is ejected and read back with
// outside tools only: the .cue's tracks and indexes, cd-info's track list, bchunk's tracks
// compared byte for byte with the source (PCM per track, data blocks), xorriso's files of a
// tree; a grabbed image's disc is the source disc again, .bin for .bin and index for index.
//
// A row is one line of kRows: the export and the source. Left for after the merge of the other
// writes' mends (one line each, with the export added to Write() where it is not yet there):
//   {"SaoXaFile", Export::Sao, Source::XaData}                    the XA data tail
//   {"VideoCd", Export::VideoCd, Source::Mpeg1}, {"VideoCdEx0" ...}, {"VideoCdEx1" ...}, and the
//   Super VideoCD forms                                            the VideoCD checks
//   {"DaoPQWavXa", Export::DaoPQFile, Source::WavXa}              the format follows the tracks
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <sstream>

#include "platform/aspi/recorder/vr_recorder.h"
#include "tests/lib/grab/grab_test_support.h"
#include "tests/support/ecma130.h"

namespace burnertest {
namespace {

using grabtest::GrabTest;

enum class Export { TaoFile, TaoTree, Sao, SaoRaw, DaoPQFile, DaoPWFile, DaoPQTree, DaoPWTree };
enum class Source {
  Data,              // a data file of a partial last block
  Tree,              // an ISO9660/Joliet tree of three files
  XaTree,            // the same tree written as CD-ROM XA
  XaData,            // the data file written as CD-ROM XA
  Wav,               // two WAV files of sox tones, the first of a partial last sector
  Ogg,               // an Ogg Vorbis file
  Mixed,             // the data file and a WAV file
  GrabAudio,         // grabbed: two audio tracks with their pauses (written session-at-once)
  GrabAudioNoPause,  // grabbed: two audio tracks without pauses (written disc-at-once)
  GrabDataAudio,     // grabbed with Ignore: a data track, an audio pause, an audio track
  GrabTwoSessions,   // grabbed: a data track in each of two sessions
};

struct Row {
  const char* name;
  Export exp;
  Source source;
};

constexpr Row kRows[] = {
    {"TaoFile", Export::TaoFile, Source::Data},
    {"TaoFileXa", Export::TaoFile, Source::XaData},
    {"TaoTree", Export::TaoTree, Source::Tree},
    {"TaoTreeXa", Export::TaoTree, Source::XaTree},
    {"SaoFile", Export::Sao, Source::Data},
    {"SaoWav", Export::Sao, Source::Wav},
    {"SaoOgg", Export::Sao, Source::Ogg},
    {"SaoMixed", Export::Sao, Source::Mixed},
    {"DaoPQFile", Export::DaoPQFile, Source::Data},
    {"DaoPWFile", Export::DaoPWFile, Source::Data},
    {"DaoPQFileXa", Export::DaoPQFile, Source::XaData},
    {"DaoPQWav", Export::DaoPQFile, Source::Wav},
    {"DaoPWWav", Export::DaoPWFile, Source::Wav},
    {"DaoPWOgg", Export::DaoPWFile, Source::Ogg},
    {"DaoPQTree", Export::DaoPQTree, Source::Tree},
    {"DaoPWTree", Export::DaoPWTree, Source::Tree},
    {"DaoPWTreeXa", Export::DaoPWTree, Source::XaTree},
    {"SaoRawAudio", Export::SaoRaw, Source::GrabAudio},
    {"SaoRawAudioNoPause", Export::SaoRaw, Source::GrabAudioNoPause},
    {"SaoRawDataAudio", Export::SaoRaw, Source::GrabDataAudio},
    {"SaoRawTwoSessions", Export::SaoRaw, Source::GrabTwoSessions},
    {"DaoPQGrabAudio", Export::DaoPQFile, Source::GrabAudio},
    {"DaoPWGrabAudio", Export::DaoPWFile, Source::GrabAudio},
    {"DaoPQGrabAudioNoPause", Export::DaoPQFile, Source::GrabAudioNoPause},
    {"DaoPWGrabDataAudio", Export::DaoPWFile, Source::GrabDataAudio},
    {"DaoPQGrabDataAudio", Export::DaoPQFile, Source::GrabDataAudio},
    {"DaoPWGrabTwoSessions", Export::DaoPWFile, Source::GrabTwoSessions},
};

void PrintTo(const Row& row, std::ostream* os) {
  *os << row.name;
}

bool IsGrab(Source s) {
  return s == Source::GrabAudio || s == Source::GrabAudioNoPause || s == Source::GrabDataAudio ||
         s == Source::GrabTwoSessions;
}
bool IsXa(Source s) {
  return s == Source::XaTree || s == Source::XaData;
}

// A track as the row expects it on the disc: its kind, the pause before it, the bytes it holds
// (PCM, or the user data of its blocks), and its sectors (past its bytes: zeros).
struct Expected {
  bool audio = false, mode2 = false;
  std::int64_t pause = 0, sectors = 0;
  Bytes content;
};

// A .cue as the recorder exports it: each track's type and its INDEX 00 and 01 in sectors.
struct CueTrack {
  std::string type;
  std::int64_t index0 = -1, index1 = -1;
};
std::vector<CueTrack> ParseCue(const std::string& text) {
  std::vector<CueTrack> out;
  std::istringstream in(text);
  std::string word;
  while (in >> word) {
    if (word == "TRACK") {
      std::string number;
      out.emplace_back();
      in >> number >> out.back().type;
    } else if (word == "INDEX" && !out.empty()) {
      int index = 0, m = 0, s = 0, f = 0;
      char c = 0;
      in >> index >> m >> c >> s >> c >> f;
      (index ? out.back().index1 : out.back().index0) = (m * 60 + s) * 75 + f;
    }
  }
  return out;
}

class WriteExports : public GrabTest, public ::testing::WithParamInterface<Row> {
 protected:
  std::string Base(int serial) {
    char name[64];
    std::snprintf(name, sizeof name, "home/VirtualRecorders/Recorder0/Recorder0-%04d", serial);
    return dir.P(name);
  }
  std::string Tool(const std::string& command) {
    std::string out;
    EXPECT_EQ(RunCommand(command, &out), 0) << command << "\n" << out;
    return out;
  }
  Bytes Tone(const std::string& name, const std::string& samples, const std::string& hz) {
    Tool("sox -n -r 44100 -c 2 -b 16 -e signed-integer -L -t raw " + dir.P(name + ".raw") +
         " synth " + samples + "s sine " + hz + " vol 0.5");
    Tool("sox -r 44100 -c 2 -b 16 -e signed-integer -L -t raw " + dir.P(name + ".raw") + " " +
         dir.P(name + ".wav"));
    return Slurp(dir.P(name + ".raw"));
  }
  Bytes DataFile() {
    Bytes b = grabtest::Blocks(150);
    b.resize(150 * 2048 - 777);
    WriteFile(dir.P("data.bin"), std::string(b.begin(), b.end()));
    return b;
  }
  // The ISO image of src/ (three files), built at LBA 0.
  Bytes Tree() {
    WriteFile(dir.P("src/a.txt"), "alpha\n");
    WriteFile(dir.P("src/sub/b.bin"), std::string(70000, 'b'));
    const Bytes blocks = grabtest::Blocks(40);
    WriteFile(dir.P("src/sub/c.bin"), std::string(blocks.begin(), blocks.end()));
    if (tree) Halvorin_Destroy(&tree);
    EXPECT_EQ(Halvorin_ISO9660JolietFileTree_Create(&tree, text, sizeof text, &error, nullptr,
                                                    nullptr, 1, 0, 1, 1),
              0u);
    void* root = Halvorin_ISO9660JolietFileTree_GetRoot(tree);
    EXPECT_EQ(Halvorin_ISO9660JolietFileTree_Add(tree, text, sizeof text, &error,
                                                 dir.W("src/a.txt").c_str(), "a.txt", 2, &root),
              0u);
    void* sub = root;
    EXPECT_EQ(Halvorin_ISO9660JolietFileTree_Add(tree, text, sizeof text, &error,
                                                 dir.W("src/sub").c_str(), "sub", 2, &sub),
              0u)
        << text;
    EXPECT_EQ(Halvorin_ISO9660JolietFileTree_BuildImage(
                  tree, text, sizeof text, &error, 0, Halvorin_ISO9660JolietFileTree_GetLevel(tree),
                  1, "TABLE", "QB.exe", "QB.exe"),
              0u)
        << text;
    auto* chain = dynamic_cast<CHalvorin_FileChain*>(static_cast<CHalvorin_Object*>(tree));
    Bytes iso(chain->GetSizeInUCHARs());
    chain->SeekToBegin();
    chain->Read(iso.size(), iso.data());
    chain->SeekToBegin();
    return iso;
  }

  // PCM as a disc holds it: whole sectors, the last padded with silence.
  static Bytes Sectors(Bytes b, std::size_t unit) {
    b.resize((b.size() + unit - 1) / unit * unit);
    return b;
  }

  // Writes the source disc of a grab row and grabs it into grab.mds/grab.qvf; the source disc
  // is ejected (image 1), its tracks are `expected`.
  void GrabbedSource(Source s) {
    const Bytes one = Tone("one", "198450", "440"), two = Tone("two", "176400", "660");
    if (s == Source::GrabTwoSessions) {
      Tree();
      ASSERT_EQ(Halvorin_CdvdBurnerGrabber_TrackAtOnceFromTree(BURNER_ARGS, tree, 0, 0, 1, 0, 0),
                0u)
          << text;
      ASSERT_EQ(Halvorin_CdvdBurnerGrabber_CloseSession(BURNER_ARGS), 0u) << text;
      DataFile();
      ASSERT_EQ(Halvorin_CdvdBurnerGrabber_TrackAtOnceFromFile(
                    BURNER_ARGS, dir.W("data.bin").c_str(), 0, 0, 0, 0, 0),
                0u)
          << text;
      ASSERT_EQ(Halvorin_CdvdBurnerGrabber_CloseSession(BURNER_ARGS), 0u) << text;
    } else if (s == Source::GrabAudioNoPause) {
      auto list = std::make_unique<TRACK_ARRAY>();
      std::memset(list.get(), 0, sizeof *list);
      list->m__LONG__NumberOfTracks = 2;
      std::strcpy(list->m__TRACK_ENTRY__Tracks[0].m__CHAR__FileName, dir.W("one.wav").c_str());
      std::strcpy(list->m__TRACK_ENTRY__Tracks[1].m__CHAR__FileName, dir.W("two.wav").c_str());
      ASSERT_EQ(Halvorin_CdvdBurnerGrabber_DiscAtOncePQFromFile(BURNER_ARGS, list.get(), 0, 0, 0, 0,
                                                                0, 0),
                0u)
          << text;
    } else {
      auto list = std::make_unique<SAO_TRACK_ARRAY>();
      std::memset(list.get(), 0, sizeof *list);
      list->m__LONG__NumberOfTracks = 2;
      if (s == Source::GrabDataAudio) DataFile();
      std::strcpy(list->m__SAO_TRACK_ENTRY__Tracks[0].m__CHAR__FileName,
                  dir.W(s == Source::GrabDataAudio ? "data.bin" : "one.wav").c_str());
      std::strcpy(list->m__SAO_TRACK_ENTRY__Tracks[1].m__CHAR__FileName, dir.W("two.wav").c_str());
      ASSERT_EQ(Halvorin_CdvdBurnerGrabber_SessionAtOnce(BURNER_ARGS, list.get(), 0, 0, 0, 0, 0),
                0u)
          << text;
    }
    ASSERT_EQ(GrabCD(dir.W("grab"), 3, 0, s == Source::GrabDataAudio), 0u) << text;
    ASSERT_EQ(Halvorin_CdvdBurnerGrabber_Eject(BURNER_ARGS), 0u) << text;
  }

  // The export of the row; its status.
  HALVORIN_STATUS Write(const Row& row, const std::vector<std::string>& files) {
    const std::uint8_t xa = IsXa(row.source);
    switch (row.exp) {
      case Export::TaoFile:
      case Export::TaoTree: {
        const HALVORIN_STATUS s =
            row.exp == Export::TaoFile
                ? Halvorin_CdvdBurnerGrabber_TrackAtOnceFromFile(BURNER_ARGS, files[0].c_str(), xa,
                                                                 0, 0, 0, 0)
                : Halvorin_CdvdBurnerGrabber_TrackAtOnceFromTree(BURNER_ARGS, tree, xa, 0, 0, 0, 0);
        return s ? s : Halvorin_CdvdBurnerGrabber_CloseSession(BURNER_ARGS);
      }
      case Export::Sao: {
        auto list = std::make_unique<SAO_TRACK_ARRAY>();
        std::memset(list.get(), 0, sizeof *list);
        for (const std::string& f : files)
          std::strcpy(
              list->m__SAO_TRACK_ENTRY__Tracks[list->m__LONG__NumberOfTracks++].m__CHAR__FileName,
              f.c_str());
        return Halvorin_CdvdBurnerGrabber_SessionAtOnce(BURNER_ARGS, list.get(), xa, 0, 0, 0, 0);
      }
      case Export::SaoRaw:
        return Halvorin_CdvdBurnerGrabber_SessionAtOnceRawRawPW(
            BURNER_ARGS, dir.W("grab.mds").c_str(), 0, 0, 0, 0);
      case Export::DaoPQFile:
      case Export::DaoPWFile: {
        auto list = std::make_unique<TRACK_ARRAY>();
        std::memset(list.get(), 0, sizeof *list);
        for (const std::string& f : files)
          std::strcpy(
              list->m__TRACK_ENTRY__Tracks[list->m__LONG__NumberOfTracks++].m__CHAR__FileName,
              f.c_str());
        return row.exp == Export::DaoPQFile ? Halvorin_CdvdBurnerGrabber_DiscAtOncePQFromFile(
                                                  BURNER_ARGS, list.get(), xa, 0, 0, 0, 0, 0)
                                            : Halvorin_CdvdBurnerGrabber_DiscAtOnceRawPWFromFile(
                                                  BURNER_ARGS, list.get(), xa, 0, 0, 0, 0, 0);
      }
      case Export::DaoPQTree:
        return Halvorin_CdvdBurnerGrabber_DiscAtOncePQFromTree(BURNER_ARGS, tree, xa, 0, 0, 0, 0);
      case Export::DaoPWTree:
        return Halvorin_CdvdBurnerGrabber_DiscAtOnceRawPWFromTree(BURNER_ARGS, tree, xa, 0, 0, 0,
                                                                  0);
    }
    return 99;
  }

  // The tracks of a file source as the export lays them out.
  std::vector<Expected> FileTracks(const Row& row, std::vector<std::string>* files) {
    const bool dao = row.exp == Export::DaoPQFile || row.exp == Export::DaoPWFile ||
                     row.exp == Export::DaoPQTree || row.exp == Export::DaoPWTree;
    std::vector<Expected> t;
    auto data = [&](Bytes b) {
      Expected e;
      e.mode2 = IsXa(row.source);
      e.sectors = static_cast<std::int64_t>((b.size() + 2047) / 2048);
      e.content = std::move(b);
      t.push_back(std::move(e));
    };
    auto audio = [&](Bytes pcm) {
      Expected e;
      e.audio = true;
      e.sectors = static_cast<std::int64_t>((pcm.size() + 2351) / 2352);
      e.content = std::move(pcm);
      t.push_back(std::move(e));
    };
    switch (row.source) {
      case Source::Data:
      case Source::XaData:
        data(DataFile());
        files->push_back(dir.W("data.bin"));
        break;
      case Source::Tree:
      case Source::XaTree:
        data(Tree());
        break;
      case Source::Wav:
        audio(Tone("one", "90000", "440"));  // 153.06 sectors
        audio(Tone("two", "44100", "880"));
        files->push_back(dir.W("one.wav"));
        files->push_back(dir.W("two.wav"));
        break;
      case Source::Ogg: {
        Tone("one", "88200", "550");
        Tool("oggenc -Q -q 4 -o " + dir.P("one.ogg") + " " + dir.P("one.wav"));
        Tool("oggdec -Q -R -o " + dir.P("one.dec") + " " + dir.P("one.ogg"));
        audio(Slurp(dir.P("one.dec")));
        files->push_back(dir.W("one.ogg"));
        break;
      }
      case Source::Mixed:
        data(DataFile());
        audio(Tone("two", "44100", "880"));
        files->push_back(dir.W("data.bin"));
        files->push_back(dir.W("two.wav"));
        break;
      default:
        break;
    }
    for (std::size_t i = 0; i < t.size(); ++i) t[i].pause = i == 0 ? 150 : dao ? 0 : 150;
    // The session-at-once list's 600 sectors of post-gap are its last track's.
    if (row.exp == Export::Sao) t.back().sectors += 600;
    return t;
  }
};

// The layout the checker holds the sent sectors to.
ecma130::Layout LayoutOf(const std::vector<Expected>& tracks) {
  ecma130::Layout l;
  std::int64_t at = 0;
  for (std::size_t i = 0; i < tracks.size(); ++i) {
    at += i ? tracks[i].pause : 0;
    l.tracks.push_back({tracks[i].audio, tracks[i].pause, at});
    at += tracks[i].sectors;
  }
  l.leadOut = at;
  return l;
}

// A source disc's tracks from its .cue and .bin (each to the next one's pause).
std::vector<Expected> TracksOfCue(const std::string& cue, std::int64_t binSectors) {
  const std::vector<CueTrack> c = ParseCue(cue);
  std::vector<Expected> t;
  for (std::size_t i = 0; i < c.size(); ++i) {
    Expected e;
    e.audio = c[i].type == "AUDIO";
    e.mode2 = c[i].type == "MODE2/2352";
    e.pause = i == 0 ? 150 : c[i].index0 < 0 ? 0 : c[i].index1 - c[i].index0;
    const std::int64_t end =
        i + 1 < c.size() ? (c[i + 1].index0 < 0 ? c[i + 1].index1 : c[i + 1].index0) : binSectors;
    e.sectors = end - c[i].index1;
    t.push_back(e);
  }
  return t;
}

TEST_P(WriteExports, WritesWhatItWasGiven) {
  const Row& row = GetParam();
  Devices({Media::CdR});
  ASSERT_EQ(CreateGrabber(), 0u) << text;
  std::vector<std::string> files;
  std::vector<Expected> expected;
  std::string sourceCue;
  Bytes sourceBin;
  if (IsGrab(row.source)) {
    GrabbedSource(row.source);
    if (HasFatalFailure()) return;
    files.push_back(dir.W("grab.qvf"));
    if (row.source != Source::GrabTwoSessions) {
      sourceCue = ReadFile(Base(1) + ".cue");
      sourceBin = Slurp(Base(1) + ".bin");
      expected = TracksOfCue(sourceCue, static_cast<std::int64_t>(sourceBin.size() / 2352));
      // The source disc is what the row says: its second track after a pause of 150, or none.
      ASSERT_EQ(expected.size(), 2u) << sourceCue;
      EXPECT_EQ(expected[1].pause, row.source == Source::GrabAudioNoPause ? 0 : 150) << sourceCue;
      EXPECT_EQ(expected[0].audio, row.source != Source::GrabDataAudio) << sourceCue;
    }
  } else {
    expected = FileTracks(row, &files);
  }

  at::Recorder(0).KeepSentWrites(true);
  const HALVORIN_STATUS status = Write(row, files);
  const std::vector<vr::SentWrite> sent = at::Recorder(0).TakeSentWrites();
  at::Recorder(0).KeepSentWrites(false);
  if (row.source == Source::GrabTwoSessions) {
    // Refused before any write, with the reason; the blank stays blank.
    EXPECT_EQ(status, row.exp == Export::SaoRaw ? 5u : 2u) << text;
    EXPECT_NE(std::string(text).find(row.exp == Export::SaoRaw ? "ParseMDS" : "several sessions"),
              std::string::npos)
        << text;
    EXPECT_TRUE(sent.empty());
    EXPECT_TRUE(at::Recorder(0).CurrentDisc().tracks.empty());
    return;
  }
  ASSERT_EQ(status, 0u) << text;

  // Every raw sector sent, by the test's own coder.
  const ecma130::Layout layout = LayoutOf(expected);
  ecma130::Checker checker(layout);
  for (const vr::SentWrite& w : sent) {
    if (w.blocks == 0) continue;
    const std::size_t size = w.data.size() / w.blocks;
    for (std::uint32_t i = 0; i < w.blocks; ++i) {
      checker.Check({w.lba + i, w.data.data() + i * size, size});
      if (HasFatalFailure()) return;
    }
  }
  const bool raw =
      row.exp != Export::TaoFile && row.exp != Export::TaoTree && row.exp != Export::Sao;
  if (raw) {
    EXPECT_GT(checker.RawBlocks(), 0);
    // A disc with data has its data sectors checked, one of audio alone has none sent.
    const bool data =
        std::any_of(expected.begin(), expected.end(), [](const Expected& e) { return !e.audio; });
    EXPECT_EQ(checker.DataSectors() > 0, data);
  }
  checker.ExpectWholeToc();
  EXPECT_EQ(at::Recorder(0).CurrentDisc().qMismatches, 0);

  // Read back by outside tools.
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_Eject(BURNER_ARGS), 0u) << text;
  const int serial = IsGrab(row.source) ? 2 : 1;
  const std::string cue = ReadFile(Base(serial) + ".cue");
  const std::vector<CueTrack> tracks = ParseCue(cue);
  ASSERT_EQ(tracks.size(), expected.size()) << cue;
  for (std::size_t i = 0; i < tracks.size(); ++i) {
    SCOPED_TRACE("track " + std::to_string(i + 1));
    EXPECT_EQ(tracks[i].type, expected[i].audio   ? "AUDIO"
                              : expected[i].mode2 ? "MODE2/2352"
                                                  : "MODE1/2352");
    EXPECT_EQ(tracks[i].index1, layout.tracks[i].start) << cue;
    if (i > 0) {
      EXPECT_EQ(tracks[i].index0 < 0 ? 0 : tracks[i].index1 - tracks[i].index0, expected[i].pause)
          << cue;
    }
  }
  const std::string info =
      Tool("cd-info --no-device-info --no-cddb --cue-file " + Base(serial) + ".cue");
  const std::regex line(R"(\n\s+(\d+): \d\d:\d\d:\d\d\s+(\d+) (\w+))");
  std::vector<std::string> kinds;
  for (auto it = std::sregex_iterator(info.begin(), info.end(), line); it != std::sregex_iterator();
       ++it)
    if ((*it)[1] != "170") kinds.push_back((*it)[3]);
  ASSERT_EQ(kinds.size(), expected.size()) << info;
  for (std::size_t i = 0; i < kinds.size(); ++i)
    EXPECT_EQ(kinds[i] == "audio", expected[i].audio) << info;

  if (IsGrab(row.source)) {
    // The source disc again, sector for sector and index for index.
    EXPECT_EQ(cue.substr(cue.find('\n')), sourceCue.substr(sourceCue.find('\n')));
    EXPECT_TRUE(Slurp(Base(serial) + ".bin") == sourceBin);
  }
  const std::string out = dir.P("bchunk/track");
  std::filesystem::create_directories(dir.P("bchunk"));
  Tool("bchunk -w " + Base(serial) + ".bin " + Base(serial) + ".cue " + out);
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE("track " + std::to_string(i + 1));
    char name[32];
    std::snprintf(name, sizeof name, "%02d.%s", static_cast<int>(i) + 1,
                  expected[i].audio ? "wav" : "iso");
    Bytes got = Slurp(out + name);
    if (expected[i].audio) {
      ASSERT_GE(got.size(), 44u);
      got.erase(got.begin(), got.begin() + 44);
    }
    const std::size_t unit = expected[i].audio ? 2352 : 2048;
    if (IsGrab(row.source)) {
      EXPECT_EQ(got.size(), static_cast<std::size_t>(expected[i].sectors) * unit);
      continue;
    }
    Bytes want = expected[i].content;
    want.resize(static_cast<std::size_t>(expected[i].sectors) * unit);
    EXPECT_EQ(got.size(), want.size());
    EXPECT_TRUE(got == want) << "the track's bytes are not the source's";
  }
  if (row.source == Source::Tree || row.source == Source::XaTree) {
    const std::string x = dir.P("xorriso");
    Tool("xorriso -osirrox on -indev " + Base(serial) + ".iso -extract / " + x);
    Tool("diff -r " + dir.P("src") + " " + x);
  }
}

INSTANTIATE_TEST_SUITE_P(Table, WriteExports, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace burnertest
