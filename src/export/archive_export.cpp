#include "export/archive_export.h"

#include <QFileInfo>
#include <QStringDecoder>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "export/workbook_writers.h"
#include "store/db_table.h"
#include "store/row_schema.h"
#include "store/stored_values.h"

namespace hv {

namespace {

const QString kSheetPrefix = QStringLiteral("Hygrovan-RX3 (");

// The fields of the columns, each titled with its caption; column A is the number N.
constexpr MeasurementField kColumns[] = {
    MeasurementField::N,    MeasurementField::Date,     MeasurementField::Time,
    MeasurementField::W,    MeasurementField::WMin,     MeasurementField::WMax,
    MeasurementField::Material, MeasurementField::NInd, MeasurementField::Comment,
};
// Rows read from the table in one go: bounded, so the batch stays small.
constexpr int kBatchRows = 4096;

// A decimal text as its sign, significant digits and the power of ten of
// the last digit: "-012.50" -> (true, "125", -1), "1.5e+20" -> (false, "15", 19).
struct DecimalDigits {
  bool negative = false;
  std::string digits;
  int exponent = 0;
  bool operator==(const DecimalDigits&) const = default;
};

DecimalDigits decimalDigits(std::string_view s) {
  DecimalDigits d;
  bool fraction = false;
  std::size_t i = 0;
  for (; i < s.size() && s[i] != 'e' && s[i] != 'E'; ++i) {
    const char c = s[i];
    if (c == '.') {
      fraction = true;
    } else if (c == '-') {
      d.negative = true;
    } else if (c >= '0' && c <= '9') {
      if (fraction) --d.exponent;
      if (c != '0' || !d.digits.empty()) d.digits.push_back(c);
    }
  }
  if (i + 1 < s.size()) {
    int e = 0;
    std::from_chars(s.data() + i + 1 + (s[i + 1] == '+' ? 1 : 0), s.data() + s.size(), e);
    d.exponent += e;
  }
  while (!d.digits.empty() && d.digits.back() == '0') {
    d.digits.pop_back();
    ++d.exponent;
  }
  if (d.digits.empty()) return {};  // zero, whatever its sign
  return d;
}

// A numeric field's value as it stands in the file, however wide the field
// and however many decimals it has: a whole number as such, any other as the
// double that reads back as the same digits. Nothing for a value a double
// cannot hold exactly (more digits than it keeps) or a text that is no
// number (the overflow mark "****"): that goes into the sheet as its text.
std::optional<Value> numberValue(std::string_view text) {
  // Most fields hold a whole number of a few digits: taken as it stands.
  if (!text.empty() && text.size() <= 10) {
    const bool negative = text[0] == '-';
    std::int32_t n = 0;
    std::size_t i = negative ? 1 : 0;
    const std::size_t digits = text.size() - i;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) n = n * 10 + (text[i] - '0');
    if (i == text.size() && digits >= 1 && digits <= 9) return negative ? -n : n;
  }
  static constexpr std::string_view kPoint[] = {"."};
  const std::optional<double> v = parseDecimalText(text, kPoint);
  if (!v) return std::nullopt;
  // Fifteen significant digits always come back from a double as they went in.
  int significant = 0;
  bool leading = true;
  for (char c : text) {
    if (c < '0' || c > '9' || (leading && c == '0')) continue;
    leading = false;
    ++significant;
  }
  if (significant <= 15) return *v == std::trunc(*v) && *v >= INT32_MIN && *v <= INT32_MAX
                                    ? Value(static_cast<std::int32_t>(*v))
                                    : Value(*v);
  char shortest[32];
  const auto written = std::to_chars(shortest, shortest + sizeof shortest, *v);
  if (written.ec != std::errc() || decimalDigits(std::string_view(shortest, std::size_t(written.ptr - shortest))) !=
                                       decimalDigits(text))
    return std::nullopt;
  if (*v == std::trunc(*v) && *v >= INT32_MIN && *v <= INT32_MAX) return static_cast<std::int32_t>(*v);
  return *v;
}

// The different texts of one column, numbered from 0 in the order they are
// first met: most columns repeat a few values, so the thread that reads the
// table tells them apart by their UTF-8 bytes and only a new one travels
// on, to be decoded and interned once. Dates and times, of which a table
// holds many different ones, are found by their value in a table of their
// own rather than by a hash.
class ColumnTexts {
 public:
  enum class Kind { Any, Date, Time };
  explicit ColumnTexts(Kind kind) : kind_(kind) {}

