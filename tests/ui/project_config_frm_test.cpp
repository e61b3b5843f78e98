#include "app/ui/project/project_config_frm.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include "app/engine/project/stream.h"
#include "app/engine/settings/global_setting.h"
#include "app/ui/pages/main_frm.h"
#include "app/ui/project/extension_frm.h"
#include "app/ui/run/progress_frm.h"
#include "platform/fs/fs.h"
#include "tests/support/modal_dialog.h"
#include "tests/support/project_dialog_support.h"
#include "tests/support/qt_test_env.h"
#include "tests/support/whole_captions.h"

namespace {

std::vector<std::uint8_t> Bytes(const TProject& p) {
  TMemoryStream stream;
  EXPECT_TRUE(p.SaveToStream(stream));
  return stream.Bytes();
}

std::vector<TWriterEntry> TwoWriters() {
  return {{"Virtual recorder 0", 0, 0, 1, 0}, {"Virtual recorder 1", 0, 0, 2, 0}};
}

class ProjectConfigFrmTest : public ::testing::Test {
 protected:
  ProjectConfigFrmTest() {
    settings.SaveOnDestroy = false;
    for (int i = 0; i < 2; ++i) {
      auto a = std::make_unique<TEmailAccount>();
      a->Caption = "Account " + std::to_string(i);
      a->SMTPServer = "smtp" + std::to_string(i) + ".example.org";
      a->Port = 25 + i;
      a->Authenticate = i == 1;
      a->UserName = "user" + std::to_string(i);
      a->Password = "secret" + std::to_string(i);
      a->From = "from" + std::to_string(i) + "@example.org";
      a->To = "to@example.org";
      a->Subject = "Subject " + std::to_string(i);
      a->Body = "Body " + std::to_string(i);
      settings.Accounts.push_back(std::move(a));
    }
  }

  // A project that shows every field the dialog edits and uses account `index`.
  void UseAccount(TProject& p, int index) {
    const TEmailAccount& a = *settings.Accounts[static_cast<size_t>(index)];
    p.MailAccountIndex = index;
    p.SmtpHost = a.SMTPServer;
    p.SmtpPort = a.Port;
    p.SmtpAuth = a.Authenticate;
    p.SmtpUser = a.UserName;
    p.SmtpPassword = a.Password;
    p.MailAddress = a.From;
    p.MailExtraRecipients = a.To;
    p.MailSubject = a.Subject;
    p.MailBody = a.Body;
  }

