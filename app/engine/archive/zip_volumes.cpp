#include "app/engine/archive/zip_volumes.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/engine/archive/zip_commit_record.h"
#include "app/engine/archive/zip_error.h"
#include "app/engine/archive/zip_helper.h"
#include "app/engine/archive/zip_names.h"
#include "platform/shell/shell.h"

namespace fs = platform::fs;

namespace {

// How much of a slice is written before it is handed to the disk.
constexpr std::uint64_t kWriteBackStep = 8 << 20;

constexpr size_t kEndRecordSize = 22;
constexpr size_t kMaxCommentSize = 65535;
constexpr size_t kZip64LocatorSize = 20;
constexpr size_t kMaxOpenVolumes = 8;

std::uint32_t Le32(const std::uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint16_t Le16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
std::uint64_t Le64(const std::uint8_t* p) {
  return Le32(p) | (static_cast<std::uint64_t>(Le32(p + 4)) << 32);
}

// Reads exactly n bytes at offset; false when the file is shorter.
bool ReadFully(fs::File& file, std::uint64_t offset, std::uint8_t* buffer, size_t n) {
  file.Seek(static_cast<std::int64_t>(offset), SEEK_SET);
  while (n > 0) {
    const size_t got = file.Read(buffer, n);
    if (got == 0) return false;
    buffer += got;
    n -= got;
  }
  return true;
}

}  // namespace

bool EndsWithEndRecord(fs::File& file, std::uint64_t offset) {
  const std::uint64_t size = file.Size();
  if (size < kEndRecordSize) return false;
  const size_t tailSize = static_cast<size_t>(
      std::min<std::uint64_t>(size, kEndRecordSize + kMaxCommentSize + kZip64LocatorSize));
  std::vector<std::uint8_t> tail(tailSize);
  const std::uint64_t tailStart = size - tailSize;
  if (!ReadFully(file, tailStart, tail.data(), tailSize)) return false;
  for (size_t p = tailSize - kEndRecordSize + 1; p-- > 0;) {
    const std::uint8_t* r = tail.data() + p;
    if (std::memcmp(r, "PK\5\6", 4) != 0) continue;
    if (p + kEndRecordSize + Le16(r + 20) != tailSize) continue;
    const std::uint64_t recordPos = offset + tailStart + p;
    const std::uint32_t cdSize = Le32(r + 12);
    const std::uint32_t cdOffset = Le32(r + 16);
    if (cdSize != 0xFFFFFFFF && cdOffset != 0xFFFFFFFF && Le16(r + 8) != 0xFFFF)
      return static_cast<std::uint64_t>(cdOffset) + cdSize == recordPos;
    // Zip64: the locator stands right before the record and points before itself.
    if (p < kZip64LocatorSize) return false;
    const std::uint8_t* loc = r - kZip64LocatorSize;
    return std::memcmp(loc, "PK\6\7", 4) == 0 && Le64(loc + 8) < recordPos - kZip64LocatorSize;
  }
  return false;
}

// ---------------------------------------------------------------------------------------------

TSliceWriter::TSliceWriter(std::string archivePath, std::uint64_t volumeSize,
                           TLeftoverNotice notice)
    : archivePath_(std::move(archivePath)), volumeSize_(volumeSize), notice_(std::move(notice)) {
  const std::string record = CommitRecordPath(archivePath_);
  if (!FinishInterruptedCommit(record))
    throw EZipError("The archive " + archivePath_ +
                    " cannot be written: an earlier replacement of it is not finished (" + record +
                    ").");
  StartSlice(archivePath_);
}

TSliceWriter::~TSliceWriter() {
  RemoveTemporaryFiles();
}

void TSliceWriter::StartSlice(std::string finalPath) {
  std::string temp;
  try {
    temp = platform::shell::CreateTempFileName(fs::ParentFolder(finalPath), "QVZ");
  } catch (const fs::FsError& e) {
    throw EZipError("Cannot create a temporary file beside " + finalPath + ": " + e.what());
  }
  slices_.push_back({std::move(finalPath), temp});
  if (notice_) notice_(temp, false);
  try {
    current_ = fs::File(temp, fs::OpenMode::CreateAlways, fs::Share::Exclusive);
  } catch (const fs::FsError& e) {
    throw EZipError("Cannot create the archive " + slices_.back().finalPath + ": " + e.what());
  }
  inCurrent_ = 0;
  writtenBack_ = 0;
}

bool TSliceWriter::Write(const void* data, size_t n, THelper& helper) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  while (n > 0) {
    if (volumeSize_ > 0 && inCurrent_ == volumeSize_) {
      Close();
      auto name = helper.RequestVolume(static_cast<int>(slices_.size()), archivePath_);
      if (!name) return false;
      StartSlice(std::move(*name));
    }
    const size_t chunk =
        volumeSize_ > 0 ? static_cast<size_t>(std::min<std::uint64_t>(n, volumeSize_ - inCurrent_))
                        : n;
    try {
      current_.Write(bytes, chunk);
    } catch (const fs::FsError& e) {
      throw EZipError("Writing the archive " + slices_.back().finalPath + " failed: " + e.what());
    }
    bytes += chunk;
    n -= chunk;
    inCurrent_ += chunk;
    total_ += chunk;
    // The slice is flushed before it is renamed: its bytes go to the disk while the rest is
    // compressed, so that flush waits only for the last of them.
    if (inCurrent_ - writtenBack_ >= kWriteBackStep) {
      current_.StartWriteBack(writtenBack_, inCurrent_ - writtenBack_);
      writtenBack_ = inCurrent_;
    }
  }
  return true;
}

