// Index tags: the mended sort order of every field in both directions, the
// .mdx file read back by our own reader, and the index's life across opens.
#include <gtest/gtest.h>

#include <QDate>
#include <QDir>
#include <QFile>
#include <QTime>
#include <algorithm>
#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/codepage.h"
#include "platform/error.h"
#include "store/db_table.h"
#include "store/mdx_file.h"
#include "store_test_util.h"
#include "support/test_support.h"

using hv::TDbTable;
using hv::test::Row;
using hv::test::testPath;

namespace {

std::vector<Row> trickyRows() {
  return {
      {10, 0, "05.03.2024", "12:30:05", "10,0", "", "", "Сосна", "12", "б"},
      {9, 1, "06.02.2024", "08:00:00", "9,5", "", "", "Ель", "2", "а"},
      {-5, 2, "05.03.2024", "09:00:00", "", "1,5", "12,5", "Бетон", "", ""},
      {100, 0, "31.12.2023", "23:59:59", "100,0", "", "", "бетон", "**", "Z"},
      {9, 1, "05.03.2024", "12:30:05", "9.50", "", "", "Ель", "2", "а"},
      {0, 0, "", "", "", "", "", "", "", ""},
      {1, 0, "01.01.2025", "00:00:00", "0,0", "", "", "Ёлка", "1", "A"},
      {2, 2, "15.06.2023", "07:05:00", "12,55", "", "", "дуб", "9", "я"},
      {3, 1, "15.06.2023", "07:04:59", "-1,0", "", "", "Дуб", "", "я"},
      {4, 0, "02.01.2024", "10:00:00", "2,5", "9,5", "10,0", "Сосна", "", ""},
      {7, 9, "11.11.2011", "11:11:11", "11,1", "", "", "удалённая", "", ""},  // deleted in the tests
  };
}

const QString& cell(const Row& r, const QString& field) {
  static const QString none;
  if (field == "DATE") return r.date;
  if (field == "TIME") return r.time;
  if (field == "W") return r.w;
  if (field == "W_MIN") return r.wMin;
  if (field == "W_MAX") return r.wMax;
  if (field == "MATERIAL") return r.material;
  if (field == "N_IND") return r.nInd;
  if (field == "COMMENT") return r.comment;
  return none;
}

// Our order, stated independently of the engine: -1, 0, 1 like a comparison.
int compareRows(const Row& a, const Row& b, const QString& field) {
  auto cmp = [](auto x, auto y) { return x < y ? -1 : (y < x ? 1 : 0); };
  if (field == "N") return cmp(a.n, b.n);
  if (field == "N_ARC") return cmp(a.arc, b.arc);
  if (field == "DATE") {
    auto key = [](const Row& r) {
      const QDate d = QDate::fromString(r.date, "dd.MM.yyyy");
      const QTime t = QTime::fromString(r.time, "hh:mm:ss");
      return std::pair<qint64, int>(d.isValid() ? d.toJulianDay() : -1, t.isValid() ? t.msecsSinceStartOfDay() : -1);
    };
    return cmp(key(a), key(b));
  }
  if (field == "TIME") {
    auto key = [](const Row& r) {
      const QTime t = QTime::fromString(r.time, "hh:mm:ss");
      return t.isValid() ? t.msecsSinceStartOfDay() : -1;
    };
    return cmp(key(a), key(b));
  }
  if (field == "N_IND") {
    // "**" stands for a number past 99.
    auto key = [](const Row& r) { return r.nInd.isEmpty() ? -1 : r.nInd == "**" ? 100 : r.nInd.toInt(); };
    return cmp(key(a), key(b));
  }
  if (field.startsWith("W")) {
    auto key = [&](const Row& r) {
      const QString v = cell(r, field);
      return v.isEmpty() ? -1e300 : QString(v).replace(',', '.').toDouble();
    };
    return cmp(key(a), key(b));
  }
  return cmp(hv::toCp1251(cell(a, field)), hv::toCp1251(cell(b, field)));
}

std::vector<int> expectedOrder(const std::vector<Row>& rows, const QString& field, bool descending) {
  std::vector<int> idx;
  for (int i = 0; i < int(rows.size()); ++i) idx.push_back(i);
  std::stable_sort(idx.begin(), idx.end(), [&](int x, int y) {
    const int c = compareRows(rows[size_t(x)], rows[size_t(y)], field);
    return descending ? c > 0 : c < 0;
  });
  return idx;
}

std::vector<qint64> viewBookmarks(TDbTable& t) {
  std::vector<qint64> out;
  for (int r = 0; r < t.recordCount(); ++r) out.push_back(t.bookmarkAtRow(r));
  return out;
}

std::vector<hv::store::MdxTagIn> readIndexFile(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return hv::store::readMdx(f.readAll());
}

const hv::store::MdxTagIn* tagIn(const std::vector<hv::store::MdxTagIn>& tags, const QString& name) {
  for (const auto& t : tags)
    if (t.name.compare(name, Qt::CaseInsensitive) == 0) return &t;
  return nullptr;
}

// The index file's order of one tag, without the deleted rows.
std::vector<qint64> liveOrder(const hv::store::MdxTagIn& tag, const std::vector<qint64>& deleted) {
  std::vector<qint64> out;
  for (auto r : tag.records)
    if (std::find(deleted.begin(), deleted.end(), qint64(r)) == deleted.end()) out.push_back(r);
  return out;
}

char headerFlag(const QString& path) { return hv::test::readFile(path).at(28); }

// Opens the table of trickyRows() sorted by one tag on `field`; returns the order.
std::vector<qint64> openSorted(TDbTable& t, const char* field) {
  t.setFileName(hv::test::tableWith(trickyRows()));
  t.open();
  t.addIndex("tab1", field, false);
  t.setIndexName("tab1");
  return viewBookmarks(t);
}

}  // namespace

