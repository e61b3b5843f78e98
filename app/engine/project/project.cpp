#include "app/engine/project/project.h"

#include <mutex>

#include "app/engine/log.h"
#include "app/engine/path_routines.h"
#include "app/engine/progress.h"
#include "platform/fs/fs.h"
#include "platform/shell/shell.h"

namespace {

std::mutex& TempFolderLock() {
  static std::mutex m;
  return m;
}

std::string& TempFolderValue() {
  static std::string folder;
  return folder;
}

}  // namespace

std::string DefaultTempFolder() {
  {
    std::lock_guard lock(TempFolderLock());
    if (!TempFolderValue().empty()) return TempFolderValue();
  }
  return AddTrailingBackslash(platform::shell::TempFolder());
}

void SetDefaultTempFolder(std::string_view folder) {
  std::lock_guard lock(TempFolderLock());
  TempFolderValue() = folder.empty() ? std::string() : AddTrailingBackslash(folder);
}

std::string DefaultMailBody() {
  return "====== Quorva Backup Notification ======\r\n"
         "This message has been sent to you automatically by Quorva Backup because an "
         "operation on the item \"[ProjectName]\" has started at [RunTime] and finished with "
         "status \"[ErrorString]\".";
}

TProject::TProject() : Created(platform::shell::Now()) {
  Reset();
}

void TProject::Reset() {
  const std::string temp = DefaultTempFolder();
  Name = kDefaultProjectName;
  DestinationType = 0;
  DestinationFile = temp + "untitled-backup.qvp";
  WriterPort = WriterBus = WriterTargetID = WriterLUN = 0;
  SpeedIndex = 0;
  EraseDisc = false;
  FtpHost.clear();
  FtpPort = 21;
  FtpUser.clear();
  FtpPassword.clear();
  FtpPassive = true;
  UseProxy = false;
  ProxyType = 0;
  ProxyHost.clear();
  ProxyPort = 21;
  ProxyAuth = false;
  ProxyUser.clear();
  ProxyPassword.clear();
  BackupMode = 1;
  Compress = true;
  CompressionLevel = 0;
  Split = false;
  SplitSizeIndex = 0;
  DeleteAfterBackup = false;
  OverwriteMode = 0;
  UsePassword = false;
  Password.clear();
  RunBefore = false;
  RunBeforeCmd.clear();
  RunBeforeWait = false;
  RunAfter = false;
  RunAfterCmd.clear();
  RunAfterWait = false;
  SendMail = false;
  MailCondition = 0;
  MailAccountIndex = 0;
  SmtpHost.clear();
  SmtpPort = 25;
  SmtpAuth = false;
  SmtpUser.clear();
  SmtpPassword.clear();
  MailAddress = kDefaultMailAddress;
  MailExtraRecipients.clear();
  MailSubject = kDefaultMailSubject;
  MailBody = DefaultMailBody();
  ProjectFile = temp + "untitled-backup.bpj";
}

void TProject::AssignTo(TProject& target) const {
  if (&target == this) return;
  target.Name = Name;
  target.RunCounter = RunCounter;
  target.DestinationType = DestinationType;
  target.DestinationFile = DestinationFile;
  target.WriterPort = WriterPort;
  target.WriterBus = WriterBus;
  target.WriterTargetID = WriterTargetID;
  target.WriterLUN = WriterLUN;
  target.SpeedIndex = SpeedIndex;
  target.EraseDisc = EraseDisc;
  target.FtpHost = FtpHost;
  target.FtpPort = FtpPort;
  target.FtpUser = FtpUser;
  target.FtpPassword = FtpPassword;
  target.FtpPassive = FtpPassive;
  target.UseProxy = UseProxy;
  target.ProxyType = ProxyType;
  target.ProxyHost = ProxyHost;
  target.ProxyPort = ProxyPort;
  target.ProxyAuth = ProxyAuth;
  target.ProxyUser = ProxyUser;
  target.ProxyPassword = ProxyPassword;
  target.BackupMode = BackupMode;
  target.Compress = Compress;
  target.CompressionLevel = CompressionLevel;
  target.Split = Split;
  target.SplitSizeIndex = SplitSizeIndex;
  target.DeleteAfterBackup = DeleteAfterBackup;
  target.OverwriteMode = OverwriteMode;
  target.UsePassword = UsePassword;
  target.Password = Password;
  target.RunBefore = RunBefore;
  target.RunBeforeCmd = RunBeforeCmd;
  target.RunBeforeWait = RunBeforeWait;
  target.RunAfter = RunAfter;
  target.RunAfterCmd = RunAfterCmd;
  target.RunAfterWait = RunAfterWait;
  target.SendMail = SendMail;
  target.MailCondition = MailCondition;
  target.MailAccountIndex = MailAccountIndex;
  target.SmtpHost = SmtpHost;
  target.SmtpPort = SmtpPort;
  target.SmtpAuth = SmtpAuth;
  target.SmtpUser = SmtpUser;
  target.SmtpPassword = SmtpPassword;
  target.MailAddress = MailAddress;
  target.MailExtraRecipients = MailExtraRecipients;
  target.MailSubject = MailSubject;
  target.MailBody = MailBody;
  target.Created = Created;
  target.LastRun = LastRun;
  target.Reserved = Reserved;
  Files.AssignTo(target.Files);
  Folders.AssignTo(target.Folders);
  ExcludedPatterns.AssignTo(target.ExcludedPatterns);
  ExcludedFolders.AssignTo(target.ExcludedFolders);
}

