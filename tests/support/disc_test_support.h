// What the disc destination's tests share: a scripted answerer of the burn prompts, the
// virtual recorder's configuration, folder and disc state, and the outside tools that read the
// discs it ejects and the archive their files join into.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "app/engine/backup/backup_run.h"
#include "app/engine/log.h"
#include "app/engine/progress.h"
#include "app/engine/project/project.h"
#include "app/engine/settings/global_setting.h"
#include "app/engine/user_interface.h"
#include "halvorin.h"
#include "platform/registry/registry.h"
#include "tests/support/temp_dir.h"

namespace disc_test {

namespace fs = std::filesystem;

// Answers the burn prompts from a script and records every box (the error boxes in `errors`
// too) and status panel. When the script runs out, `defaultAnswer` answers if set, else Yes
// until the 20th prompt and Cancel from then on, so that a disc refused again and again ends
// the run. `onPrompt` runs before a prompt is answered, with the number of prompts before it;
// `onPanel` when a panel text is set.
class TScriptedUserInterface : public THeadlessUserInterface {
 public:
  TModalResult MessageBox(std::string_view text, std::string_view title, TMessageButtons buttons,
                          TMessageKind kind) override {
    return Box(text, title, buttons, kind, false);
  }
  TModalResult AskInsertBlankDisc(std::string_view text, std::string_view title,
                                  bool retry) override {
    return Box(text, title, TMessageButtons::YesNoCancel, TMessageKind::Question, retry);
  }
  void SetStatusPanel(int, std::string_view text) override {
    if (onPanel) onPanel(std::string(text));
  }

  static constexpr int kMaxPrompts = 20;
  std::mutex mutex;
  std::vector<TModalResult> answers;
  std::vector<std::string> boxes;
  std::vector<std::string> errors;
  int prompts = 0;
  std::function<void(int)> onPrompt;
  std::function<void(const std::string&)> onPanel;
  // The prompt's text and title, and whether the disc offered after the last answer failed
  // its test.
  std::function<TModalResult(std::string_view, std::string_view, bool)> defaultAnswer;

 private:
  TModalResult Box(std::string_view text, std::string_view title, TMessageButtons buttons,
                   TMessageKind kind, bool retry) {
    std::lock_guard lock(mutex);
    boxes.push_back(std::string(title) + ": " + std::string(text));
    if (kind == TMessageKind::Error) errors.push_back(boxes.back());
    if (buttons != TMessageButtons::YesNoCancel) return TModalResult::Ok;
    if (onPrompt) onPrompt(prompts);
    ++prompts;
    if (answers.empty()) {
      if (defaultAnswer) return defaultAnswer(text, title, retry);
      return prompts < kMaxPrompts ? TModalResult::Yes : TModalResult::Cancel;
    }
    const TModalResult a = answers.front();
    answers.erase(answers.begin());
    return a;
  }
};

// The names in a folder, sorted; none when it does not exist.
inline std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  if (fs::exists(folder))
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

inline std::string RandomText(size_t n) {
  std::string s(n, '\0');
  unsigned x = 12345;
  for (char& c : s) c = static_cast<char>((x = x * 1103515245 + 12345) >> 16);
  return s;
}

// One virtual recorder at target 0 of host adapter 0 holding blanks of `media`, configured
// before the library's first look at its adapters.
inline void ConfigureRecorder(const std::string& media) {
  namespace reg = platform::registry;
  auto root = reg::Key::Open(reg::Hive::CurrentUser,
                             "\\Software\\Quorva\\halvorin\\VirtualRecorders", true);
  ASSERT_TRUE(root);
  ASSERT_TRUE(root->WriteDWord("Count", 1));
  auto key = reg::Key::Open(reg::Hive::CurrentUser,
                            "\\Software\\Quorva\\halvorin\\VirtualRecorders\\Recorder0", true);
  ASSERT_TRUE(key);
  ASSERT_TRUE(key->WriteString("Media", media));
}

// The folder of that recorder under the program folder, and the images its ejected discs left.
class TRecorderFolder {
 public:
  explicit TRecorderFolder(const std::string& programFolder)
      : folder_(programFolder + "/VirtualRecorders/Recorder0") {}

