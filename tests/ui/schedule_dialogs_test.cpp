#include <gtest/gtest.h>

#include <QTest>

#include "app/engine/schedule/schedule.h"
#include "app/ui/schedule/choose_project_to_schedule.h"
#include "app/ui/schedule/schedule_cfg_frm.h"
#include "platform/shell/shell.h"
#include "tests/support/child_process.h"
#include "tests/support/modal_dialog.h"
#include "tests/support/pam_matrix_service.h"
#include "tests/support/qt_test_env.h"

namespace {

class ScheduleDialogsTest : public ::testing::Test {
 protected:
  // The texts of the message boxes asked since the last call.
  std::vector<std::string> Messages() {
    std::vector<std::string> texts;
    for (const auto& m : env.ui->AskedMessages()) texts.push_back(m.text);
    env.ui->ClearAskedMessages();
    return texts;
  }

  TQtTestEnv env;
};

TEST_F(ScheduleDialogsTest, ConfigurationStartsEmpty) {
  TScheduleCfgFrm frm;
  EXPECT_EQ(frm.windowTitle(), "Schedule Configuration");
  for (QRadioButton* kind : {frm.RunAtStartup, frm.RunEvery, frm.RunAt}) {
    EXPECT_FALSE(kind->isChecked()) << kind->text().toStdString();
  }
  EXPECT_EQ(frm.RunAtStartup->text(), "Run when starts up");
  EXPECT_EQ(frm.StopAfter->text(), "Stop this scheduled task after executed for");
  EXPECT_EQ(frm.AccountBox->title(), "Account information");
  for (QLineEdit* f : {frm.EveryDays, frm.EveryHours, frm.EveryMinutes, frm.AtHour, frm.AtMinute,
                       frm.AtSecond, frm.StopTimes, frm.RunAsAccount, frm.Password})
    EXPECT_TRUE(f->text().isEmpty()) << f->objectName().toStdString();
  EXPECT_FALSE(frm.StopAfter->isChecked());
  EXPECT_EQ(frm.Password->echoMode(), QLineEdit::Password);
  EXPECT_TRUE(frm.RunAsAccount->isEnabled());
  EXPECT_TRUE(frm.Password->isEnabled());
  EXPECT_EQ(frm.RunAsAccount->toolTip().toStdString(),
            "Example: " + platform::shell::UserName() + "@" + platform::shell::ComputerName());
}

TEST_F(ScheduleDialogsTest, ScheduleRoundTripsThroughTheForm) {
  struct Case {
    std::int32_t kind, a, b, c, stop;
    const char* account;
    const char* password;
  };
  const Case cases[] = {
      {0, 0, 0, 0, -1, "", ""},
      {0, 0, 0, 0, 3, "zoë@büro", "pässwort"},
      {1, 2, 0, 30, -1, "ann@host", ""},
      {1, 0, 24, 0, 0, "", "secret"},
      {2, 23, 59, 1, 12, "", ""},
      {2, 0, 0, 0, std::numeric_limits<std::int32_t>::max(), "a@b", "c"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "kind " << c.kind << " stop " << c.stop);
    TSchedule s;
    s.Kind = c.kind;
    if (c.kind == 1) s.EveryDays = c.a, s.EveryHours = c.b, s.EveryMinutes = c.c;
    if (c.kind == 2) s.AtHour = c.a, s.AtMinute = c.b, s.AtSecond = c.c;
    s.StopAfterTimes = c.stop;
    s.RunAsAccount = c.account;
    s.Password = c.password;
    TScheduleCfgFrm frm;
    frm.ScheduleToForm(s);
    EXPECT_EQ(frm.StopAfter->isChecked(), c.stop != -1);
    EXPECT_EQ(frm.StopTimes->text(), QString::number(c.stop));  // -1 shows as "-1"
    EXPECT_EQ(frm.RunEvery->isChecked() ? frm.EveryHours->text() : QString(),
              c.kind == 1 ? QString::number(c.b) : QString());
    EXPECT_TRUE(frm.ValidateInput());

    // Into a schedule whose other numbers differ: only the kind's numbers change.
    TSchedule t;
    t.Kind = 5;
    t.EveryDays = t.EveryHours = t.EveryMinutes = t.AtHour = t.AtMinute = t.AtSecond = 77;
    t.StopAfterTimes = 99;
    frm.FormToSchedule(t);
    EXPECT_EQ(t.Kind, c.kind);
    EXPECT_EQ(t.EveryDays, c.kind == 1 ? c.a : 77);
    EXPECT_EQ(t.EveryHours, c.kind == 1 ? c.b : 77);
    EXPECT_EQ(t.EveryMinutes, c.kind == 1 ? c.c : 77);
    EXPECT_EQ(t.AtHour, c.kind == 2 ? c.a : 77);
    EXPECT_EQ(t.AtMinute, c.kind == 2 ? c.b : 77);
    EXPECT_EQ(t.AtSecond, c.kind == 2 ? c.c : 77);
    EXPECT_EQ(t.StopAfterTimes, c.stop);
    EXPECT_EQ(t.RunAsAccount, c.account);
    EXPECT_EQ(t.Password, c.password);
  }
}

TEST_F(ScheduleDialogsTest, OkChecksTheInput) {
  const std::string complete = "Please complete setting";
  const std::string account =
      "The account should be like this: account'sname@computer'sname, please re-enter the "
      "account";
  struct Case {
    const char* label;
    int kind;  // -1: none checked
    QStringList numbers;
    bool stop;
    QString stopText;
    QString account;
    std::string message;  // empty: the dialog ends with OK
  };
  const Case cases[] = {
      {"no kind", -1, {}, false, "", "", complete},
      {"no kind, numbers", -1, {"1", "2", "3"}, true, "4", "", complete},
      {"start-up, nothing else", 0, {}, false, "", "", ""},
      {"start-up, stop ticked and empty", 0, {}, true, "", "", complete},
      {"start-up, stop ticked", 0, {}, true, "2", "", ""},
      {"every, all given", 1, {"1", "2", "3"}, false, "", "", ""},
      {"every, one empty", 1, {"1", "", "3"}, false, "", "", complete},
      {"every, not a number", 1, {"1", "x", "3"}, false, "", "", complete},
      {"every, a fraction", 1, {"1", "2.5", "3"}, false, "", "", complete},
      {"every, too big", 1, {"1", "99999999999", "3"}, false, "", "", complete},
      {"every, blanks and signs", 1, {" 1 ", "-2", "+3"}, false, "", "", ""},
      {"every, stop unticked and empty", 1, {"1", "2", "3"}, false, "", "", ""},
      {"every, stop unticked, no number", 1, {"1", "2", "3"}, false, "many", "", ""},
      {"every, stop ticked, no number", 1, {"1", "2", "3"}, true, "many", "", complete},
      {"at, all given, stop", 2, {"23", "59", "59"}, true, "3", "", ""},
      {"at, one empty", 2, {"", "0", "0"}, false, "", "", complete},
      {"account without at sign", 1, {"1", "2", "3"}, false, "", "ann", account},
      {"account with at sign", 1, {"1", "2", "3"}, false, "", "ann@host", ""},
      {"account given, input incomplete", 1, {"", "2", "3"}, false, "", "ann", complete},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    TScheduleCfgFrm frm;
    QRadioButton* kinds[] = {frm.RunAtStartup, frm.RunEvery, frm.RunAt};
    if (c.kind >= 0) kinds[c.kind]->setChecked(true);
    QLineEdit* fields[2][3] = {{frm.EveryDays, frm.EveryHours, frm.EveryMinutes},
                               {frm.AtHour, frm.AtMinute, frm.AtSecond}};
    for (int i = 0; i < c.numbers.size(); ++i)
      fields[c.kind == 2 ? 1 : 0][i]->setText(c.numbers[i]);
    frm.StopAfter->setChecked(c.stop);
    frm.StopTimes->setText(c.stopText);
    frm.RunAsAccount->setText(c.account);
    Messages();
    QTest::mouseClick(frm.OKBtn, Qt::LeftButton);
    if (c.message.empty()) {
      EXPECT_EQ(frm.result(), 1);
      EXPECT_TRUE(Messages().empty());
    } else {
      EXPECT_EQ(frm.result(), 0);
      EXPECT_EQ(Messages(), std::vector<std::string>{c.message});
    }
  }
}

TEST_F(ScheduleDialogsTest, ModalResults) {
  struct Case {
    const char* label;
    std::function<void(TScheduleCfgFrm&)> act;
    int result;
  };
  const Case cases[] = {
      {"OK",
       [](TScheduleCfgFrm& f) {
         f.RunAtStartup->setChecked(true);
         QTest::mouseClick(f.OKBtn, Qt::LeftButton);
       },
       1},
      {"Cancel", [](TScheduleCfgFrm& f) { QTest::mouseClick(f.CancelBtn, Qt::LeftButton); }, 2},
      {"Escape", [](TScheduleCfgFrm& f) { QTest::keyClick(&f, Qt::Key_Escape); }, 2},
  };
  for (const Case& c : cases) {
    TScheduleCfgFrm frm;
    OnModalDialog<TScheduleCfgFrm>(c.act);
    EXPECT_EQ(frm.exec(), c.result) << c.label;
  }
}

TEST_F(ScheduleDialogsTest, TestButtonWithoutPam) {
  TScheduleCfgFrm frm;
  QTest::mouseClick(frm.TestBtn, Qt::LeftButton);
  EXPECT_EQ(Messages(), std::vector<std::string>{"Please specify an account first!"});
  frm.RunAsAccount->setText(QString::fromStdString("ann@not-" + platform::shell::ComputerName()));
  QTest::mouseClick(frm.TestBtn, Qt::LeftButton);
  EXPECT_EQ(Messages(), std::vector<std::string>{"Test failed!"});
  EXPECT_EQ(frm.result(), 0);
}

TEST_F(ScheduleDialogsTest, TestButtonUnderPamWrapper) {
  if (IsTestChild()) GTEST_SKIP() << "the child runs the cases";
  TPamMatrixService pam;
  pam.AddUser("qvpassdbonly", "s3cret");
  std::string out;
  EXPECT_EQ(RunThisProgram("ScheduleDialogsPamChild.*", pam.Environment(), &out), 0) << out;
  EXPECT_NE(out.find("[  PASSED  ] 1 test"), std::string::npos) << out;
}

TEST(ScheduleDialogsPamChild, TestButton) {
  if (!IsTestChild()) GTEST_SKIP() << "run by ScheduleDialogsTest.TestButtonUnderPamWrapper";
  TQtTestEnv env;
  TScheduleCfgFrm frm;
  const QString account = QString::fromStdString("qvpassdbonly@" + platform::shell::ComputerName());
  for (auto [password, answer] :
       {std::pair{"s3cret", "Test OK!"}, std::pair{"wrong", "Test failed!"}}) {
    env.ui->ClearAskedMessages();
    frm.RunAsAccount->setText(account);
    frm.Password->setText(password);
    QTest::mouseClick(frm.TestBtn, Qt::LeftButton);
    const auto asked = env.ui->AskedMessages();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].text, answer);
  }
}

