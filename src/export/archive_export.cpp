#include "export/archive_export.h"

#include <QFileInfo>

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
constexpr int kColumnCount = sizeof(kColumns) / sizeof(kColumns[0]);

// A numeric field's value as it stands in the file, however wide the field:
// a whole number as such, anything else with its decimals.
Value numberValue(QStringView text) {
  const QByteArray digits = text.toLatin1();
  const std::int64_t milli = store::parseDecimalMilli(std::string_view(digits.constData(), size_t(digits.size())));
  if (milli % 1000 == 0 && milli / 1000 >= INT32_MIN && milli / 1000 <= INT32_MAX)
    return static_cast<std::int32_t>(milli / 1000);
  return static_cast<double>(milli) / 1000.0;
}

TXlsWorksheet& addSheet(TXlsWorkbook& workbook, const QString& name) {
  TXlsWorksheet& sheet = workbook.AddSheet();
  sheet.SetName(name);
  for (int c = 0; c < kColumnCount; ++c) sheet.GetRange(c, 0, c, 0).SetValue(QString::fromUtf8(kColumns[c].title));
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

const std::array<ExportArchive, 3>& exportArchiveList() {
  static const std::array<ExportArchive, 3> list = {{
      {QStringLiteral("Древесные"), QStringLiteral("N_ARC=0")},
      {QStringLiteral("Бетонные"), QStringLiteral("N_ARC=1")},
      {QStringLiteral("Сыпучие"), QStringLiteral("N_ARC=2")},
  }};
  return list;
}

void addArchiveSheets(TDbTable& table, TXlsWorkbook& workbook, const QString& title, const QString& filter) {
  table.setFilter(filter);
  table.refresh();
  const QString name = kSheetPrefix + title + QChar(')');
  TXlsWorksheet* sheet = &addSheet(workbook, name);
  table.first();
  QString fields[kColumnCount];
  for (int c = 0; c < kColumnCount; ++c) fields[c] = QString::fromLatin1(kColumns[c].field);

  const int n = table.recordCount();
  int row = 0;
  int part = 1;
  for (int i = 1; i <= n && !table.eof(); ++i) {
    if (row == kMaxRowsPerSheet) {
      sheet = &addSheet(workbook, name + QChar(' ') + QString::number(++part));
      row = 0;
    }
    ++row;
    TXlsRange number = sheet->GetRange(0, row, 0, row);
    if (std::optional<QString> n = table.fieldText(fields[0])) number.SetValue(numberValue(*n));
    for (int c = 1; c < kColumnCount; ++c) {
      TXlsRange cell = sheet->GetRange(c, row, c, row);
      // A blank field stays an empty cell: written as a blank with the cell format.
      if (std::optional<QString> text = table.fieldText(fields[c]); text && !text->isEmpty()) cell.SetValue(*text);
    }
    table.next();
  }
}

void fillArchiveWorkbook(TDbTable& table, TXlsWorkbook& workbook, const ArchiveSet& visibleArchives) {
  FilterGuard guard(table);
  if (!table.filtered()) table.setFiltered(true);
  const auto& archives = exportArchiveList();
  for (std::size_t k = 0; k < archives.size(); ++k)
    if (visibleArchives[k]) addArchiveSheets(table, workbook, archives[k].title, archives[k].filter);
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
  const auto& archives = exportArchiveList();
  for (std::size_t k = 0; k < archives.size(); ++k) {
    table.setFilter(archives[k].filter);
    table.refresh();
    result[k] = !table.isEmpty();
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
