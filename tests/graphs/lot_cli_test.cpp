// hygrovan-cli assess: the figures and verdicts of a lot, its exit statuses,
// its JSON, its refusals, and the protocol it writes.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "support/measurement_table.h"
#include "support/test_support.h"

namespace {

using hv::test::ranged;
using hv::test::single;

class AssessCli : public ::testing::Test {
 protected:
  void SetUp() override {
    qputenv("HYGROVAN_DECIMAL_SEPARATOR", ",");
    path_ = hv::test::testPath("lot.db");
    hv::test::Row blank = single(4, 0, "03.03.2024", "08:00:00", "");
    // Pieces 10 12 13 14 14 (two series by their midpoints), one blank row.
    hv::test::writeTable(path_, {single(1, 0, "01.03.2024", "08:00:00", "10,0"),
                                 single(2, 0, "02.03.2024", "08:00:00", "12,0"),
                                 ranged(3, 0, "02.03.2024", "09:00:00", "11,0", "15,0"), blank,
                                 ranged(5, 0, "04.03.2024", "08:00:00", "12,0", "16,0"),
                                 single(6, 0, "05.03.2024", "08:00:00", "14.0"),
                                 single(1, 2, "05.03.2024", "08:00:00", "7,0")});
  }
  void TearDown() override { qunsetenv("HYGROVAN_DECIMAL_SEPARATOR"); }
  hv::test::ProcessResult assess(const QStringList& args) {
    return hv::test::runProcess(hv::test::toolPath("hygrovan-cli"), QStringList{"assess", path_} + args);
  }
  QString path_;
};

TEST_F(AssessCli, ExitStatusesJsonAndTextWithTheDecimalPoint) {
  const QStringList piece = {"--archive", "0", "--piece-min", "10", "--piece-max", "15"};
  auto r = assess(piece + QStringList{"--share", "80", "--json"});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  const QJsonObject o = QJsonDocument::fromJson(r.out).object();
  EXPECT_EQ(o.value("n").toInt(), 5);
  EXPECT_DOUBLE_EQ(o.value("mean").toDouble(), 12.6);
  EXPECT_DOUBLE_EQ(o.value("sd").toDouble(), 1.67);
  EXPECT_DOUBLE_EQ(o.value("min").toDouble(), 10);
  EXPECT_DOUBLE_EQ(o.value("max").toDouble(), 16);
  EXPECT_DOUBLE_EQ(o.value("inside_share").toDouble(), 80);
  EXPECT_EQ(o.value("series").toInt(), 2);
  EXPECT_EQ(o.value("skipped").toInt(), 1);
  EXPECT_EQ(o.value("verdict").toString(), "conforms");
  const QJsonArray criteria = o.value("criteria").toArray();
  ASSERT_EQ(criteria.size(), 1);
  EXPECT_EQ(criteria[0].toObject(), QJsonObject({{"name", "inside_share"}, {"limit", 80}, {"value", 80},
                                                 {"passed", true}}));

  // A margin of 0.5 (written with a comma) leaves two pieces of five inside.
  r = assess(piece + QStringList{"--share", "80", "--margin", "0,5"});
  EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
  EXPECT_TRUE(r.out.contains("\nmean\t12.6\n")) << r.out.toStdString();
  EXPECT_TRUE(r.out.contains("\ninside_share.limit\t80\ninside_share.value\t40\ninside_share\tfailed\n"))
      << r.out.toStdString();
  EXPECT_TRUE(r.out.endsWith("verdict\tfails\n"));

  r = assess({"--archive", "0", "--rows", "1-3,3", "--mean-max", "12.5", "--min-count", "4", "--json"});
  EXPECT_EQ(r.exitCode, 1);
  const QJsonObject few = QJsonDocument::fromJson(r.out).object();
  EXPECT_EQ(few.value("n").toInt(), 3);  // a row listed twice counts once
  EXPECT_EQ(few.value("verdict").toString(), "too_few");
  EXPECT_EQ(few.value("criteria").toArray()[1].toObject().value("passed").toBool(), true);  // mean 11.67
}

TEST_F(AssessCli, BadInputIsSaidAndChangesNothing) {
  const QByteArray before = hv::test::readFile(path_);
  struct Case {
    QStringList args;
    const char* said;
  };
  const QList<Case> cases = {
      {{"--archive", "1", "--piece-max", "4"}, "В архиве «Бетонные» нет строк"},
      {{"--archive", "0", "--rows", "2,9", "--piece-max", "4"}, "Строки 9 нет"},
      {{"--archive", "0", "--norm", "Нет такой"}, "нормы «Нет такой» нет"},
      {{"--archive", "2", "--norm", "Пример: стяжка перед укладкой покрытия"}, "относится к архиву «Бетонные»"},
      {{"--archive", "0", "--piece-min", "15", "--piece-max", "10"}, "нижняя граница для отдельного значения выше"},
      {{"--archive", "0", "--mean-min", "12", "--mean-max", "12.5", "--margin", "0.5"}, "с учётом запаса"},
      {{"--archive", "0", "--share", "50"}, "доля задана без границ"},
      {{"--archive", "0", "--mean-max", "abc"}, "--mean-max должно быть числом"},
      {{"--archive", "0"}, "нужна --norm"},
  };
  for (const Case& c : cases) {
    const auto r = assess(c.args);
    EXPECT_EQ(r.exitCode, 2) << c.args.join(' ').toStdString();
    EXPECT_TRUE(QString::fromUtf8(r.err).contains(QString::fromUtf8(c.said))) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty());
  }
  EXPECT_EQ(hv::test::readFile(path_), before);
}

TEST_F(AssessCli, TheProtocolCarriesTheNormFiguresAndVerdict) {
  const QString pdf = hv::test::testPath("protocol.pdf");
  auto r = assess({"--archive", "0", "--norm", "Пример: пиломатериалы после камерной сушки", "--pdf", pdf});
  EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();  // five pieces, the example wants ten
  const auto text = hv::test::runProcess(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, "-"});
  ASSERT_EQ(text.exitCode, 0);
  const QString page = QString::fromUtf8(text.out);
  for (const QString& expected :
       {QStringLiteral("Протокол оценки партии"), QStringLiteral("lot.db"), QStringLiteral("Древесные"),
        QStringLiteral("01.03.2024 – 05.03.2024"), QStringLiteral("Сосна"),
        QStringLiteral("Норма: Пример: пиломатериалы после камерной сушки"), QStringLiteral("от 10 до 14 %"),
        QStringLiteral("стандартом"), QStringLiteral("12,6"), QStringLiteral("1,67"),
        QStringLiteral("Заключение: Недостаточно измерений"), QStringLiteral("11,0 – 15,0"),
        QStringLiteral("14,0"),  // stored with a point, written as the figures are
        QStringLiteral("нет значения"), QStringLiteral("Измерения выполнил"), QStringLiteral("Стр. 1 из ")})
    EXPECT_TRUE(page.contains(expected)) << expected.toStdString() << "\n" << page.toStdString();

  r = assess({"--archive", "0", "--mean-min", "12", "--piece-max", "16", "--pdf", pdf});
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
  const auto passed = hv::test::runProcess(QStringLiteral("pdftotext"), {pdf, "-"});
  EXPECT_TRUE(QString::fromUtf8(passed.out).contains(QStringLiteral("Заключение: Соответствует")));
}

}  // namespace
