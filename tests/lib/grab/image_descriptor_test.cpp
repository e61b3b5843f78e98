// Image descriptors byte for byte, read by a small reader of this test that knows the layout
// from its tables alone: the one-track CD of the worked example, a two-session CD, a DVD of 12
// parts; the WAVE header; the image check; and hostile descriptors, which the library's reader
// answers with a status.
#include "lib/core/grab/image_descriptor.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>

#include "lib/core/burner/cdvd_burner_grabber.h"
#include "platform/aspi/recorder/coding/vr_sector_coding.h"
#include "platform/fs/fs.h"
#include "tests/lib/grab/grab_test_support.h"

namespace grabtest {
namespace {

// Little-endian fields of a descriptor; every byte read is marked, so that the bytes no table
// names can be checked to be 0.
class Fields {
 public:
  explicit Fields(Bytes bytes) : b_(std::move(bytes)), seen_(b_.size()) {}
  std::uint64_t U(std::size_t at, int size) {
    EXPECT_LE(at + size, b_.size()) << "field at " << at;
    if (at + size > b_.size()) return 0;
    std::uint64_t v = 0;
    for (int i = size - 1; i >= 0; --i) {
      v = v << 8 | b_[at + i];
      seen_[at + i] = true;
    }
    return v;
  }
  std::int32_t S32(std::size_t at) { return static_cast<std::int32_t>(U(at, 4)); }
  std::string Text(std::size_t at, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) seen_[at + i] = true;
    return std::string(b_.begin() + at, b_.begin() + at + size);
  }
  std::string Name(std::size_t at) {  // zero-terminated
    std::string s;
    while (at < b_.size() && b_[at]) {
      seen_[at] = true;
      s += static_cast<char>(b_[at++]);
    }
    EXPECT_LT(at, b_.size()) << "no terminator";
    if (at < b_.size()) seen_[at] = true;
    return s;
  }
  void Skip(std::size_t at, std::size_t size) {  // copied blocks checked by the caller
    for (std::size_t i = 0; i < size; ++i) seen_[at + i] = true;
  }
  std::size_t Size() const { return b_.size(); }
  const Bytes& Data() const { return b_; }
  void ExpectRestZero() const {
    for (std::size_t i = 0; i < b_.size(); ++i)
      if (!seen_[i]) {
        EXPECT_EQ(b_[i], 0) << "byte " << i << " is named by no table";
      }
  }

