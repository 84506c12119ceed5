// hygrovan-cli chart: the chart window's picture of chosen rows, into a file.
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QRegularExpression>

#include "store/db_table.h"
#include "support/measurement_table.h"
#include "support/test_support.h"

namespace {

struct Row {
  int arc;
  const char *date, *time, *w, *wMin, *wMax;
};

QString makeTable(const QList<Row>& rows) {
  const QString path = hv::test::testPath(QStringLiteral("chart.db"));
  QList<hv::test::Row> written;
  int n = 0;
  for (const Row& r : rows) {
    written.append({++n, r.arc, QString::fromUtf8(r.date), QString::fromUtf8(r.time), QString::fromUtf8(r.w),
                    QString::fromUtf8(r.wMin), QString::fromUtf8(r.wMax), QStringLiteral("Сосна"), {}, {}});
  }
  hv::test::writeTable(path, written);
  return path;
}

hv::test::ProcessResult chart(const QStringList& args) {
  qputenv("HYGROVAN_DECIMAL_SEPARATOR", ",");
  return hv::test::runProcess(hv::test::toolPath(QStringLiteral("hygrovan-cli")),
                              QStringList{QStringLiteral("chart")} + args);
}

const QList<Row> kRows = {{0, "05.03.2024", "10:00:00", "12,5", nullptr, nullptr},
                          {1, "05.03.2024", "11:00:00", "30,0", nullptr, nullptr},
                          {0, "06.03.2024", "11:30:00", nullptr, "10,0", "14,5"},
                          {0, "07.03.2024", "09:15:00", "13,1", nullptr, nullptr},
                          {0, "08.03.2024", "16:45:10", nullptr, "11,0", "15,0"},
                          {0, "08.03.2024", "17:00:00", "1.5%", nullptr, nullptr}};

TEST(ChartCli, DrawsTheChosenRowsOfOneArchiveWithTheirFootersInTheLegend) {
  const QString db = makeTable(kRows);
  const QString png = hv::test::testPath(QStringLiteral("chart.png"));
  auto r = chart({db, QStringLiteral("--archive"), QStringLiteral("0"), QStringLiteral("--rows"), QStringLiteral("1-4"),
                  QStringLiteral("--curves"), QStringLiteral("W,Wmin,Wmax"), png});
  ASSERT_EQ(r.exitCode, 0) << r.err.constData();
  const QImage image(png);
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.size(), QSize(698, 482));
  // Black, blue and red ink: all three curves are there.
  int black = 0, blue = 0, red = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      black += c.red() < 40 && c.green() < 40 && c.blue() < 40;
      blue += c.blue() > 200 && c.red() < 60 && c.green() < 60;
      red += c.red() > 200 && c.green() < 60 && c.blue() < 60;
    }
  EXPECT_GT(black, 100);
  EXPECT_GT(blue, 100);
  EXPECT_GT(red, 100);

  // The PDF carries the legend with the footers and the two-line date labels.
  const QString pdf = hv::test::testPath(QStringLiteral("chart.pdf"));
  r = chart({db, QStringLiteral("--archive"), QStringLiteral("0"), QStringLiteral("--rows"), QStringLiteral("1-4"),
             QStringLiteral("--curves"), QStringLiteral("W,Wmin,Wmax"), pdf});
  ASSERT_EQ(r.exitCode, 0) << r.err.constData();
  const auto text = hv::test::runProcess(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
  const QString s = QString::fromUtf8(text.out);
  EXPECT_TRUE(s.contains(QStringLiteral("W, %12,5/12,8/13,1"))) << text.out.constData();
  EXPECT_TRUE(s.contains(QStringLiteral("Wmin, %10/10,5/11"))) << text.out.constData();
  EXPECT_TRUE(s.contains(QStringLiteral("Wmax, %14,5/14,7/15"))) << text.out.constData();
  EXPECT_TRUE(s.contains(QRegularExpression(QStringLiteral("\\d\\d\\.03\\.2024[^\\n]*\\n[^\\n]*\\d\\d:\\d\\d:\\d\\d"))))
      << text.out.constData();
  const auto info = hv::test::runProcess(QStringLiteral("pdfinfo"), {pdf});
  const auto m = QRegularExpression(QStringLiteral("Page size:\\s+([\\d.]+) x ([\\d.]+)")).match(QString::fromUtf8(info.out));
  ASSERT_TRUE(m.hasMatch()) << info.out.constData();
  EXPECT_GT(m.captured(1).toDouble(), m.captured(2).toDouble());
}

