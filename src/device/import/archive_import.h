#pragma once
// The import of a download's archives into the measurement table, in create
// mode (every device record becomes a row) or append mode (only the records
// newer than the last stored row of each archive).
#include <QString>
#include <array>
#include <functional>

#include "device/device_image.h"
#include "store/archive_kind_value.h"

namespace hv {

class TDbTable;

// What the import did with one archive.
struct ArchiveImportResult {
  ArchiveKind kind = ArchiveKind::Wood;
  int deviceCount = 0;  // records of this archive in the image
  int skipped = 0;      // append mode: records taken as stored already
  int added = 0;        // rows appended
  // Append mode: the last stored row's DATE / TIME could not be read, so
  // nothing was appended to this archive (appending all would duplicate rows).
  bool unreadableLastRow = false;
  QString lastDate, lastTime;  // that row's texts, for the report
};

using ImportResult = std::array<ArchiveImportResult, 3>;

// Appends one row for a device record: N, N_ARC, then W values (with the
// given decimal separator), N_IND, MATERIAL, TIME, DATE, COMMENT; posts it.
void appendRecordRow(TDbTable& table, ArchiveKind kind, int n, const DeviceRecord& record, QChar separator);

// The decimal separator an append writes into the open table: the one its
// stored moisture already uses (its first row that has one, archive by
// archive, in the table's order), the user's own for a table without any.
// Moves neither the filter nor the current row.
QChar moistureSeparatorFor(TDbTable& table);

// Imports the image into the open table archive by archive (wood, concrete,
// bulk), posting row by row so an interruption leaves the rows posted so far.
// Moisture is written with moistureSeparatorFor's separator, so a table
// keeps one form. In append mode an archive's last row in record order is
// the newest it holds, whatever the table's order; `archiveDone` is called
// after each archive (the window shows its report box there and goes on when
// it is closed). Leaves the table with its filter as before, on its first row.
// A table that is not open: nothing happens. An image whose counts run past
// its end throws hv::Error before any row is written.
ImportResult ImportArchives(TDbTable& table, const DeviceImageBytes& image, bool append,
                            const std::function<void(const ArchiveImportResult&)>& archiveDone = {});

// The append report of one archive: "Добавлено записей в архив древесных: 5",
// or, for an unreadable last row, a plain text saying nothing was added.
QString appendReportText(const ArchiveImportResult& result);

// Checks that the image's three counts and their records fit the image; an
// empty text when they do, else the reason.
QString checkImage(const DeviceImageBytes& image);

// The cli's import into a table file, shared by `import` and `download`.
// Create: refuses an empty image with "Архив прибора пуст!" (no file written),
// else creates `path` (replacing a file of that name) and fills it. Append:
// opens `path`, appends, closes. Report lines go to `reportLine` in append
// mode; an append first keeps the table as it was in its .bak unless told
// not to (a path that stands in for a name Qt cannot spell has no folder to
// put one in). Throws hv::Error on failure.
ImportResult importIntoFile(const QString& path, const DeviceImageBytes& image, bool append,
                            const std::function<void(const QString&)>& reportLine = {}, bool backUp = true);

// "Архив прибора пуст!"
QString emptyDeviceArchiveText();

}  // namespace hv
