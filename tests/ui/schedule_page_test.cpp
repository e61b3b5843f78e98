// The Schedule page driven through its actions and scripted dialogs; after each step the rows,
// the store's subkeys, the Run values and the autostart folder are checked together.
#include "app/ui/schedule/schedule_page.h"

#include <gtest/gtest.h>

#include <QHeaderView>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>

#include "app/engine/project/project.h"
#include "app/engine/settings/global_setting.h"
#include "app/ui/pages/main_frm.h"
#include "app/ui/run/console_frm.h"
#include "app/ui/run/progress_frm.h"
#include "app/ui/schedule/choose_project_to_schedule.h"
#include "app/ui/schedule/schedule_cfg_frm.h"
#include "platform/fs/fs.h"
#include "platform/registry/registry.h"
#include "platform/registry/run_key_mirror.h"
#include "platform/shell/shell.h"
#include "tests/support/helper_library.h"
#include "tests/support/modal_dialog.h"
#include "tests/support/qt_test_env.h"
#include "tests/support/whole_captions.h"

namespace {

using platform::registry::Hive;
using platform::registry::Key;

// What one row shows, and its state image.
struct Row {
  std::string project, description, lastRun, timesLeft;
  int state = 1;
  bool operator==(const Row&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Row& r) {
  return os << "{" << r.project << " | " << r.description << " | " << r.lastRun << " | "
            << r.timesLeft << " | " << r.state << "}";
}

// Fills the schedule dialog: a kind (-1 none), its three numbers, the stop count (-1 unticked).
std::function<void(TScheduleCfgFrm&)> Fill(int kind, QStringList numbers = {}, int stop = -1,
                                           QString account = {}) {
  return [=](TScheduleCfgFrm& f) {
    QRadioButton* kinds[] = {f.RunAtStartup, f.RunEvery, f.RunAt};
    if (kind >= 0) kinds[kind]->setChecked(true);
    QLineEdit* fields[2][3] = {{f.EveryDays, f.EveryHours, f.EveryMinutes},
                               {f.AtHour, f.AtMinute, f.AtSecond}};
    for (int i = 0; i < numbers.size(); ++i) fields[kind == 2 ? 1 : 0][i]->setText(numbers[i]);
    f.StopAfter->setChecked(stop != -1);
    if (stop != -1) f.StopTimes->setText(QString::number(stop));
    f.RunAsAccount->setText(account);
    QTest::mouseClick(f.OKBtn, Qt::LeftButton);
  };
}

class SchedulePageTest : public ::testing::Test {
 protected:
  SchedulePageTest() {
    settings.SaveOnDestroy = false;
    settings.ShowWizardAtStart = false;
    EXPECT_TRUE(InstallHelperLibrary(env.home.Posix()));
    for (const char* name : {"Alpha", "Beta"}) {
      TProject p;
      p.Name = name;
      p.DestinationFile = env.home.W(std::string("out\\") + name + ".qvp");
      platform::fs::CreateDirectories(env.home.W("QVP_JOBS\\"));
      EXPECT_TRUE(p.SaveToFile(JobFile(name)));
    }
    const char* build = std::getenv("QUORVA_BUILD_DIR");
    programPosix = std::string(build ? build : "/build") + "/app/ui/QuorvaBackup";
    program = platform::fs::FromPosix(programPosix);
    frm = Open();
  }

  std::unique_ptr<TMainFrm> Open() {
    auto f = std::make_unique<TMainFrm>(settings, *env.ui);
    f->SetProgressForm(&progress);
    f->SchedulePage->Schedules().ProgramFile = program;
    f->PC->setCurrentIndex(4);
    return f;
  }

  std::string JobFile(const std::string& name) const {
    return env.home.W("QVP_JOBS\\" + name + ".bpj");
  }
  std::string OtherFile() const { return env.home.W("elsewhere\\Gamma job.bpj"); }

