// Backup runs whose destination is a CD/DVD writer, against the library's virtual recorders:
// what the discs hold when the recorder ejects them, and what a refused, cancelled or failed
// burn leaves behind.
#include "app/engine/disc_delivery.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "app/engine/backup_run.h"
#include "app/engine/global_setting.h"
#include "app/engine/log.h"
#include "app/engine/progress.h"
#include "app/engine/project.h"
#include "app/engine/user_interface.h"
#include "platform/registry/registry.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;
namespace reg = platform::registry;

namespace {

// Answers the burn prompts from a script (Yes when it runs out) and records every box and
// status panel; `onPanel` runs when a panel text is set.
class TScriptedUserInterface : public THeadlessUserInterface {
 public:
  TModalResult MessageBox(std::string_view text, std::string_view title, TMessageButtons buttons,
                          TMessageKind) override {
    std::lock_guard lock(mutex);
    boxes.push_back(std::string(title) + ": " + std::string(text));
    if (buttons != TMessageButtons::YesNoCancel) return TModalResult::Ok;
    if (onPrompt) onPrompt(prompts);
    ++prompts;
    if (answers.empty()) return TModalResult::Yes;
    const TModalResult a = answers.front();
    answers.erase(answers.begin());
    return a;
  }
  TModalResult AskInsertBlankDisc(std::string_view text, std::string_view title, bool) override {
    return MessageBox(text, title, TMessageButtons::YesNoCancel, TMessageKind::Question);
  }
  void SetStatusPanel(int, std::string_view text) override {
    if (onPanel) onPanel(std::string(text));
  }

  std::mutex mutex;
  std::vector<TModalResult> answers;
  std::vector<std::string> boxes;
  int prompts = 0;
  std::function<void(int)> onPrompt;
  std::function<void(const std::string&)> onPanel;
};

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  if (fs::exists(folder))
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

class DiscDeliveryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("QUORVA_HOME", dir_.P("home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", dir_.P("config").c_str(), 1);
    previousLog_ = SetLogSink(log_);
    previousUi_ = SetUserInterface(ui_);
    settings_ = std::make_unique<TGlobalSetting>();
    settings_->SaveOnDestroy = false;
    fs::create_directories(dir_.P("tmp"));
    settings_->TempFolder = dir_.W("tmp\\");
    WriteFile(dir_.P("src/a.txt"), "alpha");
    WriteFile(dir_.P("src/big.bin"), RandomText(3'000'000));
    project_.Name = "job";
    project_.BackupMode = 1;
    project_.DestinationType = 2;
    project_.Compress = false;
    project_.Split = true;
    project_.SplitSizeIndex = 0;  // 1,468,006-byte volumes: the archive and two more
    project_.DeleteAfterBackup = true;
    project_.ProjectFile = dir_.W("job.bpj");
    project_.Folders.Add(dir_.W("src\\"), 0);
  }
  void TearDown() override {
    SetUserInterface(previousUi_);
    SetLogSink(previousLog_);
  }