bool TProject::SaveToStream(TStream& s) const {
  try {
    WriteStreamString(s, Name);
    WriteStreamInt(s, RunCounter);
    WriteStreamInt(s, DestinationType);
    WriteStreamString(s, DestinationFile);
    WriteStreamInt(s, WriterPort);
    WriteStreamInt(s, WriterBus);
    WriteStreamInt(s, WriterTargetID);
    WriteStreamInt(s, WriterLUN);
    WriteStreamInt(s, SpeedIndex);
    WriteStreamByte(s, EraseDisc);
    WriteStreamString(s, FtpHost);
    WriteStreamInt(s, FtpPort);
    WriteStreamString(s, FtpUser);
    WriteStreamString(s, FtpPassword);
    WriteStreamByte(s, FtpPassive);
    WriteStreamByte(s, UseProxy);
    WriteStreamInt(s, ProxyType);
    WriteStreamString(s, ProxyHost);
    WriteStreamInt(s, ProxyPort);
    WriteStreamByte(s, ProxyAuth);
    WriteStreamString(s, ProxyUser);
    WriteStreamString(s, ProxyPassword);
    WriteStreamInt(s, BackupMode);
    WriteStreamByte(s, Compress);
    WriteStreamInt(s, CompressionLevel);
    WriteStreamByte(s, Split);
    WriteStreamInt(s, SplitSizeIndex);
    WriteStreamByte(s, DeleteAfterBackup);
    WriteStreamInt(s, OverwriteMode);
    WriteStreamByte(s, UsePassword);
    WriteStreamString(s, Password);
    WriteStreamByte(s, RunBefore);
    WriteStreamString(s, RunBeforeCmd);
    WriteStreamByte(s, RunBeforeWait);
    WriteStreamByte(s, RunAfter);
    WriteStreamString(s, RunAfterCmd);
    WriteStreamByte(s, RunAfterWait);
    WriteStreamByte(s, SendMail);
    WriteStreamInt(s, MailCondition);
    WriteStreamInt(s, MailAccountIndex);
    WriteStreamString(s, SmtpHost);
    WriteStreamInt(s, SmtpPort);
    WriteStreamByte(s, SmtpAuth);
    WriteStreamString(s, SmtpUser);
    WriteStreamString(s, SmtpPassword);
    WriteStreamString(s, MailAddress);
    WriteStreamString(s, MailExtraRecipients);
    WriteStreamString(s, MailSubject);
    WriteStreamString(s, MailBody);
    WriteStreamDateTime(s, Created);
    WriteStreamDateTime(s, LastRun);
    for (const std::int32_t word : Reserved) WriteStreamInt(s, word);
    Files.SaveToStream(s);
    Folders.SaveToStream(s);
    ExcludedPatterns.SaveToStream(s);
    ExcludedFolders.SaveToStream(s);
    Snapshot.SaveToStream(s);
    return true;
  } catch (const EStreamWriteError&) {
    return false;
  }
}

bool TProject::LoadFromStream(TStream& s) {
  try {
    Name = ReadStreamString(s);
    RunCounter = ReadStreamInt(s);
    DestinationType = ReadStreamInt(s);
    DestinationFile = ReadStreamString(s);
    WriterPort = ReadStreamInt(s);
    WriterBus = ReadStreamInt(s);
    WriterTargetID = ReadStreamInt(s);
    WriterLUN = ReadStreamInt(s);
    SpeedIndex = ReadStreamInt(s);
    EraseDisc = ReadStreamByte(s);
    FtpHost = ReadStreamString(s);
    FtpPort = ReadStreamInt(s);
    FtpUser = ReadStreamString(s);
    FtpPassword = ReadStreamString(s);
    FtpPassive = ReadStreamByte(s);
    UseProxy = ReadStreamByte(s);
    ProxyType = ReadStreamInt(s);
    ProxyHost = ReadStreamString(s);
    ProxyPort = ReadStreamInt(s);
    ProxyAuth = ReadStreamByte(s);
    ProxyUser = ReadStreamString(s);
    ProxyPassword = ReadStreamString(s);
    BackupMode = ReadStreamInt(s);
    Compress = ReadStreamByte(s);
    CompressionLevel = ReadStreamInt(s);
    Split = ReadStreamByte(s);
    SplitSizeIndex = ReadStreamInt(s);
    DeleteAfterBackup = ReadStreamByte(s);
    OverwriteMode = ReadStreamInt(s);
    UsePassword = ReadStreamByte(s);
    Password = ReadStreamString(s);
    RunBefore = ReadStreamByte(s);
    RunBeforeCmd = ReadStreamString(s);
    RunBeforeWait = ReadStreamByte(s);
    RunAfter = ReadStreamByte(s);
    RunAfterCmd = ReadStreamString(s);
    RunAfterWait = ReadStreamByte(s);
    SendMail = ReadStreamByte(s);
    MailCondition = ReadStreamInt(s);
    MailAccountIndex = ReadStreamInt(s);
    SmtpHost = ReadStreamString(s);
    SmtpPort = ReadStreamInt(s);
    SmtpAuth = ReadStreamByte(s);
    SmtpUser = ReadStreamString(s);
    SmtpPassword = ReadStreamString(s);
    MailAddress = ReadStreamString(s);
    MailExtraRecipients = ReadStreamString(s);
    MailSubject = ReadStreamString(s);
    MailBody = ReadStreamString(s);
    Created = ReadStreamDateTime(s);
    LastRun = ReadStreamDateTime(s);
    std::array<std::int32_t, 8> reserved{};
    for (std::int32_t& word : reserved) word = ReadStreamInt(s);
    Reserved = reserved;
  } catch (const EStreamReadError&) {
    // What follows a damaged field would be read from the middle of it.
    return false;
  }
  // An older file may end before any list; a list that starts must read whole, or the project
  // would back up part of what the user chose and a save would store it so.
  for (TItems* items : {&Files, &Folders, &ExcludedPatterns, &ExcludedFolders}) {
    if (s.Remaining() == 0) return true;
    if (!items->LoadFromStream(s)) return false;
  }
  return s.Remaining() == 0 || Snapshot.LoadFromStream(s);
}

