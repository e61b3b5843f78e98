// The program's own message boxes carry the application's title.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/engine/backup/backup_run.h"
#include "app/engine/log.h"
#include "app/engine/project/project.h"
#include "app/engine/project/projects.h"
#include "app/engine/restore/backup_sets.h"
#include "app/engine/restore/diff_restore_tree.h"
#include "app/engine/restore/project_recovery.h"
#include "app/engine/restore/restore_report.h"
#include "app/engine/restore/restore_run.h"
#include "app/engine/restore/restore_selection.h"
#include "app/engine/settings/global_setting.h"
#include "app/engine/user_interface.h"
#include "tests/support/temp_dir.h"

namespace {

class TTitlesUi : public THeadlessUserInterface {
 public:
  TModalResult MessageBox(std::string_view text, std::string_view title, TMessageButtons,
                          TMessageKind) override {
    texts.emplace_back(text);
    titles.emplace_back(title);
    return TModalResult::Ok;
  }
  std::vector<std::string> texts, titles;
};

class MessageTitlesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("QUORVA_HOME", dir.P("home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", dir.P("config").c_str(), 1);
    SetUserInterface(ui);
    SetLogSink(std::make_shared<TMemoryLogSink>());
  }
  void TearDown() override {
    SetUserInterface(nullptr);
    SetLogSink(nullptr);
  }
  TempDir dir;
  std::shared_ptr<TTitlesUi> ui = std::make_shared<TTitlesUi>();
};

TEST_F(MessageTitlesTest, EveryEngineMessageBoxIsTitledWithTheApplication) {
  WriteFile(dir.P("damaged.qvp"), "not an archive");
  WriteFile(dir.P("damaged.bpj"), "not a project");
  const struct {
    const char* name;
    std::function<void()> show;
  } cases[] = {
      {"restore incomplete", [] { ReportRestoreIncomplete(2); }},
      {"restore failure", [] { ReportRestoreFailure("The archive is gone."); }},
      {"no backup set",
       [] {
         TRestoreTreeModel tree{TRestoreTreeKind::Restore};
         TRestoreJob job;
         PrepareRestoreJob("No backup sets found!", {}, tree, job);
       }},
      {"recovery",
       [&] {
         TProjects projects;
         ExtractBPJfromQVPExecute(dir.W("damaged.qvp"), projects);
       }},
      {"backup set unreadable",
       [&] {
         TRestorePage page;
         page.BackupSets.Select(page.BackupSets.Add(dir.W("damaged.qvp")));
         page.BackupSetsChange();
       }},
      {"compare source unreadable",
       [&] {
         TDiffRestorePage page;
         page.AddCompareSource({dir.W("damaged.bpj")});
       }},
      {"backup item failed",
       [&] {
         TGlobalSetting settings;
         settings.SaveOnDestroy = false;
         settings.TempFolder = dir.W("");
         TProject project;
         project.Name = "job";
         project.DestinationFile = dir.W("job.qvp");
         project.ProjectFile = dir.W("job.bpj");
         project.Files.Add(dir.W("missing.txt"), 0);
         BackupThreadProc(project, settings);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ui->texts.clear();
    ui->titles.clear();
    c.show();
    ASSERT_FALSE(ui->titles.empty());
    for (const auto& title : ui->titles) EXPECT_EQ(title, "Quorva Backup") << ui->texts.front();
  }
}

}  // namespace
