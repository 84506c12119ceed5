#include "app/table_change.h"

#include <QPushButton>
#include <algorithm>

#include "app/archive_pages.h"
#include "report/progress_window.h"
#include "store/db_table.h"
#include "store/table_errors.h"

namespace hv {

namespace {

qint64 g_recordsBeside = 0;  // 0: kRecordsChangedBeside
std::function<void(const std::atomic<bool>&)> g_startStep;

// The grids read nothing from the table and the table reports to the watch
// while the change runs beside the window, however it ends.
class BesideScope {
 public:
  BesideScope(ArchivePages& pages, TDbTable& table, store::WriteWatch& watch) : pages_(pages), table_(table) {
    pages_.setBusy(true);
    table_.watchWrites(&watch);
  }
  ~BesideScope() {
    table_.watchWrites(nullptr);
    pages_.setBusy(false);
  }
  BesideScope(const BesideScope&) = delete;
  BesideScope& operator=(const BesideScope&) = delete;

 private:
  ArchivePages& pages_;
  TDbTable& table_;
};

}  // namespace

void setRecordsChangedBesideForTesting(qint64 records) { g_recordsBeside = records; }

void setTableChangeStartForTesting(const std::function<void(const std::atomic<bool>& stop)>& step) {
  g_startStep = step;
}

bool runTableChange(QWidget* parent, ArchivePages& pages, TDbTable& table, const TableChange& change) {
  store::WriteWatch watch;
  const qint64 records = table.active() ? table.rowCount(ArchiveFilter()) : 0;
  if (records < (g_recordsBeside > 0 ? g_recordsBeside : kRecordsChangedBeside)) {
    change.work(watch);
    return true;
  }
  report::ProgressWindow progress(parent, change.caption);
  const qint64 total = std::max<qint64>(1, records * std::max(1, change.passes));
  progress.setProgressText([&](qint64 done, qint64 all) {
    // Past the point where the table's file is replaced "Отмена" would promise what cannot be.
    if (watch.committed) progress.cancelButton()->setEnabled(false);
    return QStringLiteral("Выполнено %1 %").arg(std::min<qint64>(99, done * 100 / std::max<qint64>(1, all)));
  });
  try {
    const BesideScope scope(pages, table, watch);
    progress.runBeside(
        [&] {
          if (g_startStep) g_startStep(watch.stop);
          change.work(watch);
        },
        [&] { return watch.done.load(); }, total, watch.stop);
  } catch (const TableWriteCancelled&) {
    return false;
  }
  return true;
}

}  // namespace hv