  // One virtual recorder at target 0 of host adapter 0, configured before the library's
  // first look at its adapters.
  void Recorder(const std::string& media) {
    auto root = reg::Key::Open(reg::Hive::CurrentUser,
                               "\\Software\\Quorva\\halvorin\\VirtualRecorders", true);
    ASSERT_TRUE(root);
    ASSERT_TRUE(root->WriteDWord("Count", 1));
    auto key = reg::Key::Open(reg::Hive::CurrentUser,
                              "\\Software\\Quorva\\halvorin\\VirtualRecorders\\Recorder0", true);
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->WriteString("Media", media));
  }

  static std::string RandomText(size_t n) {
    std::string s(n, '\0');
    unsigned x = 12345;
    for (char& c : s) c = static_cast<char>((x = x * 1103515245 + 12345) >> 16);
    return s;
  }

  TBackupOutcome Run() {
    ResetProgressForJob();
    return BackupThreadProc(project_, *settings_);
  }

  std::string Folder() const { return dir_.P("home/VirtualRecorders/Recorder0"); }
  std::string Image(int serial) const {
    char name[32];
    std::snprintf(name, sizeof name, "/Recorder0-%04d.iso", serial);
    return Folder() + name;
  }
  std::vector<std::string> Images() const {
    std::vector<std::string> out;
    for (const std::string& n : Names(Folder()))
      if (n.size() > 4 && n.substr(n.size() - 4) == ".iso") out.push_back(n);
    return out;
  }
  bool HasDeviceLine(const std::string& text) const {
    for (const TLogEntry& e : log_->Entries())
      if (e.levelText == "DEVICE  " && e.message.find(text) != std::string::npos) return true;
    return false;
  }

  // The disc's single root file, extracted by xorriso and bsdtar, after isoinfo's look at the
  // volume descriptor.
  std::string DiscFile(const std::string& iso, const std::string& label) {
    std::string out;
    EXPECT_EQ(RunCommand("isoinfo -d -i '" + iso + "'", &out), 0) << out;
    EXPECT_NE(out.find("Volume id: " + label + "\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Publisher id: QB.exe"), std::string::npos) << out;
    EXPECT_NE(out.find("Application id: QB.exe"), std::string::npos) << out;
    const std::string x = dir_.P("x-" + label), t = dir_.P("t-" + label);
    fs::create_directories(t);
    EXPECT_EQ(RunCommand("xorriso -osirrox on -indev '" + iso + "' -extract / '" + x + "'", &out),
              0)
        << out;
    EXPECT_EQ(RunCommand("bsdtar -xf '" + iso + "' -C '" + t + "'", &out), 0) << out;
    EXPECT_EQ(Names(x), std::vector<std::string>{label});
    EXPECT_EQ(Names(t), std::vector<std::string>{label});
    EXPECT_EQ(RunCommand("cmp '" + x + "/" + label + "' '" + t + "/" + label + "'", &out), 0);
    return ReadFile(x + "/" + label);
  }

  void ExpectFailedRunKeepsEverything() {
    EXPECT_EQ(Names(dir_.P("tmp")).size(), 3u) << "the archive and its volumes are kept";
    EXPECT_EQ(Names(dir_.P("src")).size(), 2u) << "no source deleted";
    EXPECT_EQ(project_.Snapshot.Count(), 0);
  }

  TempDir dir_;
  std::shared_ptr<TMemoryLogSink> log_ = std::make_shared<TMemoryLogSink>();
  std::shared_ptr<TScriptedUserInterface> ui_ = std::make_shared<TScriptedUserInterface>();
  std::shared_ptr<ILogSink> previousLog_;
  std::shared_ptr<IUserInterface> previousUi_;
  std::unique_ptr<TGlobalSetting> settings_;
  TProject project_;
};

class DiscDeliveryMediaTest : public DiscDeliveryTest,
                              public ::testing::WithParamInterface<const char*> {};

TEST_P(DiscDeliveryMediaTest, EachVolumeOnItsOwnDiscJoinsIntoTheArchive) {
  Recorder(GetParam());
  fs::copy(dir_.P("src"), dir_.P("orig"));  // the complete run deletes the sources
  ASSERT_EQ(Run(), TBackupOutcome::Complete);
  EXPECT_TRUE(Names(dir_.P("src")).empty());
  ASSERT_EQ(Images().size(), 3u);
  EXPECT_EQ(ui_->prompts, 3);
  EXPECT_NE(ui_->boxes[1].find("Start to burn: Insert a BLANK disc into the writer device and "
                               "start to burn backed up data of Volume 2/Total 3 discs\rClick "
                               "YES to continue burning.\r"),
            std::string::npos);
  std::string joined;
  for (int i = 1; i <= 3; ++i) joined += DiscFile(Image(i), "QUORVABACKUP-" + std::to_string(i));
  WriteFile(dir_.P("joined.zip"), joined);
  std::string out;
  EXPECT_EQ(RunCommand("unzip -tq '" + dir_.P("joined.zip") + "'", &out), 0) << out;
  // Entry names keep the program's backslashes: match them with '?' in unzip's patterns.
  std::string stored = dir_.W("src\\").erase(1, 1);
  std::replace(stored.begin(), stored.end(), '\\', '?');
  for (const char* name : {"big.bin", "a.txt"})
    EXPECT_EQ(RunCommand("unzip -p '" + dir_.P("joined.zip") + "' '" + stored + name +
                             "' | cmp - '" + dir_.P("orig/") + name + "'",
                         &out),
              0)
        << out;
  EXPECT_TRUE(Names(dir_.P("tmp")).empty()) << "temporary archive files are deleted";
  EXPECT_EQ(ProgressPosition.load(), 100);
}

INSTANTIATE_TEST_SUITE_P(Media, DiscDeliveryMediaTest, ::testing::Values("DVD-R", "CD-R"));

