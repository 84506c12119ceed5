#include "graphs/moisture_chart.h"

#include <QCategoryAxis>
#include <QChart>
#include <QCoreApplication>
#include <QFontMetricsF>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QSaveFile>
#include <QTimeZone>
#include <QValueAxis>
#include <algorithm>
#include <array>
#include <cmath>
#include <functional>

#include "platform/error.h"
#include "platform/regional.h"
#include "report/report_ui.h"

namespace hv {
namespace {

constexpr int kMarkerReach = 3;  // pixels each way from the point
constexpr qreal kMarkerSize = 2 * kMarkerReach + 1;

QColor curveColor(Curve c) {
  switch (c) {
    case Curve::W: return Qt::black;
    case Curve::WMin: return Qt::blue;
    case Curve::WMax: return Qt::red;
  }
  return Qt::black;
}

QImage squareMarker(const QColor& color) {
  QImage img(static_cast<int>(kMarkerSize), static_cast<int>(kMarkerSize), QImage::Format_ARGB32_Premultiplied);
  img.fill(color);
  return img;
}

// The chart's full series (x in milliseconds), kept beside the chart; the
// series themselves get what the plot can show at the resolution it is drawn
// at, and again whenever the plot's width or the time axis's range changes.
class FullSeries : public QObject {
 public:
  explicit FullSeries(QChart* chart) : QObject(chart), chart_(chart) {}
  std::array<QList<QPointF>, 3> points;
  // Device pixels per chart pixel of what is drawn next: above 1 while the
  // chart is printed or saved larger than it shows.
  double scale = 1;
  void reduce();

 private:
  QChart* chart_;
  bool reducing_ = false;
};

FullSeries* fullSeries(QChart* chart) {
  for (QObject* child : chart->children())
    if (auto* full = dynamic_cast<FullSeries*>(child)) return full;
  return nullptr;
}

QCategoryAxis* xAxis(QChart* chart) {
  const auto axes = chart->axes(Qt::Horizontal);
  return axes.isEmpty() ? nullptr : qobject_cast<QCategoryAxis*>(axes.first());
}

QValueAxis* yAxis(QChart* chart) {
  const auto axes = chart->axes(Qt::Vertical);
  return axes.isEmpty() ? nullptr : qobject_cast<QValueAxis*>(axes.first());
}

void FullSeries::reduce() {
  QCategoryAxis* x = xAxis(chart_);
  QValueAxis* y = yAxis(chart_);
  if (reducing_ || !x || !y) return;
  reducing_ = true;
  const QRectF plot = chart_->plotArea();
  // Printed or saved larger, lines and markers grow with the chart: nothing
  // finer than half a line's width shows, however fine the device.
  const int columns = std::max(1, static_cast<int>(std::ceil(plot.width() * std::min(scale, 2.0))));
  // Bands of y no taller than a marker reaches, so that the markers kept
  // cover what all of them would.
  const int rows = std::max(1, static_cast<int>(std::ceil(plot.height() / kMarkerReach)));
  const QRectF range(QPointF(x->min(), y->min()), QPointF(x->max(), y->max()));
  for (Curve c : kCurves)
    if (QLineSeries* s = chartSeries(chart_, c)) {
      const QList<QPointF>& all = points[static_cast<size_t>(c)];
      QList<QPointF> shown = reduceToColumns(all, range, columns, rows);
      if (shown.size() != s->count() || shown != s->points()) s->replace(shown);
    }
  reducing_ = false;
}

// Draws the chart at scale device pixels per chart pixel: the series reduced
// at that resolution while fn runs, then again at the screen's.
void atScale(QChart* chart, double scale, const std::function<void()>& fn) {
  FullSeries* full = fullSeries(chart);
  if (full) {
    full->scale = std::max(1.0, scale);
    full->reduce();
  }
  fn();
  if (full) {
    full->scale = 1;
    full->reduce();
  }
}

// Axis labels are rich text: a line break in place of the format's space puts
// the date above the time.
QString twoLineFormat() {
  return QString::fromLatin1(kDateTimeLabelFormat).replace(QChar(' '), QStringLiteral("'<br>'"));
}

// Evenly spaced labels across the time axis, as many as its width holds
// without crowding, each naming the reading at its place on the chart's fixed
// clock. (A date-time axis would name the local time there instead.)
void placeTimeLabels(QChart* chart) {
  QCategoryAxis* axis = xAxis(chart);
  if (!axis) return;
  const int count = std::clamp(static_cast<int>(chart->size().width() / 120), 2, 12);
  for (const QString& label : axis->categoriesLabels()) axis->remove(label);
  const qreal from = axis->min(), to = axis->max();
  axis->setStartValue(from);
  const QString format = twoLineFormat();
  QString previous;
  for (int i = 0; i < count; ++i) {
    const qreal at = from + (to - from) * i / (count - 1);
    const QString label =
        QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::floor(at)), QTimeZone::utc()).toString(format);
    if (label == previous) continue;  // places less than a second apart
    axis->append(label, at);
    previous = label;
  }
}

