// What keeps a table from being written where it must not be: names whose
// index or backup would be the table itself, another program's file under
// the table's name, the index flag, and renumbering all or nothing.
#include <gtest/gtest.h>

#include <QFile>

#include "platform/error.h"
#include "store/db_table.h"
#include "store/table_errors.h"
#include "store_test_util.h"
#include "support/test_support.h"

using hv::TDbTable;
using hv::test::readFile;
using hv::test::Row;
using hv::test::testPath;

namespace {

const std::vector<Row> kRows = {
    {1, 0, "05.03.2024", "12:30:05", "12,5", "", "", "Сосна", "", ""},
    {2, 0, "06.03.2024", "08:00:00", "", "9,5", "10,0", "Ель", "", ""},
    {1, 1, "01.01.2023", "00:00:01", "3,0", "", "", "Бетон", "", ""},
};

TEST(TableSafety, ANameWhoseIndexOrBackupIsTheTableItselfIsRefusedUntouched) {
  for (const QString name : {"a.mdx", "b.MDX", "c.Bak"}) {
    TDbTable t;
    t.setFileName(testPath(name));
    try {
      t.createTable();
      ADD_FAILURE() << "created " << name.toStdString();
    } catch (const hv::Error& e) {
      EXPECT_TRUE(e.text().contains(name)) << e.text().toStdString();
    }
    EXPECT_FALSE(QFile::exists(testPath(name)));
  }
  // A table renamed so by hand is not opened (a sort would write the index over it).
  const QByteArray table = readFile(hv::test::tableWith(kRows));
  hv::test::writeFile(testPath("d.mdx"), table);
  TDbTable t;
  t.setFileName(testPath("d.mdx"));
  EXPECT_THROW(t.open(), hv::Error);
  EXPECT_EQ(readFile(testPath("d.mdx")), table);
}

TEST(TableSafety, RemovingTheIndexFileClearsTheHeadersFlag) {
  const QString path = hv::test::tableWith(kRows);
  TDbTable t;
  t.setFileName(path);
  t.open();
  t.addIndex("tab1", "W", false);
  t.setIndexName("tab1");
  EXPECT_EQ(readFile(path).at(28), 1);
  t.removeIndexFile();
  t.close();
  EXPECT_EQ(readFile(path).at(28), 0);
  EXPECT_FALSE(QFile::exists(TDbTable::mdxPathFor(path)));
}

// Another program (here mv and cp) puts its file under the open table's
// name, or writes it over the table in place.
TEST(TableSafety, AFileAnotherProgramPutUnderTheNameIsNeverWrittenInto) {
  const QString path = hv::test::tableWith(kRows);
  const QString other = hv::test::tableWith({kRows[2], kRows[1], kRows[0], kRows[0]}, "other.db");
  const QByteArray theirs = readFile(other);
  for (const bool inPlace : {false, true}) {
    SCOPED_TRACE(inPlace ? "written over in place" : "renamed over");
    hv::test::tableWith(kRows);
    TDbTable t;
    t.setFileName(path);
    t.open();
    t.first();
    t.edit();
    t.setFieldText("COMMENT", "сухая");
    const auto r = hv::test::runProcess("/bin/cp",
                                        inPlace ? QStringList{other, path} : QStringList{other, path + ".new"});
    ASSERT_EQ(r.exitCode, 0);
    if (!inPlace) {
      ASSERT_EQ(hv::test::runProcess("/bin/mv", {path + ".new", path}).exitCode, 0);
    }
    try {
      t.post();
      ADD_FAILURE() << "posted into another program's file";
    } catch (const hv::TableReplacedError& e) {
      EXPECT_TRUE(e.text().contains(path));
      EXPECT_EQ(e.ownCopyIntact(), !inPlace);
    }
    EXPECT_THROW(t.pack(), hv::TableReplacedError);
    EXPECT_EQ(readFile(path), theirs);
    // What can still be saved elsewhere: every row, or only the edited one.
    t.saveCopyAs(testPath("copy.db"), inPlace);
    TDbTable copy;
    copy.setFileName(testPath("copy.db"));
    copy.open();
    EXPECT_EQ(copy.recordCount(), inPlace ? 1 : 3);
    copy.first();
    EXPECT_EQ(copy.fieldText("COMMENT"), "сухая");
    EXPECT_EQ(copy.fieldText("MATERIAL"), "Сосна");
  }
}

TEST(TableSafety, RenumberingChecksTheFieldFirstThenWritesEveryNumberAtOnce) {
  const QString path = hv::test::tableWith(kRows);
  TDbTable t;
  t.setFileName(path);
  t.open();
  EXPECT_EQ(t.fieldMaximum("N"), 9999);
  const QByteArray before = readFile(path);
  EXPECT_THROW(t.numberRecords("N", std::vector<TDbTable::Bookmark>(10000, 0)), hv::Error);
  EXPECT_EQ(readFile(path), before);
  t.numberRecords("N", {2, 0});
  EXPECT_EQ(hv::test::viewNumbers(t), (std::vector<int>{2, 2, 1}));
  t.close();
  t.open();
  EXPECT_EQ(hv::test::viewNumbers(t), (std::vector<int>{2, 2, 1}));
}

// The backup's digest does not depend on how the bytes come in pieces, and
// one changed byte anywhere changes it.
TEST(TableSafety, TheBackupDigestFollowsTheBytesNotThePieces) {
  QByteArray bytes(1000, '\0');
  for (int i = 0; i < bytes.size(); ++i) bytes[i] = char(i * 7 + i / 13);
  const auto digestOf = [](const QByteArray& b, int piece) {
    hv::store::ContentDigest d;
    for (int at = 0; at < b.size(); at += piece) d.add(b.constData() + at, size_t(std::min(piece, int(b.size()) - at)));
    return d.result();
  };
  const QByteArray whole = digestOf(bytes, int(bytes.size()));
  for (int piece : {1, 5, 31, 32, 33, 100}) EXPECT_EQ(digestOf(bytes, piece), whole) << piece;
  for (int at : {0, 31, 500, 999}) {
    QByteArray changed = bytes;
    changed[at] = char(changed[at] ^ 1);
    EXPECT_NE(digestOf(changed, 7), whole) << at;
  }
  EXPECT_NE(digestOf(bytes.left(999), 7), digestOf(bytes.left(999) + '\0', 7));
}

}  // namespace
