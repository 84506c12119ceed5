// hygrovan-cli export: writes a table's archives into an Excel workbook, the
// same workbook as the main window's "Экспорт в Excel", or as CSV text, the
// same files as "Экспорт в CSV…".
#include "cli.h"
#include "export/archive_export.h"
#include "export/csv_export.h"
#include "platform/error.h"
#include "platform/file_names.h"
#include "store/db_table.h"
#include "table_args.h"

namespace {

const QString kFormat = QStringLiteral("format");
const QString kArchive = QStringLiteral("archive");
const QString kPreset = QStringLiteral("preset");

// The CSV files: archive K into OUT, or every archive into OUT_<caption>.csv.
int exportCsv(const QString& dbFile, const QString& outFile, int archive, hv::CsvPreset preset,
              hv::cli::CommandLine& line) {
  std::vector<hv::ArchiveKind> kinds;
  if (archive >= 0)
    kinds.push_back(hv::archiveKindAt(archive));
  else
    kinds.assign(hv::kArchiveKinds.begin(), hv::kArchiveKinds.end());
  const std::vector<hv::CsvTarget> targets = hv::csvTargets(outFile, kinds);
  QStringList outputs;
  for (const hv::CsvTarget& t : targets) outputs << t.fileName;
  if (line.checkOutputs(outputs, {dbFile})) return line.exitCode();
  try {
    hv::cli::ReadOnlyTable source(dbFile);
    hv::exportArchivesToCsv(source.table(), targets, preset);
  } catch (const std::exception& e) {
    return hv::cli::reportFailure(e);
  }
  hv::cli::out() << hv::csvExportSuccessText(outputs) << "\n";
  return 0;
}

int run(const QStringList& args) {
  hv::cli::CommandLine line(
      QStringLiteral("export"),
      QStringLiteral("export FILE.db OUT [--format xls|csv] [--archive K] [--preset excel|analysis]"),
      QStringLiteral("Записывает архивы таблицы в книгу Excel (по листу на каждый архив, в котором есть строки) "
                     "или, с --format csv, в текст CSV: архив K в файл OUT, без --archive каждый из трёх "
                     "архивов в свой файл OUT_<архив>.csv."));
  line.addValueOption(kFormat, QStringLiteral("FORMAT"),
                      QStringLiteral("xls (книга Excel, по умолчанию) или csv."));
  line.addValueOption(kArchive, QStringLiteral("K"),
                      QStringLiteral("С --format csv: только архив K (0 древесные, 1 бетонные, 2 сыпучие)."));
  line.addValueOption(kPreset, QStringLiteral("PRESET"),
                      QStringLiteral("С --format csv: excel (поля через «;», десятичная запятая, метка UTF-8, "
                                     "строки CRLF; по умолчанию) или analysis (поля через «,», десятичная точка, "
                                     "без метки, строки LF)."));
  line.parser().addPositionalArgument(QStringLiteral("FILE.db"), QStringLiteral("Файл таблицы."));
  line.parser().addPositionalArgument(QStringLiteral("OUT"), QStringLiteral("Файл, который будет записан."));
  if (!line.parse(args)) return line.exitCode();
  const QStringList files = line.positional();
  if (files.size() != 2) return line.usageError(QStringLiteral("нужны файл таблицы и файл, который будет записан"));

  const QString format = line.isSet(kFormat) ? line.value(kFormat).toLower() : QStringLiteral("xls");
  if (format != QStringLiteral("xls") && format != QStringLiteral("csv"))
    return line.usageError(QStringLiteral("--format должен быть xls или csv"));
  if (format == QStringLiteral("csv")) {
    int archive = -1;
    if (line.isSet(kArchive)) {
      bool ok = false;
      archive = line.value(kArchive).toInt(&ok);
      if (!ok || archive < 0 || archive > 2) return line.usageError(QStringLiteral("--archive должен быть 0, 1 или 2"));
    }
    const QString presetKey = line.isSet(kPreset) ? line.value(kPreset) : hv::csvPresetKey(hv::CsvPreset::Excel);
    const hv::CsvPreset preset = hv::csvPresetFromKey(presetKey, hv::CsvPreset::Excel);
    if (hv::csvPresetKey(preset).compare(presetKey, Qt::CaseInsensitive) != 0)
      return line.usageError(QStringLiteral("--preset должен быть excel или analysis"));
    return exportCsv(files[0], files[1], archive, preset, line);
  }
  if (line.isSet(kArchive) || line.isSet(kPreset))
    return line.usageError(QStringLiteral("--archive и --preset только вместе с --format csv"));
  if (line.checkOutputs({files[1]}, {files[0]})) return line.exitCode();

  try {
    // Exporting only reads: the table file is never written.
    hv::cli::ReadOnlyTable source(files[0]);
    hv::FilePath book(files[1], hv::FilePath::Write);
    hv::TDbTable& table = source.table();
    // The window shows a tab for each archive with rows; so does this command.
    const hv::ArchiveSet archives = hv::archivesWithRows(table);
    hv::exportArchivesToFile(table, archives, book.path());
    if (QString why; !book.commit(&why)) throw hv::Error(hv::writeErrorText(files[1], hv::writeFailureReason(files[1], 0), why));
  } catch (const std::exception& e) {
    return hv::cli::reportFailure(e);
  }
  hv::cli::out() << hv::excelExportSuccessText(files[1]) << "\n";
  return 0;
}

hv::cli::Registration g_registration("export", "архивы в книгу Excel или в текст CSV", &run);

}  // namespace
