// Other tools: python3-dbf reads our tables and writes ones we read; the
// command-line dump.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "platform/error.h"
#include "store/db_table.h"
#include "store_test_util.h"
#include "support/test_support.h"

using hv::TDbTable;
using hv::test::Row;
using hv::test::testPath;

namespace {

std::vector<Row> mixedRows() {
  return {
      {1, 0, "05.03.2024", "12:30:05", "10,0", "", "", "Сосна", "3", ""},
      {2, 0, "06.03.2024", "08:00:00", "9,5", "", "", "Ель", "", "у окна"},
      {1, 1, "01.01.2023", "00:00:01", "", "1,5", "2,5", "Бетон М200", "", ""},
      {-7, 2, "31.12.2025", "10:10:10", "0,0", "", "", "Песок «речной»", "12", "ё"},
      {3, 0, "01.03.2024", "09:00:00", "", "", "", "", "", ""},
  };
}

QStringList rowCells(const Row& r) {
  return {QString::number(r.n), QString::number(r.arc), r.date, r.time, r.w, r.wMin, r.wMax, r.material, r.nInd, r.comment};
}

// What dump prints of a row: as stored, but moisture with the decimal point
// and the date as ISO 8601.
QStringList dumpCells(const Row& r) {
  QStringList c = rowCells(r);
  const QStringList day = c[2].split('.');
  c[2] = day[2] + '-' + day[1] + '-' + day[0];
  for (int f = 4; f <= 6; ++f) c[f].replace(',', '.');
  return c;
}

hv::test::ProcessResult dump(const QStringList& args) {
  return hv::test::runProcess(hv::test::toolPath("hygrovan-cli"), QStringList{"dump"} + args);
}

QStringList dumpLines(const QStringList& args) {
  const auto r = dump(args);
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
  QStringList lines = QString::fromUtf8(r.out).split('\n');
  EXPECT_EQ(lines.takeLast(), "");  // every row ends with a line break
  return lines;
}

}  // namespace

TEST(Interop, PythonDbfReadsEveryFieldOfOurTable) {
  const auto rows = mixedRows();
  const QString path = hv::test::tableWith(rows);
  TDbTable t;
  t.setFileName(path);
  t.open();
  t.moveToRow(1);
  t.deleteRecord();
  t.close();
  ASSERT_TRUE(QFile::link(path, testPath("copy.dbf")));
  const auto r = hv::test::runPython(R"(
import dbf, json, sys
t = dbf.Table(sys.argv[1])
t.open(dbf.READ_ONLY)
rows = [[(v.rstrip() if isinstance(v, str) else v) for v in (r[i] for i in range(len(t.field_names)))] + [dbf.is_deleted(r)] for r in t]
out = {'fields': list(t.field_names), 'codepage': t.codepage.name, 'rows': rows}
sys.stdout.buffer.write(json.dumps(out, ensure_ascii=False).encode('utf-8'))
)",
                                     {testPath("copy.dbf")});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  const QJsonObject o = QJsonDocument::fromJson(r.out).object();
  EXPECT_EQ(o["codepage"].toString(), "cp1251");
  QStringList fields;
  for (const auto& f : o["fields"].toArray()) fields << f.toString().toUpper();
  EXPECT_EQ(fields, hv::measurementFields());
  const QJsonArray got = o["rows"].toArray();
  ASSERT_EQ(got.size(), int(rows.size()));
  for (int i = 0; i < got.size(); ++i) {
    const QJsonArray g = got[i].toArray();
    const QStringList want = rowCells(rows[size_t(i)]);
    EXPECT_EQ(g[0].toInt(), rows[size_t(i)].n) << i;
    EXPECT_EQ(g[1].toInt(), rows[size_t(i)].arc) << i;
    for (int f = 2; f < 10; ++f) EXPECT_EQ(g[f].toString(), want[f]) << i << " " << f;
    EXPECT_EQ(g[10].toBool(), i == 1) << "deletion mark of row " << i;
  }
}

