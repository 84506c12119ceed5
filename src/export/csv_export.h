#pragma once
// The archives as CSV text (RFC 4180, UTF-8) for office suites and analysis
// tools: a line of column captions, then one line per row in the table's
// current order. No windows here; "Сервис → Экспорт в CSV…" and
// `hygrovan-cli export --format csv` both drive these functions.
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

#include "platform/dialog_types.h"
#include "store/archive_kind.h"

namespace hv {

class TDbTable;

// How a preset spells a file: between fields, in a moisture, at the ends of lines.
struct CsvFormat {
  char delimiter;
  char decimal;
  bool byteOrderMark;
  const char* lineEnd;
};
CsvFormat csvFormat(CsvPreset preset);

QString csvPresetCaption(CsvPreset preset);  // "Для Excel", "Для программ анализа"
// Its name in the settings and on the command line: "excel", "analysis".
QString csvPresetKey(CsvPreset preset);
// The preset of a name; `fallback` for any other text.
CsvPreset csvPresetFromKey(const QString& key, CsvPreset fallback);

// One archive and the file it goes to.
struct CsvTarget {
  ArchiveKind kind;
  QString fileName;
};

// One archive: the chosen name itself. Several: one file each, the archive's
// caption joined to the chosen name ("имя.csv" -> "имя_Древесные.csv").
std::vector<CsvTarget> csvTargets(const QString& fileName, const std::vector<ArchiveKind>& kinds);

// Rows written so far and rows in all; false stops the export.
using CsvProgress = std::function<bool(qint64 done, qint64 total)>;

// Writes each target's archive, its rows in the order the table shows them
// (its index, if any), the fields N, date, time, the ISO 8601 date-time,
// W, W_MIN, W_MAX, material, N_IND and comment; a blank is an empty field.
// Every file goes to a temporary first, and the targets are replaced only
// once all of them are written. The table keeps its filter and current row.
// Returns false when `progress` stopped it (nothing replaced); throws
// hv::Error when a file cannot be written (nothing replaced either).
bool exportArchivesToCsv(TDbTable& table, const std::vector<CsvTarget>& targets, CsvPreset preset,
                         const CsvProgress& progress = {});

QString csvExportCaption();                                // "Экспорт в CSV"
QString csvExportDialogFilter();                           // "Текст CSV|*.csv"
QString csvExportDefaultSuffix();                          // ".csv"
QString csvExportSuccessText(const QStringList& fileNames);  // names the files without their folder

}  // namespace hv
