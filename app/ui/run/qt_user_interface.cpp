#include "app/ui/run/qt_user_interface.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>
#include <QThread>
#include <type_traits>

#include "app/ui/run/overwrite_frm.h"
#include "app/ui/run/password_frm.h"
#include "app/ui/run/rename_frm.h"
#include "platform/fs/fs.h"

namespace {

QString Q(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

std::string S(const QString& s) {
  return s.toUtf8().toStdString();
}

QString PosixOf(std::string_view winPath) {
  if (winPath.empty()) return {};
  if (auto posix = platform::fs::ToPosix(winPath)) return Q(*posix);
  return Q(winPath);
}

// The patterns of a filter part in Qt's form. "*.*" means every file where the filters come
// from; here it would take only names with a dot.
QString QtPatterns(const QString& patterns) {
  QStringList out = patterns.split(';');
  for (QString& p : out)
    if (p == "*.*") p = "*";
  return out.join(' ');
}

}  // namespace

QString QtFileFilter(std::string_view filter) {
  const QStringList parts = Q(filter).split('|');
  if (parts.size() == 1) {
    if (parts[0].isEmpty()) return {};
    const QString patterns = QtPatterns(parts[0]);
    return patterns + " (" + patterns + ")";
  }
  QStringList out;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString description = parts[i];
    const QString patterns = QtPatterns(parts[i + 1]);
    // Qt reads the patterns from the parentheses: a description that shows them (as the
    // program's filters do) is taken as it stands, without them written twice.
    description.replace("(" + parts[i + 1] + ")", "(" + patterns + ")");
    if (!description.endsWith("(" + patterns + ")")) description += " (" + patterns + ")";
    out << description;
  }
  return out.join(";;");
}

TQtUserInterface::TQtUserInterface(QObject* parent) : QObject(parent) {}

template <typename Fn>
auto TQtUserInterface::OnGuiThread(Fn fn) -> decltype(fn()) {
  using R = decltype(fn());
  if (QThread::currentThread() == thread()) return fn();
  if constexpr (std::is_void_v<R>) {
    QMetaObject::invokeMethod(this, fn, Qt::BlockingQueuedConnection);
  } else {
    std::optional<R> result;
    QMetaObject::invokeMethod(
        this, [&] { result.emplace(fn()); }, Qt::BlockingQueuedConnection);
    return std::move(*result);
  }
}

TModalResult TQtUserInterface::MessageBox(std::string_view text, std::string_view title,
                                          TMessageButtons buttons, TMessageKind kind) {
  TAskedMessage message{std::string(text), std::string(title), buttons, kind};
  return OnGuiThread([&] { return AskOnGui(message); });
}

TModalResult TQtUserInterface::AskOnGui(const TAskedMessage& message) {
  emit messageAsked(Q(message.title), Q(message.text));
  {
    std::lock_guard lock(scriptMutex_);
    asked_.push_back(message);
    if (scripted_) {
      if (messageAnswers_.empty()) return HeadlessAnswer(message.buttons);
      const TModalResult answer = messageAnswers_.front();
      messageAnswers_.pop_front();
      return answer;
    }
  }
  QMessageBox box(QApplication::activeWindow());
  box.setWindowTitle(Q(message.title));
  box.setText(Q(message.text));
  switch (message.kind) {
    case TMessageKind::Information:
      box.setIcon(QMessageBox::Information);
      break;
    case TMessageKind::Warning:
      box.setIcon(QMessageBox::Warning);
      break;
    case TMessageKind::Error:
      box.setIcon(QMessageBox::Critical);
      break;
    case TMessageKind::Question:
      box.setIcon(QMessageBox::Question);
      break;
  }
  switch (message.buttons) {
    case TMessageButtons::Ok:
      box.setStandardButtons(QMessageBox::Ok);
      break;
    case TMessageButtons::OkCancel:
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      break;
    case TMessageButtons::YesNo:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      break;
    case TMessageButtons::YesNoCancel:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
      break;
  }
  switch (box.exec()) {
    case QMessageBox::Ok:
      return TModalResult::Ok;
    case QMessageBox::Yes:
      return TModalResult::Yes;
    case QMessageBox::No:
      return TModalResult::No;
    default:
      return TModalResult::Cancel;
  }
}