  void AddFromList(const QString& name, std::function<void(TScheduleCfgFrm&)> fill) {
    OnModalDialog<TChooseProjectToSchedule>([name](TChooseProjectToSchedule& c) {
      const auto found = c.ProjectList->findItems(name, Qt::MatchExactly, 0);
      if (found.size() == 1) found.front()->setSelected(true);
      QTest::mouseClick(c.OKBtn, Qt::LeftButton);
      if (c.result() == 0) c.CancelBtnClick();
    });
    OnModalDialog<TScheduleCfgFrm>(fill);
    frm->AddKnownSchedule->trigger();
  }
  void AddFromFile(const std::string& file, std::function<void(TScheduleCfgFrm&)> fill) {
    env.ui->ScriptFileAnswers({file});
    OnModalDialog<TScheduleCfgFrm>(fill);
    frm->AddLocalProject->trigger();
  }
  // As a click: the row selected, then the enabling rules run.
  void Select(int row) {
    frm->ScheduleLV->selectRow(row);
    frm->ActionListUpdate();
  }
  void Configure(int row, std::function<void(TScheduleCfgFrm&)> fill) {
    Select(row);
    OnModalDialog<TScheduleCfgFrm>(fill);
    frm->ConfigSchedule->trigger();
  }

  std::vector<Row> Rows(const TMainFrm& f) const {
    std::vector<Row> rows;
    for (int r = 0; r < f.ScheduleLV->rowCount(); ++r) {
      Row row;
      std::string* texts[] = {&row.project, &row.description, &row.lastRun, &row.timesLeft};
      for (int c = 0; c < 4; ++c) *texts[c] = f.ScheduleLV->item(r, c)->text().toStdString();
      row.state = f.SchedulePage->RowStateImage(r);
      rows.push_back(row);
    }
    return rows;
  }

  std::vector<std::string> SubKeys() const {
    const auto store = Key::Open(Hive::CurrentUser, kScheduleStoreKeyPath, false);
    return store ? store->SubKeyNames() : std::vector<std::string>{};
  }

  std::map<std::string, std::string> RunValues() const {
    std::map<std::string, std::string> values;
    const auto run = Key::Open(Hive::CurrentUser, platform::registry::kRunKeyPath, false);
    if (run)
      for (const auto& n : run->ValueNames()) values[n] = run->ReadString(n).value_or("?");
    return values;
  }

  // The autostart folder: each entry's file name and its Exec line.
  std::map<std::string, std::string> AutostartEntries() const {
    std::map<std::string, std::string> entries;
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator(env.config.P("autostart"), ec);
         !ec && it != std::filesystem::directory_iterator(); ++it) {
      std::ifstream in(it->path());
      std::string exec = "?";
      for (std::string line; std::getline(in, line);)
        if (line.rfind("Exec=", 0) == 0) exec = line.substr(5);
      entries[it->path().filename().string()] = exec;
    }
    return entries;
  }

  std::string Command(const std::string& project) const {
    return platform::registry::ShortPath(program) + " " + platform::registry::ShortPath(project);
  }

  // Rows, subkeys (one per row, in row order, named by the row's ID), the Run values (those of
  // `started`) and one autostart entry per value, named after it, starting the built program
  // with the project.
  void Expect(const std::vector<Row>& rows, const std::vector<std::string>& started,
              const std::string& label) {
    SCOPED_TRACE(label);
    EXPECT_EQ(Rows(*frm), rows);
    std::vector<std::string> ids;
    for (int r = 0; r < frm->ScheduleLV->rowCount(); ++r) {
      ids.push_back(frm->SchedulePage->RowID(r));
      const TSchedule* s = frm->SchedulePage->Schedules().FindByID(ids.back());
      ASSERT_NE(s, nullptr);
      EXPECT_EQ(s->Project, rows[static_cast<size_t>(r)].project);
    }
    EXPECT_EQ(SubKeys(), ids);
    EXPECT_EQ(frm->SchedulePage->Schedules().Count(), static_cast<int>(rows.size()));
    std::map<std::string, std::string> values, entries;
    for (const auto& p : started) {
      values[p] = Command(p);
      entries[platform::registry::AutostartFileName(p)] =
          platform::registry::ExecLine(Command(p)).value_or("?");
    }
    EXPECT_EQ(RunValues(), values);
    EXPECT_EQ(AutostartEntries(), entries);
    for (const auto& [name, exec] : AutostartEntries())
      EXPECT_EQ(exec.rfind(programPosix + " ", 0), 0u) << name << ": " << exec;
  }

