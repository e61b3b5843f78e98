// Every write export for every kind of source it takes, one row each: track-at-once from a
// file, a pipe and a tree; session-at-once of files and of a grabbed image; disc-at-once with PQ
// and with raw P-W of files, grabbed images and trees; VideoCD and Super VideoCD in each form.
// The source is made, the export writes it to a virtual CD-R whose recorder keeps what the
// library sent, and every sector sent is checked by the test's own ECMA-130 coder (raw ones:
// EDC/ECC of data sectors, Q CRC and positions against the disc the row expects; cooked ones:
// their place and subheaders). The disc type the drive reports, and the lead-in's, follow the
// tracks. Then the disc is ejected and read back with outside tools only: the .cue's tracks
// and indexes, cd-info's track list, bchunk's tracks compared byte for byte with the source
// (PCM per track, data blocks, a Mode 2 track's Form 1 user data from its raw sectors),
// xorriso's files of a tree; a grabbed image's disc is the source disc again, .bin for .bin and
// index for index; a VideoCD is read by vcd-info (its kind, no warning) and its MPEG payload
// is the stream.
//
// A row is one line of kRows: the export and the source.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <regex>
#include <sstream>

#include "platform/aspi/recorder/vr_recorder.h"
#include "tests/lib/burner/read_back_support.h"
#include "tests/lib/grab/grab_test_support.h"
#include "tests/lib/mastering/videocd_test_support.h"
#include "tests/support/ecma130.h"