  // The text's number in this column; count() before the call when it is new.
  std::uint32_t number(std::string_view utf8) {
    const std::int64_t at = kind_ == Kind::Any ? -1 : directIndex(utf8);
    if (at < 0) return hashed(utf8);
    if (direct_.empty()) direct_.resize(kind_ == Kind::Date ? kDateSlots : kTimeSlots);
    std::uint32_t& n = direct_[std::size_t(at)];
    if (n == 0) n = newNumber() + 1;
    return n - 1;
  }
  std::uint32_t count() const { return count_; }

 private:
  // Dates "dd.mm.yyyy" of the years 1900 to 2155, times "hh:mm:ss".
  static constexpr std::size_t kDateSlots = 256 * 13 * 32;
  static constexpr std::size_t kTimeSlots = 24 * 60 * 60;

  static unsigned twoDigits(const char* p) {
    const unsigned a = unsigned(p[0] - '0'), b = unsigned(p[1] - '0');
    return a < 10 && b < 10 ? 10 * a + b : 100;
  }

  // The place of a date or time in direct_, -1 for any other text.
  std::int64_t directIndex(std::string_view t) const {
    if (kind_ == Kind::Time) {
      if (t.size() != 8 || t[2] != ':' || t[5] != ':') return -1;
      const unsigned h = twoDigits(&t[0]), m = twoDigits(&t[3]), sec = twoDigits(&t[6]);
      if (h >= 24 || m >= 60 || sec >= 60) return -1;
      return (h * 60 + m) * 60 + sec;
    }
    if (t.size() != 10 || t[2] != '.' || t[5] != '.') return -1;
    const unsigned d = twoDigits(&t[0]), m = twoDigits(&t[3]), c = twoDigits(&t[6]), y = twoDigits(&t[8]);
    if (d >= 32 || m >= 13 || c >= 100 || y >= 100) return -1;
    const unsigned year = 100 * c + y;
    if (year < 1900 || year - 1900 >= 256) return -1;
    return ((year - 1900) * 13 + m) * 32 + d;
  }

  struct Slot {
    std::uint64_t head[2] = {0, 0};  // the first 16 bytes, zero-padded
    std::uint32_t size = 0;          // bytes + 1; 0 for a free slot
    std::uint32_t number = 0;
    std::uint32_t rest = 0;  // where bytes beyond the 16th are kept in rest_
    std::uint32_t hash = 0;
  };

  std::uint32_t newNumber() {
    if (count_ >= UINT32_MAX - 1) throw std::bad_alloc();
    return count_++;
  }

  std::uint32_t hashed(std::string_view t) {
    Slot key;
    std::memcpy(key.head, t.data(), std::min<std::size_t>(t.size(), 16));
    std::uint64_t h = (key.head[0] * 0x9E3779B97F4A7C15u) ^ (key.head[1] * 0xC2B2AE3D27D4EB4Fu) ^ t.size();
    for (std::size_t i = 16; i < t.size(); i += 8) {
      std::uint64_t w = 0;
      std::memcpy(&w, t.data() + i, std::min<std::size_t>(t.size() - i, 8));
      h = (h ^ w) * 0x9E3779B97F4A7C15u;
    }
    key.hash = std::uint32_t(h ^ h >> 29 ^ h >> 47);
    if (slots_.empty()) slots_.resize(256);
    const std::size_t mask = slots_.size() - 1;
    std::size_t s = key.hash & mask;
    for (; slots_[s].size != 0; s = (s + 1) & mask) {
      const Slot& o = slots_[s];
      if (o.hash == key.hash && o.size - 1 == t.size() && o.head[0] == key.head[0] && o.head[1] == key.head[1] &&
          (t.size() <= 16 || rest_.compare(o.rest, t.size() - 16, t.substr(16)) == 0))
        return o.number;
    }
    key.number = newNumber();
    // Not kept: met again, it is new again, and interned once all the same.
    if (t.size() >= UINT32_MAX - 1 || rest_.size() + t.size() >= UINT32_MAX) return key.number;
    key.size = std::uint32_t(t.size() + 1);
    key.rest = std::uint32_t(rest_.size());
    if (t.size() > 16) rest_.append(t.substr(16));
    slots_[s] = key;
    if (++used_ * 2 > slots_.size()) grow();
    return key.number;
  }

