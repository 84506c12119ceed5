// The archives as CSV, read back by other programs: Python's csv module for
// both presets, LibreOffice for the Excel one.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStandardPaths>

#include "export/csv_export.h"
#include "platform/error.h"
#include "store/db_table.h"
#include "support/measurement_table.h"
#include "support/test_support.h"

namespace {

using hv::CsvPreset;
using hv::test::Row;

// Wood rows with everything a CSV writer can get wrong, and one of concrete.
QString trickyTable() {
  QList<Row> rows;
  Row r = hv::test::single(1, 0, "01.04.2007", "10:00:00", "12,5");
  r.comment = QStringLiteral("с запятой, и; точкой с запятой");
  rows << r;
  r = hv::test::ranged(2, 0, "02.04.2007", "11:30:05", "8.0", "15,5");
  r.nInd = QStringLiteral("**");
  r.comment = QStringLiteral("кавычки \"вот\" тут");
  rows << r;
  r = hv::test::single(3, 0, "31.04.2007", "09:00:00", "7,0");
  r.nInd = QStringLiteral("12");
  r.comment = QStringLiteral("две\nстроки и\r\nещё");
  rows << r;
  r = hv::test::single(4, 0, "", "", "");
  r.material.clear();
  rows << r;
  r = hv::test::single(5, 1, "05.05.2008", "23:59:59", "30,1");
  r.material = QStringLiteral("Бетон");
  rows << r;
  const QString path = hv::test::testPath(QStringLiteral("t.db"));
  hv::test::writeTable(path, rows);
  return path;
}

void openSorted(hv::TDbTable& t, const QString& path) {
  t.setFileName(path);
  t.open();
  t.setFiltered(true);
  t.setFilter(hv::archiveFilter(hv::ArchiveKind::Wood));
  t.addIndex(hv::archiveTag(hv::ArchiveKind::Wood), QStringLiteral("DATE"), true);
  t.setIndexName(hv::archiveTag(hv::ArchiveKind::Wood));
  t.refresh();
  t.first();
}

QString withDecimal(QString moisture, QChar decimal) {
  return moisture.replace(QChar(','), decimal).replace(QChar('.'), decimal);
}

// What the file must say of the view's rows, from the table's own values.
QList<QStringList> expectedRows(hv::TDbTable& t, QChar decimal) {
  QList<QStringList> rows;
  for (int i = 0; i < t.recordCount(); ++i) {
    const auto b = t.bookmarkAtRow(i);
    const auto field = [&](const char* f) { return t.fieldTextAt(b, QString::fromLatin1(f)).value_or(QString()); };
    const QDateTime when =
        QDateTime::fromString(field("DATE") + ' ' + field("TIME"), QStringLiteral("dd.MM.yyyy HH:mm:ss"));
    rows << QStringList{field("N").trimmed(),
                        field("DATE"),
                        field("TIME"),
                        when.isValid() ? when.toString(Qt::ISODate) : QString(),
                        withDecimal(field("W"), decimal),
                        withDecimal(field("W_MIN"), decimal),
                        withDecimal(field("W_MAX"), decimal),
                        field("MATERIAL"),
                        field("N_IND"),
                        field("COMMENT")};
  }
  return rows;
}

// The file's records as a reader gives them.
QList<QStringList> records(const QByteArray& json) {
  QList<QStringList> out;
  for (const QJsonValue& row : QJsonDocument::fromJson(json).array()) out << row.toVariant().toStringList();
  return out;
}

QList<QStringList> readWithPython(const QString& file, char delimiter) {
  const hv::test::ProcessResult r = hv::test::runPython(
      QStringLiteral("import csv, json, sys\n"
                     "with open(sys.argv[1], newline='', encoding='utf-8-sig') as f:\n"
                     "    print(json.dumps(list(csv.reader(f, delimiter=sys.argv[2], strict=True))))\n"),
      {file, QString(QChar(delimiter))});
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
  return records(r.out);
}

TEST(CsvExport, PythonReadsBothPresetsBackToTheTableValues) {
  const QString db = trickyTable();
  for (CsvPreset preset : {CsvPreset::Excel, CsvPreset::Analysis}) {
    SCOPED_TRACE(hv::csvPresetKey(preset).toStdString());
    hv::TDbTable t;
    openSorted(t, db);
    const QString out = hv::test::testPath(hv::csvPresetKey(preset) + QStringLiteral(".csv"));
    ASSERT_TRUE(hv::exportArchivesToCsv(t, {{hv::ArchiveKind::Wood, out}}, preset));

    const hv::CsvFormat format = hv::csvFormat(preset);
    const QByteArray bytes = hv::test::readFile(out);
    EXPECT_EQ(bytes.startsWith("\xEF\xBB\xBF"), preset == CsvPreset::Excel);
    const qsizetype eol = bytes.indexOf('\n');
    ASSERT_GT(eol, 0);
    EXPECT_EQ(bytes[eol - 1] == '\r', preset == CsvPreset::Excel);
    const QList<QStringList> read = readWithPython(out, format.delimiter);
    const QList<QStringList> expected = expectedRows(t, QChar(format.decimal));
    ASSERT_EQ(read.size(), expected.size() + 1);
    EXPECT_EQ(read[0].size(), 10);
    EXPECT_EQ(read[0].first(), QStringLiteral("N"));
    EXPECT_EQ(read[0].last(), QStringLiteral("Примечание"));
    EXPECT_EQ(read.mid(1), expected);
    // The grid's order (by date, descending), not the file's; blanks empty, never 0.
    EXPECT_EQ(read[1][0], QStringLiteral("3"));
    EXPECT_EQ(read.last()[0], QStringLiteral("4"));
    EXPECT_EQ(read.last().mid(1, 6), QStringList(6, QString()));
    if (preset == CsvPreset::Analysis)
      for (const QStringList& row : read.mid(1))
        for (int c = 4; c < 7; ++c) {
          bool number = row[c].isEmpty();
          if (!number) row[c].toDouble(&number);
          EXPECT_TRUE(number) << row[c].toStdString();
        }
  }
}

TEST(CsvExport, LibreOfficeReadsTheExcelPresetAsExcelWould) {
  const QString office = QStandardPaths::findExecutable(QStringLiteral("soffice"));
  if (office.isEmpty()) GTEST_SKIP() << "LibreOffice (soffice, package libreoffice-calc-nogui) is not installed";
  hv::TDbTable t;
  openSorted(t, trickyTable());
  const QString out = hv::test::testPath(QStringLiteral("excel.csv"));
  ASSERT_TRUE(hv::exportArchivesToCsv(t, {{hv::ArchiveKind::Wood, out}}, CsvPreset::Excel));
  // Read as Calc set to Russian reads it (';', UTF-8, decimal comma), written back
  // with ',' and the decimal point: a moisture that arrives as "12.5" was taken as a number.
  const hv::test::ProcessResult r = hv::test::runProcess(
      office,
      {QStringLiteral("--headless"), QStringLiteral("--norestore"),
       QStringLiteral("-env:UserInstallation=file://") + hv::test::testPath(QStringLiteral("office")),
       QStringLiteral("--infilter=CSV:59,34,76,1,,1049,false,false"), QStringLiteral("--convert-to"),
       QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76,1,,1049,true,true,true"), QStringLiteral("--outdir"),
       hv::test::testPath(QStringLiteral("office-out")), out},
      300000);
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  const QList<QStringList> read =
      readWithPython(hv::test::testPath(QStringLiteral("office-out/excel.csv")), ',');
  ASSERT_FALSE(read.isEmpty());
  EXPECT_EQ(read[0].last(), QStringLiteral("Примечание"));
  // Calc writes a number in its own shortest form (7.0 comes back as 7) and
  // keeps a line break in a cell as LF.
  const auto asCalcKeepsThem = [](QList<QStringList> rows) {
    for (QStringList& row : rows) {
      for (int c = 4; c < 7 && c < row.size(); ++c)
        if (!row[c].isEmpty()) row[c] = QString::number(row[c].toDouble());
      if (!row.isEmpty()) row.last().replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    }
    return rows;
  };
  EXPECT_EQ(asCalcKeepsThem(read.mid(1)), asCalcKeepsThem(expectedRows(t, QChar('.'))));
}

TEST(CsvExport, AllArchivesGoToFilesOfTheirOwnReplacedOnlyWhenAllAreComplete) {
  hv::TDbTable t;
  openSorted(t, trickyTable());
  t.next();
  const auto before = t.bookmark();
  const QString name = hv::test::testPath(QStringLiteral("имя.csv"));
  const std::vector<hv::CsvTarget> targets =
      hv::csvTargets(name, {hv::kArchiveKinds.begin(), hv::kArchiveKinds.end()});
  ASSERT_EQ(targets.size(), 3u);
  EXPECT_EQ(targets[0].fileName, hv::test::testPath(QStringLiteral("имя_Древесные.csv")));
  EXPECT_EQ(targets[2].fileName, hv::test::testPath(QStringLiteral("имя_Сыпучие.csv")));
  for (const hv::CsvTarget& target : targets) hv::test::writeFile(target.fileName, "old");
  const QStringList filesBefore = QDir(hv::test::testDir()).entryList(QDir::Files | QDir::Hidden);

  // Stopped in the second archive: every target as it was, no temporary left.
  int calls = 0;
  EXPECT_FALSE(hv::exportArchivesToCsv(t, targets, CsvPreset::Analysis, [&](qint64 done, qint64 total) {
    EXPECT_LE(done, total);
    return ++calls < 3;
  }));
  for (const hv::CsvTarget& target : targets) EXPECT_EQ(hv::test::readFile(target.fileName), "old");
  EXPECT_EQ(QDir(hv::test::testDir()).entryList(QDir::Files | QDir::Hidden), filesBefore);

  // A target that cannot be written: the others are not replaced either.
  std::vector<hv::CsvTarget> blocked = targets;
  blocked[2].fileName = hv::test::testPath(QStringLiteral("нет/такой.csv"));
  EXPECT_THROW(hv::exportArchivesToCsv(t, blocked, CsvPreset::Analysis), hv::Error);
  EXPECT_EQ(hv::test::readFile(targets[0].fileName), "old");

  ASSERT_TRUE(hv::exportArchivesToCsv(t, targets, CsvPreset::Analysis));
  EXPECT_EQ(readWithPython(targets[1].fileName, ',').size(), 2);
  EXPECT_EQ(readWithPython(targets[2].fileName, ',').size(), 1);  // an empty archive: the captions only
  EXPECT_EQ(QDir(hv::test::testDir()).entryList(QDir::Files | QDir::Hidden), filesBefore);
  // The view the grids show is left as it was.
  EXPECT_EQ(t.filter(), hv::archiveFilter(hv::ArchiveKind::Wood));
  EXPECT_EQ(t.bookmark(), before);
  EXPECT_EQ(t.recordCount(), 4);
}

}  // namespace
