#include "device/import/archive_import.h"

#include <optional>

#include "device/import/record_text.h"
#include "device/materials.h"
#include "platform/codepage.h"
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
  const QStringList moisture = fieldNames(std::array{MeasurementField::W, MeasurementField::WMin, MeasurementField::WMax});
  std::optional<QChar> found;
  for (ArchiveKind kind : kArchiveKinds) {
    const std::vector<TDbTable::Bookmark> rows = table.rowsOf(ArchiveFilter(kind), table.indexName());
    if (rows.empty()) continue;
    // Every row holds W or both W_MIN and W_MAX; the first one tells.
    table.fieldTextsAt({rows.front()}, moisture, [&](std::size_t, int, std::optional<std::string_view> text) {
      if (text && !found) found = moistureSeparatorOf(QString::fromUtf8(text->data(), qsizetype(text->size())));
    });
    if (found) break;
  }
  return found.value_or(decimalSeparator());
}

QString checkImage(const DeviceImageBytes& image) {
  if (decodedImageLength(image) > kMaxDecodedImageLength)
    return QStringLiteral("Образ памяти прибора повреждён: его записи выходят за конец образа");
  return {};
}

namespace {

// Where an archive's records to append start in the image, and how many.
struct ArchivePlan {
  int pos = 0;
  int count = 0;
};

// The material name a device record would write when the table's code page
// cannot hold it (the other texts are digits), or nothing.
std::optional<QString> unwritableText(CodePage page, ArchiveKind kind, const DeviceRecord& r) {
  const QString material = MaterialName(kind, r.individualNumber(), r.materialCode());
  if (firstUnencodable(page, material) >= 0) return material;
  return std::nullopt;
}

}  // namespace

ImportResult ImportArchives(TDbTable& table, const DeviceImageBytes& image, bool append,
                            const std::function<void(const ArchiveImportResult&)>& archiveDone) {
  ImportResult results;
  for (int k = 0; k < 3; ++k) results[k].kind = archiveKindAt(k);
  if (!table.active()) return results;
  if (const QString why = checkImage(image); !why.isEmpty()) throw Error(why);

  const QChar separator = moistureSeparatorFor(table);
  // The rows are read without moving the table; it ends on its first row
  // however the import ends.
  const auto restore = [&] {
    table.refresh();
    table.first();
  };
  // First what each archive lacks, without writing anything.
  std::array<ArchivePlan, 3> plans;
  try {
    int pos = 0;  // offset of the wood count
    for (int k = 0; k < 3; ++k) {
      ArchiveImportResult& res = results[k];
      int n = ImageWord(pos, image);
      res.deviceCount = n;
      pos += 2;
      int skipped = 0;
      if (append && n != 0) {
        // The archive's last row in record order is the one appended last.
        const std::vector<TDbTable::Bookmark> rows = table.rowsOf(ArchiveFilter(archiveKindAt(k)));
        // Compared as clock readings, not calendar times: the meter can send a
        // day the calendar lacks (31 April), and it is stored as such.
        qint64 last = 0;
        bool readable = true;
        if (!rows.empty()) {
          const std::optional<QString> date = table.fieldTextAt(rows.back(), fieldName(MeasurementField::Date));
          const std::optional<QString> time = table.fieldTextAt(rows.back(), fieldName(MeasurementField::Time));
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
      plans[size_t(k)] = {pos, n};
      pos += RecordSize * n;
    }
    // A table in a code page without Cyrillic would get "?" for the
    // material names: refused before a row is written.
    const CodePage page = table.codePage();
    for (int k = 0; k < 3; ++k)
      for (int i = 0; i < plans[size_t(k)].count; ++i)
        if (const auto bad = unwritableText(page, archiveKindAt(k), recordAt(image, plans[size_t(k)].pos + i * RecordSize)))
          throw Error(QStringLiteral("Записи не добавлены в таблицу «%1»: она в кодовой странице %2, и название "
                                     "материала «%3» записалось бы знаками «?». Таблица не изменена.")
                          .arg(table.fileName(), codePageDescription(page), *bad));
  } catch (...) {
    restore();
    throw;
  }

  // Then every row or none: a failure takes back what was appended.
  try {
    table.beginAppends();
  } catch (...) {
    restore();
    throw;
  }
  try {
    for (int k = 0; k < 3; ++k) {
      ArchiveImportResult& res = results[k];
      int pos = plans[size_t(k)].pos;
      for (int i = 0; i < plans[size_t(k)].count; ++i) {
        appendRecordRow(table, res.kind, res.skipped + i + 1, recordAt(image, pos), separator);
        ++res.added;
        pos += RecordSize;
      }
      if (append && archiveDone) archiveDone(res);
    }
  } catch (const std::exception& e) {
    const QString why = dynamic_cast<const Error*>(&e) ? static_cast<const Error&>(e).text() : QString::fromUtf8(e.what());
    QString undone;
    try {
      table.rollBackAppends();
      undone = QStringLiteral("Записи не добавлены: таблица «%1» осталась такой, какой была.").arg(table.fileName());
    } catch (const std::exception& again) {
      undone = QStringLiteral("Записи не добавлены, но вернуть таблицу «%1» к прежнему виду не удалось: %2")
                   .arg(table.fileName(), QString::fromUtf8(again.what()));
    }
    try {
      restore();
    } catch (const std::exception&) {
      // The first failure is the one to report.
    }
    throw Error(undone + QLatin1Char('\n') + why);
  }
  table.endAppends();
  // Refresh before moving to the first row: the same end, one pass over the rows.
  restore();
  return results;
}

QString appendReportText(const ArchiveImportResult& r) {
  if (r.unreadableLastRow)
    return QStringLiteral("Записи в архив %1 не добавлены: дата и время последней записи архива в таблице (\"%2\" \"%3\") не читаются")
        .arg(archiveGenitive(r.kind), r.lastDate.trimmed(), r.lastTime.trimmed());
  return QStringLiteral("Добавлено записей в архив %1: %2").arg(archiveGenitive(r.kind)).arg(r.added);
}

ImportResult importIntoFile(const QString& path, const DeviceImageBytes& image, bool append,
                            const std::function<void(const QString&)>& reportLine, bool backUp) {
  if (const QString why = checkImage(image); !why.isEmpty()) throw Error(why);
  TDbTable table;
  table.setFileName(path);
  if (!append) {
    if (ImageIsEmpty(image)) throw Error(emptyDeviceArchiveText());
    table.createTable();
  }
  table.open();
  // The table as it was stays beside it before rows are added.
  if (append && backUp) table.writeBackup();
  table.setFiltered(true);
  table.setFilter(ArchiveFilter(ArchiveKind::Wood));
  const ImportResult result = ImportArchives(table, image, append, [&](const ArchiveImportResult& r) {
    if (reportLine) reportLine(appendReportText(r));
  });
  table.close();
  return result;
}

}  // namespace hv
