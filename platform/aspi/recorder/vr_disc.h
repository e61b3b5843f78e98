// The state of the disc in a virtual recorder: sessions, tracks, next writable address, free
// blocks, reservations and formatting. Pure bookkeeping: the sectors live in the sector file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/aspi/recorder/coding/vr_lead_in_toc.h"
#include "platform/aspi/recorder/vr_media.h"

namespace platform::aspi::vr {

// How a track's user data sits in a raw CD sector; an audio sector is 2352 bytes of samples as
// they were sent. Mode2 (CD-ROM XA) sectors are Form 1 or Form 2 each, by their submode.
enum class SectorForm : std::uint8_t { Mode1 = 1, Mode2Form1 = 2, Audio = 3, Mode2 = 4 };

// Disc serials number the ejected images; one range for the states and the image names.
inline constexpr std::uint32_t kMaxSerial = 0xFFFFFFFEu;

struct Track {
  int number = 1;
  int session = 1;
  std::int64_t start = 0;     // first user block
  std::int64_t written = 0;   // blocks written from the start
  std::int64_t reserved = 0;  // size of a reservation, 0 when none
  bool closed = false;
  bool damaged = false;
  SectorForm form = SectorForm::Mode1;
  std::uint8_t trackMode = 4;  // CONTROL nibble: 4 data, 5 data recorded incrementally
  std::int64_t pregap = 0;     // INDEX 0 blocks before the start, of the track's form

  std::int64_t Size() const { return reserved ? reserved : written; }
  std::int64_t End() const { return start + Size(); }  // one past the last block

  bool operator==(const Track&) const = default;
};

struct Session {
  int number = 1;
  bool closed = false;
  std::uint8_t format = 0;   // 00h CD-DA/CD-ROM, 20h CD-ROM XA
  std::int64_t leadOut = 0;  // start of its lead-out once closed

  bool operator==(const Session&) const = default;
};

enum class DiscStatus : std::uint8_t { Empty = 0, Incomplete = 1, Complete = 2, Other = 3 };

// The blank or open track that takes the next write.
struct WritableTrack {
  int number;
  int session;
  std::int64_t start;
  std::int64_t nextWritable;
  std::int64_t freeBlocks;
  bool blank;
  bool reserved;
  bool exists;  // an open track in the list, not the invisible one
};

enum class PressedImage : std::uint8_t { None, Iso, Bin };

struct Disc {
  Media media = Media::DvdR;
  std::uint32_t serial = 1;    // the number of its image when ejected
  bool formatted = false;      // random-writable media
  bool finalized = false;      // no further session may be added
  std::int64_t highWater = 0;  // random-writable media: one past the highest block written
  std::int64_t capacity = 0;
  std::vector<Session> sessions;
  std::vector<Track> tracks;
  PressedImage pressed = PressedImage::None;
  std::string fixture;  // pressed discs: the image (Windows path)
  // Session-at-once: the cue sheet while the session is being written, the next address it
  // takes, the Q frames that disagreed with it, and the CD-Text packs of the lead-in.
  std::vector<std::uint8_t> cueSheet;
  std::int64_t saoNext = 0;
  std::int64_t qMismatches = 0;
  std::vector<std::uint8_t> cdText;
  // Disc-at-once: the write in progress from the lead-in start it began at, the next address
  // it takes, the TOC points its lead-in's Q carried, and whether a point came twice with
  // different values.
  bool dao = false;
  std::int64_t daoLeadIn = 0;
  std::int64_t daoNext = 0;
  std::vector<TocPoint> toc;
  bool tocContradicts = false;

  static Disc Blank(Media media, std::uint32_t serial);

  const MediaTraits& traits() const { return Traits(media); }
  bool IsCd() const { return traits().cd; }
  bool IsRandom() const { return traits().random; }
  bool IsRom() const { return traits().rom; }

  DiscStatus Status() const;
  // State of the last session as READ DISC INFORMATION reports it: 0 empty, 1 incomplete,
  // 3 complete.
  std::uint8_t LastSessionState() const;
  int SessionCount() const;  // includes the empty session of an appendable disc
  int FirstTrackOfLastSession() const;
  int LastTrackOfLastSession() const;
  std::optional<WritableTrack> Writable() const;
  // Start of the next session's lead-in on CD (the MSF of READ DISC INFORMATION).
  std::int64_t NextLeadIn() const;
  // Blocks up to the end of the last track (what READ(10) and an export reach).
  std::int64_t RecordedEnd() const;
  const Track* TrackAt(std::int64_t lba) const;  // the track whose area holds the LBA
  const Track* TrackNumber(int number) const;
  Track* OpenTrack();

  // Next address after the last track of an open session, or of the next session.
  std::int64_t NextTrackStart() const;

  std::string Serialize() const;
  // What a state must hold to be served: every state the recorder writes passes. Empty when it
  // does, else what is wrong.
  std::string Check() const;
  std::string CheckDiscAtOnce() const;
  // The state as Serialize wrote it, when it passes Check; else `why` says what is wrong.
  static std::optional<Disc> Parse(const std::string& text, std::string* why = nullptr);

  bool operator==(const Disc&) const = default;
};

// Room between tracks and sessions that a drive leaves.
inline constexpr std::int64_t kCdTrackGap = 2 + 150;  // run-out of the last, pre-gap of the next
inline constexpr std::int64_t kCdLeadIn = 4500;
inline constexpr std::int64_t kCdFirstLeadOut = 6750;
inline constexpr std::int64_t kCdLaterLeadOut = 2250;
inline constexpr std::int64_t kDvdPlusSessionGap = 0x3000;  // closure and intro zones
inline constexpr std::int64_t kEccBlock = 16;

}  // namespace platform::aspi::vr