  TQtTestEnv env;
  TGlobalSetting settings;
};

TEST_F(ProjectConfigFrmTest, ProjectToFormThenFormToProjectGivesTheSameProject) {
  std::vector<std::unique_ptr<TProject>> table;
  auto add = [&] { return table.emplace_back(std::make_unique<TProject>()).get(); };
  {
    TProject* p = add();  // defaults, to a folder
    p->Name = "Plain";
    p->DestinationFile = "Z:\\backup\\plain.qvp";
    UseAccount(*p, 0);
  }
  {
    TProject* p = add();  // FTP with every option turned
    p->Name = "Remote ftp";
    p->DestinationType = 1;
    p->FtpHost = "ftp.example.org";
    p->FtpPort = 2121;
    p->FtpUser = "ann";
    p->FtpPassword = "pw";
    p->DestinationFile = "/backups/with blank";
    p->FtpPassive = false;
    p->BackupMode = 0;
    p->Compress = false;
    p->CompressionLevel = 3;
    p->Split = true;
    p->SplitSizeIndex = 2;
    p->DeleteAfterBackup = true;
    p->OverwriteMode = 2;
    p->UsePassword = true;
    p->Password = "123456789";
    p->RunBefore = true;
    p->RunBeforeCmd = "Z:\\bin\\before -x";
    p->RunBeforeWait = true;
    p->RunAfter = true;
    p->RunAfterCmd = "Z:\\bin\\after";
    p->SendMail = true;
    p->MailCondition = 1;
    UseAccount(*p, 1);
    p->ExcludedPatterns.Add("*.tmp", 0);
    p->ExcludedPatterns.Add("Z:\\home\\ann\\big.iso", 0);
    p->ExcludedFolders.Add("Z:\\home\\ann\\cache\\", 0);
  }
  {
    TProject* p = add();  // disc on the second writer
    p->Name = "Disc";
    p->DestinationType = 2;
    p->WriterTargetID = 2;
    p->SpeedIndex = 5;
    p->EraseDisc = true;
    UseAccount(*p, 0);
  }
  for (const auto& original : table) {
    SCOPED_TRACE(original->Name);
    TProjectConfigFrm frm(settings, TwoWriters());
    original->AssignTo(frm.Project);
    frm.ProjectToForm();
    ASSERT_TRUE(frm.FormToProject());
    EXPECT_EQ(Bytes(frm.Project), Bytes(*original));
  }
}

TEST_F(ProjectConfigFrmTest, EveryValidationMessage) {
  struct Case {
    std::function<void(TProjectConfigFrm&)> edit;
    std::vector<std::string> messages;
  } cases[] = {
      {[](TProjectConfigFrm& f) { f.Name->clear(); }, {"Project name is empty"}},
      {[](TProjectConfigFrm& f) { f.Edit1->clear(); }, {"Folder name needed"}},
      {[](TProjectConfigFrm& f) {
         f.RadioButton2->setChecked(true);
         f.Edit2->clear();
       },
       {"FTP Server and Port is not specified "}},
      {[](TProjectConfigFrm& f) {
         f.RadioButton2->setChecked(true);
         f.Edit2->setText("host");
         f.Edit3->clear();
       },
       {"FTP Server and Port is not specified "}},
      {[](TProjectConfigFrm& f) {
         f.RadioButton2->setChecked(true);
         f.Edit2->setText("host");
         f.Edit3->setText("65536");
       },
       {"FTP Port must be a number from 1 to 65535"}},
      {[](TProjectConfigFrm& f) {
         f.RadioButton2->setChecked(true);
         f.Edit2->setText("host");
         f.Edit3->setText("0");
       },
       {"FTP Port must be a number from 1 to 65535"}},
      {[](TProjectConfigFrm& f) { f.RadioButton3->setChecked(true); }, {"CD/DVD writer needed"}},
      {[](TProjectConfigFrm& f) {
         f.CheckBox7->setChecked(true);
         f.Edit7->setText("123456789");
         f.Edit8->setText("123456780");
       },
       {"Re-typed password does not match!"}},
      {[](TProjectConfigFrm& f) {
         f.CheckBox11->setChecked(true);
         f.CheckBox12->setChecked(true);
       },
       {"Program name which runs before backup needed!",
        "Program name which runs after backup needed!"}},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    TProjectConfigFrm frm(settings, {});
    frm.Name->setText("Name");
    frm.Edit1->setText("Z:\\out.qvp");
    ASSERT_TRUE(frm.ValidateInput());
    cases[i].edit(frm);
    env.log->Clear();
    env.ui->ClearAskedMessages();
    bool consoleShown = false;
    frm.ShowConsole = [&] { consoleShown = true; };
    frm.OKBtnClick();
    EXPECT_EQ(frm.result(), 0);  // stays open
    std::vector<std::string> logged;
    for (const auto& e : env.log->Entries()) {
      EXPECT_EQ(e.levelText, "ERROR   ");
      logged.push_back(e.message);
    }
    EXPECT_EQ(logged, cases[i].messages);
    const auto asked = env.ui->AskedMessages();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].text, "Please complete settings. Check error in console window");
    EXPECT_TRUE(consoleShown);
  }
}

TEST_F(ProjectConfigFrmTest, PasswordLengths) {
  const struct {
    int length;
    const char* message;  // null: passes
  } cases[] = {{8, "Password must be longer than 8 characters!"},
               {9, nullptr},
               {254, nullptr},
               {255, "Password must be shorter than 255 characters!"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.length);
    TProjectConfigFrm frm(settings, {});
    frm.Name->setText("Name");
    frm.Edit1->setText("Z:\\out.qvp");
    frm.CheckBox7->setChecked(true);
    const QString password(c.length, 'p');
    frm.Edit7->setText(password);
    frm.Edit8->setText(password);
    env.log->Clear();
    EXPECT_EQ(frm.ValidateInput(), c.message == nullptr);
    if (c.message) {
      EXPECT_TRUE(env.Logged(c.message));
    } else {
      frm.OKBtnClick();
      EXPECT_EQ(frm.result(), 1);
      EXPECT_EQ(frm.Project.Password, password.toStdString());
    }
  }
}

