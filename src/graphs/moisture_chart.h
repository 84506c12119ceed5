#pragma once
// The chart of moisture against time, shared by the chart window, its
// picture export and the command-line tool.
#include <QImage>
#include <QSize>
#include <QString>

#include <optional>
#include <utility>

#include "graphs/chart_data.h"
#include "graphs/drying_forecast.h"

class QChart;
class QGraphicsScene;
class QLineSeries;
class QPagedPaintDevice;
class QPrinter;

namespace hv {

// The label format of the bottom axis; shown split at its space (date above time).
inline constexpr char kDateTimeLabelFormat[] = "dd.MM.yyyy HH:mm:ss";

// A new chart with the three series (W, Wmin, Wmax, in that order),
// the bottom axis of readings (labelled in kDateTimeLabelFormat), the moisture
// left axis and the legend below.
QChart* createMoistureChart();
QLineSeries* chartSeries(QChart* chart, Curve c);

// What may be drawn besides the curves; nothing by default.
struct ChartAdditions {
  std::optional<double> target;             // a line across the chart, labelled with its value
  std::optional<DryingForecast> forecast;   // the dashed fitted curve and its figures, or the refusal
  QList<QString> materials;                 // each selected row's material; several: a series each
};

// Replaces the chart's points by the given ones, lists exactly the chosen
// curves in the legend with their footer texts, and fits the axes. The chart
// is hidden while its points change.
void fillMoistureChart(QChart* chart, const ChartData& data, const CurveChoice& curves,
                       const SelectionFooters& footers, const ChartAdditions& additions = {});

// The reading drawn nearest to pos (chart coordinates), no farther than
// reach pixels, by its place in the selection: looked up among all the
// readings, not only those the plot draws.
std::optional<qsizetype> rowAt(QChart* chart, QPointF pos, qreal reach);

// The time axis narrowed to [from, to] (days since 1899-12-30); its labels
// follow the span (dates over weeks, hours and minutes over a day).
void zoomTime(QChart* chart, double from, double to);
void showWholeTime(QChart* chart);
bool isTimeZoomed(QChart* chart);
std::pair<double, double> timeInView(QChart* chart);  // days

// The chart (alone) as a picture of the given size.
QImage renderChartImage(QChart* chart, QSize size);
// The chart alone on the current page of a paged device, as large as fits
// while keeping the chart's own width-to-height ratio.
void paintChartOnPage(QChart* chart, QPagedPaintDevice* device);
// Prints the chart on one landscape page; the printer's orientation is put
// back afterwards. False when the printer could not start the page.
bool printChart(QChart* chart, QPrinter& printer);
// Saves as PDF (one landscape A4 page) when the name ends in ".pdf", else as
// PNG; the file is replaced only once the new one is complete. Throws hv::Error.
void saveChartPicture(QChart* chart, const QString& fileName);

}  // namespace hv