TOverwriteAnswer TQtUserInterface::ConfirmOverwrite(std::string_view existingPath) {
  return OnGuiThread([&] {
    if (overwritePrompt_) return overwritePrompt_(existingPath);
    if (RecordScripted({std::string(existingPath), "Confirm overwrite", TMessageButtons::Ok,
                        TMessageKind::Question}))
      return TOverwriteAnswer{};
    TOverwriteFrm frm(QApplication::activeWindow());
    // Closed without its OK button: the existing file is kept.
    if (frm.exec() != static_cast<int>(TModalResult::Ok)) return TOverwriteAnswer{};
    return TOverwriteAnswer{frm.Overwrite, frm.Remember};
  });
}

std::optional<std::string> TQtUserInterface::AskPassword() {
  return OnGuiThread([&]() -> std::optional<std::string> {
    if (passwordPrompt_) return passwordPrompt_();
    if (RecordScripted({"", "Need Password", TMessageButtons::OkCancel, TMessageKind::Question}))
      return std::nullopt;
    TEnterPasswordFrm frm(QApplication::activeWindow());
    if (frm.exec() != static_cast<int>(TModalResult::Ok)) return std::nullopt;
    return S(frm.Edit1->text());
  });
}

bool TQtUserInterface::RecordScripted(const TAskedMessage& message) {
  std::lock_guard lock(scriptMutex_);
  if (!scripted_) return false;
  asked_.push_back(message);
  return true;
}

std::optional<std::string> TQtUserInterface::ChooseFile(std::string_view title,
                                                        std::string_view proposed,
                                                        std::string_view filter) {
  return OnGuiThread(
      [&] { return FileOnGui(false, Q(title), PosixOf(proposed), QtFileFilter(filter), {}); });
}

std::optional<std::string> TQtUserInterface::ChooseOpenFile(std::string_view title,
                                                            std::string_view filter,
                                                            std::string_view defaultExtension) {
  return OnGuiThread(
      [&] { return FileOnGui(false, Q(title), {}, QtFileFilter(filter), Q(defaultExtension)); });
}

std::optional<std::string> TQtUserInterface::ChooseSaveFile(std::string_view title,
                                                            std::string_view filter,
                                                            std::string_view defaultExtension) {
  return OnGuiThread(
      [&] { return FileOnGui(true, Q(title), {}, QtFileFilter(filter), Q(defaultExtension)); });
}

std::optional<std::string> TQtUserInterface::ChooseSourceFile(std::string_view title,
                                                              std::string_view filter) {
  return OnGuiThread(
      [&] { return FileOnGui(false, Q(title), {}, QtFileFilter(filter), {}, true); });
}

std::vector<std::string> TQtUserInterface::ChooseFiles(std::string_view title,
                                                       std::string_view filter) {
  return OnGuiThread([&]() -> std::vector<std::string> {
    std::vector<std::string> chosen;
    {
      std::lock_guard lock(scriptMutex_);
      if (scripted_) {
        // One scripted answer holds the files chosen together, one per line.
        if (fileAnswers_.empty()) return chosen;
        const auto answer = fileAnswers_.front();
        fileAnswers_.pop_front();
        if (answer)
          for (const QString& name : Q(*answer).split('\n', Qt::SkipEmptyParts))
            chosen.push_back(S(name));
        return chosen;
      }
    }
    QFileDialog dialog(QApplication::activeWindow(), Q(title), {}, QtFileFilter(filter));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    if (dialog.exec() != QDialog::Accepted) return chosen;
    for (const QString& name : dialog.selectedFiles())
      chosen.push_back(platform::fs::FromPosix(S(name)));
    return chosen;
  });
}

std::optional<std::string> TQtUserInterface::ChangeProjectName(std::string_view oldName) {
  return OnGuiThread([&]() -> std::optional<std::string> {
    {
      std::lock_guard lock(scriptMutex_);
      if (namesScripted_ || scripted_) {
        askedNames_.emplace_back(oldName);
        if (nameAnswers_.empty()) return std::nullopt;
        auto answer = nameAnswers_.front();
        nameAnswers_.pop_front();
        return answer;
      }
    }
    TChangeNameFrm frm(QApplication::activeWindow());
    frm.Edit1->setText(Q(oldName));
    if (frm.exec() != static_cast<int>(TModalResult::Ok)) return std::nullopt;
    return S(frm.Edit2->text());
  });
}