TEST(IndexTags, EveryFieldSortsInTheMendedOrderBothWaysAndTheMdxReadsBackTheSame) {
  std::vector<Row> rows = trickyRows();
  const QString path = hv::test::tableWith(rows);
  TDbTable t;
  t.setFileName(path);
  t.open();
  t.last();
  t.deleteRecord();
  rows.pop_back();
  const std::vector<qint64> deleted{qint64(rows.size())};

  for (const QString& field : hv::measurementFields()) {
    for (bool descending : {false, true}) {
      SCOPED_TRACE((field + (descending ? " desc" : " asc")).toStdString());
      t.setIndexName("");
      t.deleteIndex("tab1");
      t.addIndex("tab1", field, descending);
      t.setIndexName("tab1");
      t.refresh();
      std::vector<qint64> want;
      for (int i : expectedOrder(rows, field, descending)) want.push_back(i);
      EXPECT_EQ(viewBookmarks(t), want);

      ASSERT_TRUE(QFile::exists(testPath("t.mdx")));
      EXPECT_EQ(headerFlag(path), 1);
      const auto tags = readIndexFile(testPath("t.mdx"));
      ASSERT_EQ(tags.size(), 1u);
      EXPECT_EQ(tags[0].name, "TAB1");
      EXPECT_EQ(tags[0].descending, descending);
      EXPECT_EQ(liveOrder(tags[0], deleted), want);
      // The keys in the file are in the tag's order too.
      const int len = tags[0].keyLength;
      for (size_t i = 1; i < tags[0].records.size(); ++i) {
        const int c = std::memcmp(tags[0].keys.constData() + (i - 1) * len, tags[0].keys.constData() + i * len, size_t(len));
        EXPECT_TRUE(descending ? c >= 0 : c <= 0) << i;
      }
    }
  }
  // The moisture that used to sort as text.
  t.addIndex("tab1", "W", false);
  t.setIndexName("tab1");
  t.setFilter("N_ARC=0");
  t.setFiltered(true);
  QStringList w;
  for (t.first(); !t.eof(); t.next()) w << t.fieldText("W").value_or("-");
  EXPECT_EQ(w, QStringList({"-", "0,0", "2,5", "10,0", "100,0"}));
  // So did the individual dependence number (checked above with the rest);
  // other dBase readers get its order from the expression.
  t.addIndex("tab1", "N_IND", false);
  EXPECT_EQ(tagIn(readIndexFile(testPath("t.mdx")), "tab1")->expression,
            "IIF(EMPTY(N_IND),SPACE(6),STR(IIF(N_IND=\"**\",100,VAL(N_IND))+100000,6))");
}

