#include "app/engine/backup/backup_run.h"

#include <cmath>
#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "app/engine/archive/zip.h"
#include "app/engine/archive/zip_error.h"
#include "app/engine/archive/zip_helper.h"
#include "app/engine/backup/external_program.h"
#include "app/engine/backup/notification_mail.h"
#include "app/engine/backup/run_record.h"
#include "app/engine/delivery/disc_delivery.h"
#include "app/engine/delivery/ftp_upload.h"
#include "app/engine/log.h"
#include "app/engine/progress.h"
#include "app/engine/project/project.h"
#include "app/engine/project/stream.h"
#include "app/engine/settings/global_setting.h"
#include "app/engine/user_interface.h"
#include "platform/fs/fs.h"
#include "platform/shell/shell.h"

namespace {

constexpr int kPanel = 1;  // the status bar's second panel

std::string RunSuffix(std::int32_t runCounter) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "-v%03d", static_cast<int>(runCounter));
  return buf;
}

// "Z:\a\job.qvp" -> {"Z:\a\", "job", ".qvp"}
struct TPathParts {
  std::string folder, base, ext;
};

TPathParts SplitPath(const std::string& path) {
  TPathParts parts;
  parts.folder = platform::fs::ParentFolder(path);
  const std::string name = platform::fs::FileNamePart(path);
  const size_t dot = name.rfind('.');
  parts.base = dot == std::string::npos ? name : name.substr(0, dot);
  parts.ext = dot == std::string::npos ? "" : name.substr(dot);
  return parts;
}

void Step(int position, const std::string& text) {
  ProgressPosition = position;
  ProgressStatus = text;
  ProgressCaption = text;
  LogStatus(text);
}

// Everything one run holds; released and reported on every way out.
class TBackupRun {
 public:
  TBackupRun(TProject& listed, const TGlobalSetting& settings)
      : listed_(listed), settings_(settings), ui_(UserInterface()) {}
  ~TBackupRun() { Finish(); }

  TBackupOutcome Run();

 private:
  bool Cancelled() const { return ProgressCancelled; }
  TBackupOutcome Work();
  std::string ArchiveName(const std::string& tempFolder);
  bool Deliver();
  void Fail(const std::string& text);
  void SendMailIf(int condition);
  void DeleteStoredFiles();
  void Finish();

  TProject& listed_;
  const TGlobalSetting& settings_;
  std::shared_ptr<IUserInterface> ui_;
  double started_ = platform::shell::Now();
  bool changedRun_ = false;
  // Destroyed after Finish and the members below, which remove the files it lists.
  std::optional<TRunRecord> record_;
  std::unique_ptr<TProject> copy_;
  std::string definitionPath_;
  std::string placeholderPath_;  // the reserved temporary name of an FTP or disc archive
  std::string archiveName_;
  std::vector<std::string> volumes_;
  std::string errorText_;
  bool failed_ = false;
  int notStored_ = 0;      // entries that failed and stay out of the snapshot
  bool mailSent_ = false;  // one mail per run, whichever way it ends
  bool finished_ = false;
};

TBackupOutcome TBackupRun::Run() {
  TBackupOutcome outcome;
  try {
    outcome = Work();
  } catch (const EZipCancelled&) {
    outcome = TBackupOutcome::Cancelled;
  } catch (const std::exception& e) {
    Fail(e.what());
    outcome = TBackupOutcome::Failed;
  }
  if (outcome == TBackupOutcome::Failed) SendMailIf(1);
  return outcome;
}

void TBackupRun::Fail(const std::string& text) {
  failed_ = true;
  LogError(text);
  if (!errorText_.empty()) errorText_ += "\n";
  errorText_ += text;
}