std::optional<std::string> TQtUserInterface::FileOnGui(bool save, const QString& title,
                                                       const QString& proposed,
                                                       const QString& filter,
                                                       const QString& defaultExtension,
                                                       bool showHidden) {
  {
    std::lock_guard lock(scriptMutex_);
    if (scripted_) {
      if (fileAnswers_.empty()) return std::nullopt;
      auto answer = fileAnswers_.front();
      fileAnswers_.pop_front();
      return answer;
    }
  }
  QFileDialog dialog(QApplication::activeWindow(), title, proposed, filter);
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  if (!defaultExtension.isEmpty()) dialog.setDefaultSuffix(defaultExtension);
  if (showHidden) dialog.setFilter(dialog.filter() | QDir::Hidden);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return platform::fs::FromPosix(S(dialog.selectedFiles().front()));
}

void TQtUserInterface::StatusProgressShow(int maximum) {
  OnGuiThread([&] {
    if (!bar_) return;
    bar_->setRange(0, maximum > 0 ? maximum : 0);
    bar_->show();
  });
}

void TQtUserInterface::StatusProgressSetPosition(int position) {
  OnGuiThread([&] {
    if (bar_) bar_->setValue(position);
  });
}

void TQtUserInterface::StatusProgressStep() {
  OnGuiThread([&] {
    if (bar_ && bar_->value() < bar_->maximum()) bar_->setValue(bar_->value() + 1);
  });
}

void TQtUserInterface::StatusProgressHide() {
  OnGuiThread([&] {
    if (bar_) bar_->hide();
  });
}

int TQtUserInterface::StatusProgressMaximum() {
  return OnGuiThread([&] { return bar_ ? bar_->maximum() : 100; });
}

void TQtUserInterface::SetStatusPanel(int index, std::string_view text) {
  OnGuiThread([&] {
    const QString t = Q(text);
    if (index >= 0 && index < static_cast<int>(panels_.size()) && panels_[index])
      panels_[index]->setText(t);
    emit statusPanelChanged(index, t);
  });
}

void TQtUserInterface::ShowBackupSet(std::string_view archivePath) {
  OnGuiThread([&] {
    if (backupSetHandler_) backupSetHandler_(std::string(archivePath));
  });
}

void TQtUserInterface::AttachStatusBar(QProgressBar* bar, std::vector<QLabel*> panels) {
  bar_ = bar;
  panels_.assign(panels.begin(), panels.end());
}

void TQtUserInterface::SetBackupSetHandler(std::function<void(const std::string&)> handler) {
  backupSetHandler_ = std::move(handler);
}

void TQtUserInterface::SetOverwritePrompt(
    std::function<TOverwriteAnswer(std::string_view)> prompt) {
  overwritePrompt_ = std::move(prompt);
}

void TQtUserInterface::SetPasswordPrompt(std::function<std::optional<std::string>()> prompt) {
  passwordPrompt_ = std::move(prompt);
}

void TQtUserInterface::ScriptMessageAnswers(std::vector<TModalResult> answers) {
  std::lock_guard lock(scriptMutex_);
  scripted_ = true;
  messageAnswers_.assign(answers.begin(), answers.end());
}

void TQtUserInterface::ScriptFileAnswers(std::vector<std::optional<std::string>> answers) {
  std::lock_guard lock(scriptMutex_);
  scripted_ = true;
  fileAnswers_.assign(answers.begin(), answers.end());
}

void TQtUserInterface::ScriptNameAnswers(std::vector<std::optional<std::string>> answers) {
  std::lock_guard lock(scriptMutex_);
  namesScripted_ = true;
  nameAnswers_.assign(answers.begin(), answers.end());
}

std::vector<std::string> TQtUserInterface::AskedNames() const {
  std::lock_guard lock(scriptMutex_);
  return askedNames_;
}

std::vector<TAskedMessage> TQtUserInterface::AskedMessages() const {
  std::lock_guard lock(scriptMutex_);
  return asked_;
}

void TQtUserInterface::ClearAskedMessages() {
  std::lock_guard lock(scriptMutex_);
  asked_.clear();
}