namespace burnertest {
namespace {

using grabtest::GrabTest;

enum class Export {
  TaoFile,
  TaoPipe,
  TaoTree,
  Sao,
  SaoRaw,
  DaoPQFile,
  DaoPWFile,
  DaoPQTree,
  DaoPWTree,
  // The VideoCD forms: track-at-once (the plain export and Ex mode 0, the session closed
  // after it) and session-at-once (Ex mode 1).
  VideoCd,
  VideoCdEx0,
  VideoCdEx1,
  SuperVideoCd,
  SuperVideoCdEx0,
  SuperVideoCdEx1,
};
enum class Source {
  Data,              // a data file of a partial last block
  Tree,              // an ISO9660/Joliet tree of three files
  XaTree,            // the same tree written as CD-ROM XA
  XaData,            // the data file written as CD-ROM XA
  Wav,               // two WAV files of sox tones, the first of a partial last sector
  WavXa,             // the same written with the XA flag: still CD-DA
  Ogg,               // an Ogg Vorbis file
  Mixed,             // the data file and a WAV file
  GrabAudio,         // grabbed: two audio tracks with their pauses (written session-at-once)
  GrabAudioNoPause,  // grabbed: two audio tracks without pauses (written disc-at-once)
  GrabDataAudio,     // grabbed with Ignore: a data track, an audio pause, an audio track
  GrabTwoSessions,   // grabbed: a data track in each of two sessions
  Mpeg1,             // ffmpeg's MPEG-1 stream of a VideoCD
  Mpeg2,             // ffmpeg's MPEG-2 stream of a Super VideoCD
};

struct Row {
  const char* name;
  Export exp;
  Source source;
};

constexpr Row kRows[] = {
    {"TaoFile", Export::TaoFile, Source::Data},
    {"TaoFileXa", Export::TaoFile, Source::XaData},
    {"TaoPipe", Export::TaoPipe, Source::Data},
    {"TaoTree", Export::TaoTree, Source::Tree},
    {"TaoTreeXa", Export::TaoTree, Source::XaTree},
    {"SaoFile", Export::Sao, Source::Data},
    {"SaoXaFile", Export::Sao, Source::XaData},
    {"SaoWav", Export::Sao, Source::Wav},
    {"SaoWavXa", Export::Sao, Source::WavXa},
    {"SaoOgg", Export::Sao, Source::Ogg},
    {"SaoMixed", Export::Sao, Source::Mixed},
    {"DaoPQFile", Export::DaoPQFile, Source::Data},
    {"DaoPWFile", Export::DaoPWFile, Source::Data},
    {"DaoPQFileXa", Export::DaoPQFile, Source::XaData},
    {"DaoPWFileXa", Export::DaoPWFile, Source::XaData},
    {"DaoPQWav", Export::DaoPQFile, Source::Wav},
    {"DaoPWWav", Export::DaoPWFile, Source::Wav},
    {"DaoPQWavXa", Export::DaoPQFile, Source::WavXa},
    {"DaoPWWavXa", Export::DaoPWFile, Source::WavXa},
    {"DaoPQOgg", Export::DaoPQFile, Source::Ogg},
    {"DaoPWOgg", Export::DaoPWFile, Source::Ogg},
    {"DaoPQTree", Export::DaoPQTree, Source::Tree},
    {"DaoPWTree", Export::DaoPWTree, Source::Tree},
    {"DaoPQTreeXa", Export::DaoPQTree, Source::XaTree},
    {"DaoPWTreeXa", Export::DaoPWTree, Source::XaTree},
    {"SaoRawAudio", Export::SaoRaw, Source::GrabAudio},
    {"SaoRawAudioNoPause", Export::SaoRaw, Source::GrabAudioNoPause},
    {"SaoRawDataAudio", Export::SaoRaw, Source::GrabDataAudio},
    {"SaoRawTwoSessions", Export::SaoRaw, Source::GrabTwoSessions},
    {"DaoPQGrabAudio", Export::DaoPQFile, Source::GrabAudio},
    {"DaoPWGrabAudio", Export::DaoPWFile, Source::GrabAudio},
    {"DaoPQGrabAudioNoPause", Export::DaoPQFile, Source::GrabAudioNoPause},
    {"DaoPWGrabAudioNoPause", Export::DaoPWFile, Source::GrabAudioNoPause},
    {"DaoPWGrabDataAudio", Export::DaoPWFile, Source::GrabDataAudio},
    {"DaoPQGrabDataAudio", Export::DaoPQFile, Source::GrabDataAudio},
    {"DaoPQGrabTwoSessions", Export::DaoPQFile, Source::GrabTwoSessions},
    {"DaoPWGrabTwoSessions", Export::DaoPWFile, Source::GrabTwoSessions},
    {"VideoCd", Export::VideoCd, Source::Mpeg1},
    {"VideoCdEx0", Export::VideoCdEx0, Source::Mpeg1},
    {"VideoCdEx1", Export::VideoCdEx1, Source::Mpeg1},
    {"SuperVideoCd", Export::SuperVideoCd, Source::Mpeg2},
    {"SuperVideoCdEx0", Export::SuperVideoCdEx0, Source::Mpeg2},
    {"SuperVideoCdEx1", Export::SuperVideoCdEx1, Source::Mpeg2},
};

void PrintTo(const Row& row, std::ostream* os) {
  *os << row.name;
}

bool IsGrab(Source s) {
  return s == Source::GrabAudio || s == Source::GrabAudioNoPause || s == Source::GrabDataAudio ||
         s == Source::GrabTwoSessions;
}
bool IsXa(Source s) {
  return s == Source::XaTree || s == Source::XaData || s == Source::WavXa;
}
bool IsVideoCd(Source s) {
  return s == Source::Mpeg1 || s == Source::Mpeg2;
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

// A VideoCD's data track (598 template sectors and 2 of run-out) and the empty units at each end
// of its MPEG track.
constexpr std::int64_t kVideoCdDataSectors = 600;
constexpr std::int64_t kEmptyUnits = 30;
constexpr const char* kLabel = "QUORVA";

class WriteExports : public VideoCDOn<GrabTest>, public ::testing::WithParamInterface<Row> {
 protected:
  // The disc type of the drive's READ DISC INFORMATION: 00h CD-DA or CD-ROM, 20h CD-ROM XA.
  int DiscType() {
    const aspitest::Reply r = aspitest::Cmd(0, {0x51, 0, 0, 0, 0, 0, 0, 0, 34, 0}, 34);
    EXPECT_TRUE(r.Good()) << aspitest::SenseText(r);
    return r.Good() ? r.data.at(8) : -1;
  }
  Bytes Tone(const std::string& name, const std::string& samples, const std::string& hz) {
    Run("sox -n -r 44100 -c 2 -b 16 -e signed-integer -L -t raw " + dir.P(name + ".raw") +
        " synth " + samples + "s sine " + hz + " vol 0.5");
    Run("sox -r 44100 -c 2 -b 16 -e signed-integer -L -t raw " + dir.P(name + ".raw") + " " +
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

  // A track-at-once write's status, its session closed after it.
  HALVORIN_STATUS Closed(HALVORIN_STATUS s) {
    return s ? s : Halvorin_CdvdBurnerGrabber_CloseSession(BURNER_ARGS);
  }
  // The export of the row; its status.
  HALVORIN_STATUS Write(const Row& row, const std::vector<std::string>& files) {
    const std::uint8_t xa = IsXa(row.source);
    const char* mpeg = IsVideoCd(row.source) ? files[0].c_str() : nullptr;
    switch (row.exp) {
      case Export::TaoFile:
        return Closed(Halvorin_CdvdBurnerGrabber_TrackAtOnceFromFile(BURNER_ARGS, files[0].c_str(),
                                                                     xa, 0, 0, 0, 0));
      case Export::TaoPipe: {
        const std::string path = dir.P("data.bin");
        const auto size = std::filesystem::file_size(path);
        const std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(("cat " + path).c_str(), "r"),
                                                         &pclose);
        if (!pipe) return 99;
        return Closed(Halvorin_CdvdBurnerGrabber_TrackAtOnceFromPipe(
            BURNER_ARGS, fileno(pipe.get()), static_cast<std::uint32_t>(size),
            static_cast<std::uint32_t>(size >> 32), xa, 0, 0, 0, 0));
      }
      case Export::TaoTree:
        return Closed(
            Halvorin_CdvdBurnerGrabber_TrackAtOnceFromTree(BURNER_ARGS, tree, xa, 0, 0, 0, 0));
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
      case Export::VideoCd:
        return Closed(Halvorin_CdvdBurnerGrabber_VideoCD(BURNER_ARGS, mpeg, kLabel, 1, 1, 0, 0, 0));
      case Export::VideoCdEx0:
      case Export::VideoCdEx1: {
        const std::uint32_t mode = row.exp == Export::VideoCdEx1;
        const HALVORIN_STATUS s =
            Halvorin_CdvdBurnerGrabber_VideoCDEx(BURNER_ARGS, mode, mpeg, kLabel, 1, 1, 0, 0, 0);
        return mode ? s : Closed(s);
      }
      case Export::SuperVideoCd:
        return Closed(
            Halvorin_CdvdBurnerGrabber_SuperVideoCD(BURNER_ARGS, mpeg, kLabel, 1, 1, 0, 0, 0));
      case Export::SuperVideoCdEx0:
      case Export::SuperVideoCdEx1: {
        const std::uint32_t mode = row.exp == Export::SuperVideoCdEx1;
        const HALVORIN_STATUS s = Halvorin_CdvdBurnerGrabber_SuperVideoCDEx(BURNER_ARGS, mode, mpeg,
                                                                            kLabel, 1, 1, 0, 0, 0);
        return mode ? s : Closed(s);
      }
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
      case Source::WavXa:
        audio(Tone("one", "90000", "440"));  // 153.06 sectors
        audio(Tone("two", "44100", "880"));
        files->push_back(dir.W("one.wav"));
        files->push_back(dir.W("two.wav"));
        break;
      case Source::Ogg: {
        Tone("one", "88200", "550");
        Run("oggenc -Q -q 4 -o " + dir.P("one.ogg") + " " + dir.P("one.wav"));
        Run("oggdec -Q -R -o " + dir.P("one.dec") + " " + dir.P("one.ogg"));
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
      case Source::Mpeg1:
      case Source::Mpeg2: {
        // The template's data track and its run-out; the MPEG track's 2324-byte payloads
        // between the empty units before and after them.
        Expected d;
        d.mode2 = true;
        d.sectors = kVideoCdDataSectors;
        t.push_back(std::move(d));
        Expected m;
        m.mode2 = true;
        m.content = Slurp(DiscStream("film.mpg", row.source == Source::Mpeg2));
        m.sectors = static_cast<std::int64_t>((m.content.size() + 2323) / 2324 + 2 * kEmptyUnits);
        t.push_back(std::move(m));
        files->push_back(dir.W("film.mpg"));
        break;
      }
      default:
        break;
    }
    for (std::size_t i = 0; i < t.size(); ++i) t[i].pause = i == 0 ? 150 : dao ? 0 : 150;
    // The session-at-once list's 600 sectors of post-gap are its last track's.
    if (row.exp == Export::Sao) t.back().sectors += 600;
    // A VideoCD written session-at-once has no run-out: its 2 blocks are the MPEG track's
    // pre-gap, which starts the track at the same LBA.
    if (row.exp == Export::VideoCdEx1 || row.exp == Export::SuperVideoCdEx1) {
      t[0].sectors -= 2;
      t[1].pause += 2;
    }
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
      sourceCue = ReadFile(ImageBase(1) + ".cue");
      sourceBin = Slurp(ImageBase(1) + ".bin");
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

  // Every sector sent, by the test's own coder.
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
  const bool raw = row.exp == Export::SaoRaw || row.exp == Export::DaoPQFile ||
                   row.exp == Export::DaoPWFile || row.exp == Export::DaoPQTree ||
                   row.exp == Export::DaoPWTree;
  const bool dao = raw && row.exp != Export::SaoRaw;
  if (raw) {
    EXPECT_GT(checker.RawBlocks(), 0);
    // A disc with data has its data sectors checked, one of audio alone has none sent.
    const bool data =
        std::any_of(expected.begin(), expected.end(), [](const Expected& e) { return !e.audio; });
    EXPECT_EQ(checker.DataSectors() > 0, data);
  } else {
    EXPECT_GT(checker.CookedBlocks(), 0);
  }
  checker.ExpectWholeToc();
  EXPECT_EQ(at::Recorder(0).CurrentDisc().qMismatches, 0);
  // CD-ROM XA by its Mode 2 tracks alone, as the drive reports it and as the lead-in says that
  // disc-at-once sent (the raw session is written without one).
  const int discType =
      std::any_of(expected.begin(), expected.end(), [](const Expected& e) { return e.mode2; })
          ? 0x20
          : 0x00;
  EXPECT_EQ(DiscType(), discType);
  EXPECT_EQ(checker.DiscType(), dao ? discType : -1);

  // Read back by outside tools.
  const int serial = IsGrab(row.source) ? 2 : 1;
  const std::int64_t mpegUnits = IsVideoCd(row.source) ? expected[1].sectors - 2 * kEmptyUnits : 0;
  std::string info;
  ReadBack videoCd;
  if (IsVideoCd(row.source)) {
    videoCd = EjectAndReadVideoCD(static_cast<std::uint64_t>(mpegUnits));
    info = videoCd.cdInfo;
  } else {
    ASSERT_EQ(Halvorin_CdvdBurnerGrabber_Eject(BURNER_ARGS), 0u) << text;
    info = Run("cd-info --no-device-info --no-cddb --cue-file " + ImageBase(serial) + ".cue");
  }
  const std::string cue = ReadFile(ImageBase(serial) + ".cue");
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
  const std::regex line(R"(\n\s+(\d+): \d\d:\d\d:\d\d\s+(\d+) (\w+))");
  std::vector<std::string> kinds;
  for (auto it = std::sregex_iterator(info.begin(), info.end(), line); it != std::sregex_iterator();
       ++it)
    if ((*it)[1] != "170") kinds.push_back((*it)[3]);
  ASSERT_EQ(kinds.size(), expected.size()) << info;
  for (std::size_t i = 0; i < kinds.size(); ++i)
    EXPECT_EQ(kinds[i] == "audio", expected[i].audio) << info;

  if (IsVideoCd(row.source)) {
    // vcd-info finds the kind and nothing to warn of; the MPEG track's payload is the stream.
    const std::string& v = videoCd.vcdInfo;
    EXPECT_NE(v.find(row.source == Source::Mpeg2 ? "SVCD detected" : "VCD 2.0 detected"),
              std::string::npos)
        << v;
    EXPECT_EQ(v.find("WARN"), std::string::npos) << v;
    EXPECT_EQ(v.find("ERROR"), std::string::npos) << v;
    EXPECT_NE(v.find(std::string("album id: `") + kLabel + "'"), std::string::npos) << v;
    Bytes want = expected[1].content;
    want.resize(static_cast<std::size_t>(mpegUnits) * 2324, 0);
    EXPECT_EQ(videoCd.payload.size(), want.size());
    EXPECT_TRUE(videoCd.payload == want) << "the MPEG payload is not the stream";
    return;
  }
  if (IsGrab(row.source)) {
    // The source disc again, sector for sector and index for index.
    EXPECT_EQ(cue.substr(cue.find('\n')), sourceCue.substr(sourceCue.find('\n')));
    EXPECT_TRUE(Slurp(ImageBase(serial) + ".bin") == sourceBin);
  }
  const std::string out = dir.P("bchunk");
  BchunkRaw(ImageBase(serial), out);
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE("track " + std::to_string(i + 1));
    char name[32];
    std::snprintf(name, sizeof name, "/track%02d.%s", static_cast<int>(i) + 1,
                  expected[i].audio ? "wav" : "iso");
    Bytes got = Slurp(out + name);
    if (IsGrab(row.source)) {
      const std::size_t unit = expected[i].audio || expected[i].mode2 ? 2352 : 2048;
      EXPECT_EQ(got.size(), static_cast<std::size_t>(expected[i].sectors) * unit +
                                (expected[i].audio ? 44 : 0));
      continue;
    }
    if (expected[i].audio) {
      ASSERT_GE(got.size(), 44u);
      got.erase(got.begin(), got.begin() + 44);
    } else if (expected[i].mode2) {
      std::string why;
      got = Form1UserData(got, &why);
      EXPECT_EQ(why, "");
    }
    const std::size_t unit = expected[i].audio ? 2352 : 2048;
    Bytes want = expected[i].content;
    want.resize(static_cast<std::size_t>(expected[i].sectors) * unit);
    EXPECT_EQ(got.size(), want.size());
    EXPECT_TRUE(got == want) << "the track's bytes are not the source's";
  }
  if (row.source == Source::Tree || row.source == Source::XaTree) {
    const std::string x = dir.P("xorriso");
    Run("xorriso -osirrox on -indev " + ImageBase(serial) + ".iso -extract / " + x);
    Run("diff -r " + dir.P("src") + " " + x);
  }
}

INSTANTIATE_TEST_SUITE_P(Table, WriteExports, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace burnertest
