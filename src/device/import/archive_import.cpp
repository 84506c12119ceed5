#include "device/import/archive_import.h"

#include "device/import/record_text.h"
#include "device/materials.h"
#include "platform/error.h"
#include "store/archive_kind.h"
#include "store/db_table.h"

namespace hv {

namespace {

// The archive's name in the report texts.
QString archiveGenitive(int kind) {
  switch (kind) {
    case 0: return QStringLiteral("древесных");
    case 1: return QStringLiteral("бетонных");
    default: return QStringLiteral("сыпучих");
  }
}

// Record at an image offset; checkImage has made sure it lies inside.
DeviceRecord recordAt(const DeviceImageBytes& image, int offset) { return DeviceRecord(image.data() + offset); }

}  // namespace

QString emptyDeviceArchiveText() { return QStringLiteral("Архив прибора пуст!"); }

QString individualNumberText(int individualNumber) {
  if (individualNumber == 0) return {};
  // dBase marks a value too wide for its field with asterisks; a cut number
  // would name another dependence.
  if (individualNumber > 99) return QStringLiteral("**");
  return QString::number(individualNumber);
}

void appendRecordRow(TDbTable& table, int kind, int n, const DeviceRecord& r) {
  table.append();
  table.setFieldInt(QStringLiteral("N"), n);
  table.setFieldInt(QStringLiteral("N_ARC"), kind);
  if (r.isSingle()) {
    table.setFieldText(QStringLiteral("W"), FormatMoisture(r.moisture()));
    table.setFieldText(QStringLiteral("W_MIN"), QString());
    table.setFieldText(QStringLiteral("W_MAX"), QString());
  } else {
    table.setFieldText(QStringLiteral("W"), QString());
    table.setFieldText(QStringLiteral("W_MIN"), FormatMoisture(r.minimum()));
    table.setFieldText(QStringLiteral("W_MAX"), FormatMoisture(r.maximum()));
  }
  table.setFieldText(QStringLiteral("N_IND"), individualNumberText(r.individualNumber()));
  table.setFieldText(QStringLiteral("MATERIAL"), MaterialName(kind, r.individualNumber(), r.materialCode()));
  table.setFieldText(QStringLiteral("TIME"), RecordTimeText(r));
  table.setFieldText(QStringLiteral("DATE"), RecordDateText(r));
  table.setFieldText(QStringLiteral("COMMENT"), QString());
  table.post();
}

QString checkImage(const DeviceImageBytes& image) {
  if (decodedImageLength(image) > kMaxDecodedImageLength)
    return QStringLiteral("Образ памяти прибора повреждён: его записи выходят за конец образа");
  return {};
}

ImportResult ImportArchives(TDbTable& table, const DeviceImageBytes& image, bool append,
                            const std::function<void(const ArchiveImportResult&)>& archiveDone) {
  ImportResult results;
  for (int k = 0; k < 3; ++k) results[k].kind = k;
  if (!table.active()) return results;
  if (const QString why = checkImage(image); !why.isEmpty()) throw Error(why);

  const QString filter = table.filter();
  int pos = 0;  // offset of the wood count
  for (int k = 0; k < 3; ++k) {
    ArchiveImportResult& res = results[k];
    table.setFilter(archiveFilter(archiveKindAt(k)));
    table.refresh();
    table.last();
    int n = ImageWord(pos, image);
    res.deviceCount = n;
    pos += 2;
    int skipped = 0;
    if (append && n != 0) {
      // Compared as clock readings, not calendar times: the meter can send a
      // day the calendar lacks (31 April), and it is stored as such.
      qint64 last = 0;
      bool readable = true;
      if (!table.isEmpty()) {
        const std::optional<QString> date = table.fieldText(QStringLiteral("DATE"));
        const std::optional<QString> time = table.fieldText(QStringLiteral("TIME"));
        if (const std::optional<ClockReading> c = readStoredClock(date, time)) {
          last = c->key();
        } else {
          readable = false;
          res.unreadableLastRow = true;
          res.lastDate = date.value_or(QString());
          res.lastTime = time.value_or(QString());
        }
      }
      if (readable) {
        // Device records are in chronological order: the first one newer
        // than the last stored row starts what the table lacks.
        while (skipped < n && recordClock(recordAt(image, pos)).key() <= last) {
          pos += RecordSize;
          ++skipped;
        }
        n -= skipped;
      } else {
        pos += RecordSize * n;  // nothing appended; the next archive's count follows
        n = 0;
      }
    }
    res.skipped = skipped;
    for (int i = 0; i < n; ++i) {
      appendRecordRow(table, k, skipped + i + 1, recordAt(image, pos));
      ++res.added;
      pos += RecordSize;
    }
    if (append && archiveDone) archiveDone(res);
  }
  // Refresh before moving to the first row: the same end, one pass over the rows.
  table.setFilter(filter);
  table.refresh();
  table.first();
  return results;
}

QString appendReportText(const ArchiveImportResult& r) {
  if (r.unreadableLastRow)
    return QStringLiteral("Записи в архив %1 не добавлены: дата и время последней записи архива в таблице (\"%2\" \"%3\") не читаются")
        .arg(archiveGenitive(r.kind), r.lastDate.trimmed(), r.lastTime.trimmed());
  return QStringLiteral("Добавлено записей в архив %1: %2").arg(archiveGenitive(r.kind)).arg(r.added);
}

ImportResult importIntoFile(const QString& path, const DeviceImageBytes& image, bool append,
                            const std::function<void(const QString&)>& reportLine) {
  if (const QString why = checkImage(image); !why.isEmpty()) throw Error(why);
  TDbTable table;
  table.setFileName(path);
  if (!append) {
    if (ImageIsEmpty(image)) throw Error(emptyDeviceArchiveText());
    table.createTable();
  }
  table.open();
  table.setFiltered(true);
  table.setFilter(archiveFilter(ArchiveKind::Wood));
  const ImportResult result = ImportArchives(table, image, append, [&](const ArchiveImportResult& r) {
    if (reportLine) reportLine(appendReportText(r));
  });
  table.close();
  return result;
}

}  // namespace hv
