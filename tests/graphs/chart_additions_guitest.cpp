// What the chart window adds on request: the target line and the drying
// forecast in the picture, the tooltip of a reading, the zoom with the
// figures of the points in view, a series per material.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QWheelEvent>

#include "graphs/chart_window.h"
#include "graphs/moisture_chart.h"
#include "platform/regional.h"
#include "platform/ui.h"
#include "support/scripted_ui.h"
#include "support/test_support.h"

namespace {

using hv::Curve;
using hv::CurveChoice;
using hv::SelectedRow;

std::optional<QString> t(const char* s) { return QString::fromUtf8(s); }

class ChartAdditions : public ::testing::Test {
 protected:
  void SetUp() override {
    hv::setUserInteraction(&ui_);
    hv::setDecimalSeparatorOverride(QChar(','));
    window_ = std::make_unique<hv::ChartWindow>();  // with the separator set
    window_->resize(698, 482);
    window_->show();
    form_ = window_.get();
  }
  void TearDown() override {
    window_.reset();
    hv::setDecimalSeparatorOverride(QChar());
    hv::setUserInteraction(nullptr);
  }

  QImage saved(const char* name) {
    const QString png = hv::test::testPath(QString::fromLatin1(name));
    hv::saveChartPicture(form_->chart(), png);
    return QImage(png);
  }
  QLineSeries* series(const char* name) {
    for (QAbstractSeries* s : form_->chart()->series())
      if (s->objectName() == QLatin1String(name)) return qobject_cast<QLineSeries*>(s);
    return nullptr;
  }
  static bool near(const QImage& image, QPointF at, const std::function<bool(QColor)>& is) {
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx)
        if (is(image.pixelColor(at.toPoint() + QPoint(dx, dy)))) return true;
    return false;
  }

  hv::test::ScriptedUserInteraction ui_;
  std::unique_ptr<hv::ChartWindow> window_;
  hv::ChartWindow* form_ = nullptr;
  // The worked example: 30, 24, 20, 17,5 % a week apart.
  const QList<SelectedRow> drying_ = {{t("30,0"), {}, {}, t("01.03.2024"), t("00:00:00")},
                                      {t("24,0"), {}, {}, t("08.03.2024"), t("00:00:00")},
                                      {t("20,0"), {}, {}, t("15.03.2024"), t("00:00:00")},
                                      {t("17,5"), {}, {}, t("22.03.2024"), t("00:00:00")}};
  const hv::SelectionFooters footers_{QStringLiteral("17,5/22,9/30"), {}, {}};
};

bool isGreen(QColor c) { return c.green() > 100 && c.red() < 90 && c.blue() < 90; }
bool isPurple(QColor c) { return c.red() > 110 && c.blue() > 110 && c.green() < 90; }

TEST_F(ChartAdditions, TargetLineAndForecastAreInThePictureAndGoneWhenSwitchedOff) {
  hv::ChartOptions options;
  options.target = 14;
  options.forecast = true;
  options.equilibrium = 12;
  form_->buildChart(drying_, footers_, CurveChoice{true, false, false}, options);
  const QImage with = saved("with.png");
  QLineSeries* target = series("targetLine");
  QLineSeries* forecast = series("forecastCurve");
  ASSERT_TRUE(target && forecast);
  const QRectF plot = form_->chart()->plotArea();
  const QPointF onTarget = form_->chart()->mapToPosition(QPointF(0, 14), target);
  for (double x : {0.25, 0.5, 0.75})
    EXPECT_TRUE(near(with, QPointF(plot.left() + plot.width() * x, onTarget.y()), isGreen)) << x;
  // The dashed curve: somewhere along its middle stretch, in its colour.
  int purple = 0;
  for (qsizetype i = 60; i < 140; ++i) purple += near(with, form_->chart()->mapToPosition(forecast->at(i), forecast), isPurple);
  EXPECT_GT(purple, 20);
  // It ends on the target line at the forecast day.
  EXPECT_NEAR(forecast->points().last().y(), 14, 1e-6);

  // Switched off, the picture is that of a chart that never had them.
  form_->buildChart(drying_, footers_, CurveChoice{true, false, false});
  const QImage without = saved("without.png");
  hv::ChartWindow fresh;
  fresh.resize(698, 482);
  fresh.show();
  fresh.buildChart(drying_, footers_, CurveChoice{true, false, false});
  const QString png = hv::test::testPath(QStringLiteral("fresh.png"));
  hv::saveChartPicture(fresh.chart(), png);
  EXPECT_EQ(without, QImage(png));
  EXPECT_FALSE(near(without, QPointF(plot.center().x(), onTarget.y()), isGreen));
}

