#include "app/ui/settings/global_setting_frm.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>
#include <cstdlib>
#include <filesystem>

#include "app/engine/settings/global_setting.h"
#include "app/ui/settings/log_font_dialog.h"
#include "platform/fs/fs.h"
#include "platform/registry/registry.h"
#include "platform/registry/run_key_mirror.h"
#include "tests/support/modal_dialog.h"
#include "tests/support/qt_test_env.h"
#include "tests/support/server_process.h"
#include "tests/support/whole_captions.h"

namespace {

class GlobalSettingFrmTest : public ::testing::Test {
 protected:
  GlobalSettingFrmTest() {
    temp = env.home.W("tmp\\");
    platform::fs::CreateDirectories(temp);
  }
  TQtTestEnv env;
  std::string temp;
};

TEST_F(GlobalSettingFrmTest, LoadAndSaveRoundTripWithAccounts) {
  {
    TGlobalSetting settings;
    settings.ShowSplash = false;
    settings.StartDelayMinutes = 7;
    settings.PriorityIndex = 4;
    settings.TempFolder = temp;
    settings.NetworkTimeoutSec = 12;
    settings.RetryCount = 3;
    settings.ReconnectDelaySec = 4;
    settings.ConsoleOnTop = true;
    settings.AutoShowConsole = true;
    for (const char* caption : {"Home", "Work"}) {
      auto a = std::make_unique<TEmailAccount>();
      a->Caption = caption;
      a->SMTPServer = std::string("smtp.") + caption;
      settings.Accounts.push_back(std::move(a));
    }
    TGlobalSettingFrm frm(settings);
    EXPECT_EQ(frm.Edit1->text(), "7");
    EXPECT_EQ(frm.TrackBar1->value(), 4);
    ASSERT_EQ(frm.LV->topLevelItemCount(), 2);
    EXPECT_FALSE(frm.DeleteEmailAccount->isEnabled());  // nothing selected
    // An edit of the selected account, not saved explicitly, is written back on OK.
    frm.LV->setCurrentItem(frm.LV->topLevelItem(1));
    EXPECT_TRUE(frm.DeleteEmailAccount->isEnabled());
    EXPECT_EQ(frm.Edit6->text(), "smtp.Work");
    frm.Edit6->setText("smtp.changed");
    frm.Edit7->setText("587");
    frm.CreateEmailAccountExecute();
    EXPECT_EQ(frm.Edit8->text(), "Unnamed email account");
    frm.SpeedButton1Click();
    EXPECT_EQ(frm.result(), 1);
    ASSERT_EQ(settings.Accounts.size(), 3u);
    EXPECT_EQ(settings.Accounts[1]->SMTPServer, "smtp.changed");
    EXPECT_EQ(settings.Accounts[1]->Port, 587);
    settings.SaveOnDestroy = false;
  }
  TGlobalSetting stored;  // from the registry record OK wrote
  stored.SaveOnDestroy = false;
  EXPECT_FALSE(stored.ShowSplash);
  EXPECT_EQ(stored.StartDelayMinutes, 7);
  EXPECT_EQ(stored.NetworkTimeoutSec, 12);
  EXPECT_EQ(stored.TempFolder, temp);
  ASSERT_EQ(stored.Accounts.size(), 3u);
  EXPECT_EQ(stored.Accounts[2]->Caption, "Unnamed email account");
}

TEST_F(GlobalSettingFrmTest, ResetThenCancelChangesNothing) {
  TGlobalSetting settings;
  settings.SaveOnDestroy = false;
  settings.StartDelayMinutes = 9;
  settings.ShowSplash = false;
  settings.TempFolder = temp;
  TGlobalSettingFrm frm(settings);
  frm.SpeedButton3Click();
  EXPECT_EQ(frm.Edit1->text(), "0");
  EXPECT_TRUE(frm.CheckBox2->isChecked());
  frm.SpeedButton2Click();
  EXPECT_EQ(frm.result(), 2);
  EXPECT_EQ(settings.StartDelayMinutes, 9);
  EXPECT_FALSE(settings.ShowSplash);
}

TEST_F(GlobalSettingFrmTest, ValidationMessagesCommitNothing) {
  TGlobalSetting settings;
  settings.SaveOnDestroy = false;
  settings.TempFolder = temp;
  const struct {
    std::function<void(TGlobalSettingFrm&)> edit;
    const char* message;
  } cases[] = {
      {[](TGlobalSettingFrm& f) { f.Edit2->setText("Z:\\no\\such\\folder"); },
       "Please choose a valid temp folder"},
      {[](TGlobalSettingFrm& f) { f.Edit1->clear(); },
       "Please enter how many minutes after startup before running."},
      {[](TGlobalSettingFrm& f) { f.Edit3->clear(); },
       "Please complete setting in Transfer setting."},
      {[](TGlobalSettingFrm& f) { f.Edit1->setText("x"); },
       "Please enter how many minutes after startup before running with numbers."},
      {[](TGlobalSettingFrm& f) { f.Edit5->setText("many"); },
       "Please enter how many minutes after startup before running with numbers."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    TGlobalSettingFrm frm(settings);
    frm.CheckBox2->setChecked(false);
    c.edit(frm);
    env.ui->ClearAskedMessages();
    frm.SpeedButton1Click();
    EXPECT_EQ(frm.result(), 0);
    const auto asked = env.ui->AskedMessages();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].text, c.message);
    EXPECT_TRUE(settings.ShowSplash);
  }
  // Auto retry off: an empty retries field is no error and keeps the count.
  TGlobalSettingFrm frm(settings);
  frm.CheckBox3->setChecked(false);
  EXPECT_FALSE(frm.CheckBox4->isEnabled());
  frm.Edit5->clear();
  frm.SpeedButton1Click();
  EXPECT_EQ(frm.result(), 1);
  EXPECT_EQ(settings.RetryCount, 30);
  EXPECT_FALSE(settings.AutoRetry);
}

