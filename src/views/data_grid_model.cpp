#include "views/data_grid_model.h"

#include <QApplication>
#include <QBrush>
#include <QFont>
#include <QPalette>

#include "platform/ui.h"
#include "store/table_errors.h"
#include "views/data_grid.h"

namespace hv {

namespace {
constexpr int kCacheRows = 2048;  // a few screens; enough to paint and scroll without rereading
const QString kComment = fieldName(MeasurementField::Comment);

bool isNumericField(const QString& f) {
  const std::optional<MeasurementField> field = measurementFieldNamed(f);
  return field && fieldSpec(*field).type == 'N';
}
}  // namespace

TDataGridModel::TDataGridModel(TDataGrid* grid) : QAbstractTableModel(grid), grid_(grid) {}

int TDataGridModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : count_; }

int TDataGridModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : grid_->columnCount();
}

void TDataGridModel::reload() {
  beginResetModel();
  cache_.clear();
  count_ = 0;
  TDbTable* t = grid_->readable();
  if (t && t->active()) {
    try {
      count_ = t->recordCount();
    } catch (const TableDamagedError& e) {
      count_ = 0;
      emit grid_->readFailed(e.text());
    } catch (const std::exception&) {
      count_ = 0;
    }
    if (pending_ && t->state() != TDbTable::State::Edit) pending_.reset();
  } else {
    pending_.reset();
  }
  endResetModel();
}

void TDataGridModel::columnsChanged() {
  beginResetModel();
  cache_.clear();
  endResetModel();
}

void TDataGridModel::rowsRepaint(int first, int last) {
  if (count_ == 0 || first > last) return;
  first = qBound(0, first, count_ - 1);
  last = qBound(0, last, count_ - 1);
  emit dataChanged(index(first, 0), index(last, columnCount() - 1));
}

const TDataGridModel::Row* TDataGridModel::row(int r) const {
  if (r < 0 || r >= count_) return nullptr;
  auto it = cache_.constFind(r);
  if (it != cache_.constEnd()) return &it.value();
  TDbTable* t = grid_->readable();
  if (!t || !t->active()) return nullptr;
  Row fresh;
  try {
    fresh.record = t->bookmarkAtRow(r);
    fresh.values.reserve(grid_->columnCount());
    for (int c = 0; c < grid_->columnCount(); ++c) fresh.values.append(t->fieldTextAt(fresh.record, grid_->column(c).fieldName));
  } catch (const TableDamagedError& e) {
    // Cut short or spoilt under us: the user is told, not shown blank rows in silence.
    emit grid_->readFailed(e.text());
    return nullptr;
  } catch (const std::exception&) {
    // The table moved under the grid (another filter while a command runs):
    // show nothing until the grid is told.
    return nullptr;
  }
  if (cache_.size() >= kCacheRows) cache_.clear();  // never while busy: nothing new is read then
  return &cache_.insert(r, std::move(fresh)).value();
}

void TDataGridModel::cacheRows(int first, int last) {
  for (int r = qMax(first, 0); r <= last && r < count_; ++r) row(r);
}

TDataGridModel::Bookmark TDataGridModel::bookmarkAt(int r) const {
  const Row* rw = row(r);
  return rw ? rw->record : -1;
}

QVariant TDataGridModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.column() >= grid_->columnCount()) return {};
  const TGridColumn& col = grid_->column(index.column());
  switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole: {
      const Row* rw = row(index.row());
      if (!rw) return {};
      if (pending_ && *pending_ == rw->record && col.fieldName == kComment) return pendingText_;
      const std::optional<QString>& v = rw->values.value(index.column());
      return v ? v->trimmed() : QString();
    }
    case Qt::TextAlignmentRole: {
      Qt::Alignment h = Qt::AlignLeft;
      switch (col.alignment) {
        case ColumnAlignment::Left: h = Qt::AlignLeft; break;
        case ColumnAlignment::Right: h = Qt::AlignRight; break;
        case ColumnAlignment::Center: h = Qt::AlignHCenter; break;
        case ColumnAlignment::Default: h = isNumericField(col.fieldName) ? Qt::AlignRight : Qt::AlignLeft; break;
      }
      return QVariant::fromValue(h | Qt::AlignVCenter);
    }
    case Qt::BackgroundRole: {
      const Row* rw = row(index.row());
      if (rw && grid_->isRowSelected(index.row())) return QApplication::palette().brush(QPalette::Highlight);
      if (col.color.isValid()) return QBrush(col.color);
      return {};
    }
    case Qt::ForegroundRole:
      if (grid_->isRowSelected(index.row())) return QApplication::palette().brush(QPalette::HighlightedText);
      return {};
    case Qt::FontRole:
      if (!col.font.isEmpty()) {
        QFont f;
        if (f.fromString(col.font)) return f;
      }
      return {};
    default:
      return {};
  }
}

QVariant TDataGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < grid_->columnCount())
    return grid_->column(section).caption;
  return {};
}

Qt::ItemFlags TDataGridModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  const TGridColumn& col = grid_->column(index.column());
  // Only the comment can be edited, and only in a table that may be written.
  const TDbTable* t = grid_->readable();
  if (!col.readOnly && col.fieldName == kComment && !(t && t->readOnly())) f |= Qt::ItemIsEditable;
  return f;
}

bool TDataGridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable)) return false;
  TDbTable* t = grid_->readable();
  const Row* rw = row(index.row());
  if (!t || !t->active() || !rw) return false;
  const Bookmark record = rw->record;
  const QString text = value.toString();
  return runCommand([&] {
    if (pending_ && *pending_ != record) postPending();
    if (!pending_) {
      if (!t->gotoBookmark(record)) return;
      t->edit();
    }
    t->setFieldText(kComment, text);
    pending_ = record;
    pendingText_ = text;
    cache_.remove(index.row());
    emit dataChanged(index, index);
  });
}

void TDataGridModel::postPending() {
  if (!pending_) return;
  pending_.reset();
  TDbTable* t = grid_->readable();
  if (t && t->active() && t->state() == TDbTable::State::Edit) t->post();
  cache_.clear();
  if (count_ > 0) emit dataChanged(index(0, 0), index(count_ - 1, columnCount() - 1));
}

void TDataGridModel::cancelPending() {
  if (!pending_) return;
  pending_.reset();
  TDbTable* t = grid_->readable();
  if (t && t->active() && t->state() == TDbTable::State::Edit) t->cancel();
  cache_.clear();
  if (count_ > 0) emit dataChanged(index(0, 0), index(count_ - 1, columnCount() - 1));
}

}  // namespace hv
