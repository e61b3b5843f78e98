#include "app/ui/widgets/column_widths.h"

#include <QEvent>
#include <QHeaderView>
#include <QStyle>
#include <QTableView>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <climits>

namespace {

constexpr const char* kFitterName = "ColumnFitter";

QHeaderView* HeaderOf(const QAbstractItemView* list) {
  if (auto* tree = qobject_cast<const QTreeView*>(list)) return tree->header();
  if (auto* table = qobject_cast<const QTableView*>(list)) return table->horizontalHeader();
  return nullptr;
}

// Lives as the list's child. Rows are measured as they come and change (a large list is not
// measured again for each new row), all of them again only when rows go.
class TColumnFitter : public QObject {
 public:
  TColumnFitter(QAbstractItemView* list, std::vector<int> minimums, int yielding)
      : QObject(list),
        list_(list),
        viewport_(list->viewport()),
        header_(HeaderOf(list)),
        minimums_(std::move(minimums)),
        yielding_(yielding),
        columns_(header_->count()),
        needs_(static_cast<size_t>(columns_), 0),
        widths_(static_cast<size_t>(columns_), 0) {
    setObjectName(kFitterName);
    if (yielding_ >= columns_) yielding_ = -1;
    if (yielding_ >= 0) list_->setTextElideMode(Qt::ElideMiddle);
    header_->setStretchLastSection(true);
    // The changes of one turn of the event loop (a list being filled) are fitted together.
    timer_.setSingleShot(true);
    timer_.setInterval(0);
    connect(&timer_, &QTimer::timeout, this, &TColumnFitter::Fit);
    QAbstractItemModel* model = list_->model();
    connect(model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex& parent, int first, int last) { Dirty(parent, first, last); });
    connect(model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& from, const QModelIndex& to) {
              Dirty(from.parent(), from.row(), to.row());
            });
    connect(model, &QAbstractItemModel::rowsRemoved, this, &TColumnFitter::DirtyAll);
    connect(model, &QAbstractItemModel::layoutChanged, this, &TColumnFitter::DirtyAll);
    connect(model, &QAbstractItemModel::modelReset, this, &TColumnFitter::DirtyAll);
    connect(model, &QAbstractItemModel::headerDataChanged, this, [this] { timer_.start(); });
    // A width given by anyone else (the user's drag) is kept as the column's least.
    connect(header_, &QHeaderView::sectionResized, this, [this](int column, int, int size) {
      if (!sizing_ && column != yielding_ && column < columns_ - 1)
        widths_[static_cast<size_t>(column)] = size;
    });
    list_->installEventFilter(this);
    viewport_->installEventFilter(this);
    DirtyAll();
    Fit();
  }

  // What the columns take side by side, the yielding one whole.
  int Width() {
    if (timer_.isActive()) {
      timer_.stop();
      Fit();
    }
    int sum = 0;
    for (int c = 0; c < columns_; ++c)
      sum += c == yielding_ ? Need(c) : widths_[static_cast<size_t>(c)];
    return sum;
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    const auto type = event->type();
    // Sizes are measured in the list's font and style, final once it is shown.
    if (watched == list_ &&
        (type == QEvent::Show || type == QEvent::FontChange || type == QEvent::StyleChange))
      DirtyAll();
    // Compared by address only: the list may be going, its viewport with it.
    if (watched == viewport_ && type == QEvent::Resize && yielding_ >= 0) Size();
    return QObject::eventFilter(watched, event);
  }

 private:
  void Dirty(const QModelIndex& parent, int first, int last) {
    if (parent.isValid()) return;  // flat lists only
    first_ = std::min(first_, first);
    last_ = std::max(last_, last);
    timer_.start();
  }
  void DirtyAll() {
    all_ = true;
    timer_.start();
  }

  int Minimum(int c) const { return c < static_cast<int>(minimums_.size()) ? minimums_[c] : 0; }
  int Need(int c) const {
    return std::max({Minimum(c), header_->sectionSizeHint(c), needs_[static_cast<size_t>(c)]});
  }

  void Fit() {
    const QAbstractItemModel* model = list_->model();
    int from = std::max(first_, 0), to = std::min(last_, model->rowCount() - 1);
    if (all_) {
      std::fill(needs_.begin(), needs_.end(), 0);
      from = 0;
      to = model->rowCount() - 1;
    }
    all_ = false;
    first_ = INT_MAX;
    last_ = -1;
    // A table draws its grid line inside the cell.
    const auto* table = qobject_cast<const QTableView*>(list_);
    const int grid = table && table->showGrid() ? 1 : 0;
    for (int c = 0; c < columns_; ++c) {
      int& need = needs_[static_cast<size_t>(c)];
      for (int r = from; r <= to; ++r)
        need = std::max(need, list_->sizeHintForIndex(model->index(r, c)).width() + grid);
    }
    for (int c = 0; c < columns_; ++c) {
      if (c == yielding_) continue;
      // The last column gets what it needs, and Qt stretches it beyond that.
      int& width = widths_[static_cast<size_t>(c)];
      width = c == columns_ - 1 ? Need(c) : std::max(width, Need(c));
    }
    Size();
  }

  // The yielding column takes what the others leave of the view, between its least width (its
  // minimum, its caption) and its need.
  void Size() {
    if (yielding_ >= 0) {
      int others = 0;
      for (int c = 0; c < columns_; ++c)
        if (c != yielding_) others += widths_[static_cast<size_t>(c)];
      const int room = viewport_->width() - others;
      const int need = Need(yielding_);
      const int least =
          std::min(need, std::max(Minimum(yielding_), header_->sectionSizeHint(yielding_)));
      widths_[static_cast<size_t>(yielding_)] = std::clamp(room, least, need);
    }
    sizing_ = true;
    for (int c = 0; c < columns_; ++c) {
      const int width = widths_[static_cast<size_t>(c)];
      if (header_->sectionSize(c) != width || c == columns_ - 1) header_->resizeSection(c, width);
    }
    sizing_ = false;
  }

  QAbstractItemView* list_;
  QWidget* viewport_;
  QHeaderView* header_;
  std::vector<int> minimums_;
  int yielding_;
  int columns_;
  std::vector<int> needs_;   // the widest row of each column
  std::vector<int> widths_;  // what each column is given
  bool all_ = false;         // every row is to be measured again
  int first_ = INT_MAX, last_ = -1;
  QTimer timer_;
  bool sizing_ = false;
};

}  // namespace

void FitColumns(QAbstractItemView* list, std::vector<int> minimums, int yielding) {
  QHeaderView* header = list ? HeaderOf(list) : nullptr;
  if (!header || header->count() == 0) return;
  new TColumnFitter(list, std::move(minimums), yielding);  // owned by the list
}

int FittedListWidth(QAbstractItemView* list) {
  auto* fitter = static_cast<TColumnFitter*>(
      list->findChild<QObject*>(kFitterName, Qt::FindDirectChildrenOnly));
  const int columns = fitter ? fitter->Width() : HeaderOf(list)->length();
  return columns + 2 * list->frameWidth() +
         list->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, list);
}