TEST(ChartCli, RefusesBadRequestsWithAClearMessage) {
  const QString db = makeTable(kRows);
  const QString png = hv::test::testPath(QStringLiteral("out.png"));
  const auto run = [&](const QString& rows, const QString& curves, const QString& out = QString()) {
    return chart({db, QStringLiteral("--archive"), QStringLiteral("0"), QStringLiteral("--rows"), rows,
                  QStringLiteral("--curves"), curves, out.isEmpty() ? png : out});
  };
  // Row 5 of the wood archive has W "1.5%", not a number.
  auto r = run(QStringLiteral("4-5"), QStringLiteral("W"));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(QString::fromUtf8(r.err).contains(QStringLiteral("Значение \"1.5%\" не является числом."))) << r.err.constData();
  EXPECT_FALSE(QFile::exists(png));

  r = run(QStringLiteral("1,9"), QStringLiteral("W"));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(r.err.contains("Строки 9 нет")) << r.err.constData();

  EXPECT_EQ(run(QStringLiteral("1"), QStringLiteral("W,Wavg")).exitCode, 2);
  EXPECT_EQ(run(QStringLiteral("0"), QStringLiteral("W")).exitCode, 2);
  EXPECT_EQ(run(QStringLiteral("1"), QStringLiteral("W"), hv::test::testPath(QStringLiteral("out.jpg"))).exitCode, 2);
  EXPECT_EQ(chart({db, QStringLiteral("--archive"), QStringLiteral("3"), QStringLiteral("--rows"), QStringLiteral("1"),
                   QStringLiteral("--curves"), QStringLiteral("W"), png})
                .exitCode,
            2);
  EXPECT_EQ(chart({db, QStringLiteral("--archive"), QStringLiteral("0"), QStringLiteral("--rows"), QStringLiteral("1"),
                   QStringLiteral("--curves"), QStringLiteral("W"), QStringLiteral("--size"), QStringLiteral("10x10"),
                   png})
                .exitCode,
            2);
  r = chart({hv::test::testPath(QStringLiteral("missing.db")), QStringLiteral("--archive"), QStringLiteral("0"),
             QStringLiteral("--rows"), QStringLiteral("1"), QStringLiteral("--curves"), QStringLiteral("W"), png});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_FALSE(r.err.isEmpty());
}

TEST(ChartCli, SizeSetsThePictureSize) {
  const QString db = makeTable(kRows);
  const QString png = hv::test::testPath(QStringLiteral("big.png"));
  const auto r = chart({db, QStringLiteral("--archive"), QStringLiteral("1"), QStringLiteral("--rows"),
                        QStringLiteral("1"), QStringLiteral("--curves"), QStringLiteral("w"), QStringLiteral("--size"),
                        QStringLiteral("1024x600"), png});
  ASSERT_EQ(r.exitCode, 0) << r.err.constData();
  EXPECT_EQ(QImage(png).size(), QSize(1024, 600));
}

TEST(ChartCli, ForecastPrintsItsFiguresOrRefusesAndDrawsWhatTheWindowWould) {
  // The worked example, a week apart; the second reading is a series with its midpoint at 24.
  const QString db = makeTable({{0, "01.03.2024", "00:00:00", "30,0", nullptr, nullptr},
                                {0, "08.03.2024", "00:00:00", nullptr, "22,0", "26,0"},
                                {0, "15.03.2024", "00:00:00", "20,0", nullptr, nullptr},
                                {0, "22.03.2024", "00:00:00", "17,5", nullptr, nullptr}});
  const QString pdf = hv::test::testPath(QStringLiteral("forecast.pdf"));
  const auto run = [&](const QString& rows, const QStringList& extra) {
    return chart(QStringList{db, QStringLiteral("--archive"), QStringLiteral("0"), QStringLiteral("--rows"), rows,
                             QStringLiteral("--curves"), QStringLiteral("W,Wmin,Wmax"), pdf} +
                 extra);
  };
  auto r = run(QStringLiteral("1-4"), {QStringLiteral("--target"), QStringLiteral("14"), QStringLiteral("--forecast"),
                                       QStringLiteral("--equilibrium"), QStringLiteral("12")});
  ASSERT_EQ(r.exitCode, 0) << r.err.constData();
  EXPECT_EQ(r.out, QByteArray("tau_days\t17.67\nr2\t0.9996\nreaches\t2024-04-08T16:59:48\n"));
  const auto text = hv::test::runProcess(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
  const QString s = QString::fromUtf8(text.out).simplified();
  EXPECT_TRUE(s.contains(QStringLiteral("Цель: 14 %"))) << text.out.constData();
  EXPECT_TRUE(s.contains(QStringLiteral("(оценка): τ = 17,67 сут, R² = 0,9996; 14 % — 08.04.2024 16:59")))
      << text.out.constData();

  // Two readings: refused in words, exit status 1, the picture says why.
  r = run(QStringLiteral("1-2"), {QStringLiteral("--target"), QStringLiteral("14,0"), QStringLiteral("--forecast")});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(r.out.isEmpty());
  EXPECT_TRUE(QString::fromUtf8(r.err).contains(QStringLiteral("не меньше трёх точек"))) << r.err.constData();
  const auto refused = hv::test::runProcess(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
  EXPECT_TRUE(QString::fromUtf8(refused.out).simplified().contains(QStringLiteral("Прогноз высыхания невозможен")));

  // A forecast needs a target; Me only with a forecast.
  EXPECT_EQ(run(QStringLiteral("1-4"), {QStringLiteral("--forecast")}).exitCode, 2);
  EXPECT_EQ(run(QStringLiteral("1-4"), {QStringLiteral("--equilibrium"), QStringLiteral("12")}).exitCode, 2);
  EXPECT_EQ(run(QStringLiteral("1-4"), {QStringLiteral("--target"), QStringLiteral("много")}).exitCode, 2);
}

}  // namespace
