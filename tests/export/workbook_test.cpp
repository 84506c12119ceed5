#include <gtest/gtest.h>

#include <QStringList>

#include "export/cell_store.h"
#include "export/workbook.h"
#include "export/workbook_writers.h"

namespace {

using hv::TXlsWorkbook;

TEST(Workbook, DefaultsOfANewWorkbookAndSheet) {
  TXlsWorkbook book;
  EXPECT_EQ(book.AuthorName(), QStringLiteral("Lindora"));
  EXPECT_EQ(book.SheetCount(), 0);
  auto& sheet = book.AddSheet();
  EXPECT_EQ(sheet.UsedArea().firstColumn, -1);
  EXPECT_EQ(sheet.UsedArea().firstRow, -1);
  EXPECT_EQ(sheet.UsedArea().lastColumn, -1);
  EXPECT_EQ(sheet.UsedArea().lastRow, -1);
  EXPECT_EQ(sheet.MaxRangeHeight(), 0);
  EXPECT_EQ(sheet.PageSetup.PaperSize, 9);
  EXPECT_DOUBLE_EQ(sheet.PageSetup.LeftMargin, 2.0);
  EXPECT_DOUBLE_EQ(sheet.PageSetup.TopMargin, 2.5);
  EXPECT_TRUE(sheet.PageSetup.UseZoom);

  const hv::TXlsRange cell = sheet.GetRange(0, 0, 0, 0);
  EXPECT_EQ(cell.format().Font.name, QStringLiteral("Arial"));
  EXPECT_EQ(cell.format().Font.size, 10);
  EXPECT_EQ(cell.format().Font.charset, 1);
  EXPECT_EQ(cell.format().VerticalAlignment, 2);
  EXPECT_FALSE(cell.hasFormat());  // reading the defaults allocates nothing
  EXPECT_TRUE(hv::isEmptyValue(cell.getValue()));
}

TEST(Workbook, DefaultSheetNamesSkipTakenOnesWithoutRegardToCase) {
  TXlsWorkbook book;
  EXPECT_EQ(book.AddSheet().Name(), QStringLiteral("Sheet1"));
  EXPECT_EQ(book.AddSheet().Name(), QStringLiteral("Sheet2"));
  EXPECT_EQ(book.AddSheet().Name(), QStringLiteral("Sheet3"));

  TXlsWorkbook other;
  other.AddSheet().setName(QStringLiteral("SHEET2"));
  auto& second = other.AddSheet();
  EXPECT_EQ(second.Name(), QStringLiteral("Sheet3"));
  second.setName(QStringLiteral("sheet3"));
  EXPECT_EQ(other.AddSheet().Name(), QStringLiteral("Sheet4"));
  EXPECT_EQ(other.SheetIndex(&second), 1);
  EXPECT_EQ(second.SheetIndex(), 1);
  hv::TXlsWorksheet loose(nullptr);
  EXPECT_EQ(loose.SheetIndex(), -1);
  EXPECT_EQ(other.SheetIndex(&loose), -1);
}

TEST(Workbook, NamesAreCutThenTrimmed) {
  TXlsWorkbook book;
  auto& sheet = book.AddSheet();
  sheet.setName(QStringLiteral(" Name "));
  EXPECT_EQ(sheet.Name(), QStringLiteral("Name"));
  sheet.setName(QString(40, QChar('x')));
  EXPECT_EQ(sheet.Name(), QString(31, QChar('x')));
  // Cut first: the blanks at place 31 and beyond are gone, those before are trimmed.
  sheet.setName(QStringLiteral("\t") + QString(29, QChar('y')) + QStringLiteral("  zz"));
  EXPECT_EQ(sheet.Name(), QString(29, QChar('y')));
  sheet.setName(QStringLiteral("Hygrovan-RX3 (Древесные)"));
  EXPECT_EQ(sheet.Name().size(), 24);

  book.setAuthorName(QStringLiteral("\x01 Автор\r\n"));
  EXPECT_EQ(book.AuthorName(), QStringLiteral("Автор"));
  book.setAuthorName(QString(70, QChar('a')));
  EXPECT_EQ(book.AuthorName().size(), 66);
}

TEST(Workbook, TextValuesFoldCrLfAndReadWindows1251) {
  TXlsWorkbook book;
  auto cell = book.AddSheet().GetRange(1, 1, 1, 1);
  cell.setValue(QStringLiteral("a\r\nb"));
  EXPECT_EQ(std::get<QString>(cell.getValue()), QStringLiteral("a\nb"));
  cell.setValue(hv::Value(QStringLiteral("c\r\n\r\nd\re\n")));
  EXPECT_EQ(std::get<QString>(cell.getValue()), QStringLiteral("c\n\nd\re\n"));
  cell.setValue(hv::AnsiText{QByteArray("\xC1\xE5\xF2\xEE\xED\r\n\xB9")});
  EXPECT_EQ(std::get<QString>(cell.getValue()), QStringLiteral("Бетон\n№"));
  cell.setValue(hv::Value(std::int32_t(7)));
  EXPECT_EQ(std::get<std::int32_t>(cell.getValue()), 7);
}

TEST(Workbook, CellKindClassifiesValues) {
  TXlsWorkbook book;
  auto& sheet = book.AddSheet();
  auto kind = [&](const hv::Value& v) {
    auto r = sheet.GetRange(0, 0, 0, 0);
    r.setValue(v);
    return r.getCellKind();
  };
  using hv::CellKind;
  EXPECT_EQ(kind(std::uint8_t(1)), CellKind::Number);
  EXPECT_EQ(kind(std::int16_t(-1)), CellKind::Number);
  EXPECT_EQ(kind(std::int32_t(1)), CellKind::Number);
  EXPECT_EQ(kind(1.5f), CellKind::Number);
  EXPECT_EQ(kind(2.5), CellKind::Number);
  EXPECT_EQ(kind(hv::Currency{12345}), CellKind::Number);
  EXPECT_EQ(kind(hv::Value()), CellKind::Text);
  EXPECT_EQ(kind(hv::OleDate{45000}), CellKind::Text);
  EXPECT_EQ(kind(true), CellKind::Text);
  EXPECT_EQ(kind(QStringLiteral("12")), CellKind::Text);
  auto r = sheet.GetRange(0, 0, 0, 0);
  r.format().Formula = QStringLiteral("=1+1");
  EXPECT_EQ(r.getCellKind(), CellKind::Formula);

  EXPECT_DOUBLE_EQ(hv::numericValue(hv::Currency{12345}), 1.2345);
  EXPECT_EQ(hv::valueText(true), QStringLiteral("True"));
  EXPECT_EQ(hv::valueText(hv::OleDate{2.5}), QStringLiteral("01.01.1900 12:00:00"));
}

TEST(Workbook, GetRangeReturnsTheSameRangeForTheSameRectangle) {
  TXlsWorkbook book;
  auto& sheet = book.AddSheet();
  auto a = sheet.GetRange(2, 3, 4, 5);
  a.setValue(QStringLiteral("kept"));
  sheet.GetRange(0, 0, 0, 0);
  auto again = sheet.GetRange(2, 3, 4, 5);
  EXPECT_EQ(a, again);
  EXPECT_EQ(std::get<QString>(again.getValue()), QStringLiteral("kept"));
  EXPECT_EQ(sheet.Ranges().size(), 2u);
  EXPECT_EQ(sheet.MaxRangeHeight(), 3);
}

TEST(Workbook, GetRangeRemovesOverlappingRangesAndTheirValues) {
  TXlsWorkbook book;
  auto& sheet = book.AddSheet();
  auto tall = sheet.GetRange(0, 0, 3, 9);  // 10 rows high
  tall.setValue(QStringLiteral("tall"));
  tall.format().Font.bold = true;
  auto beside = sheet.GetRange(5, 2, 5, 2);
  beside.setValue(QStringLiteral("beside"));
  EXPECT_EQ(sheet.MaxRangeHeight(), 10);

  // Overlaps the tall block in its last row only: found despite its top row 0.
  auto small = sheet.GetRange(3, 9, 4, 9);
  EXPECT_TRUE(hv::isEmptyValue(small.getValue()));
  ASSERT_EQ(sheet.Ranges().size(), 2u);
  EXPECT_EQ(sheet.Ranges()[0].left(), 5);  // the untouched one
  EXPECT_EQ(sheet.Ranges()[1], small);
  EXPECT_EQ(sheet.MaxRangeHeight(), 1);  // recomputed after the removal
  // A handle on the removed range reads as empty and refuses writes; the
  // moved one still reaches its range.
  EXPECT_TRUE(hv::isEmptyValue(tall.getValue()));
  EXPECT_FALSE(tall.hasFormat());
  EXPECT_THROW(tall.setValue(std::int32_t(2)), std::logic_error);
  EXPECT_EQ(std::get<QString>(beside.getValue()), QStringLiteral("beside"));
  // The used area never shrinks.
  EXPECT_EQ(sheet.UsedArea().firstRow, 0);
  EXPECT_EQ(sheet.UsedArea().lastRow, 9);
  EXPECT_EQ(sheet.UsedArea().lastColumn, 5);

  // A different shape on the same place replaces the range.
  sheet.GetRange(3, 9, 4, 9).setValue(std::int32_t(1));
  auto narrower = sheet.GetRange(4, 9, 4, 9);
  EXPECT_TRUE(hv::isEmptyValue(narrower.getValue()));
  EXPECT_EQ(sheet.Ranges().size(), 2u);
}

TEST(Workbook, RangesStayOrderedByTopRowThenCreation) {
  TXlsWorkbook book;
  auto& sheet = book.AddSheet();
  sheet.GetRange(5, 4, 5, 4);
  sheet.GetRange(1, 4, 1, 4);
  sheet.GetRange(0, 7, 0, 8);
  sheet.GetRange(3, 1, 3, 1);
  sheet.GetRange(2, 4, 2, 4);
  sheet.GetRange(9, 0, 9, 0);
  std::vector<std::pair<int, int>> order;
  for (const auto& r : sheet.Ranges()) order.emplace_back(r.top(), r.left());
  const std::vector<std::pair<int, int>> expected = {{0, 9}, {1, 3}, {4, 5}, {4, 1}, {4, 2}, {7, 0}};
  EXPECT_EQ(order, expected);
  EXPECT_EQ(sheet.MaxRangeHeight(), 2);
  EXPECT_EQ(sheet.UsedArea().firstColumn, 0);
  EXPECT_EQ(sheet.UsedArea().lastColumn, 9);
  EXPECT_EQ(sheet.UsedArea().lastRow, 8);
}

TEST(Workbook, ExtremeCoordinatesDoNotOverflow) {
  TXlsWorkbook book;
  auto& sheet = book.AddSheet();
  sheet.GetRange(0, INT32_MIN, 0, INT32_MAX);
  EXPECT_EQ(sheet.MaxRangeHeight(), INT32_MAX);
  auto r = sheet.GetRange(0, INT32_MIN, 0, INT32_MIN);
  EXPECT_EQ(sheet.Ranges().size(), 1u);
  EXPECT_EQ(sheet.Ranges()[0], r);
}

}  // namespace

