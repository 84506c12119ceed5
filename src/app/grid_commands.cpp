#include "app/grid_commands.h"

#include <QTabWidget>
#include <atomic>

#include "app/archive_pages.h"
#include "app/table_change.h"
#include "app/table_document.h"
#include "platform/error.h"
#include "platform/settings.h"
#include "platform/ui.h"
#include "report/progress_window.h"
#include "store/db_table.h"
#include "store/table_errors.h"
#include "views/archive_table.h"
#include "views/data_grid.h"
#include "views/grid_layout.h"

namespace hv {

GridCommands::GridCommands(TableDocument& document, ArchivePages& pages, SettingsKey& settings, QWidget* parent)
    : document_(document), pages_(pages), settings_(settings), parent_(parent) {}

void GridCommands::prepareGrids() {
  for (ArchiveKind kind : kArchiveKinds) pages_.grid(kind)->setBookmarkFields(kBookmarkFields);
  for (ArchiveKind kind : kArchiveKinds) pages_.resetSort(kind);
}

void GridCommands::sortByTitle(ArchiveKind kind, int column) {
  if (!document_.isActive()) return;
  pages_.postPendingEdit();
  TDataGrid* grid = pages_.grid(kind);
  TDbTable& table = document_.table();
  // The order of a big table is worked out on a thread beside the window,
  // which shows the old order meanwhile and keeps answering.
  SortBeside beside;
  if (table.rowCount(ArchiveFilter()) >= rowsSortedBeside_) {
    beside = [this](TDbTable::IndexBuild& build) {
      report::ProgressWindow progress(parent_, QStringLiteral("Сортировка"));
      std::atomic<bool> stop{false};
      bool finished = false;
      progress.runBeside([&] { finished = build.run(stop); }, [&] { return build.done(); }, build.total(), stop);
      return finished;
    };
  }
  bool sorted = false;
  try {
    sorted = applyTitleSort(table, archiveTag(kind), grid->column(column).fieldName, grid->titleState(column), beside);
  } catch (...) {
    // The tag was not built: no arrow may promise an order the table lacks.
    pages_.resetSort(kind);
    throw;
  }
  if (!sorted) {
    pages_.resetSort(kind);
    return;
  }
  pages_.refresh();
}

void GridCommands::alignColumns(TDataGrid* grid) {
  grid->setAutoColumnFit(false);
  const int w = grid->width() / grid->columnCount();
  for (int i = 0; i < grid->columnCount(); ++i) grid->setColumnWidth(i, w);
  grid->setAutoColumnFit(true);
  grid->update();
}

void GridCommands::showSelectionStats(TDataGrid* grid) {
  // Computed in full before any footer changes, so a bad value leaves them as they were.
  const SelectionFooters f = grid->selectionStatistics();
  grid->setFooterText(fieldName(MeasurementField::WMin), f.wMin);
  grid->setFooterText(fieldName(MeasurementField::WMax), f.wMax);
  grid->setFooterText(fieldName(MeasurementField::W), f.w);
}

void GridCommands::loadLayouts() {
  for (ArchiveKind kind : kArchiveKinds) {
    const QString name = layoutValueName(kind);
    TDataGrid* grid = pages_.grid(kind);
    if (settings_.hasValue(name)) {
      grid->applyLayout(readLayout(normaliseLineEnds(settings_.readString(name))));
    } else {
      alignColumns(grid);
      settings_.writeString(name, writeLayout(grid->layout()));
    }
  }
}

void GridCommands::storeLayouts() {
  for (ArchiveKind kind : kArchiveKinds)
    settings_.writeString(layoutValueName(kind), normaliseLineEnds(writeLayout(pages_.grid(kind)->layout())));
}

void GridCommands::resetShownSort() {
  if (document_.isActive()) pages_.resetSort(pages_.shownKind());
}

void GridCommands::alignShownColumns() {
  if (document_.isActive()) alignColumns(pages_.shownGrid());
}

void GridCommands::chooseColumnColour() {
  if (!document_.isActive()) return;
  const std::optional<QColor> c = ui().chooseColor(parent_, lastColour_);
  if (!c) return;
  lastColour_ = *c;
  TDataGrid* grid = pages_.shownGrid();
  grid->setColumnColor(grid->currentColumn(), *c);
}

void GridCommands::clearColumnColour() {
  if (!document_.isActive()) return;
  TDataGrid* grid = pages_.shownGrid();
  grid->setColumnColor(grid->currentColumn(), QColor());
}

void GridCommands::clearAllColours() {
  if (!document_.isActive()) return;
  TDataGrid* grid = pages_.shownGrid();
  for (int i = 0; i < grid->columnCount(); ++i) grid->setColumnColor(i, QColor());
}

namespace {

// The table as it is, beside it as its .bak, before a change; what the
// change is refused with when that cannot be written.
TableBackup backUp(TDbTable& table, const QString& refused) {
  try {
    return table.writeBackup();
  } catch (const TableWriteCancelled&) {
    throw;  // given up, not failed
  } catch (const Error& e) {
    throw Error(refused + QLatin1Char(' ') + e.text());
  }
}

}  // namespace

// Record order first, then the rows found again by their bookmarks are
// deleted, the table packed and reopened; the table as it was stays beside
// it, for "Отменить удаление" and for restoring by hand. On a big table this
// runs beside the window.
void GridCommands::deleteSelectedRows() {
  if (!document_.isActive() || document_.isReadOnly()) return;
  const ArchiveKind kind = pages_.shownKind();
  TDataGrid* grid = pages_.grid(kind);
  TDbTable& table = document_.table();
  const TDbTable::Bookmark current = table.bookmarkAtRow(grid->currentRow());
  const int column = grid->currentColumn();
  pages_.resetSort(kind);
  const QList<TDbTable::Bookmark> records = grid->selectedBookmarks();
  // An edit in progress is posted before the rows move under it.
  pages_.postPendingEdit();
  std::optional<TableBackup> backup;
  bool finished = false;
  try {
    document_.changeTable([&] {
      finished = runTableChange(parent_, pages_, table,
                                {QStringLiteral("Удаление строк"), 2, [&](store::WriteWatch&) {
                                   backup = backUp(table, QStringLiteral("Строки не удалены."));
                                   deleteRecordsAndPack(table, records);
                                 }});
    });
  } catch (...) {
    if (backup) {
      document_.backupReplaced();
      // The rows may have moved: no grid's stored bookmarks are to be trusted.
      pages_.clearSelections(grid);
    }
    throw;
  }
  if (backup) document_.backupReplaced();
  if (!finished) return;  // given up: the table and the selection as they were
  // Packing moved records, so no grid's stored bookmarks stay valid.
  pages_.clearSelections(grid);
  document_.setChanged(false);
  document_.rememberDeletion({*backup, table.changeCount(), archiveNumber(kind), current, column, false});
  pages_.refresh();
}

void GridCommands::undoDeletion() {
  const std::optional<TableDocument::Deletion> undone = document_.undoDeletion();
  if (!undone) return;
  // The archive and the row that were on view when the rows went.
  const ArchiveKind kind = archiveKindAt(undone->kind);
  if (pages_.hasTab(kind)) pages_.tabs()->setCurrentIndex(undone->kind);
  pages_.refresh();
  TDataGrid* grid = pages_.grid(kind);
  TDbTable& table = document_.table();
  // The file is the one before the deletion, so its record numbers hold again.
  if (undone->record >= 0 && table.gotoBookmark(undone->record)) grid->setCurrentCell(table.rowIndex(), undone->column);
}

// The rows of the archive on view get 1, 2, 3... in the order shown: all of
// them or, on any failure, none.
void GridCommands::renumberRows() {
  if (!document_.isOpen() || document_.isReadOnly()) return;
  if (document_.isActive()) {
    pages_.postPendingEdit();
    TDbTable& table = document_.table();
    const int count = table.recordCount();
    const int most = table.fieldMaximum(QStringLiteral("N"));
    if (count > most) {
      ui().message(parent_, QStringLiteral("Ошибка"),
                   QStringLiteral("Строки архива «%1» не перенумерованы: в нём %2 строк, а поле N таблицы «%3» "
                                  "вмещает номера не больше %4. Таблица не изменена.")
                       .arg(archiveCaption(pages_.shownKind()))
                       .arg(count)
                       .arg(table.fileName())
                       .arg(most),
                   MsgIcon::Error, MsgButtons::Ok);
      return;
    }
    // On a big table beside the window, the reopening included.
    bool backedUp = false;
    bool finished = false;
    QString indexProblem;
    try {
      document_.changeTable([&] {
        finished = runTableChange(parent_, pages_, table,
                                  {QStringLiteral("Перенумерация"), 2, [&](store::WriteWatch&) {
                                     backUp(table, QStringLiteral("Строки не перенумерованы."));
                                     backedUp = true;
                                     try {
                                       renumberView(table);
                                     } catch (const TableWriteCancelled&) {
                                       throw;
                                     } catch (const Error& e) {
                                       throw Error(QStringLiteral("Строки не перенумерованы, таблица «%1» не изменена.\n%2")
                                                       .arg(table.fileName(), e.text()));
                                     }
                                     indexProblem = document_.reopenTable();
                                   }});
      });
    } catch (...) {
      if (backedUp) document_.backupReplaced();
      throw;
    }
    if (backedUp) document_.backupReplaced();
    if (finished) document_.showReopened(indexProblem);
    return;
  }
  document_.reopen();
}

}  // namespace hv
