// The CD image descriptor: sessions, one track descriptor per raw TOC descriptor, the index and
// file records of every track and the one name of the data file.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "lib/core/burner/cdvd_burner_grabber.h"
#include "lib/core/debug_trace.h"
#include "lib/core/grab/grab_file.h"
#include "lib/core/grab/image_descriptor.h"
#include "lib/core/trace_scope.h"

namespace {

constexpr const char* kMethod = "CHalvorin_CdvdBurnerGrabber::FormatFileMDSForCD";

std::string Indexed(const char* p__PCHAR__Record, std::size_t p__SIZE_T__Index) {
  return std::string(" ") + p__PCHAR__Record + "[ " + std::to_string(p__SIZE_T__Index) + " ] ";
}

template <class Record>
void WriteRecord(platform::fs::File& p__File, const Record& p__Record, const std::string& what) {
  HalvorinI_WriteGrabFile(p__File, &p__Record, sizeof(Record), kMethod, what);
}

std::uint8_t ModeOf(const TOC_TRACK_ENTRY& p__Track) {
  if (!p__Track.m__BOOLEAN__IsDataTrack) return 0xE9;
  if (p__Track.m__UCHAR__DataMode == 2) return p__Track.m__UCHAR__Form == 1 ? 0xEC : 0xED;
  return 0xEA;
}

// The TOC entry of a descriptor's POINT: the entry of number POINT - 1, or the entry that
// carries that number when the numbers do not start at 1.
int TrackIndexOf(const TOC_INFORMATION& p__Toc, std::uint8_t p__UCHAR__Point) {
  const int tracks = p__Toc.m__UCHAR__NumberOfTracks > 100 ? 100 : p__Toc.m__UCHAR__NumberOfTracks;
  if (p__UCHAR__Point < 1 || p__UCHAR__Point > 99) return -1;
  const int guess = p__UCHAR__Point - 1;
  if (guess < tracks &&
      p__Toc.m__TOC_TRACK_ENTRY__Tracks[guess].m__UCHAR__TrackNumber == p__UCHAR__Point)
    return guess;
  for (int i = 0; i < tracks; ++i)
    if (p__Toc.m__TOC_TRACK_ENTRY__Tracks[i].m__UCHAR__TrackNumber == p__UCHAR__Point) return i;
  return -1;
}

// The descriptors the image describes, in the drive's order: the record's table, then the
// descriptor of every track entry that the table had no room for (the table holds 100, a disc
// of 99 tracks has more).
std::vector<TOC_RAW_DESCRIPTOR> DescriptorsOf(const TOC_INFORMATION& p__Toc) {
  const std::uint32_t kept =
      p__Toc.m__UCHAR__NumberOfRawDescriptors > 100 ? 100 : p__Toc.m__UCHAR__NumberOfRawDescriptors;
  const TOC_RAW_DESCRIPTOR* table = p__Toc.m__TOC_RAW_DESCRIPTOR__AllDescriptors;
  std::vector<TOC_RAW_DESCRIPTOR> all(table, table + kept);
  const std::uint32_t tracks =
      p__Toc.m__UCHAR__NumberOfTracks > 100 ? 100 : p__Toc.m__UCHAR__NumberOfTracks;
  for (std::uint32_t i = 0; i < tracks; ++i) {
    const TOC_RAW_DESCRIPTOR& d = p__Toc.m__TOC_RAW_DESCRIPTOR__TrackDescriptors[i];
    const bool listed = std::any_of(table, table + kept, [&](const TOC_RAW_DESCRIPTOR& t) {
      return t.m__UCHAR__SessionNumber == d.m__UCHAR__SessionNumber &&
             t.m__UCHAR__POINT == d.m__UCHAR__POINT;
    });
    if (!listed) all.push_back(d);
  }
  return all;
}

}  // namespace

