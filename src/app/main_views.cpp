// The archive grids of the main window: their columns, the tabs' filters,
// sorting by a title click, layouts, colours, selection statistics, and the
// delete and renumber commands.
#include <QVBoxLayout>

#include "app/main.h"
#include "platform/ui.h"
#include "store/db_table.h"
#include "views/archive_table.h"
#include "views/data_grid.h"
#include "views/grid_layout.h"

namespace {

using hv::ColumnAlignment;

// The nine columns of every archive grid. In the wood grid the number has no
// alignment of its own and shows right-aligned as numbers do.
QList<hv::TGridColumn> archiveColumns(int kind) {
  struct Def {
    const char* field;
    const char* caption;
    int width;
    ColumnAlignment align;
  };
  static const Def defs[] = {
      {"N", "N", 74, ColumnAlignment::Center},
      {"DATE", "Дата", 74, ColumnAlignment::Center},
      {"TIME", "Время", 74, ColumnAlignment::Center},
      {"W", "W, %", 75, ColumnAlignment::Right},
      {"W_MIN", "Wmin, %", 75, ColumnAlignment::Right},
      {"W_MAX", "Wmax, %", 75, ColumnAlignment::Right},
      {"MATERIAL", "Материал", 75, ColumnAlignment::Center},
      {"N_IND", "№ индивид. зависимости", 75, ColumnAlignment::Center},
      {"COMMENT", "Примечание", 75, ColumnAlignment::Left},
  };
  QList<hv::TGridColumn> cols;
  for (const Def& d : defs) {
    hv::TGridColumn c;
    c.fieldName = QString::fromUtf8(d.field);
    c.caption = QString::fromUtf8(d.caption);
    c.width = d.width;
    c.alignment = d.align;
    c.readOnly = c.fieldName != QLatin1String("COMMENT");
    cols.append(c);
  }
  if (kind == 0) cols[0].alignment = ColumnAlignment::Default;
  return cols;
}

}  // namespace

void TForm1::createGrids() {
  QWidget* tabs[3] = {TabSheet1, TabSheet2, TabSheet3};
  hv::TDataGrid** grids[3] = {&DataGrid1, &DataGrid2, &DataGrid3};
  for (int k = 0; k < 3; ++k) {
    auto* grid = new hv::TDataGrid(tabs[k]);
    grid->setObjectName(QStringLiteral("DataGrid%1").arg(k + 1));
    auto* lay = new QVBoxLayout(tabs[k]);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->addWidget(grid);
    grid->setColumns(archiveColumns(k));
    grid->setPopupMenu(PopupMenu1);
    grid->setTable(Table1.get());
    *grids[k] = grid;
    // DataGridNTitleStateChange: re-sort the shared table by the grid's tag.
    connect(grid, &hv::TDataGrid::titleStateChanged, this, [this, grid, k](int column) {
      hv::runCommand([&] {
        if (!tableActive()) return;
        postPendingEdit();
        const QString tag = hv::archiveTag(hv::archiveKindAt(k));
        const bool sorted =
            hv::applyTitleSort(*Table1, tag, grid->column(column).fieldName, grid->titleState(column));
        if (!sorted) {
          reset_sort(grid, tag);
          return;
        }
        refreshGrids();
      });
    });
    // DataGridNSelectionChange.
    connect(grid, &hv::TDataGrid::selectionChanged, this,
            [this, grid] { hv::runCommand([&] { show_selection_stats(grid); }); });
    // DataGrid1InitEdit, shared by the three grids.
    connect(grid, &hv::TDataGrid::editStarted, this, [this] { db_changed = true; });
  }
}

void TForm1::prepareGrids() {
  for (hv::TDataGrid* g : {DataGrid1, DataGrid2, DataGrid3}) g->setBookmarkFields(hv::kBookmarkFields);
  reset_sort(DataGrid1, hv::archiveTag(hv::ArchiveKind::Wood));
  reset_sort(DataGrid2, hv::archiveTag(hv::ArchiveKind::Concrete));
  reset_sort(DataGrid3, hv::archiveTag(hv::ArchiveKind::Bulk));
}

void TForm1::refreshGrids() {
  // Only the grid on view reads the table; the others are re-read when their tab is shown.
  for (hv::TDataGrid* g : {DataGrid1, DataGrid2, DataGrid3})
    if (g && (g == shownGrid() || !tableActive())) g->tableChanged();
}