TEST_F(DiscDeliveryTest, OneVolumeIsLabelledWithoutNumber) {
  Recorder("DVD-R");
  project_.Split = false;
  ASSERT_EQ(Run(), TBackupOutcome::Complete);
  ASSERT_EQ(Images().size(), 1u);
  WriteFile(dir_.P("one.zip"), DiscFile(Image(1), "QUORVABACKUP"));
  std::string out;
  EXPECT_EQ(RunCommand("unzip -tq '" + dir_.P("one.zip") + "'", &out), 0) << out;
}

TEST_F(DiscDeliveryTest, NoSkipsTheVolumeAndFailsTheRun) {
  Recorder("DVD-R");
  ui_->answers = {TModalResult::Yes, TModalResult::No, TModalResult::Yes};
  EXPECT_EQ(Run(), TBackupOutcome::Failed);
  ASSERT_EQ(Images().size(), 2u) << "volumes 1 and 3 are written";
  DiscFile(Image(1), "QUORVABACKUP-1");
  DiscFile(Image(2), "QUORVABACKUP-3");
  ExpectFailedRunKeepsEverything();
}

TEST_F(DiscDeliveryTest, CancelAtThePromptStopsTheDelivery) {
  Recorder("DVD-R");
  ui_->answers = {TModalResult::Yes, TModalResult::Cancel};
  EXPECT_EQ(Run(), TBackupOutcome::Failed);
  EXPECT_EQ(Images().size(), 1u);
  EXPECT_EQ(ui_->prompts, 2);
  EXPECT_TRUE(HasDeviceLine("Cancel Burning"));
  EXPECT_TRUE(HasDeviceLine("Burning error"));
  ExpectFailedRunKeepsEverything();
}

TEST_F(DiscDeliveryTest, UserBreakDuringTheBurnCancelsTheTrack) {
  Recorder("DVD-R");
  ui_->onPanel = [](const std::string& text) {
    if (text == "Burning to disc...") ProgressCancelled = true;
  };
  EXPECT_NE(Run(), TBackupOutcome::Complete);
  EXPECT_EQ(ui_->prompts, 1);
  EXPECT_TRUE(HasDeviceLine("Burning data failed, exception 14"));
  EXPECT_TRUE(HasDeviceLine("Burning error"));
  ExpectFailedRunKeepsEverything();
}

// The second disc's sector file cannot be written: the drive answers a medium error.
TEST_F(DiscDeliveryTest, MediumErrorOnTheSecondVolumeFailsTheRun) {
  Recorder("DVD-R");
  ui_->onPrompt = [this](int prompt) {
    if (prompt == 1) fs::create_directories(Folder() + "/disc-0002/sectors");
  };
  EXPECT_EQ(Run(), TBackupOutcome::Failed);
  EXPECT_EQ(ui_->prompts, 2) << "the third volume is not asked for";
  EXPECT_TRUE(HasDeviceLine("Burning data failed"));
  DiscFile(Image(1), "QUORVABACKUP-1");
  ExpectFailedRunKeepsEverything();
}

// A pressed disc is refused and the prompt comes again; the headless answer then cancels.
TEST_F(DiscDeliveryTest, UnwritableDiscIsRefusedAndAskedAgain) {
  Recorder("CD-ROM");
  ui_->answers = {TModalResult::Yes, TModalResult::Cancel};
  EXPECT_EQ(Run(), TBackupOutcome::Failed);
  EXPECT_EQ(ui_->prompts, 2);
  EXPECT_TRUE(std::any_of(ui_->boxes.begin(), ui_->boxes.end(), [](const std::string& b) {
    return b == "Drive tests error: Disc is not blank or device is not ready" ||
           b == "Disc tests error: Disc is not writable";
  }));
  ExpectFailedRunKeepsEverything();
}

// The command-line run's interface burns on the disc in the drive and cancels, without
// asking again, when that disc is refused.
TEST_F(DiscDeliveryTest, HeadlessAnswersYesOnceThenCancel) {
  Recorder("CD-ROM");
  SetUserInterface(std::make_shared<THeadlessUserInterface>());
  EXPECT_EQ(Run(), TBackupOutcome::Failed);
  EXPECT_TRUE(HasDeviceLine("Cancel Burning"));
  ExpectFailedRunKeepsEverything();
}

TEST(DiscSpeedTest, TableValuesAndTheMaximumOutside) {
  const std::vector<std::pair<int, std::uint32_t>> cases = {
      {0, 0xFFFF}, {1, 176},  {2, 353},  {3, 387},    {4, 528},
      {5, 706},    {6, 1400}, {7, 2800}, {8, 0xFFFF}, {-1, 0xFFFF}};
  for (const auto& [index, speed] : cases) EXPECT_EQ(SpeedForIndex(index), speed) << index;
}

}  // namespace