  const std::string& Path() const { return folder_; }
  std::string Image(int serial) const {
    char name[32];
    std::snprintf(name, sizeof name, "/Recorder0-%04d.iso", serial);
    return folder_ + name;
  }
  std::vector<std::string> Images() const {
    std::vector<std::string> out;
    for (const std::string& n : Names(folder_))
      if (n.size() > 4 && n.substr(n.size() - 4) == ".iso") out.push_back(n);
    return out;
  }

  // The state of the disc in the tray, as the recorder keeps it between commands.
  std::string TrayDiscState() const {
    const std::string path = TrayDiscStatePath();
    return path.empty() ? std::string() : ReadFile(path);
  }
  // Rewrites that state and tells the recorder, as another process sharing the recorder
  // would; its cached copy is read again at its next command.
  void ChangeTrayDisc(const std::function<void(std::string&)>& change) const {
    const std::string statePath = TrayDiscStatePath();
    ASSERT_FALSE(statePath.empty()) << "the recorder has not been used yet";
    std::string state = ReadFile(statePath);
    const size_t size = state.size();
    change(state);
    // The recorder rewrites its files in place and reads blank lines as nothing.
    if (state.size() < size) state.append(size - state.size(), '\n');
    Overwrite(statePath, state);
    std::string recorder = ReadFile(folder_ + "/recorder");
    unsigned long long generation = 0;
    ASSERT_EQ(std::sscanf(recorder.c_str(), "generation %llu", &generation), 1) << recorder;
    recorder.replace(0, recorder.find('\n'), "generation " + std::to_string(generation + 1));
    Overwrite(folder_ + "/recorder", recorder);
  }

 private:
  std::string TrayDiscStatePath() const {
    std::istringstream in(ReadFile(folder_ + "/recorder"));
    std::string key;
    unsigned long long generation = 0;
    unsigned serial = 0;
    if (!(in >> key >> generation >> key >> serial) || key != "disc") return {};
    char name[32];
    std::snprintf(name, sizeof name, "/disc-%04u/state", serial);
    return folder_ + name;
  }
  static void Overwrite(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    ASSERT_TRUE(out.flush()) << path;
  }

  std::string folder_;
};

// A burner object on the recorder in the tray (adapter 0, target 0), freed with the scope.
struct TTrayBurner {
  TTrayBurner() {
    EXPECT_EQ(Halvorin_CdvdBurnerGrabber_Create(&burner, text, sizeof text, &systemError, &failure,
                                                nullptr, nullptr, 0, 0, 0, 0, 0),
              0)
        << text;
  }
  ~TTrayBurner() { Halvorin_Destroy(&burner); }
  TTrayBurner(const TTrayBurner&) = delete;
  TTrayBurner& operator=(const TTrayBurner&) = delete;