void TForm1::detachGrids() {
  for (hv::TDataGrid* g : {DataGrid1, DataGrid2, DataGrid3})
    if (g) g->setTable(nullptr);
}

void TForm1::reset_sort(hv::TDataGrid* grid, const QString& tag) {
  if (!grid) return;
  grid->clearTitleStates();
  if (!tableActive()) return;
  hv::resetTableSort(*Table1, tag);
  refreshGrids();
}

void TForm1::align_columns(hv::TDataGrid* grid) {
  grid->setAutoColumnFit(false);
  const int w = grid->width() / grid->columnCount();
  for (int i = 0; i < grid->columnCount(); ++i) grid->setColumnWidth(i, w);
  grid->setAutoColumnFit(true);
  grid->update();
}

void TForm1::clear_colors(hv::TDataGrid* grid) {
  for (int i = 0; i < grid->columnCount(); ++i) grid->setColumnColor(i, QColor());
}

void TForm1::load_layout(const QString& valueName, hv::TDataGrid* grid) {
  if (settingsKey.hasValue(valueName)) {
    grid->applyLayout(hv::readLayout(hv::normaliseLineEnds(settingsKey.readString(valueName))));
  } else {
    align_columns(grid);
    settingsKey.writeString(valueName, hv::writeLayout(grid->layout()));
  }
}

void TForm1::save_layout(const QString& valueName, hv::TDataGrid* grid) {
  settingsKey.writeString(valueName, hv::normaliseLineEnds(hv::writeLayout(grid->layout())));
}

void TForm1::show_selection_stats(hv::TDataGrid* grid) {
  // Computed in full before any footer changes, so a bad value leaves them as they were.
  const hv::SelectionFooters f = grid->selectionStatistics();
  grid->setFooterText(QStringLiteral("W_MIN"), f.wMin);
  grid->setFooterText(QStringLiteral("W_MAX"), f.wMax);
  grid->setFooterText(QStringLiteral("W"), f.w);
}

void TForm1::postPendingEdit() {
  for (hv::TDataGrid* g : {DataGrid1, DataGrid2, DataGrid3})
    if (g) g->postEdit();
}

namespace {
void showArchive(TForm1* w, int k, hv::TDataGrid* grid) {
  w->postPendingEdit();
  w->Table1->setFilter(hv::archiveFilter(hv::archiveKindAt(k)));
  if (w->tableActive()) w->Table1->refresh();
  grid->tableChanged();
}
}  // namespace

void TForm1::TabSheet1Show() { showArchive(this, 0, DataGrid1); }
void TForm1::TabSheet2Show() { showArchive(this, 1, DataGrid2); }
void TForm1::TabSheet3Show() { showArchive(this, 2, DataGrid3); }

void TForm1::N23Click() {
  if (tableActive()) align_columns(shownGrid());
}

void TForm1::N17Click() {
  if (!tableActive()) return;
  const std::optional<QColor> c = hv::ui().chooseColor(this, ColorDialog1Color);
  if (!c) return;
  ColorDialog1Color = *c;
  hv::TDataGrid* grid = shownGrid();
  grid->setColumnColor(grid->currentColumn(), *c);
}

void TForm1::N18Click() {
  if (!tableActive()) return;
  hv::TDataGrid* grid = shownGrid();
  grid->setColumnColor(grid->currentColumn(), QColor());
}

void TForm1::N19Click() {
  if (tableActive()) clear_colors(shownGrid());
}

void TForm1::N33Click() {
  if (tableActive()) reset_sort(shownGrid(), shownTag());
}

// Delete the selected rows: record order first, then the rows found again by
// their bookmarks, pack, reopen.
void TForm1::N21Click() {
  if (!tableActive()) return;
  hv::TDataGrid* grid = shownGrid();
  reset_sort(grid, shownTag());
  const QList<hv::TDbTable::Bookmark> records = grid->selectedBookmarks();
  // An edit in progress is posted before the rows move under it.
  postPendingEdit();
  // Packing moves records, so no grid's stored bookmarks stay valid.
  for (hv::TDataGrid* g : {DataGrid1, DataGrid2, DataGrid3}) g->clearSelection(g == grid);
  hv::deleteRecordsAndPack(*Table1, records);
  db_changed = false;
  refreshGrids();
}

// Renumber the rows of the archive on view in the order shown.
void TForm1::N37Click() {
  if (!db_open) return;
  if (tableActive()) {
    postPendingEdit();
    hv::renumberView(*Table1);
  }
  Table1->close();
  Table1->open();
  Table1->first();
  refreshGrids();
}
