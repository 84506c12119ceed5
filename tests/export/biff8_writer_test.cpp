// The records of small workbooks, byte by byte, against bytes worked out by hand.
#include <gtest/gtest.h>

#include <QDir>
#include <atomic>

#include "export/biff8_types.h"
#include "export/workbook_writers.h"
#include "export_test_support.h"
#include "platform/error.h"
#include "support/test_support.h"

namespace {

using hv::test::hexBytes;
using hv::test::Record;
using hv::test::u16At;
using hv::test::u32At;

QByteArray record(const char* idAndLength, const char* data = "") { return hexBytes(idAndLength) + hexBytes(data); }

QByteArray utf16(const QString& s) {
  QByteArray b;
  for (QChar c : s) b.append(static_cast<char>(c.unicode() & 0xFF)).append(static_cast<char>(c.unicode() >> 8));
  return b;
}

QByteArray le16(unsigned v) { return QByteArray(1, static_cast<char>(v & 0xFF)) + QByteArray(1, static_cast<char>(v >> 8)); }

// The fixed part of the globals up to and including the FONT records.
QByteArray globalsHead(const char* tabId, int fonts) {
  QByteArray b;
  b += record("09 08 10 00", "00 06 05 00 BB 0D CC 07 00 00 00 00 00 06 00 00");
  b += record("E1 00 02 00", "E4 04");
  b += record("C1 00 02 00", "00 00");
  b += record("E2 00 00 00");
  b += record("5C 00 70 00", "07 00 01 4C 00 69 00 6E 00 64 00 6F 00 72 00 61 00") + QByteArray(112 - 17, ' ');
  b += record("42 00 02 00", "E4 04");
  b += record("61 01 02 00", "00 00");
  b += record("C0 01 00 00");
  b += hexBytes(tabId);
  b += record("9C 00 02 00", "0E 00");
  b += record("19 00 02 00", "00 00");
  b += record("12 00 02 00", "00 00");
  b += record("13 00 02 00", "00 00");
  b += record("AF 01 02 00", "00 00");
  b += record("BC 01 02 00", "00 00");
  b += record("3D 00 12 00", "68 01 1E 00 1E 1D 60 18 38 00 00 00 00 00 01 00 58 02");
  b += record("40 00 02 00", "00 00");
  b += record("8D 00 02 00", "00 00");
  b += record("22 00 02 00", "00 00");
  b += record("0E 00 02 00", "01 00");
  b += record("B7 01 02 00", "00 00");
  b += record("DA 00 02 00", "00 00");
  // Arial 10, colour 8 (black window text, then black), weight 100, charset 1.
  for (int i = 0; i < fonts; ++i)
    b += record("31 00 1A 00", "C8 00 00 00 08 00 64 00 00 00 00 00 01 00 05 01 41 00 72 00 69 00 61 00 6C 00");
  const std::pair<int, QString> formats[] = {
      {5, QStringLiteral(R"(#,##0"р.";\-#,##0"р.")")},
      {6, QStringLiteral(R"(#,##0"р.";[Red]\-#,##0"р.")")},
      {7, QStringLiteral(R"(#,##0.00"р.";\-#,##0.00"р.")")},
      {8, QStringLiteral(R"(#,##0.00"р.";[Red]\-#,##0.00"р.")")},
      {42, QStringLiteral(R"(_-* #,##0"р."_-;\-* #,##0"р."_-;_-* "-""р."_-;_-@_-)")},
      {41, QStringLiteral(R"(_-* #,##0_р_._-;\-* #,##0_р_._-;_-* "-"_р_._-;_-@_-)")},
      {44, QStringLiteral(R"(_-* #,##0.00"р."_-;\-* #,##0.00"р."_-;_-* "-"??"р."_-;_-@_-)")},
      {43, QStringLiteral(R"(_-* #,##0.00_р_._-;\-* #,##0.00_р_._-;_-* "-"??_р_._-;_-@_-)")},
  };
  for (const auto& [number, text] : formats)
    b += le16(0x041E) + le16(5 + 2 * text.size()) + le16(number) + le16(text.size()) + QByteArray(1, 1) + utf16(text);
  const char* xfs[] = {
      "00 00 00 00 F5 FF 20 00 00 00 00 00 00 00 00 00 00 00 C0 20",
      "01 00 00 00 F5 FF 20 00 00 F4 00 00 00 00 00 00 00 00 C0 20",
      "01 00 00 00 F5 FF 20 00 00 F4 00 00 00 00 00 00 00 00 C0 20",
      "02 00 00 00 F5 FF 20 00 00 F4 00 00 00 00 00 00 00 00 C0 20",
      "02 00 00 00 F5 FF 20 00 00 F4 00 00 00 00 00 00 00 00 C0 20",
  };
  for (const char* xf : xfs) b += record("E0 00 14 00", xf);
  for (int i = 5; i < 15; ++i) b += record("E0 00 14 00", "00 00 00 00 F5 FF 20 00 00 F4 00 00 00 00 00 00 00 00 C0 20");
  b += record("E0 00 14 00", "00 00 00 00 01 00 20 00 00 00 00 00 00 00 00 00 00 00 C0 20");
  b += record("E0 00 14 00", "01 00 2C 00 F5 FF 20 00 00 F8 00 00 00 00 00 00 00 00 C0 20");
  b += record("E0 00 14 00", "01 00 2A 00 F5 FF 20 00 00 F8 00 00 00 00 00 00 00 00 C0 20");
  b += record("E0 00 14 00", "01 00 09 00 F5 FF 20 00 00 F8 00 00 00 00 00 00 00 00 C0 20");
  b += record("E0 00 14 00", "01 00 2B 00 F5 FF 20 00 00 F8 00 00 00 00 00 00 00 00 C0 20");
  b += record("E0 00 14 00", "01 00 29 00 F5 FF 20 00 00 F8 00 00 00 00 00 00 00 00 C0 20");
  return b;
}

QByteArray styles() {
  return record("93 02 04 00", "10 80 04 FF") + record("93 02 04 00", "11 80 07 FF") +
         record("93 02 04 00", "00 80 00 FF") + record("93 02 04 00", "12 80 05 FF") +
         record("93 02 04 00", "13 80 03 FF") + record("93 02 04 00", "14 80 06 FF");
}

TEST(Biff8Writer, GlobalsOfAWorkbookWithoutSheets) {
  hv::TXlsWorkbook book;
  const QByteArray stream = hv::TBiff8Writer().streamBytes(book);
  // No sheet: an empty TABID, four fonts, 21 XF, no BOUNDSHEET, no SST.
  const QByteArray expected = globalsHead("3D 01 00 00", 4) + styles() + record("60 01 02 00", "00 00") +
                              record("8C 00 04 00", "07 00 07 00") + record("0A 00 00 00");
  EXPECT_EQ(stream.toHex(' '), expected.toHex(' '));
}

TEST(Biff8Writer, OneSheetWithOneRow) {
  hv::TXlsWorkbook book;
  auto& sheet = book.AddSheet();
  sheet.setName(QStringLiteral("Лист"));
  sheet.GetRange(0, 0, 0, 0).setValue(hv::Value(std::int32_t(1)));
  sheet.GetRange(1, 0, 1, 0).setValue(QStringLiteral("ab"));
  sheet.GetRange(2, 0, 2, 0);  // empty text: a blank cell
  const QByteArray stream = hv::TBiff8Writer().streamBytes(book);

  QByteArray globals = globalsHead("3D 01 02 00 01 00", 5);
  globals += record("E0 00 14 00", "05 00 00 00 01 00 20 00 00 7C 00 00 00 00 00 00 00 00 08 04");  // XF 21
  globals += styles() + record("60 01 02 00", "00 00");
  const qsizetype boundSheetAt = globals.size();
  globals += record("85 00 10 00", "00 00 00 00 00 00 04 01 1B 04 38 04 41 04 42 04");
  globals += record("8C 00 04 00", "07 00 07 00");
  const qsizetype sstAt = globals.size();
  globals += record("FC 00 0F 00", "01 00 00 00 01 00 00 00 02 00 01 61 00 62 00");
  globals += record("FF 00 0A 00", "08 00") + le16((sstAt + 12) & 0xFFFF) + le16((sstAt + 12) >> 16) + hexBytes("0C 00 00 00");
  globals += record("0A 00 00 00");
  const qsizetype bof = globals.size();
  globals.replace(boundSheetAt + 4, 4, le16(bof & 0xFFFF) + le16(bof >> 16));

  QByteArray sheetBytes;
  sheetBytes += record("09 08 10 00", "00 06 10 00 BB 0D CC 07 00 00 00 00 00 00 00 00");
  const qsizetype indexAt = bof + sheetBytes.size();
  sheetBytes += record("0B 02 14 00", "00 00 00 00 00 00 00 00 01 00 00 00 00 00 00 00 FF FF FF FF");
  sheetBytes += record("0D 00 02 00", "01 00") + record("0C 00 02 00", "64 00") + record("0F 00 02 00", "01 00") +
                record("11 00 02 00", "00 00") + record("10 00 08 00", "FC A9 F1 D2 4D 62 50 3F") +
                record("5F 00 02 00", "01 00") + record("2A 00 02 00", "00 00") + record("2B 00 02 00", "00 00") +
                record("82 00 02 00", "01 00") + record("80 00 08 00", "00 00 00 00 00 00 00 00") +
                record("25 02 04 00", "00 00 FF 00") + record("81 00 02 00", "C1 04") + record("14 00 00 00") +
                record("15 00 00 00") + record("83 00 02 00", "00 00") + record("84 00 02 00", "00 00") +
                record("26 00 08 00", "00 00 00 00 00 00 00 40") + record("27 00 08 00", "00 00 00 00 00 00 00 40") +
                record("28 00 08 00", "00 00 00 00 00 00 04 40") + record("29 00 08 00", "00 00 00 00 00 00 04 40");
  sheetBytes += record("A1 00 22 00",
                       "09 00 64 00 01 00 01 00 01 00 02 00 00 00 00 00"
                       "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00");
  sheetBytes += record("55 00 02 00", "08 00");
  sheetBytes += record("00 02 0E 00", "00 00 00 00 01 00 00 00 00 00 03 00 00 00");
  sheetBytes += record("08 02 10 00", "00 00 00 00 03 00 FF 00 00 00 00 00 00 00 00 00");
  sheetBytes += record("03 02 0E 00", "00 00 00 00 15 00 00 00 00 00 00 00 F0 3F");
  sheetBytes += record("FD 00 0A 00", "00 00 01 00 15 00 00 00 00 00");
  sheetBytes += record("01 02 06 00", "00 00 02 00 15 00");
  const qsizetype dbCellAt = bof + sheetBytes.size();
  sheetBytes += record("D7 00 06 00", "3E 00 00 00 00 00");
  sheetBytes += record("3E 02 12 00", "B6 06 00 00 00 00 40 00 00 00 00 00 00 00 00 00 00 00");
  sheetBytes += record("1D 00 0F 00", "03 00 00 00 00 00 00 01 00 00 00 00 00 00 00");
  sheetBytes += record("0A 00 00 00");
  sheetBytes.replace(indexAt - bof + 4 + 16, 4, le16(dbCellAt & 0xFFFF) + le16(dbCellAt >> 16));

  EXPECT_EQ(stream.toHex(' ').toStdString(), (globals + sheetBytes).toHex(' ').toStdString());
}

TEST(Biff8Writer, DefaultCellsUseFontFiveAndXf21) {
  hv::TXlsWorkbook book;
  auto& sheet = book.AddSheet();
  for (int c = 0; c < 9; ++c) sheet.GetRange(c, 0, c, 0).setValue(QStringLiteral("t"));
  const auto records = hv::test::parseRecords(hv::TBiff8Writer().streamBytes(book));
  EXPECT_EQ(hv::test::recordsWithId(records, 0x0031).size(), 5u);
  EXPECT_EQ(hv::test::recordsWithId(records, 0x041E).size(), 8u);
  EXPECT_EQ(hv::test::recordsWithId(records, 0x0293).size(), 6u);
  EXPECT_TRUE(hv::test::recordsWithId(records, 0x0092).empty());
  const auto xfs = hv::test::recordsWithId(records, 0x00E0);
  ASSERT_EQ(xfs.size(), 22u);
  EXPECT_EQ(xfs[21].data, hexBytes("05 00 00 00 01 00 20 00 00 7C 00 00 00 00 00 00 00 00 08 04"));
  // Equal texts are stored once per cell.
  const auto sst = hv::test::recordsWithId(records, 0x00FC);
  ASSERT_EQ(sst.size(), 1u);
  EXPECT_EQ(u32At(sst[0].data, 0), 9u);
  EXPECT_EQ(u32At(sst[0].data, 4), 9u);
  for (const Record& r : hv::test::recordsWithId(records, 0x00FD)) EXPECT_EQ(u16At(r.data, 4), 21);
  // EXTSST: one item per eight strings, for entries 0 and 8.
  const auto ext = hv::test::recordsWithId(records, 0x00FF);
  ASSERT_EQ(ext.size(), 1u);
  ASSERT_EQ(ext[0].data.size(), 2 + 2 * 8);
  EXPECT_EQ(u16At(ext[0].data, 0), 8);
  EXPECT_EQ(u32At(ext[0].data, 2), static_cast<std::uint32_t>(sst[0].offset + 12));
  EXPECT_EQ(u16At(ext[0].data, 6), 12);
  EXPECT_EQ(u32At(ext[0].data, 10), static_cast<std::uint32_t>(sst[0].offset + 12 + 8 * 5));
  EXPECT_EQ(u16At(ext[0].data, 14), 12 + 8 * 5);
}

TEST(Biff8Writer, ThirtyThreeRowsMakeTwoRowBlocks) {
  hv::TXlsWorkbook book;
  auto& sheet = book.AddSheet();
  for (int r = 0; r < 33; ++r) sheet.GetRange(0, r, 0, r).setValue(hv::Value(std::int32_t(r)));
  const auto records = hv::test::parseRecords(hv::TBiff8Writer().streamBytes(book));
  const auto index = hv::test::recordsWithId(records, 0x020B);
  const auto dbCells = hv::test::recordsWithId(records, 0x00D7);
  ASSERT_EQ(index.size(), 1u);
  ASSERT_EQ(dbCells.size(), 2u);
  ASSERT_EQ(index[0].data.size(), 16 + 8);
  EXPECT_EQ(u32At(index[0].data, 4), 0u);
  EXPECT_EQ(u32At(index[0].data, 8), 33u);
  EXPECT_EQ(u32At(index[0].data, 16), static_cast<std::uint32_t>(dbCells[0].offset));
  EXPECT_EQ(u32At(index[0].data, 20), static_cast<std::uint32_t>(dbCells[1].offset));
  // 32 ROW records of 20 bytes, 32 NUMBER records of 18 bytes.
  QByteArray first = hexBytes("C0 04 00 00 6C 02");
  for (int i = 1; i < 32; ++i) first += hexBytes("12 00");
  EXPECT_EQ(dbCells[0].data.toHex(' ').toStdString(), first.toHex(' ').toStdString());
  EXPECT_EQ(dbCells[1].data, hexBytes("26 00 00 00 00 00"));
  EXPECT_EQ(hv::test::recordsWithId(records, 0x0208).size(), 33u);
  // The ROW records of a block come first, then its cells.
  EXPECT_EQ(records[std::find_if(records.begin(), records.end(), [](const Record& r) { return r.id == 0x0208; }) -
                    records.begin() + 32]
                .id,
            0x0203);
}

TEST(Biff8Writer, LongTextIsSplitIntoSstAndContinue) {
  hv::TXlsWorkbook book;
  QString text;
  for (int i = 0; i < 5000; ++i) text += QChar(0x0410 + i % 32);
  book.AddSheet().GetRange(0, 0, 0, 0).setValue(text);
  const auto records = hv::test::parseRecords(hv::TBiff8Writer().streamBytes(book));
  const auto sst = std::find_if(records.begin(), records.end(), [](const Record& r) { return r.id == 0x00FC; });
  ASSERT_NE(sst, records.end());
  // 8 bytes of counts, 3 of entry header, then 4,106 characters; one byte stays unused.
  ASSERT_EQ(sst->data.size(), 8223);
  EXPECT_EQ(sst->data.mid(8, 3), hexBytes("88 13 01"));
  const Record& cont = *(sst + 1);
  EXPECT_EQ(cont.id, 0x003C);
  ASSERT_EQ(cont.data.size(), 1 + 2 * 894);
  EXPECT_EQ(cont.data.at(0), 1);
  EXPECT_EQ((sst + 2)->id, 0x00FF);
  QByteArray chars = sst->data.mid(11) + cont.data.mid(1);
  EXPECT_EQ(chars, utf16(text));
}

TEST(Biff8Writer, EntryStartsInNewContinueWhenFewerThanFiveBytesAreLeft) {
  hv::TXlsWorkbook book;
  auto& sheet = book.AddSheet();
  // 8 + (3 + 8000) + (3 + 206) = 8220 bytes: four are left.
  sheet.GetRange(0, 0, 0, 0).setValue(QString(4000, QChar('a')));
  sheet.GetRange(0, 1, 0, 1).setValue(QString(103, QChar('b')));
  sheet.GetRange(0, 2, 0, 2).setValue(QStringLiteral("cde"));
  const auto records = hv::test::parseRecords(hv::TBiff8Writer().streamBytes(book));
  const auto sst = std::find_if(records.begin(), records.end(), [](const Record& r) { return r.id == 0x00FC; });
  ASSERT_NE(sst, records.end());
  EXPECT_EQ(sst->data.size(), 8220);
  EXPECT_EQ((sst + 1)->id, 0x003C);
  EXPECT_EQ((sst + 1)->data, hexBytes("03 00 01 63 00 64 00 65 00"));

  // With five bytes left the entry starts in the record: header and one character.
  hv::TXlsWorkbook five;
  auto& s5 = five.AddSheet();
  s5.GetRange(0, 0, 0, 0).setValue(QString(4000, QChar('a')));
  s5.GetRange(0, 1, 0, 1).setValue(QString(100, QChar('b')));
  s5.GetRange(0, 2, 0, 2).setValue(QStringLiteral("x"));  // 8 + 8003 + 203 + 5 = 8219 used
  s5.GetRange(0, 3, 0, 3).setValue(QStringLiteral("cde"));
  const auto r5 = hv::test::parseRecords(hv::TBiff8Writer().streamBytes(five));
  const auto sst5 = std::find_if(r5.begin(), r5.end(), [](const Record& r) { return r.id == 0x00FC; });
  ASSERT_NE(sst5, r5.end());
  EXPECT_EQ(sst5->data.size(), 8224);
  EXPECT_EQ(sst5->data.right(5), hexBytes("03 00 01 63 00"));
  EXPECT_EQ((sst5 + 1)->data, hexBytes("01 64 00 65 00"));
}

TEST(Biff8Writer, OnlyTheFirstSheetIsSelected) {
  hv::TXlsWorkbook book;
  for (int i = 0; i < 3; ++i) book.AddSheet().GetRange(0, 0, 0, 0).setValue(hv::Value(std::int32_t(i)));
  const QByteArray stream = hv::TBiff8Writer().streamBytes(book);
  const auto records = hv::test::parseRecords(stream);
  const auto windows = hv::test::recordsWithId(records, 0x023E);
  ASSERT_EQ(windows.size(), 3u);
  EXPECT_EQ(u16At(windows[0].data, 0), 0x06B6);
  EXPECT_EQ(u16At(windows[1].data, 0), 0x04B6);
  EXPECT_EQ(u16At(windows[2].data, 0), 0x04B6);
  EXPECT_EQ(hv::test::recordsWithId(records, 0x013D)[0].data, hexBytes("01 00 02 00 03 00"));
  // Every BOUNDSHEET points at its sheet's BOF.
  const auto sheets = hv::test::recordsWithId(records, 0x0085);
  const auto bofs = hv::test::recordsWithId(records, 0x0809);
  ASSERT_EQ(sheets.size(), 3u);
  ASSERT_EQ(bofs.size(), 4u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(u32At(sheets[i].data, 0), static_cast<std::uint32_t>(bofs[i + 1].offset));
    EXPECT_EQ(u16At(bofs[i + 1].data, 2), 0x0010);
  }
}

TEST(Biff8Writer, MergedRangeGivesMulBlankAndMergedCells) {
  hv::TXlsWorkbook book;
  book.AddSheet().GetRange(1, 0, 3, 1).setValue(QStringLiteral("x"));
  const auto records = hv::test::parseRecords(hv::TBiff8Writer().streamBytes(book));
  const auto xfs = hv::test::recordsWithId(records, 0x00E0);
  ASSERT_EQ(xfs.size(), 22u);
  EXPECT_EQ(xfs[21].data, hexBytes("05 00 00 00 01 00 20 00 20 7C 00 00 00 00 00 00 00 00 08 04"));
  const auto mul = hv::test::recordsWithId(records, 0x00BE);
  ASSERT_EQ(mul.size(), 2u);
  EXPECT_EQ(mul[0].data, hexBytes("00 00 02 00 15 00 15 00 03 00"));
  EXPECT_EQ(mul[1].data, hexBytes("01 00 01 00 15 00 15 00 15 00 03 00"));
  const auto rows = hv::test::recordsWithId(records, 0x0208);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1].data.left(6), hexBytes("01 00 01 00 04 00"));
  EXPECT_EQ(hv::test::recordsWithId(records, 0x00E5)[0].data, hexBytes("01 00 00 00 01 00 01 00 03 00"));
}

