// "Search files...": searches a folder tree for file masks, one search thread per mask, and
// lists every file found, checked. Callers show it modally and, on OK (1), take the checked
// rows. Closing it by any means while it searches stops the threads and waits for them, going
// on with their found-file calls meanwhile.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "platform/fs/fs.h"

namespace platform::shell {
class JobThread;
}

class TGuiCallQueue;
class TSearchFrm;

// One search: its start folder (trailing backslash), its mask and the dialog it reports to.
struct TSearch_Pack {
  std::string Folder;
  std::string Mask;
  TSearchFrm* Dialog = nullptr;
};

class TSearchFrm : public QDialog {
  Q_OBJECT

 public:
  // The search threads take the priority of the settings' priority index.
  explicit TSearchFrm(int priorityIndex, QWidget* parent = nullptr);
  ~TSearchFrm() override;

  // "Search!" starts a search; while searching ("Abort") it sets the stop flag.
  void SearchBtnClick();
  void SearchStarted();
  void SearchStopped();
  void Timer1Timer();
  void BrowseBtnClick();
  void ClearBtnClick();
  void SelectAllClick();
  void AddSelectedBtnClick();
  void CancelBtnClick();
  // On the GUI thread, for each file a search thread found: a checked row.
  void WMFileFound(const std::string& folder, const platform::fs::DirEntry& entry);

  bool Searching() const { return running_ > 0; }
  int RunningCount() const { return running_; }
  // The captions (folder + name) of the checked rows, in list order.
  std::vector<std::string> SelectedFiles() const;

  QLineEdit* MaskEdit = nullptr;
  QLineEdit* FolderEdit = nullptr;
  QPushButton* BrowseBtn = nullptr;
  QPushButton* SearchBtn = nullptr;
  QLabel* Indicator = nullptr;
  QTreeWidget* LV = nullptr;
  QCheckBox* SelectAll = nullptr;
  QPushButton* ClearBtn = nullptr;
  QPushButton* AddSelectedBtn = nullptr;
  QPushButton* CancelBtn = nullptr;
  QTimer* Timer1 = nullptr;

 protected:
  // Every way of closing (buttons, Esc, the close box) ends here.
  void done(int result) override;
  void reject() override { done(2); }

 private:
  void SearchThreadProc(const TSearch_Pack* pack);
  // Sets the stop flag, handles the GUI thread's events (the found-file calls among them)
  // until every search has ended, then joins the threads.
  void StopSearches();
  void JoinThreads();

  const int priorityIndex_;
  TGuiCallQueue* calls_ = nullptr;  // the found-file calls of the threads
  std::atomic<bool> stop_{false};
  std::atomic<int> running_{0};
  int tick_ = 0;
  bool stopping_ = false;
  std::vector<std::unique_ptr<TSearch_Pack>> packs_;
  std::vector<std::unique_ptr<platform::shell::JobThread>> threads_;
};