 private:
  Bytes b_;
  std::vector<bool> seen_;
};

std::uint8_t ModeOf(const TOC_TRACK_ENTRY& t) {
  if (t.m__BOOLEAN__IsAudioTrack) return 0xE9;
  if (t.m__UCHAR__DataMode == 2) return t.m__UCHAR__Form == 1 ? 0xEC : 0xED;
  return 0xEA;
}

// The CD descriptor of `toc` as the tables lay it out.
void ExpectCdDescriptor(const Bytes& bytes, const TOC_INFORMATION& toc, const std::string& name) {
  Fields f(bytes);
  const unsigned S = toc.m__UCHAR__HighestSessionNumber, D = toc.m__UCHAR__NumberOfRawDescriptors,
                 T = toc.m__UCHAR__NumberOfTracks;
  EXPECT_EQ(f.Text(0, 16), "MEDIA DESCRIPTOR");
  EXPECT_EQ(f.U(16, 1), 1u);
  EXPECT_EQ(f.U(17, 1), 0u);
  EXPECT_EQ(f.U(18, 2), 0u);
  EXPECT_EQ(f.U(20, 2), S);
  EXPECT_EQ(f.U(22, 2), 2u);
  EXPECT_EQ(f.U(64, 4), 0u);
  EXPECT_EQ(f.U(80, 4), 88u);
  EXPECT_EQ(f.U(84, 4), 0u);
  const std::size_t tracksAt = 88 + 24 * S, indexesAt = tracksAt + 80 * D,
                    filesAt = indexesAt + 8 * T, nameAt = filesAt + 16 * T;
  EXPECT_EQ(f.Size(), nameAt + name.size() + 1);
  EXPECT_EQ(f.Name(nameAt), name);
  const TOC_TRACK_ENTRY* tr = toc.m__TOC_TRACK_ENTRY__Tracks;
  auto length = [&](unsigned k) { return tr[k].m__LONG__EndLBA - tr[k].m__LONG__StartLBA + 1; };
  unsigned firstOfSession = 0;
  for (unsigned s = 1; s <= S; ++s) {
    const std::size_t at = 88 + 24 * (s - 1);
    unsigned descriptors = 0, first = D;
    for (unsigned i = 0; i < D; ++i)
      if (toc.m__TOC_RAW_DESCRIPTOR__AllDescriptors[i].m__UCHAR__SessionNumber == s) {
        if (first == D) first = i;
        ++descriptors;
      }
    unsigned firstTrack = 0, lastTrack = 0;
    for (unsigned k = 0; k < T; ++k)
      if (tr[k].m__UCHAR__SessionNumber == s) {
        if (!firstTrack) firstTrack = k + 1;
        lastTrack = k + 1;
      }
    ASSERT_NE(firstTrack, 0u);
    EXPECT_EQ(f.S32(at), firstTrack == 1 ? -150 : tr[firstTrack - 1].m__LONG__StartLBA);
    EXPECT_EQ(f.S32(at + 4), tr[lastTrack - 1].m__LONG__EndLBA + 1);
    EXPECT_EQ(f.U(at + 8, 2), s);
    EXPECT_EQ(f.U(at + 10, 1), descriptors);
    EXPECT_EQ(f.U(at + 11, 1), 3u);
    EXPECT_EQ(f.U(at + 12, 2), tr[firstTrack - 1].m__UCHAR__TrackNumber);
    EXPECT_EQ(f.U(at + 14, 2), tr[lastTrack - 1].m__UCHAR__TrackNumber);
    EXPECT_EQ(f.U(at + 16, 4), 0u);
    EXPECT_EQ(f.U(at + 20, 4), tracksAt + 80 * first);
    firstOfSession += descriptors;
  }
  EXPECT_EQ(firstOfSession, D);
  for (unsigned i = 0; i < D; ++i) {
    const TOC_RAW_DESCRIPTOR& d = toc.m__TOC_RAW_DESCRIPTOR__AllDescriptors[i];
    const std::size_t at = tracksAt + 80 * i;
    const bool isTrack = d.m__UCHAR__POINT >= 1 && d.m__UCHAR__POINT <= 99;
    const unsigned k = d.m__UCHAR__POINT - 1u;
    EXPECT_EQ(f.U(at, 1), isTrack ? ModeOf(tr[k]) : 0u) << "descriptor " << i;
    EXPECT_EQ(f.U(at + 1, 1), isTrack ? 8u : 0u);
    EXPECT_EQ(Bytes(bytes.begin() + at + 2, bytes.begin() + at + 12),
              Bytes(&d.m__UCHAR__ADR_CONTROL, &d.m__UCHAR__ADR_CONTROL + 10));
    f.Skip(at + 2, 10);
    if (!isTrack) continue;
    std::uint64_t offset = 0;
    for (unsigned j = 0; j < k; ++j) offset += static_cast<std::uint64_t>(length(j)) * 2448;
    EXPECT_EQ(f.U(at + 12, 4), indexesAt + 8 * k);
    EXPECT_EQ(f.U(at + 16, 2), 2448u);
    EXPECT_EQ(f.U(at + 18, 1), 2u);
    EXPECT_EQ(f.U(at + 36, 4), static_cast<std::uint32_t>(tr[k].m__LONG__StartLBA));
    EXPECT_EQ(f.U(at + 40, 8), offset);
    EXPECT_EQ(f.U(at + 48, 4), 1u);
    EXPECT_EQ(f.U(at + 52, 4), filesAt + 16 * k);
  }
  for (unsigned k = 0; k < T; ++k) {
    EXPECT_EQ(f.U(indexesAt + 8 * k, 4), k == 0 ? 150u + tr[0].m__LONG__StartLBA : 0u);
    EXPECT_EQ(f.U(indexesAt + 8 * k + 4, 4), static_cast<std::uint32_t>(length(k)));
    EXPECT_EQ(f.U(filesAt + 16 * k, 4), nameAt);
    EXPECT_EQ(f.U(filesAt + 16 * k + 8, 4), static_cast<std::uint32_t>(length(k)));
  }
  f.ExpectRestZero();
}

class Descriptor : public GrabTest {};

// One data track: S 1, D 4 (A0h, A1h, A2h and track 1), T 1; the name given has a folder,
// the data file's name in the descriptor has none.
TEST_F(Descriptor, WorkedExampleOfOneDataTrack) {
  Devices({Media::CdR});
  WriteDataCd(100000, false);
  const TOC_INFORMATION toc = Toc();
  ASSERT_EQ(toc.m__UCHAR__NumberOfRawDescriptors, 4);
  std::filesystem::create_directories(dir.P("sub"));
  ASSERT_EQ(GrabCD(dir.W("sub/disc"), 1), 0u) << text;
  const Bytes mds = Slurp(dir.P("sub/disc.mds"));
  ExpectCdDescriptor(mds, toc, "disc.qvf");
  ASSERT_EQ(mds.size(), 456u + 9);
  EXPECT_EQ(mds[88 + 24 + 3 * 80], 0xEA);             // track 1 is the fourth descriptor
  EXPECT_EQ(mds[88 + 24 + 3 * 80 + 12], 432 & 0xFF);  // its Indexes at 432
  EXPECT_EQ(mds[88 + 24 + 3 * 80 + 13], 432 >> 8);
  EXPECT_EQ(mds[88 + 24 + 3 * 80 + 52], 440 & 0xFF);  // its FILE_DESCRIPTOR at 440
  EXPECT_EQ(mds[440], 456 & 0xFF);                    // which names the file at 456
  EXPECT_EQ(std::string(mds.begin() + 456, mds.end()), std::string("disc.qvf") + '\0');
}

// Two sessions written track-at-once: a Mode 1 track, then after the first session's lead-out
// and the second's lead-in an XA track. The reader refuses the descriptor: one session only.
TEST_F(Descriptor, TwoSessionCd) {
  Devices({Media::CdR});
  ASSERT_EQ(CreateGrabber(), 0u) << text;
  WriteFile(dir.P("src/one.bin"), std::string(150000, 'a'));
  ASSERT_EQ(BuildTree(dir.W("src/one.bin"), "ONE", 0), 0u) << text;
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_TrackAtOnceFromTree(BURNER_ARGS, tree, 0, 0, 1, 0, 0), 0u)
      << text;
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_CloseSession(BURNER_ARGS), 0u) << text;
  TRACK_INFORMATION info{};
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_GetTrackInformation(BURNER_ARGS, 255, &info), 0u) << text;
  WriteFile(dir.P("src/two.bin"), std::string(80000, 'b'));
  ASSERT_EQ(BuildTree(dir.W("src/two.bin"), "TWO", info.m__LONG__NextWritableAddress), 0u) << text;
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_TrackAtOnceFromTree(BURNER_ARGS, tree, 1, 0, 0, 0, 0), 0u)
      << text;
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_CloseSession(BURNER_ARGS), 0u) << text;
  const TOC_INFORMATION toc = Toc();
  ASSERT_EQ(toc.m__UCHAR__HighestSessionNumber, 2);
  ASSERT_EQ(toc.m__UCHAR__NumberOfTracks, 2);
  ASSERT_EQ(GrabCD(dir.W("two"), 2), 0u) << text;
  ExpectCdDescriptor(Slurp(dir.P("two.mds")), toc, "two.qvf");
  const auto sectors = [&](int k) {
    return static_cast<std::size_t>(toc.m__TOC_TRACK_ENTRY__Tracks[k].m__LONG__EndLBA -
                                    toc.m__TOC_TRACK_ENTRY__Tracks[k].m__LONG__StartLBA + 1);
  };
  EXPECT_EQ(std::filesystem::file_size(dir.P("two.qvf")), (sectors(0) + sectors(1)) * 2448);
  SAO_TRACK_ARRAY list;
  std::int32_t mode = 0;
  char name[260];
  EXPECT_EQ(HalvorinI_ParseMDS(dir.W("two.mds").c_str(), &list, &mode, name, dir.Win().c_str()),
            11u);
}

