// hygrovan-cli export: writes a table's archives into an Excel workbook, the
// same workbook as the main window's "Экспорт в Excel".
#include "cli.h"
#include "export/archive_export.h"
#include "platform/error.h"
#include "store/db_table.h"

namespace {

int run(const QStringList& args) {
  if (args.size() != 2) {
    hv::cli::err() << "usage: hygrovan-cli export FILE.db OUT.xls\n";
    return 2;
  }
  hv::TDbTable table;
  table.setFileName(args[0]);
  // Exporting only reads: the table file is never written.
  table.setReadOnly(true);
  try {
    table.open();
  } catch (const hv::Error& e) {
    hv::cli::err() << hv::defaultErrorReportText(e.text()) << "\n";
    return 1;
  }
  try {
    table.setFiltered(true);
    // The window shows a tab for each archive with rows; so does this command.
    const hv::ArchiveSet archives = hv::archivesWithRows(table);
    hv::exportArchivesToFile(table, archives, args[1]);
  } catch (const hv::Error& e) {
    hv::cli::err() << hv::defaultErrorReportText(e.text()) << "\n";
    return 1;
  }
  hv::cli::out() << hv::excelExportSuccessText(args[1]) << "\n";
  return 0;
}

hv::cli::Registration reg("export", "export FILE.db OUT.xls   write the archives into an Excel workbook", &run);

}  // namespace