// Random rectangles, values and formats against a plain list that follows
// the same rules: the compact storage must give back every range as set.
TEST(Workbook, ManyChangesKeepEveryRangeAsSet) {
  struct Plain {
    int left, top, right, bottom;
    hv::Value value;
    bool bold;
  };
  std::vector<Plain> plain;
  TXlsWorkbook book;
  auto& sheet = book.AddSheet();
  std::uint32_t seed = 7;
  const auto rnd = [&seed](int m) {
    seed = seed * 1103515245u + 12345u;
    return int((seed >> 8) % unsigned(m));
  };
  for (int step = 0; step < 4000; ++step) {
    const int left = rnd(12), top = rnd(30) + (step > 2000 ? 300 : 0);  // later ones mostly appended
    const int right = left + (rnd(6) == 0 ? rnd(3) : 0), bottom = top + (rnd(8) == 0 ? rnd(4) : 0);
    auto range = sheet.GetRange(left, top, right, bottom);
    std::size_t at = 0;
    bool found = false;
    for (std::size_t i = 0; i < plain.size();) {
      const Plain& p = plain[i];
      if (p.left == left && p.top == top && p.right == right && p.bottom == bottom) {
        at = i;
        found = true;
        break;
      }
      if (p.left <= right && p.right >= left && p.top <= bottom && p.bottom >= top) {
        plain.erase(plain.begin() + std::ptrdiff_t(i));
        continue;
      }
      if (p.top <= top) at = i + 1;
      ++i;
    }
    if (!found) plain.insert(plain.begin() + std::ptrdiff_t(at), Plain{left, top, right, bottom, {}, false});
    Plain& p = plain[at];
    switch (rnd(6)) {
      case 0: p.value = std::int32_t(rnd(1 << 30) - (1 << 29)); break;
      case 1: p.value = QStringLiteral("т%1").arg(rnd(50)); break;
      case 2: p.value = double(rnd(1000)) / 8; break;
      case 3: p.value = hv::Value(); break;
      case 4: p.bold = true; range.format().Font.bold = true; continue;
      default: continue;
    }
    range.setValue(p.value);
  }
  ASSERT_EQ(sheet.Ranges().size(), plain.size());
  std::size_t i = 0;
  for (const auto& r : sheet.Ranges()) {
    const Plain& p = plain[i++];
    ASSERT_EQ((std::vector<int>{r.left(), r.top(), r.right(), r.bottom()}), (std::vector<int>{p.left, p.top, p.right, p.bottom}));
    EXPECT_EQ(r.getValue(), p.value) << i;
    EXPECT_EQ(r.format().Font.bold, p.bold) << i;
  }
}

