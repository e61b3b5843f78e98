#include "app/ui/startup.h"

#include <QApplication>
#include <exception>
#include <thread>

#include "app/engine/delivery/writer_search.h"
#include "app/engine/log.h"
#include "app/engine/progress.h"
#include "app/engine/project/project.h"
#include "app/engine/settings/global_setting.h"
#include "app/ui/pages/main_frm.h"
#include "app/ui/project/extension_frm.h"
#include "app/ui/project/found_writers.h"
#include "app/ui/project/special_folder_frm.h"
#include "app/ui/run/autoclose_frm.h"
#include "app/ui/run/progress_frm.h"
#include "app/ui/run/pump_messages.h"
#include "app/ui/run/qt_user_interface.h"
#include "app/ui/splash_wnd.h"

int ProgramMainBlock(TQtUserInterface& ui, const TStartupHooks& hooks) {
  auto step = [&](std::string_view name) {
    if (hooks.onStep) hooks.onStep(name);
  };
  // Freed in reverse order of creation: the main window before the settings, which live
  // longer than every window and save themselves when freed.
  std::unique_ptr<TGlobalSetting> settings;
  std::unique_ptr<QWidget> splash;
  std::unique_ptr<TMainFrm> mainFrm;
  std::unique_ptr<TSpecialfolderfrm> specialfolderFrm;
  std::unique_ptr<TAddExtFrm> addExtFrm;
  std::unique_ptr<TProgressFrm> progressFrm;
  std::unique_ptr<TAutocloseFrm> autocloseFrm;
  int exitCode = 0;
  try {
    settings = std::make_unique<TGlobalSetting>();
    SetDefaultTempFolder(settings->TempFolder);
    step("settings");

    if (settings->StartDelayMinutes > 0) {
      const std::chrono::milliseconds delay(std::int64_t{settings->StartDelayMinutes} * 60 * 1000);
      if (hooks.sleep)
        hooks.sleep(delay);
      else
        std::this_thread::sleep_for(delay);
    }
    step("delay");

    QCoreApplication::setApplicationName("Quorva Backup");
    step("title");

    ProgressStatus = "Loading Global settings...";
    if (settings->ShowSplash) {
      splash = hooks.createSplash ? hooks.createSplash() : std::make_unique<TSplashWnd>();
      if (splash) {
        splash->show();
        splash->repaint();
      }
      step("splash");
    }
    ProgressStatus = "Loading User profile...";
    step("forms");

    // The forms made once, in start-up order. The FTP folder chooser, the wizard, the project
    // dialog, the schedule dialog, the search dialog and the small dialogs (about, invalid
    // files, after-backup, proxy, mail body, change name) are made where they are used.
    mainFrm = std::make_unique<TMainFrm>(*settings, ui, false);
    mainFrm->AdoptSplash(std::move(splash));
    mainFrm->UseProjectConfigDialog(FoundWriters);
    step("form:MainFrm");
    specialfolderFrm = std::make_unique<TSpecialfolderfrm>();
    mainFrm->SetSpecialFolderForm(specialfolderFrm.get());
    step("form:SpecialfolderFrm");
    addExtFrm = std::make_unique<TAddExtFrm>();
    step("form:AddExtFrm");
    progressFrm = std::make_unique<TProgressFrm>();
    mainFrm->SetProgressForm(progressFrm.get());
    addExtFrm->SetProgressForm(progressFrm.get());
    mainFrm->SetExtensionChooser(addExtFrm.get());
    step("form:ProgressFrm");
    autocloseFrm = std::make_unique<TAutocloseFrm>();
    step("form:AutocloseFrm");

    mainFrm->show();
    StartWriterSearch(settings->PriorityIndex);
    step("loop");
    exitCode = hooks.runLoop ? hooks.runLoop(*mainFrm) : RunMessageLoop();
  } catch (const std::exception& e) {
    const std::string text = std::string("Quorva Backup could not start: ") + e.what();
    LogError(text);
    ui.MessageBox(text, "Quorva Backup", TMessageButtons::Ok, TMessageKind::Error);
    exitCode = 1;
    step("failed");
  } catch (...) {
    const std::string text = "Quorva Backup could not start: unknown failure";
    LogError(text);
    ui.MessageBox(text, "Quorva Backup", TMessageButtons::Ok, TMessageKind::Error);
    exitCode = 1;
    step("failed");
  }
  JoinWriterSearch();
  mainFrm.reset();
  specialfolderFrm.reset();
  settings.reset();
  step("freed");
  return exitCode;
}
