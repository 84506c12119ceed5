#include "export/csv_export.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "export/compound_file.h"
#include "platform/durable_rename.h"
#include "platform/error.h"
#include "store/db_table.h"
#include "store/row_schema.h"
#include "store/stored_values.h"

namespace hv {

namespace {

// The table's fields in the order of the file's columns; the ISO date-time
// goes after TIME.
constexpr std::array<MeasurementField, 9> kCsvFields = {
    MeasurementField::N,    MeasurementField::Date,     MeasurementField::Time,
    MeasurementField::W,    MeasurementField::WMin,     MeasurementField::WMax,
    MeasurementField::Material, MeasurementField::NInd, MeasurementField::Comment};

const QStringList& csvFields() {
  static const QStringList fields = fieldNames(kCsvFields);
  return fields;
}
constexpr int kFieldN = 0, kFieldDate = 1, kFieldTime = 2, kFieldWMax = 5;

// The grid's captions over the same columns, the date-time's own after "Время".
const QStringList& csvCaptions() {
  static const QStringList captions = [] {
    QStringList list;
    for (MeasurementField field : kCsvFields) {
      list << fieldCaption(field);
      if (field == MeasurementField::Time) list << QStringLiteral("Дата и время");
    }
    return list;
  }();
  return captions;
}

constexpr std::size_t kFlushBytes = 1 << 20;

std::string_view trimmed(std::string_view t) {
  while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
  while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
  return t;
}

// One field, quoted as RFC 4180 asks when it holds the delimiter, a quote or
// a line break; quotes inside are doubled.
void appendField(std::string& line, std::string_view value, char delimiter) {
  const auto special = [delimiter](char ch) { return ch == delimiter || ch == '"' || ch == '\r' || ch == '\n'; };
  if (std::none_of(value.begin(), value.end(), special)) {
    line.append(value);
    return;
  }
  line.push_back('"');
  for (const char ch : value) {
    if (ch == '"') line.push_back('"');
    line.push_back(ch);
  }
  line.push_back('"');
}

// A file written under a temporary name beside its target, which it replaces
// only when put in place.
class CsvFile {
 public:
  explicit CsvFile(const QString& target) : target_(QFileInfo(target).absoluteFilePath()) {
    const QFileInfo info(target_);
    if (info.isDir()) failBecause(QStringLiteral("это папка, а не файл"));
    if (!QFileInfo(info.absolutePath()).isDir())
      failBecause(QStringLiteral("папка \"%1\" не найдена").arg(QDir::toNativeSeparators(info.absolutePath())));
    // Replacing a file we may not write would bypass its protection.
    if (info.exists() && !info.isWritable()) failBecause(QStringLiteral("файл только для чтения"));
    temp_ = CompoundFile::temporaryName(target_);
    file_ = std::make_unique<QSaveFile>(temp_);
    if (!file_->open(QIODevice::WriteOnly)) fail(file_->errorString());
    if (info.exists()) file_->setPermissions(info.permissions());
  }
  ~CsvFile() {
    if (file_) file_->cancelWriting();
    if (written_) QFile::remove(temp_);
  }

  void write(std::string& bytes) {
    if (file_->write(bytes.data(), qint64(bytes.size())) != qint64(bytes.size())) fail(file_->errorString());
    bytes.clear();
  }
  // On disk under the temporary name.
  void finish() {
    if (!file_->commit()) fail(file_->errorString());
    file_.reset();
    written_ = true;
  }
  void putInPlace() {
    if (const int e = durableRename(temp_, target_))
      throw Error(writeErrorText(target_, systemErrorReason(e, target_), qt_error_string(e)));
    written_ = false;
  }

 private:
  [[noreturn]] void failBecause(const QString& why) const { throw Error(writeErrorText(target_, why, QString())); }
  // The system's words on a second line, under why as the disk shows it
  // (no room left counts what was written so far, which is taken away).
  [[noreturn]] void fail(const QString& detail) const {
    const qint64 written = file_ ? file_->pos() + 1 : 0;
    throw Error(writeErrorText(target_, writeFailureReason(target_, written), detail));
  }

  QString target_, temp_;
  std::unique_ptr<QSaveFile> file_;
  bool written_ = false;
};

// The rows of one archive into a file.
class RowWriter {
 public:
  RowWriter(CsvFormat format, CsvFile& file) : format_(format), file_(file) {}

  void header() {
    if (format_.byteOrderMark) out_.append("\xEF\xBB\xBF");
    const QStringList& captions = csvCaptions();
    for (qsizetype c = 0; c < captions.size(); ++c) {
      if (c > 0) out_.push_back(format_.delimiter);
      appendField(out_, captions[c].toStdString(), format_.delimiter);
    }
    out_.append(format_.lineEnd);
  }

