// The table file's format, reading and writing fields, filter, navigation,
// deletion and packing.
#include <gtest/gtest.h>

#include <QDate>
#include <QDir>
#include <QFile>

#include "platform/codepage.h"
#include "platform/error.h"
#include "store/db_table.h"
#include "store_test_util.h"
#include "support/test_support.h"

using hv::TDbTable;
using hv::test::appendRow;
using hv::test::Row;
using hv::test::testPath;

namespace {

unsigned u16(const QByteArray& b, int at) { return quint8(b[at]) | (quint8(b[at + 1]) << 8); }
unsigned u32(const QByteArray& b, int at) { return u16(b, at) | (u16(b, at + 2) << 16); }

std::vector<Row> sampleRows() {
  return {
      {1, 0, "05.03.2024", "12:30:05", "12,5", "", "", "Сосна", "3", ""},
      {2, 0, "06.03.2024", "08:00:00", "", "9,5", "10,0", "Ель", "", "у окна"},
      {1, 1, "01.01.2023", "00:00:01", "3,0", "", "", "Бетон М200", "", ""},
      {3, 0, "07.03.2024", "23:59:59", "100,0", "", "", "Дуб", "12", ""},
      {1, 2, "31.12.2025", "10:10:10", "0,0", "", "", "Песок", "", ""},
      {2, 1, "02.01.2023", "00:00:02", "", "1,5", "2,5", "Бетон М300", "", ""},
  };
}

}  // namespace

TEST(TableFormat, CreatedFileHasTheExactHeaderDescriptorsAndRecordLayout) {
  const QString path = testPath("new.db");
  hv::test::writeFile(path, "old contents that must go");
  hv::test::writeFile(testPath("new.mdx"), "stale index");
  TDbTable t;
  t.setFileName(path);
  t.createTable();
  EXPECT_FALSE(t.active());
  EXPECT_FALSE(QFile::exists(testPath("new.mdx")));

  const QByteArray b = hv::test::readFile(path);
  ASSERT_EQ(b.size(), 353 + 1);
  const QDate today = QDate::currentDate();
  EXPECT_EQ(quint8(b[0]), 0x03);
  EXPECT_EQ(quint8(b[1]), today.year() - 1900);
  EXPECT_EQ(quint8(b[2]), today.month());
  EXPECT_EQ(quint8(b[3]), today.day());
  EXPECT_EQ(u32(b, 4), 0u);
  EXPECT_EQ(u16(b, 8), 353u);
  EXPECT_EQ(u16(b, 10), 147u);
  EXPECT_EQ(quint8(b[28]), 0);
  EXPECT_EQ(quint8(b[29]), 0xC9);  // code page 1251
  for (int i : {12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 30, 31}) EXPECT_EQ(b[i], 0) << i;
  const struct {
    const char* name;
    char type;
    int width;
  } fields[] = {{"N", 'N', 4},     {"N_ARC", 'N', 4},  {"DATE", 'C', 10},     {"TIME", 'C', 8}, {"W", 'C', 6},
                {"W_MIN", 'C', 6}, {"W_MAX", 'C', 6}, {"MATERIAL", 'C', 50}, {"N_IND", 'C', 2}, {"COMMENT", 'C', 50}};
  for (int f = 0; f < 10; ++f) {
    const QByteArray d = b.mid(32 + 32 * f, 32);
    QByteArray name(11, '\0');
    name.replace(0, int(strlen(fields[f].name)), fields[f].name);
    EXPECT_EQ(d.left(11), name) << f;
    EXPECT_EQ(d[11], fields[f].type) << f;
    EXPECT_EQ(d.mid(12, 4), QByteArray(4, '\0')) << f;
    EXPECT_EQ(quint8(d[16]), fields[f].width) << f;
    EXPECT_EQ(d[17], 0) << f;
    EXPECT_EQ(d.mid(18), QByteArray(14, '\0')) << f;
  }
  EXPECT_EQ(quint8(b[352]), 0x0D);
  EXPECT_EQ(quint8(b[353]), 0x1A);

  t.open();
  appendRow(t, {7, 2, "05.03.2024", "12:30:05", "12,5", "", "", "Сосна", "3", ""});
  appendRow(t, {-12, 0, "", "", "", "1,0", "2,0", "", "", "x"});
  t.close();
  const QByteArray c = hv::test::readFile(path);
  ASSERT_EQ(c.size(), 353 + 2 * 147 + 1);
  EXPECT_EQ(u32(c, 4), 2u);
  const QByteArray rec = c.mid(353, 147);
  QByteArray want = " " + QByteArray("   7") + "   2" + "05.03.2024" + "12:30:05" + "12,5  " + "      " + "      ";
  want += hv::toCp1251(u"Сосна") + QByteArray(45, ' ') + "3 " + QByteArray(50, ' ');
  EXPECT_EQ(rec, want);
  EXPECT_EQ(c.mid(353 + 147, 10), QByteArray("  -12   0 "));
  EXPECT_EQ(quint8(c[c.size() - 1]), 0x1A);
}