TEST_F(GlobalSettingFrmTest, RetriesFieldFollowsUnlimited) {
  TGlobalSetting settings;
  settings.SaveOnDestroy = false;
  TGlobalSettingFrm frm(settings);
  frm.CheckBox3->setChecked(true);
  frm.CheckBox4->setChecked(true);
  EXPECT_FALSE(frm.Edit5->isEnabled());
  frm.CheckBox4->setChecked(false);
  EXPECT_TRUE(frm.Edit5->isEnabled());
  EXPECT_FALSE(frm.Edit5->isReadOnly());
  frm.CheckBox7->setChecked(false);
  EXPECT_FALSE(frm.CheckBox8->isEnabled());
}

TEST_F(GlobalSettingFrmTest, DeletingAccountsAsksAndEmptiesTheList) {
  TGlobalSetting settings;
  settings.SaveOnDestroy = false;
  settings.Accounts.push_back(std::make_unique<TEmailAccount>());
  TGlobalSettingFrm frm(settings);
  frm.LV->setCurrentItem(frm.LV->topLevelItem(0));
  env.ui->ScriptMessageAnswers({TModalResult::Yes});
  frm.DeleteEmailAccountExecute();
  EXPECT_EQ(frm.LV->topLevelItemCount(), 0);
  EXPECT_TRUE(frm.Accounts().empty());
  EXPECT_FALSE(frm.TestEmailAccount->isEnabled());
  ASSERT_EQ(env.ui->AskedMessages().size(), 1u);
  EXPECT_EQ(env.ui->AskedMessages()[0].title, "Delete Warning");
  EXPECT_EQ(settings.Accounts.size(), 1u);  // until OK
}

TEST_F(GlobalSettingFrmTest, StartWithWindowsCreatesAndRemovesTheAutostartEntry) {
  TGlobalSetting settings;
  settings.SaveOnDestroy = false;
  settings.TempFolder = temp;
  const std::string entry = platform::registry::AutostartFolder() + "/" +
                            platform::registry::AutostartFileName("QUORVABACKUP");
  {
    TGlobalSettingFrm frm(settings);
    frm.CheckBox1->setChecked(true);
    frm.SpeedButton1Click();
    ASSERT_EQ(frm.result(), 1);
  }
  ASSERT_TRUE(std::filesystem::exists(entry));
  EXPECT_EQ(std::system(("desktop-file-validate '" + entry + "'").c_str()), 0);
  auto key = platform::registry::Key::Open(platform::registry::Hive::CurrentUser,
                                           platform::registry::kRunKeyPath, false);
  ASSERT_TRUE(key);
  EXPECT_TRUE(key->ReadString("QUORVABACKUP"));
  {
    TGlobalSettingFrm frm(settings);
    frm.CheckBox1->setChecked(false);
    frm.SpeedButton1Click();
  }
  EXPECT_FALSE(std::filesystem::exists(entry));
}

TEST_F(GlobalSettingFrmTest, TestMailShowsSuccessAndFailure) {
  const std::string out = env.home.P("mail");
  std::filesystem::create_directories(out);
  TServerProcess server("engine/servers/smtp_server.py", {"--out", out});
  TGlobalSetting settings;
  settings.SaveOnDestroy = false;
  settings.NetworkTimeoutSec = 10;
  auto a = std::make_unique<TEmailAccount>();
  a->SMTPServer = "127.0.0.1";
  a->Port = server.Port();
  a->From = "backup@example.org";
  a->To = "ann@example.org";
  a->Subject = "Test";
  a->Body = "Hello";
  settings.Accounts.push_back(std::move(a));
  TGlobalSettingFrm frm(settings);
  frm.LV->setCurrentItem(frm.LV->topLevelItem(0));
  frm.TestEmailAccountExecute();
  auto asked = env.ui->AskedMessages();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].text, "The test email has been sent.");
  EXPECT_EQ(frm.windowTitle(), "Global Settings");
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(out))
    files += e.path().extension() == ".json";
  EXPECT_EQ(files, 1);

  env.ui->ClearAskedMessages();
  frm.Edit7->setText(QString::number(UnusedLoopbackPort()));
  frm.TestEmailAccountExecute();
  asked = env.ui->AskedMessages();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].text, "The test email could not be sent. Check error in console window");
}

