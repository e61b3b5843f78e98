#include "platform/aspi/recorder/vr_export.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/aspi/recorder/coding/vr_sector_coding.h"
#include "platform/fs/fs.h"

namespace platform::aspi::vr {

namespace fs = platform::fs;

namespace {

constexpr std::size_t kChunk = 256;

std::string CueTime(std::int64_t lba) {
  const Msf m = FramesToMsf(lba);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", m.minute, m.second, m.frame);
  return buf;
}

bool AllZero(const std::uint8_t* p, std::size_t n) {
  return std::all_of(p, p + n, [](std::uint8_t b) { return b == 0; });
}

template <class Fill>
void WriteImage(const std::string& path, std::int64_t blocks, std::size_t blockSize, Fill fill) {
  const std::string part = path + ".part";
  {
    fs::File out(part, fs::OpenMode::CreateAlways);
    std::vector<std::uint8_t> buf(kChunk * blockSize);
    for (std::int64_t lba = 0; lba < blocks; lba += kChunk) {
      const auto n = static_cast<std::size_t>(std::min<std::int64_t>(kChunk, blocks - lba));
      fill(lba, buf.data(), n);
      // Leave holes where the disc holds nothing, so a mostly empty image stays small.
      if (AllZero(buf.data(), n * blockSize))
        out.Seek(static_cast<std::int64_t>(n * blockSize), SEEK_CUR);
      else
        out.Write(buf.data(), n * blockSize);
    }
    out.Truncate(static_cast<std::uint64_t>(blocks) * blockSize);
    out.Close();
  }
  if (!fs::RenameReplace(part, path)) throw fs::FsError("cannot rename " + part, 0);
}

}  // namespace

void ExportIso(const Disc& disc, DiscReader& reader, const std::string& isoPath) {
  WriteImage(
      isoPath, disc.RecordedEnd(), kUserSectorSize,
      [&](std::int64_t lba, std::uint8_t* buf, std::size_t n) { reader.UserBlocks(lba, buf, n); });
}

std::string CueSheet(const Disc& disc, const std::string& binName, const std::string& cdtName) {
  std::string cue;
  if (!cdtName.empty()) cue += "CDTEXTFILE \"" + cdtName + "\"\n";
  cue += "FILE \"" + binName + "\" BINARY\n";
  int session = 0;
  std::int64_t previousEnd = 0;
  for (const auto& t : disc.tracks) {
    if (t.session != session) {
      session = t.session;
      if (disc.sessions.size() > 1) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "REM SESSION %02d\n", session);
        cue += buf;
      }
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "  TRACK %02d %s\n", t.number,
                  t.form == SectorForm::Mode2Form1 || t.form == SectorForm::Mode2 ? "MODE2/2352"
                  : t.form == SectorForm::Audio                                   ? "AUDIO"
                                                                                  : "MODE1/2352");
    cue += buf;
    // Tracks after the first of the disc have their 150-block pre-gap inside the file; a
    // session-at-once track's pre-gap is as long as its cue sheet made it, and a disc-at-once
    // track that follows the one before it directly has none.
    if (t.pregap > 0) {
      if (t.start - t.pregap < t.start && t.start > 0)
        cue += "    INDEX 00 " + CueTime(std::max<std::int64_t>(0, t.start - t.pregap)) + "\n";
    } else if (t.start >= 150 && t.number > 1 && t.start - 150 >= previousEnd) {
      cue += "    INDEX 00 " + CueTime(t.start - 150) + "\n";
    }
    previousEnd = t.start + t.written;
    cue += "    INDEX 01 " + CueTime(t.start) + "\n";
  }
  return cue;
}

void ExportBinCue(const Disc& disc, DiscReader& reader, const std::string& binPath,
                  const std::string& cuePath) {
  WriteImage(binPath, disc.RecordedEnd(), kRawSectorSize,
             [&](std::int64_t lba, std::uint8_t* buf, std::size_t n) {
               for (std::size_t i = 0; i < n; ++i)
                 reader.Raw(lba + static_cast<std::int64_t>(i), buf + i * kRawSectorSize);
             });
  // CD-Text packs go beside the image, named as it is.
  std::string cdtName;
  if (!disc.cdText.empty()) {
    const std::string bin = fs::FileNamePart(binPath);
    const std::size_t dot = bin.rfind('.');
    cdtName = (dot == std::string::npos ? bin : bin.substr(0, dot)) + ".cdt";
    const std::string cdtPath = binPath.substr(0, binPath.size() - bin.size()) + cdtName;
    fs::WriteWholeFileAtomic(cdtPath, disc.cdText.data(), disc.cdText.size());
  }
  const std::string cue = CueSheet(disc, fs::FileNamePart(binPath), cdtName);
  fs::WriteWholeFileAtomic(cuePath, cue.data(), cue.size());
}

}  // namespace platform::aspi::vr