TEST(TableFields, EveryFieldFormReadsBack) {
  const QString path = hv::test::createTable();
  TDbTable t;
  t.setTableName("t.db");
  t.setFilePath(hv::test::testDir());
  EXPECT_EQ(t.fileName(), path);
  EXPECT_EQ(TDbTable::mdxPathFor(path), testPath("t.mdx"));
  t.open();
  EXPECT_TRUE(t.active());
  EXPECT_TRUE(t.isEmpty());
  EXPECT_EQ(t.fieldText("COMMENT"), std::nullopt);  // no row at all

  appendRow(t, {9999, 2, "31.12.2099", "23:59:59", "", "0,1", "99,9", QString(60, QChar(u'Ж')), "15", "Примечание «ё»"});
  appendRow(t, {-999, 0, "01.01.2000", "00:00:00", "5.5", "", "", "  leading", "", ""});
  ASSERT_EQ(t.recordCount(), 2);
  t.first();
  EXPECT_EQ(t.fieldInt("N"), 9999);
  EXPECT_EQ(t.fieldInt("N_ARC"), 2);
  EXPECT_EQ(t.fieldText("N"), QString("9999"));
  EXPECT_EQ(t.fieldText("DATE"), QString("31.12.2099"));
  EXPECT_EQ(t.fieldText("W"), std::nullopt);  // blank reads as null, not ""
  EXPECT_EQ(t.fieldText("W_MIN"), QString("0,1"));
  EXPECT_EQ(t.fieldText("W_MAX"), QString("99,9"));
  EXPECT_EQ(t.fieldText("MATERIAL"), QString(50, QChar(u'Ж')));  // cut to the field's width
  EXPECT_EQ(t.fieldText("N_IND"), QString("15"));
  EXPECT_EQ(t.fieldInt("n_ind"), 15);
  EXPECT_EQ(t.fieldText("comment"), QString("Примечание «ё»"));
  t.next();
  EXPECT_EQ(t.fieldInt("N"), -999);
  EXPECT_EQ(t.fieldText("W"), QString("5.5"));
  EXPECT_EQ(t.fieldText("MATERIAL"), QString("  leading"));
  EXPECT_EQ(t.fieldText("N_IND"), std::nullopt);
  EXPECT_EQ(t.fieldInt("N_IND"), 0);

  // Setting a blank numeric field, and numbers given as text.
  t.edit();
  t.setFieldText("N", " 42 ");
  t.setFieldText("N_ARC", "");
  EXPECT_EQ(t.fieldInt("N"), 42);
  EXPECT_EQ(t.fieldText("N_ARC"), std::nullopt);
  EXPECT_THROW(t.setFieldText("N", "12a"), hv::Error);
  EXPECT_THROW(t.setFieldInt("N", 10000), hv::Error);  // five digits in a four-wide field
  EXPECT_THROW(t.setFieldText("NOPE", "x"), hv::Error);
  EXPECT_THROW(t.fieldText("NOPE"), hv::Error);
  t.post();
  EXPECT_THROW(t.setFieldText("COMMENT", "not editing"), hv::Error);
  t.close();

  t.open();
  EXPECT_EQ(hv::test::viewRows(t),
            QStringList({"9999|2|31.12.2099|23:59:59|-|0,1|99,9|" + QString(50, QChar(u'Ж')) + "|15|Примечание «ё»",
                         "42|-|01.01.2000|00:00:00|5.5|-|-|  leading|-|-"}));
  EXPECT_EQ(t.fieldTextAt(99, "N"), std::nullopt);
}