  void grow() {
    std::vector<Slot> old(slots_.size() * 2);
    old.swap(slots_);
    const std::size_t mask = slots_.size() - 1;
    for (const Slot& slot : old) {
      if (slot.size == 0) continue;
      std::size_t s = slot.hash & mask;
      while (slots_[s].size != 0) s = (s + 1) & mask;
      slots_[s] = slot;
    }
  }

  Kind kind_;
  std::uint32_t count_ = 0;
  std::vector<std::uint32_t> direct_;  // text number + 1, 0 when not met yet
  std::vector<Slot> slots_;
  std::size_t used_ = 0;
  std::string rest_;
};

// The texts of the export's columns, shared by all sheets of a workbook.
std::vector<ColumnTexts> columnTexts() {
  std::vector<ColumnTexts> texts;
  for (MeasurementField c : kColumns) {
    const StoredForm form = fieldSpec(c).form;
    texts.emplace_back(form == StoredForm::Date   ? ColumnTexts::Kind::Date
                       : form == StoredForm::Time ? ColumnTexts::Kind::Time
                                                  : ColumnTexts::Kind::Any);
  }
  return texts;
}

TXlsWorksheet& addSheet(TXlsWorkbook& workbook, const QString& name) {
  TXlsWorksheet& sheet = workbook.AddSheet();
  sheet.setName(name);
  for (int c = 0; c < int(std::size(kColumns)); ++c) sheet.GetRange(c, 0, c, 0).setValue(fieldCaption(kColumns[c]));
  return sheet;
}

constexpr std::size_t kColumnCount = std::size(kColumns);

// Rows as read from the table, on their way to the sheets: field k of row r is
// fields[r * kColumnCount + k]. The number's bytes (UTF-8) are in `bytes`; a
// text comes as its number in the column, with its bytes only where it is new.
struct RowBatch {
  static constexpr std::uint32_t kBlank = UINT32_MAX;
  struct Field {
    std::uint32_t offset;
    std::uint32_t size;  // kBlank for a blank field
    std::uint32_t text;  // the text's number in its column
  };
  QString archiveName;  // set: an archive starts here, in a sheet of this name
  std::string bytes;
  std::vector<Field> fields;

  void clear() {
    archiveName.clear();
    bytes.clear();
    fields.clear();
  }
};

// Puts rows into sheets: one archive after another, each in as many sheets as
// its rows need.
class SheetFiller {
 public:
  explicit SheetFiller(TXlsWorkbook& workbook) : workbook_(workbook) {}

  void take(const RowBatch& batch) {
    if (!batch.archiveName.isEmpty()) {
      name_ = batch.archiveName;
      sheet_ = &addSheet(workbook_, name_);
      row_ = 0;
      part_ = 1;
    }
    for (std::size_t at = 0; at + kColumnCount <= batch.fields.size(); at += kColumnCount)
      addRow(batch, &batch.fields[at]);
  }