// Keeps the top margin at 5 % of the height and the date labels from crowding.
void fitToSize(QChart* chart) {
  const QSizeF size = chart->size();
  QMargins m = chart->margins();
  m.setTop(std::max(4, static_cast<int>(std::lround(size.height() * 0.05))));
  // Room for the right half of the last date label, which the axis does not keep.
  if (QCategoryAxis* x = xAxis(chart)) {
    const qreal halfLabel = QFontMetricsF(x->labelsFont()).horizontalAdvance(QStringLiteral("00.00.0000")) / 2;
    m.setRight(static_cast<int>(halfLabel) + 30);
  }
  chart->setMargins(m);
  placeTimeLabels(chart);
}

void fitAxes(QChart* chart, const ChartData& data, const CurveChoice& curves) {
  double x0 = 0, x1 = 0, y0 = 0, y1 = 0;
  bool any = false;
  for (Curve c : kCurves) {
    if (!curves.has(c)) continue;
    for (const ChartPoint& p : data.points(c)) {
      if (!any) {
        x0 = x1 = p.x;
        y0 = y1 = p.y;
        any = true;
      }
      x0 = std::min(x0, p.x);
      x1 = std::max(x1, p.x);
      y0 = std::min(y0, p.y);
      y1 = std::max(y1, p.y);
    }
  }
  if (!any) {
    x0 = daysFromDateTime(QDateTime(QDate::currentDate(), QTime(0, 0)));
    x1 = x0 + 1;
    y0 = 0;
    y1 = 100;
  }
  // A little room so the end markers are not cut in half.
  const double padX = x1 > x0 ? (x1 - x0) * 0.03 : 1.0 / 24;
  const double padY = y1 > y0 ? (y1 - y0) * 0.05 : 1.0;
  if (QCategoryAxis* x = xAxis(chart)) {
    x->setRange(static_cast<qreal>(dateTimeFromDays(x0 - padX).toMSecsSinceEpoch()),
                static_cast<qreal>(dateTimeFromDays(x1 + padX).toMSecsSinceEpoch()));
    placeTimeLabels(chart);
  }
  if (QValueAxis* y = yAxis(chart)) {
    y->setRange(y0 - padY, y1 + padY);
    y->applyNiceNumbers();
  }
}

void paintChart(QChart* chart, QPainter& painter, const QRectF& area) {
  const QRectF source = chart->sceneBoundingRect();
  if (source.isEmpty() || area.isEmpty() || !chart->scene()) return;
  const double scale = std::min(area.width() / source.width(), area.height() / source.height());
  const QSizeF size = source.size() * scale;
  const QRectF target(area.left() + (area.width() - size.width()) / 2, area.top(), size.width(), size.height());
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  atScale(chart, scale, [&] { chart->scene()->render(&painter, target, source, Qt::KeepAspectRatio); });
}

// The chart lays itself out through posted events; drawing before they ran
// would show stale, elided labels.
void activateLayout(QChart* chart) {
  QCoreApplication::sendPostedEvents();
  if (chart->layout()) chart->layout()->activate();
  QCoreApplication::sendPostedEvents();
}

}  // namespace

QChart* createMoistureChart() {
  auto* chart = new QChart;
  chart->setAnimationOptions(QChart::NoAnimation);
  chart->setDropShadowEnabled(false);
  chart->setBackgroundRoundness(0);
  chart->setBackgroundBrush(Qt::white);
  chart->layout()->setContentsMargins(0, 0, 0, 0);  // white up to the window's edges
  chart->setPlotAreaBackgroundVisible(false);
  chart->setTitle(QString());
  const bool comma = decimalSeparator() == QChar(',');
  QLocale locale = comma ? QLocale(QLocale::Russian, QLocale::Russia) : QLocale::c();
  locale.setNumberOptions(QLocale::OmitGroupSeparator);
  chart->setLocale(locale);
  chart->setLocalizeNumbers(true);

  QLegend* legend = chart->legend();
  legend->setAlignment(Qt::AlignBottom);
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(13);
  legend->setFont(font);
  legend->setLabelColor(Qt::black);
  legend->setMarkerShape(QLegend::MarkerShapeFromSeries);

  auto* x = new QCategoryAxis;
  x->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
  x->setTitleVisible(false);
  chart->addAxis(x, Qt::AlignBottom);
  auto* y = new QValueAxis;
  y->setTitleVisible(false);
  chart->addAxis(y, Qt::AlignLeft);

  for (Curve c : kCurves) {
    auto* s = new QLineSeries;
    s->setObjectName(QStringLiteral("Series%1").arg(static_cast<int>(c) + 1));
    s->setName(curveCaption(c));
    QPen pen(curveColor(c));
    pen.setWidth(1);
    s->setPen(pen);
    s->setPointsVisible(true);
    s->setPointLabelsVisible(false);
    // A circle's marker size is its radius, a picture marker's its side.
    if (c == Curve::W) {
      s->setMarkerSize(kMarkerReach);
    } else {
      s->setMarkerSize(kMarkerSize);
      s->setLightMarker(squareMarker(curveColor(c)));
    }
    chart->addSeries(s);
    s->attachAxis(x);
    s->attachAxis(y);
  }
  QObject::connect(chart, &QGraphicsWidget::geometryChanged, chart, [chart] { fitToSize(chart); });
  auto* full = new FullSeries(chart);
  QObject::connect(chart, &QChart::plotAreaChanged, full, [full] { full->reduce(); });
  QObject::connect(x, &QValueAxis::rangeChanged, full, [full] { full->reduce(); });
  QObject::connect(y, &QValueAxis::rangeChanged, full, [full] { full->reduce(); });
  fillMoistureChart(chart, ChartData{}, CurveChoice{}, SelectionFooters{});
  return chart;
}

