// The Schedule page: one row per schedule of the store, and the actions that add, remove,
// configure, enable and disable schedules. Every change goes through the store, which keeps
// the start-up entries under the Run key in step.
#pragma once

#include <QTableWidget>
#include <QWidget>
#include <string>

#include "app/engine/schedule/schedules.h"

class TProjects;

class TSchedulePageView : public QWidget {
  Q_OBJECT

 public:
  // `projects` is the main window's project list, offered by the project chooser.
  explicit TSchedulePageView(const TProjects& projects, QWidget* parent = nullptr);

  TSchedules& Schedules() { return schedules_; }

  // Loads the store and adds one row per schedule.
  void LoadSchedules();
  // The rows and the schedules go (the window closes).
  void FreeSchedules();

  // The actions. Remove, configure, enable and disable act on the one selected row.
  void AddKnownScheduleExecute();
  void AddLocalProjectExecute();
  void RemoveScheduleExecute();
  void ConfigScheduleExecute();
  void EnableScheduleExecute();
  void DisableScheduleExecute();

  // The schedule of the one selected row, or null.
  TSchedule* SelectedSchedule() const;
  // Whether a row is selected, and whether its image shows it enabled.
  bool HasSelection() const;
  bool SelectedRowShowsEnabled() const;
  // A row's state image: 1 enabled, 0 disabled.
  int RowStateImage(int row) const;
  // The ID the row keeps.
  std::string RowID(int row) const;

  QTableWidget* ScheduleLV = nullptr;

 private:
  void AddScheduleOf(const std::string& projectFile);
  void AddRow(const TSchedule& schedule);
  void SetRowState(int row, int state);
  int SelectedRow() const;
  // Saves `edited` over the listed schedule; false (reported) when the store refused.
  bool Commit(TSchedule& listed, const TSchedule& edited);
  void UpdateStartupEntry(const std::string& project);
  void SetEnabled(int enabled);
  void Report(const std::string& text);

  const TProjects& projects_;
  TSchedules schedules_;
};