void CHalvorin_CdvdBurnerGrabber::FormatFileMDSForCD(platform::fs::File& p__File,
                                                     const TOC_INFORMATION& p__Toc,
                                                     const char* p__PCHAR__Name) {
  CHalvorin_TraceScope trace(kMethod);
  std::string full;
  if (const std::uint32_t error = HalvorinI_GetFullPathName(p__PCHAR__Name, &full))
    HalvorinI_ThrowException(kHalvorinStatusSystemCall, error,
                             "%s(): GetFullPathName( '%s' ) failed, status %ld!!!", kMethod,
                             p__PCHAR__Name ? p__PCHAR__Name : "", static_cast<long>(error));
  const std::string trackName = platform::fs::FileNamePart(full) + ".qvf";

  const std::vector<TOC_RAW_DESCRIPTOR> raw = DescriptorsOf(p__Toc);
  const std::uint32_t S = p__Toc.m__UCHAR__HighestSessionNumber;
  const auto D = static_cast<std::uint32_t>(raw.size());
  const std::uint32_t T =
      p__Toc.m__UCHAR__NumberOfTracks > 100 ? 100 : p__Toc.m__UCHAR__NumberOfTracks;
  const std::uint32_t sessionsAt = sizeof(MEDIA_DESCRIPTOR);
  const std::uint32_t tracksAt = sessionsAt + S * sizeof(SESSION_DESCRIPTOR);
  const std::uint32_t indexesAt = tracksAt + D * sizeof(TRACK_DESCRIPTOR);
  const std::uint32_t filesAt = indexesAt + T * sizeof(TRACK_INDEXES);
  const std::uint32_t nameAt = filesAt + T * sizeof(FILE_DESCRIPTOR);
  const TOC_TRACK_ENTRY* tracks = p__Toc.m__TOC_TRACK_ENTRY__Tracks;
  auto lengthOf = [&](std::uint32_t i) {
    return static_cast<std::uint32_t>(tracks[i].m__LONG__EndLBA - tracks[i].m__LONG__StartLBA + 1);
  };

  MEDIA_DESCRIPTOR header{};
  std::memcpy(header.m__CHAR__Signature, "MEDIA DESCRIPTOR", 16);
  header.m__UCHAR__VersionMajor = 1;
  header.m__USHORT__MediumType = kHalvorinMediumTypeCD;
  header.m__USHORT__NumberOfSessions = static_cast<std::uint16_t>(S);
  header.m__USHORT__Unknown = 2;
  header.m__ULONG__SessionOffset = sessionsAt;
  WriteRecord(p__File, header, " MEDIA_DESCRIPTOR ");

  for (std::uint32_t s = 1; s <= S; ++s) {
    SESSION_DESCRIPTOR session{};
    session.m__USHORT__SessionNumber = static_cast<std::uint16_t>(s);
    session.m__UCHAR__Unknown = 3;
    std::uint32_t first = D;
    for (std::uint32_t i = 0; i < D; ++i) {
      if (raw[i].m__UCHAR__SessionNumber != s) continue;
      if (first == D) first = i;
      ++session.m__UCHAR__NumberOfDescriptors;
    }
    session.m__ULONG__TrackOffset = tracksAt + (first == D ? 0 : first) * sizeof(TRACK_DESCRIPTOR);
    bool seen = false;
    for (std::uint32_t i = 0; i < T; ++i) {
      if (tracks[i].m__UCHAR__SessionNumber != s) continue;
      if (!seen) {
        session.m__USHORT__FirstTrack = tracks[i].m__UCHAR__TrackNumber;
        session.m__LONG__StartSector = i == 0 ? -150 : tracks[i].m__LONG__StartLBA;
        seen = true;
      }
      session.m__USHORT__LastTrack = tracks[i].m__UCHAR__TrackNumber;
      session.m__LONG__EndSector = tracks[i].m__LONG__EndLBA + 1;
    }
    WriteRecord(p__File, session, Indexed("SESSION_DESCRIPTOR", s - 1));
  }

  for (std::uint32_t i = 0; i < D; ++i) {
    const TOC_RAW_DESCRIPTOR& d = raw[i];
    TRACK_DESCRIPTOR t{};
    std::memcpy(&t.m__UCHAR__ADR_CONTROL, &d.m__UCHAR__ADR_CONTROL, 10);
    const int k = TrackIndexOf(p__Toc, d.m__UCHAR__POINT);
    if (k >= 0) {
      const auto index = static_cast<std::uint32_t>(k);
      t.m__UCHAR__Mode = ModeOf(tracks[index]);
      t.m__UCHAR__SubChannel = 0x08;
      t.m__ULONG__IndexOffset = indexesAt + index * sizeof(TRACK_INDEXES);
      t.m__USHORT__SectorSize = kHalvorinImageSectorSize;
      t.m__UCHAR__Unknown = 2;
      t.m__ULONG__StartLBA = static_cast<std::uint32_t>(tracks[index].m__LONG__StartLBA);
      for (std::uint32_t j = 0; j < index; ++j)
        t.m__ULONGLONG__StartOffset +=
            static_cast<std::uint64_t>(lengthOf(j)) * kHalvorinImageSectorSize;
      t.m__ULONG__NumberOfFiles = 1;
      t.m__ULONG__FileOffset = filesAt + index * sizeof(FILE_DESCRIPTOR);
    }
    WriteRecord(p__File, t, Indexed("TRACK_DESCRIPTOR", i));
  }

  for (std::uint32_t i = 0; i < T; ++i) {
    TRACK_INDEXES indexes{};
    indexes.m__ULONG__Index0 =
        i == 0 ? static_cast<std::uint32_t>(150 + tracks[i].m__LONG__StartLBA) : 0;
    indexes.m__ULONG__Index1 = lengthOf(i);
    WriteRecord(p__File, indexes, Indexed("Indexes", i));
  }
  for (std::uint32_t i = 0; i < T; ++i) {
    FILE_DESCRIPTOR file{};
    file.m__ULONG__NameOffset = nameAt;
    file.m__ULONG__TrackLengthInLBs = lengthOf(i);
    WriteRecord(p__File, file, Indexed("FILE_DESCRIPTOR", i));
  }
  HalvorinI_WriteGrabFile(p__File, trackName.c_str(),
                          static_cast<std::uint32_t>(trackName.size() + 1), kMethod, " TrackName ");
  HalvorinI_FlushGrabFile(p__File, kMethod);
}
