#include "app/archive_pages.h"

#include <QSignalBlocker>
#include <QTabWidget>
#include <QVBoxLayout>

#include "platform/ui.h"
#include "store/db_table.h"
#include "store/row_schema.h"
#include "views/archive_table.h"
#include "views/data_grid.h"

namespace hv {

namespace {

// The nine columns of every archive grid. In the wood grid the number has no
// alignment of its own and shows right-aligned as numbers do.
QList<TGridColumn> archiveColumns(ArchiveKind kind) {
  using F = MeasurementField;
  struct Def {
    F field;
    int width;
    ColumnAlignment align;
  };
  static const Def defs[] = {
      {F::N, 74, ColumnAlignment::Center},         {F::Date, 74, ColumnAlignment::Center},
      {F::Time, 74, ColumnAlignment::Center},      {F::W, 75, ColumnAlignment::Right},
      {F::WMin, 75, ColumnAlignment::Right},       {F::WMax, 75, ColumnAlignment::Right},
      {F::Material, 75, ColumnAlignment::Center},  {F::NInd, 75, ColumnAlignment::Center},
      {F::Comment, 75, ColumnAlignment::Left},
  };
  QList<TGridColumn> cols;
  for (const Def& d : defs) {
    TGridColumn c;
    c.fieldName = fieldName(d.field);
    c.caption = fieldCaption(d.field);
    c.width = d.width;
    c.alignment = d.align;
    c.readOnly = d.field != F::Comment;  // the one field the user types into
    cols.append(c);
  }
  if (kind == ArchiveKind::Wood) cols[0].alignment = ColumnAlignment::Default;
  return cols;
}

}  // namespace

ArchivePages::ArchivePages(QWidget* parent, QMenu* contextMenu, TDbTable& table) : table_(table) {
  tabs_ = new QTabWidget(parent);
  tabs_->setObjectName(QStringLiteral("archiveTabs"));
  for (ArchiveKind kind : kArchiveKinds) {
    auto* page = new QWidget;
    tabs_->addTab(page, archiveCaption(kind));
    auto* grid = new TDataGrid(page);
    grid->setObjectName(archiveTag(kind) + QStringLiteral("Grid"));
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(grid);
    grid->setColumns(archiveColumns(kind));
    grid->setPopupMenu(contextMenu);
    grid->setTable(&table_);
    grids_[archiveNumber(kind)] = grid;
    // Told once per opening, after the paint that met it.
    connect(grid, &TDataGrid::readFailed, this, &ArchivePages::tellReadFailure, Qt::QueuedConnection);
  }
  connect(tabs_, &QTabWidget::currentChanged, this, [this](int index) {
    if (index >= 0) runCommand([this, index] { showArchive(archiveKindAt(index)); });
  });
  // The tabs fill the window's client area.
  auto* layout = new QVBoxLayout(parent);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(tabs_);
}

ArchivePages::~ArchivePages() {
  for (TDataGrid* g : grids_) g->setTable(nullptr);
}

ArchiveKind ArchivePages::shownKind() const {
  return archiveKindAt(qBound(0, tabs_->currentIndex(), 2));
}

bool ArchivePages::hasTab(ArchiveKind kind) const {
  return tabs_->isTabVisible(archiveNumber(kind));
}

void ArchivePages::showNonEmptyArchives() {
  readFailureTold_ = false;
  if (!table_.active()) return;
  // Bulk, concrete, wood: the active tab ends on the first non-empty one.
  bool anyRows = false;
  const QSignalBlocker block(tabs_);
  for (auto it = kArchiveKinds.rbegin(); it != kArchiveKinds.rend(); ++it) {
    const bool hasRows = table_.rowCount(ArchiveFilter(*it)) > 0;
    tabs_->setTabVisible(archiveNumber(*it), hasRows);
    if (hasRows) {
      tabs_->setCurrentIndex(archiveNumber(*it));
      anyRows = true;
    }
  }
  tabs_->setVisible(anyRows);
  table_.setFilter(ArchiveFilter(shownKind()));
  table_.refresh();
  table_.first();
}

void ArchivePages::resetSort(ArchiveKind kind) {
  grid(kind)->clearTitleStates();
  if (!table_.active()) return;
  resetTableSort(table_, archiveTag(kind));
  refresh();
}

void ArchivePages::hideArchives() {
  tabs_->setVisible(false);
  readFailureTold_ = false;
}

void ArchivePages::tellReadFailure(const QString& text) {
  if (readFailureTold_) return;
  readFailureTold_ = true;
  showDefaultErrorReport(text);
}

void ArchivePages::refresh() {
  for (TDataGrid* g : grids_)
    if (g == shownGrid() || !table_.active()) g->tableChanged();
}

void ArchivePages::setBusy(bool busy) {
  for (TDataGrid* g : grids_) g->setBusy(busy);
  if (!busy) refresh();
}

void ArchivePages::postPendingEdit() {
  for (TDataGrid* g : grids_) g->postEdit();
}

void ArchivePages::dropPendingEdits() {
  for (TDataGrid* g : grids_) g->dropEdit();
}

void ArchivePages::clearSelections(TDataGrid* notified) {
  for (TDataGrid* g : grids_) g->clearSelection(g == notified);
}

void ArchivePages::showArchive(ArchiveKind kind) {
  postPendingEdit();
  table_.setFilter(ArchiveFilter(kind));
  if (table_.active()) table_.refresh();
  grid(kind)->tableChanged();
}

}  // namespace hv
