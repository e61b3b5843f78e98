#include "app/ui/run/qt_user_interface.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include "app/ui/run/overwrite_frm.h"
#include "app/ui/run/password_frm.h"
#include "tests/support/qt_test_env.h"

namespace {

TEST(QtUserInterface, WorkerRequestsRunOnTheGuiThreadInOrder) {
  TQtTestEnv env;
  env.ui->ScriptMessageAnswers({TModalResult::Yes, TModalResult::No});
  std::vector<bool> onGui;
  QObject::connect(env.ui.get(), &TQtUserInterface::messageAsked,
                   [&] { onGui.push_back(QThread::currentThread() == qApp->thread()); });
  std::vector<TModalResult> answers;
  RunOnWorker([&] {
    answers.push_back(
        env.ui->MessageBox("first", "T", TMessageButtons::YesNo, TMessageKind::Question));
    answers.push_back(
        env.ui->MessageBox("second", "T", TMessageButtons::YesNoCancel, TMessageKind::Question));
    answers.push_back(
        env.ui->MessageBox("third", "T", TMessageButtons::YesNoCancel, TMessageKind::Question));
  });
  EXPECT_EQ(answers,
            (std::vector<TModalResult>{TModalResult::Yes, TModalResult::No, TModalResult::Cancel}));
  EXPECT_EQ(onGui, (std::vector<bool>{true, true, true}));
  const auto asked = env.ui->AskedMessages();
  ASSERT_EQ(asked.size(), 3u);
  EXPECT_EQ(asked[0].text, "first");
  EXPECT_EQ(asked[2].text, "third");
}

TEST(QtUserInterface, UnscriptedQuestionsGetTheCautiousAnswer) {
  TQtTestEnv env;
  const std::pair<TMessageButtons, TModalResult> cases[] = {
      {TMessageButtons::Ok, TModalResult::Ok},
      {TMessageButtons::OkCancel, TModalResult::Cancel},
      {TMessageButtons::YesNo, TModalResult::No},
      {TMessageButtons::YesNoCancel, TModalResult::Cancel}};
  for (const auto& [buttons, answer] : cases)
    EXPECT_EQ(env.ui->MessageBox("x", "y", buttons, TMessageKind::Question), answer);
}

TEST(QtUserInterface, ShownMessageBoxMapsTheButtonPressed) {
  TQtUserInterface ui;  // no script: a real box
  QTimer::singleShot(0, [] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->windowTitle(), "Please confirm");
    EXPECT_EQ(box->text(), "Really?");
    box->button(QMessageBox::No)->click();
  });
  EXPECT_EQ(
      ui.MessageBox("Really?", "Please confirm", TMessageButtons::YesNo, TMessageKind::Question),
      TModalResult::No);
}

TEST(QtUserInterface, StatusBarFollowsTheWorker) {
  TQtTestEnv env;
  QProgressBar bar;
  QLabel panel0, panel1;
  env.ui->AttachStatusBar(&bar, {&panel0, &panel1});
  bar.hide();
  int maximumSeen = 0;
  bool shownOnWorker = false;
  RunOnWorker([&] {
    env.ui->StatusProgressShow(5);
    shownOnWorker = !bar.isHidden();
    env.ui->StatusProgressSetPosition(1);
    env.ui->StatusProgressStep();
    env.ui->StatusProgressStep();
    maximumSeen = env.ui->StatusProgressMaximum();
    env.ui->SetStatusPanel(1, "Backing up Files ...");
  });
  EXPECT_TRUE(shownOnWorker);
  EXPECT_EQ(maximumSeen, 5);
  EXPECT_EQ(bar.value(), 3);
  EXPECT_EQ(panel1.text(), "Backing up Files ...");
  EXPECT_EQ(panel0.text(), "");
  // Stepping stops at the maximum; a panel out of range is ignored.
  for (int i = 0; i < 10; ++i) env.ui->StatusProgressStep();
  EXPECT_EQ(bar.value(), 5);
  env.ui->SetStatusPanel(7, "nowhere");
  env.ui->StatusProgressHide();
  EXPECT_TRUE(bar.isHidden());
}

TEST(QtUserInterface, DestroyedStatusBarIsIgnored) {
  TQtTestEnv env;
  {
    QProgressBar bar;
    QLabel panel;
    env.ui->AttachStatusBar(&bar, {&panel});
  }
  env.ui->StatusProgressShow(3);
  env.ui->StatusProgressStep();
  env.ui->SetStatusPanel(0, "gone");
  EXPECT_EQ(env.ui->StatusProgressMaximum(), 100);
}