TEST(TableNavigation, FilterCountAndMovingThroughRows) {
  const QString path = hv::test::tableWith(sampleRows());
  TDbTable t;
  t.setFileName(path);
  t.setFilter("N_ARC=0");
  t.setFiltered(true);
  t.open();
  EXPECT_EQ(t.recordCount(), 3);
  std::vector<int> seen;
  for (t.first(); !t.eof(); t.next()) seen.push_back(t.fieldInt("N"));
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));
  EXPECT_TRUE(t.eof());
  EXPECT_EQ(t.fieldInt("N"), 3);  // stays on the last row

  t.last();
  EXPECT_TRUE(t.eof());
  seen.clear();
  for (; !t.bof(); t.prior()) seen.push_back(t.fieldInt("N"));
  EXPECT_EQ(seen, (std::vector<int>{3, 2, 1}));

  t.moveToRow(1);
  EXPECT_EQ(t.rowIndex(), 1);
  const auto mark = t.bookmark();
  EXPECT_EQ(mark, 1);  // the second record in the file
  t.setFilter("N_ARC=1");
  EXPECT_EQ(t.recordCount(), 2);
  EXPECT_EQ(t.fieldInt("N_ARC"), 1);
  EXPECT_FALSE(t.gotoBookmark(mark));  // not in this archive
  t.setFilter("N_ARC=2");
  t.refresh();
  EXPECT_EQ(t.recordCount(), 1);
  t.setFilter("N_ARC=7");
  EXPECT_TRUE(t.isEmpty());
  t.first();
  EXPECT_TRUE(t.eof());
  EXPECT_TRUE(t.bof());
  EXPECT_EQ(t.bookmark(), -1);
  t.setFiltered(false);
  EXPECT_EQ(t.recordCount(), 6);
  EXPECT_TRUE(t.gotoBookmark(mark));
  EXPECT_EQ(t.fieldText("MATERIAL"), QString("Ель"));
  // Counting leaves the current row where it was.
  t.setFiltered(true);
  t.setFilter("N_ARC=0");
  t.moveToRow(2);
  EXPECT_EQ(t.recordCount(), 3);
  EXPECT_EQ(t.fieldInt("N"), 3);
  // refresh keeps the current row while it passes the filter.
  t.refresh();
  EXPECT_EQ(t.fieldInt("N"), 3);
  EXPECT_EQ(t.rowIndex(), 2);
  EXPECT_THROW(t.setFilter("N_ARC>1"), hv::Error);
  EXPECT_THROW(t.setFilter("W=1"), hv::Error);
}

TEST(TableNavigation, ReadingAnArchiveMovesNeitherFilterOrderNorRow) {
  const QString path = hv::test::tableWith(sampleRows());
  TDbTable t;
  t.setFileName(path);
  t.setFilter(hv::ArchiveFilter(hv::ArchiveKind::Wood));
  t.setFiltered(true);
  t.open();
  EXPECT_EQ(t.filter(), QStringLiteral("N_ARC=0"));
  t.addIndex("tab2", "W_MAX", false);
  t.moveToRow(2);
  t.deleteRecord();  // a deleted row is no row of its archive
  t.moveToRow(1);
  using Rows = std::vector<TDbTable::Bookmark>;
  EXPECT_EQ(t.rowsOf(hv::ArchiveFilter(hv::ArchiveKind::Concrete)), (Rows{2, 5}));
  EXPECT_EQ(t.rowsOf(hv::ArchiveFilter(hv::ArchiveKind::Wood)), (Rows{0, 1}));
  EXPECT_EQ(t.rowsOf(hv::ArchiveFilter(), "tab2"), (Rows{0, 2, 4, 5, 1}));  // blanks first, then by value
  EXPECT_EQ(t.rowsOf(hv::ArchiveFilter(hv::ArchiveKind::Concrete), "TAB2"), (Rows{2, 5}));
  EXPECT_EQ(t.rowsOf(hv::ArchiveFilter(7)), Rows{});
  EXPECT_EQ(t.rowCount(hv::ArchiveFilter(hv::ArchiveKind::Wood)), 2);
  EXPECT_EQ(t.rowCount(hv::ArchiveFilter(hv::ArchiveKind::Bulk)), 1);
  EXPECT_EQ(t.rowCount(hv::ArchiveFilter()), 5);
  EXPECT_EQ(t.activeFilter(), hv::ArchiveFilter(hv::ArchiveKind::Wood));

  // In batches, the sink's index counting into the rows asked; a batch's
  // answer can stop the read.
  Rows many;
  for (int i = 0; i < 3 * int(TDbTable::kReadBatchRows) + 1; ++i) many.push_back(i % 2 ? 4 : 2);
  std::size_t calls = 0, last = 0;
  std::vector<std::size_t> batches;
  EXPECT_TRUE(t.readRows(many, {"MATERIAL"}, [&](std::size_t i, int, std::optional<std::string_view> v) {
    EXPECT_EQ(i, calls++);
    EXPECT_EQ(std::string(v.value_or("")), i % 2 ? "Песок" : "Бетон М200");
    last = i;
  }, [&](std::size_t done) {
    batches.push_back(done);
    return true;
  }));
  EXPECT_EQ(last, many.size() - 1);
  EXPECT_EQ(batches, (std::vector<std::size_t>{4096, 8192, 12288, 12289}));
  calls = 0;
  EXPECT_FALSE(t.readRows(many, {"N"}, [&](std::size_t, int, std::optional<std::string_view>) { ++calls; },
                          [](std::size_t) { return false; }));
  EXPECT_EQ(calls, TDbTable::kReadBatchRows);

  EXPECT_EQ(t.filter(), QStringLiteral("N_ARC=0"));
  EXPECT_TRUE(t.indexName().isEmpty());
  EXPECT_EQ(t.rowIndex(), 1);
  EXPECT_EQ(t.fieldInt("N"), 2);
  EXPECT_EQ(t.recordCount(), 2);
  // With the table's own filter and order: the rows its view shows.
  t.setIndexName("tab2");
  EXPECT_EQ(t.rowsOf(t.activeFilter(), t.indexName()), (Rows{0, 1}));
}