// 24,000,000 bytes of a pressed DVD-ROM in 2-MB parts: 12 parts, "dvd.qvf", "dvd.qv1" ...
// "dvd.qv11", every name whole and the offsets from their real lengths.
TEST_F(Descriptor, DvdOfTwelveParts) {
  const Bytes disc = Blocks(11720);
  WriteFile(dir.P("disc.iso"), std::string(disc.begin(), disc.end()));
  Pressed(Media::DvdRom, dir.W("disc.iso"));
  ASSERT_EQ(CreateGrabber(), 0u) << text;
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_GrabDVD(BURNER_ARGS, dir.W("dvd").c_str(), 2, 0, 0, 0, 0),
            0u)
      << text;
  Fields f(Slurp(dir.P("dvd.mds")));
  const unsigned P = 12;
  EXPECT_EQ(f.Text(0, 16), "MEDIA DESCRIPTOR");
  EXPECT_EQ(f.U(16, 1), 1u);
  EXPECT_EQ(f.U(18, 2), 0x10u);
  EXPECT_EQ(f.U(20, 2), 1u);
  EXPECT_EQ(f.U(22, 2), 2u);
  EXPECT_EQ(f.U(64, 4), 88u);
  EXPECT_EQ(f.U(80, 4), 88u + 4100);
  // The layer: protection and region (format 01h), manufacturing information (04h), physical
  // format (00h) with its addresses and the other bits the table clears.
  EXPECT_EQ(f.U(88, 1), 0u);
  EXPECT_EQ(f.U(89, 1), 0u);
  aspitest::Reply dmi = aspitest::Cmd(0, {0xAD, 0, 0, 0, 0, 0, 0, 0x04, 0x08, 0x04, 0, 0}, 2052);
  ASSERT_GOOD(dmi);
  EXPECT_EQ(Bytes(f.Data().begin() + 90, f.Data().begin() + 90 + 2048),
            Bytes(dmi.data.begin() + 4, dmi.data.end()));
  f.Skip(90, 2048);
  aspitest::Reply pfi = aspitest::Cmd(0, {0xAD, 0, 0, 0, 0, 0, 0, 0x00, 0x08, 0x04, 0, 0}, 2052);
  ASSERT_GOOD(pfi);
  Bytes layer(pfi.data.begin() + 4, pfi.data.begin() + 21);
  layer[2] &= 0x7F;
  layer[4] = layer[8] = layer[12] = 0;
  layer[16] &= 0x80;
  EXPECT_EQ(Bytes(f.Data().begin() + 88 + 2052, f.Data().begin() + 88 + 2069), layer);
  f.Skip(88 + 2052, 17);
  const std::size_t session = 88 + 4100, track = session + 24, files = track + 80,
                    names = files + 16 * P;
  EXPECT_EQ(f.S32(session), 0);
  EXPECT_EQ(f.S32(session + 4), 11720);
  EXPECT_EQ(f.U(session + 8, 2), 1u);
  EXPECT_EQ(f.U(session + 10, 1), 1u);
  EXPECT_EQ(f.U(session + 11, 1), 3u);
  EXPECT_EQ(f.U(session + 12, 2), 1u);
  EXPECT_EQ(f.U(session + 14, 2), 1u);
  EXPECT_EQ(f.U(session + 20, 4), track);
  EXPECT_EQ(f.U(track, 1), 2u);
  EXPECT_EQ(f.U(track + 1, 1), 0u);
  EXPECT_EQ(f.U(track + 2, 1), 0x14u);
  EXPECT_EQ(f.U(track + 3, 1), 0u);
  EXPECT_EQ(f.U(track + 4, 1), 1u);
  EXPECT_EQ(f.U(track + 12, 4), 11720u);
  EXPECT_EQ(f.U(track + 16, 2), 2048u);
  EXPECT_EQ(f.U(track + 36, 4), 0u);
  EXPECT_EQ(f.U(track + 40, 8), 0u);
  EXPECT_EQ(f.U(track + 48, 4), P);
  EXPECT_EQ(f.U(track + 52, 4), files);
  std::size_t at = names;
  Bytes joined;
  for (unsigned i = 0; i < P; ++i) {
    const std::string name = i == 0 ? "dvd.qvf" : "dvd.qv" + std::to_string(i);
    EXPECT_EQ(f.U(files + 16 * i, 4), at) << name;
    EXPECT_EQ(f.Name(at), name);
    at += name.size() + 1;
    const Bytes part = Load(dir.P(name));
    EXPECT_EQ(part.size(), (i + 1 < P ? 1024u : 11720u - 11 * 1024) * 2048) << name;
    joined.insert(joined.end(), part.begin(), part.end());
  }
  EXPECT_EQ(f.Size(), at);
  f.ExpectRestZero();
  EXPECT_TRUE(joined == disc);
  EXPECT_FALSE(std::filesystem::exists(dir.P("dvd.qv12")));
  SAO_TRACK_ARRAY list;
  std::int32_t mode = 0;
  char name[260];
  EXPECT_EQ(HalvorinI_ParseMDS(dir.W("dvd.mds").c_str(), &list, &mode, name, dir.Win().c_str()),
            11u);
}

