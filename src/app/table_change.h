#pragma once
// Changes of the open table that take a while on a big one (deleting rows,
// renumbering, appending a download): on a thread beside the window, with
// the progress window, while the grids read nothing from the table.
#include <QString>
#include <QtGlobal>
#include <atomic>
#include <functional>

#include "store/table_file.h"

class QWidget;

namespace hv {

class ArchivePages;
class TDbTable;

struct TableChange {
  QString caption;  // of the progress window
  // How many times the work goes through the table's records, for the
  // progress: the backup copy is one, a pack or a renumbering another.
  int passes = 2;
  // Runs with the table to itself. The table reports its long writes to
  // the watch; the work may say through it when giving up is too late.
  std::function<void(store::WriteWatch&)> work;
};

// A table of fewer records is changed on the window's own thread, as
// before: no progress window flashes up for it.
inline constexpr qint64 kRecordsChangedBeside = 50000;

// Runs the change: inline on a small table, else beside the window, the
// grids of `pages` busy meanwhile and following the table afterwards. False
// when the user gave it up ("Отмена") before the table's file was replaced:
// the table is then as it was. What the work throws is rethrown here.
bool runTableChange(QWidget* parent, ArchivePages& pages, TDbTable& table, const TableChange& change);

// For tests: another threshold (0 restores kRecordsChangedBeside), and a
// step the worker takes before the work, given the flag that "Отмена" sets.
void setRecordsChangedBesideForTesting(qint64 records);
void setTableChangeStartForTesting(const std::function<void(const std::atomic<bool>& stop)>& step);

}  // namespace hv
