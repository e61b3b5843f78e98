#include <gtest/gtest.h>

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>
#include <QTreeView>
#include <functional>

#include "app/engine/progress.h"
#include "app/ui/about_frm.h"
#include "app/ui/project/after_backup_frm.h"
#include "app/ui/project/invalid_files_frm.h"
#include "app/ui/project/proxy_frm.h"
#include "app/ui/run/overwrite_frm.h"
#include "app/ui/run/password_frm.h"
#include "app/ui/run/rename_frm.h"
#include "app/ui/settings/mail_body_frm.h"
#include "app/ui/splash_wnd.h"
#include "app/ui/widgets/browse_for_folder.h"
#include "app/ui/widgets/jpeg_image.h"
#include "tests/support/qt_test_env.h"

namespace {

// Runs `body` on the modal window that the next blocking call opens, from inside its loop.
void OnNextModal(std::function<void(QWidget*)> body) {
  QMetaObject::invokeMethod(
      qApp, [body] { body(QApplication::activeModalWidget()); }, Qt::QueuedConnection);
}

// Closes the next message box and keeps its text.
void AnswerNextMessage(QString* text) {
  OnNextModal([text](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    ASSERT_NE(box, nullptr);
    *text = box->text();
    box->accept();
  });
}

class SmallDialogsTest : public ::testing::Test {
 protected:
  TQtTestEnv env;
};

TEST_F(SmallDialogsTest, OverwriteUntouchedAnswersOverwriteWithoutRemembering) {
  TOverwriteFrm frm;
  EXPECT_EQ(frm.windowTitle(), "Confirm overwrite");
  EXPECT_EQ(frm.RadioButton1->text(), "Overwrite the existing file");
  EXPECT_EQ(frm.RadioButton2->text(), "Skip to keep existing file");
  EXPECT_EQ(frm.CheckBox1->text(), "Remember my choice");
  EXPECT_TRUE(frm.RadioButton1->isChecked());
  frm.show();
  QTest::mouseClick(frm.OKBtn, Qt::LeftButton);
  EXPECT_EQ(frm.result(), 1);
  EXPECT_TRUE(frm.Overwrite);
  EXPECT_FALSE(frm.Remember);
}

TEST_F(SmallDialogsTest, OverwriteSkipAndRemember) {
  TOverwriteFrm frm;
  frm.show();
  QTest::mouseClick(frm.RadioButton2, Qt::LeftButton);
  QTest::mouseClick(frm.CheckBox1, Qt::LeftButton);
  EXPECT_FALSE(frm.Overwrite);
  EXPECT_TRUE(frm.Remember);
  QTest::mouseClick(frm.RadioButton1, Qt::LeftButton);
  QTest::mouseClick(frm.CheckBox1, Qt::LeftButton);
  EXPECT_TRUE(frm.Overwrite);
  EXPECT_FALSE(frm.Remember);
  QTest::mouseClick(frm.RadioButton2, Qt::LeftButton);
  OnNextModal([&](QWidget*) { QTest::mouseClick(frm.OKBtn, Qt::LeftButton); });
  EXPECT_EQ(frm.exec(), 1);
  EXPECT_FALSE(frm.Overwrite);
}

// Every dialog's buttons and the modal result each gives; Escape gives Cancel (2).
TEST_F(SmallDialogsTest, ButtonsGiveTheirModalResults) {
  struct Case {
    std::function<QDialog*(QWidget*)> make;
    const char* button;
    QString text;
    int result;
  };
  const std::vector<Case> cases = {
      {[](QWidget* p) { return new TEnterPasswordFrm(p); }, "OKBtn", "OK", 1},
      {[](QWidget* p) { return new TEnterPasswordFrm(p); }, "CancelBtn", "Cancel", 2},
      {[](QWidget* p) { return new TProxySettingFrm(p); }, "OKBtn", "OK", 1},
      {[](QWidget* p) { return new TProxySettingFrm(p); }, "CancelBtn", "Cancel", 2},
      {[](QWidget* p) { return new TEditBodyFrm(p); }, "OKBtn", "OK", 1},
      {[](QWidget* p) { return new TEditBodyFrm(p); }, "CancelBtn", "Cancel", 2},
      {[](QWidget* p) { return new TChangeNameFrm(p); }, "CancelBtn", "Cancel", 2},
      {[](QWidget* p) { return new TInvalidFileFrm(p); }, "UnselectBtn", "Un-select", 1},
      {[](QWidget* p) { return new TInvalidFileFrm(p); }, "DoNothingBtn", "Do nothing", 2},
      {[](QWidget* p) { return new TAfterBackupWizardFrm(p); }, "SaveOtherBtn",
       "Save to other location", 1},
      {[](QWidget* p) { return new TAfterBackupWizardFrm(p); }, "DiscardBtn", "Discard", 2},
      {[](QWidget* p) { return new TAfterBackupWizardFrm(p); }, "SaveListBtn",
       "Save to project list", 11},
      {[](QWidget* p) { return new TAboutFrm(p); }, "OKBtn", "OK", 1},
  };
  for (const auto& c : cases) {
    QWidget owner;
    QDialog* dialog = c.make(&owner);
    SCOPED_TRACE(dialog->objectName().toStdString() + " " + c.button);
    auto* button = dialog->findChild<QPushButton*>(c.button);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), c.text);
    OnNextModal([button](QWidget*) { QTest::mouseClick(button, Qt::LeftButton); });
    EXPECT_EQ(dialog->exec(), c.result);