  void* burner = nullptr;
  char text[1024] = {};
  std::uint32_t systemError = 0;
  CDB_FAILURE_INFORMATION failure{};
};

// Writes an image file as one closed track on the disc in the recorder's tray, through the
// library as any burning program would, and leaves the disc in the tray.
inline void BurnImageInTray(const std::string& imageWinPath) {
  TTrayBurner b;
  ASSERT_NE(b.burner, nullptr);
  const HALVORIN_STATUS written = Halvorin_CdvdBurnerGrabber_TrackAtOnceFromFile(
      b.burner, b.text, sizeof b.text, &b.systemError, &b.failure, imageWinPath.c_str(), 1, 0, 0, 0,
      0);
  EXPECT_EQ(written, 0) << b.text;
  if (written == 0) {
    EXPECT_EQ(Halvorin_CdvdBurnerGrabber_CloseSession(b.burner, b.text, sizeof b.text,
                                                      &b.systemError, &b.failure),
              0)
        << b.text;
  }
}

// Ejects the disc in the recorder's tray, which leaves its image in the recorder's folder.
inline void EjectTray() {
  TTrayBurner b;
  ASSERT_NE(b.burner, nullptr);
  EXPECT_EQ(
      Halvorin_CdvdBurnerGrabber_Eject(b.burner, b.text, sizeof b.text, &b.systemError, &b.failure),
      0)
      << b.text;
}

// The single root file of a disc image, extracted by xorriso and by bsdtar (the two copies must
// agree), after isoinfo's look at the volume descriptor: label, publisher and application.
// `work` holds the extracted copies.
inline std::string DiscFile(const std::string& iso, const std::string& label,
                            const std::string& work) {
  std::string out;
  EXPECT_EQ(RunCommand("isoinfo -d -i '" + iso + "'", &out), 0) << out;
  EXPECT_NE(out.find("Volume id: " + label + "\n"), std::string::npos) << out;
  EXPECT_NE(out.find("Publisher id: QB.exe\n"), std::string::npos) << out;
  EXPECT_NE(out.find("Application id: QB.exe\n"), std::string::npos) << out;
  const std::string x = work + "/x-" + label, t = work + "/t-" + label;
  fs::create_directories(t);
  EXPECT_EQ(RunCommand("xorriso -osirrox on -indev '" + iso + "' -extract / '" + x + "'", &out), 0)
      << out;
  EXPECT_EQ(RunCommand("bsdtar -xf '" + iso + "' -C '" + t + "'", &out), 0) << out;
  EXPECT_EQ(Names(x), std::vector<std::string>{label});
  EXPECT_EQ(Names(t), std::vector<std::string>{label});
  EXPECT_EQ(RunCommand("cmp '" + x + "/" + label + "' '" + t + "/" + label + "'", &out), 0);
  return ReadFile(x + "/" + label);
}

// The archive passes unzip's test and unzip gives back each of `names` (a file in a subfolder
// with '/'), stored from the folder `sourceWin` (Windows form, trailing backslash), equal to the
// file in `originals`.
inline void ExpectArchiveHolds(const std::string& zip, const std::string& sourceWin,
                               const std::vector<std::string>& names,
                               const std::string& originals) {
  std::string out;
  EXPECT_EQ(RunCommand("unzip -tq '" + zip + "'", &out), 0) << out;
  // Entry names keep the program's backslashes and drop the drive's colon: '?' matches them in
  // unzip's patterns.
  std::string stored = sourceWin;
  stored.erase(1, 1);
  std::replace(stored.begin(), stored.end(), '\\', '?');
  for (const std::string& name : names) {
    std::string entry = name;
    std::replace(entry.begin(), entry.end(), '/', '?');
    EXPECT_EQ(RunCommand("unzip -p '" + zip + "' '" + stored + entry + "' | cmp - '" + originals +
                             "/" + name + "'",
                         &out),
              0)
        << name << ": " << out;
  }
}

// A backup run of src/ (a small file and a 3 MB one) to the disc destination, split into
// volumes of 1,468,006 bytes: the archive and two more, one disc each.
class TDiscRunFixture : public ::testing::Test {
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
    project_.SplitSizeIndex = 0;
    project_.DeleteAfterBackup = true;
    project_.ProjectFile = dir_.W("job.bpj");
    project_.Folders.Add(dir_.W("src\\"), 0);
  }
  void TearDown() override {
    SetUserInterface(previousUi_);
    SetLogSink(previousLog_);
  }

  void Recorder(const std::string& media) { ConfigureRecorder(media); }

  TBackupOutcome Run() {
    ResetProgressForJob();
    return BackupThreadProc(project_, *settings_);
  }

  std::string Folder() const { return recorder_.Path(); }
  std::string Image(int serial) const { return recorder_.Image(serial); }
  std::vector<std::string> Images() const { return recorder_.Images(); }
  bool HasDeviceLine(const std::string& text) const {
    for (const TLogEntry& e : log_->Entries())
      if (e.levelText == "DEVICE  " && e.message.find(text) != std::string::npos) return true;
    return false;
  }
  std::string DiscFile(const std::string& iso, const std::string& label) {
    return disc_test::DiscFile(iso, label, dir_.Posix());
  }

  void ExpectFailedRunKeepsEverything() {
    EXPECT_EQ(Names(dir_.P("tmp")).size(), 3u) << "the archive and its volumes are kept";
    EXPECT_EQ(Names(dir_.P("src")).size(), 2u) << "no source deleted";
    EXPECT_EQ(project_.Snapshot.Count(), 0);
  }

  TempDir dir_;
  TRecorderFolder recorder_{dir_.P("home")};
  std::shared_ptr<TMemoryLogSink> log_ = std::make_shared<TMemoryLogSink>();
  std::shared_ptr<TScriptedUserInterface> ui_ = std::make_shared<TScriptedUserInterface>();
  std::shared_ptr<ILogSink> previousLog_;
  std::shared_ptr<IUserInterface> previousUi_;
  std::unique_ptr<TGlobalSetting> settings_;
  TProject project_;
};

}  // namespace disc_test
