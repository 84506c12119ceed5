#include "graphs/drying_forecast.h"

#include <cmath>

#include "views/selection_stats.h"

namespace hv {

namespace {
// Beyond this the date means nothing (and would leave the calendar).
constexpr double kLongestForecastDays = 100 * 365.25;

QString fixed(double v, int decimals, QChar separator) {
  return QString::number(v, 'f', decimals).replace(QChar('.'), separator);
}
}  // namespace

double DryingForecast::moistureAt(double x) const {
  return equilibrium + (initial - equilibrium) * std::exp(-(x - start) / tau);
}

DryingForecast forecastDrying(const QList<ChartPoint>& points, double target, double equilibrium) {
  DryingForecast f;
  f.target = target;
  f.equilibrium = equilibrium;
  if (!(target > equilibrium)) {
    f.refusal = QStringLiteral("Целевая влажность должна быть выше равновесной влажности Me.");
    return f;
  }
  if (points.size() < 3) {
    f.refusal = QStringLiteral("Для прогноза нужно не меньше трёх точек на графике.");
    return f;
  }
  for (const ChartPoint& p : points)
    if (!(p.y > equilibrium)) {
      f.refusal = QStringLiteral("Есть значения влажности не выше равновесной влажности Me.");
      return f;
    }
  // Straight line ln(M - Me) = a + b·t, t in days from the first reading.
  f.start = points.first().x;
  const double n = static_cast<double>(points.size());
  double meanT = 0, meanL = 0;
  for (const ChartPoint& p : points) {
    meanT += p.x - f.start;
    meanL += std::log(p.y - equilibrium);
  }
  meanT /= n;
  meanL /= n;
  double sxx = 0, sxy = 0, syy = 0;
  for (const ChartPoint& p : points) {
    const double dt = p.x - f.start - meanT, dl = std::log(p.y - equilibrium) - meanL;
    sxx += dt * dt;
    sxy += dt * dl;
    syy += dl * dl;
  }
  const double slope = sxx > 0 ? sxy / sxx : 0;
  if (!(slope < 0)) {
    f.refusal = QStringLiteral("Кривая не убывает: влажность не снижается со временем.");
    return f;
  }
  f.tau = -1 / slope;
  f.initial = equilibrium + std::exp(meanL - slope * meanT);
  f.r2 = syy > 0 ? sxy * sxy / (sxx * syy) : 1;
  f.reachesAfter = f.tau * std::log((f.initial - equilibrium) / (target - equilibrium));
  if (!std::isfinite(f.reachesAfter) || f.reachesAfter > kLongestForecastDays) {
    f.refusal = QStringLiteral("Кривая снижается так медленно, что целевая влажность не будет достигнута.");
    return f;
  }
  return f;
}

QString isoDateTime(double days) {
  return dateTimeFromDays(days).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
}

QString forecastText(const DryingForecast& f, QChar separator) {
  if (!f.ok()) return QStringLiteral("Прогноз высыхания невозможен: ") + f.refusal;
  return QStringLiteral("Прогноз высыхания (оценка): τ = %1 сут, R² = %2; %3 % — %4")
      .arg(fixed(f.tau, 2, separator), fixed(f.r2, 4, separator), formatStatNumber(f.target, separator),
           dateTimeFromDays(f.reaches()).toString(QStringLiteral("dd.MM.yyyy HH:mm")));
}

}  // namespace hv