// A TOC of one session with a data track and an audio track, as GetTOCInformation fills it.
TOC_INFORMATION TwoTrackToc() {
  TOC_INFORMATION toc;
  std::memset(&toc, 0, sizeof toc);
  toc.m__UCHAR__IsValid = 1;
  toc.m__UCHAR__HighestSessionNumber = 1;
  toc.m__UCHAR__NumberOfTracks = 2;
  toc.m__UCHAR__NumberOfRawDescriptors = 5;
  const std::uint8_t points[5] = {0xA0, 0xA1, 0xA2, 1, 2};
  for (int i = 0; i < 5; ++i) {
    TOC_RAW_DESCRIPTOR& d = toc.m__TOC_RAW_DESCRIPTOR__AllDescriptors[i];
    d.m__UCHAR__SessionNumber = 1;
    d.m__UCHAR__ADR_CONTROL = points[i] == 2 ? 0x10 : 0x14;
    d.m__UCHAR__POINT = points[i];
  }
  for (int k = 0; k < 2; ++k) {
    TOC_TRACK_ENTRY& t = toc.m__TOC_TRACK_ENTRY__Tracks[k];
    t.m__UCHAR__IsValid = 1;
    t.m__UCHAR__TrackNumber = static_cast<std::uint8_t>(k + 1);
    t.m__UCHAR__SessionNumber = 1;
    t.m__LONG__StartLBA = k == 0 ? 0 : 1000;
    t.m__LONG__EndLBA = k == 0 ? 999 : 1299;
    t.m__BOOLEAN__IsDataTrack = k == 0;
    t.m__BOOLEAN__IsAudioTrack = k == 1;
    t.m__UCHAR__DataMode = k == 0 ? 1 : 0;
    t.m__ULONG__UserBytesPerSector = k == 0 ? 2048 : 2352;
    toc.m__TOC_RAW_DESCRIPTOR__TrackDescriptors[k] =
        toc.m__TOC_RAW_DESCRIPTOR__AllDescriptors[3 + k];
  }
  return toc;
}