 private:
  void addRow(const RowBatch& batch, const RowBatch::Field* fields) {
    const auto text = [&](std::size_t k) {
      return std::string_view(batch.bytes.data() + fields[k].offset, fields[k].size);
    };
    if (row_ == kMaxRowsPerSheet) {
      sheet_ = &addSheet(workbook_, name_ + QChar(' ') + QString::number(++part_));
      row_ = 0;
    }
    ++row_;
    // A blank field stays an empty cell: written as a blank with the cell format.
    if (fields[0].size == RowBatch::kBlank)
      sheet_->addCell(0, row_);
    else if (const std::optional<Value> n = numberValue(text(0)))
      sheet_->setCellValue(0, row_, *n);
    else
      sheet_->setCellText(0, row_, intern(text(0)));
    std::array<std::uint32_t, kColumnCount - 1> rowTexts;
    for (std::size_t k = 1; k < kColumnCount; ++k) {
      const RowBatch::Field& f = fields[k];
      if (f.size == RowBatch::kBlank) {
        rowTexts[k - 1] = TXlsWorksheet::kNoText;
        continue;
      }
      std::vector<std::uint32_t>& numbers = poolNumbers_[k];
      if (f.text >= numbers.size()) {
        // Numbers come in the order the reader gave them, each new one with its bytes.
        if (f.text > numbers.size()) throw std::logic_error("export: a column's texts out of order");
        numbers.push_back(intern(text(k)));
      }
      rowTexts[k - 1] = numbers[f.text];
    }
    sheet_->setCellTexts(row_, 1, rowTexts.data(), std::uint32_t(rowTexts.size()));
  }

  std::uint32_t intern(std::string_view utf8) {
    decoded_.resize(utf8.size());
    const QChar* end = decoder_.appendToBuffer(decoded_.data(), QByteArrayView(utf8.data(), qsizetype(utf8.size())));
    return sheet_->textNumber(QStringView(decoded_.data(), end - decoded_.data()));
  }

  TXlsWorkbook& workbook_;
  // The workbook's text numbers of each column's texts, by their number in the column.
  std::array<std::vector<std::uint32_t>, kColumnCount> poolNumbers_;
  QStringDecoder decoder_{QStringDecoder::Utf8, QStringDecoder::Flag::Stateless};
  std::vector<QChar> decoded_;
  QString name_;
  TXlsWorksheet* sheet_ = nullptr;
  int row_ = 0;
  int part_ = 1;
};

// Batches between the thread reading the table and the one filling the
// sheets: a few go round, so the two work at once in little memory.
class BatchQueue {
 public:
  BatchQueue() {
    for (auto& b : pool_) {
      b.fields.reserve(kBatchRows * kColumnCount);
      free_.push_back(&b);
    }
  }

  // The reader's next empty batch; null once the filler has stopped.
  RowBatch* emptyBatch() {
    RowBatch* b = pop(free_);
    if (b) b->clear();
    return b;
  }
  void put(RowBatch* b) { push(full_, b); }
  // No more batches will come.
  void finish() {
    const std::lock_guard lock(mutex_);
    finished_ = true;
    changed_.notify_all();
  }
  // The filler's next batch; null when all are taken or it is to stop.
  RowBatch* next() { return pop(full_); }
  void done(RowBatch* b) { push(free_, b); }
  void stop() {
    const std::lock_guard lock(mutex_);
    stopped_ = true;
    changed_.notify_all();
  }

 private:
  // The first of `from` once there is one; null when stopped, or when no more
  // will come to an empty `from`.
  RowBatch* pop(std::deque<RowBatch*>& from) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return stopped_ || !from.empty() || (finished_ && &from == &full_); });
    if (stopped_ || from.empty()) return nullptr;
    RowBatch* b = from.front();
    from.pop_front();
    return b;
  }
  void push(std::deque<RowBatch*>& to, RowBatch* b) {
    const std::lock_guard lock(mutex_);
    to.push_back(b);
    changed_.notify_all();
  }

  std::array<RowBatch, 3> pool_;
  std::deque<RowBatch*> free_, full_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool finished_ = false, stopped_ = false;
};