    OnNextModal([](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
    EXPECT_EQ(dialog->exec(), 2);
  }
}

TEST_F(SmallDialogsTest, PasswordFieldIsMasked) {
  TEnterPasswordFrm frm;
  EXPECT_EQ(frm.windowTitle(), "Need Password");
  EXPECT_EQ(frm.Label1->text(), "Enter password");
  EXPECT_EQ(frm.Edit1->echoMode(), QLineEdit::Password);
  QTest::keyClicks(frm.Edit1, "geheim");
  EXPECT_EQ(frm.Edit1->text(), "geheim");
}

TEST_F(SmallDialogsTest, ProxyFieldsAndEnableRules) {
  TProxySettingFrm frm;
  EXPECT_EQ(frm.windowTitle(), "Proxy Settings");
  EXPECT_EQ(frm.CheckBox1->text(), "Use proxy setting");
  EXPECT_EQ(frm.CheckBox2->text(), "Need password");
  EXPECT_EQ(frm.Edit4->echoMode(), QLineEdit::Password);
  const QStringList types = {"User Site ", "SITE < Site Host >", "OPEN < Open Host >",
                             "User Pass < USER HOST, PASS >", "Transparent"};
  ASSERT_EQ(frm.ComboBox1->count(), types.size());
  for (int i = 0; i < types.size(); ++i) EXPECT_EQ(frm.ComboBox1->itemText(i), types[i]);

  struct Case {
    bool use, need, general, auth;
  };
  // Off leaves every other field disabled, whatever "Need password" says.
  for (const Case c : {Case{false, false, false, false}, Case{false, true, false, false},
                       Case{true, false, true, false}, Case{true, true, true, true}}) {
    SCOPED_TRACE(std::to_string(c.use) + std::to_string(c.need));
    // Filled the way the callers fill it: the boxes set from a project.
    frm.CheckBox2->setChecked(c.need);
    frm.CheckBox1->setChecked(c.use);
    for (QWidget* w : {static_cast<QWidget*>(frm.Edit1), static_cast<QWidget*>(frm.Edit2),
                       static_cast<QWidget*>(frm.ComboBox1), static_cast<QWidget*>(frm.CheckBox2)})
      EXPECT_EQ(w->isEnabled(), c.general) << w->objectName().toStdString();
    EXPECT_EQ(frm.Edit3->isEnabled(), c.auth);
    EXPECT_EQ(frm.Edit4->isEnabled(), c.auth);
  }

  // "Reset" has no action.
  frm.Edit1->setText("proxy.example");
  frm.ComboBox1->setCurrentIndex(3);
  frm.show();
  QTest::mouseClick(frm.ResetBtn, Qt::LeftButton);
  EXPECT_TRUE(frm.isVisible());
  EXPECT_EQ(frm.Edit1->text(), "proxy.example");
  EXPECT_EQ(frm.ComboBox1->currentIndex(), 3);
  EXPECT_TRUE(frm.CheckBox1->isChecked());
}

TEST_F(SmallDialogsTest, MailBodyShowsTheKeywords) {
  TEditBodyFrm frm;
  EXPECT_EQ(frm.windowTitle(), "Edit Email Body");
  EXPECT_EQ(frm.KeywordHelp->text().split('\n'),
            (QStringList{"Keywords    ( including [ and ] )",
                         "[ProjectName] : name of the processed project",
                         "[Runtime] :        the time when the project was processed",
                         "[ErrorString] :    error description"}));
  frm.Memo1->setPlainText("Done: [ProjectName]\nat [Runtime]");
  EXPECT_EQ(frm.Memo1->toPlainText(), "Done: [ProjectName]\nat [Runtime]");
}

TEST_F(SmallDialogsTest, RenameChecksTheNewName) {
  TChangeNameFrm frm;
  EXPECT_EQ(frm.windowTitle(), "Change Project Name");
  EXPECT_EQ(frm.Label1->text(),
            "There is already an existing project with the same name of the project from the "
            "QVP that you have selected. Please enter a new name to continue.");
  EXPECT_FALSE(frm.Edit1->isEnabled());
  EXPECT_TRUE(frm.Edit2->isEnabled());
  frm.Edit1->setText("Photos");

  struct Case {
    QString name;
    QString message;  // empty: accepted
  };
  for (const Case& c : {Case{"Photos", "Please enter a different name!"},
                        Case{"", "Please enter a new name!"}, Case{"photos", ""}}) {
    SCOPED_TRACE(c.name.toStdString());
    frm.Edit2->setText(c.name);
    QString shown;
    OnNextModal([&](QWidget*) {
      if (!c.message.isEmpty()) AnswerNextMessage(&shown);
      QTest::mouseClick(frm.OKBtn, Qt::LeftButton);
      // A failed check leaves the dialog open: it is ended here instead.
      if (frm.isVisible()) frm.done(0);
    });
    const int result = frm.exec();
    EXPECT_EQ(shown, c.message);
    EXPECT_EQ(result, c.message.isEmpty() ? 1 : 0);
  }
}

TEST_F(SmallDialogsTest, InvalidFilesListsTheFiles) {
  TInvalidFileFrm frm;
  EXPECT_EQ(frm.windowTitle(), "Please confirm...");
  EXPECT_EQ(frm.Label1->text(),
            "Can not open these files. Please choose how to deal with these files.");
  ASSERT_EQ(frm.LV->columnCount(), 1);
  EXPECT_EQ(frm.LV->headerItem()->text(0), "File Name");
  frm.SetFiles({"Z:\\a\\x.txt", "Z:\\b\\Ärger.doc"});
  ASSERT_EQ(frm.LV->topLevelItemCount(), 2);
  EXPECT_EQ(frm.LV->topLevelItem(1)->text(0), "Z:\\b\\Ärger.doc");
  frm.SetFiles({"Z:\\c"});
  EXPECT_EQ(frm.LV->topLevelItemCount(), 1);
}

TEST_F(SmallDialogsTest, AfterBackupText) {
  TAfterBackupWizardFrm frm;
  EXPECT_EQ(frm.windowTitle(), "Backup completed!");
  EXPECT_EQ(frm.Label1->text(),
            "Backup completed. Please choose how to deal with this project setting?");
}

TEST_F(SmallDialogsTest, SplashTakesThePictureSizeAndShowsTheStatus) {
  ProgressStatus = "";
  TSplashWnd splash;
  EXPECT_TRUE(splash.windowFlags().testFlag(Qt::FramelessWindowHint));
  EXPECT_TRUE(splash.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  ASSERT_NE(splash.Image1->pixmap().toImage().isNull(), true);
  EXPECT_EQ(splash.size(), splash.Image1->pixmap().size());
  EXPECT_EQ(splash.size(), QSize(400, 220));
  EXPECT_EQ(splash.Label1->text(), "Loading global settings...");
  EXPECT_EQ(splash.Timer1->interval(), 100);
  EXPECT_TRUE(splash.Timer1->isActive());
  EXPECT_FALSE(splash.Destroyed);

  ProgressStatus = "Loading schedule list...";
  splash.Timer1Timer();
  EXPECT_EQ(splash.Label1->text(), "Loading schedule list...");
  splash.show();
  splash.close();
  EXPECT_TRUE(splash.Destroyed);
  EXPECT_FALSE(splash.Timer1->isActive());
}

TEST_F(SmallDialogsTest, AboutShowsTheProductAndOpensItsLinks) {
  TAboutFrm frm;
  EXPECT_EQ(frm.windowTitle(), "About");
  EXPECT_EQ(frm.ProductName->text(), "Quorva Backup");
  EXPECT_EQ(frm.Version->text(), "Version 3.0.1");
  EXPECT_FALSE(frm.Image1->pixmap().isNull());
  EXPECT_FALSE(frm.Comments->text().isEmpty());
  EXPECT_EQ(frm.ProductLink->cursor().shape(), Qt::PointingHandCursor);
  EXPECT_EQ(frm.MakerLink->cursor().shape(), Qt::PointingHandCursor);

  // The browser is replaced by a handler that keeps the address.
  QTextBrowser opened;
  QDesktopServices::setUrlHandler("https", &opened, "setSource");
  frm.show();
  QTest::mouseClick(frm.ProductLink, Qt::LeftButton);
  EXPECT_EQ(opened.source(), QUrl(TAboutFrm::kProductUrl));
  QTest::mouseClick(frm.MakerLink, Qt::LeftButton);
  EXPECT_EQ(opened.source(), QUrl(TAboutFrm::kMakerUrl));
  QDesktopServices::unsetUrlHandler("https");
  EXPECT_NE(QUrl(TAboutFrm::kProductUrl), QUrl(TAboutFrm::kMakerUrl));
}

TEST_F(SmallDialogsTest, JpegDecoding) {
  const QImage splash = LoadJpegImage(":/images/splash.jpg");
  EXPECT_EQ(splash.size(), QSize(400, 220));
  EXPECT_EQ(LoadJpegImage(":/images/about.jpg").size(), QSize(96, 96));
  EXPECT_TRUE(LoadJpegImage(":/images/none.jpg").isNull());
  EXPECT_TRUE(DecodeJpegImage(QByteArray()).isNull());
  EXPECT_TRUE(DecodeJpegImage("not a picture at all").isNull());
  // A picture cut short: libjpeg warns and pads; a header alone is refused.
  QFile file(":/images/about.jpg");
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray bytes = file.readAll();
  EXPECT_TRUE(DecodeJpegImage(bytes.left(20)).isNull());
  EXPECT_EQ(DecodeJpegImage(bytes.left(bytes.size() / 2)).size(), QSize(96, 96));
}

class BrowseForFolderTest : public SmallDialogsTest {
 protected:
  void SetUp() override {
    WriteFile(dir.P("Fotos/2024/a.jpg"), "x");
    WriteFile(dir.P("Musik/b.ogg"), "x");
  }
  TempDir dir;
};

TEST_F(BrowseForFolderTest, Defaults) {
  TBrowseForFolder browse;
  EXPECT_EQ(browse.Caption, "Select Folder");
  EXPECT_EQ(browse.StatusText, "Plase select folder");
  EXPECT_EQ(browse.FolderName, "C:\\");
  EXPECT_EQ(browse.DisplayName, "");
  EXPECT_EQ(browse.Root, bl_STANDART);
  EXPECT_TRUE(browse.Flags.empty());

  const std::vector<std::pair<TBrowseRoot, int>> csidl = {
      {bl_STANDART, -1},  {bl_CUSTOM, -1},
      {bl_DESKTOP, 0},    {bl_PROGRAMS, 2},
      {bl_PERSONAL, 5},   {bl_BITBUCKET, 10},
      {bl_STARTMENU, 11}, {bl_DESKTOPDIRECTORY, 16},
      {bl_DRIVES, 17},    {bl_COMMON_DESKTOPDIRECTORY, 25},
      {bl_APPDATA, 26},   {bl_PRINTHOOD, 27}};
  for (const auto& [root, value] : csidl) EXPECT_EQ(CsidlOfRoot(root), value) << root;
  EXPECT_EQ(RootFolderOf(bl_DRIVES), "/");
}

TEST_F(BrowseForFolderTest, StartFolderAndStatusLine) {
  TBrowseForFolder browse;
  {
    TBrowseForFolderDlg dlg(browse);  // "C:\" has no folder here: nothing preselected
    EXPECT_EQ(dlg.windowTitle(), "Select Folder");
    EXPECT_EQ(dlg.SelectedPath(), "");
    EXPECT_FALSE(dlg.StatusLabel->isHidden());
    EXPECT_EQ(dlg.StatusLabel->text(), "Plase select folder");
    EXPECT_EQ(dlg.EditBox, nullptr);
    EXPECT_FALSE(dlg.OKBtn->isEnabled());
  }
  browse.FolderName = dir.W("Fotos/2024");
  browse.StatusText = "";
  browse.Caption = "Choose the destination";
  {
    TBrowseForFolderDlg dlg(browse);
    EXPECT_EQ(dlg.windowTitle(), "Choose the destination");
    EXPECT_EQ(dlg.SelectedPath(), QString::fromStdString(dir.P("Fotos/2024")));
    EXPECT_TRUE(dlg.StatusLabel->isHidden());
    EXPECT_TRUE(dlg.OKBtn->isEnabled());
  }
  browse.FolderName = "";
  {
    TBrowseForFolderDlg dlg(browse);
    EXPECT_EQ(dlg.SelectedPath(), "");
  }
}

TEST_F(BrowseForFolderTest, ExecuteGivesTheChosenFolder) {
  QWidget owner;
  TBrowseForFolder browse(&owner);
  browse.FolderName = dir.W("Fotos");
  OnNextModal([&](QWidget* w) {
    auto* dlg = qobject_cast<TBrowseForFolderDlg*>(w);
    ASSERT_NE(dlg, nullptr);
    EXPECT_TRUE(dlg->SelectFolder(QString::fromStdString(dir.P("Musik"))));
    QTest::mouseClick(dlg->OKBtn, Qt::LeftButton);
  });
  ASSERT_TRUE(browse.Execute());
  EXPECT_EQ(browse.FolderName, dir.W("Musik"));
  EXPECT_EQ(browse.DisplayName, "Musik");

  OnNextModal([](QWidget* w) {
    QTest::mouseClick(w->findChild<QPushButton*>("CancelBtn"), Qt::LeftButton);
  });
  EXPECT_FALSE(browse.Execute());
  EXPECT_EQ(browse.FolderName, dir.W("Musik"));
}

TEST_F(BrowseForFolderTest, ATypedNameThatIsNoFolderKeepsTheBrowserOpen) {
  TBrowseForFolder browse;
  browse.Flags = {bf_EditBox, bf_statustext};
  browse.FolderName = dir.W("Fotos");
  OnNextModal([&](QWidget* w) {
    auto* dlg = qobject_cast<TBrowseForFolderDlg*>(w);
    ASSERT_NE(dlg, nullptr);
    ASSERT_NE(dlg->EditBox, nullptr);
    EXPECT_EQ(dlg->EditBox->text(), "Fotos");
    dlg->EditBox->setText("nowhere");
    QTest::mouseClick(dlg->OKBtn, Qt::LeftButton);
    EXPECT_TRUE(dlg->isVisible());
    dlg->EditBox->setText("2024");  // a name below the selected folder
    QTest::mouseClick(dlg->OKBtn, Qt::LeftButton);
  });
  ASSERT_TRUE(browse.Execute());
  EXPECT_EQ(browse.FolderName, dir.W("Fotos/2024"));
  EXPECT_EQ(browse.DisplayName, "2024");
}

}  // namespace
