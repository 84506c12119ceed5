// Every workbook written here is read back by xlrd (sheets, cells, types) and
// its container by olefile.
#include <gtest/gtest.h>

#include <QJsonArray>

#include "export/workbook_writers.h"
#include "export_test_support.h"
#include "support/test_support.h"

namespace {

void saveAndCompare(const hv::TXlsWorkbook& book, const QString& name) {
  const QString path = hv::test::testPath(name);
  hv::TBiff8Writer writer;
  writer.Save(book, path);
  const QByteArray stream = hv::TBiff8Writer().streamBytes(book);
  const QJsonObject read = hv::test::readBack(path);
  ASSERT_FALSE(read.isEmpty());
  hv::test::expectReadBackMatches(read, book, stream);
}

TEST(ReadBack, WorkbookWithoutSheets) {
  hv::TXlsWorkbook book;
  saveAndCompare(book, QStringLiteral("empty.xls"));
}

TEST(ReadBack, OneSheetWithNumbersTextsAndBlanks) {
  hv::TXlsWorkbook book;
  auto& sheet = book.AddSheet();
  sheet.setName(QStringLiteral("Hygrovan-RX3 (Бетонные)"));
  const QStringList titles = {QStringLiteral("N"), QStringLiteral("Дата"), QStringLiteral("№ индивид. зависимости")};
  for (int c = 0; c < titles.size(); ++c) sheet.GetRange(c, 0, c, 0).setValue(titles[c]);
  sheet.GetRange(0, 1, 0, 1).setValue(hv::Value(std::int32_t(-17)));
  sheet.GetRange(1, 1, 1, 1).setValue(QStringLiteral("01.02.2026"));
  sheet.GetRange(2, 1, 2, 1);
  sheet.GetRange(0, 2, 0, 2).setValue(hv::Value(2.5));
  sheet.GetRange(1, 2, 1, 2).setValue(QStringLiteral("01.02.2026"));  // stored a second time
  sheet.GetRange(2, 2, 2, 2).setValue(hv::AnsiText{QByteArray("\xD1\xEE\xF1\xED\xE0")});
  saveAndCompare(book, QStringLiteral("one.xls"));
}

TEST(ReadBack, LongAndCyrillicTexts) {
  hv::TXlsWorkbook book;
  auto& sheet = book.AddSheet();
  QString cyrillic;
  for (char16_t c = 0x0401; c <= 0x045F; ++c) cyrillic += QChar(c);
  for (int r = 0; r < 40; ++r) {
    QString text;
    while (text.size() < 5000) text += cyrillic + QString::number(r);
    text.truncate(r % 2 ? 5000 : 4111 + r);
    sheet.GetRange(0, r, 0, r).setValue(text);
    sheet.GetRange(1, r, 1, r).setValue(cyrillic.left(r + 1));
  }
  book.AddSheet().setName(QStringLiteral("Пустой"));  // a sheet with no cells
  saveAndCompare(book, QStringLiteral("long.xls"));
}

// Three sheets of 65,535 measurements and a title row each; checked cell by
// cell in Python against the same rule that made them.
TEST(ReadBack, ThreeFullSheets) {
  hv::TXlsWorkbook book;
  const QString titles[3] = {QStringLiteral("Древесные"), QStringLiteral("Бетонные"), QStringLiteral("Сыпучие")};
  for (int s = 0; s < 3; ++s) {
    auto& sheet = book.AddSheet();
    sheet.setName(QStringLiteral("Hygrovan-RX3 (") + titles[s] + QChar(')'));
    for (int c = 0; c < 9; ++c) sheet.GetRange(c, 0, c, 0).setValue(QStringLiteral("Т%1").arg(c));
    for (int r = 1; r <= 65535; ++r) {
      sheet.GetRange(0, r, 0, r).setValue(hv::Value(std::int32_t(r + 100000 * s)));
      for (int c = 1; c < 9; ++c) {
        auto cell = sheet.GetRange(c, r, c, r);
        if ((r * 7 + c * 3 + s) % 13 != 0) cell.setValue(QStringLiteral("%1-%2ж").arg(r).arg(c));
      }
    }
  }
  const QString path = hv::test::testPath(QStringLiteral("full.xls"));
  hv::TBiff8Writer().Save(book, path);
  const char* script = R"PY(
import sys, xlrd, olefile
ole = olefile.OleFileIO(sys.argv[1])
assert ole.listdir() == [["Workbook"]]
ole.close()
# Without formatting the reader is faster; blanks then read as empty cells
# (their format is checked on the smaller workbooks).
book = xlrd.open_workbook(sys.argv[1])
names = ["Hygrovan-RX3 (Древесные)", "Hygrovan-RX3 (Бетонные)", "Hygrovan-RX3 (Сыпучие)"]
assert book.sheet_names() == names, book.sheet_names()
rows = range(1, 65536)
for s, sh in enumerate(book.sheets()):
    assert (sh.nrows, sh.ncols) == (65536, 9), (sh.nrows, sh.ncols)
    assert sh.row_values(0) == ["Т%d" % c for c in range(9)]
    assert sh.col_types(0, 1) == [xlrd.XL_CELL_NUMBER] * 65535
    assert sh.col_values(0, 1) == [float(r + 100000 * s) for r in rows], s
    for c in range(1, 9):
        blank = [(r * 7 + c * 3 + s) % 13 == 0 for r in rows]
        assert sh.col_types(c, 1) == [xlrd.XL_CELL_EMPTY if b else xlrd.XL_CELL_TEXT for b in blank], (s, c)
        assert sh.col_values(c, 1) == ["" if b else "%d-%dж" % (r, c) for r, b in zip(rows, blank)], (s, c)
print("ok")
)PY";
  const auto r = hv::test::runPython(QString::fromUtf8(script), {path}, 240000);
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
  EXPECT_EQ(r.out.trimmed(), QByteArray("ok"));
}

}  // namespace
