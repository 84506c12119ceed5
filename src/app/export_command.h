#pragma once
// "Экспорт в Excel": every archive whose tab is shown goes to its own sheet.
#include <QString>

class QWidget;

namespace hv {

class ArchivePages;
class GridCommands;
class TableDocument;

class ExportCommand {
 public:
  // The file dialog starts in `dialogFolder`.
  ExportCommand(TableDocument& document, ArchivePages& pages, GridCommands& grids, QWidget* parent,
                const QString& dialogFolder);

  // The command: nothing without an open table.
  void run();
  // The save dialog, the grids in record order, the workbook, the success box.
  void exp2excel();

 private:
  TableDocument& document_;
  ArchivePages& pages_;
  GridCommands& grids_;
  QWidget* parent_;
  QString dialogFolder_;
};

}  // namespace hv
