#include "app/engine/project/runtime_file.h"

#include <optional>
#include <stdexcept>

#include "platform/fs/fs.h"
#include "platform/shell/shell.h"

namespace {

class ETimeStampError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace

std::unique_ptr<TRuntimeFile> TRuntimeFile::Clone() const {
  auto copy = std::make_unique<TRuntimeFile>(Path, FileTime, Run);
  copy->Seen = Seen;
  return copy;
}

std::optional<std::int32_t> TRuntimeFile::GetCurrentTimeStamp() const {
  const auto info = platform::fs::StatBasic(Path);
  if (!info || info->isBrokenLink) return std::nullopt;
  if (info->type == platform::fs::EntryType::Directory)
    throw ETimeStampError("RuntimeFile::GetCurrentTimeStamp, Should not get the time stamp of dir");
  return static_cast<std::int32_t>(platform::shell::DosTimeFromUnix(info->mtimeSec));
}

bool TRuntimeFile::UpdateTimeStamp() {
  try {
    if (const auto time = GetCurrentTimeStamp()) FileTime = *time;
    return true;
  } catch (const ETimeStampError&) {
    return false;
  }
}

void TRuntimeFile::LoadFromStream(TStream& stream) {
  std::string path = ReadStreamString(stream);
  const std::int32_t time = ReadStreamInt(stream);
  const std::int32_t run = ReadStreamInt(stream);
  Path = std::move(path);
  FileTime = time;
  Run = run;
}

void TRuntimeFile::SaveToStream(TStream& stream) const {
  WriteStreamString(stream, Path);
  WriteStreamInt(stream, FileTime);
  WriteStreamInt(stream, Run);
}
