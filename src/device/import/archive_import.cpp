#include "device/import/archive_import.h"

#include "device/import/record_text.h"
#include "device/materials.h"
#include "platform/error.h"
#include "platform/regional.h"
#include "store/archive_kind.h"
#include "store/db_table.h"
#include "store/row_schema.h"

namespace hv {

namespace {

// The archive's name in the report texts.
QString archiveGenitive(ArchiveKind kind) {
  switch (kind) {
    case ArchiveKind::Wood:
      return QStringLiteral("древесных");
    case ArchiveKind::Concrete:
      return QStringLiteral("бетонных");
    case ArchiveKind::Bulk:
      break;
  }
  return QStringLiteral("сыпучих");
}

// Record at an image offset; checkImage has made sure it lies inside.
DeviceRecord recordAt(const DeviceImageBytes& image, int offset) { return DeviceRecord(image.data() + offset); }

}  // namespace

QString emptyDeviceArchiveText() { return QStringLiteral("Архив прибора пуст!"); }

void appendRecordRow(TDbTable& table, ArchiveKind kind, int n, const DeviceRecord& r, QChar separator) {
  using F = MeasurementField;
  table.append();
  table.setFieldInt(fieldName(F::N), n);
  table.setFieldInt(fieldName(F::NArc), archiveNumber(kind));
  if (r.isSingle()) {
    table.setFieldText(fieldName(F::W), FormatMoisture(r.moisture(), separator));
    table.setFieldText(fieldName(F::WMin), QString());
    table.setFieldText(fieldName(F::WMax), QString());
  } else {
    table.setFieldText(fieldName(F::W), QString());
    table.setFieldText(fieldName(F::WMin), FormatMoisture(r.minimum(), separator));
    table.setFieldText(fieldName(F::WMax), FormatMoisture(r.maximum(), separator));
  }
  table.setFieldText(fieldName(F::NInd), individualNumberText(r.individualNumber()));
  table.setFieldText(fieldName(F::Material), MaterialName(kind, r.individualNumber(), r.materialCode()));
  table.setFieldText(fieldName(F::Time), RecordTimeText(r));
  table.setFieldText(fieldName(F::Date), RecordDateText(r));
  table.setFieldText(fieldName(F::Comment), QString());
  table.post();
}

QChar moistureSeparatorFor(TDbTable& table) {
  if (!table.active()) return decimalSeparator();
  const QString filter = table.filter();
  const QStringList moisture = fieldNames(std::array{MeasurementField::W, MeasurementField::WMin, MeasurementField::WMax});
  std::optional<QChar> found;
  for (ArchiveKind kind : kArchiveKinds) {
    table.setFilter(archiveFilter(kind));
    table.refresh();
    if (table.isEmpty()) continue;
    // Every row holds W or both W_MIN and W_MAX; the first one tells.
    table.fieldTextsAt({table.bookmarkAtRow(0)}, moisture, [&](std::size_t, int, std::optional<std::string_view> text) {
      if (text && !found) found = moistureSeparatorOf(QString::fromUtf8(text->data(), qsizetype(text->size())));
    });
    if (found) break;
  }
  table.setFilter(filter);
  table.refresh();
  return found.value_or(decimalSeparator());
}

QString checkImage(const DeviceImageBytes& image) {
  if (decodedImageLength(image) > kMaxDecodedImageLength)
    return QStringLiteral("Образ памяти прибора повреждён: его записи выходят за конец образа");
  return {};
}

ImportResult ImportArchives(TDbTable& table, const DeviceImageBytes& image, bool append,
                            const std::function<void(const ArchiveImportResult&)>& archiveDone) {
  ImportResult results;
  for (int k = 0; k < 3; ++k) results[k].kind = archiveKindAt(k);
  if (!table.active()) return results;
  if (const QString why = checkImage(image); !why.isEmpty()) throw Error(why);

  const QChar separator = moistureSeparatorFor(table);
  const QString filter = table.filter();
  int pos = 0;  // offset of the wood count
  for (int k = 0; k < 3; ++k) {
    ArchiveImportResult& res = results[k];
    table.setFilter(archiveFilter(res.kind));
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
        const std::optional<QString> date = table.fieldText(fieldName(MeasurementField::Date));
        const std::optional<QString> time = table.fieldText(fieldName(MeasurementField::Time));
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
      appendRecordRow(table, res.kind, skipped + i + 1, recordAt(image, pos), separator);
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