TEST(Interop, ATableWrittenByPythonDbfOpensInOurs) {
  const auto r = hv::test::runPython(R"(
import dbf, sys
t = dbf.Table(sys.argv[1], 'N N(4,0); N_ARC N(4,0); DATE C(10); TIME C(8); W C(6); W_MIN C(6); W_MAX C(6); MATERIAL C(50); N_IND C(2); COMMENT C(50)', codepage='cp1251', dbf_type='db3')
t.open(dbf.READ_WRITE)
t.append((1, 0, '05.03.2024', '12:30:05', '12,5', '', '', 'Сосна', '3', ''))
t.append((9, 1, '06.03.2024', '13:00:00', '', '', '', 'удалить', '', ''))
t.append((-2, 2, '07.03.2024', '14:00:00', '', '1,0', '2,0', 'Песок', '', 'примечание'))
dbf.delete(t[1])
t.close()
)",
                                     {testPath("py.dbf")});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  ASSERT_TRUE(QFile::copy(testPath("py.dbf"), testPath("py.db")));
  TDbTable t;
  t.setFileName(testPath("py.db"));
  t.open();
  EXPECT_EQ(hv::test::viewRows(t), QStringList({"1|0|05.03.2024|12:30:05|12,5|-|-|Сосна|3|-",
                                                "-2|2|07.03.2024|14:00:00|-|1,0|2,0|Песок|-|примечание"}));
  // Our changes to it read back in python3-dbf.
  hv::test::appendRow(t, {4, 0, "08.03.2024", "15:00:00", "7,5", "", "", "Ель", "", ""});
  t.pack();
  t.close();
  QFile::remove(testPath("py.dbf"));
  ASSERT_TRUE(QFile::copy(testPath("py.db"), testPath("py.dbf")));
  const auto back = hv::test::runPython(R"(
import dbf, sys
t = dbf.Table(sys.argv[1])
t.open(dbf.READ_ONLY)
sys.stdout.buffer.write(';'.join('%d,%s' % (r[0], r[7].rstrip()) for r in t).encode('utf-8'))
)",
                                        {testPath("py.dbf")});
  ASSERT_EQ(back.exitCode, 0) << back.err.toStdString();
  EXPECT_EQ(QString::fromUtf8(back.out), "1,Сосна;-2,Песок;4,Ель");
}

TEST(Interop, TablesInOtherCodePagesAreReadAndWrittenInTheirOwn) {
  // python3-dbf writes one table per code page; ours reads each and adds a
  // row, which python3-dbf reads back in the same code page.
  const struct {
    const char* codec;
    QString theirs, ours, stored;  // `ours` holds a character the code page lacks
  } pages[] = {{"cp866", "Берёза №5", "Ёлка €", "Ёлка ?"},
               {"cp1252", "Café Ægir", "Müller Ж", "Müller ?"},
               {"cp437", "Straße ñ", "Ärger Ж", "Ärger ?"}};
  for (const auto& page : pages) {
    const QString path = testPath(QString("%1.dbf").arg(page.codec));
    const QString fields = "N N(4,0); N_ARC N(4,0); DATE C(10); TIME C(8); W C(6); W_MIN C(6); W_MAX C(6); "
                           "MATERIAL C(50); N_IND C(2); COMMENT C(50)";
    auto r = hv::test::runPython(R"(
import dbf, sys
t = dbf.Table(sys.argv[1], sys.argv[2], codepage=sys.argv[3], dbf_type='db3')
t.open(dbf.READ_WRITE)
t.append((1, 0, '05.03.2024', '12:30:05', '12,5', '', '', sys.argv[4], '', ''))
t.close()
)",
                                 {path, fields, page.codec, page.theirs});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QByteArray driver = hv::test::readFile(path).mid(29, 1);
    TDbTable t;
    t.setFileName(path);
    t.open();
    EXPECT_EQ(hv::test::viewRows(t), QStringList({"1|0|05.03.2024|12:30:05|12,5|-|-|" + page.theirs + "|-|-"}))
        << page.codec;
    hv::test::appendRow(t, {2, 1, "06.03.2024", "13:00:00", "3,0", "", "", page.ours, "", page.theirs});
    t.close();
    EXPECT_EQ(hv::test::readFile(path).mid(29, 1), driver) << page.codec;
    r = hv::test::runPython(R"(
import dbf, sys
t = dbf.Table(sys.argv[1])
t.open(dbf.READ_ONLY)
sys.stdout.buffer.write((t.codepage.name + ';' + ';'.join(r[7].rstrip() + '|' + r[9].rstrip() for r in t)).encode('utf-8'))
)",
                            {path});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(QString::fromUtf8(r.out), QString("%1;%2|;%3|%2").arg(page.codec, page.theirs, page.stored));
  }

  // Unmarked reads as Windows-1251; a code page we do not know is refused, saying so.
  const QString path = hv::test::tableWith({{1, 0, "", "", "", "", "", "Сосна", "", ""}});
  QByteArray b = hv::test::readFile(path);
  b[29] = 0;
  hv::test::writeFile(path, b);
  TDbTable t;
  t.setFileName(path);
  t.open();
  EXPECT_EQ(t.fieldText("MATERIAL"), QString("Сосна"));
  t.close();
  b[29] = char(0xC8);  // Windows 1250
  hv::test::writeFile(path, b);
  try {
    t.open();
    ADD_FAILURE() << "opened a table in code page 1250";
  } catch (const hv::Error& e) {
    EXPECT_TRUE(e.text().contains(QStringLiteral("кодовая страница")) && e.text().contains("0xC8") && e.text().contains(path))
        << e.text().toStdString();
  }
}

