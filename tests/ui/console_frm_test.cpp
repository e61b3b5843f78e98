#include "app/ui/run/console_frm.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QTest>
#include <thread>

#include "app/ui/run/console_log_sink.h"
#include "platform/fs/fs.h"
#include "tests/support/qt_test_env.h"

namespace {

std::vector<std::string> Events(const TConsoleFrm& console) {
  std::vector<std::string> out;
  for (int i = 0; i < console.LV->topLevelItemCount(); ++i)
    out.push_back(console.LV->topLevelItem(i)->text(1).toStdString());
  return out;
}

TEST(ConsoleFrm, WindowLayout) {
  TQtTestEnv env;
  TConsoleFrm console(*env.ui);
  EXPECT_EQ(console.windowTitle(), "Console");
  EXPECT_EQ(console.LV->headerItem()->text(0), "Time");
  EXPECT_EQ(console.LV->headerItem()->text(1), "Events");
  EXPECT_EQ(console.LV->columnWidth(0), 120);
  EXPECT_EQ(console.SaveAct->text(), "&Save");
  EXPECT_EQ(console.ClearAct->text(), "&Clear");
  EXPECT_EQ(console.OnTop->text(), "&Always On Top");
  auto* pages = console.findChild<QTabWidget*>("PageControl1");
  ASSERT_NE(pages, nullptr);
  EXPECT_EQ(pages->tabText(0), "General");
  EXPECT_EQ(pages->tabPosition(), QTabWidget::South);
}

TEST(ConsoleFrm, EntriesFromEveryThreadArriveInCallOrder) {
  TQtTestEnv env;
  TConsoleFrm console(*env.ui);
  SetLogSink(std::make_shared<TConsoleLogSink>(&console));

  LogStatus("gui first");
  EXPECT_EQ(Events(console), std::vector<std::string>{"STATUS   > gui first"});

  // A worker's entries wait for the GUI thread; one the GUI thread makes then comes after them.
  std::thread worker([] {
    for (int i = 0; i < 50; ++i) LogDebug("worker " + std::to_string(i));
  });
  worker.join();
  EXPECT_EQ(console.LV->topLevelItemCount(), 1);
  LogError("gui second");
  auto events = Events(console);
  ASSERT_EQ(events.size(), 52u);
  for (int i = 0; i < 50; ++i) EXPECT_EQ(events[1 + i], "DEBUG    > worker " + std::to_string(i));
  EXPECT_EQ(events.back(), "ERROR    > gui second");

  // Queued drains with nothing left do nothing.
  QCoreApplication::processEvents();
  EXPECT_EQ(console.LV->topLevelItemCount(), 52);
  SetLogSink(nullptr);
}

TEST(ConsoleFrm, ConcurrentWorkersKeepEachOwnOrder) {
  TQtTestEnv env;
  TConsoleFrm console(*env.ui);
  SetLogSink(std::make_shared<TConsoleLogSink>(&console));
  RunOnWorker([] {
    std::thread a([] {
      for (int i = 0; i < 200; ++i) LogStatus("a" + std::to_string(i));
    });
    std::thread b([] {
      for (int i = 0; i < 200; ++i) LogStatus("b" + std::to_string(i));
    });
    a.join();
    b.join();
  });
  QCoreApplication::processEvents();
  int nextA = 0, nextB = 0;
  for (const auto& e : console.Entries()) {
    const std::string expected =
        e.message[0] == 'a' ? "a" + std::to_string(nextA++) : "b" + std::to_string(nextB++);
    EXPECT_EQ(e.message, expected);
  }
  EXPECT_EQ(nextA, 200);
  EXPECT_EQ(nextB, 200);
  SetLogSink(nullptr);
}

TEST(ConsoleFrm, EntriesAfterTheConsoleIsGoneAreDropped) {
  TQtTestEnv env;
  auto console = std::make_unique<TConsoleFrm>(*env.ui);
  SetLogSink(std::make_shared<TConsoleLogSink>(console.get()));
  std::thread([] { LogStatus("late"); }).join();
  console.reset();
  QCoreApplication::processEvents();
  LogStatus("later");
  SetLogSink(nullptr);
}

TEST(ConsoleFrm, SavedLogIsOneLinePerRow) {
  TQtTestEnv env;
  TConsoleFrm console(*env.ui);
  TLogEntry status{"10.01.2024 12:00:01", "STATUS  ", "Backup complete.", 0};
  TLogEntry error{"10.01.2024 12:00:02", "ERROR   ", "User break!", 1};
  console.AddEntry(status);
  console.AddEntry(error);
  const std::string path = env.home.P("log.txt");
  env.ui->ScriptFileAnswers({env.home.W("log.txt")});
  console.SaveActExecute();
  EXPECT_EQ(ReadFile(path),
            "10.01.2024 12:00:01: STATUS   > Backup complete.\r\n"
            "10.01.2024 12:00:02: ERROR    > User break!\r\n");

  // An empty console writes an empty file, replacing the old one.
  console.ClearActExecute();
  EXPECT_EQ(console.LV->topLevelItemCount(), 0);
  env.ui->ScriptFileAnswers({env.home.W("log.txt")});
  console.SaveActExecute();
  EXPECT_EQ(ReadFile(path), "");

  // Cancelling writes nothing.
  env.ui->ScriptFileAnswers({std::nullopt});
  console.SaveActExecute();
  EXPECT_FALSE(platform::fs::Exists(env.home.W("other.txt")));
}

TEST(ConsoleFrm, FailedSaveIsReported) {
  TQtTestEnv env;
  TConsoleFrm console(*env.ui);
  console.AddEntry("STATUS  ", "x", 0);
  env.ui->ScriptFileAnswers({env.home.W("missing/folder/log.txt")});
  console.SaveActExecute();
  const auto asked = env.ui->AskedMessages();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_NE(asked[0].text.find("Cannot save the log"), std::string::npos);
  EXPECT_EQ(asked[0].kind, TMessageKind::Error);
}

TEST(ConsoleFrm, EventTextTakesTheColourOfItsLevel) {
  TQtTestEnv env;
  TConsoleFrm console(*env.ui);
  const std::pair<int, QColor> cases[] = {{0, Qt::black},         {1, QColor(255, 0, 0)},
                                          {2, QColor(0, 0, 128)}, {3, QColor(0, 0, 255)},
                                          {4, Qt::black},         {-1, Qt::black}};
  for (const auto& [level, colour] : cases) {
    console.AddEntry("LEVEL   ", "m", level);
    const auto* row = console.LV->topLevelItem(console.LV->topLevelItemCount() - 1);
    EXPECT_EQ(row->foreground(1).color(), colour) << level;
    EXPECT_EQ(row->text(1).toStdString(), "LEVEL    > m");
    EXPECT_FALSE(row->text(0).isEmpty());
  }
}

TEST(ConsoleFrm, EventsColumnFillsTheListButKeepsTenPixels) {
  TQtTestEnv env;
  TConsoleFrm console(*env.ui);
  console.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&console));
  console.resize(600, 300);
  QCoreApplication::processEvents();
  EXPECT_EQ(console.LV->columnWidth(1), console.LV->width() - 120 - 10);
  console.LV->resize(100, 100);  // narrower than the time column
  EXPECT_EQ(console.LV->columnWidth(1), 10);
}

TEST(ConsoleFrm, AlwaysOnTopToggles) {
  TQtTestEnv env;
  TConsoleFrm console(*env.ui);
  console.show();
  EXPECT_FALSE(console.OnTop->isChecked());
  console.OnTop->trigger();
  EXPECT_TRUE(console.OnTopState());
  EXPECT_TRUE(console.OnTop->isChecked());
  EXPECT_TRUE(console.isVisible());
  console.OnTopExecute();
  EXPECT_FALSE(console.OnTopState());
  EXPECT_FALSE(console.OnTop->isChecked());
}

}  // namespace
