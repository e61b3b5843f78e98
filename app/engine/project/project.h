// A backup project: what to back up and leave out, where the archive goes and how it is
// built, the programs around the run, the notification mail and the snapshot of earlier runs.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/engine/project/items.h"
#include "app/engine/project/runtime_project.h"
#include "app/engine/project/stream.h"

// The temporary folder the defaults of a new project point into (trailing backslash). The
// settings set it; until then it is the system's temporary folder. Safe from any thread.
std::string DefaultTempFolder();
// An empty folder restores the system's temporary folder.
void SetDefaultTempFolder(std::string_view folder);

inline constexpr std::string_view kDefaultProjectName = "untitled-backup";
inline constexpr std::string_view kDefaultMailAddress = "backup@localhost";
inline constexpr std::string_view kDefaultMailSubject = "Quorva Backup finished with success";
std::string DefaultMailBody();

class TProject {
 public:
  // Created := now, empty lists and snapshot, then Reset.
  TProject();
  TProject(const TProject&) = delete;
  TProject& operator=(const TProject&) = delete;

  // Every field with a non-creation default back to it; RunCounter, Created, LastRun, the
  // reserved words, the lists and the snapshot stay.
  void Reset();
  // Copies the stored fields and the four lists; neither the snapshot nor ProjectFile.
  void AssignTo(TProject& target) const;

  bool SaveToStream(TStream& stream) const;
  // False when the project is damaged: a stored field could not be read, or the stream ends
  // inside a list or the snapshot or holds one that does not read. The fields read before stay
  // replaced; the lists and the snapshot are appended to. A stream that ends before a list
  // (that of an older file) reads, the lists from there on left as they are.
  bool LoadFromStream(TStream& stream);
  // Writes beside the target and renames over it, so a failed write keeps the previous file.
  bool SaveToFile(std::string_view path) const;

  // The files one backup run takes: every folder item scanned, then every file item.
  std::vector<TListedFile> BuildFileList(bool applyExclusions) const;
  bool IsExcluded(std::string_view path) const;

  std::string DescribeContent() const;
  std::string DescribeDestination() const;

  std::string Name;
  std::int32_t RunCounter = 0;
  std::int32_t DestinationType = 0;  // 0 folder, 1 FTP, 2 CD/DVD writer
  std::string DestinationFile;
  std::int32_t WriterPort = 0;
  std::int32_t WriterBus = 0;
  std::int32_t WriterTargetID = 0;
  std::int32_t WriterLUN = 0;
  std::int32_t SpeedIndex = 0;
  bool EraseDisc = false;
  std::string FtpHost;
  std::int32_t FtpPort = 21;
  std::string FtpUser;
  std::string FtpPassword;
  bool FtpPassive = true;
  bool UseProxy = false;
  std::int32_t ProxyType = 0;
  std::string ProxyHost;
  std::int32_t ProxyPort = 21;
  bool ProxyAuth = false;
  std::string ProxyUser;
  std::string ProxyPassword;
  std::int32_t BackupMode = 1;  // 0 all files, 1 changed files only
  bool Compress = true;
  std::int32_t CompressionLevel = 0;
  bool Split = false;
  std::int32_t SplitSizeIndex = 0;
  bool DeleteAfterBackup = false;
  std::int32_t OverwriteMode = 0;
  bool UsePassword = false;
  std::string Password;
  bool RunBefore = false;
  std::string RunBeforeCmd;
  bool RunBeforeWait = false;
  bool RunAfter = false;
  std::string RunAfterCmd;
  bool RunAfterWait = false;
  bool SendMail = false;
  std::int32_t MailCondition = 0;  // 0 after success, 1 after failure
  std::int32_t MailAccountIndex = 0;
  std::string SmtpHost;
  std::int32_t SmtpPort = 25;
  bool SmtpAuth = false;
  std::string SmtpUser;
  std::string SmtpPassword;
  std::string MailAddress;
  std::string MailExtraRecipients;
  std::string MailSubject;
  std::string MailBody;
  double Created = 0;  // days since 30 December 1899, local time
  double LastRun = 0;
  std::array<std::int32_t, 8> Reserved{};

  TItems Files{TItemCompare::Exact};
  TItems Folders{TItemCompare::Exact};
  TItems ExcludedPatterns{TItemCompare::IgnoreCase};
  TItems ExcludedFolders{TItemCompare::IgnoreCase};
  TRunTimeProject Snapshot;

  std::string ProjectFile;  // not part of the stream
};

// Appends the files of `folder` (ending with a backslash) and then those of its subfolders to
// `list` with what the listing saw of each. Regular files and links to regular files are taken;
// linked folders are not entered, other entries (FIFOs, sockets, devices) are passed over, broken
// links are logged.
void ScanFolder(const TProject& project, const std::string& folder, bool applyExclusions,
                std::vector<TListedFile>& list);