TEST(CliDump, PrintsRowsAsTabSeparatedTextInTheAskedOrder) {
  const auto rows = mixedRows();
  const QString path = hv::test::tableWith(rows);
  {
    TDbTable t;
    t.setFileName(path);
    t.open();
    t.last();
    t.deleteRecord();  // the blank row: never printed
  }
  const QByteArray before = hv::test::readFile(path);
  QStringList all;
  for (size_t i = 0; i + 1 < rows.size(); ++i) all << dumpCells(rows[i]).join('\t');
  EXPECT_EQ(dumpLines({path}), all);
  EXPECT_EQ(dumpLines({path, "--archive", "0"}), QStringList({all[0], all[1]}));
  EXPECT_EQ(dumpLines({path, "--archive", "5"}), QStringList());
  EXPECT_EQ(dumpLines({path, "--sort", "W"}), QStringList({all[2], all[3], all[1], all[0]}));
  EXPECT_EQ(dumpLines({path, "--sort", "W", "--desc"}), QStringList({all[0], all[1], all[3], all[2]}));
  EXPECT_EQ(dumpLines({path, "--archive", "0", "--sort", "DATE", "--desc"}), QStringList({all[1], all[0]}));
  EXPECT_EQ(dumpLines({path, "--sort", "n"}), QStringList({all[3], all[0], all[2], all[1]}));
  // A read-only copy works, and nothing is written or left beside it.
  const QString copy = testPath("ro.db");
  ASSERT_TRUE(QFile::copy(path, copy));
  QFile::setPermissions(copy, QFileDevice::ReadOwner | QFileDevice::ReadGroup);
  EXPECT_EQ(dumpLines({copy, "--sort", "DATE"}), QStringList({all[2], all[0], all[1], all[3]}));
  EXPECT_FALSE(QFile::exists(testPath("ro.mdx")));
  EXPECT_FALSE(QFile::exists(testPath("t.mdx")));
  EXPECT_EQ(hv::test::readFile(path), before);
  // Wrong use.
  EXPECT_EQ(dump({}).exitCode, 2);
  EXPECT_EQ(dump({path, "--sort", "NOPE"}).exitCode, 2);
  EXPECT_EQ(dump({path, "--desc"}).exitCode, 2);
  EXPECT_EQ(dump({testPath("missing.db")}).exitCode, 1);
}
