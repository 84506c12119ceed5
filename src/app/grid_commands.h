#pragma once
// The commands on the archive grids: sorting by a title click and resetting
// it, equal column widths, column colours, the stored column layouts, the
// footers of a selection, and deleting and renumbering rows.
#include <QColor>
#include <QtGlobal>

#include "store/archive_kind.h"

class QWidget;

namespace hv {

class ArchivePages;
class SettingsKey;
class TDataGrid;
class TableDocument;

class GridCommands {
 public:
  GridCommands(TableDocument& document, ArchivePages& pages, SettingsKey& settings, QWidget* parent);

  // At start: the key fields the grids store with a selected row, and no
  // sort arrows.
  void prepareGrids();

  // A title click changed the sort state of the kind's grid: the shared
  // table is sorted through that grid's tag, or back to record order.
  // From rowsSortedBeside() rows on, the order is worked out beside the
  // window under "Сортировка" with its progress; "Отмена" leaves the table
  // in record order without arrows, as a Ctrl-click does.
  void sortByTitle(ArchiveKind kind, int column);
  static constexpr qint64 kRowsSortedBeside = 50000;
  qint64 rowsSortedBeside() const { return rowsSortedBeside_; }
  void setRowsSortedBeside(qint64 rows) { rowsSortedBeside_ = rows; }
  // Equal column widths that then follow the grid's width.
  void alignColumns(TDataGrid* grid);
  // The footers of the grid's selection: minimum, mean and maximum.
  void showSelectionStats(TDataGrid* grid);
  // The column layouts of the three grids, from and to the settings; a
  // missing layout is written with equal widths.
  void loadLayouts();
  void storeLayouts();

  // Menu and context-menu commands on the grid on view.
  void resetShownSort();      // "Убрать сортировку"
  void alignShownColumns();   // "Выровнять столбцы"
  void chooseColumnColour();  // "Задать цвет"
  void clearColumnColour();   // "Убрать цвет"
  void clearAllColours();     // "Убрать все цвета"
  void deleteSelectedRows();  // "Удалить строки", "Удалить"
  void renumberRows();        // "Перенумеровать строки"
  // "Отменить удаление": the table as it was before the last deletion, the
  // grid on the same row.
  void undoDeletion();

 private:
  TableDocument& document_;
  ArchivePages& pages_;
  SettingsKey& settings_;
  QWidget* parent_;
  QColor lastColour_ = Qt::white;  // the colour dialog starts from the one chosen last
  qint64 rowsSortedBeside_ = kRowsSortedBeside;
};

}  // namespace hv
