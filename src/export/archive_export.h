#pragma once
// The archive export: the open measurement table written into an Excel
// workbook, one sheet per archive. No windows here; the main window's command
// and `hygrovan-cli export` both drive these functions.
//
// The window command ("Экспорт в Excel") does, in order:
//   1. the save dialog with excelExportDialogFilter() / excelExportDefaultSuffix(),
//      stopping on cancel or an empty name;
//   2. the sort reset of the three grids;
//   3. fillArchiveWorkbook and the writer's Save beside the window, with
//      progress and "Отмена", letting an hv::Error reach the default error
//      report; the table then on its first row;
//   4. a message box with excelExportSuccessText(fileName), the caption
//      excelExportCaption() and the information icon.
#include <QString>
#include <array>
#include <functional>

#include "export/workbook.h"
#include "store/archive_kind.h"

namespace hv {

class TDbTable;

// Per archive kind, in the order wood, concrete, bulk materials (the order of
// the sheets): whether its tab is visible.
using ArchiveSet = std::array<bool, 3>;

// Measurements per sheet: row 0 holds the titles and row numbers are 16-bit.
constexpr int kMaxRowsPerSheet = 65535;

// Rows read so far and rows in all; false stops the export.
using ExportProgress = std::function<bool(qint64 done, qint64 total)>;

// Per visible archive the sheet "Hygrovan-RX3 (<tab caption>)" with the title
// row and one row per record of the archive, in the table's current order. An
// archive of more than 65,535 rows goes on in sheets "… 2", "… 3", each with
// its title row. The rows are read without moving the table's filter or
// order; afterwards it stands on its first row, also after an error. False
// when `progress` stopped it (the workbook then holds part of the rows).
bool fillArchiveWorkbook(TDbTable& table, TXlsWorkbook& workbook, const ArchiveSet& visibleArchives,
                         const ExportProgress& progress = {});

// Builds the workbook and saves it to `fileName` (replacing a file of that name).
// The sort reset of the grids is the caller's, before this. Throws hv::Error:
// the writer's errors ("StgCreateDocFile error %d", "CreateStream error %d",
// the system's text for a failed write) and the table's.
void exportArchivesToFile(TDbTable& table, const ArchiveSet& visibleArchives, const QString& fileName);

// Archives that hold rows (as the main window shows their tabs). Moves
// neither the table's filter nor its current row.
ArchiveSet archivesWithRows(TDbTable& table);

QString excelExportCaption();                            // "Экспорт в Excel"
QString excelExportDialogFilter();                       // "Книга Excel|*.xls"
QString excelExportDefaultSuffix();                      // ".xls"
QString excelExportSuccessText(const QString& fileName); // names the file without its folder

}  // namespace hv