TEST(QtUserInterface, ScriptedArchiveDialogsKeepFilesAndGiveNoPassword) {
  TQtTestEnv env;
  const TOverwriteAnswer answer = env.ui->ConfirmOverwrite("Z:\\data\\a.txt");
  EXPECT_FALSE(answer.overwrite);
  EXPECT_FALSE(env.ui->AskPassword().has_value());
  const auto asked = env.ui->AskedMessages();
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[0].title, "Confirm overwrite");
  EXPECT_EQ(asked[0].text, "Z:\\data\\a.txt");
  EXPECT_EQ(asked[1].title, "Need Password");

  env.ui->SetOverwritePrompt([](std::string_view) { return TOverwriteAnswer{true, true}; });
  env.ui->SetPasswordPrompt([] { return std::optional<std::string>("secret"); });
  RunOnWorker([&] {
    EXPECT_TRUE(env.ui->ConfirmOverwrite("Z:\\x").remember);
    EXPECT_EQ(env.ui->AskPassword().value_or(""), "secret");
  });
}

TEST(QtUserInterface, ArchiveDialogsShowTheirForms) {
  TQtUserInterface ui;  // no script: the forms themselves
  QTimer::singleShot(0, [] {
    auto* frm = qobject_cast<TOverwriteFrm*>(QApplication::activeModalWidget());
    ASSERT_NE(frm, nullptr);
    frm->RadioButton2->click();
    frm->CheckBox1->click();
    frm->OKBtn->click();
  });
  const TOverwriteAnswer answer = ui.ConfirmOverwrite("Z:\\data\\a.txt");
  EXPECT_FALSE(answer.overwrite);
  EXPECT_TRUE(answer.remember);

  QTimer::singleShot(0, [] {
    auto* frm = qobject_cast<TEnterPasswordFrm*>(QApplication::activeModalWidget());
    ASSERT_NE(frm, nullptr);
    frm->Edit1->setText("geheim");
    frm->OKBtn->click();
  });
  EXPECT_EQ(ui.AskPassword().value_or(""), "geheim");
  QTimer::singleShot(0, [] {
    auto* frm = qobject_cast<TEnterPasswordFrm*>(QApplication::activeModalWidget());
    ASSERT_NE(frm, nullptr);
    frm->CancelBtn->click();
  });
  EXPECT_FALSE(ui.AskPassword().has_value());
}

TEST(QtUserInterface, FileDialogsTakeScriptedPaths) {
  TQtTestEnv env;
  env.ui->ScriptFileAnswers({std::string("Z:\\tmp\\v2.qvp"), std::nullopt});
  std::optional<std::string> first, second, third;
  RunOnWorker([&] {
    first = env.ui->ChooseFile("Choose file for volume 2", "Z:\\tmp\\v.z02", "*");
    second = env.ui->ChooseSaveFile("", "Text File|*.txt", "txt");
    third = env.ui->ChooseFile("t", "", "*");
  });
  EXPECT_EQ(first.value_or(""), "Z:\\tmp\\v2.qvp");
  EXPECT_FALSE(second.has_value());
  EXPECT_FALSE(third.has_value());
}

TEST(QtUserInterface, FileFiltersInQtForm) {
  const std::pair<const char*, const char*> cases[] = {
      {"Text File|*.txt", "Text File (*.txt)"},
      {"*", "* (*)"},
      {"", ""},
      {"Archives|*.qvp;*.zip|All|*", "Archives (*.qvp *.zip);;All (*)"},
      // The pages' filters name their patterns already: shown once.
      {"Quorva Backup Project File (*.bpj)|*.bpj", "Quorva Backup Project File (*.bpj)"},
      {"Quorva Backup File (*.qvp)|*.qvp", "Quorva Backup File (*.qvp)"},
      {"Quorva Backup Project File (*.bpj)|*.bpj|Quorva Backup sets (*.qvp)|*.qvp",
       "Quorva Backup Project File (*.bpj);;Quorva Backup sets (*.qvp)"},
      // "*.*" is every file, also a name without a dot.
      {"Prorgram (*.exe)|*.exe|All Files|*.*", "Prorgram (*.exe);;All Files (*)"},
      {"All files (*.*)|*.*", "All files (*)"},
      {"*.*", "* (*)"},
      {"Some|*.txt;*.*", "Some (*.txt *)"},
      {"Dotted|*.*.bak", "Dotted (*.*.bak)"},
      {"Both (*.a *.b)|*.a;*.b", "Both (*.a *.b)"},
      {"Both (*.a;*.b)|*.a;*.b", "Both (*.a *.b)"},
      // Other parentheses are no patterns.
      {"Old (*.x)|*.y", "Old (*.x) (*.y)"},
      {"Sets (new)|*.qvp", "Sets (new) (*.qvp)"}};
  for (const auto& [in, out] : cases) EXPECT_EQ(QtFileFilter(in).toStdString(), out) << in;
}

TEST(QtUserInterface, BackupSetsGoToTheHandler) {
  TQtTestEnv env;
  env.ui->ShowBackupSet("Z:\\nobody\\listens.qvp");  // no handler yet: ignored
  std::vector<std::string> shown;
  env.ui->SetBackupSetHandler([&](const std::string& path) { shown.push_back(path); });
  RunOnWorker([&] { env.ui->ShowBackupSet("Z:\\out\\job.qvp"); });
  EXPECT_EQ(shown, std::vector<std::string>{"Z:\\out\\job.qvp"});
}

}  // namespace
