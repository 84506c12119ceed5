#pragma once
// The points of the moisture chart, built from the selected rows without any
// window, so the chart window and the command-line tool share it.
#include <QDateTime>
#include <QList>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <array>
#include <atomic>
#include <optional>

#include "store/archive_kind.h"
#include "views/selected_rows.h"

namespace hv {

enum class Curve { W = 0, WMin = 1, WMax = 2 };
inline constexpr std::array<Curve, 3> kCurves = {Curve::W, Curve::WMin, Curve::WMax};

// The curves the user chose in the curve dialog.
struct CurveChoice {
  bool w = false, wMin = false, wMax = false;
  bool has(Curve c) const { return c == Curve::W ? w : c == Curve::WMin ? wMin : wMax; }
  bool any() const { return w || wMin || wMax; }
};

// "W, %", "Wmin, %", "Wmax, %": check box caption and legend base text.
QString curveCaption(Curve c);
// Legend entry: the base text followed directly by the footer text.
QString legendText(Curve c, const SelectionFooters& footers);

// x: days since 1899-12-30, fraction = time of day; y: moisture in percent.
struct ChartPoint {
  double x = 0;
  double y = 0;
  qsizetype row = -1;  // the reading's place in the selection
  bool operator==(const ChartPoint&) const = default;
};

// What the curve dialog adds to the curves. All off by default, and the
// chart is then as it always was.
struct ChartOptions {
  std::optional<double> target;  // moisture, percent: a line across the chart
  bool forecast = false;         // drying forecast towards the target
  double equilibrium = 0;        // Me, percent
  bool byMaterial = false;       // a series of its own for each material
};

class SettingsKey;
// Target, Me and by-material as the user left them last ("Chart_target",
// "Chart_equilibrium", "Chart_by_material"); the forecast starts off.
ChartOptions readChartOptions(const SettingsKey& settings);
void writeChartOptions(SettingsKey& settings, const ChartOptions& options);
// A moisture typed by the user, with either decimal separator; nullopt when
// it is not a number from 0 to 100.
std::optional<double> parseMoistureInput(const QString& text);

// A target offered by a lot norm: its limit and what to call it.
struct NormTarget {
  QString caption;
  double value = 0;
};

struct LotNorm;
// What the archive's lot norms offer as the target: the upper limit of a
// piece and of the mean, each as judged (narrowed by the norm's margin).
QList<NormTarget> normTargets(const QList<LotNorm>& norms, ArchiveKind archive);

struct ChartData {
  std::array<QList<ChartPoint>, 3> series;  // indexed by Curve
  const QList<ChartPoint>& points(Curve c) const { return series[static_cast<int>(c)]; }
  bool empty() const;
};

// Adds a point after every point whose x is not greater, keeping the list in
// ascending x with equal x in insertion order.
void insertPoint(QList<ChartPoint>& points, ChartPoint p);

// "dd.mm.yyyy" + "hh:mm:ss" -> days since 1899-12-30, a day its month lacks
// counted on from the month's start (30.02.2024 is 1 March). A missing time
// means midnight; anything else that is not a date and time throws hv::Error
// "Значение \"<date> <time>\" не является датой и временем."
double parseDateTime(const std::optional<QString>& date, const std::optional<QString>& time);
// The stored readings are the meter's wall clock; the chart keeps them on one
// fixed clock (UTC), so a local daylight-saving change neither reorders nor
// squeezes them.
QDateTime dateTimeFromDays(double days);       // a UTC date-time
// The same as milliseconds since 1970 UTC, without a QDateTime (the chart's
// time axis takes perhaps a million of them).
qint64 msecsSinceEpochFromDays(double days);
double daysFromDateTime(const QDateTime& dt);  // from its own date and time of day

// The points for the chosen curves, rows taken in selection order; values are
// read with either decimal separator, as the grid footers read them.
// Throws at the first row with a bad date and time or a bad chosen value.
// With control, another thread may follow the rows done and stop the build
// (what was read so far comes back).
struct BuildControl {
  std::atomic<bool> stop{false};
  std::atomic<qsizetype> done{0};
};
ChartData buildChartData(const QList<SelectedRow>& rows, const CurveChoice& curves, BuildControl* control = nullptr);

// What a plot of `columns` pixel columns over x in [area.left, area.right]
// can show of a series sorted by x: in each column its first, last, lowest
// and highest point, and, so that point markers cover the same ground, the
// first point in each of `rows` bands of y over [area.top, area.bottom]; also
// the nearest point on either side outside the range, so that lines leave the
// plot as they would. The points are the series' own, in its order (tooltips
// still name real readings). A series no longer than four points a column
// comes back whole.
// N, material and comment of a selected row, which the selection does not
// keep: read from the table when wanted.
struct RowDetails {
  QString n, material, comment;
};
// The tooltip of a reading: N, date and time, its value (Wmin and Wmax for a
// series), material and comment.
QString pointToolTip(const SelectedRow& row, const RowDetails& details);

// n, mean, minimum and maximum of each chosen curve's points with x in
// [from, to], one line per curve, the mean rounded as the footers round it.
QString figuresInView(const ChartData& data, const CurveChoice& curves, double from, double to, QChar separator);

// Markers are wider than a pixel: with bandColumns above 1 the first point in
// each band of y is kept once for that many columns together.
QList<QPointF> reduceToColumns(const QList<QPointF>& points, const QRectF& area, int columns, int rows,
                               int bandColumns = 1);

}  // namespace hv