// Filling cell by cell without handles gives the sheet and the bytes that
// GetRange and setValue give, in order and out of it.
TEST(Workbook, QuickCellFillingMatchesGetRange) {
  TXlsWorkbook quick, slow;
  auto& q = quick.AddSheet();
  auto& s = slow.AddSheet();
  const std::uint32_t none = hv::TXlsWorksheet::kNoText;
  const auto textsOf = [&](const QStringList& texts) {
    std::vector<std::uint32_t> numbers;
    for (const QString& t : texts) numbers.push_back(t.isNull() ? none : q.textNumber(t));
    return numbers;
  };
  // Row by row; a row of texts after its number, one with a blank first cell;
  // then cells that do not go last, and a text with CR LF.
  const std::vector<std::pair<int, QStringList>> rows = {
      {1, {"a", QString(), "b\r\nc"}}, {2, {QString(), QString(), "a"}}, {4, {"d", "a", "e"}}};
  for (const auto& [row, texts] : rows) {
    if (row == 2) {
      q.addCell(0, row);
      s.GetRange(0, row, 0, row);
    } else {
      q.setCellValue(0, row, std::int32_t(row * 10));
      s.GetRange(0, row, 0, row).setValue(std::int32_t(row * 10));
    }
    const std::vector<std::uint32_t> numbers = textsOf(texts);
    q.setCellTexts(row, 1, numbers.data(), std::uint32_t(numbers.size()));
    for (int k = 0; k < int(texts.size()); ++k) {
      auto r = s.GetRange(1 + k, row, 1 + k, row);
      if (!texts[k].isNull()) r.setValue(texts[k]);
    }
  }
  const std::vector<std::uint32_t> back = textsOf({"x", QString(), "y"});
  q.setCellTexts(3, 2, back.data(), 3);  // row 3 comes after row 4: placed, not appended
  q.setCellText(1, 4, q.textNumber(QStringLiteral("z")));  // replaces a cell
  q.setCellValue(9, 4, QStringLiteral("t"));
  s.GetRange(2, 3, 2, 3).setValue(QStringLiteral("x"));
  s.GetRange(3, 3, 3, 3);
  s.GetRange(4, 3, 4, 3).setValue(QStringLiteral("y"));
  s.GetRange(1, 4, 1, 4).setValue(QStringLiteral("z"));
  s.GetRange(9, 4, 9, 4).setValue(QStringLiteral("t"));

  ASSERT_EQ(q.Ranges().size(), s.Ranges().size());
  for (std::size_t i = 0; i < q.Ranges().size(); ++i) {
    EXPECT_EQ(q.Ranges()[i].left(), s.Ranges()[i].left()) << i;
    EXPECT_EQ(q.Ranges()[i].top(), s.Ranges()[i].top()) << i;
    EXPECT_EQ(q.Ranges()[i].getValue(), s.Ranges()[i].getValue()) << i;
  }
  EXPECT_EQ(std::get<QString>(q.Ranges()[3].getValue()), QStringLiteral("b\nc"));
  EXPECT_EQ(q.UsedArea().lastColumn, 9);
  EXPECT_EQ(q.UsedArea().lastRow, 4);
  EXPECT_EQ(hv::TBiff8Writer().streamBytes(quick), hv::TBiff8Writer().streamBytes(slow));
}