TEST(TableFields, BatchReadGivesWhatSingleReadsGive) {
  const QString path = hv::test::tableWith(sampleRows());
  TDbTable t;
  t.setFileName(path);
  t.open();
  t.moveToRow(1);
  t.edit();
  t.setFieldText("COMMENT", "правка");  // the unposted edit is what a read sees
  const std::vector<TDbTable::Bookmark> records = {5, 1, 0, 99, -1, 3, 2, 4};
  const QStringList fields = {"COMMENT", "W", "MATERIAL", "N", "DATE", "W_MIN"};
  QStringList batch, single;
  std::vector<std::pair<std::size_t, int>> order;
  t.fieldTextsAt(records, fields, [&](std::size_t i, int f, std::optional<std::string_view> text) {
    order.emplace_back(i, f);
    batch << (text ? QString::fromUtf8(text->data(), qsizetype(text->size())) : QStringLiteral("-"));
  });
  for (std::size_t i = 0; i < records.size(); ++i)
    for (const QString& f : fields) single << t.fieldTextAt(records[i], f).value_or(QStringLiteral("-"));
  EXPECT_EQ(batch, single);
  EXPECT_TRUE(batch.contains("правка"));
  EXPECT_TRUE(batch.contains("Бетон М300"));
  ASSERT_EQ(order.size(), records.size() * std::size_t(fields.size()));
  for (std::size_t k = 0; k < order.size(); ++k)
    EXPECT_EQ(order[k], std::make_pair(k / std::size_t(fields.size()), int(k % std::size_t(fields.size()))));
  EXPECT_THROW(t.fieldTextsAt(records, {"W", "NOPE"}, [](std::size_t, int, std::optional<std::string_view>) {}),
               hv::Error);
  t.cancel();
  t.close();

  // Many records, close together and far apart, some twice, in no order.
  std::vector<Row> many;
  for (int i = 0; i < 6000; ++i) many.push_back({i, i % 3, "", "", "", "", "", QString("м%1").arg(i), "", ""});
  t.setFileName(hv::test::tableWith(many, "many.db"));
  t.open();
  std::vector<TDbTable::Bookmark> spread, ascending;
  for (int i = 0; i < 3000; ++i) spread.push_back((i * 7919 + (i % 5 ? 0 : 3)) % 6100 - 50);
  for (int i = 0; i < 6000; i += 1 + i % 97) ascending.push_back(i);
  for (const auto& asked : {spread, ascending}) {
    QStringList got, want;
    t.fieldTextsAt(asked, {"MATERIAL", "N"}, [&](std::size_t, int, std::optional<std::string_view> text) {
      got << (text ? QString::fromUtf8(text->data(), qsizetype(text->size())) : QStringLiteral("-"));
    });
    for (TDbTable::Bookmark b : asked)
      want << t.fieldTextAt(b, "MATERIAL").value_or(QStringLiteral("-")) << t.fieldTextAt(b, "N").value_or(QStringLiteral("-"));
    EXPECT_EQ(got, want);
  }
}