TEST(IndexTags, BigTablesSortAsSmallOnesWithEqualKeysInRecordOrder) {
  // Enough rows for the big tables' sort, with blanks and many equal keys.
  const std::vector<Row> tricky = trickyRows();
  std::vector<Row> rows;
  for (int i = 0; i < 4500; ++i) {
    Row r = tricky[size_t(i % 10)];
    if (i % 7 == 3) r.date = QString("%1.0%2.20%3").arg(10 + i % 19).arg(1 + i % 9).arg(10 + i % 13);
    if (i % 5 == 1) r.w = QString("%1,%2").arg(i % 130).arg(i % 10);
    r.n = i % 97 - 20;
    rows.push_back(r);
  }
  TDbTable t;
  t.setFileName(hv::test::tableWith(rows));
  t.open();
  for (const QString& field : hv::measurementFields()) {
    for (bool descending : {false, true}) {
      SCOPED_TRACE((field + (descending ? " desc" : " asc")).toStdString());
      t.addIndex("tab1", field, descending);
      t.setIndexName("tab1");
      std::vector<qint64> want;
      for (int i : expectedOrder(rows, field, descending)) want.push_back(i);
      ASSERT_EQ(viewBookmarks(t), want);
    }
  }
}

TEST(IndexTags, PostingKeepsTheOrderAndTheIndexFileInStep) {
  const QString path = hv::test::tableWith(trickyRows());
  TDbTable t;
  t.setFileName(path);
  t.open();
  t.addIndex("tab2", "W", true);
  t.setIndexName("tab2");
  t.first();
  EXPECT_EQ(t.fieldText("W"), QString("100,0"));
  t.edit();
  t.setFieldText("W", "1,0");
  t.post();
  // The row keeps its place until the view is refreshed, then moves and stays current.
  EXPECT_EQ(t.rowIndex(), 0);
  t.refresh();
  EXPECT_EQ(t.fieldText("W"), QString("1,0"));
  EXPECT_EQ(t.rowIndex(), 6);  // after 12,55 11,1 10,0 9,5 9.50 2,5
  hv::test::appendRow(t, {55, 0, "01.01.2030", "00:00:00", "555,5", "", "", "", "", ""});
  EXPECT_EQ(t.fieldInt("N"), 55);
  EXPECT_EQ(t.rowIndex(), t.recordCount() - 1);  // shown last until the refresh
  t.refresh();
  EXPECT_EQ(t.fieldInt("N"), 55);
  EXPECT_EQ(t.rowIndex(), 0);
  const auto order = viewBookmarks(t);
  t.close();
  const auto tags = readIndexFile(testPath("t.mdx"));
  ASSERT_EQ(tags.size(), 1u);
  EXPECT_EQ(liveOrder(tags[0], {}), order);

  // Pack renumbers the records; the tags follow.
  t.open();
  t.setIndexName("tab2");
  t.first();
  t.next();
  t.deleteRecord();
  t.pack();
  const auto packed = viewBookmarks(t);
  EXPECT_EQ(packed.size(), order.size() - 1);
  const auto after = readIndexFile(testPath("t.mdx"));
  ASSERT_EQ(after.size(), 1u);
  EXPECT_EQ(liveOrder(after[0], {}), packed);
}

TEST(IndexTags, ManyRowsBuildAMultiLevelTreeThatReadsBack) {
  const QString path = hv::test::createTable();
  TDbTable t;
  t.setFileName(path);
  t.open();
  for (int i = 0; i < 5000; ++i) {  // enough for the radix sort of big tables
    const QDate d = QDate(2020, 1, 1).addDays((i * 7919) % 1500);
    hv::test::appendRow(t, {i % 9999, i % 3, d.toString("dd.MM.yyyy"), QTime(0, 0).addSecs((i * 37) % 86400).toString("hh:mm:ss"),
                            QString::number((i * 13) % 1000 / 10.0, 'f', 1).replace('.', ','), "", "",
                            QString("m%1").arg(i % 17), "", ""});
  }
  t.addIndex("tab1", "DATE", false);
  t.addIndex("tab3", "MATERIAL", true);
  t.addIndex("tab2", "W", true);
  EXPECT_EQ(t.tagNames(), QStringList({"tab1", "tab3", "tab2"}));
  const auto tags = readIndexFile(testPath("t.mdx"));
  ASSERT_EQ(tags.size(), 3u);
  for (const QString name : {"tab1", "tab2", "tab3"}) {
    t.setIndexName(name);
    const auto* in = tagIn(tags, name);
    ASSERT_NE(in, nullptr);
    EXPECT_EQ(liveOrder(*in, {}), viewBookmarks(t)) << name.toStdString();
    // Keys in the tag's direction; equal keys in record order.
    const int len = in->keyLength;
    for (size_t i = 1; i < in->records.size(); ++i) {
      const int c = std::memcmp(in->keys.constData() + (i - 1) * len, in->keys.constData() + i * len, size_t(len));
      ASSERT_TRUE(in->descending ? c >= 0 : c <= 0) << name.toStdString() << " " << i;
      if (c == 0) {
        ASSERT_LT(in->records[i - 1], in->records[i]) << name.toStdString() << " " << i;
      }
    }
  }
  // More rows than one 1024-byte block can hold: a real tree was read.
  EXPECT_GT(QFile(testPath("t.mdx")).size(), 3 * 5000 * 16);
  EXPECT_EQ(tagIn(tags, "tab1")->expression, "SUBSTR(DATE,7,4)+SUBSTR(DATE,4,2)+SUBSTR(DATE,1,2)+TIME");
  EXPECT_EQ(tagIn(tags, "tab3")->expression, "MATERIAL");
  EXPECT_TRUE(tagIn(tags, "tab3")->descending);
}

