// The report over a real table: the rows its filter lets through, in its
// order; and the command-line PDF checked through pdftotext.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include "platform/error.h"
#include "report/report_builder.h"
#include "report/table_data_link.h"
#include "store/db_table.h"
#include "support/measurement_table.h"
#include "support/test_support.h"

using namespace hv::report;

namespace {

struct Rec {
  int n, arc;
  const char* w;
  const char* wmin;
  const char* wmax;
  const char* material;
  const char* nind;
};

// Concrete rows (archive 1) mixed with wood and bulk rows, in record order.
const Rec kRecords[] = {
    {1, 0, "11,0", nullptr, nullptr, "Сосна", nullptr},
    {1, 1, "3,5", nullptr, nullptr, "Бетон тяжелый", "2"},
    {2, 1, nullptr, "2,1", "4,8", "Бетон легкий", nullptr},
    {2, 0, "12,4", nullptr, nullptr, "Ель", nullptr},
    {3, 1, "5,0", nullptr, nullptr, "Кирпич", "12"},
    {1, 2, "7,7", nullptr, nullptr, "Песок", nullptr},
    {4, 1, "6,2", nullptr, nullptr, "Газобетон", nullptr},
};

QString makeTable() {
  const QString path = hv::test::testPath("archive.db");
  QList<hv::test::Row> written;
  int i = 0;
  for (const Rec& r : kRecords) {
    written.append({r.n, r.arc, QString("%1.05.2024").arg(10 + i, 2, 10, QChar('0')), QString("09:%1:00").arg(10 + i),
                    QString::fromUtf8(r.w), QString::fromUtf8(r.wmin), QString::fromUtf8(r.wmax),
                    QString::fromUtf8(r.material), QString::fromUtf8(r.nind), {}});
    ++i;
  }
  hv::test::writeTable(path, written);
  return path;
}

QStringList column(const BuiltReport& rep, int element) {
  QStringList out;
  for (const Page& p : rep.pages)
    for (const PageItem& it : p.items)
      if (it.band == BandKind::Detail && it.element == element) out << it.text;
  return out;
}

}  // namespace

TEST(TableReport, PrintsTheFilteredArchiveInTheTablesOrderWithoutMovingIt) {
  const QString path = makeTable();
  hv::TDbTable t;
  t.setFileName(path);
  t.open();
  t.setFilter("N_ARC=1");
  t.setFiltered(true);
  t.refresh();
  t.first();
  t.next();  // the grid's current row stays where the user left it
  const auto where = t.bookmark();

  TableDataLink link(t);
  BuiltReport rep = *buildReport(archiveReportTemplate(), link);
  EXPECT_EQ(column(rep, 0), QStringList({"1", "2", "3", "4"}));
  EXPECT_EQ(column(rep, 6), QStringList({"Бетон тяжелый", "Бетон легкий", "Кирпич", "Газобетон"}));
  // A range row: empty W cell, both range values.
  EXPECT_EQ(column(rep, 3), QStringList({"3,5", "", "5,0", "6,2"}));
  EXPECT_EQ(column(rep, 4), QStringList({"", "2,1", "", ""}));
  EXPECT_EQ(column(rep, 5), QStringList({"", "4,8", "", ""}));
  EXPECT_EQ(t.bookmark(), where);

  // The grid's sort: N descending through its tag.
  t.addIndex("tab2", "N", true);
  t.setIndexName("tab2");
  t.refresh();
  rep = *buildReport(archiveReportTemplate(), link);
  EXPECT_EQ(column(rep, 0), QStringList({"4", "3", "2", "1"}));

  t.setFilter("N_ARC=2");
  t.refresh();
  rep = *buildReport(archiveReportTemplate(), link);
  EXPECT_EQ(column(rep, 6), QStringList({"Песок"}));
  t.close();

  // A closed table is an error, not an empty report.
  EXPECT_THROW(buildReport(archiveReportTemplate(), link), hv::Error);
}