  // Field k of a row, in csvFields() order; a row ends with its last field.
  void field(int k, std::optional<std::string_view> value) {
    const std::string_view v = value.value_or(std::string_view());
    if (k > 0) out_.push_back(format_.delimiter);
    if (k == kFieldN) {
      appendField(out_, trimmed(v), format_.delimiter);
    } else if (k == kFieldDate) {
      date_.assign(v);
      appendField(out_, v, format_.delimiter);
    } else if (k == kFieldTime) {
      appendField(out_, v, format_.delimiter);
      out_.push_back(format_.delimiter);
      // Nothing for a date and time that cannot be read or a day the calendar
      // has not (the meter can send 31 April).
      const std::optional<ClockReading> clock = readStoredClock(std::string_view(date_), v);
      if (clock && clock->onCalendar()) appendIsoDateTime(out_, *clock);
    } else if (k <= kFieldWMax) {
      // A number gets the preset's decimal separator; any other text stays as it is.
      if (value && !appendMoistureWith(out_, v, format_.decimal)) appendField(out_, v, format_.delimiter);
    } else {
      appendField(out_, v, format_.delimiter);
    }
    if (k == int(csvFields().size()) - 1) {
      out_.append(format_.lineEnd);
      if (out_.size() >= kFlushBytes) file_.write(out_);
    }
  }

  void flush() { file_.write(out_); }

 private:
  CsvFormat format_;
  CsvFile& file_;
  std::string out_, date_;
};

}  // namespace

CsvFormat csvFormat(CsvPreset preset) {
  if (preset == CsvPreset::Analysis) return {',', '.', false, "\n"};
  return {';', ',', true, "\r\n"};
}

QString csvPresetCaption(CsvPreset preset) {
  return preset == CsvPreset::Analysis ? QStringLiteral("Для программ анализа") : QStringLiteral("Для Excel");
}

QString csvPresetKey(CsvPreset preset) {
  return preset == CsvPreset::Analysis ? QStringLiteral("analysis") : QStringLiteral("excel");
}

CsvPreset csvPresetFromKey(const QString& key, CsvPreset fallback) {
  for (CsvPreset p : {CsvPreset::Excel, CsvPreset::Analysis})
    if (key.compare(csvPresetKey(p), Qt::CaseInsensitive) == 0) return p;
  return fallback;
}

std::vector<CsvTarget> csvTargets(const QString& fileName, const std::vector<ArchiveKind>& kinds) {
  std::vector<CsvTarget> targets;
  if (kinds.size() == 1) {
    targets.push_back({kinds.front(), fileName});
    return targets;
  }
  const QFileInfo info(fileName);
  const QString suffix = info.suffix();
  const QString stem = suffix.isEmpty() ? fileName : fileName.left(fileName.size() - suffix.size() - 1);
  for (ArchiveKind kind : kinds)
    targets.push_back({kind, stem + QChar('_') + archiveCaption(kind) +
                                 (suffix.isEmpty() ? QString() : QChar('.') + suffix)});
  return targets;
}

bool exportArchivesToCsv(TDbTable& table, const std::vector<CsvTarget>& targets, CsvPreset preset,
                         const CsvProgress& progress) {
  // Each archive in the order its grid would show it: the table's own order.
  std::vector<std::vector<TDbTable::Bookmark>> rows;
  for (const CsvTarget& t : targets) rows.push_back(table.rowsOf(ArchiveFilter(t.kind), table.indexName()));
  qint64 total = 0, done = 0;
  for (const auto& r : rows) total += qint64(r.size());
  if (progress && !progress(0, total)) return false;

  std::vector<std::unique_ptr<CsvFile>> files;
  for (std::size_t t = 0; t < targets.size(); ++t) {
    files.push_back(std::make_unique<CsvFile>(targets[t].fileName));
    RowWriter writer(csvFormat(preset), *files.back());
    writer.header();
    const bool whole = table.readRows(
        rows[t], csvFields(), [&](std::size_t, int k, std::optional<std::string_view> value) { writer.field(k, value); },
        [&](std::size_t read) { return !progress || progress(done + qint64(read), total); });
    if (!whole) return false;
    done += qint64(rows[t].size());
    writer.flush();
    files.back()->finish();
  }
  for (auto& f : files) f->putInPlace();
  return true;
}

QString csvExportCaption() { return QStringLiteral("Экспорт в CSV"); }
QString csvExportDialogFilter() { return QStringLiteral("Текст CSV|*.csv"); }
QString csvExportDefaultSuffix() { return QStringLiteral(".csv"); }

QString csvExportSuccessText(const QStringList& fileNames) {
  QStringList names;
  for (const QString& f : fileNames) names << QFileInfo(f).fileName();
  return (names.size() == 1 ? QStringLiteral("Экспорт в CSV в файл ") : QStringLiteral("Экспорт в CSV в файлы ")) +
         names.join(QStringLiteral(", ")) + QStringLiteral(" завершен успешно.");
}

}  // namespace hv