// The chunked array behind the cells, with chunks of four elements: inserting
// and erasing across chunk borders keeps the order a vector keeps.
TEST(Workbook, ChunkedArrayInsertsAndErasesAcrossChunks) {
  hv::ChunkedArray<int, 2> chunked;
  std::vector<int> plain;
  std::uint32_t seed = 3;
  const auto rnd = [&seed](std::size_t m) {
    seed = seed * 1103515245u + 12345u;
    return std::size_t((seed >> 8) % m);
  };
  for (int step = 0; step < 3000; ++step) {
    const int op = int(rnd(8));
    if (op < 3 || plain.empty()) {
      chunked.pushBack(step);
      plain.push_back(step);
    } else if (op < 5) {
      const std::size_t at = rnd(plain.size() + 1);
      chunked.insert(at, step);
      plain.insert(plain.begin() + std::ptrdiff_t(at), step);
    } else if (op < 7) {
      const std::size_t at = rnd(plain.size());
      chunked.erase(at);
      plain.erase(plain.begin() + std::ptrdiff_t(at));
    } else {
      const int more[] = {step, step + 1, step + 2, step + 3, step + 4, step + 5};
      chunked.append(more, 6);
      plain.insert(plain.end(), more, more + 6);
    }
    ASSERT_EQ(chunked.size(), plain.size());
  }
  for (std::size_t i = 0; i < plain.size(); ++i) ASSERT_EQ(chunked[i], plain[i]) << i;
}