bool TProject::SaveToFile(std::string_view path) const {
  TMemoryStream stream;
  if (!SaveToStream(stream)) return false;
  try {
    platform::fs::WriteWholeFileAtomic(path, stream.Bytes().data(), stream.Bytes().size());
    return true;
  } catch (const platform::fs::FsError&) {
    return false;
  }
}

void ScanFolder(const TProject& project, const std::string& folder, bool applyExclusions,
                std::vector<TListedFile>& list) {
  std::vector<std::string> subfolders;
  const auto take = [&](const platform::fs::DirEntry& entry) {
    if (ProgressCancelled) return;
    std::string path = folder + entry.name;
    const auto& info = entry.info;
    if (entry.error != 0) {
      // A file that could not be looked at: the archive tries again and says why it fails.
      if (info.type == platform::fs::EntryType::Regular &&
          (!applyExclusions || !project.IsExcluded(path)))
        list.push_back({std::move(path), std::nullopt});
    } else if (info.isBrokenLink) {
      LogError("Broken link skipped: " + path);
    } else if (info.type == platform::fs::EntryType::Directory) {
      // A linked folder is not entered: a link to a parent would never end.
      if (!info.isSymlink) subfolders.push_back(path + "\\");
    } else if (info.type == platform::fs::EntryType::Regular) {
      if (!applyExclusions || !project.IsExcluded(path)) {
        ProgressStatus = path;
        LogMessage("        ", path, 0);
        list.push_back({std::move(path), TSeenFile{info.size, info.mtimeSec}});
      }
    } else {
      // A FIFO, a socket or a device holds no file to keep; opening it could wait for ever.
      LogError("Neither a file nor a folder, skipped: " + path);
    }
  };
  try {
    platform::fs::ListDirectoryBasic(folder + "*.*", take);
  } catch (const platform::fs::FsError& e) {
    LogError(e.what());
    return;
  }
  for (const std::string& subfolder : subfolders) {
    if (ProgressCancelled) return;
    ScanFolder(project, subfolder, applyExclusions, list);
  }
}

std::vector<TListedFile> TProject::BuildFileList(bool applyExclusions) const {
  LogStatus("Searching files...");
  std::vector<TListedFile> list;
  for (int i = 0; i < Folders.Count(); ++i) {
    if (ProgressCancelled) return list;
    ScanFolder(*this, AddTrailingBackslash(Folders.Get(i)->Name), applyExclusions, list);
  }
  for (int i = 0; i < Files.Count(); ++i) list.push_back({Files.Get(i)->Name, std::nullopt});
  return list;
}

bool TProject::IsExcluded(std::string_view path) const {
  if (path.find_first_of("*?") != std::string_view::npos) return false;
  if (ExcludedPatterns.Find("*" + ExtractFileExt(path))) return true;
  if (ExcludedPatterns.Find(path)) return true;
  return ExcludedFolders.FindPrefixOf(ExtractFilePath(path)) != nullptr;
}

std::string TProject::DescribeContent() const {
  return "Including " + std::to_string(Folders.Count()) + " folders, " +
         std::to_string(Files.Count()) + " files";
}

std::string TProject::DescribeDestination() const {
  switch (DestinationType) {
    case 0:
      return DestinationFile;
    case 1:
      return "ftp:\\\\" + FtpHost;
    default:
      return "Writer Device:\\\\ Port: " + std::to_string(WriterPort) +
             " BUS: " + std::to_string(WriterBus) + " TargetID: " + std::to_string(WriterTargetID) +
             " LUN: " + std::to_string(WriterLUN);
  }
}