TEST_F(ProjectConfigFrmTest, EnableRules) {
  TProjectConfigFrm frm(settings, {});
  frm.RadioButton1->setChecked(true);
  EXPECT_FALSE(frm.GB1->isHidden());
  EXPECT_TRUE(frm.GB2->isHidden());
  EXPECT_TRUE(frm.GB3->isHidden());
  frm.RadioButton2->setChecked(true);
  EXPECT_TRUE(frm.GB1->isHidden());
  EXPECT_FALSE(frm.GB2->isHidden());
  frm.RadioButton3->setChecked(true);
  EXPECT_TRUE(frm.GB2->isHidden());
  EXPECT_FALSE(frm.GB3->isHidden());

  const struct {
    QCheckBox* box;
    std::vector<QWidget*> widgets;
  } rules[] = {
      {frm.CheckBox5, {frm.ComboBox4}},
      {frm.CheckBox6, {frm.ComboBox5}},
      {frm.CheckBox7, {frm.Edit7, frm.Edit8}},
      {frm.CheckBox11, {frm.Edit9, frm.CheckBox8, frm.Edit9Browse}},
      {frm.CheckBox12, {frm.Edit10, frm.CheckBox9, frm.Edit10Browse}},
      {frm.CheckBox10, {frm.RadioButton6, frm.RadioButton7, frm.ComboBox7, frm.AccountBtn}},
  };
  for (const auto& rule : rules) {
    for (bool on : {true, false, true}) {
      rule.box->setChecked(on);
      for (QWidget* w : rule.widgets)
        EXPECT_EQ(w->isEnabled(), on)
            << rule.box->objectName().toStdString() << " " << w->objectName().toStdString();
    }
  }
}

TEST_F(ProjectConfigFrmTest, DeleteSourcesAsksOnClickOnly) {
  TProjectConfigFrm frm(settings, {});
  frm.show();
  env.ui->ScriptMessageAnswers({TModalResult::No, TModalResult::Yes});
  QTest::mouseClick(frm.CheckBox4, Qt::LeftButton);
  EXPECT_FALSE(frm.CheckBox4->isChecked());
  QTest::mouseClick(frm.CheckBox4, Qt::LeftButton);
  EXPECT_TRUE(frm.CheckBox4->isChecked());
  auto asked = env.ui->AskedMessages();
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[0].title, "Please Confirm");
  EXPECT_EQ(asked[0].text,
            "Do you really want to delete source files after backup finished?\n"
            "Click Yes to confirm, click No to cancel.");
  // Showing a project with the option set asks nothing.
  env.ui->ClearAskedMessages();
  frm.Project.DeleteAfterBackup = true;
  frm.ProjectToForm();
  EXPECT_TRUE(frm.CheckBox4->isChecked());
  EXPECT_TRUE(env.ui->AskedMessages().empty());
}

TEST_F(ProjectConfigFrmTest, ExclusionListAddRemoveClear) {
  TProjectConfigFrm frm(settings, {});
  frm.Project.ExcludedPatterns.Add("*.t?p", 0);
  frm.Project.ExcludedPatterns.Add("Z:\\home\\ann\\notes.txt", 0);
  frm.Project.ExcludedFolders.Add("Z:\\home\\ann\\cache\\", 0);
  frm.ProjectToForm();
  ASSERT_EQ(frm.ExLV->topLevelItemCount(), 3);
  EXPECT_EQ(frm.ExLV->topLevelItem(0)->text(2), "Extension");
  EXPECT_EQ(frm.ExLV->topLevelItem(1)->text(2), "File");
  EXPECT_EQ(frm.ExLV->topLevelItem(2)->text(1), "Folders");
  EXPECT_EQ(frm.ExLV->topLevelItem(2)->text(2), "Folder");
  EXPECT_FALSE(frm.RemoveBtn->isEnabled());

  frm.AddTempPresetClick();
  frm.AddQvpPresetClick();
  EXPECT_EQ(frm.ExLV->topLevelItem(4)->text(0), "*.qvp");
  EXPECT_EQ(frm.ExLV->topLevelItem(4)->text(1), "Quorva Backup File");
  env.ui->ScriptFileAnswers({std::string("Z:\\home\\ann\\a.txt")});
  frm.AddFilesClick();
  ASSERT_EQ(frm.ExLV->topLevelItemCount(), 6);
  EXPECT_EQ(frm.ExLV->topLevelItem(5)->text(2), "File");

  // Removing the folder row and OK removes it from the project.
  frm.ExLV->topLevelItem(2)->setSelected(true);
  EXPECT_TRUE(frm.RemoveBtn->isEnabled());
  frm.RemoveBtnClick();
  EXPECT_EQ(frm.ExLV->topLevelItemCount(), 5);
  ASSERT_TRUE(frm.FormToProject());
  EXPECT_EQ(frm.Project.ExcludedFolders.Count(), 0);
  EXPECT_EQ(frm.Project.ExcludedPatterns.Count(), 5);
  frm.ClearBtnClick();
  EXPECT_EQ(frm.ExLV->topLevelItemCount(), 0);
  ASSERT_TRUE(frm.FormToProject());
  EXPECT_EQ(frm.Project.ExcludedPatterns.Count(), 0);
}