void TSliceWriter::Close() {
  if (!current_.IsOpen()) return;
  try {
    current_.Flush();  // on the disk before it is renamed over anything
    current_.Close();
  } catch (const fs::FsError& e) {
    throw EZipError("Writing the archive " + slices_.back().finalPath + " failed: " + e.what());
  }
}

void TSliceWriter::Commit() {
  Close();
  std::vector<TWrittenSlice> written;
  for (const TSlice& slice : slices_) written.push_back({slice.finalPath, slice.tempPath});
  CommitArchive(archivePath_, written, notice_);
  for (TSlice& slice : slices_) slice.tempPath.clear();
}

void TSliceWriter::RemoveTemporaryFiles() noexcept {
  try {
    if (current_.IsOpen()) current_ = fs::File();
  } catch (...) {
  }
  // A commit record that stays names the slices: the next run needs them.
  if (fs::Identify(CommitRecordPath(archivePath_))) return;
  for (const TSlice& slice : slices_)
    if (!slice.tempPath.empty()) fs::DeleteFile(slice.tempPath);
}

// ---------------------------------------------------------------------------------------------

TSliceReader::TSliceReader(std::string archivePath, THelper& helper)
    : archivePath_(std::move(archivePath)) {
  TVolume first;
  first.path = archivePath_;
  first.confirmed = true;
  try {
    first.file = fs::File(archivePath_, fs::OpenMode::Read, fs::Share::ReadOnly);
    first.size = first.file.Size();
    if (EndsWithEndRecord(first.file)) {
      sliceSize_ = size_ = first.size;
      volumes_.push_back(std::move(first));
      return;
    }
  } catch (const fs::FsError& e) {
    throw EZipError("Cannot open the archive " + archivePath_ + ": " + e.what());
  }
  try {
    std::uint8_t sig[4];
    if (!ReadFully(first.file, 0, sig, sizeof sig) || std::memcmp(sig, "PK\3\4", 4) != 0)
      throw EZipError("The file " + archivePath_ + " is not a zip archive, or it is damaged.");
  } catch (const fs::FsError& e) {
    throw EZipError("Cannot read the archive " + archivePath_ + ": " + e.what());
  }
  sliceSize_ = first.size;
  volumes_.push_back(std::move(first));

  // Find the last volume among the numbered files beside the archive; one that is not there
  // is asked for, since the user may keep it elsewhere.
  if (helper.RequestLastDisk()) throw EZipCancelled();
  for (int n = 1;; ++n) {
    TVolume volume;
    volume.path = VolumeName(archivePath_, n);
    auto info = fs::Stat(volume.path);
    if (!info || info->type != fs::EntryType::Regular) {
      volume.path = Confirm(n, helper);
      volume.confirmed = true;
      info = fs::Stat(volume.path);
    }
    if (!info || info->type != fs::EntryType::Regular)
      throw EZipError("The archive " + archivePath_ +
                      " is damaged or incomplete: it has no end record, and its volume " +
                      volume.path + " is missing.");
    if (info->size == 0 || info->size > sliceSize_)
      throw EZipError("The file " + volume.path + " is not a volume of the archive " +
                      archivePath_ + ": its size does not fit.");
    volume.size = info->size;
    const std::string path = volume.path;
    volumes_.push_back(std::move(volume));
    if (info->size < sliceSize_ || EndsAt(path, sliceSize_ * n)) break;
    if (n >= kMaxVolumes) throw EZipError("The archive " + archivePath_ + " has too many volumes.");
  }
  TVolume& last = volumes_.back();
  if (!last.confirmed) {
    last.path = Confirm(static_cast<int>(volumes_.size() - 1), helper);
    last.confirmed = true;
    const auto info = fs::Stat(last.path);
    if (!info || info->type != fs::EntryType::Regular)
      throw EZipError("The last volume " + last.path + " of the archive " + archivePath_ +
                      " is missing.");
    if (info->size == 0 || info->size > sliceSize_)
      throw EZipError("The file " + last.path + " is not a volume of the archive " + archivePath_ +
                      ": its size does not fit.");
    last.size = info->size;
  }
  size_ = sliceSize_ * (volumes_.size() - 1) + last.size;
}

