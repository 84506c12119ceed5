#pragma once
// The main window's archive tabs: one tab with its grid per ArchiveKind, all
// three grids showing the one table. The tab on view decides which archive
// the table's filter lets through.
#include <QObject>
#include <QString>
#include <array>

#include "store/archive_kind.h"

class QMenu;
class QTabWidget;
class QWidget;

namespace hv {

class TDataGrid;
class TDbTable;

class ArchivePages : public QObject {
  Q_OBJECT

 public:
  // The tabs fill `parent`; the grids share the context menu and the table.
  ArchivePages(QWidget* parent, QMenu* contextMenu, TDbTable& table);
  ~ArchivePages() override;  // the grids let go of the table

  QTabWidget* tabs() const { return tabs_; }
  TDataGrid* grid(ArchiveKind kind) const { return grids_[archiveNumber(kind)]; }
  // The archive of the active tab and its grid.
  ArchiveKind shownKind() const;
  TDataGrid* shownGrid() const { return grid(shownKind()); }
  // Whether the kind's tab is visible (its archive had rows when the table
  // was last opened, created or extended).
  bool hasTab(ArchiveKind kind) const;

  // Shows the tabs of the archives with rows, makes the first of them active
  // and sets its filter on the table. Does nothing without an active table.
  void showNonEmptyArchives();
  void hideArchives();
  // Record order: the kind's title arrows cleared and its tag removed; with
  // no table active only the arrows. Errors are not reported: the table
  // stays in whatever order it reached.
  void resetSort(ArchiveKind kind);

  // The grids follow the table after its filter, order, rows or open state
  // changed. Only the grid on view reads it; the others do when their tab is
  // shown.
  void refresh();
  // While a worker thread changes the table the grids read nothing from it
  // (they show the rows that were on screen); made free, they follow it.
  void setBusy(bool busy);
  // A cell edit in progress goes to the table, or is given up.
  void postPendingEdit();
  void dropPendingEdits();
  // The selections belong to the rows as they were; `notified` (if any) tells
  // its listeners that its selection is gone.
  void clearSelections(TDataGrid* notified = nullptr);

 private:
  void showArchive(ArchiveKind kind);  // a tab came on view
  // A grid could not read the damaged table: the default error report, once
  // until the table is next opened, created, extended or closed.
  void tellReadFailure(const QString& text);

  TDbTable& table_;
  QTabWidget* tabs_ = nullptr;
  std::array<TDataGrid*, 3> grids_{};
  bool readFailureTold_ = false;
};

}  // namespace hv