std::uint32_t Parse(const std::string& descriptor, const std::string& folder, SAO_TRACK_ARRAY* list,
                    std::int32_t* mode, char* name) {
  return HalvorinI_ParseMDS(descriptor.c_str(), list, mode, name, folder.c_str());
}

void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// The writer's descriptor of the two-track TOC reads back into the list; every broken form of
// it gives a status, never a crash.
TEST_F(Descriptor, ReaderOfOwnAndHostileDescriptors) {
  const TOC_INFORMATION toc = TwoTrackToc();
  {
    platform::fs::File file(dir.W("good.mds"), platform::fs::OpenMode::CreateAlways);
    CHalvorin_CdvdBurnerGrabber::FormatFileMDSForCD(file, toc, dir.W("good").c_str());
  }
  ExpectCdDescriptor(Slurp(dir.P("good.mds")), toc, "good.qvf");
  const Bytes good = Slurp(dir.P("good.mds"));
  SAO_TRACK_ARRAY list;
  std::int32_t mode = 0;
  char name[260];
  ASSERT_EQ(Parse(dir.W("good.mds"), dir.Win(), &list, &mode, name), 0u);
  EXPECT_EQ(list.m__LONG__NumberOfRawTracks, 2);
  EXPECT_EQ(list.m__LONG__RawTrackSizeInLBs[0], 1000 - 150);
  EXPECT_EQ(list.m__LONG__RawTrackSizeInLBs[1], 300);  // the last keeps its 150
  EXPECT_EQ(list.m__SAO_TRACK_ENTRY__Tracks[0].m__BOOLEAN__IsAudio, 0);
  EXPECT_EQ(list.m__SAO_TRACK_ENTRY__Tracks[1].m__BOOLEAN__IsAudio, 1);
  EXPECT_EQ(mode, 1);
  EXPECT_STREQ(name, "good.qvf");

  // Offsets of the good descriptor: 88 header, 112 session, 512 Indexes, 528 files, 560 name.
  constexpr std::size_t kSession = 88, kTrack1 = 112 + 3 * 80, kFiles = 112 + 5 * 80 + 16,
                        kName = kFiles + 32;
  ASSERT_EQ(good.size(), kName + 9);
  struct Case {
    const char* what;
    std::function<void(Bytes&)> change;
    std::uint32_t status;
    std::string folder = "";
  };
  const std::string longFolder = dir.Win() + std::string(240, 'f') + "\\";
  const std::vector<Case> cases = {
      {"signature", [](Bytes& b) { b[0] = 'X'; }, 11},
      {"DVD", [](Bytes& b) { b[18] = 0x10; }, 11},
      {"no session", [](Bytes& b) { b[20] = 0; }, 11},
      {"two sessions", [](Bytes& b) { b[20] = 2; }, 11},
      // Descriptors past the file's end: a session of 99 tracks has more than 100 of them.
      {"101 descriptors, 5 there", [](Bytes& b) { b[kSession + 10] = 101; }, 996},
      {"255 descriptors, 5 there", [](Bytes& b) { b[kSession + 10] = 255; }, 996},
      {"no track descriptor", [](Bytes& b) { b[kSession + 10] = 3; }, 11},
      {"subchannel 0", [](Bytes& b) { b[kTrack1 + 1] = 0; }, 11},
      {"size 149", [](Bytes& b) { Put32(b, kFiles + 8, 149); }, 11},
      {"size beyond a CD", [](Bytes& b) { Put32(b, kFiles + 16 + 8, 0xF8000000u); }, 11},
      {"name without terminator", [](Bytes& b) { b.back() = 'x'; }, 11},
      {"name of 300 characters",
       [](Bytes& b) {
         b.resize(kName);
         b.insert(b.end(), 300, 'n');
       },
       11},
      {"name with a folder",
       [](Bytes& b) {
         b.resize(kName);
         for (char c : std::string("sub\\good.qvf")) b.push_back(static_cast<std::uint8_t>(c));
         b.push_back(0);
       },
       11},
      {"name ..",
       [](Bytes& b) {
         b.resize(kName);
         b.insert(b.end(), {'.', '.', 0});
       },
       11},
      {"name of a drive",
       [](Bytes& b) {
         b.resize(kName);
         b.insert(b.end(), {'Z', ':', 'x', 0});
       },
       11},
      {"empty name", [](Bytes& b) { b[kName] = 0; }, 11},
      {"path over the limit", [](Bytes&) {}, 11, longFolder},
      {"short header", [](Bytes& b) { b.resize(50); }, 996},
      {"session beyond the end", [](Bytes& b) { Put32(b, 80, 100000); }, 996},
      {"tracks beyond the end", [&](Bytes& b) { Put32(b, kSession + 20, 0xFFFFFFF0u); }, 996},
      {"file record beyond the end", [](Bytes& b) { Put32(b, kTrack1 + 52, 1u << 30); }, 996},
      {"name beyond the end", [](Bytes& b) { Put32(b, kFiles, 1u << 30); }, 996},
      {"size 0 without the data file", [](Bytes& b) { Put32(b, kFiles + 8, 0); }, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes b = good;
    c.change(b);
    WriteFile(dir.P("bad.mds"), std::string(b.begin(), b.end()));
    EXPECT_EQ(Parse(dir.W("bad.mds"), c.folder.empty() ? dir.Win() : c.folder, &list, &mode, name),
              c.status);
  }
  EXPECT_EQ(Parse(dir.W("missing.mds"), dir.Win(), &list, &mode, name), 2u);
  EXPECT_EQ(Parse("relative.mds", dir.Win(), &list, &mode, name), 22u);

  // A track size of 0 is taken from the data file: 1,200 sectors there.
  Bytes zero = good;
  Put32(zero, kFiles + 8, 0);
  WriteFile(dir.P("zero.mds"), std::string(zero.begin(), zero.end()));
  WriteFile(dir.P("good.qvf"), std::string(1200 * 2448, '\0'));
  ASSERT_EQ(Parse(dir.W("zero.mds"), dir.Win(), &list, &mode, name), 0u);
  EXPECT_EQ(list.m__LONG__RawTrackSizeInLBs[0], 1200 - 150);
}

// Raw images by their first sector: a data sector's sync and mode, an audio sector's valid Q;
// a cooked image and a name without the extension are not.
TEST_F(Descriptor, ImageCheck) {
  Bytes audio(2 * 2448, 0);
  vr::QPosition q;
  q.control = 0;
  std::uint8_t q12[12];
  vr::FormatQ(q, q12);
  vr::InterleaveSubchannel(true, q12, audio.data() + 2352);
  WriteFile(dir.P("audio.mdf"), std::string(audio.begin(), audio.end()));
  Bytes mode2(2448, 0);
  const std::uint8_t subheader[4] = {1, 0, 8, 0};
  const Bytes user(2048, 0x5A);
  vr::EncodeMode2Form1(0, subheader, user.data(), mode2.data());
  WriteFile(dir.P("data.Qvf"), std::string(mode2.begin(), mode2.end()));
  WriteFile(dir.P("data.bin"), std::string(mode2.begin(), mode2.end()));
  WriteFile(dir.P("cooked.mdf"), std::string(4 * 2048, 'C'));
  Bytes noise = audio;
  noise[2352 + 40] ^= 0x40;  // a Q bit wrong: the CRC fails
  WriteFile(dir.P("noise.mdf"), std::string(noise.begin(), noise.end()));
  WriteFile(dir.P("short.mdf"), std::string(1000, '\0'));
  struct Case {
    const char* name;
    bool is;
    std::int32_t mode;
  } cases[] = {{"audio.mdf", true, 0},    {"data.Qvf", true, 2},    {"data.bin", false, -1},
               {"cooked.mdf", false, -1}, {"noise.mdf", false, -1}, {"short.mdf", false, -1},
               {"none.mdf", false, -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::int32_t mode = -1;
    EXPECT_EQ(HalvorinI_IsMDF(dir.W(c.name).c_str(), &mode), c.is);
    EXPECT_EQ(mode, c.mode);
  }
}

TEST(WaveFileHeader, OfOneThousandSectors) {
  const WAVE_FILE_HEADER h = HalvorinI_MakeWaveFileHeader(1000 * 2352);
  Bytes b(reinterpret_cast<const std::uint8_t*>(&h),
          reinterpret_cast<const std::uint8_t*>(&h) + 44);
  Fields f(b);
  EXPECT_EQ(f.Text(0, 4), "RIFF");
  EXPECT_EQ(f.U(4, 4), 2352036u);
  EXPECT_EQ(f.Text(8, 8), "WAVEfmt ");
  EXPECT_EQ(f.U(16, 4), 16u);
  EXPECT_EQ(f.U(20, 2), 1u);
  EXPECT_EQ(f.U(22, 2), 2u);
  EXPECT_EQ(f.U(24, 4), 44100u);
  EXPECT_EQ(f.U(28, 4), 176400u);
  EXPECT_EQ(f.U(32, 2), 4u);
  EXPECT_EQ(f.U(34, 2), 16u);
  EXPECT_EQ(f.Text(36, 4), "data");
  EXPECT_EQ(f.U(40, 4), 2352000u);
}

}  // namespace
}  // namespace grabtest
