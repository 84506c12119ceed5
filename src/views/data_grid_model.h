#pragma once
// The item model behind TDataGrid: reads the rows on screen from the table
// on demand, keeps a small cache of them, and holds a comment edit until the
// row is left.
#include <QAbstractTableModel>
#include <QHash>
#include <optional>

#include "store/db_table.h"

namespace hv {

class TDataGrid;

class TDataGridModel : public QAbstractTableModel {
 public:
  using Bookmark = TDbTable::Bookmark;

  explicit TDataGridModel(TDataGrid* grid);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

  void reload();  // row count read afresh, cache dropped
  void columnsChanged();
  void rowsRepaint(int first, int last);
  // Reads rows first..last into the cache (those on screen, before the
  // table is left to a worker).
  void cacheRows(int first, int last);
  // Record position of a row of the view; -1 when it cannot be read.
  Bookmark bookmarkAt(int row) const;

  bool hasPendingEdit() const { return pending_.has_value(); }
  std::optional<Bookmark> pendingRecord() const { return pending_; }
  void postPending();
  void cancelPending();

 private:
  struct Row {
    Bookmark record = -1;
    QList<std::optional<QString>> values;  // per column
  };
  const Row* row(int r) const;

  TDataGrid* grid_;
  int count_ = 0;
  mutable QHash<int, Row> cache_;
  std::optional<Bookmark> pending_;
  QString pendingText_;
};

}  // namespace hv