QLineSeries* chartSeries(QChart* chart, Curve c) {
  const auto all = chart->series();
  const int i = static_cast<int>(c);
  return i < all.size() ? qobject_cast<QLineSeries*>(all.at(i)) : nullptr;
}

void fillMoistureChart(QChart* chart, const ChartData& data, const CurveChoice& curves,
                       const SelectionFooters& footers) {
  chart->setVisible(false);
  FullSeries* full = fullSeries(chart);
  for (Curve c : kCurves) {
    QLineSeries* s = chartSeries(chart, c);
    if (!s) continue;
    QList<QPointF> points;
    points.reserve(data.points(c).size());
    for (const ChartPoint& p : data.points(c))
      points.append(QPointF(static_cast<qreal>(dateTimeFromDays(p.x).toMSecsSinceEpoch()), p.y));
    // Until the axes fit the new points, the series show none of them.
    s->clear();
    if (full) full->points[static_cast<size_t>(c)] = std::move(points);
    else s->replace(points);
    const bool on = curves.has(c);
    if (on) s->setName(legendText(c, footers));
    s->setVisible(on);
    for (QLegendMarker* m : chart->legend()->markers(s)) m->setVisible(on);
  }
  chart->setVisible(true);
  // Axis labels are laid out only while the chart is visible.
  fitAxes(chart, data, curves);
  if (full) full->reduce();
}

QImage renderChartImage(QChart* chart, QSize size) {
  QImage image(size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::white);
  if (chart->size().toSize() != size) chart->resize(size);
  activateLayout(chart);
  QPainter painter(&image);
  paintChart(chart, painter, QRectF(QPointF(0, 0), QSizeF(size)));
  return image;
}

void paintChartOnPage(QChart* chart, QPagedPaintDevice* device) {
  activateLayout(chart);
  QPainter painter(device);
  paintChart(chart, painter, QRectF(0, 0, device->width(), device->height()));
}

bool printChart(QChart* chart, QPrinter& printer) {
  printer.setDocName(QString::fromLatin1(kPrintJobName));
  const QPageLayout::Orientation before = printer.pageLayout().orientation();
  printer.setPageOrientation(QPageLayout::Landscape);
  activateLayout(chart);
  QPainter painter;
  const bool started = painter.begin(&printer);
  if (started) {
    paintChart(chart, painter, QRectF(0, 0, printer.width(), printer.height()));
    painter.end();
  }
  printer.setPageOrientation(before);
  return started;
}

void saveChartPicture(QChart* chart, const QString& fileName) {
  QSaveFile file(fileName);
  if (!file.open(QIODevice::WriteOnly))
    throw Error(QStringLiteral("Не удалось создать файл \"%1\": %2").arg(fileName, file.errorString()));
  if (fileName.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive)) {
    QPdfWriter pdf(&file);
    pdf.setTitle(QStringLiteral("Графики"));
    pdf.setCreator(QStringLiteral("Hygrovan-RX3"));
    pdf.setResolution(300);
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageOrientation(QPageLayout::Landscape);
    pdf.setPageMargins(QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter);
    paintChartOnPage(chart, &pdf);
  } else {
    const QImage image = renderChartImage(chart, chart->size().toSize());
    if (!image.save(&file, "PNG"))
      throw Error(QStringLiteral("Не удалось записать рисунок в файл \"%1\"").arg(fileName));
  }
  if (!file.commit())
    throw Error(QStringLiteral("Не удалось записать файл \"%1\": %2").arg(fileName, file.errorString()));
}

}  // namespace hv
