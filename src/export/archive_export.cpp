#include "export/archive_export.h"

#include <QFileInfo>
#include <QStringDecoder>
#include <algorithm>

#include "export/workbook_writers.h"
#include "store/db_table.h"
#include "store/sort_keys.h"

namespace hv {

namespace {

const QString kSheetPrefix = QStringLiteral("Hygrovan-RX3 (");

// Column titles and the fields below them; column A is the number N.
struct Column {
  const char* title;
  const char* field;
};
constexpr Column kColumns[] = {
    {"N", "N"},
    {"Дата", "DATE"},
    {"Время", "TIME"},
    {"W, %", "W"},
    {"Wmin, %", "W_MIN"},
    {"Wmax, %", "W_MAX"},
    {"Материал", "MATERIAL"},
    {"№ индивид. зависимости", "N_IND"},
    {"Примечание", "COMMENT"},
};
// Rows read from the table in one go: bounded, so the batch stays small.
constexpr int kBatchRows = 4096;

// A numeric field's value as it stands in the file, however wide the field:
// a whole number as such, anything else with its decimals.
Value numberValue(std::string_view text) {
  const std::int64_t milli = store::parseDecimalMilli(text);
  if (milli % 1000 == 0 && milli / 1000 >= INT32_MIN && milli / 1000 <= INT32_MAX)
    return static_cast<std::int32_t>(milli / 1000);
  return static_cast<double>(milli) / 1000.0;
}

TXlsWorksheet& addSheet(TXlsWorkbook& workbook, const QString& name) {
  TXlsWorksheet& sheet = workbook.AddSheet();
  sheet.SetName(name);
  for (int c = 0; c < int(std::size(kColumns)); ++c) sheet.GetRange(c, 0, c, 0).SetValue(QString::fromUtf8(kColumns[c].title));
  return sheet;
}

// Puts a table's filter (and filtering) back when the export is done with it.
class FilterGuard {
 public:
  explicit FilterGuard(TDbTable& table) : table_(table), filter_(table.filter()), filtered_(table.filtered()) {}
  ~FilterGuard() {
    try {
      restore();
    } catch (...) {
      // Already unwinding from the table's own error; that one is reported.
    }
  }
  void restore() {
    if (done_) return;
    done_ = true;
    table_.setFilter(filter_);
    if (!filtered_) table_.setFiltered(false);
    table_.first();
    table_.refresh();
  }

 private:
  TDbTable& table_;
  QString filter_;
  bool filtered_;
  bool done_ = false;
};

}  // namespace

void addArchiveSheets(TDbTable& table, TXlsWorkbook& workbook, ArchiveKind kind) {
  table.setFilter(archiveFilter(kind));
  table.refresh();
  const QString name = kSheetPrefix + archiveCaption(kind) + QChar(')');
  TXlsWorksheet* sheet = &addSheet(workbook, name);
  table.first();
  QStringList fields;
  for (const Column& c : kColumns) fields << QString::fromLatin1(c.field);

  // The rows in the table's order, read a batch at a time in one pass each.
  const int n = table.recordCount();
  int row = 0;
  int part = 1;
  std::vector<TDbTable::Bookmark> batch;
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  std::vector<QChar> text;
  for (int first = 0; first < n; first += kBatchRows) {
    batch.clear();
    for (int i = first; i < std::min(n, first + kBatchRows); ++i) batch.push_back(table.bookmarkAtRow(i));
    table.fieldTextsAt(batch, fields, [&](std::size_t, int column, std::optional<std::string_view> value) {
      if (column == 0) {
        if (row == kMaxRowsPerSheet) {
          sheet = &addSheet(workbook, name + QChar(' ') + QString::number(++part));
          row = 0;
        }
        ++row;
      }
      // A blank field stays an empty cell: written as a blank with the cell format.
      TXlsRange cell = sheet->GetRange(column, row, column, row);
      if (!value) return;
      if (column == 0) {
        cell.SetValue(numberValue(*value));
        return;
      }
      text.resize(value->size());
      const QChar* end = utf8.appendToBuffer(text.data(), QByteArrayView(value->data(), qsizetype(value->size())));
      cell.setText(QStringView(text.data(), end - text.data()));
    });
  }
}

void fillArchiveWorkbook(TDbTable& table, TXlsWorkbook& workbook, const ArchiveSet& visibleArchives) {
  FilterGuard guard(table);
  if (!table.filtered()) table.setFiltered(true);
  for (ArchiveKind kind : kArchiveKinds)
    if (visibleArchives[archiveNumber(kind)]) addArchiveSheets(table, workbook, kind);
  guard.restore();
}

void exportArchivesToFile(TDbTable& table, const ArchiveSet& visibleArchives, const QString& fileName) {
  TXlsWorkbook workbook;
  fillArchiveWorkbook(table, workbook, visibleArchives);
  TBiff8Writer writer;
  writer.Save(workbook, fileName);
}

ArchiveSet archivesWithRows(TDbTable& table) {
  FilterGuard guard(table);
  if (!table.filtered()) table.setFiltered(true);
  ArchiveSet result{};
  for (ArchiveKind kind : kArchiveKinds) {
    table.setFilter(archiveFilter(kind));
    table.refresh();
    result[archiveNumber(kind)] = !table.isEmpty();
  }
  guard.restore();
  return result;
}

QString excelExportCaption() { return QStringLiteral("Экспорт в Excel"); }
QString excelExportDialogFilter() { return QStringLiteral("Книга Excel|*.xls"); }
QString excelExportDefaultSuffix() { return QStringLiteral(".xls"); }

QString excelExportSuccessText(const QString& fileName) {
  return QStringLiteral("Экспорт в Excel в файл ") + QFileInfo(fileName).fileName() + QStringLiteral(" завершен успешно.");
}

}  // namespace hv
