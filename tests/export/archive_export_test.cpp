// The archive export over a real measurement table.
#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>

#include "export/archive_export.h"
#include "export/workbook_writers.h"
#include "export_test_support.h"
#include "platform/error.h"
#include "store/db_table.h"
#include "support/measurement_table.h"
#include "support/test_support.h"

namespace {

// A row: N, N_ARC, then DATE, TIME, W, W_MIN, W_MAX, MATERIAL, N_IND, COMMENT
// (missing or empty ones stay blank).
struct Row {
  Row(int n, int arc, QStringList texts = {}) : n(n), arc(arc), texts(std::move(texts)) {}
  int n;
  int arc;
  QStringList texts;
};

QString tableWith(const std::vector<Row>& rows, const QString& name = QStringLiteral("t.db")) {
  const QString path = hv::test::testPath(name);
  QList<hv::test::Row> written;
  for (const Row& r : rows) {
    auto at = [&](int i) { return r.texts.value(i); };
    written.append({r.n, r.arc, at(0), at(1), at(2), at(3), at(4), at(5), at(6), at(7)});
  }
  hv::test::writeTable(path, written);
  return path;
}

void openFiltered(hv::TDbTable& t, const QString& path, const QString& filter) {
  t.setFileName(path);
  t.open();
  t.setFiltered(true);
  t.setFilter(filter);
  t.refresh();
}

hv::TXlsRange cell(const hv::TXlsWorksheet& sheet, int row, int column) {
  for (const auto& r : sheet.Ranges())
    if (r.top() == row && r.left() == column) return r;
  ADD_FAILURE() << "no cell " << row << "," << column;
  return {};
}

QString text(const hv::TXlsWorksheet& sheet, int row, int column) {
  return hv::valueText(cell(sheet, row, column).getValue());
}

const QStringList kTitles = {QStringLiteral("N"),       QStringLiteral("Дата"),    QStringLiteral("Время"),
                             QStringLiteral("W, %"),    QStringLiteral("Wmin, %"), QStringLiteral("Wmax, %"),
                             QStringLiteral("Материал"), QStringLiteral("№ индивид. зависимости"),
                             QStringLiteral("Примечание")};

TEST(ArchiveExport, OnlyConcreteRowsGiveOneSheetAndTheTableIsPutBack) {
  const QString path = tableWith({
      {1, 1, {"01.02.2026", "10:00:00", "12,5", "", "", "Бетон тяжёлый", "", "ком"}},
      {2, 1, {"01.02.2026", "10:05:00", "", "3,0", "4,5", "Ель", "7", ""}},
      {3, 1, {"02.02.2026", "11:00:00", "9,9"}},
  });
  hv::TDbTable table;
  openFiltered(table, path, QStringLiteral("N_ARC=1"));
  table.moveToRow(2);
  const hv::ArchiveSet archives = hv::archivesWithRows(table);
  EXPECT_EQ(archives, (hv::ArchiveSet{false, true, false}));
  EXPECT_EQ(table.filter(), QStringLiteral("N_ARC=1"));

  hv::TXlsWorkbook book;
  hv::fillArchiveWorkbook(table, book, archives);
  EXPECT_EQ(table.filter(), QStringLiteral("N_ARC=1"));
  EXPECT_EQ(table.rowIndex(), 0);
  ASSERT_EQ(book.SheetCount(), 1);
  const auto& sheet = book.Sheets(0);
  EXPECT_EQ(sheet.Name(), QStringLiteral("Hygrovan-RX3 (Бетонные)"));
  for (int c = 0; c < 9; ++c) EXPECT_EQ(text(sheet, 0, c), kTitles[c]);
  EXPECT_EQ(sheet.UsedArea().lastRow, 3);
  EXPECT_EQ(sheet.UsedArea().lastColumn, 8);
  EXPECT_EQ(sheet.Ranges().size(), 4u * 9u);
  // Column A holds numbers, the rest texts exactly as the table gives them.
  EXPECT_EQ(std::get<std::int32_t>(cell(sheet, 2, 0).getValue()), 2);
  EXPECT_EQ(text(sheet, 1, 3), QStringLiteral("12,5"));
  EXPECT_EQ(text(sheet, 1, 6), QStringLiteral("Бетон тяжёлый"));
  EXPECT_EQ(text(sheet, 2, 7), QStringLiteral("7"));
  EXPECT_TRUE(hv::isEmptyValue(cell(sheet, 2, 3).getValue()));

  // The file holds exactly this workbook, blanks as blank cells.
  const QString out = hv::test::testPath(QStringLiteral("out.xls"));
  table.moveToRow(1);
  hv::exportArchivesToFile(table, archives, out);
  EXPECT_EQ(table.rowIndex(), 0);
  const QJsonObject read = hv::test::readBack(out);
  ASSERT_FALSE(read.isEmpty());
  hv::test::expectReadBackMatches(read, book, hv::TBiff8Writer().streamBytes(book));
  EXPECT_EQ(hv::excelExportSuccessText(out), QStringLiteral("Экспорт в Excel в файл out.xls завершен успешно."));
}

TEST(ArchiveExport, SheetsFollowTheArchivesInOrderAndRowsTheRecordOrder) {
  const QString path = tableWith({{10, 2, {"", "", "1,0"}}, {11, 0, {"", "", "2,0"}}, {12, 0, {"", "", "3,0"}}, {13, 2, {"", "", "4,0"}}});
  hv::TDbTable table;
  openFiltered(table, path, QStringLiteral("N_ARC=2"));

  // The concrete tab still shows although its archive has no rows left.
  hv::TXlsWorkbook book;
  hv::fillArchiveWorkbook(table, book, {true, true, true});
  ASSERT_EQ(book.SheetCount(), 3);
  EXPECT_EQ(book.Sheets(0).Name(), QStringLiteral("Hygrovan-RX3 (Древесные)"));
  EXPECT_EQ(book.Sheets(1).Name(), QStringLiteral("Hygrovan-RX3 (Бетонные)"));
  EXPECT_EQ(book.Sheets(2).Name(), QStringLiteral("Hygrovan-RX3 (Сыпучие)"));
  EXPECT_EQ(text(book.Sheets(0), 1, 0), QStringLiteral("11"));
  EXPECT_EQ(text(book.Sheets(0), 2, 0), QStringLiteral("12"));
  EXPECT_EQ(book.Sheets(1).UsedArea().lastRow, 0);  // the title row only
  EXPECT_EQ(text(book.Sheets(2), 1, 3), QStringLiteral("1,0"));
  EXPECT_EQ(text(book.Sheets(2), 2, 3), QStringLiteral("4,0"));
  EXPECT_EQ(table.filter(), QStringLiteral("N_ARC=2"));

  const QString out = hv::test::testPath(QStringLiteral("three.xls"));
  hv::exportArchivesToFile(table, {true, true, true}, out);
  const QJsonObject read = hv::test::readBack(out);
  ASSERT_FALSE(read.isEmpty());
  hv::test::expectReadBackMatches(read, book, hv::TBiff8Writer().streamBytes(book));

  // No tab visible: no sheet, and still a complete file.
  hv::TXlsWorkbook none;
  hv::fillArchiveWorkbook(table, none, {false, false, false});
  EXPECT_EQ(none.SheetCount(), 0);
  hv::exportArchivesToFile(table, {false, false, false}, out);
  const QJsonObject readNone = hv::test::readBack(out);
  ASSERT_FALSE(readNone.isEmpty());
  hv::test::expectReadBackMatches(readNone, none, hv::TBiff8Writer().streamBytes(none));
}

// Texts are looked up by their bytes, dates and times by their value: every
// cell still holds exactly what the table holds, in every archive.
TEST(ArchiveExport, RepeatedAndOddTextsStayAsTheTableHasThem) {
  const QStringList dates = {"01.02.2026", "31.12.2155", "01.01.1900", "31.12.1899", "01.01.2156",
                             "00.00.2000", "32.01.2020", "01.13.2020", "1.2.2020",   "01-02-2026",
                             "02.01.2026", "01.02.2025"};
  const QStringList times = {"10:00:00", "23:59:59", "00:00:00", "24:00:00", "12:60:00", "12:00:60", "12:00", "ab:cd:ef",
                             "00:10:00", "10:00:01"};
  const QStringList shortTexts = {"12,5", "7", "99,9", "Ель"};
  const QStringList longTexts = {"Бетон тяжёлый", "Бетон тяжёлый 2", "очень длинное примечание А",
                                 "очень длинное примечание Б", "01.02.2026", "12,5"};
  std::vector<Row> rows;
  for (int i = 0; i < 60; ++i)
    rows.push_back({i, i % 3,
                    {dates[i % dates.size()], times[i % times.size()], shortTexts[i % shortTexts.size()], "",
                     shortTexts[(i + 1) % shortTexts.size()], longTexts[i % longTexts.size()], QString::number(i % 11),
                     longTexts[(i + 3) % longTexts.size()]}});
  const QString path = tableWith(rows);
  hv::TDbTable table;
  openFiltered(table, path, QStringLiteral("N_ARC=0"));
  hv::TXlsWorkbook book;
  hv::fillArchiveWorkbook(table, book, {true, true, true});
  ASSERT_EQ(book.SheetCount(), 3);
  for (int i = 0; i < 60; ++i) {
    const auto& sheet = book.Sheets(i % 3);
    const int row = 1 + i / 3;
    const QStringList& want = rows[std::size_t(i)].texts;
    for (int c = 1; c < 9; ++c)
      EXPECT_EQ(text(sheet, row, c), want.value(c - 1)) << i << " " << c;
  }
}

TEST(ArchiveExport, AFailedSaveStillPutsTheFilterBack) {
  const QString path = tableWith({{1, 0}, {2, 0}, {3, 1}});
  hv::TDbTable table;
  openFiltered(table, path, QStringLiteral("N_ARC=1"));
  try {
    hv::exportArchivesToFile(table, {true, true, false}, hv::test::testPath(QStringLiteral("no/such/dir/x.xls")));
    FAIL() << "saved";
  } catch (const hv::Error& e) {
    EXPECT_EQ(hv::defaultErrorReportText(e.text()).split('\n')[0], QStringLiteral("StgCreateDocFile error 2"));
  }
  EXPECT_EQ(table.filter(), QStringLiteral("N_ARC=1"));
  EXPECT_EQ(table.rowIndex(), 0);
  EXPECT_EQ(table.recordCount(), 1);
}

TEST(ArchiveExport, ATableCutShortWhileReadStopsTheExportWithItsError) {
  // Rows are read on one thread and put into sheets on another; the error of
  // the reading one must come out, with nothing left running.
  std::vector<Row> rows;
  for (int i = 0; i < 9000; ++i) rows.push_back({i, i % 3});
  const QString path = tableWith(rows);
  hv::TDbTable table;
  openFiltered(table, path, QStringLiteral("N_ARC=0"));
  ASSERT_TRUE(QFile::resize(path, QFileInfo(path).size() / 2));
  hv::TXlsWorkbook book;
  EXPECT_THROW(hv::fillArchiveWorkbook(table, book, {true, true, true}), hv::Error);
  EXPECT_THROW(hv::exportArchivesToFile(table, {true, true, true}, hv::test::testPath(QStringLiteral("x.xls"))),
               hv::Error);
  EXPECT_FALSE(QFileInfo::exists(hv::test::testPath(QStringLiteral("x.xls"))));
}

// The table written with its N field widened to `width` characters (with
// `decimals`) holding these texts.
QString tableWithWideN(const QStringList& numbers, int width = 6, int decimals = 0) {
  std::vector<Row> rows;
  for (int i = 0; i < numbers.size(); ++i) rows.push_back({i, 0, {"01.02.2026", "10:00:00", "1,0"}});
  const QString path = tableWith(rows, QStringLiteral("wide.db"));
  const QByteArray file = hv::test::readFile(path);
  const int headerLength = hv::test::u16At(file, 8), recordLength = hv::test::u16At(file, 10);
  QByteArray out = file.left(headerLength);
  out[10] = char(recordLength + width - 4);  // both record lengths stay below 256
  out[32 + 16] = char(width);                // N is the first field
  out[32 + 17] = char(decimals);
  for (int i = 0; i < numbers.size(); ++i) {
    const QByteArray record = file.mid(headerLength + i * recordLength, recordLength);
    out += record.left(1) + numbers[i].toLatin1().rightJustified(width) + record.mid(5);
  }
  hv::test::writeFile(path, out + '\x1A');
  return path;
}

TEST(ArchiveExport, NIsTheFieldsValueHoweverWideAndABlankNIsABlankCell) {
  const QString path = tableWithWideN({"123456", "", "40000", "-12"});
  hv::TDbTable table;
  openFiltered(table, path, QStringLiteral("N_ARC=0"));
  const QString out = hv::test::testPath(QStringLiteral("wide.xls"));
  hv::exportArchivesToFile(table, {true, false, false}, out);
  const auto py = hv::test::runPython(QStringLiteral("import sys, xlrd\n"
                                                     "sh = xlrd.open_workbook(sys.argv[1], formatting_info=True).sheet_by_index(0)\n"
                                                     "print([(sh.cell_type(r, 0), sh.cell_value(r, 0)) for r in range(1, sh.nrows)])"),
                                      {out});
  ASSERT_EQ(py.exitCode, 0) << py.err.toStdString();
  EXPECT_EQ(QString::fromUtf8(py.out).trimmed(), QStringLiteral("[(2, 123456.0), (6, ''), (2, 40000.0), (2, -12.0)]"));
}

TEST(ArchiveExport, AWideNIsANumberOnlyWhereADoubleHoldsItExactlyElseItsText) {
  const QString path = tableWithWideN({"1234567890123456", "99999999999999999999", "1.123456789012345", "****",
                                       "12345678901234567", "-7", "0.250000000000000"},
                                      20, 15);
  hv::TDbTable table;
  openFiltered(table, path, QStringLiteral("N_ARC=0"));
  hv::TXlsWorkbook book;
  hv::fillArchiveWorkbook(table, book, {true, false, false});
  const auto value = [&](int row) { return cell(book.Sheets(0), row, 0).getValue(); };
  EXPECT_EQ(value(1), hv::Value(1234567890123456.0));
  EXPECT_EQ(value(2), hv::Value(QStringLiteral("99999999999999999999")));
  EXPECT_EQ(value(3), hv::Value(1.123456789012345));
  EXPECT_EQ(value(4), hv::Value(QStringLiteral("****")));
  EXPECT_EQ(value(5), hv::Value(QStringLiteral("12345678901234567")));
  EXPECT_EQ(value(6), hv::Value(std::int32_t(-7)));
  EXPECT_EQ(value(7), hv::Value(0.25));
}

// More rows than a sheet holds go on in "… 2" with their own title row; the
// command-line tool writes the same workbook.
TEST(ArchiveExport, LargeArchiveContinuesOnFurtherSheetsAndCliWritesTheSame) {
  std::vector<Row> rows;
  const int wood = hv::kMaxRowsPerSheet + 2;
  rows.reserve(wood + 1);
  // N holds four digits; the comment tells the rows apart.
  for (int i = 1; i <= wood; ++i)
    rows.push_back({i % 10000, 0, {"", "", QStringLiteral("%1,0").arg(i % 100), "", "", "", "", QString::number(i)}});
  rows.push_back({1, 1, {"", "", "", "", "", QStringLiteral("Песок")}});
  const QString path = tableWith(rows);

  hv::TDbTable table;
  openFiltered(table, path, QStringLiteral("N_ARC=0"));
  hv::TXlsWorkbook book;
  hv::fillArchiveWorkbook(table, book, hv::archivesWithRows(table));
  table.close();
  ASSERT_EQ(book.SheetCount(), 3);
  EXPECT_EQ(book.Sheets(0).Name(), QStringLiteral("Hygrovan-RX3 (Древесные)"));
  EXPECT_EQ(book.Sheets(1).Name(), QStringLiteral("Hygrovan-RX3 (Древесные) 2"));
  EXPECT_EQ(book.Sheets(2).Name(), QStringLiteral("Hygrovan-RX3 (Бетонные)"));
  EXPECT_EQ(book.Sheets(0).UsedArea().lastRow, 65535);
  EXPECT_EQ(book.Sheets(1).UsedArea().lastRow, 2);
  EXPECT_EQ(text(book.Sheets(1), 0, 8), QStringLiteral("Примечание"));
  EXPECT_EQ(text(book.Sheets(0), 65535, 8), QString::number(hv::kMaxRowsPerSheet));
  EXPECT_EQ(text(book.Sheets(1), 1, 8), QString::number(hv::kMaxRowsPerSheet + 1));
  EXPECT_EQ(text(book.Sheets(1), 2, 8), QString::number(wood));
  // W repeats a hundred texts, each met first in the first rows; the comment never repeats.
  EXPECT_EQ(text(book.Sheets(0), 5, 3), QStringLiteral("5,0"));
  EXPECT_EQ(text(book.Sheets(0), 5, 8), QStringLiteral("5"));
  EXPECT_EQ(text(book.Sheets(0), 65535, 3), QStringLiteral("35,0"));
  EXPECT_EQ(text(book.Sheets(1), 2, 3), QStringLiteral("%1,0").arg(wood % 100));
  EXPECT_EQ(text(book.Sheets(1), 2, 0), QStringLiteral("5537"));

  const QString out = hv::test::testPath(QStringLiteral("cli.xls"));
  const auto r = hv::test::runProcess(hv::test::toolPath(QStringLiteral("hygrovan-cli")),
                                      {QStringLiteral("export"), path, out}, 120000);
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  EXPECT_EQ(QString::fromUtf8(r.out).trimmed(), QStringLiteral("Экспорт в Excel в файл cli.xls завершен успешно."));
  const char* script = R"PY(
import sys, xlrd
book = xlrd.open_workbook(sys.argv[1], formatting_info=True)
for sh in book.sheets():
    last = sh.nrows - 1
    print(sh.name, sh.nrows, sh.ncols, sh.cell_value(last, 0), sh.cell_value(last, 8), sh.cell_type(1, 3), sep="|")
)PY";
  const auto py = hv::test::runPython(QString::fromUtf8(script), {out});
  ASSERT_EQ(py.exitCode, 0) << py.err.toStdString();
  EXPECT_EQ(QString::fromUtf8(py.out),
            QStringLiteral("Hygrovan-RX3 (Древесные)|65536|9|5535.0|65535|1\n"
                           "Hygrovan-RX3 (Древесные) 2|3|9|5537.0|65537|1\n"
                           "Hygrovan-RX3 (Бетонные)|2|9|1.0||6\n"));
  EXPECT_EQ(hv::test::readFile(out).size() % 512, 0);

  const auto bad = hv::test::runProcess(hv::test::toolPath(QStringLiteral("hygrovan-cli")),
                                        {QStringLiteral("export"), path, hv::test::testPath(QStringLiteral("no/x.xls"))});
  EXPECT_EQ(bad.exitCode, 1);
  EXPECT_EQ(QString::fromUtf8(bad.err).trimmed().split(QChar('\n')).first(), QStringLiteral("StgCreateDocFile error 2"));
}

}  // namespace
