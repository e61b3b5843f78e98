#include "app/engine/user_interface.h"

#include <mutex>

#include "app/engine/log.h"

namespace {

std::mutex& UiLock() {
  static std::mutex m;
  return m;
}

std::shared_ptr<IUserInterface>& CurrentUi() {
  static std::shared_ptr<IUserInterface> ui = std::make_shared<THeadlessUserInterface>();
  return ui;
}

}  // namespace

TModalResult HeadlessAnswer(TMessageButtons buttons) {
  switch (buttons) {
    case TMessageButtons::Ok:
      return TModalResult::Ok;
    case TMessageButtons::YesNo:
      return TModalResult::No;
    case TMessageButtons::OkCancel:
    case TMessageButtons::YesNoCancel:
      return TModalResult::Cancel;
  }
  return TModalResult::Cancel;
}

TModalResult THeadlessUserInterface::MessageBox(std::string_view text, std::string_view title,
                                                TMessageButtons buttons, TMessageKind) {
  LogStatus(std::string(title) + ": " + std::string(text));
  return HeadlessAnswer(buttons);
}

TOverwriteAnswer THeadlessUserInterface::ConfirmOverwrite(std::string_view) {
  return {};
}

std::optional<std::string> THeadlessUserInterface::AskPassword() {
  return std::nullopt;
}

std::optional<std::string> THeadlessUserInterface::ChooseFile(std::string_view, std::string_view,
                                                              std::string_view) {
  return std::nullopt;
}

std::shared_ptr<IUserInterface> UserInterface() {
  std::lock_guard lock(UiLock());
  return CurrentUi();
}

std::shared_ptr<IUserInterface> SetUserInterface(std::shared_ptr<IUserInterface> ui) {
  std::lock_guard lock(UiLock());
  if (!ui) ui = std::make_shared<THeadlessUserInterface>();
  std::swap(ui, CurrentUi());
  return ui;
}