class ChooseProjectTest : public ScheduleDialogsTest {
 protected:
  const std::vector<std::pair<std::string, std::string>> projects = {
      {"Alpha", "Z:\\jobs\\Alpha.bpj"}, {"Beta", "Z:\\jobs\\Beta.bpj"}};
};

TEST_F(ChooseProjectTest, ListsTheProjects) {
  TChooseProjectToSchedule frm(projects);
  EXPECT_EQ(frm.windowTitle(), "Choose project to schedule");
  EXPECT_TRUE(frm.FromManager->isChecked());
  EXPECT_EQ(frm.FromManager->text(), "choose project from Project Manager");
  EXPECT_EQ(frm.FromOther->text(), "choose project from other location...");
  ASSERT_EQ(frm.ProjectList->topLevelItemCount(), 2);
  EXPECT_EQ(frm.ProjectList->headerItem()->text(0), "Name");
  EXPECT_EQ(frm.ProjectList->headerItem()->text(1), "Location");
  EXPECT_EQ(frm.ProjectList->columnWidth(0), 120);
  EXPECT_EQ(frm.ProjectList->columnWidth(1), 220);
  EXPECT_EQ(frm.ProjectList->topLevelItem(1)->text(0), "Beta");
  EXPECT_EQ(frm.ProjectList->topLevelItem(1)->text(1), "Z:\\jobs\\Beta.bpj");
}

