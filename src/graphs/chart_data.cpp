#include "graphs/chart_data.h"

#include <QTimeZone>
#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/error.h"
#include "platform/regional.h"
#include "platform/settings.h"
#include "store/row_schema.h"
#include "store/stored_values.h"
#include "views/lot_norm.h"
#include "views/selection_stats.h"

namespace hv {
namespace {

const QDate kDayZero(1899, 12, 30);
const QString kTargetValue = QStringLiteral("Chart_target");
const QString kEquilibriumValue = QStringLiteral("Chart_equilibrium");
const QString kByMaterialValue = QStringLiteral("Chart_by_material");
constexpr double kMsecsPerDay = 86400000.0;

// Blanks as the run-time library trims them: every control character and space.
QString trimBlanks(const QString& s) {
  qsizetype a = 0, b = s.size();
  while (a < b && s.at(a) <= QChar(' ')) ++a;
  while (b > a && s.at(b - 1) <= QChar(' ')) --b;
  return s.mid(a, b - a);
}

// A stored moisture text, with either separator; throws for anything else.
double moistureValue(const QString& text, QChar separator) {
  const QByteArray utf8 = text.toUtf8();
  const std::optional<double> v = readStoredMoisture(std::string_view(utf8.constData(), std::size_t(utf8.size())), separator);
  if (!v) throwInvalidFloat(text);
  return *v;
}

}  // namespace

QString curveCaption(Curve c) {
  switch (c) {
    case Curve::W: return fieldCaption(MeasurementField::W);
    case Curve::WMin: return fieldCaption(MeasurementField::WMin);
    case Curve::WMax: return fieldCaption(MeasurementField::WMax);
  }
  return {};
}

QString legendText(Curve c, const SelectionFooters& footers) {
  switch (c) {
    case Curve::W: return curveCaption(c) + footers.w;
    case Curve::WMin: return curveCaption(c) + footers.wMin;
    case Curve::WMax: return curveCaption(c) + footers.wMax;
  }
  return {};
}

bool ChartData::empty() const {
  return std::all_of(series.begin(), series.end(), [](const QList<ChartPoint>& s) { return s.isEmpty(); });
}

void insertPoint(QList<ChartPoint>& points, ChartPoint p) {
  const auto at = std::upper_bound(points.begin(), points.end(), p.x,
                                   [](double x, const ChartPoint& q) { return x < q.x; });
  points.insert(at, p);
}

double parseDateTime(const std::optional<QString>& date, const std::optional<QString>& time) {
  const QString joined = date.value_or(QString()) + QChar(' ') + time.value_or(QString());
  // A row without a date would land on 30.12.1899 and squash the whole axis;
  // a row without a time is at midnight.
  // The meter can send a day its month lacks (30 February); such a reading
  // lies where the append places it, counted on from the month's start.
  const QString timeText = trimBlanks(time.value_or(QString()));
  const std::optional<ClockReading> clock =
      readStoredClock(trimBlanks(date.value_or(QString())), timeText.isEmpty() ? QStringLiteral("0:00") : timeText);
  if (!clock) throwInvalidDateTime(joined);
  const qint64 seconds = clock->seconds();
  static const qint64 dayZero =
      ClockReading{kDayZero.year(), kDayZero.month(), kDayZero.day(), 0, 0, 0}.seconds() / 86400;
  return static_cast<double>(seconds / 86400 - dayZero) + (seconds % 86400) * 1000 / kMsecsPerDay;
}

qint64 msecsSinceEpochFromDays(double days) {
  static const qint64 epochDay = kDayZero.daysTo(QDate(1970, 1, 1));
  const double whole = std::floor(days);
  qint64 day = static_cast<qint64>(whole);
  qint64 ms = std::llround((days - whole) * kMsecsPerDay);
  if (ms >= static_cast<qint64>(kMsecsPerDay)) {
    ++day;
    ms = 0;
  }
  return (day - epochDay) * static_cast<qint64>(kMsecsPerDay) + ms;
}

QDateTime dateTimeFromDays(double days) {
  return QDateTime::fromMSecsSinceEpoch(msecsSinceEpochFromDays(days), QTimeZone::utc());
}

double daysFromDateTime(const QDateTime& dt) {
  return static_cast<double>(kDayZero.daysTo(dt.date())) + dt.time().msecsSinceStartOfDay() / kMsecsPerDay;
}

ChartData buildChartData(const QList<SelectedRow>& rows, const CurveChoice& curves, BuildControl* control) {
  ChartData data;
  const QChar separator = decimalSeparator();
  qsizetype done = 0;
  for (const SelectedRow& row : rows) {
    if (++done % 4096 == 0 && control) {
      control->done = done;
      if (control->stop) break;
    }
    const double x = parseDateTime(row.date, row.time);
    const std::optional<QString>* values[3] = {&row.w, &row.wMin, &row.wMax};
    for (Curve c : kCurves) {
      const auto& v = *values[static_cast<int>(c)];
      if (v && curves.has(c))
        insertPoint(data.series[static_cast<int>(c)], {x, moistureValue(*v, separator), done - 1});
    }
  }
  return data;
}

QList<ChartPoint> dryingPoints(const QList<SelectedRow>& rows, const CurveChoice& curves) {
  QList<ChartPoint> points;
  const QChar separator = decimalSeparator();
  qsizetype i = 0;
  for (const SelectedRow& row : rows) {
    const double x = parseDateTime(row.date, row.time);
    if (row.w && curves.w)
      insertPoint(points, {x, moistureValue(*row.w, separator), i});
    else if (row.wMin && row.wMax && (curves.wMin || curves.wMax))
      insertPoint(points, {x, (moistureValue(*row.wMin, separator) + moistureValue(*row.wMax, separator)) / 2, i});
    ++i;
  }
  return points;
}

ChartOptions readChartOptions(const SettingsKey& settings) {
  ChartOptions o;
  if (settings.hasValue(kTargetValue)) o.target = parseMoistureInput(settings.readString(kTargetValue));
  o.equilibrium = parseMoistureInput(settings.readString(kEquilibriumValue)).value_or(0);
  o.byMaterial = settings.readString(kByMaterialValue) == QLatin1String("1");
  return o;
}

void writeChartOptions(SettingsKey& settings, const ChartOptions& options) {
  settings.writeString(kTargetValue, options.target ? QString::number(*options.target) : QString());
  settings.writeString(kEquilibriumValue, QString::number(options.equilibrium));
  settings.writeString(kByMaterialValue, options.byMaterial ? QStringLiteral("1") : QStringLiteral("0"));
}

std::optional<double> parseMoistureInput(const QString& text) {
  const QByteArray utf8 = text.trimmed().toUtf8();
  if (utf8.isEmpty()) return std::nullopt;
  const std::optional<double> v =
      readStoredMoisture(std::string_view(utf8.constData(), std::size_t(utf8.size())), decimalSeparator());
  if (!v || !(*v >= 0 && *v <= 100)) return std::nullopt;
  return v;
}

QList<NormTarget> normTargets(const QList<LotNorm>& norms, ArchiveKind archive) {
  QList<NormTarget> out;
  const QChar separator = decimalSeparator();
  for (const LotNorm& norm : norms) {
    if (norm.archive != archive) continue;
    if (const std::optional<double> piece = pieceRange(norm).upper)
      out.append({QStringLiteral("%1: кусок до %2 %").arg(norm.name, formatFigure(*piece, separator)), *piece});
    if (const std::optional<double> mean = judgedMeanMax(norm))
      out.append({QStringLiteral("%1: среднее до %2 %").arg(norm.name, formatFigure(*mean, separator)), *mean});
  }
  return out;
}

QString pointToolTip(const SelectedRow& row, const RowDetails& details) {
  QStringList lines;
  lines << QStringLiteral("N: ") + details.n;
  lines << QStringLiteral("Дата: %1  Время: %2").arg(row.date.value_or(QString()).trimmed(),
                                                     row.time.value_or(QString()).trimmed());
  if (row.w) lines << curveCaption(Curve::W) + QStringLiteral(": ") + row.w->trimmed();
  if (row.wMin) lines << curveCaption(Curve::WMin) + QStringLiteral(": ") + row.wMin->trimmed();
  if (row.wMax) lines << curveCaption(Curve::WMax) + QStringLiteral(": ") + row.wMax->trimmed();
  lines << QStringLiteral("Материал: ") + details.material.trimmed();
  if (!details.comment.trimmed().isEmpty()) lines << QStringLiteral("Комментарий: ") + details.comment.trimmed();
  return lines.join(QChar('\n'));
}

QString figuresInView(const ChartData& data, const CurveChoice& curves, double from, double to, QChar separator) {
  QStringList lines;
  for (Curve c : kCurves) {
    if (!curves.has(c)) continue;
    const QList<ChartPoint>& points = data.points(c);
    auto it = std::lower_bound(points.begin(), points.end(), from, [](const ChartPoint& p, double x) { return p.x < x; });
    QuantityStats q;
    for (; it != points.end() && it->x <= to; ++it) q.add(it->y);
    QString line = curveCaption(c) + QStringLiteral(": n = %1").arg(q.count);
    if (q.count > 0)
      line += QStringLiteral(", среднее %1, мин. %2, макс. %3")
                  .arg(formatStatNumber(round_tenth(q.sum / q.count), separator), formatStatNumber(q.min, separator),
                       formatStatNumber(q.max, separator));
    lines << line;
  }
  return lines.join(QChar('\n'));
}

QList<QPointF> reduceToColumns(const QList<QPointF>& points, const QRectF& area, int columns, int rows,
                               int bandColumns) {
  const qsizetype n = points.size();
  const double from = area.left(), to = area.right();
  if (columns <= 0 || !(to > from) || n <= 4 * qsizetype(columns)) return points;
  const auto byX = [](const QPointF& p, double x) { return p.x() < x; };
  const qsizetype lo = std::lower_bound(points.begin(), points.end(), from, byX) - points.begin();
  const qsizetype hi =
      std::upper_bound(points.begin(), points.end(), to, [](double x, const QPointF& p) { return x < p.x(); }) -
      points.begin();
  const double perColumn = columns / (to - from);
  const auto column = [&](qsizetype i) { return std::min(columns - 1, int((points[i].x() - from) * perColumn)); };
  rows = area.height() > 0 ? std::max(0, rows) : 0;
  const double perRow = rows > 0 ? rows / area.height() : 0;
  const auto row = [&](qsizetype i) { return std::clamp(int((points[i].y() - area.top()) * perRow), 0, rows - 1); };
  bandColumns = std::max(1, bandColumns);
  std::vector<qsizetype> firstInRow(size_t(std::max(rows, 1)), -1);
  std::vector<int> rowsMet;
  std::vector<qsizetype> keep;
  QList<QPointF> out;
  out.reserve(4 * columns + 2);
  if (lo > 0) out.append(points[lo - 1]);
  int band = -1;
  for (qsizetype i = lo; i < hi;) {
    const int c = column(i);
    if (c / bandColumns != band) {
      for (int r : rowsMet) firstInRow[size_t(r)] = -1;
      rowsMet.clear();
      band = c / bandColumns;
    }
    qsizetype low = i, high = i, j = i;
    keep.clear();
    for (; j < hi && column(j) == c; ++j) {
      if (points[j].y() < points[low].y()) low = j;
      if (points[j].y() > points[high].y()) high = j;
      if (rows > 0) {
        const int r = row(j);
        if (firstInRow[size_t(r)] < 0) {
          firstInRow[size_t(r)] = j;
          rowsMet.push_back(r);
          keep.push_back(j);
        }
      }
    }
    keep.insert(keep.end(), {i, low, high, j - 1});
    std::sort(keep.begin(), keep.end());
    keep.erase(std::unique(keep.begin(), keep.end()), keep.end());
    for (qsizetype k : keep) out.append(points[k]);
    i = j;
  }
  if (hi < n) out.append(points[hi]);
  return out;
}

}  // namespace hv
