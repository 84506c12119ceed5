#include <gtest/gtest.h>

#include <QTimeZone>
#include <algorithm>

#include "graphs/chart_data.h"
#include "platform/error.h"
#include "platform/regional.h"

namespace {

using hv::ChartPoint;
using hv::CurveChoice;
using hv::SelectedRow;

class Graphs : public ::testing::Test {
 protected:
  void SetUp() override { hv::setDecimalSeparatorOverride(QChar(',')); }
  void TearDown() override { hv::setDecimalSeparatorOverride(QChar()); }
};

std::optional<QString> t(const char* s) { return QString::fromUtf8(s); }

SelectedRow row(std::optional<QString> w, std::optional<QString> mn, std::optional<QString> mx, const char* date,
                const char* time) {
  return {w, mn, mx, t(date), t(time)};
}

QString errorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const hv::Error& e) {
    return e.text();
  }
  return QStringLiteral("<no error>");
}

QList<double> ys(const QList<ChartPoint>& points) {
  QList<double> out;
  for (const ChartPoint& p : points) out << p.y;
  return out;
}

TEST_F(Graphs, DateAndTimeBecomeDaysSinceTheEndOf1899) {
  // 5 March 2024 is day 45356 of that count.
  EXPECT_DOUBLE_EQ(hv::parseDateTime(t("05.03.2024"), t("00:00:00")), 45356.0);
  EXPECT_DOUBLE_EQ(hv::parseDateTime(t("05.03.2024"), t("18:00:00")), 45356.75);
  EXPECT_NEAR(hv::parseDateTime(t("5.3.2024"), t("14:30:15")), 45356 + (14 * 3600 + 30 * 60 + 15) / 86400.0, 1e-9);
  EXPECT_DOUBLE_EQ(hv::parseDateTime(t("05.03.2024"), std::nullopt), 45356.0);  // date alone: midnight
  // Blanks (tabs too) around the texts, a time without seconds, a blank time.
  EXPECT_DOUBLE_EQ(hv::parseDateTime(t("\t05.03.2024 "), t(" 18:00\t")), 45356.75);
  EXPECT_DOUBLE_EQ(hv::parseDateTime(t("05.03.2024"), t("   ")), 45356.0);
  EXPECT_DOUBLE_EQ(hv::parseDateTime(t("01.01.1899"), t("12:00")), -362.5);
  EXPECT_EQ(hv::dateTimeFromDays(hv::parseDateTime(t("29.02.2024"), t("23:59:59"))),
            QDateTime(QDate(2024, 2, 29), QTime(23, 59, 59), QTimeZone::utc()));

  const struct {
    std::optional<QString> date, time;
    const char* shown;
  } bad[] = {{t("05.03.2024"), t("24:00:00"), "05.03.2024 24:00:00"},
             {t("05.03.2024"), t("10:60:00"), "05.03.2024 10:60:00"},
             {t("2024-03-05"), t("10:00:00"), "2024-03-05 10:00:00"},
             {std::nullopt, t("10:00:00"), " 10:00:00"},
             {t("05.03.2024"), t("ten"), "05.03.2024 ten"},
             {t("05.03.0000"), t("10:00"), "05.03.0000 10:00"},
             {t("+5.03.2024"), t("10:00"), "+5.03.2024 10:00"},
             {t("05.03.2024"), t("10:00:"), "05.03.2024 10:00:"}};
  for (const auto& b : bad)
    EXPECT_EQ(errorOf([&] { hv::parseDateTime(b.date, b.time); }),
              QStringLiteral("Значение \"%1\" не является датой и временем.").arg(QString::fromUtf8(b.shown)));
}

TEST_F(Graphs, ADayItsMonthLacksLiesWhereTheAppendPutsItAndIsDrawn) {
  // Counted on from the month's start: 30 February 2024 is 1 March, 31 April 1 May.
  EXPECT_DOUBLE_EQ(hv::parseDateTime(t("30.02.2024"), t("10:00:00")), hv::parseDateTime(t("01.03.2024"), t("10:00:00")));
  EXPECT_DOUBLE_EQ(hv::parseDateTime(t("31.04.2023"), t("00:00")), hv::parseDateTime(t("01.05.2023"), t("00:00")));
  const QList<SelectedRow> rows = {row(t("14,0"), {}, {}, "02.03.2024", "09:00:00"),
                                   row(t("12,0"), {}, {}, "30.02.2024", "09:00:00"),
                                   row(t("11,0"), {}, {}, "29.02.2024", "09:00:00")};
  EXPECT_EQ(ys(hv::buildChartData(rows, CurveChoice{true, false, false}).points(hv::Curve::W)),
            (QList<double>{11.0, 12.0, 14.0}));
}

