#include "app/ui/startup.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <map>

#include "app/engine/progress.h"
#include "app/engine/settings/global_setting.h"
#include "app/ui/pages/main_frm.h"
#include "app/ui/project/wizard_frm.h"
#include "app/ui/run/console_frm.h"
#include "app/ui/run/pump_messages.h"
#include "app/ui/splash_wnd.h"
#include "tests/support/modal_dialog.h"
#include "tests/support/qt_test_env.h"

namespace {

// Stores settings in this test's registry without the object saving again when freed.
void StoreSettings(const std::function<void(TGlobalSetting&)>& change) {
  TGlobalSetting s;
  s.SaveOnDestroy = false;
  change(s);
  ASSERT_TRUE(s.SaveToRegistry());
}

int StoredRetryCount() {
  TGlobalSetting s;
  s.SaveOnDestroy = false;
  return s.RetryCount;
}

bool AnyWindowVisible() {
  for (const QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible()) return true;
  return false;
}

struct TRecorded {
  std::vector<std::string> steps;
  std::vector<std::chrono::milliseconds> sleeps;
  std::map<std::string, std::string> statusAt;
};

TStartupHooks Recording(TRecorded& r, std::function<int(TMainFrm&)> loop) {
  TStartupHooks hooks;
  hooks.onStep = [&r](std::string_view step) {
    r.steps.emplace_back(step);
    r.statusAt[std::string(step)] = ProgressStatus.Get();
  };
  hooks.sleep = [&r](std::chrono::milliseconds ms) {
    r.sleeps.push_back(ms);
    EXPECT_FALSE(AnyWindowVisible());
    EXPECT_NE(QCoreApplication::applicationName(), "Quorva Backup");
  };
  hooks.runLoop = std::move(loop);
  return hooks;
}

TEST(Startup, DelayedStartInOrderWithSplash) {
  TQtTestEnv env;
  StoreSettings([](TGlobalSetting& s) {
    s.StartDelayMinutes = 2;
    s.ShowSplash = true;
    s.ShowWizardAtStart = false;
    s.AutoShowConsole = true;
    s.ConsoleOnTop = true;
  });
  ProgressStatus = "";
  TRecorded r;
  QPointer<QWidget> splash;
  bool consoleShown = false, consoleOnTop = false, startedLogged = false;
  TStartupHooks hooks = Recording(r, [&](TMainFrm& frm) {
    EXPECT_TRUE(frm.isVisible());
    EXPECT_TRUE(splash);  // until the start-up timer frees it
    for (const auto& e : frm.Console().Entries())
      if (e.message == "Application started.") startedLogged = true;
    frm.WizardTimerTimer();
    consoleShown = frm.Console().isVisible();
    consoleOnTop = frm.Console().OnTopState();
    EXPECT_FALSE(splash);
    frm.close();
    return 0;
  });
  hooks.createSplash = [&] {
    EXPECT_EQ(ProgressStatus.Get(), "Loading Global settings...");
    EXPECT_EQ(QCoreApplication::applicationName(), "Quorva Backup");
    auto w = std::make_unique<TSplashWnd>();
    splash = w.get();
    return w;
  };
  EXPECT_EQ(ProgramMainBlock(*env.ui, hooks), 0);

  EXPECT_EQ(r.sleeps, std::vector<std::chrono::milliseconds>{std::chrono::milliseconds(120000)});
  EXPECT_EQ(r.steps,
            (std::vector<std::string>{"settings", "delay", "title", "splash", "forms",
                                      "form:MainFrm", "form:SpecialfolderFrm", "form:AddExtFrm",
                                      "form:ProgressFrm", "form:AutocloseFrm", "loop", "freed"}));
  EXPECT_EQ(r.statusAt["delay"], "");
  EXPECT_EQ(r.statusAt["splash"], "Loading Global settings...");
  EXPECT_EQ(r.statusAt["forms"], "Loading User profile...");
  EXPECT_TRUE(startedLogged);
  EXPECT_TRUE(consoleShown);
  EXPECT_TRUE(consoleOnTop);
  EXPECT_TRUE(env.ui->AskedMessages().empty());  // no wizard asked for
}

TEST(Startup, WithoutSplashOrDelayTheTextsAreStillSet) {
  TQtTestEnv env;
  StoreSettings([](TGlobalSetting& s) {
    s.ShowSplash = false;
    s.ShowWizardAtStart = true;
  });
  TRecorded r;
  QString wizard;
  TStartupHooks hooks = Recording(r, [&wizard](TMainFrm& frm) {
    OnModalDialog<TWizardFrm>([&wizard](TWizardFrm& w) {
      wizard = w.windowTitle();
      QTest::mouseClick(w.CancelBtn, Qt::LeftButton);
    });
    frm.WizardTimerTimer();  // the wizard is asked for at start
    frm.close();
    return 0;
  });
  hooks.createSplash = [] {
    ADD_FAILURE() << "no splash window was asked for";
    return std::make_unique<QWidget>();
  };
  EXPECT_EQ(ProgramMainBlock(*env.ui, hooks), 0);
  EXPECT_TRUE(r.sleeps.empty());
  EXPECT_EQ(r.steps,
            (std::vector<std::string>{"settings", "delay", "title", "forms", "form:MainFrm",
                                      "form:SpecialfolderFrm", "form:AddExtFrm", "form:ProgressFrm",
                                      "form:AutocloseFrm", "loop", "freed"}));
  EXPECT_EQ(r.statusAt["forms"], "Loading User profile...");
  EXPECT_EQ(r.statusAt["form:SpecialfolderFrm"], "Searching special folders... ");
  EXPECT_EQ(wizard, "Quorva Backup Wizard");
  EXPECT_TRUE(env.ui->AskedMessages().empty());
}

TEST(Startup, SettingsReachTheRegistryWhenTheProgramEnds) {
  TQtTestEnv env;
  StoreSettings([](TGlobalSetting& s) {
    s.ShowWizardAtStart = false;
    s.RetryCount = 30;
  });
  TStartupHooks hooks;
  hooks.runLoop = [](TMainFrm& frm) {
    frm.Settings().RetryCount = 7;
    EXPECT_EQ(StoredRetryCount(), 30);
    frm.close();
    return 0;
  };
  EXPECT_EQ(ProgramMainBlock(*env.ui, hooks), 0);
  EXPECT_EQ(StoredRetryCount(), 7);
}

TEST(Startup, FailureIsShownAndLoggedAndTheSettingsAreStillSaved) {
  TQtTestEnv env;
  StoreSettings([](TGlobalSetting& s) { s.ShowWizardAtStart = false; });
  TStartupHooks hooks;
  QPointer<TConsoleFrm> console;
  bool logged = false;
  hooks.runLoop = [&](TMainFrm& frm) -> int {
    frm.Settings().RetryCount = 3;
    console = &frm.Console();
    throw std::runtime_error("the loop broke");
  };
  hooks.onStep = [&](std::string_view step) {
    if (step != "failed" || !console) return;
    for (const auto& e : console->Entries())
      if (e.message == "Quorva Backup could not start: the loop broke" && e.level == 1)
        logged = true;
  };
  EXPECT_EQ(ProgramMainBlock(*env.ui, hooks), 1);
  const auto asked = env.ui->AskedMessages();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].text, "Quorva Backup could not start: the loop broke");
  EXPECT_EQ(asked[0].kind, TMessageKind::Error);
  EXPECT_TRUE(logged);
  EXPECT_EQ(StoredRetryCount(), 3);
}