TEST(TableReport, CommandLinePdfSortedByNDescending) {
  const QString path = makeTable();
  const QString pdf = hv::test::testPath("concrete.pdf");
  auto r = hv::test::runProcess(hv::test::toolPath("hygrovan-cli"),
                                {"report", path, "--archive", "1", "--sort", "N", "--desc", pdf});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  EXPECT_FALSE(QFile::exists(hv::TDbTable::mdxPathFor(path)));  // no index left behind

  auto text = hv::test::runProcess("pdftotext", {"-layout", pdf, "-"});
  ASSERT_EQ(text.exitCode, 0) << text.err.toStdString();
  const QString out = QString::fromUtf8(text.out);
  const QStringList lines = out.split('\n');
  // Data lines start with the row number; find them in order.
  QStringList dataLines;
  for (const QString& l : lines)
    if (QRegularExpression(R"(^\s*\d+\s+\d\d\.05\.2024)").match(l).hasMatch()) dataLines << l.simplified();
  ASSERT_EQ(dataLines.size(), 4) << out.toStdString();
  EXPECT_TRUE(dataLines[0].startsWith("4 16.05.2024 09:16:00 6,2 Газобетон")) << dataLines[0].toStdString();
  EXPECT_TRUE(dataLines[1].startsWith("3 14.05.2024 09:14:00 5,0 Кирпич 12")) << dataLines[1].toStdString();
  EXPECT_TRUE(dataLines[2].startsWith("2 12.05.2024 09:12:00 2,1 4,8 Бетон легкий")) << dataLines[2].toStdString();
  EXPECT_TRUE(dataLines[3].startsWith("1 11.05.2024 09:11:00 3,5 Бетон тяжелый 2")) << dataLines[3].toStdString();
  // Only concrete rows.
  for (const char* other : {"Сосна", "Ель", "Песок"}) EXPECT_FALSE(out.contains(QString::fromUtf8(other)));
  EXPECT_TRUE(out.contains("Hygrovan-RX3"));
  EXPECT_TRUE(out.contains("Стр. 1 из 1"));
  EXPECT_TRUE(out.contains("Примечание"));

  // The range row's W cell is empty: its two values sit under Wmin and Wmax.
  const QString header = [&] {
    for (const QString& l : lines)
      if (l.contains("Wmin, %")) return l;
    return QString();
  }();
  ASSERT_FALSE(header.isEmpty());
  QString rangeLine;
  for (const QString& l : lines)
    if (l.contains("Бетон легкий")) rangeLine = l;
  const qsizetype wEnd = header.indexOf("W, %") + 4, minEnd = header.indexOf("Wmin, %") + 7;
  const qsizetype v1 = rangeLine.indexOf("2,1"), v2 = rangeLine.indexOf("4,8");
  EXPECT_GT(v1, wEnd - 1) << rangeLine.toStdString();  // not in the W column
  EXPECT_GT(v2, minEnd - 1) << rangeLine.toStdString();
}

TEST(TableReport, CommandLineRefusesBadArguments) {
  const QString path = makeTable();
  const QString cli = hv::test::toolPath("hygrovan-cli");
  const QString pdf = hv::test::testPath("x.pdf");
  for (const QStringList& args : {QStringList{"report", path, "--archive", "3", pdf},
                                  QStringList{"report", path, "--archive", "1", "--sort", "NOPE", pdf},
                                  QStringList{"report", path, "--archive", "1", "--desc", pdf},
                                  QStringList{"report", path, pdf},
                                  QStringList{"report", hv::test::testPath("missing.db"), "--archive", "0", pdf}}) {
    auto r = hv::test::runProcess(cli, args);
    EXPECT_NE(r.exitCode, 0) << args.join(' ').toStdString();
    EXPECT_FALSE(r.err.isEmpty());
    EXPECT_FALSE(QFile::exists(pdf));
  }
  // A file that is not a table.
  hv::test::writeFile(hv::test::testPath("junk.db"), "not a table at all");
  auto r = hv::test::runProcess(cli, {"report", hv::test::testPath("junk.db"), "--archive", "0", pdf});
  EXPECT_NE(r.exitCode, 0);
  EXPECT_FALSE(QFile::exists(pdf));
}