TEST(IndexTags, DeletingTheLastTagRemovesTheIndexFileAndClearsTheFlag) {
  const QString path = hv::test::tableWith(trickyRows());
  TDbTable t;
  t.setFileName(path);
  t.open();
  EXPECT_EQ(headerFlag(path), 0);
  EXPECT_FALSE(QFile::exists(testPath("t.mdx")));
  t.addIndex("tab1", "N", false);
  t.addIndex("tab2", "DATE", true);
  EXPECT_EQ(headerFlag(path), 1);
  t.setIndexName("tab2");
  t.deleteIndex("nope");  // not an error
  t.deleteIndex("TAB2");
  EXPECT_EQ(t.indexName(), "");  // back to record order
  EXPECT_EQ(viewBookmarks(t).front(), 0);
  ASSERT_EQ(readIndexFile(testPath("t.mdx")).size(), 1u);
  t.deleteIndex("tab1");
  EXPECT_FALSE(QFile::exists(testPath("t.mdx")));
  EXPECT_EQ(headerFlag(path), 0);
  EXPECT_THROW(t.addIndex("tab1", "NOPE", false), hv::Error);
  EXPECT_THROW(t.addIndex("bad name!", "N", false), hv::Error);
}

TEST(IndexTags, AnIndexLeftBehindIsUsedAndAMissingOneFallsBackToRecordOrder) {
  TDbTable t;
  const auto sorted = openSorted(t, "DATE");
  const QString path = t.fileName();
  t.close();

  // Closed without deleting the index (as the exit command does): it is used again.
  t.open();
  EXPECT_EQ(t.indexName(), "tab1");
  EXPECT_EQ(viewBookmarks(t), sorted);
  t.close();

  // The index file went away: record order, and the flag is cleared.
  ASSERT_TRUE(QFile::remove(testPath("t.mdx")));
  EXPECT_EQ(headerFlag(path), 1);
  t.open();
  EXPECT_EQ(t.indexName(), "");
  EXPECT_TRUE(t.tagNames().isEmpty());
  std::vector<qint64> recordOrder;
  for (qint64 i = 0; i < qint64(trickyRows().size()); ++i) recordOrder.push_back(i);
  EXPECT_EQ(viewBookmarks(t), recordOrder);
  t.close();
  EXPECT_EQ(headerFlag(path), 0);

  // An index file that is not one is ignored the same way.
  QByteArray b = hv::test::readFile(path);
  b[28] = 1;
  hv::test::writeFile(path, b);
  hv::test::writeFile(testPath("t.mdx"), QByteArray(5000, 'x'));
  t.setIndexName("tab1");
  t.open();
  EXPECT_EQ(viewBookmarks(t), recordOrder);
  t.close();
  EXPECT_EQ(headerFlag(path), 0);
}

TEST(IndexTags, AStaleIndexFileIsWrittenAgain) {
  const QString path = hv::test::tableWith(trickyRows());
  TDbTable t;
  t.setFileName(path);
  t.open();
  t.addIndex("tab1", "W", false);
  const QByteArray stale = hv::test::readFile(testPath("t.mdx"));
  hv::test::appendRow(t, {77, 0, "01.01.2001", "01:01:01", "50,0", "", "", "", "", ""});
  t.close();
  // As if the process had stopped before writing the index again.
  hv::test::writeFile(testPath("t.mdx"), stale);
  t.open();
  t.setIndexName("tab1");
  const auto order = viewBookmarks(t);
  t.close();
  const auto tags = readIndexFile(testPath("t.mdx"));
  ASSERT_EQ(tags.size(), 1u);
  EXPECT_EQ(liveOrder(tags[0], {}), order);
  EXPECT_EQ(order.size(), trickyRows().size() + 1);
}

