#pragma once
// The chart of moisture against time, shared by the chart window, its
// picture export and the command-line tool.
#include <QImage>
#include <QSize>
#include <QString>

#include <QPageLayout>
#include <QRectF>
#include <atomic>
#include <memory>
#include <optional>
#include <utility>

#include "graphs/chart_data.h"
#include "graphs/drying_forecast.h"

class QChart;
class QGraphicsScene;
class QLineSeries;
class QPainter;
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

// The chart as it stands, taken for one page: what the scene draws besides
// the curves recorded, and the curves' points. A page is drawn from it on any
// thread, which the scene itself does not allow.
struct ChartPage;
// On the UI thread: the chart fit into area (device pixels) keeping its
// ratio, at the top and centred across.
std::shared_ptr<const ChartPage> takeChartPage(QChart* chart, const QRectF& area);
// On any thread: the page on a painter of the device it was taken for, the
// curves reduced at that device's resolution. False once stop is set (the
// page is then part-drawn).
bool drawChartPage(const ChartPage& page, QPainter& painter, const std::atomic<bool>* stop = nullptr);
// The document name and the landscape page of the chart's print; returns the
// orientation to put back.
QPageLayout::Orientation prepareChartPrinter(QPrinter& printer);
// The chart's own PDF: one landscape A4 page. chartPdfArea is its page area in
// device pixels; writeChartPdf writes the page through a temporary put in
// place when complete (any thread). False when stopped: the file is then as it
// was. Throws hv::Error.
QRectF chartPdfArea();
bool writeChartPdf(const ChartPage& page, const QString& fileName, const std::atomic<bool>* stop = nullptr);

// The chart (alone) as a picture of the given size.
QImage renderChartImage(QChart* chart, QSize size);
// Saves as PDF (one landscape A4 page) when the name ends in ".pdf", else as
// PNG; the file is replaced only once the new one is complete. Throws hv::Error.
void saveChartPicture(QChart* chart, const QString& fileName);

}  // namespace hv
