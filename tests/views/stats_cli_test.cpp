// hygrovan-cli stats: the footers for rows named by their place in the view.
#include <gtest/gtest.h>

#include "support/test_support.h"
#include "support/measurement_table.h"

namespace {

using hv::test::ranged;
using hv::test::single;

class StatsCli : public ::testing::Test {
 protected:
  void SetUp() override {
    qputenv("HYGROVAN_DECIMAL_SEPARATOR", ",");
    path_ = hv::test::testPath("oak.db");
    hv::test::writeTable(path_, {
                                    single(1, 0, "05.03.2024", "10:00:00", "10,0"),
                                    single(2, 0, "20.01.2023", "09:00:00", "9,5"),
                                    ranged(1, 1, "01.02.2024", "08:00:00", "10,0", "14,0"),
                                    single(3, 0, "11.12.2023", "23:59:59", "12,5"),
                                    ranged(2, 1, "02.02.2024", "08:00:00", "11,0", "15,5"),
                                });
  }
  void TearDown() override { qunsetenv("HYGROVAN_DECIMAL_SEPARATOR"); }
  hv::test::ProcessResult stats(const QStringList& args) {
    return hv::test::runProcess(hv::test::toolPath("hygrovan-cli"), QStringList{"stats", path_} + args);
  }
  QString path_;
};

// The footers as the grid shows them, but with the decimal point whatever the
// regional separator (a comma here): the output is read by programs.
TEST_F(StatsCli, PrintsTheThreeFootersForTheNamedRows) {
  auto r = stats({"--archive", "1", "--rows", "1-2"});
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
  EXPECT_EQ(QString::fromUtf8(r.out), "W\t0/0/0\nW_MIN\t10/10.5/11\nW_MAX\t14/14.7/15.5\n");
  r = stats({"--archive", "0", "--rows", "2"});
  EXPECT_EQ(QString::fromUtf8(r.out), "W\t0/0/0\nW_MIN\t0/0/0\nW_MAX\t0/0/0\n");
}

TEST_F(StatsCli, RowsAreCountedInTheSortedOrder) {
  // Ascending by W: 9,5 10,0 12,5 -> rows 1 and 2 are 9,5 and 10,0.
  auto r = stats({"--archive", "0", "--sort", "w", "--rows", "1,2"});
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
  EXPECT_TRUE(r.out.startsWith("W\t9.5/9.7/10\n")) << r.out.toStdString();
  r = stats({"--archive", "0", "--sort", "W", "--desc", "--rows", "1,2"});
  EXPECT_TRUE(r.out.startsWith("W\t10/11.2/12.5\n")) << r.out.toStdString();
}

TEST_F(StatsCli, RefusesBadArgumentsAndFiles) {
  EXPECT_EQ(stats({"--archive", "0"}).exitCode, 2);
  EXPECT_EQ(stats({"--archive", "3", "--rows", "1"}).exitCode, 2);
  EXPECT_EQ(stats({"--archive", "0", "--rows", "2-1"}).exitCode, 2);
  EXPECT_EQ(stats({"--archive", "0", "--sort", "NOPE", "--rows", "1"}).exitCode, 2);
  auto r = stats({"--archive", "0", "--rows", "1,4"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(QString::fromUtf8(r.err).contains(QStringLiteral("Строки 4 нет"))) << r.err.toStdString();
  hv::test::writeFile(path_, "junk");
  r = stats({"--archive", "0", "--rows", "1"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(QString::fromUtf8(r.err).contains(QStringLiteral("База данных повреждена !")));
  // A value written with the other separator is read; one that is no number is reported.
  hv::test::writeTable(path_, {single(1, 0, "05.03.2024", "10:00:00", "10.0"),
                               single(2, 0, "05.03.2024", "10:00:00", "1,0"),
                               single(3, 0, "05.03.2024", "10:00:00", "1;0")});
  r = stats({"--archive", "0", "--rows", "1-2"});
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
  EXPECT_TRUE(r.out.startsWith("W\t1/5.5/10\n")) << r.out.toStdString();
  r = stats({"--archive", "0", "--rows", "1-3"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(QString::fromUtf8(r.err).contains(QStringLiteral("Значение \"1;0\" не является числом.")))
      << r.err.toStdString();
}

}  // namespace