TBackupOutcome TBackupRun::Work() {
  // What a run of this project that was killed left goes first.
  record_.emplace(listed_.ProjectFile);
  const TLeftoverNotice notice = [this](const std::string& path, bool commitRecord) {
    record_->Add(path, commitRecord);
  };

  // 1-3: the program before and the file list.
  ProgressPosition = 0;
  ProgressCaption = "Searching Files...";
  ZipErrorText = "";
  LogStatus("Searching Files...");
  if (listed_.RunBefore) {
    ui_->SetStatusPanel(kPanel, "Running program...");
    LogStatus("Running program " + listed_.RunBeforeCmd);
    RunProgram(listed_.RunBeforeCmd, listed_.RunBeforeWait);
  }
  ui_->SetStatusPanel(kPanel, "Searching Files...");
  std::vector<TListedFile> fileList = listed_.BuildFileList(true);
  if (Cancelled()) return TBackupOutcome::Cancelled;

  // 4-7: the run's copy of the project and the files it stores.
  changedRun_ = listed_.BackupMode == 1 && listed_.Snapshot.Count() > 0;
  ++listed_.RunCounter;
  copy_ = std::make_unique<TProject>();
  listed_.AssignTo(*copy_);
  Step(20, "Building backup list...");
  if (changedRun_) {
    copy_->Snapshot.AddChangedFiles(std::move(fileList), listed_.Snapshot, copy_->RunCounter);
  } else {
    copy_->Snapshot.AddFiles(std::move(fileList), copy_->RunCounter);
  }
  if (Cancelled()) return TBackupOutcome::Cancelled;

  // 8-9: the definition file, under a name of this run's own.
  Step(25, "Preparing backup...");
  const std::string tempFolder = settings_.TempFolder;
  try {
    platform::fs::File file = platform::shell::CreateTempFile(tempFolder, "QVD");
    definitionPath_ = file.Path();
    notice(definitionPath_, false);
    TMemoryStream stream;
    if (!copy_->SaveToStream(stream)) throw std::runtime_error("cannot write it");
    file.Write(stream.Bytes().data(), stream.Bytes().size());
    file.Close();
  } catch (const std::exception& e) {
    LogError("The project definition could not be written to " + tempFolder + " (" + e.what() +
             "); the archive holds no definition.");
    if (!definitionPath_.empty()) platform::fs::DeleteFile(definitionPath_);
    definitionPath_.clear();
  }

  // 10-12: the archive.
  ProgressPosition = 30;
  archiveName_ = ArchiveName(tempFolder);
  if (Cancelled()) return TBackupOutcome::Cancelled;
  THelper helper;
  auto owned = std::make_unique<TZip>();  // released once written: its lists are large
  TZip& zip = *owned;
  zip.CreateForWrite(archiveName_, notice);
  zip.AttachHelper(&helper);
  zip.SetPassword(copy_->UsePassword, copy_->Password);
  zip.SetCompression(copy_->Compress, copy_->CompressionLevel);
  zip.SetVolumeSize(copy_->Split ? VolumeSizeFor(copy_->SplitSizeIndex) : 0);
  zip.SetOverwriteMode(HelperOverwriteModeFor(copy_->OverwriteMode));
  if (Cancelled()) return TBackupOutcome::Cancelled;

  // 13: the entries.
  const auto& stored = copy_->Snapshot.Files();
  const int n = static_cast<int>(stored.size());
  ui_->StatusProgressShow(n);
  ui_->StatusProgressSetPosition(0);
  ui_->SetStatusPanel(kPanel, "Prepare for backing up...");
  if (!definitionPath_.empty()) zip.AddDefinition(definitionPath_);
  for (int i = 0; i < n; ++i) {
    if (const auto& seen = stored[i]->Seen)
      zip.AddFile(stored[i]->Path, seen->Size, seen->MtimeSec);
    else
      zip.AddFile(stored[i]->Path);
    ui_->StatusProgressStep();
    ProgressPosition = 30 + static_cast<int>(std::lround((i + 1) * 10.0 / n));
    if (Cancelled()) return TBackupOutcome::Cancelled;
  }

  // 14-15: writing.
  Step(40, "Backing up Files...");
  helper.progressBase = 40;
  helper.progressSpan = 55;
  helper.progressTotal = n + 1;
  helper.progressCounter = 0;
  ui_->SetStatusPanel(kPanel, "Backing up Files ...");
  if (!zip.Execute() || Cancelled()) return TBackupOutcome::Cancelled;
  const std::vector<std::string> failedItems = zip.FailedItems();
  owned.reset();
  volumes_ = helper.volumeNames;
  volumes_.insert(volumes_.begin(), archiveName_);
  ProgressPosition = 95;
  if (!definitionPath_.empty()) platform::fs::DeleteFile(definitionPath_);
  definitionPath_.clear();

  // An entry that failed holds no copy: it stays out of the snapshot and is never deleted.
  if (!failedItems.empty()) {
    const std::unordered_set<std::string> failedPaths(failedItems.begin(), failedItems.end());
    TRunTimeProject kept;
    kept.Reserved = copy_->Snapshot.Reserved;
    for (const auto& f : stored)
      if (!failedPaths.count(f->Path)) kept.Add(f->Clone());
    copy_->Snapshot = std::move(kept);
    notStored_ = static_cast<int>(failedPaths.size());
    Fail(std::to_string(failedPaths.size()) + " file(s) could not be stored " + ZipErrorText.Get());
  }

  // 18: delivery, then 16-17: the snapshot is merged and the project saved only when the
  // archive is where it belongs.
  if (!Deliver()) {
    std::string kept;
    for (const auto& v : volumes_) kept += " " + v;
    Fail("The archive was not delivered; its files are kept:" + kept);
    return TBackupOutcome::Failed;
  }
  listed_.Snapshot.Merge(copy_->Snapshot);
  // A project without a file (the wizard's) is not saved yet: its owner saves it afterwards.
  if (!listed_.ProjectFile.empty() && !listed_.SaveToFile(listed_.ProjectFile))
    Fail("The project could not be saved to " + listed_.ProjectFile);
  ProgressPosition = 100;
  ProgressStatus = "Backup complete.";
  ProgressCaption = "Backup complete.";
  LogStatus("Backup complete.");
  ui_->SetStatusPanel(kPanel, "Backup complete.");

  // 19: the closing steps.
  if (Cancelled()) return TBackupOutcome::Cancelled;
  ProgressShowCancel = false;
  if (copy_->DestinationType != 0)
    for (const auto& v : volumes_) platform::shell::DeleteFilePermanently(v);
  SendMailIf(failed_ ? 1 : 0);
  if (copy_->RunAfter) {
    ui_->SetStatusPanel(kPanel, "Running program...");
    ProgressStatus = "Running program...";
    LogStatus("Running program " + copy_->RunAfterCmd);
    RunProgram(copy_->RunAfterCmd, copy_->RunAfterWait);
  }
  ProgressShowCancel = true;
  // Every file stored and delivered goes; those that could not be stored stay.
  if (copy_->DeleteAfterBackup) DeleteStoredFiles();
  if (Cancelled()) return TBackupOutcome::Cancelled;
  return failed_ ? TBackupOutcome::Failed : TBackupOutcome::Complete;
}