TEST(Biff8Writer, NewColourReplacesTheFirstFreePaletteEntry) {
  hv::TXlsWorkbook book;
  auto cell = book.AddSheet().GetRange(0, 0, 0, 0);
  cell.format().Font.color = hv::rgbColor(1, 2, 3);
  cell.format().Font.bold = true;
  const auto records = hv::test::parseRecords(hv::TBiff8Writer().streamBytes(book));
  const auto fonts = hv::test::recordsWithId(records, 0x0031);
  ASSERT_EQ(fonts.size(), 5u);
  // Entries 0-15 of the default palette are standard colours; 16 (9999FF) is not.
  EXPECT_EQ(u16At(fonts[4].data, 4), 24);
  EXPECT_EQ(u16At(fonts[4].data, 6), 1000);
  const auto palette = hv::test::recordsWithId(records, 0x0092);
  ASSERT_EQ(palette.size(), 1u);
  ASSERT_EQ(palette[0].data.size(), 2 + 56 * 4);
  EXPECT_EQ(palette[0].data.mid(2 + 16 * 4, 8), hexBytes("01 02 03 00 99 33 66 00"));
  EXPECT_EQ(palette[0].data.mid(2, 4), hexBytes("00 00 00 00"));
}

TEST(Biff8Writer, SheetsBeyondTheFormatsRowsAreRefused) {
  hv::TXlsWorkbook book;
  book.AddSheet().GetRange(0, 65536, 0, 65536);
  try {
    hv::TBiff8Writer::checkFits(book);
    FAIL() << "no error";
  } catch (const hv::Error& e) {
    EXPECT_TRUE(e.text().contains(QStringLiteral("Sheet1"))) << e.text().toStdString();
  }
  hv::TXlsWorkbook fits;
  fits.AddSheet().GetRange(255, 65535, 255, 65535);
  EXPECT_NO_THROW(hv::TBiff8Writer::checkFits(fits));
}

}  // namespace

TEST(Biff8Writer, AStoppedSaveLeavesTheOldFileAndNoTemporary) {
  hv::TXlsWorkbook book;
  for (int s = 0; s < 2; ++s) {
    hv::TXlsWorksheet& sheet = book.AddSheet();
    for (int r = 0; r < 100; ++r) sheet.setCellValue(0, r, r);
  }
  const QString path = hv::test::testPath(QStringLiteral("stopped.xls"));
  hv::test::writeFile(path, "previous contents");
  std::atomic<qint64> rows{0};
  std::atomic<bool> stop{false};
  hv::TBiff8Writer writer;
  writer.watch(&rows, &stop);
  writer.Save(book, path);  // not stopped: every row below a sheet's first counted
  EXPECT_EQ(rows, 2 * 99);
  EXPECT_TRUE(hv::test::readFile(path).startsWith("\xD0\xCF\x11\xE0"));

  hv::test::writeFile(path, "previous contents");
  stop = true;
  EXPECT_THROW(writer.Save(book, path), hv::SaveCancelled);
  EXPECT_EQ(hv::test::readFile(path), QByteArray("previous contents"));
  EXPECT_EQ(QDir(hv::test::testDir()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("stopped.xls")});
}
