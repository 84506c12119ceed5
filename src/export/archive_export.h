#pragma once
// The archive export: the open measurement table written into an Excel
// workbook, one sheet per archive. No windows here; the main window's command
// and `hygrovan-cli export` both drive these functions.
//
// The window command ("Экспорт в Excel") does, in order:
//   1. the save dialog with excelExportDialogFilter() / excelExportDefaultSuffix(),
//      stopping on cancel or an empty name;
//   2. the sort reset of the three grids;
//   3. exportArchivesToFile(table, visibleTabs, fileName), letting an hv::Error
//      reach the default error report;
//   4. a message box with excelExportSuccessText(fileName), the caption
//      excelExportCaption() and the information icon.
#include <QString>
#include <array>

#include "export/workbook.h"
#include "store/archive_kind.h"

namespace hv {

class TDbTable;

// Per archive kind, in the order wood, concrete, bulk materials (the order of
// the sheets): whether its tab is visible.
using ArchiveSet = std::array<bool, 3>;

// Measurements per sheet: row 0 holds the titles and row numbers are 16-bit.
constexpr int kMaxRowsPerSheet = 65535;

// Per visible archive the sheet "Hygrovan-RX3 (<tab caption>)" with the title
// row and one row per record of the archive, in the table's current order. An
// archive of more than 65,535 rows goes on in sheets "… 2", "… 3", each with
// its title row. Afterwards the table has its filter back, stands on its
// first row and is refreshed, also after an error.
void fillArchiveWorkbook(TDbTable& table, TXlsWorkbook& workbook, const ArchiveSet& visibleArchives);

// Builds the workbook and saves it to `fileName` (replacing a file of that name).
// The sort reset of the grids is the caller's, before this. Throws hv::Error:
// the writer's errors ("StgCreateDocFile error %d", "CreateStream error %d",
// the system's text for a failed write) and the table's.
void exportArchivesToFile(TDbTable& table, const ArchiveSet& visibleArchives, const QString& fileName);

// Archives that hold rows (as the main window shows their tabs). Leaves the
// table on its previous filter.
ArchiveSet archivesWithRows(TDbTable& table);

QString excelExportCaption();                            // "Экспорт в Excel"
QString excelExportDialogFilter();                       // "Книга Excel|*.xls"
QString excelExportDefaultSuffix();                      // ".xls"
QString excelExportSuccessText(const QString& fileName); // names the file without its folder

}  // namespace hv
