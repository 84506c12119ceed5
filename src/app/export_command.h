#pragma once
// "Экспорт в Excel": every archive whose tab is shown goes to its own sheet.
#include <QString>

#include "export/archive_export.h"

class QWidget;

namespace hv {

class ArchivePages;
class TableDocument;

class ExportCommand {
 public:
  // The file dialog starts in `dialogFolder`.
  ExportCommand(TableDocument& document, ArchivePages& pages, QWidget* parent, const QString& dialogFolder);

  // The command: nothing without an open table.
  void run();
  // The save dialog, the grids in record order, the workbook, the success box.
  void exp2excel();

  // From this many rows on, the workbook is made with the progress window
  // and "Отмена", and written beside the window.
  static constexpr qint64 kRowsWrittenBeside = 50000;

 private:
  // The workbook of the shown archives into `fileName`; false when the user
  // cancelled (nothing is then put under that name).
  bool writeWorkbook(const QString& fileName, const ArchiveSet& shown);

  TableDocument& document_;
  ArchivePages& pages_;
  QWidget* parent_;
  QString dialogFolder_;
};

}  // namespace hv