TEST(Startup, DamagedProjectFileDoesNotStopTheStart) {
  TQtTestEnv env;
  StoreSettings([](TGlobalSetting& s) { s.ShowWizardAtStart = false; });
  WriteFile(env.home.P("QVP_JOBS/broken.bpj"), std::string("\xff\xff\xff\x7f garbage", 12));
  WriteFile(env.home.P("QVP_JOBS/empty.bpj"), "");
  TStartupHooks hooks;
  int rows = -1;
  hooks.runLoop = [&](TMainFrm& frm) {
    rows = frm.PrjLV->rowCount();
    frm.close();
    return 0;
  };
  EXPECT_EQ(ProgramMainBlock(*env.ui, hooks), 0);
  EXPECT_EQ(rows, 0);
  // One box names the damaged files; the start goes on.
  const auto asked = env.ui->AskedMessages();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].kind, TMessageKind::Error);
  for (const char* file : {"broken.bpj", "empty.bpj"})
    EXPECT_NE(asked[0].text.find(env.home.W("QVP_JOBS\\") + file), std::string::npos)
        << asked[0].text;
}

TEST(Startup, ClosingTheMainWindowEndsTheLoop) {
  TQtTestEnv env;
  StoreSettings([](TGlobalSetting& s) {
    s.ShowWizardAtStart = false;
    s.AutoShowConsole = true;
  });
  TStartupHooks hooks;
  hooks.runLoop = [](TMainFrm& frm) {
    frm.WizardTimerTimer();  // the console is open too
    QTimer::singleShot(0, &frm, [&frm] { frm.Quit->trigger(); });
    QTimer guard;  // a loop the close did not end stops with another code
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    guard.start(30000);
    return RunMessageLoop();
  };
  EXPECT_EQ(ProgramMainBlock(*env.ui, hooks), 0);
}

}  // namespace
