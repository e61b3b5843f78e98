// The log console window: a two-column list of log entries that can be saved, cleared and
// kept on top.
#pragma once

#include <QAction>
#include <QMainWindow>
#include <QTabWidget>
#include <QToolBar>
#include <QTreeWidget>
#include <string_view>

#include "app/engine/log.h"

class TQtUserInterface;

class TConsoleFrm : public QMainWindow {
  Q_OBJECT

 public:
  // The save dialog and its failures go through `ui`.
  explicit TConsoleFrm(TQtUserInterface& ui, QWidget* parent = nullptr);

  // A row with the current time.
  void AddEntry(std::string_view levelText, std::string_view message, int level);
  // A row with the entry's own time (the log call's moment).
  void AddEntry(const TLogEntry& entry);
  // Every row in list order, as the log module keeps them.
  std::vector<TLogEntry> Entries() const;
  bool OnTopState() const;

  void SaveActExecute();
  void ClearActExecute();
  void OnTopExecute();
  void OnTopUpdate();
  void LVResize();
  // The event text takes the colour of the row's level.
  static QColor LevelColor(int level);

  QTreeWidget* LV = nullptr;
  QAction* SaveAct = nullptr;
  QAction* ClearAct = nullptr;
  QAction* OnTop = nullptr;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void LVCustomDrawSubItem(QTreeWidgetItem* item);

  TQtUserInterface& ui_;
  QToolBar* ToolBar1 = nullptr;
  QTabWidget* PageControl1 = nullptr;
};
