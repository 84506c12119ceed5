#pragma once
// The drying forecast: M(t) = Me + (M0 - Me)·e^(-t/τ) fitted to the plotted
// readings by least squares of ln(M - Me) against t, and the day the target
// moisture is reached. No widgets: the chart window and hygrovan-cli share it.
#include <QList>
#include <QString>

#include "graphs/chart_data.h"

namespace hv {

struct DryingForecast {
  QString refusal;  // why there is no forecast, in words; empty when there is one
  double target = 0, equilibrium = 0;
  double start = 0;         // x of the first reading, days since 1899-12-30
  double initial = 0;       // fitted M0 at start
  double tau = 0;           // days
  double r2 = 0;            // of the straight line through ln(M - Me)
  double reachesAfter = 0;  // days from start until the fitted curve is at the target
  bool ok() const { return refusal.isEmpty(); }
  double reaches() const { return start + reachesAfter; }
  double moistureAt(double x) const;
};

// The readings the forecast goes by: every row with a point on the chart, a
// single measurement by its W, a series by the midpoint of its Wmin and Wmax;
// sorted by time. Throws as buildChartData does.
QList<ChartPoint> dryingPoints(const QList<SelectedRow>& rows, const CurveChoice& curves);

DryingForecast forecastDrying(const QList<ChartPoint>& points, double target, double equilibrium);

// "τ = 17,67 сут, R² = 0,9996; 14 % — 12.04.2024 17:02 (оценка)" with the
// given decimal separator, or the refusal.
QString forecastText(const DryingForecast& f, QChar separator);

// "yyyy-MM-ddTHH:mm:ss" of a chart x, on the readings' own clock.
QString isoDateTime(double days);

}  // namespace hv
