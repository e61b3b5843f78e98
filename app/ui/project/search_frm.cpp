#include "app/ui/project/search_frm.h"

#include <QCoreApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QVBoxLayout>
#include <system_error>

#include "app/engine/log.h"
#include "app/engine/path_routines.h"
#include "app/engine/selection/file_search.h"
#include "app/engine/selection/selection_row_format.h"
#include "app/engine/user_interface.h"
#include "app/ui/run/gui_call_queue.h"
#include "app/ui/widgets/browse_folder_into_edit.h"
#include "app/ui/widgets/column_widths.h"
#include "app/ui/widgets/named_widgets.h"
#include "platform/shell/job_thread.h"

namespace {

QString Q(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

std::string S(const QString& s) {
  return s.toUtf8().toStdString();
}

// The busy indicator's frames.
const char* const kFrames[] = {"|", "/", "--", "\\"};

void Message(std::string_view text) {
  UserInterface()->MessageBox(text, "Quorva Backup", TMessageButtons::Ok,
                              TMessageKind::Information);
}

}  // namespace

TSearchFrm::TSearchFrm(int priorityIndex, QWidget* parent)
    : QDialog(parent), priorityIndex_(priorityIndex) {
  setObjectName("SearchFrm");
  setWindowTitle("Search files...");

  auto* maskBox = new QGroupBox("Search files", this);
  MaskEdit = new QLineEdit(maskBox);
  MaskEdit->setObjectName("MaskEdit");
  auto* maskLayout = new QHBoxLayout(maskBox);
  maskLayout->addWidget(MaskEdit);

  auto* folderBox = new QGroupBox("Start from", this);
  FolderEdit = new QLineEdit(folderBox);
  FolderEdit->setObjectName("FolderEdit");
  // Enter in a field searches; it never presses "Add Selected" or "Cancel".
  BrowseBtn = MakeNoDefaultButton(folderBox, "BrowseBtn", "...");
  auto* folderLayout = new QHBoxLayout(folderBox);
  folderLayout->addWidget(FolderEdit, 1);
  folderLayout->addWidget(BrowseBtn);

  SearchBtn = MakeNoDefaultButton(this, "SearchBtn", "Search!");
  Indicator = new QLabel(kFrames[0], this);
  Indicator->setObjectName("Indicator");
  Indicator->setMinimumWidth(24);
  Indicator->setAlignment(Qt::AlignCenter);
  // Its room is kept while it is hidden: "Search!" stays where it is when it turns into
  // "Abort", under the user's pointer.
  QSizePolicy keep = Indicator->sizePolicy();
  keep.setRetainSizeWhenHidden(true);
  Indicator->setSizePolicy(keep);
  Indicator->hide();

  LV = new QTreeWidget(this);
  LV->setObjectName("LV");
  LV->setRootIsDecorated(false);
  LV->setUniformRowHeights(true);
  LV->setHeaderLabels({"Name", "Attribute"});
  // Found paths may be longer than any window: "Attribute" stays in view.
  FitColumns(LV, {300, 80}, 0);

  SelectAll = new QCheckBox("Select all", this);
  SelectAll->setObjectName("SelectAll");
  SelectAll->setChecked(true);  // rows arrive checked
  ClearBtn = MakeNoDefaultButton(this, "ClearBtn", "Clear");
  AddSelectedBtn = MakeNoDefaultButton(this, "AddSelectedBtn", "Add Selected");
  CancelBtn = MakeNoDefaultButton(this, "CancelBtn", "Cancel");

  calls_ = new TGuiCallQueue(this);
  Timer1 = new QTimer(this);
  Timer1->setObjectName("Timer1");
  Timer1->setInterval(100);

  auto* top = new QHBoxLayout;
  auto* fields = new QVBoxLayout;
  fields->addWidget(maskBox);
  fields->addWidget(folderBox);
  top->addLayout(fields, 1);
  auto* searchColumn = new QVBoxLayout;
  searchColumn->addStretch();
  searchColumn->addWidget(SearchBtn);
  searchColumn->addWidget(Indicator, 0, Qt::AlignHCenter);
  top->addLayout(searchColumn);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(SelectAll);
  bottom->addWidget(ClearBtn);
  bottom->addStretch();
  bottom->addWidget(AddSelectedBtn);
  bottom->addWidget(CancelBtn);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(LV, 1);
  layout->addLayout(bottom);
  resize(560, 440);

  connect(SearchBtn, &QPushButton::clicked, this, &TSearchFrm::SearchBtnClick);
  connect(MaskEdit, &QLineEdit::returnPressed, this, &TSearchFrm::SearchBtnClick);
  connect(FolderEdit, &QLineEdit::returnPressed, this, &TSearchFrm::SearchBtnClick);
  connect(BrowseBtn, &QPushButton::clicked, this, &TSearchFrm::BrowseBtnClick);
  connect(ClearBtn, &QPushButton::clicked, this, &TSearchFrm::ClearBtnClick);
  connect(SelectAll, &QCheckBox::clicked, this, &TSearchFrm::SelectAllClick);
  connect(AddSelectedBtn, &QPushButton::clicked, this, &TSearchFrm::AddSelectedBtnClick);
  connect(CancelBtn, &QPushButton::clicked, this, &TSearchFrm::CancelBtnClick);
  connect(Timer1, &QTimer::timeout, this, &TSearchFrm::Timer1Timer);
}

TSearchFrm::~TSearchFrm() {
  // The threads report to this window: none may outlive it.
  StopSearches();
}

void TSearchFrm::SearchBtnClick() {
  if (Searching()) {
    stop_ = true;  // "Abort"
    return;
  }
  stop_ = false;
  const std::string maskText = S(MaskEdit->text());
  const std::string folderText = S(FolderEdit->text());
  if (folderText.empty()) return Message("Please choose an valid folder to start searching from!");
  if (maskText.empty()) return Message("Please enter searching contents!");
  const std::vector<std::string> masks = SplitSearchMasks(maskText);
  if (masks.empty()) return;

  SearchStarted();
  const std::string folder = AddTrailingBackslash(folderText);
  for (const std::string& mask : masks) {
    packs_.push_back(std::make_unique<TSearch_Pack>(TSearch_Pack{folder, mask, this}));
    const TSearch_Pack* pack = packs_.back().get();
    // Counted before the thread exists: until it ends the dialog is searching, so it can
    // neither go idle nor be closed under a thread that is still starting.
    ++running_;
    try {
      auto thread =
          std::make_unique<platform::shell::JobThread>([this, pack] { SearchThreadProc(pack); });
      std::string refused;
      if (!thread->SetPriority(priorityIndex_, &refused)) LogError(refused);
      thread->Resume();
      threads_.push_back(std::move(thread));
    } catch (const std::system_error& e) {
      --running_;
      LogError("Cannot start the search for " + mask + ": " + e.what());
    }
  }
}

void TSearchFrm::SearchThreadProc(const TSearch_Pack* pack) {
  try {
    SearchFolder(pack->Folder, pack->Mask, stop_,
                 [this](const std::string& folder, const platform::fs::DirEntry& entry) {
                   calls_->Call([&] { WMFileFound(folder, entry); });
                 });
  } catch (const std::exception& e) {
    LogError("The search for " + pack->Mask + " stopped: " + e.what());
  } catch (...) {
    LogError("The search for " + pack->Mask + " stopped.");
  }
  --running_;
  calls_->Wake();  // a GUI thread waiting for the searches to end looks again
}

void TSearchFrm::WMFileFound(const std::string& folder, const platform::fs::DirEntry& entry) {
  auto* row = new QTreeWidgetItem(LV);  // owned by the list
  row->setText(0, Q(folder + entry.name));
  row->setText(1, Q(FormatRowAttributes(entry.info)));
  row->setFlags(row->flags() | Qt::ItemIsUserCheckable);
  row->setCheckState(0, Qt::Checked);
}

void TSearchFrm::SearchStarted() {
  SearchBtn->setText("Abort");
  for (QWidget* w : std::initializer_list<QWidget*>{ClearBtn, AddSelectedBtn, CancelBtn, BrowseBtn,
                                                    SelectAll, MaskEdit, FolderEdit})
    w->setEnabled(false);
  tick_ = 0;
  Indicator->show();
  Timer1->start();
}

void TSearchFrm::SearchStopped() {
  JoinThreads();
  for (QWidget* w : std::initializer_list<QWidget*>{ClearBtn, AddSelectedBtn, CancelBtn, BrowseBtn,
                                                    SelectAll, MaskEdit, FolderEdit})
    w->setEnabled(true);
  Timer1->stop();
  stop_ = false;
  SearchBtn->setText("Search!");
  Indicator->hide();
}

void TSearchFrm::Timer1Timer() {
  // Also served here, for loops that handle events without ever waiting for them.
  calls_->RunPending();
  Indicator->setText(kFrames[tick_ % 4]);
  ++tick_;
  if (running_ == 0) SearchStopped();
}

void TSearchFrm::BrowseBtnClick() {
  BrowseFolderIntoEdit(this, FolderEdit);
}

void TSearchFrm::ClearBtnClick() {
  LV->clear();
}

void TSearchFrm::SelectAllClick() {
  const Qt::CheckState state = SelectAll->isChecked() ? Qt::Checked : Qt::Unchecked;
  for (int i = 0; i < LV->topLevelItemCount(); ++i) LV->topLevelItem(i)->setCheckState(0, state);
}

void TSearchFrm::AddSelectedBtnClick() {
  done(1);
}

void TSearchFrm::CancelBtnClick() {
  done(2);
}

std::vector<std::string> TSearchFrm::SelectedFiles() const {
  std::vector<std::string> files;
  for (int i = 0; i < LV->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* row = LV->topLevelItem(i);
    if (row->checkState(0) == Qt::Checked) files.push_back(S(row->text(0)));
  }
  return files;
}

void TSearchFrm::done(int result) {
  if (stopping_) return;  // a second close while the first one waits
  StopSearches();
  if (Timer1->isActive()) SearchStopped();
  packs_.clear();
  QDialog::done(result);
}

void TSearchFrm::StopSearches() {
  stopping_ = true;
  stop_ = true;
  // A thread may be waiting for its found-file call: the events go on being handled.
  while (running_ > 0) {
    calls_->RunPending();
    if (running_ > 0) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  JoinThreads();
  stopping_ = false;
}

void TSearchFrm::JoinThreads() {
  for (auto& thread : threads_) thread->Join();
  threads_.clear();
}