// The program's one chooser fills once, under the progress window, and keeps its choice
// from one project dialog to the next.
TEST_F(ProjectConfigFrmTest, OneExtensionChooserServesEveryDialog) {
  TProgressFrm progress;
  TAddExtFrm chooser;
  chooser.SetProgressForm(&progress);
  int progressShown = 0;
  QObject::connect(&progress, &QDialog::finished, [&] { ++progressShown; });
  QStringList chosen;
  for (int use = 0; use < 2; ++use) {
    SCOPED_TRACE(use);
    TProjectConfigFrm frm(settings, {});
    frm.SetExtensionChooser(&chooser);
    TAddExtFrm* shown = nullptr;
    OnModalDialog<TAddExtFrm>([&, use](TAddExtFrm& d) {
      shown = &d;
      if (use == 0) {
        const auto rows = d.LV->findItems("*.txt", Qt::MatchExactly);
        ASSERT_EQ(rows.size(), 1);
        rows.front()->setSelected(true);
      }
      chosen.clear();
      for (QTreeWidgetItem* row : d.LV->selectedItems()) chosen << row->text(0);
      QTest::mouseClick(d.OKBtn, Qt::LeftButton);
    });
    frm.AddExtensionClick();
    EXPECT_EQ(shown, &chooser);
    EXPECT_EQ(chosen, QStringList{"*.txt"});
    ASSERT_EQ(frm.ExLV->topLevelItemCount(), 1);
    EXPECT_EQ(frm.ExLV->topLevelItem(0)->text(0), "*.txt");
  }
  EXPECT_EQ(progressShown, 1) << "filled once, with the progress window";
  EXPECT_FALSE(progress.isVisible());
}

// The dialog's default size shows all five tabs, and the exclusion list shows a long path whole.
TEST_F(ProjectConfigFrmTest, TabsAndExclusionsAreShownWhole) {
  TProjectConfigFrm frm(settings, {});
  const std::string path = "Z:\\home\\ann\\a rather long folder name\\and another one below it\\";
  frm.Project.ExcludedFolders.Add(path, 0);
  frm.ProjectToForm();
  frm.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&frm));
  ASSERT_EQ(frm.PageControl->count(), 5);
  ExpectEveryTabWhole(frm.PageControl);
  frm.PageControl->setCurrentIndex(1);
  QCoreApplication::processEvents();
  ASSERT_EQ(frm.ExLV->topLevelItemCount(), 1);
  ExpectEveryColumnWhole(frm.ExLV);
}

TEST_F(ProjectConfigFrmTest, MissingWriterMustBeChosen) {
  TProjectConfigFrm frm(settings, TwoWriters());
  frm.Project.Name = "Disc";
  frm.Project.DestinationType = 2;
  frm.Project.WriterTargetID = 7;  // not found
  frm.Project.EraseDisc = true;
  frm.ProjectToForm();
  EXPECT_EQ(frm.ComboBox1->currentIndex(), -1);
  EXPECT_EQ(frm.ComboBox1->placeholderText(), "The project's writer was not found");
  EXPECT_FALSE(frm.ValidateInput());
  EXPECT_TRUE(env.Logged("CD/DVD writer needed"));
  frm.ComboBox1->setCurrentIndex(1);
  frm.OKBtnClick();
  EXPECT_EQ(frm.result(), 1);
  EXPECT_EQ(frm.Project.WriterTargetID, 2);

  // With no writer found nothing can be chosen.
  TProjectConfigFrm none(settings, {});
  none.Project.DestinationType = 2;
  none.ProjectToForm();
  EXPECT_EQ(none.ComboBox1->count(), 0);
  EXPECT_EQ(none.ComboBox1->placeholderText(), "No CD/DVD writer found");
}

TEST_F(ProjectConfigFrmTest, NoAccountLeavesTheSmtpFields) {
  settings.Accounts.clear();
  TProjectConfigFrm frm(settings, {});
  frm.Project.SmtpHost = "kept.example.org";
  frm.ProjectToForm();
  EXPECT_EQ(frm.ComboBox7->currentIndex(), -1);
  ASSERT_TRUE(frm.FormToProject());
  EXPECT_EQ(frm.Project.SmtpHost, "kept.example.org");
}

