// The drying forecast: the fit, the day the target is reached, each refusal.
#include <gtest/gtest.h>

#include "graphs/drying_forecast.h"
#include "platform/regional.h"
#include "platform/settings.h"
#include "views/lot_norm.h"

namespace {

using hv::ChartPoint;

std::optional<QString> t(const char* s) {
  return s ? std::optional<QString>(QString::fromUtf8(s)) : std::nullopt;
}

class DryingForecast : public ::testing::Test {
 protected:
  void SetUp() override { hv::setDecimalSeparatorOverride(QChar(',')); }
  void TearDown() override { hv::setDecimalSeparatorOverride(QChar()); }
};

TEST_F(DryingForecast, TheWorkedExampleWithSeriesByTheirMidpoint) {
  // 30, 24, 20 and 17.5 % on days 0, 7, 14 and 21; the second and the fourth
  // are series whose midpoints are 24 and 17.5.
  const QList<hv::SelectedRow> rows = {{t("30,0"), {}, {}, t("01.03.2024"), t("00:00:00")},
                                       {{}, t("17,0"), t("18,0"), t("22.03.2024"), t("00:00:00")},
                                       {{}, t("22,0"), t("26,0"), t("08.03.2024"), t("00:00:00")},
                                       {t("20,0"), {}, {}, t("15.03.2024"), t("00:00:00")}};
  const QList<ChartPoint> points = hv::dryingPoints(rows, {true, true, true});
  ASSERT_EQ(points.size(), 4);
  EXPECT_DOUBLE_EQ(points[1].y, 24);
  EXPECT_DOUBLE_EQ(points[3].y, 17.5);
  EXPECT_EQ(points[3].row, 1);  // the reading's place in the selection

  const hv::DryingForecast f = hv::forecastDrying(points, 14, 12);
  ASSERT_TRUE(f.ok()) << f.refusal.toStdString();
  EXPECT_NEAR(f.tau, 17.67, 0.05);
  EXPECT_NEAR(f.r2, 0.9996, 0.00005);
  EXPECT_NEAR(f.reachesAfter, 38.71, 0.05);
  EXPECT_NEAR(f.moistureAt(f.reaches()), 14, 1e-9);
  EXPECT_EQ(hv::isoDateTime(f.reaches()), QStringLiteral("2024-04-08T16:59:48"));
  EXPECT_EQ(hv::forecastText(f, QChar(',')),
            QStringLiteral("Прогноз высыхания (оценка): τ = 17,67 сут, R² = 0,9996; 14 % — 08.04.2024 16:59"));

  // Only the plotted readings count: without Wmin and Wmax the series drop out.
  EXPECT_EQ(hv::dryingPoints(rows, {true, false, false}).size(), 2);
}

TEST_F(DryingForecast, RefusesWithTheReasonInWords) {
  const QList<ChartPoint> falling = {{0, 30}, {7, 24}, {14, 20}, {21, 17.5}};
  const auto refusal = [](const QList<ChartPoint>& p, double target, double me) {
    return hv::forecastDrying(p, target, me).refusal;
  };
  EXPECT_EQ(refusal(falling.mid(0, 2), 14, 12), QStringLiteral("Для прогноза нужно не меньше трёх точек на графике."));
  EXPECT_EQ(refusal({{0, 20}, {7, 24}, {14, 30}}, 14, 12),
            QStringLiteral("Кривая не убывает: влажность не снижается со временем."));
  EXPECT_EQ(refusal({{0, 20}, {7, 20}, {14, 20}}, 14, 12),
            QStringLiteral("Кривая не убывает: влажность не снижается со временем."));
  for (double target : {12.0, 11.0})
    EXPECT_EQ(refusal(falling, target, 12), QStringLiteral("Целевая влажность должна быть выше равновесной влажности Me."));
  EXPECT_EQ(refusal(falling, 18, 17.5), QStringLiteral("Есть значения влажности не выше равновесной влажности Me."));
  const hv::DryingForecast none = hv::forecastDrying(falling.mid(0, 2), 14, 12);
  EXPECT_FALSE(none.ok());
  EXPECT_EQ(hv::forecastText(none, QChar(',')),
            QStringLiteral("Прогноз высыхания невозможен: Для прогноза нужно не меньше трёх точек на графике."));
  // Me 0 by default: the plain exponential fall still forecasts.
  EXPECT_TRUE(hv::forecastDrying(falling, 14, 0).ok());
}

TEST_F(DryingForecast, TheChartSettingsAreKeptPerUser) {
  {
    hv::SettingsKey key;
    key.open();
    EXPECT_FALSE(hv::readChartOptions(key).target);  // nothing stored: all off
    hv::ChartOptions o;
    o.target = 14.5;
    o.equilibrium = 8;
    o.byMaterial = true;
    o.forecast = true;
    hv::writeChartOptions(key, o);
  }
  hv::SettingsKey key;
  key.open();
  const hv::ChartOptions back = hv::readChartOptions(key);
  EXPECT_EQ(back.target, 14.5);
  EXPECT_EQ(back.equilibrium, 8);
  EXPECT_TRUE(back.byMaterial);
  EXPECT_FALSE(back.forecast);
  EXPECT_EQ(hv::parseMoistureInput(QStringLiteral(" 14,5 ")), 14.5);
  EXPECT_EQ(hv::parseMoistureInput(QStringLiteral("14.5")), 14.5);
  EXPECT_FALSE(hv::parseMoistureInput(QStringLiteral("abc")));
  EXPECT_FALSE(hv::parseMoistureInput(QStringLiteral("140")));
}

TEST_F(DryingForecast, LotNormsOfferTheirJudgedUpperLimitsAsTheTarget) {
  hv::LotNorm wood;
  wood.name = QStringLiteral("Доска");
  wood.pieceMax = 18;
  wood.meanMax = 16;
  wood.margin = 0.5;
  hv::LotNorm lower;  // a lower limit alone offers nothing
  lower.name = QStringLiteral("Нижняя");
  lower.pieceMin = 8;
  hv::LotNorm screed;
  screed.name = QStringLiteral("Стяжка");
  screed.archive = hv::ArchiveKind::Concrete;
  screed.pieceMax = 4;
  const QList<hv::NormTarget> targets = hv::normTargets({wood, lower, screed}, hv::ArchiveKind::Wood);
  ASSERT_EQ(targets.size(), 2);
  EXPECT_EQ(targets[0].caption, QStringLiteral("Доска: кусок до 17,5 %"));
  EXPECT_EQ(targets[0].value, 17.5);
  EXPECT_EQ(targets[1].caption, QStringLiteral("Доска: среднее до 15,5 %"));
  EXPECT_EQ(hv::normTargets({wood, screed}, hv::ArchiveKind::Concrete).first().value, 4);
}

}  // namespace