// Reads the rows of `kinds`' archives in the table's order and hands them to a
// second thread that puts them into sheets of `workbook`. False when
// `progress` stopped it.
bool addSheetsOf(TDbTable& table, TXlsWorkbook& workbook, const std::vector<ArchiveKind>& kinds,
                 const ExportProgress& progress) {
  BatchQueue queue;
  std::exception_ptr fillError;
  std::thread filler([&] {
    try {
      SheetFiller sheets(workbook);
      while (RowBatch* b = queue.next()) {
        sheets.take(*b);
        queue.done(b);
      }
    } catch (...) {
      fillError = std::current_exception();
      queue.stop();
    }
  });
  bool cancelled = false;
  try {
    const QStringList fields = fieldNames(kColumns);
    std::vector<ColumnTexts> texts = columnTexts();
    qint64 total = 0, done = 0;
    for (ArchiveKind kind : kinds) total += table.rowCount(ArchiveFilter(kind));
    cancelled = progress && !progress(0, total);
    for (std::size_t at = 0; !cancelled && at < kinds.size(); ++at) {
      RowBatch* batch = queue.emptyBatch();
      if (!batch) break;
      batch->archiveName = kSheetPrefix + archiveCaption(kinds[at]) + QChar(')');
      // The rows in the table's order, read a batch at a time in one pass each.
      const std::vector<TDbTable::Bookmark> rows = table.rowsOf(ArchiveFilter(kinds[at]), table.indexName());
      if (rows.empty()) queue.put(batch);  // the sheet with its title row only
      const auto sink = [&](std::size_t, int k, std::optional<std::string_view> value) {
        if (!value) {
          batch->fields.push_back({0, RowBatch::kBlank, 0});
          return;
        }
        std::uint32_t text = 0;
        if (k > 0) {
          const std::uint32_t known = texts[std::size_t(k)].count();
          text = texts[std::size_t(k)].number(*value);
          if (text < known) {
            batch->fields.push_back({0, 0, text});
            return;
          }
        }
        if (batch->bytes.size() + value->size() >= RowBatch::kBlank) throw std::bad_alloc();
        batch->fields.push_back({std::uint32_t(batch->bytes.size()), std::uint32_t(value->size()), text});
        batch->bytes.append(*value);
      };
      const bool read = table.readRows(rows, fields, sink, [&](std::size_t n) {
        queue.put(batch);
        if (progress && !progress(done + qint64(n), total)) {
          cancelled = true;
          return false;
        }
        if (n == rows.size()) return true;
        batch = queue.emptyBatch();
        return batch != nullptr;
      });
      if (!read) break;  // cancelled, or the filler stopped on an error reported below
      done += qint64(rows.size());
    }
    if (cancelled)
      queue.stop();
    else
      queue.finish();
  } catch (...) {
    queue.stop();
    filler.join();
    throw;
  }
  filler.join();
  if (fillError) std::rethrow_exception(fillError);
  return !cancelled;
}

}  // namespace

bool fillArchiveWorkbook(TDbTable& table, TXlsWorkbook& workbook, const ArchiveSet& visibleArchives,
                         const ExportProgress& progress) {
  std::vector<ArchiveKind> kinds;
  for (ArchiveKind kind : kArchiveKinds)
    if (visibleArchives[archiveNumber(kind)]) kinds.push_back(kind);
  // The rows are read without moving the table; the command leaves it on its
  // first row all the same, also after an error.
  bool whole = false;
  try {
    whole = addSheetsOf(table, workbook, kinds, progress);
  } catch (...) {
    try {
      table.first();
    } catch (...) {
      // The first failure is the one reported.
    }
    throw;
  }
  table.first();
  return whole;
}

void exportArchivesToFile(TDbTable& table, const ArchiveSet& visibleArchives, const QString& fileName) {
  TXlsWorkbook workbook;
  fillArchiveWorkbook(table, workbook, visibleArchives);
  TBiff8Writer writer;
  writer.Save(workbook, fileName);
}

ArchiveSet archivesWithRows(TDbTable& table) {
  ArchiveSet result{};
  for (ArchiveKind kind : kArchiveKinds) result[archiveNumber(kind)] = table.rowCount(ArchiveFilter(kind)) > 0;
  return result;
}

QString excelExportCaption() { return QStringLiteral("Экспорт в Excel"); }
QString excelExportDialogFilter() { return QStringLiteral("Книга Excel|*.xls"); }
QString excelExportDefaultSuffix() { return QStringLiteral(".xls"); }

QString excelExportSuccessText(const QString& fileName) {
  return QStringLiteral("Экспорт в Excel в файл ") + QFileInfo(fileName).fileName() + QStringLiteral(" завершен успешно.");
}

}  // namespace hv