TEST(TableEditing, PostCancelAndCloseDropTheUnpostedEdit) {
  const QString path = hv::test::tableWith(sampleRows());
  TDbTable t;
  t.setFileName(path);
  t.open();
  t.moveToRow(1);
  t.edit();
  EXPECT_EQ(t.state(), TDbTable::State::Edit);
  t.setFieldText("COMMENT", "posted");
  t.post();
  EXPECT_EQ(t.state(), TDbTable::State::Browse);
  t.moveToRow(2);
  t.edit();
  t.setFieldText("COMMENT", "cancelled");
  t.cancel();
  EXPECT_EQ(t.fieldText("COMMENT"), std::nullopt);
  t.moveToRow(3);
  t.edit();
  t.setFieldText("COMMENT", "moved away");
  t.next();  // leaving a changed row posts it
  t.append();
  t.setFieldInt("N", 50);
  t.cancel();
  EXPECT_EQ(t.recordCount(), 6);
  t.moveToRow(0);
  t.edit();
  t.setFieldText("COMMENT", "dropped on close");
  EXPECT_EQ(t.fieldTextAt(t.bookmark(), "COMMENT"), QString("dropped on close"));
  t.close();

  t.open();
  EXPECT_EQ(t.recordCount(), 6);
  QStringList comments;
  for (t.first(); !t.eof(); t.next()) comments << t.fieldText("COMMENT").value_or("-");
  EXPECT_EQ(comments, QStringList({"-", "posted", "-", "moved away", "-", "-"}));

  // A row moved out of the archive on view leaves it.
  t.setFilter("N_ARC=0");
  t.setFiltered(true);
  t.first();
  t.edit();
  t.setFieldInt("N_ARC", 2);
  t.post();
  EXPECT_EQ(t.recordCount(), 2);
  EXPECT_EQ(t.fieldInt("N_ARC"), 0);
}

TEST(TableEditing, DeleteHidesRowsAndPackRemovesThemInOneReplace) {
  const QString path = hv::test::tableWith(sampleRows());
  TDbTable t;
  t.setFileName(path);
  t.open();
  t.moveToRow(1);
  const auto deleted = t.bookmark();
  t.deleteRecord();
  EXPECT_EQ(t.fieldText("MATERIAL"), QString("Бетон М200"));  // the next row becomes current
  t.last();
  t.deleteRecord();
  EXPECT_EQ(t.fieldText("MATERIAL"), QString("Песок"));  // the last row went: the new last is current
  EXPECT_EQ(t.recordCount(), 4);
  EXPECT_FALSE(t.gotoBookmark(deleted));
  t.close();

  QByteArray before = hv::test::readFile(path);
  EXPECT_EQ(before.size(), 353 + 6 * 147 + 1);
  EXPECT_EQ(before[353 + 147], '*');
  t.open();
  EXPECT_EQ(t.recordCount(), 4);
  t.pack();
  EXPECT_EQ(t.recordCount(), 4);
  t.close();
  const QByteArray after = hv::test::readFile(path);
  EXPECT_EQ(after.size(), 353 + 4 * 147 + 1);
  EXPECT_EQ(after.left(4), before.left(4));
  EXPECT_EQ(u32(after, 4), 4u);
  EXPECT_EQ(after.mid(8, 353 - 8), before.mid(8, 353 - 8));
  EXPECT_EQ(quint8(after[after.size() - 1]), 0x1A);
  // Nothing left beside the table.
  EXPECT_EQ(QDir(hv::test::testDir()).entryList(QDir::Files | QDir::Hidden), QStringList({"t.db"}));
  t.open();
  EXPECT_EQ(hv::test::viewNumbers(t), (std::vector<int>{1, 1, 3, 1}));
}

TEST(TableEditing, DeletingManyRowsByBookmarkDeletesExactlyThose) {
  std::vector<Row> rows;
  for (int i = 0; i < 300; ++i) rows.push_back({i + 1, i % 3, "01.01.2024", "00:00:00", "1,0", "", "", "", "", ""});
  const QString path = hv::test::tableWith(rows);
  TDbTable t;
  t.setFileName(path);
  t.setFilter("N_ARC=1");
  t.setFiltered(true);
  t.open();
  std::vector<TDbTable::Bookmark> marks;
  for (int r = 0; r < t.recordCount(); r += 2) marks.push_back(t.bookmarkAtRow(r));
  for (auto it = marks.rbegin(); it != marks.rend(); ++it) {
    ASSERT_TRUE(t.gotoBookmark(*it));
    t.deleteRecord();
    EXPECT_FALSE(t.gotoBookmark(*it));
  }
  EXPECT_EQ(t.recordCount(), 50);
  std::vector<int> left = hv::test::viewNumbers(t);
  for (size_t i = 0; i < left.size(); ++i) EXPECT_EQ(left[i], 6 * int(i) + 5);
  t.setFiltered(false);
  EXPECT_EQ(t.recordCount(), 250);
}
