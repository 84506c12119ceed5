// hygrovan-cli export: writes a table's archives into an Excel workbook, the
// same workbook as the main window's "Экспорт в Excel".
#include "cli.h"
#include "export/archive_export.h"
#include "platform/error.h"
#include "platform/file_names.h"
#include "store/db_table.h"
#include "table_args.h"

namespace {

int run(const QStringList& args) {
  hv::cli::CommandLine line(QStringLiteral("export"), QStringLiteral("export FILE.db OUT.xls"),
                            QStringLiteral("Записывает каждый непустой архив на свой лист книги Excel."));
  line.parser().addPositionalArgument(QStringLiteral("FILE.db"), QStringLiteral("Файл таблицы."));
  line.parser().addPositionalArgument(QStringLiteral("OUT.xls"), QStringLiteral("Книга Excel для записи."));
  if (!line.parse(args)) return line.exitCode();
  const QStringList files = line.positional();
  if (files.size() != 2) return line.usageError(QStringLiteral("нужны файл таблицы и файл книги"));
  if (line.checkOutputs({files[1]}, {files[0]})) return line.exitCode();

  try {
    // Exporting only reads: the table file is never written.
    hv::cli::ReadOnlyTable source(files[0]);
    hv::FilePath book(files[1], hv::FilePath::Write);
    hv::TDbTable& table = source.table();
    table.setFiltered(true);
    // The window shows a tab for each archive with rows; so does this command.
    const hv::ArchiveSet archives = hv::archivesWithRows(table);
    hv::exportArchivesToFile(table, archives, book.path());
    if (QString why; !book.commit(&why))
      throw hv::Error(QStringLiteral("Не удалось записать %1: %2").arg(files[1], why));
  } catch (const std::exception& e) {
    return hv::cli::reportFailure(e);
  }
  hv::cli::out() << hv::excelExportSuccessText(files[1]) << "\n";
  return 0;
}

hv::cli::Registration g_registration("export", "все архивы в книгу Excel", &run);

}  // namespace