TEST(IndexTags, AnIndexFileThatCannotBeWrittenLeavesTagsAndOrderAsTheyWere) {
  TDbTable t;
  const auto sorted = openSorted(t, "N");
  auto unchanged = [&](const char* what) {
    EXPECT_TRUE(t.active()) << what;
    EXPECT_EQ(t.tagNames(), QStringList({"tab1"})) << what;
    EXPECT_EQ(t.indexName(), "tab1") << what;
    EXPECT_EQ(viewBookmarks(t), sorted) << what;
    t.refresh();
    EXPECT_EQ(viewBookmarks(t), sorted) << what;
  };
  // A folder in the index file's place.
  ASSERT_TRUE(QFile::remove(testPath("t.mdx")));
  ASSERT_TRUE(QDir().mkdir(testPath("t.mdx")));
  EXPECT_THROW(t.addIndex("tab2", "DATE", true), hv::Error);
  unchanged("new tag");
  EXPECT_THROW(t.addIndex("tab1", "W", true), hv::Error);
  unchanged("the shown tag replaced");

  // A full disk.
  ASSERT_TRUE(QDir().rmdir(testPath("t.mdx")));
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 1000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  EXPECT_THROW(t.addIndex("tab2", "DATE", true), hv::Error);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);
  unchanged("disk full");
  EXPECT_EQ(QDir(hv::test::testDir()).entryList(QDir::Files | QDir::Hidden), QStringList({"t.db"}));

  // Closing with an index that cannot be written closes and says so, without throwing.
  ASSERT_TRUE(QDir().mkdir(testPath("t.mdx")));
  t.first();
  const auto edited = t.bookmark();
  t.edit();
  t.setFieldInt("N", 1000);
  t.post();
  EXPECT_NO_THROW(t.close());
  EXPECT_FALSE(t.active());
  EXPECT_FALSE(t.closeProblem().isEmpty());
  t.open();  // the flag names an index that is not one: record order
  EXPECT_EQ(t.indexName(), "");
  EXPECT_EQ(t.fieldTextAt(edited, "N"), QString("1000"));
  t.close();
  EXPECT_TRUE(t.closeProblem().isEmpty());
}

TEST(IndexTags, AnIndexFileReadsNoFurtherThanItsHeaderAndTheRowsAccountFor) {
  TDbTable t;
  const auto sorted = openSorted(t, "DATE");
  const QString path = t.fileName();
  t.close();  // kept, as after the exit command
  const QString mdx = testPath("t.mdx");
  const QByteArray good = hv::test::readFile(mdx);
  const QByteArray table = hv::test::readFile(path);
  ASSERT_EQ(table.at(28), 1);
  auto opensInRecordOrder = [&](const char* what) {
    hv::test::writeFile(path, table);  // the flag set again
    t.setIndexName("tab1");
    ::alarm(30);  // a read that blocks ends the test here
    t.open();
    ::alarm(0);
    EXPECT_EQ(t.indexName(), "") << what;
    EXPECT_EQ(viewBookmarks(t).front(), 0) << what;
    t.close();
    EXPECT_EQ(headerFlag(path), 0) << what;
    QFile::remove(mdx);
  };
  QFile::remove(mdx);
  ASSERT_EQ(::mkfifo(QFile::encodeName(mdx).constData(), 0600), 0);
  opensInRecordOrder("a pipe");
  ASSERT_TRUE(QFile::link("/dev/zero", mdx));
  opensInRecordOrder("a device");
  hv::test::writeFile(mdx, good.left(good.size() - 512));
  opensInRecordOrder("shorter than its header says");
  {
    // A tag with far more keys than the table has rows.
    const QString big = testPath("big.db");
    std::vector<Row> many(5000, trickyRows()[0]);
    hv::test::tableWith(many, "big.db");
    TDbTable b;
    b.setFileName(big);
    b.open();
    b.addIndex("tab1", "DATE", false);
    b.close();
    ASSERT_TRUE(QFile::rename(testPath("big.mdx"), mdx));
  }
  opensInRecordOrder("more keys than rows");

  // Gigabytes of nothing after an index: only what the header describes is
  // read, so it is used, in little memory.
  hv::test::writeFile(mdx, good);
  ASSERT_TRUE(QFile::resize(mdx, qint64(3) << 30));
  hv::test::writeFile(path, table);
  const int status = hv::test::inChildWithLittleMemory([&] {
    TDbTable c;
    c.setFileName(path);
    c.setIndexName("tab1");
    c.open();
    return c.indexName() == "tab1" && viewBookmarks(c) == sorted ? 0 : 1;
  });
  if (status == hv::test::kNoMemoryLimit) GTEST_SKIP() << "no address space limit under the sanitizer";
  EXPECT_EQ(status, 0);
}