  // Each subkey's stored record.
  std::map<std::string, std::optional<std::vector<std::uint8_t>>> Records() const {
    std::map<std::string, std::optional<std::vector<std::uint8_t>>> records;
    for (const std::string& id : SubKeys())
      records[id] =
          Key::Open(Hive::CurrentUser, std::string(kScheduleStoreKeyPath) + "\\" + id, false)
              ->ReadBinary("userdata");
    return records;
  }

  bool Logged(const std::string& message) const {
    for (const auto& e : frm->Console().Entries())
      if (e.message == message) return true;
    return false;
  }

  TQtTestEnv env;
  TGlobalSetting settings;
  TProgressFrm progress;
  std::string program, programPosix;
  std::unique_ptr<TMainFrm> frm;
};

TEST_F(SchedulePageTest, PageAndColumns) {
  EXPECT_EQ(frm->ScheduleLV->objectName(), "ScheduleLV");
  const char* headers[] = {"Project Name", "Run Description", "Last Run", "Times Left"};
  const int widths[] = {200, 250, 100, 69};
  for (int c = 0; c < 4; ++c) {
    EXPECT_EQ(frm->ScheduleLV->horizontalHeaderItem(c)->text(), headers[c]);
    // The given widths are minimums: a caption that needs more gets more.
    EXPECT_EQ(frm->ScheduleLV->columnWidth(c),
              std::max(widths[c], frm->ScheduleLV->horizontalHeader()->sectionSizeHint(c)));
  }
  EXPECT_TRUE(frm->ScheduleLV->showGrid());
  EXPECT_EQ(frm->ScheduleLV->editTriggers(), QAbstractItemView::NoEditTriggers);
  EXPECT_EQ(frm->ScheduleLV->selectionBehavior(), QAbstractItemView::SelectRows);
  EXPECT_TRUE(Logged("Loading schedule list..."));
  Expect({}, {}, "empty store");
}

TEST_F(SchedulePageTest, AddConfigureEnableDisableRemove) {
  const std::string alpha = JobFile("Alpha"), beta = JobFile("Beta"), other = OtherFile();
  AddFromList("Alpha", Fill(0));
  Expect({{alpha, "Run when starts up", "Not yet", "Never expired", 1}}, {alpha},
         "Alpha at start-up");
  EXPECT_TRUE(Logged("Adding project " + alpha + " to schedule"));

  AddFromFile(other, Fill(1, {"1", "2", "3"}, 5));
  const Row otherEvery{other, "Run every 1day 2hour 3minute", "Not yet", "5", 1};
  Expect({{alpha, "Run when starts up", "Not yet", "Never expired", 1}, otherEvery}, {alpha},
         "another file every interval");

  Configure(0, Fill(1, {"0", "6", "0"}));
  Expect({{alpha, "Run every 0day 6hour 0minute", "Not yet", "Never expired", 1}, otherEvery}, {},
         "Alpha 0 -> 1");
  Configure(0, Fill(0, {}, 2));
  const Row alphaStart{alpha, "Run when starts up", "Not yet", "2", 1};
  Expect({alphaStart, otherEvery}, {alpha}, "Alpha 1 -> 0");

  Select(0);
  frm->DisableSchedule->trigger();
  Row alphaOff = alphaStart;
  alphaOff.state = 0;
  Expect({alphaOff, otherEvery}, {}, "Alpha disabled");
  EXPECT_TRUE(Logged("Disabling scheduled project " + alpha));
  frm->ActionListUpdate();
  EXPECT_TRUE(frm->EnableSchedule->isEnabled());
  EXPECT_FALSE(frm->DisableSchedule->isEnabled());
  frm->EnableSchedule->trigger();
  Expect({alphaStart, otherEvery}, {alpha}, "Alpha enabled");
  EXPECT_TRUE(Logged("Enabling scheduled project " + alpha));

  // Kind 1 enabled or disabled leaves the Run key alone; disabled into kind 0 gets no entry
  // until it is enabled.
  Select(1);
  frm->DisableSchedule->trigger();
  Row otherOff = otherEvery;
  otherOff.state = 0;
  Expect({alphaStart, otherOff}, {alpha}, "other disabled, kind 1");
  Configure(1, Fill(0));
  Row otherStartOff{other, "Run when starts up", "Not yet", "Never expired", 0};
  Expect({alphaStart, otherStartOff}, {alpha}, "disabled other into kind 0");
  Select(1);
  frm->EnableSchedule->trigger();
  Row otherStart = otherStartOff;
  otherStart.state = 1;
  Expect({alphaStart, otherStart}, {alpha, other}, "other enabled at start-up");

  // Two schedules of one project share the value: it stays while either starts it.
  AddFromList("Alpha", Fill(2, {"7", "5", "9"}));
  const Row alphaAt{alpha, "Run at 07::05::09", "Not yet", "Never expired", 1};
  Expect({alphaStart, otherStart, alphaAt}, {alpha, other}, "second Alpha schedule");
  Configure(2, Fill(0));
  const Row alphaStart2{alpha, "Run when starts up", "Not yet", "Never expired", 1};
  Expect({alphaStart, otherStart, alphaStart2}, {alpha, other}, "both Alpha at start-up");
  Select(0);
  frm->RemoveSchedule->trigger();
  Expect({otherStart, alphaStart2}, {alpha, other}, "one Alpha schedule removed");
  EXPECT_TRUE(Logged("Deleting project " + alpha + " from schedule"));
  Select(1);
  frm->DisableSchedule->trigger();
  Row alphaOff2 = alphaStart2;
  alphaOff2.state = 0;
  Expect({otherStart, alphaOff2}, {other}, "last Alpha start-up schedule disabled");

  // A new main window lists the same rows.
  const std::vector<Row> before = Rows(*frm);
  frm->close();
  frm.reset();
  frm = Open();
  Expect(before, {other}, "reopened");

  Select(1);
  frm->RemoveSchedule->trigger();
  Expect({otherStart}, {other}, "disabled Alpha schedule removed");
  Select(0);
  frm->RemoveSchedule->trigger();
  Expect({}, {}, "the only one removed");
  EXPECT_TRUE(env.ui->AskedMessages().empty());
}

TEST_F(SchedulePageTest, CancelledDialogsAddNothing) {
  OnModalDialog<TChooseProjectToSchedule>(
      [](TChooseProjectToSchedule& c) { QTest::mouseClick(c.CancelBtn, Qt::LeftButton); });
  frm->AddSchedule->trigger();
  env.ui->ScriptFileAnswers({std::nullopt});
  frm->AddLocalProject->trigger();
  AddFromList("Beta", [](TScheduleCfgFrm& f) { QTest::mouseClick(f.CancelBtn, Qt::LeftButton); });
  Expect({}, {}, "nothing added");

  AddFromList("Beta", Fill(0));
  Configure(0, [](TScheduleCfgFrm& f) {
    f.RunEvery->setChecked(true);
    QTest::mouseClick(f.CancelBtn, Qt::LeftButton);
  });
  Expect({{JobFile("Beta"), "Run when starts up", "Not yet", "Never expired", 1}},
         {JobFile("Beta")}, "configuration cancelled");
}

TEST_F(SchedulePageTest, RowActionsActOnlyOnTheSchedulePageWithARowSelected) {
  AddFromList("Alpha", Fill(0));
  const std::vector<Row> rows = Rows(*frm);
  frm->PC->setCurrentIndex(0);
  Select(0);
  for (QAction* a : {frm->RemoveSchedule, frm->DisableSchedule, frm->ConfigSchedule}) {
    a->setEnabled(true);
    a->trigger();  // a dialog here would never be answered
  }
  frm->PC->setCurrentIndex(4);
  frm->ScheduleLV->clearSelection();
  for (QAction* a : {frm->RemoveSchedule, frm->DisableSchedule, frm->ConfigSchedule}) {
    a->setEnabled(true);
    a->trigger();
  }
  Expect(rows, {JobFile("Alpha")}, "unchanged");
  // A click on the state image changes nothing.
  Select(0);
  const QRect cell = frm->ScheduleLV->visualItemRect(frm->ScheduleLV->item(0, 0));
  QTest::mouseClick(frm->ScheduleLV->viewport(), Qt::LeftButton, {}, cell.topLeft() + QPoint(8, 8));
  Expect(rows, {JobFile("Alpha")}, "clicked");
}

TEST_F(SchedulePageTest, WithoutTheHelperNothingIsAddedOrChanged) {
  AddFromList("Alpha", Fill(0));
  const std::vector<Row> rows = Rows(*frm);
  const auto record = Key::Open(Hive::CurrentUser,
                                std::string(kScheduleStoreKeyPath) + "\\" + SubKeys().at(0), false)
                          ->ReadBinary("userdata");
  std::filesystem::remove(env.home.P("libsorvane.so"));
  env.ui->ClearAskedMessages();

  AddFromList("Beta", Fill(0));
  Configure(0, Fill(1, {"1", "1", "1"}));
  Select(0);
  frm->DisableSchedule->trigger();
  Expect(rows, {JobFile("Alpha")}, "helper missing");
  EXPECT_EQ(Key::Open(Hive::CurrentUser,
                      std::string(kScheduleStoreKeyPath) + "\\" + SubKeys().at(0), false)
                ->ReadBinary("userdata"),
            record);
  const auto asked = env.ui->AskedMessages();
  ASSERT_EQ(asked.size(), 3u);
  for (const auto& m : asked) EXPECT_NE(m.text.find("libsorvane.so"), std::string::npos) << m.text;
}

TEST_F(SchedulePageTest, SchedulesLoadedWithoutTheHelperKeepTheirRecordsAndStartupEntry) {
  const std::string alpha = JobFile("Alpha"), beta = JobFile("Beta");
  AddFromList("Alpha", Fill(0));
  AddFromList("Beta", Fill(0));
  Select(1);
  frm->DisableSchedule->trigger();
  const auto records = Records();
  std::filesystem::remove(env.home.P("libsorvane.so"));
  frm->close();
  frm.reset();
  frm = Open();
  // Listed without their projects; the Run value of Alpha stays.
  const Row blindOn{"", "Run when starts up", "Not yet", "Never expired", 1};
  Row blindOff = blindOn;
  blindOff.state = 0;
  Expect({blindOn, blindOff}, {alpha}, "loaded without the helper");
  env.ui->ClearAskedMessages();

  Select(0);
  frm->RemoveSchedule->trigger();
  Expect({blindOn, blindOff}, {alpha}, "remove refused");
  Configure(0, Fill(1, {"1", "1", "1"}));
  Select(0);
  frm->DisableSchedule->trigger();
  Select(1);
  frm->EnableSchedule->trigger();
  Expect({blindOn, blindOff}, {alpha}, "configure, disable and enable refused");
  EXPECT_EQ(Records(), records);
  const auto asked = env.ui->AskedMessages();
  ASSERT_EQ(asked.size(), 4u);
  EXPECT_NE(asked[0].text.find("libsorvane.so"), std::string::npos) << asked[0].text;
  EXPECT_NE(asked[0].text.find("the schedule was not removed"), std::string::npos) << asked[0].text;
  for (size_t i = 1; i < asked.size(); ++i) {
    EXPECT_NE(asked[i].text.find("libsorvane.so"), std::string::npos) << asked[i].text;
    EXPECT_NE(asked[i].text.find("the schedule was not saved"), std::string::npos) << asked[i].text;
  }
  EXPECT_FALSE(Logged("Deleting project  from schedule"));

  // With the helper back the schedules read again, and removing Alpha takes its entry along.
  ASSERT_TRUE(InstallHelperLibrary(env.home.Posix()));
  frm->close();
  frm.reset();
  frm = Open();
  const Row alphaStart{alpha, "Run when starts up", "Not yet", "Never expired", 1};
  const Row betaOff{beta, "Run when starts up", "Not yet", "Never expired", 0};
  Expect({alphaStart, betaOff}, {alpha}, "helper back");
  Select(0);
  frm->RemoveSchedule->trigger();
  Expect({betaOff}, {}, "Alpha removed");
}

TEST_F(SchedulePageTest, StoredSchedulesAreListed) {
  TSchedules store;
  TSchedule& at = store.Add();
  at.Project = JobFile("Alpha");
  at.Kind = kScheduleAt;
  at.StopAfterTimes = 0;
  at.Enabled = 0;
  TSchedule& ran = store.Add();
  ran.Project = OtherFile();
  ran.LastRun = platform::shell::DateTimeFromUnix(1700000000);
  ASSERT_EQ(store.Save(at), TScheduleSaveError::None);
  ASSERT_EQ(store.Save(ran), TScheduleSaveError::None);
  frm.reset();
  frm = Open();
  EXPECT_EQ(
      Rows(*frm),
      (std::vector<Row>{
          {JobFile("Alpha"), "Run at 12::00::00", "Not yet", "0", 0},
          {OtherFile(), "Run when starts up",
           platform::shell::FormatShortDateLongTime(platform::shell::UnixFromDateTime(ran.LastRun)),
           "Never expired", 1}}));
  EXPECT_EQ(frm->SchedulePage->RowID(0), at.ID);
}

// At the window's default size, with every kind of row: each column shows its caption and its
// rows whole.
TEST_F(SchedulePageTest, Screenshots) {
  TSchedules store;
  TSchedule& ran = store.Add();
  ran.Project = JobFile("Beta");
  ran.Kind = kScheduleAt;
  ran.AtHour = 23;
  ran.AtMinute = 45;
  ran.StopAfterTimes = 12;
  ran.LastRun = platform::shell::DateTimeFromUnix(1700000000);
  ASSERT_EQ(store.Save(ran), TScheduleSaveError::None);
  frm.reset();
  frm = Open();
  AddFromList("Alpha", Fill(0));
  AddFromFile(OtherFile(), Fill(1, {"1", "2", "30"}, 5));
  Select(2);
  frm->DisableSchedule->trigger();
  Select(1);
  frm->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(frm.get()));
  QCoreApplication::processEvents();
  ASSERT_EQ(frm->ScheduleLV->rowCount(), 3);
  ExpectEveryColumnWhole(frm->ScheduleLV);
  const char* dir = std::getenv("QUORVA_SCREENSHOT_DIR");
  auto save = [dir](QWidget& w, const char* name) {
    const QPixmap shot = w.grab();
    EXPECT_FALSE(shot.isNull()) << name;
    if (dir) {
      EXPECT_TRUE(shot.save(QString(dir) + "/" + name + ".png")) << name;
    }
  };
  save(*frm, "schedule-page");

  TScheduleCfgFrm cfg(frm.get());
  cfg.ScheduleToForm(*frm->SchedulePage->Schedules().Get(1));
  cfg.RunAsAccount->setText("ann@workstation");
  cfg.Password->setText("secret");
  cfg.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&cfg));
  save(cfg, "schedule-configuration");
  cfg.close();

  std::vector<std::pair<std::string, std::string>> projects = {{"Alpha", JobFile("Alpha")},
                                                               {"Beta", JobFile("Beta")}};
  TChooseProjectToSchedule chooser(projects, frm.get());
  chooser.ProjectList->topLevelItem(0)->setSelected(true);
  chooser.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&chooser));
  QCoreApplication::processEvents();
  ExpectEveryColumnWhole(chooser.ProjectList);
  save(chooser, "choose-project-to-schedule");
}

}  // namespace
