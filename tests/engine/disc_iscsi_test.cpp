// The disc destination against tgtd's emulated CD/DVD drive through the library's iSCSI
// adapter: the writer search lists it beside the virtual recorder, and backup runs burn their
// archive volumes there; tgtd's backing files are then the discs.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/engine/backup_run.h"
#include "app/engine/global_setting.h"
#include "app/engine/log.h"
#include "app/engine/progress.h"
#include "app/engine/project.h"
#include "app/engine/user_interface.h"
#include "app/engine/writer_search.h"
#include "platform/registry/registry.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tgtd_target.h"

namespace fs = std::filesystem;
namespace reg = platform::registry;

namespace {

// The command-line run's answers to the burn prompts, unless `answers` holds some; records the
// prompts and the error boxes.
class TPromptingUserInterface : public THeadlessUserInterface {
 public:
  TModalResult AskInsertBlankDisc(std::string_view text, std::string_view title,
                                  bool retry) override {
    ++prompts;
    if (onPrompt) onPrompt(prompts);
    if (answers.empty()) return THeadlessUserInterface::AskInsertBlankDisc(text, title, retry);
    const TModalResult a = answers.front();
    answers.erase(answers.begin());
    return a;
  }
  TModalResult MessageBox(std::string_view text, std::string_view title, TMessageButtons buttons,
                          TMessageKind kind) override {
    if (kind == TMessageKind::Error)
      errors.push_back(std::string(title) + ": " + std::string(text));
    return THeadlessUserInterface::MessageBox(text, title, buttons, kind);
  }