// The main window with the real dialog, against its project folder.
class ProjectDialogMainFrmTest : public ProjectConfigFrmTest {
 protected:
  std::string JobFile(const std::string& name) const {
    return env.home.W("QVP_JOBS\\" + name + ".bpj");
  }
  std::unique_ptr<TProject> ReadProject(const std::string& name) const {
    return ReadProjectFile(JobFile(name));
  }
  std::unique_ptr<TMainFrm> Open() {
    settings.ShowWizardAtStart = false;
    auto frm = std::make_unique<TMainFrm>(settings, *env.ui);
    frm->UseProjectConfigDialog();
    return frm;
  }
};

TEST_F(ProjectDialogMainFrmTest, TheMainWindowLendsItsExtensionChooser) {
  auto frm = Open();
  TAddExtFrm chooser;
  frm->SetExtensionChooser(&chooser);
  TAddExtFrm* shown = nullptr;
  OnProjectDialog([&](TProjectConfigFrm& d) {
    d.Name->setText("Alpha");
    d.Edit1->setText("Z:\\out\\Alpha.qvp");
    OnModalDialog<TAddExtFrm>([&](TAddExtFrm& c) {
      shown = &c;
      c.CancelBtnClick();
    });
    d.AddExtensionClick();
  });
  frm->CreateNewProject->trigger();
  EXPECT_EQ(shown, &chooser);
}

TEST_F(ProjectDialogMainFrmTest, CreateConfigureRenameAndRemove) {
  auto frm = Open();
  for (const char* name : {"Alpha", "Beta"}) {
    OnProjectDialog([name](TProjectConfigFrm& d) {
      d.Name->setText(name);
      d.Edit1->setText(QString("Z:\\out\\") + name + ".qvp");
    });
    frm->CreateNewProject->trigger();
    ASSERT_TRUE(platform::fs::Exists(JobFile(name))) << name;
  }
  EXPECT_EQ(ReadProject("Alpha")->DestinationFile, "Z:\\out\\Alpha.qvp");

  // Configure with a rename: saved under the new name, the old file gone.
  frm->PC->setCurrentIndex(0);
  frm->SelectProject("Alpha");
  OnProjectDialog([](TProjectConfigFrm& d) {
    EXPECT_EQ(d.Name->text(), "Alpha");
    d.Name->setText("Gamma");
    d.CheckBox5->setChecked(false);
  });
  frm->ConfigureExecute();
  EXPECT_FALSE(platform::fs::Exists(JobFile("Alpha")));
  EXPECT_FALSE(ReadProject("Gamma")->Compress);
  EXPECT_EQ(frm->SelectedProjectName(), "Gamma");

  // A rename to a taken name (in any case) is refused; nothing changes.
  env.ui->ClearAskedMessages();
  OnProjectDialog([](TProjectConfigFrm& d) { d.Name->setText("beta"); });
  frm->ConfigureExecute();
  auto asked = env.ui->AskedMessages();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].text, "Create new project failed! ");
  EXPECT_NE(frm->Projects().FindByName("Gamma"), nullptr);
  EXPECT_TRUE(platform::fs::Exists(JobFile("Gamma")));
  EXPECT_EQ(ReadProject("Beta")->Name, "Beta");

  // A new project never overwrites a file that is not listed.
  WriteFile(env.home.P("QVP_JOBS/Delta.bpj"), "someone else's");
  env.ui->ClearAskedMessages();
  OnProjectDialog([](TProjectConfigFrm& d) {
    d.Name->setText("Delta");
    d.Edit1->setText("Z:\\out\\d.qvp");
  });
  frm->CreateNewProject->trigger();
  EXPECT_EQ(ReadFile(env.home.P("QVP_JOBS/Delta.bpj")), "someone else's");
  EXPECT_EQ(frm->Projects().FindByName("Delta"), nullptr);

  // Remove deletes the file.
  frm->PC->setCurrentIndex(0);
  frm->SelectProject("Gamma");
  env.ui->ScriptMessageAnswers({TModalResult::Yes});
  frm->RemoveProjectExecute();
  EXPECT_FALSE(platform::fs::Exists(JobFile("Gamma")));
  EXPECT_TRUE(platform::fs::Exists(JobFile("Beta")));
  EXPECT_EQ(frm->PrjLV->rowCount(), 1);
}

}  // namespace