// A full-size volume is the last one when the next is not beside it and it ends with the
// archive's end record.
bool TSliceReader::EndsAt(const std::string& path, std::uint64_t offset) const {
  const int next = static_cast<int>(offset / sliceSize_) + 1;
  if (fs::Exists(VolumeName(archivePath_, next))) return false;
  try {
    fs::File file(path, fs::OpenMode::Read, fs::Share::ReadOnly);
    return EndsWithEndRecord(file, offset);
  } catch (const fs::FsError& e) {
    throw EZipError("Cannot read the volume " + path + ": " + e.what());
  }
}

// Asks for the file of volume n; cancelling the dialog keeps the name the rule proposes.
std::string TSliceReader::Confirm(int n, THelper& helper) {
  auto chosen = helper.RequestVolume(n, archivePath_);
  if (!chosen) throw EZipCancelled();
  return *chosen;
}

fs::File& TSliceReader::Open(size_t index, THelper& helper) {
  TVolume& volume = volumes_[index];
  volume.lastUse = ++useCounter_;
  if (volume.file.IsOpen()) return volume.file;
  if (!volume.confirmed) {
    if (helper.RequestNthDisk(static_cast<int>(index))) throw EZipCancelled();
    volume.path = Confirm(static_cast<int>(index), helper);
    volume.confirmed = true;
  }
  size_t open = 0;
  TVolume* oldest = nullptr;
  for (size_t i = 1; i < volumes_.size(); ++i) {
    if (!volumes_[i].file.IsOpen()) continue;
    ++open;
    if (!oldest || volumes_[i].lastUse < oldest->lastUse) oldest = &volumes_[i];
  }
  if (open >= kMaxOpenVolumes && oldest) oldest->file = fs::File();
  try {
    fs::File file(volume.path, fs::OpenMode::Read, fs::Share::ReadOnly);
    if (file.Size() != volume.size)
      throw EZipError("The file " + volume.path + " is not volume " + std::to_string(index) +
                      " of the archive " + archivePath_ + ": it has " +
                      std::to_string(file.Size()) + " bytes, " + std::to_string(volume.size) +
                      " expected.");
    volume.file = std::move(file);
  } catch (const fs::FsError& e) {
    throw EZipError("Cannot open the volume " + volume.path + ": " + e.what());
  }
  return volume.file;
}

size_t TSliceReader::ReadAt(std::uint64_t pos, void* buffer, size_t n, THelper& helper) {
  if (pos >= size_ || n == 0) return 0;
  const size_t index = static_cast<size_t>(pos / sliceSize_);
  const std::uint64_t offset = pos - index * sliceSize_;
  TVolume& volume = volumes_[index];
  const size_t wanted = static_cast<size_t>(std::min<std::uint64_t>(n, volume.size - offset));
  fs::File& file = Open(index, helper);
  try {
    if (!ReadFully(file, offset, static_cast<std::uint8_t*>(buffer), wanted))
      throw EZipError("The volume " + volume.path + " became shorter while it was read.");
  } catch (const fs::FsError& e) {
    throw EZipError("Reading the archive " + archivePath_ + " failed: " + e.what());
  }
  return wanted;
}