  std::vector<TModalResult> answers;
  std::function<void(int)> onPrompt;
  int prompts = 0;
  std::vector<std::string> errors;
};

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  if (fs::exists(folder))
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

std::string PatternedText(size_t n) {
  std::string s(n, '\0');
  unsigned x = 2024;
  for (char& c : s) c = static_cast<char>((x = x * 1103515245 + 12345) >> 16);
  return s;
}

class DiscIscsiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TTgtdTarget::Installed()) GTEST_SKIP() << "tgtd is not installed";
    setenv("QUORVA_HOME", dir_.P("home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", dir_.P("config").c_str(), 1);
    ASSERT_EQ(tgtd_.Start(dir_), "");
    // Host adapter 0: one virtual recorder; 1: tgtd's CD/DVD unit; 2: its disk. Written before
    // the library's first look at its adapters.
    auto recorders = reg::Key::Open(reg::Hive::CurrentUser,
                                    "\\Software\\Quorva\\halvorin\\VirtualRecorders", true);
    ASSERT_TRUE(recorders && recorders->WriteDWord("Count", 1));
    auto recorder = reg::Key::Open(
        reg::Hive::CurrentUser, "\\Software\\Quorva\\halvorin\\VirtualRecorders\\Recorder0", true);
    ASSERT_TRUE(recorder && recorder->WriteString("Media", "DVD-R"));
    auto targets =
        reg::Key::Open(reg::Hive::CurrentUser, "\\Software\\Quorva\\halvorin\\IscsiTargets", true);
    ASSERT_TRUE(targets && targets->WriteString("Target0", tgtd_.Url(1)) &&
                targets->WriteString("Target1", tgtd_.Url(2)));

    previousLog_ = SetLogSink(log_);
    previousUi_ = SetUserInterface(ui_);
    settings_ = std::make_unique<TGlobalSetting>();
    settings_->SaveOnDestroy = false;
    fs::create_directories(dir_.P("tmp"));
    settings_->TempFolder = dir_.W("tmp\\");
    WriteFile(dir_.P("src/a.txt"), "alpha");
    WriteFile(dir_.P("src/sub/data.bin"), PatternedText(300'000));
    project_.Name = "job";
    project_.BackupMode = 1;
    project_.DestinationType = 2;
    project_.Compress = false;
    project_.Split = false;
    project_.ProjectFile = dir_.W("job.bpj");
    project_.Folders.Add(dir_.W("src\\"), 0);
  }
  void TearDown() override {
    if (previousUi_) SetUserInterface(previousUi_);
    if (previousLog_) SetLogSink(previousLog_);
    tgtd_.Stop();
  }

  TBackupOutcome Run() {
    ResetProgressForJob();
    return BackupThreadProc(project_, *settings_);
  }

  std::string LogText() const {
    std::string out;
    for (const TLogEntry& e : log_->Entries()) out += e.EventText() + "\n";
    return out;
  }

  // The disc's one root file, after isoinfo's look at its volume descriptor; xorriso and bsdtar
  // take it off alike.
  std::string DiscFile(const std::string& disc, const std::string& label) {
    std::string out;
    EXPECT_EQ(RunCommand("isoinfo -d -i '" + disc + "'", &out), 0) << out;
    EXPECT_NE(out.find("Volume id: " + label + "\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Publisher id: QB.exe\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Application id: QB.exe\n"), std::string::npos) << out;
    const std::string x = dir_.P("x-" + label), t = dir_.P("t-" + label);
    fs::create_directories(t);
    EXPECT_EQ(RunCommand("xorriso -osirrox on -indev '" + disc + "' -extract / '" + x + "'", &out),
              0)
        << out;
    EXPECT_EQ(RunCommand("bsdtar -xf '" + disc + "' -C '" + t + "'", &out), 0) << out;
    EXPECT_EQ(Names(x), std::vector<std::string>{label});
    EXPECT_EQ(Names(t), std::vector<std::string>{label});
    EXPECT_EQ(ReadFile(t + "/" + label), ReadFile(x + "/" + label));
    return ReadFile(x + "/" + label);
  }

  // unzip tests the archive and extracts the sources as they were.
  void ExpectArchiveHoldsTheSources(const std::string& archive) {
    const std::string zip = dir_.P("disc.zip"), restored = dir_.P("restored");
    WriteFile(zip, archive);
    std::string out;
    EXPECT_EQ(RunCommand("unzip -tq '" + zip + "'", &out), 0) << out;
    ASSERT_EQ(RunCommand("unzip -q '" + zip + "' -d '" + restored + "'", &out), 0) << out;
    // The entry names keep the program's backslashes, and unzip keeps them too.
    const std::string stored = dir_.W("src\\").erase(1, 1);
    EXPECT_EQ(Names(restored).size(), 3u) << "the two files and the project definition";
    EXPECT_EQ(ReadFile(restored + "/" + stored + "a.txt"), ReadFile(dir_.P("src/a.txt")));
    EXPECT_EQ(ReadFile(restored + "/" + stored + "sub\\data.bin"),
              ReadFile(dir_.P("src/sub/data.bin")));
  }

  void UseTgtdWriter() {
    project_.WriterPort = 1;
    project_.WriterBus = 0;
    project_.WriterTargetID = 0;
    project_.WriterLUN = 0;
  }

  TempDir dir_;
  TTgtdTarget tgtd_;
  std::shared_ptr<TMemoryLogSink> log_ = std::make_shared<TMemoryLogSink>();
  std::shared_ptr<TPromptingUserInterface> ui_ = std::make_shared<TPromptingUserInterface>();
  std::shared_ptr<ILogSink> previousLog_;
  std::shared_ptr<IUserInterface> previousUi_;
  std::unique_ptr<TGlobalSetting> settings_;
  TProject project_;
};

TEST_F(DiscIscsiTest, BackupBurnsOneVolumeOnTheTgtdWriterFoundByTheSearch) {
  StartWriterSearch(2);
  JoinWriterSearch();
  const std::vector<std::string> names = WriterNames();
  const std::vector<TWriterAddress> addresses = WriterAddresses();
  ASSERT_EQ(names.size(), 2u) << "tgtd's disk unit is no writer";
  ASSERT_EQ(addresses.size(), 2u);
  EXPECT_EQ(names[0], " QUORVA   Virtual Recorder 1.00");
  EXPECT_EQ(names[1], " IET      VIRTUAL-CDROM    0001");
  const auto address = [&](size_t i) {
    return std::vector<std::int32_t>{addresses[i].Port, addresses[i].Bus, addresses[i].TargetID,
                                     addresses[i].LUN};
  };
  EXPECT_EQ(address(0), (std::vector<std::int32_t>{0, 0, 0, 0}));
  EXPECT_EQ(address(1), (std::vector<std::int32_t>{1, 0, 0, 0}));

  project_.WriterPort = addresses[1].Port;
  project_.WriterBus = addresses[1].Bus;
  project_.WriterTargetID = addresses[1].TargetID;
  project_.WriterLUN = addresses[1].LUN;
  ASSERT_EQ(Run(), TBackupOutcome::Complete) << LogText();
  EXPECT_EQ(ui_->prompts, 1);
  EXPECT_EQ(ui_->errors, std::vector<std::string>{});
  EXPECT_EQ(LogText().find("Burning error"), std::string::npos) << LogText();
  for (const std::string& name : Names(dir_.P("home/VirtualRecorders/Recorder0")))
    EXPECT_EQ(name.find(".iso"), std::string::npos) << "the virtual recorder burnt " << name;
  EXPECT_TRUE(Names(dir_.P("tmp")).empty()) << "temporary archive files are deleted";
  tgtd_.Stop();

  ExpectArchiveHoldsTheSources(DiscFile(tgtd_.CdImage(), "QUORVABACKUP"));
}

// The command-line run has the disc in the drive written once: that disc, written and
// ejected, is refused for the next run, and stays as it was.
TEST_F(DiscIscsiTest, TheWrittenDiscIsRefusedByTheNextRun) {
  UseTgtdWriter();
  ASSERT_EQ(Run(), TBackupOutcome::Complete) << LogText();
  const std::string disc = ReadFile(tgtd_.CdImage());
  WriteFile(dir_.P("src/b.txt"), "beta");
  EXPECT_EQ(Run(), TBackupOutcome::Failed);
  EXPECT_EQ(ui_->prompts, 3) << "asked once for the first run, twice for the second";
  ASSERT_FALSE(ui_->errors.empty());
  EXPECT_EQ(ui_->errors[0], "Drive tests error: Disc is not blank or device is not ready");
  EXPECT_NE(LogText().find("Cancel Burning"), std::string::npos) << LogText();
  EXPECT_EQ(Names(dir_.P("tmp")).size(), 1u) << "the undelivered archive is kept";
  tgtd_.Stop();
  EXPECT_EQ(ReadFile(tgtd_.CdImage()), disc);
}

// After the first disc the tray stands open, as the drive ejected it; the blank disc laid in
// it takes the second volume.
TEST_F(DiscIscsiTest, TheDiscLaidInTheOpenedTrayTakesTheNextVolume) {
  UseTgtdWriter();
  WriteFile(dir_.P("src/sub/data.bin"), PatternedText(2'000'000));
  project_.Split = true;
  project_.SplitSizeIndex = 0;  // 1,468,006-byte volumes: two of them
  const std::string first = tgtd_.CdImage(), second = dir_.P("cd2.img");
  ui_->answers = {TModalResult::Yes, TModalResult::Yes, TModalResult::Cancel};
  ui_->onPrompt = [&](int prompt) {
    if (prompt != 2) return;
    WriteFile(second, "");
    EXPECT_EQ(tgtd_.PutDiscInOpenTray(second), "");
  };
  ASSERT_EQ(Run(), TBackupOutcome::Complete) << LogText();
  EXPECT_EQ(ui_->prompts, 2);
  EXPECT_EQ(ui_->errors, std::vector<std::string>{});
  tgtd_.Stop();

  ExpectArchiveHoldsTheSources(DiscFile(first, "QUORVABACKUP-1") +
                               DiscFile(second, "QUORVABACKUP-2"));
}

}  // namespace