TEST_F(ChooseProjectTest, OkYieldsTheChoice) {
  struct Case {
    const char* label;
    bool other;
    int row;  // -1: none selected
    QString path;
    int result;
    std::string name, file;
  };
  const Case cases[] = {
      {"nothing selected", false, -1, "", 0, "", ""},
      {"a row", false, 1, "Z:\\ignored.bpj", 1, "Beta", "Z:\\jobs\\Beta.bpj"},
      {"other, no path", true, 0, "", 0, "", ""},
      {"other, a path", true, 0, "Z:\\else\\x.bpj", 1, "", "Z:\\else\\x.bpj"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    TChooseProjectToSchedule frm(projects);
    if (c.row >= 0) frm.ProjectList->topLevelItem(c.row)->setSelected(true);
    if (c.other) frm.FromOther->setChecked(true);
    frm.PathEdit->setText(c.path);
    Messages();
    QTest::mouseClick(frm.OKBtn, Qt::LeftButton);
    EXPECT_EQ(frm.result(), c.result);
    if (c.result == 1) {
      EXPECT_TRUE(Messages().empty());
      EXPECT_EQ(frm.ProjectName, c.name);
      EXPECT_EQ(frm.ProjectFile, c.file);
    } else {
      EXPECT_EQ(Messages(), std::vector<std::string>{"Please choose a project"});
    }
  }
}

TEST_F(ChooseProjectTest, BrowseAndCancel) {
  TChooseProjectToSchedule frm(projects);
  env.ui->ScriptFileAnswers({std::string("Z:\\else\\chosen.bpj"), std::nullopt});
  QTest::mouseClick(frm.BrowseBtn, Qt::LeftButton);
  EXPECT_EQ(frm.PathEdit->text(), "Z:\\else\\chosen.bpj");
  QTest::mouseClick(frm.BrowseBtn, Qt::LeftButton);  // cancelled: the path stays
  EXPECT_EQ(frm.PathEdit->text(), "Z:\\else\\chosen.bpj");
  OnModalDialog<TChooseProjectToSchedule>(
      [](TChooseProjectToSchedule& f) { QTest::mouseClick(f.CancelBtn, Qt::LeftButton); });
  EXPECT_EQ(frm.exec(), 2);
}

}  // namespace