TEST_F(Graphs, PointsStayInDateTimeOrderWithEqualTimesInSelectionOrder) {
  QList<ChartPoint> points;
  for (ChartPoint p : {ChartPoint{5, 1}, ChartPoint{3, 2}, ChartPoint{5, 3}, ChartPoint{1, 4}, ChartPoint{5, 5},
                       ChartPoint{3, 6}})
    hv::insertPoint(points, p);
  EXPECT_EQ(points, (QList<ChartPoint>{{1, 4}, {3, 2}, {3, 6}, {5, 1}, {5, 3}, {5, 5}}));

  // Three rows, one without W, selected newest first: two points, oldest first.
  const QList<SelectedRow> rows = {row(t("14,0"), {}, {}, "07.03.2024", "09:00:00"),
                                   row({}, t("10,0"), t("12,0"), "06.03.2024", "09:00:00"),
                                   row(t("11,5"), {}, {}, "05.03.2024", "09:00:00")};
  const hv::ChartData d = hv::buildChartData(rows, CurveChoice{true, false, false});
  EXPECT_EQ(ys(d.points(hv::Curve::W)), (QList<double>{11.5, 14.0}));
  EXPECT_TRUE(d.points(hv::Curve::WMin).isEmpty());
  EXPECT_TRUE(d.points(hv::Curve::WMax).isEmpty());

  // Same date and time twice: both points, in selection order.
  const QList<SelectedRow> same = {row(t(" 20,0 "), {}, {}, "05.03.2024", "09:00:00"),
                                   row(t("10,0"), {}, {}, "05.03.2024", "09:00:00")};
  const hv::ChartData s = hv::buildChartData(same, CurveChoice{true, true, true});
  EXPECT_EQ(ys(s.points(hv::Curve::W)), (QList<double>{20.0, 10.0}));
}

TEST_F(Graphs, ARangeRowFeedsOnlyTheMinimumAndMaximumCurves) {
  const QList<SelectedRow> rows = {row({}, t("10,0"), t("12,4"), "06.03.2024", "09:30:00")};
  EXPECT_TRUE(hv::buildChartData(rows, CurveChoice{true, false, false}).empty());
  const hv::ChartData d = hv::buildChartData(rows, CurveChoice{false, true, true});
  ASSERT_EQ(d.points(hv::Curve::WMin).size(), 1);
  ASSERT_EQ(d.points(hv::Curve::WMax).size(), 1);
  EXPECT_EQ(d.points(hv::Curve::WMin)[0].x, d.points(hv::Curve::WMax)[0].x);
  EXPECT_DOUBLE_EQ(d.points(hv::Curve::WMin)[0].y, 10.0);
  EXPECT_DOUBLE_EQ(d.points(hv::Curve::WMax)[0].y, 12.4);
  EXPECT_TRUE(d.points(hv::Curve::W).isEmpty());
}

TEST_F(Graphs, BuildingStopsAtTheFirstBadRow) {
  // The date is read for every row, even one that adds no point.
  const QList<SelectedRow> badDate = {row(t("10,0"), {}, {}, "05.03.2024", "09:00:00"),
                                      row({}, t("1,0"), t("2,0"), "32.03.2024", "09:00:00")};
  EXPECT_EQ(errorOf([&] { hv::buildChartData(badDate, CurveChoice{true, false, false}); }),
            QStringLiteral("Значение \"32.03.2024 09:00:00\" не является датой и временем."));
  // A bad value counts only for a chosen curve.
  const QList<SelectedRow> badValue = {row(t("10;0"), {}, {}, "05.03.2024", "09:00:00")};
  EXPECT_TRUE(hv::buildChartData(badValue, CurveChoice{false, true, true}).empty());
  EXPECT_EQ(errorOf([&] { hv::buildChartData(badValue, CurveChoice{true, false, false}); }),
            QStringLiteral("Значение \"10;0\" не является числом."));
  // Either separator reads, whichever is the user's.
  const QList<SelectedRow> both = {row(t("10.5"), {}, {}, "05.03.2024", "09:00:00"),
                                   row(t("12,4"), {}, {}, "06.03.2024", "09:00:00")};
  for (QChar user : {QChar(','), QChar('.')}) {
    hv::setDecimalSeparatorOverride(user);
    EXPECT_EQ(ys(hv::buildChartData(both, CurveChoice{true, false, false}).points(hv::Curve::W)),
              (QList<double>{10.5, 12.4}));
  }
}

