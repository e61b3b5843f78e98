// The engine's user interface on Qt: every request runs on the GUI thread, a worker's by a
// blocking queued call. Tests script the answers instead of showing dialogs.
#pragma once

#include <QLabel>
#include <QObject>
#include <QPointer>
#include <QProgressBar>
#include <QString>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/engine/user_interface.h"

struct TAskedMessage {
  std::string text;
  std::string title;
  TMessageButtons buttons = TMessageButtons::Ok;
  TMessageKind kind = TMessageKind::Information;
};

// "Text File|*.txt" (description and pattern pairs; a lone pattern is allowed) as a Qt filter;
// a description that already ends with "(*.txt)" keeps it as it is. "*.*" becomes "*": every
// file, as it means in the filters given.
QString QtFileFilter(std::string_view filter);

class TQtUserInterface : public QObject, public IUserInterface {
  Q_OBJECT

 public:
  // Create it on the GUI thread; that is where its requests run.
  explicit TQtUserInterface(QObject* parent = nullptr);

  TModalResult MessageBox(std::string_view text, std::string_view title, TMessageButtons buttons,
                          TMessageKind kind) override;
  TOverwriteAnswer ConfirmOverwrite(std::string_view existingPath) override;
  std::optional<std::string> AskPassword() override;
  // Paths in and out are in the program's Windows form.
  std::optional<std::string> ChooseFile(std::string_view title, std::string_view proposed,
                                        std::string_view filter) override;
  // An open-file dialog for one existing file; a name typed without extension gets the
  // default one.
  std::optional<std::string> ChooseOpenFile(std::string_view title, std::string_view filter,
                                            std::string_view defaultExtension);
  // A save-file dialog; the chosen path gets the default extension when it has none.
  std::optional<std::string> ChooseSaveFile(std::string_view title, std::string_view filter,
                                            std::string_view defaultExtension);
  // An open-file dialog for one existing file that lists hidden files too: a backup source may
  // be one.
  std::optional<std::string> ChooseSourceFile(std::string_view title, std::string_view filter);
  // An open-file dialog that takes several files; empty when cancelled.
  std::vector<std::string> ChooseFiles(std::string_view title, std::string_view filter);
  // The change-name dialog (TChangeNameFrm).
  std::optional<std::string> ChangeProjectName(std::string_view oldName) override;

  void StatusProgressShow(int maximum) override;
  void StatusProgressSetPosition(int position) override;
  void StatusProgressStep() override;
  void StatusProgressHide() override;
  int StatusProgressMaximum() override;
  void SetStatusPanel(int index, std::string_view text) override;
  void ShowBackupSet(std::string_view archivePath) override;

  // The main window's status bar; either may be destroyed first.
  void AttachStatusBar(QProgressBar* bar, std::vector<QLabel*> panels);
  void SetBackupSetHandler(std::function<void(const std::string&)> handler);
  // Stand-ins for the overwrite and password dialogs (TOverwriteFrm, TEnterPasswordFrm).
  void SetOverwritePrompt(std::function<TOverwriteAnswer(std::string_view)> prompt);
  void SetPasswordPrompt(std::function<std::optional<std::string>()> prompt);

  // Test hooks. Once a script is set no dialog is shown: each message box takes the next
  // scripted answer, or the headless answer when none is left; each file dialog the next
  // scripted path (nullopt = cancelled); the overwrite and password dialogs, unless a prompt
  // stands in for them, are recorded and answered cautiously (keep the file, no password).
  void ScriptMessageAnswers(std::vector<TModalResult> answers);
  void ScriptFileAnswers(std::vector<std::optional<std::string>> answers);
  // The change-name dialog takes the next scripted name (nullopt = cancelled; none left:
  // cancelled); the old names asked with are recorded.
  void ScriptNameAnswers(std::vector<std::optional<std::string>> answers);
  std::vector<std::string> AskedNames() const;
  std::vector<TAskedMessage> AskedMessages() const;
  void ClearAskedMessages();

 signals:
  // Emitted on the GUI thread for every message box, before it is answered.
  void messageAsked(const QString& title, const QString& text);
  void statusPanelChanged(int index, const QString& text);

 private:
  // Runs `fn` on this object's thread and waits for it.
  template <typename Fn>
  auto OnGuiThread(Fn fn) -> decltype(fn());

  TModalResult AskOnGui(const TAskedMessage& message);
  // Records the request and tells whether a script answers it.
  bool RecordScripted(const TAskedMessage& message);
  std::optional<std::string> FileOnGui(bool save, const QString& title, const QString& proposed,
                                       const QString& filter, const QString& defaultExtension,
                                       bool showHidden = false);

  QPointer<QProgressBar> bar_;
  std::vector<QPointer<QLabel>> panels_;
  std::function<void(const std::string&)> backupSetHandler_;
  std::function<TOverwriteAnswer(std::string_view)> overwritePrompt_;
  std::function<std::optional<std::string>()> passwordPrompt_;

  mutable std::mutex scriptMutex_;
  bool scripted_ = false;
  std::deque<TModalResult> messageAnswers_;
  std::deque<std::optional<std::string>> fileAnswers_;
  bool namesScripted_ = false;
  std::deque<std::optional<std::string>> nameAnswers_;
  std::vector<std::string> askedNames_;
  std::vector<TAskedMessage> asked_;
};