TEST_F(ChartAdditions, TheTooltipNamesTheRowOfASeriesPoint) {
  const QList<SelectedRow> rows = {{t("12,0"), {}, {}, t("05.03.2024"), t("08:00:00")},
                                   {{}, t("10,0"), t("12,4"), t("06.03.2024"), t("09:00:00")}};
  const auto details = [](qsizetype i) {
    return i == 1 ? hv::RowDetails{QStringLiteral("7"), QStringLiteral("Сосна"), QStringLiteral("штабель 2")}
                  : hv::RowDetails{QStringLiteral("3"), QStringLiteral("Ель"), {}};
  };
  form_->buildChart(rows, footers_, CurveChoice{true, true, true}, {}, details);
  QApplication::processEvents();
  QLineSeries* wMax = hv::chartSeries(form_->chart(), Curve::WMax);
  const QPointF at = form_->chart()->mapToPosition(wMax->at(0), wMax);
  const QPoint viewPos = form_->chartView()->mapFromScene(form_->chart()->mapToScene(at));
  EXPECT_EQ(form_->toolTipAt(viewPos + QPoint(2, -1)),
            QStringLiteral("N: 7\nДата: 06.03.2024  Время: 09:00:00\nWmin, %: 10,0\nWmax, %: 12,4\n"
                           "Материал: Сосна\nКомментарий: штабель 2"));
  EXPECT_EQ(form_->toolTipAt(viewPos + QPoint(0, 40)), QString());
}

TEST_F(ChartAdditions, ZoomNarrowsTheFiguresOfThePointsInView) {
  form_->buildChart(drying_, footers_, CurveChoice{true, false, false});
  EXPECT_EQ(form_->figuresText(), QString());
  EXPECT_FALSE(form_->wholeButton()->isVisible());
  const double day0 = hv::parseDateTime(t("01.03.2024"), t("00:00:00"));
  form_->zoomTo(day0 - 0.5, day0 + 7.5);
  EXPECT_EQ(form_->figuresText(), QStringLiteral("W, %: n = 2, среднее 27, мин. 24, макс. 30"));
  EXPECT_TRUE(form_->wholeButton()->isVisible());
  // Over a week the labels are dates.
  auto* axis = qobject_cast<QCategoryAxis*>(form_->chart()->axes(Qt::Horizontal).first());
  EXPECT_EQ(axis->categoriesLabels().first(), QStringLiteral("29.02.2024"));
  form_->zoomTo(day0 + 6, day0 + 7.25);
  EXPECT_EQ(form_->figuresText(), QStringLiteral("W, %: n = 1, среднее 24, мин. 24, макс. 24"));
  EXPECT_TRUE(axis->categoriesLabels().first().contains(QStringLiteral("<br>")));
  // Esc goes back to the whole span, and the window is as before.
  QTest::keyClick(form_, Qt::Key_Escape);
  EXPECT_TRUE(form_->isVisible());
  EXPECT_EQ(form_->figuresText(), QString());
  EXPECT_FALSE(form_->wholeButton()->isVisible());
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d\\d\\.\\d\\d\\.\\d{4}<br>\\d\\d:\\d\\d:\\d\\d$"))
                  .match(axis->categoriesLabels().first())
                  .hasMatch());

  // The wheel zooms in about the pointer, a double click goes back.
  QWidget* viewport = form_->chartView()->viewport();
  const QPointF centre = QRectF(viewport->rect()).center();
  QWheelEvent wheel(centre, viewport->mapToGlobal(centre), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                    Qt::NoScrollPhase, false);
  QApplication::sendEvent(viewport, &wheel);
  EXPECT_TRUE(form_->wholeButton()->isVisible());
  EXPECT_TRUE(form_->figuresText().startsWith(QStringLiteral("W, %: n = ")));
  QTest::mouseDClick(viewport, Qt::LeftButton, Qt::NoModifier, centre.toPoint());
  EXPECT_FALSE(form_->wholeButton()->isVisible());
}

TEST_F(ChartAdditions, ByMaterialEachMaterialIsASeriesOfItsOwnColour) {
  const QList<SelectedRow> rows = {{t("20,0"), {}, {}, t("05.03.2024"), t("08:00:00")},
                                   {t("14,0"), {}, {}, t("06.03.2024"), t("08:00:00")},
                                   {t("18,0"), {}, {}, t("07.03.2024"), t("08:00:00")}};
  const auto details = [](qsizetype i) {
    return hv::RowDetails{QString::number(i + 1), i == 1 ? QStringLiteral("Ель") : QStringLiteral("Сосна"), {}};
  };
  hv::ChartOptions options;
  options.byMaterial = true;
  form_->buildChart(rows, footers_, CurveChoice{true, false, false}, options, details);
  QApplication::processEvents();  // the legend lays out its new entries
  QStringList legend;
  QList<QColor> colours;
  for (QLegendMarker* m : form_->chart()->legend()->markers())
    if (m->isVisible()) {
      legend << m->label();
      colours << qobject_cast<QLineSeries*>(m->series())->color();
    }
  EXPECT_EQ(legend, (QStringList{QStringLiteral("W, % — Ель: 14/14/14"), QStringLiteral("W, % — Сосна: 18/19/20")}));
  ASSERT_EQ(colours.size(), 2);
  EXPECT_NE(colours[0], colours[1]);
  // Off again: the curve's own series and legend.
  form_->buildChart(rows, footers_, CurveChoice{true, false, false}, {}, details);
  legend.clear();
  for (QLegendMarker* m : form_->chart()->legend()->markers())
    if (m->isVisible()) legend << m->label();
  EXPECT_EQ(legend, QStringList{QStringLiteral("W, %17,5/22,9/30")});
}

}  // namespace