TEST_F(Graphs, LegendIsTheCaptionDirectlyFollowedByTheFooter) {
  const hv::SelectionFooters f{QStringLiteral("12,2/12,2/12,3"), QStringLiteral("100/0/0"), QStringLiteral("0/0/0")};
  EXPECT_EQ(hv::legendText(hv::Curve::W, f), QStringLiteral("W, %12,2/12,2/12,3"));
  EXPECT_EQ(hv::legendText(hv::Curve::WMin, f), QStringLiteral("Wmin, %100/0/0"));
  EXPECT_EQ(hv::legendText(hv::Curve::WMax, f), QStringLiteral("Wmax, %0/0/0"));
}

}  // namespace

namespace {

TEST(ChartReduction, KeepsEachColumnsFirstLastLowestAndHighestAndTheNeighboursOutside) {
  // Ten points a column over 0..100 in 10 columns, with points beyond either end.
  QList<QPointF> all;
  for (int i = -5; i < 105; ++i) all.append(QPointF(i + 0.5, ((i * 37) % 23) - (i % 10 == 4 ? 50 : 0)));
  const QList<QPointF> shown = hv::reduceToColumns(all, QRectF(0, -50, 100, 75), 10, 0);
  ASSERT_FALSE(shown.isEmpty());
  // The series' own points, in its order, and the nearest ones outside the range.
  qsizetype at = 0;
  for (const QPointF& p : shown) {
    at = all.indexOf(p, at);
    ASSERT_GE(at, 0);
  }
  EXPECT_EQ(shown.first(), QPointF(-0.5, all[4].y()));
  EXPECT_EQ(shown.last(), QPointF(100.5, all[105].y()));
  for (int c = 0; c < 10; ++c) {
    QList<QPointF> column, kept;
    for (const QPointF& p : all)
      if (p.x() >= c * 10 && p.x() < c * 10 + 10) column << p;
    for (const QPointF& p : shown)
      if (p.x() >= c * 10 && p.x() < c * 10 + 10) kept << p;
    auto byY = [](const QPointF& a, const QPointF& b) { return a.y() < b.y(); };
    ASSERT_LE(kept.size(), 4);
    EXPECT_EQ(kept.first(), column.first());
    EXPECT_EQ(kept.last(), column.last());
    EXPECT_EQ(std::min_element(kept.begin(), kept.end(), byY)->y(),
              std::min_element(column.begin(), column.end(), byY)->y());
    EXPECT_EQ(std::max_element(kept.begin(), kept.end(), byY)->y(),
              std::max_element(column.begin(), column.end(), byY)->y());
  }
  // With bands of y, also the first point of each band a column meets.
  const QList<QPointF> banded = hv::reduceToColumns(all, QRectF(0, -50, 100, 75), 10, 15);
  for (int c = 0; c < 10; ++c)
    for (int band = 0; band < 15; ++band) {
      const auto in = [&](const QPointF& p) {
        return p.x() >= c * 10 && p.x() < c * 10 + 10 && p.y() >= -50 + 5 * band && p.y() < -45 + 5 * band;
      };
      const auto first = std::find_if(all.begin(), all.end(), in);
      if (first != all.end()) {
        EXPECT_TRUE(banded.contains(*first)) << c << " " << band;
      }
    }
  EXPECT_GT(banded.size(), shown.size());
  // Bands two columns wide: a band's first point once for both, and each column's own four still kept.
  const QList<QPointF> wide = hv::reduceToColumns(all, QRectF(0, -50, 100, 75), 10, 15, 2);
  for (int c = 0; c < 10; c += 2)
    for (int band = 0; band < 15; ++band) {
      const auto in = [&](const QPointF& p) {
        return p.x() >= c * 10 && p.x() < c * 10 + 20 && p.y() >= -50 + 5 * band && p.y() < -45 + 5 * band;
      };
      const auto first = std::find_if(all.begin(), all.end(), in);
      if (first != all.end()) {
        EXPECT_TRUE(wide.contains(*first)) << c << " " << band;
      }
    }
  for (const QPointF& p : shown) EXPECT_TRUE(wide.contains(p));
  EXPECT_LT(wide.size(), banded.size());
  // Nothing to gain: a short series, or no room, comes back whole.
  EXPECT_EQ(hv::reduceToColumns(all, QRectF(0, -50, 100, 75), 100, 0), all);
  EXPECT_EQ(hv::reduceToColumns(all, QRectF(5, -50, 0, 75), 10, 0), all);
}

}  // namespace
