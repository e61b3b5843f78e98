// What a job asks of the user or shows in the main window, as an interface: the windows
// implement it on the GUI thread (blocking hand-over), the command-line run answers by itself,
// tests script it.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

// Modal results of message boxes.
enum class TModalResult {
  None = 0,
  Ok = 1,
  Cancel = 2,
  Abort = 3,
  Retry = 4,
  Ignore = 5,
  Yes = 6,
  No = 7
};

enum class TMessageButtons { Ok, OkCancel, YesNo, YesNoCancel };

// The application's title, which titles the program's own message boxes.
inline constexpr const char* kApplicationTitle = "Quorva Backup";
enum class TMessageKind { Information, Warning, Error, Question };

struct TOverwriteAnswer {
  bool overwrite = false;
  bool remember = false;  // "Remember my choice"
};

class IUserInterface {
 public:
  virtual ~IUserInterface() = default;

  virtual TModalResult MessageBox(std::string_view text, std::string_view title,
                                  TMessageButtons buttons, TMessageKind kind) = 0;
  // The overwrite dialog for an existing file.
  virtual TOverwriteAnswer ConfirmOverwrite(std::string_view existingPath) = 0;
  // The password prompt; std::nullopt unless the user pressed OK.
  virtual std::optional<std::string> AskPassword() = 0;
  // An open-file dialog: title, proposed path (folder + name), filter. nullopt when cancelled.
  virtual std::optional<std::string> ChooseFile(std::string_view title, std::string_view proposed,
                                                std::string_view filter) = 0;

  // The main window's status bar: its progress bar and its panels.
  virtual void StatusProgressShow(int maximum) = 0;
  virtual void StatusProgressSetPosition(int position) = 0;
  virtual void StatusProgressStep() = 0;
  virtual void StatusProgressHide() = 0;
  virtual int StatusProgressMaximum() = 0;
  virtual void SetStatusPanel(int index, std::string_view text) = 0;

  // A backup run left an archive in its destination folder: the main window lists it among
  // the backup sets, selects it and loads the restore page.
  virtual void ShowBackupSet(std::string_view /*archivePath*/) {}

  // The change-name dialog for a project whose name is taken, with the old name in its first
  // edit: the new name when it ends with OK, std::nullopt otherwise.
  virtual std::optional<std::string> ChangeProjectName(std::string_view /*oldName*/) {
    return std::nullopt;
  }

  // The disc delivery's Yes/No/Cancel prompt for the next volume's blank disc; `retry` is set
  // when the disc offered after the last answer failed its test.
  virtual TModalResult AskInsertBlankDisc(std::string_view text, std::string_view title,
                                          bool /*retry*/) {
    return MessageBox(text, title, TMessageButtons::YesNoCancel, TMessageKind::Question);
  }
};

// The cancelling answer of a message box: Cancel, No, OK for a plain OK box.
TModalResult HeadlessAnswer(TMessageButtons buttons);

// Answers without a user: message boxes with their cancelling answer (Cancel, No, OK for a
// plain OK box), no overwrite, no password, no file; the status bar is ignored. Message texts
// are logged.
class THeadlessUserInterface : public IUserInterface {
 public:
  TModalResult MessageBox(std::string_view text, std::string_view title, TMessageButtons buttons,
                          TMessageKind kind) override;
  TOverwriteAnswer ConfirmOverwrite(std::string_view existingPath) override;
  std::optional<std::string> AskPassword() override;
  std::optional<std::string> ChooseFile(std::string_view title, std::string_view proposed,
                                        std::string_view filter) override;
  void StatusProgressShow(int maximum) override { maximum_ = maximum; }
  void StatusProgressSetPosition(int) override {}
  void StatusProgressStep() override {}
  void StatusProgressHide() override {}
  int StatusProgressMaximum() override { return maximum_; }
  void SetStatusPanel(int, std::string_view) override {}
  // Burns on the disc in the drive once; a disc that fails its test cancels the delivery.
  TModalResult AskInsertBlankDisc(std::string_view text, std::string_view title,
                                  bool retry) override {
    MessageBox(text, title, TMessageButtons::Ok, TMessageKind::Information);
    return retry ? TModalResult::Cancel : TModalResult::Yes;
  }

 private:
  int maximum_ = 100;
};

// The interface in use; a headless one until the windows install theirs.
std::shared_ptr<IUserInterface> UserInterface();
std::shared_ptr<IUserInterface> SetUserInterface(std::shared_ptr<IUserInterface> ui);
