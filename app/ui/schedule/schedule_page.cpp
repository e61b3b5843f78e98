#include "app/ui/schedule/schedule_page.h"

#include <QHeaderView>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include "app/engine/log.h"
#include "app/engine/project/projects.h"
#include "app/engine/user_interface.h"
#include "app/ui/schedule/choose_project_to_schedule.h"
#include "app/ui/schedule/schedule_cfg_frm.h"
#include "app/ui/widgets/column_widths.h"
#include "app/ui/widgets/last_run_text.h"

namespace {

constexpr int kIDRole = Qt::UserRole + 1;
constexpr int kStateRole = Qt::UserRole + 2;
constexpr const char* kTitle = "Quorva Backup";

QString Q(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

std::string S(const QString& s) {
  return s.toUtf8().toStdString();
}

std::string TimesLeftText(std::int32_t stopAfterTimes) {
  return stopAfterTimes == -1 ? "Never expired" : std::to_string(stopAfterTimes);
}

// The state images: a green disc with a tick for enabled, a grey one with a bar for disabled.
QIcon StateIcon(int state) {
  QPixmap image(16, 16);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(state == 1 ? QColor(46, 160, 67) : QColor(150, 150, 150));
  p.drawEllipse(QRectF(1, 1, 14, 14));
  p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
  if (state == 1) {
    QPainterPath tick;
    tick.moveTo(4.5, 8.5);
    tick.lineTo(7, 11);
    tick.lineTo(11.5, 5.5);
    p.drawPath(tick);
  } else {
    p.drawLine(QPointF(5, 8), QPointF(11, 8));
  }
  p.end();
  QIcon icon;
  // The same image when selected or disabled: it shows the schedule, not the row.
  for (auto mode : {QIcon::Normal, QIcon::Selected, QIcon::Active, QIcon::Disabled})
    icon.addPixmap(image, mode);
  return icon;
}

}  // namespace

TSchedulePageView::TSchedulePageView(const TProjects& projects, QWidget* parent)
    : QWidget(parent), projects_(projects) {
  setObjectName("SchedulePageView");
  ScheduleLV = new QTableWidget(0, 4, this);
  ScheduleLV->setObjectName("ScheduleLV");
  ScheduleLV->setHorizontalHeaderLabels(
      {"Project Name", "Run Description", "Last Run", "Times Left"});
  FitColumns(ScheduleLV, {200, 250, 100, 69}, 0);
  ScheduleLV->verticalHeader()->hide();
  ScheduleLV->setShowGrid(true);
  ScheduleLV->setEditTriggers(QAbstractItemView::NoEditTriggers);
  ScheduleLV->setSelectionBehavior(QAbstractItemView::SelectRows);
  ScheduleLV->setSelectionMode(QAbstractItemView::SingleSelection);
  ScheduleLV->setWordWrap(false);
  ScheduleLV->horizontalHeader()->setHighlightSections(false);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(ScheduleLV);
}

void TSchedulePageView::LoadSchedules() {
  schedules_.LoadAll();
  for (int i = 0; i < schedules_.Count(); ++i) AddRow(*schedules_.Get(i));
}

void TSchedulePageView::FreeSchedules() {
  ScheduleLV->setRowCount(0);
  while (schedules_.Count() > 0) schedules_.Extract(*schedules_.Get(0));
}

void TSchedulePageView::AddRow(const TSchedule& schedule) {
  const int row = ScheduleLV->rowCount();
  ScheduleLV->insertRow(row);
  const std::string texts[] = {schedule.Project, schedule.Description(),
                               LastRunText(schedule.LastRun),
                               TimesLeftText(schedule.StopAfterTimes)};
  for (int c = 0; c < 4; ++c)
    ScheduleLV->setItem(row, c, new QTableWidgetItem(Q(texts[c])));  // owned by the list
  ScheduleLV->item(row, 0)->setData(kIDRole, Q(schedule.ID));
  SetRowState(row, schedule.IsEnabled() ? 1 : 0);
}

void TSchedulePageView::SetRowState(int row, int state) {
  QTableWidgetItem* item = ScheduleLV->item(row, 0);
  item->setData(kStateRole, state);
  item->setIcon(StateIcon(state));
}

int TSchedulePageView::RowStateImage(int row) const {
  const QTableWidgetItem* item = ScheduleLV->item(row, 0);
  return item ? item->data(kStateRole).toInt() : 0;
}

std::string TSchedulePageView::RowID(int row) const {
  const QTableWidgetItem* item = ScheduleLV->item(row, 0);
  return item ? S(item->data(kIDRole).toString()) : std::string();
}

int TSchedulePageView::SelectedRow() const {
  const auto rows = ScheduleLV->selectionModel()->selectedRows();
  return rows.size() == 1 ? rows.front().row() : -1;
}

bool TSchedulePageView::HasSelection() const {
  return SelectedRow() >= 0;
}

bool TSchedulePageView::SelectedRowShowsEnabled() const {
  const int row = SelectedRow();
  return row >= 0 && RowStateImage(row) == 1;
}

TSchedule* TSchedulePageView::SelectedSchedule() const {
  const int row = SelectedRow();
  return row < 0 ? nullptr : schedules_.FindByID(RowID(row));
}

void TSchedulePageView::Report(const std::string& text) {
  LogError(text);
  UserInterface()->MessageBox(text, kTitle, TMessageButtons::Ok, TMessageKind::Error);
}

void TSchedulePageView::UpdateStartupEntry(const std::string& project) {
  if (!schedules_.UpdateStartupEntry(project))
    Report("The start-up entry of " + project + " could not be changed.");
}

void TSchedulePageView::AddKnownScheduleExecute() {
  std::vector<std::pair<std::string, std::string>> rows;
  for (int i = 0; i < projects_.Count(); ++i)
    rows.emplace_back(projects_.Get(i)->Name, projects_.Get(i)->ProjectFile);
  TChooseProjectToSchedule chooser(rows, window());
  if (chooser.exec() != 1) return;
  AddScheduleOf(chooser.ProjectFile);
}

void TSchedulePageView::AddLocalProjectExecute() {
  const auto file = ChooseProjectFile();
  if (!file) return;
  AddScheduleOf(*file);
}

void TSchedulePageView::AddScheduleOf(const std::string& projectFile) {
  TScheduleCfgFrm dialog(window());
  if (dialog.exec() != 1) return;
  TSchedule& schedule = schedules_.Add();
  schedule.Project = projectFile;
  dialog.FormToSchedule(schedule);
  if (const TScheduleSaveError error = schedules_.Save(schedule);
      error != TScheduleSaveError::None) {
    schedules_.Extract(schedule);
    return Report(ScheduleSaveErrorText(error));
  }
  AddRow(schedule);
  LogStatus("Adding project " + schedule.Project + " to schedule");
  UpdateStartupEntry(schedule.Project);
}

void TSchedulePageView::RemoveScheduleExecute() {
  const int row = SelectedRow();
  if (row < 0) return;
  TSchedule* schedule = schedules_.FindByID(RowID(row));
  if (schedule) {
    // Its Run value is named by the project it cannot tell: removing the subkey alone would
    // leave the entry starting the backup at every log-in.
    if (schedule->HelperMissingAtLoad) return Report(ScheduleRemoveRefusedText());
    LogStatus("Deleting project " + schedule->Project + " from schedule");
    if (!schedules_.Delete(*schedule))
      return Report("The schedule of " + schedule->Project + " could not be deleted.");
    const std::unique_ptr<TSchedule> removed = schedules_.Extract(*schedule);
    UpdateStartupEntry(removed->Project);
  }
  ScheduleLV->removeRow(row);
}

bool TSchedulePageView::Commit(TSchedule& listed, const TSchedule& edited) {
  if (const TScheduleSaveError error = schedules_.Save(edited); error != TScheduleSaveError::None) {
    Report(ScheduleSaveErrorText(error));
    return false;
  }
  listed = edited;
  return true;
}

void TSchedulePageView::ConfigScheduleExecute() {
  const int row = SelectedRow();
  TSchedule* schedule = SelectedSchedule();
  if (!schedule) return;
  TScheduleCfgFrm dialog(window());
  dialog.ScheduleToForm(*schedule);
  if (dialog.exec() != 1) return;
  TSchedule edited = *schedule;
  dialog.FormToSchedule(edited);
  if (!Commit(*schedule, edited)) return;
  UpdateStartupEntry(schedule->Project);
  ScheduleLV->item(row, 1)->setText(Q(schedule->Description()));
  ScheduleLV->item(row, 3)->setText(Q(TimesLeftText(schedule->StopAfterTimes)));
}

void TSchedulePageView::EnableScheduleExecute() {
  SetEnabled(1);
}

void TSchedulePageView::DisableScheduleExecute() {
  SetEnabled(0);
}

void TSchedulePageView::SetEnabled(int enabled) {
  const int row = SelectedRow();
  TSchedule* schedule = SelectedSchedule();
  if (!schedule) return;
  TSchedule edited = *schedule;
  edited.Enabled = enabled;
  if (!Commit(*schedule, edited)) return;
  SetRowState(row, enabled);
  LogStatus((enabled ? "Enabling scheduled project " : "Disabling scheduled project ") +
            schedule->Project);
  UpdateStartupEntry(schedule->Project);
}
