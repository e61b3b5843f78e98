#include "app/ui/run/console_frm.h"

#include <QEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QVBoxLayout>
#include <ctime>

#include "app/ui/run/qt_user_interface.h"
#include "app/ui/widgets/fit_captions.h"
#include "platform/fs/fs.h"
#include "platform/shell/shell.h"

namespace {

constexpr int kLevelRole = Qt::UserRole;
constexpr int kLevelTextRole = Qt::UserRole + 1;
constexpr int kMessageRole = Qt::UserRole + 2;

QString Q(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

std::string S(const QString& s) {
  return s.toUtf8().toStdString();
}

}  // namespace

TConsoleFrm::TConsoleFrm(TQtUserInterface& ui, QWidget* parent) : QMainWindow(parent), ui_(ui) {
  setObjectName("ConsoleFrm");
  setWindowTitle("Console");
  resize(480, 320);

  SaveAct = new QAction("&Save", this);
  SaveAct->setObjectName("SaveAct");
  ClearAct = new QAction("&Clear", this);
  ClearAct->setObjectName("ClearAct");
  OnTop = new QAction("&Always On Top", this);
  OnTop->setObjectName("OnTop");
  OnTop->setCheckable(true);
  connect(SaveAct, &QAction::triggered, this, &TConsoleFrm::SaveActExecute);
  connect(ClearAct, &QAction::triggered, this, &TConsoleFrm::ClearActExecute);
  connect(OnTop, &QAction::triggered, this, &TConsoleFrm::OnTopExecute);

  ToolBar1 = addToolBar("ToolBar1");
  ToolBar1->setObjectName("ToolBar1");
  ToolBar1->setMovable(false);
  ToolBar1->addAction(SaveAct);
  ToolBar1->addAction(ClearAct);
  ToolBar1->addSeparator();
  ToolBar1->addAction(OnTop);

  PageControl1 = new QTabWidget(this);
  PageControl1->setObjectName("PageControl1");
  PageControl1->setTabPosition(QTabWidget::South);
  LV = new QTreeWidget;
  LV->setObjectName("LV");
  LV->setColumnCount(2);
  LV->setHeaderLabels({"Time", "Events"});
  FitColumnToCaption(LV->header(), 0, 120);
  LV->setColumnWidth(1, 200);
  LV->header()->setStretchLastSection(false);
  LV->header()->setMinimumSectionSize(10);
  LV->setRootIsDecorated(false);
  LV->setUniformRowHeights(true);
  LV->setEditTriggers(QAbstractItemView::NoEditTriggers);
  LV->setSelectionBehavior(QAbstractItemView::SelectRows);
  LV->setMouseTracking(true);  // hot tracking
  LV->installEventFilter(this);
  PageControl1->addTab(LV, "General");
  setCentralWidget(PageControl1);

  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
}

void TConsoleFrm::AddEntry(std::string_view levelText, std::string_view message, int level) {
  TLogEntry entry;
  entry.timeText = platform::shell::FormatShortDateLongTime(std::time(nullptr));
  entry.levelText = std::string(levelText);
  entry.message = std::string(message);
  entry.level = level;
  AddEntry(entry);
}

void TConsoleFrm::AddEntry(const TLogEntry& entry) {
  auto* item = new QTreeWidgetItem(LV);  // owned by the list
  item->setText(0, Q(entry.timeText));
  item->setText(1, Q(entry.EventText()));
  item->setData(0, kLevelRole, entry.level);
  item->setData(0, kLevelTextRole, Q(entry.levelText));
  item->setData(0, kMessageRole, Q(entry.message));
  LVCustomDrawSubItem(item);
}

std::vector<TLogEntry> TConsoleFrm::Entries() const {
  std::vector<TLogEntry> out;
  for (int i = 0; i < LV->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* item = LV->topLevelItem(i);
    TLogEntry e;
    e.timeText = S(item->text(0));
    e.levelText = S(item->data(0, kLevelTextRole).toString());
    e.message = S(item->data(0, kMessageRole).toString());
    e.level = item->data(0, kLevelRole).toInt();
    out.push_back(std::move(e));
  }
  return out;
}

QColor TConsoleFrm::LevelColor(int level) {
  switch (level) {
    case 1:
      return QColor(255, 0, 0);
    case 2:
      return QColor(0, 0, 128);
    case 3:
      return QColor(0, 0, 255);
    default:
      return QColor(0, 0, 0);
  }
}

void TConsoleFrm::LVCustomDrawSubItem(QTreeWidgetItem* item) {
  item->setForeground(1, LevelColor(item->data(0, kLevelRole).toInt()));
}

void TConsoleFrm::SaveActExecute() {
  const auto path = ui_.ChooseSaveFile("", "Text File|*.txt", "txt");
  if (!path) return;
  const std::string text = FormatLogFile(Entries());
  try {
    platform::fs::WriteWholeFileAtomic(*path, text.data(), text.size());
  } catch (const std::exception& e) {
    LogError(std::string("Cannot save the log: ") + e.what());
    ui_.MessageBox(std::string("Cannot save the log: ") + e.what(), "Console", TMessageButtons::Ok,
                   TMessageKind::Error);
  }
}

void TConsoleFrm::ClearActExecute() {
  LV->clear();
}

bool TConsoleFrm::OnTopState() const {
  return windowFlags().testFlag(Qt::WindowStaysOnTopHint);
}

void TConsoleFrm::OnTopExecute() {
  const bool visible = isVisible();
  setWindowFlag(Qt::WindowStaysOnTopHint, !OnTopState());
  if (visible) show();  // changing the flags hides the window
  OnTopUpdate();
}

void TConsoleFrm::OnTopUpdate() {
  OnTop->setChecked(OnTopState());
}

void TConsoleFrm::LVResize() {
  const int width = LV->width() - LV->columnWidth(0) - 10;
  LV->setColumnWidth(1, width < 10 ? 10 : width);
}

bool TConsoleFrm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == LV && event->type() == QEvent::Resize) LVResize();
  return QMainWindow::eventFilter(watched, event);
}

void TConsoleFrm::showEvent(QShowEvent* event) {
  OnTopUpdate();
  QMainWindow::showEvent(event);
}