// "Wait" is one edit with its up-down control: the arrows step what was typed, and a typed
// value is never overwritten by the control.
TEST_F(GlobalSettingFrmTest, WaitIsOneEditWithAnUpDownControl) {
  TGlobalSetting settings;
  settings.SaveOnDestroy = false;
  settings.StartDelayMinutes = 5;
  TGlobalSettingFrm frm(settings);
  EXPECT_TRUE(frm.findChildren<QSpinBox*>().isEmpty());
  EXPECT_TRUE(frm.UpDown1->isAncestorOf(frm.Edit1));
  EXPECT_EQ(frm.Edit1->text(), "5");
  frm.Edit1->setText("12");
  frm.UpDown1->stepBy(1);
  EXPECT_EQ(frm.Edit1->text(), "13");
  frm.UpDown1->stepBy(-20);
  EXPECT_EQ(frm.Edit1->text(), "0");
  frm.Edit1->setText("5999");
  frm.UpDown1->stepBy(5);
  EXPECT_EQ(frm.Edit1->text(), "6000");
  frm.Edit1->setText("x");  // kept for the dialog's own check
  EXPECT_EQ(frm.Edit1->text(), "x");
  frm.Edit1->setText("42");
  frm.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&frm));
  EXPECT_GT(frm.Edit1->width(), frm.Edit1->fontMetrics().horizontalAdvance("6000"));
  frm.SpeedButton1Click();
  ASSERT_EQ(frm.result(), 1);
  EXPECT_EQ(settings.StartDelayMinutes, 42);
}

TEST_F(GlobalSettingFrmTest, PriorityLabelsStandUnderTheEndsAndTheMiddleOfTheSlider) {
  TGlobalSetting settings;
  settings.SaveOnDestroy = false;
  TGlobalSettingFrm frm(settings);
  frm.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&frm));
  const QRect slider(frm.TrackBar1->mapTo(&frm, QPoint(0, 0)), frm.TrackBar1->size());
  auto at = [&](QLabel* label) { return QRect(label->mapTo(&frm, QPoint(0, 0)), label->size()); };
  const QRect low = at(frm.PriorityLow), normal = at(frm.PriorityNormal),
              high = at(frm.PriorityHigh);
  EXPECT_EQ(frm.PriorityLow->text(), "Low");
  EXPECT_EQ(frm.PriorityNormal->text(), "Normal");
  EXPECT_EQ(frm.PriorityHigh->text(), "High");
  for (const QRect& r : {low, normal, high}) EXPECT_GE(r.top(), slider.bottom());
  EXPECT_LE(std::abs(low.left() - slider.left()), 4);
  EXPECT_LE(std::abs(high.right() - slider.right()), 4);
  EXPECT_LE(std::abs(normal.center().x() - slider.center().x()), 4);
}

TEST_F(GlobalSettingFrmTest, TestButtonKeepsItsDots) {
  TGlobalSetting settings;
  settings.SaveOnDestroy = false;
  TGlobalSettingFrm frm(settings);
  auto* button = qobject_cast<QToolButton*>(frm.ToolBar1->widgetForAction(frm.TestEmailAccount));
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(button->text(), "Test...");
}

TEST_F(GlobalSettingFrmTest, LogFontColourCanBeChosen) {
  TGlobalSetting settings;
  settings.SaveOnDestroy = false;
  settings.TempFolder = temp;
  TGlobalSettingFrm frm(settings);
  OnModalDialog<TLogFontDialog>([](TLogFontDialog& d) {
    d.SetColor(QColor(0x12, 0x34, 0x56));
    QTest::mouseClick(d.OKBtn, Qt::LeftButton);
  });
  frm.SpeedButton5Click();
  EXPECT_EQ(frm.Panel1->styleSheet(), "color: #123456");
  frm.SpeedButton1Click();
  ASSERT_EQ(frm.result(), 1);
  EXPECT_EQ(settings.LogFontColor, 0x563412);  // 0x00BBGGRR
  // Cancel keeps the colour.
  TGlobalSettingFrm again(settings);
  OnModalDialog<TLogFontDialog>([](TLogFontDialog& d) {
    d.SetColor(Qt::red);
    QTest::mouseClick(d.CancelBtn, Qt::LeftButton);
  });
  again.SpeedButton5Click();
  EXPECT_EQ(again.Panel1->styleSheet(), "color: #123456");
}

TEST_F(GlobalSettingFrmTest, DefaultSizeShowsEveryTabWhole) {
  TGlobalSetting settings;
  settings.SaveOnDestroy = false;
  TGlobalSettingFrm frm(settings);
  frm.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&frm));
  ASSERT_EQ(frm.PageControl1->count(), 4);
  ExpectEveryTabWhole(frm.PageControl1);
  frm.PageControl1->setCurrentIndex(2);
  QCoreApplication::processEvents();
  ExpectEveryHeaderWhole(frm.LV->header());
}

}  // namespace