std::string TBackupRun::ArchiveName(const std::string& tempFolder) {
  const std::string suffix = RunSuffix(copy_->RunCounter);
  if (copy_->DestinationType == 0) {
    if (!changedRun_) return copy_->DestinationFile;
    const TPathParts p = SplitPath(copy_->DestinationFile);
    return p.folder + p.base + suffix + p.ext;
  }
  placeholderPath_ = platform::shell::CreateTempFileName(tempFolder, "QVP");
  record_->Add(placeholderPath_, false);  // while it is empty
  if (!changedRun_) return placeholderPath_;
  const TPathParts p = SplitPath(placeholderPath_);
  return p.folder + p.base + suffix + ".QVP";
}

bool TBackupRun::Deliver() {
  switch (copy_->DestinationType) {
    case 0:
      ui_->ShowBackupSet(archiveName_);
      return true;
    case 1:
      return UploadToFtp(volumes_, *copy_, settings_);
    case 2:
      return BurnVolumesToDisc(volumes_, *copy_, settings_);
    default:
      LogError("Unknown destination type " + std::to_string(copy_->DestinationType));
      return false;
  }
}

void TBackupRun::SendMailIf(int condition) {
  const TProject& p = copy_ ? *copy_ : listed_;
  if (mailSent_ || !p.SendMail || p.MailCondition != condition) return;
  mailSent_ = true;
  SendNotificationMail(p, started_, errorText_, settings_.NetworkTimeoutSec);
}

void TBackupRun::DeleteStoredFiles() {
  const auto& stored = copy_->Snapshot.Files();
  const int n = static_cast<int>(stored.size());
  ui_->StatusProgressShow(n);
  ui_->SetStatusPanel(kPanel, "Deleting files...");
  ProgressStatus = "Deleting files...";
  LogStatus("Deleting Files...");
  if (notStored_ > 0)
    LogStatus(std::to_string(notStored_) + " file(s) that could not be stored are kept.");
  // The file list may name a file twice (a file item inside a folder item): it goes once.
  std::unordered_set<std::string> deleted;
  for (int i = 0; i < n; ++i) {
    if (Cancelled()) return;
    const std::string& path = stored[i]->Path;
    if (deleted.insert(path).second && !platform::shell::DeleteFilePermanently(path))
      LogError("Cannot delete " + path);
    ui_->StatusProgressStep();
    ProgressPosition = static_cast<int>(std::lround((i + 1) * 100.0 / n));
  }
}

void TBackupRun::Finish() {
  if (finished_) return;
  finished_ = true;
  if (!definitionPath_.empty()) platform::fs::DeleteFile(definitionPath_);
  // The reserved name only held a place when the archive went under a "-v" name.
  if (!placeholderPath_.empty() && placeholderPath_ != archiveName_)
    platform::fs::DeleteFile(placeholderPath_);
  std::string shown = ZipErrorText.Get();
  if (!errorText_.empty()) shown = errorText_;
  if (!shown.empty())
    ui_->MessageBox(shown, kApplicationTitle, TMessageButtons::Ok, TMessageKind::Error);
  ui_->StatusProgressHide();
  ProgressDone = true;
}

}  // namespace

TBackupOutcome BackupThreadProc(TProject& listed, const TGlobalSetting& settings) {
  TBackupRun run(listed, settings);
  return run.Run();
}
