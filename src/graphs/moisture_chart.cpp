#include "graphs/moisture_chart.h"

#include <QCategoryAxis>
#include <QChart>
#include <QCoreApplication>
#include <QFontMetricsF>
#include <QGraphicsLayout>
#include <QGraphicsRectItem>
#include <QGraphicsScene>
#include <QGraphicsSceneResizeEvent>
#include <QGraphicsSimpleTextItem>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPicture>
#include <QPrinter>
#include <QBuffer>
#include <QStyleOptionGraphicsItem>
#include <QTimeZone>
#include <QValueAxis>
#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <memory>

#include "platform/error.h"
#include "platform/regional.h"
#include "report/report_pages.h"
#include "report/report_ui.h"
#include "views/selection_stats.h"

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

// Colours of what the additions draw, apart from the curves' own.
const QColor kTargetColor(0, 150, 0);
const QColor kForecastColor(170, 0, 170);
// One colour per material, in turn.
const std::array<QColor, 8> kMaterialColors = {QColor(0, 90, 200),   QColor(220, 80, 0),  QColor(0, 0, 0),
                                               QColor(90, 170, 230), QColor(230, 160, 0), QColor(130, 130, 130),
                                               QColor(150, 100, 50), QColor(0, 130, 130)};

// One drawn series and all of its points (x in milliseconds), with each
// point's row in the selection.
struct FullPoints {
  QLineSeries* series = nullptr;
  QList<QPointF> points;
  QList<qsizetype> rows;
};

// Wmax per material: a diamond, told apart from Wmin's square in one colour.
QImage diamondMarker(const QColor& color) {
  const int side = static_cast<int>(kMarkerSize);
  QImage img(side, side, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(color);
  const qreal h = side / 2.0;
  p.drawPolygon(QPolygonF({QPointF(h, 0), QPointF(side, h), QPointF(h, side), QPointF(0, h)}));
  return img;
}

// The chart's full series, kept beside the chart; the series themselves get
// what the plot can show at the resolution it is drawn at, and again
// whenever the plot's width or the time axis's range changes. Also what the
// additions drew, and the whole time span for going back from a zoom.
QMargins marginsFor(QChart* chart, QSizeF size);

class FullSeries : public QObject {
 public:
  explicit FullSeries(QChart* chart) : QObject(chart), chart_(chart) {}
  std::array<FullPoints, 3> base;  // W, Wmin, Wmax
  std::vector<FullPoints> byMaterial;
  // Device pixels per chart pixel of what is drawn next: above 1 while the
  // chart is printed or saved larger than it shows.
  double scale = 1;
  std::pair<qreal, qreal> whole{0, 0};
  bool zoomed = false;
  std::optional<double> target;
  QLineSeries* targetLine = nullptr;
  QGraphicsSimpleTextItem* targetLabel = nullptr;
  QLineSeries* forecastCurve = nullptr;
  QGraphicsRectItem* note = nullptr;
  void reduce();
  void placeAdditions();

 protected:
  // The margins follow a new size before the chart lays itself out for it,
  // so that a resize moves the plot, and reduces the series, once.
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == chart_ && event->type() == QEvent::GraphicsSceneResize) {
      const QMargins m = marginsFor(chart_, static_cast<QGraphicsSceneResizeEvent*>(event)->newSize());
      if (m != chart_->margins()) chart_->setMargins(m);
    }
    return false;
  }

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

// The grid a series is reduced on for a plot drawn at scale device pixels per chart pixel.
struct ReductionGrid {
  int columns = 1, rows = 1, bandColumns = 1;
  QList<QPointF> apply(const QList<QPointF>& points, const QRectF& range) const {
    return reduceToColumns(points, range, columns, rows, bandColumns);
  }
};

ReductionGrid reductionGrid(const QRectF& plot, double scale) {
  // Printed or saved larger, lines and markers grow with the chart: nothing
  // finer than half a line's width shows, however fine the device.
  const double perPixel = std::min(std::max(1.0, scale), 2.0);
  ReductionGrid grid;
  grid.columns = std::max(1, static_cast<int>(std::ceil(plot.width() * perPixel)));
  // Bands of y no taller than a marker reaches, so that the markers kept
  // cover what all of them would.
  grid.rows = std::max(1, static_cast<int>(std::ceil(plot.height() / kMarkerReach)));
  // And as wide: a marker kept there covers what the others in it would.
  grid.bandColumns = std::max(1, static_cast<int>(kMarkerReach * perPixel));
  return grid;
}

// The axes' ranges as one rectangle of values (x in milliseconds).
QRectF valueRange(QChart* chart) {
  QCategoryAxis* x = xAxis(chart);
  QValueAxis* y = yAxis(chart);
  if (!x || !y) return {};
  return QRectF(QPointF(x->min(), y->min()), QPointF(x->max(), y->max()));
}

void FullSeries::reduce() {
  QCategoryAxis* x = xAxis(chart_);
  QValueAxis* y = yAxis(chart_);
  if (reducing_ || !x || !y) return;
  reducing_ = true;
  const ReductionGrid grid = reductionGrid(chart_->plotArea(), scale);
  const QRectF range = valueRange(chart_);
  const auto reduceOne = [&](const FullPoints& full) {
    if (!full.series) return;
    QList<QPointF> shown = grid.apply(full.points, range);
    if (shown.size() != full.series->count() || shown != full.series->points()) full.series->replace(shown);
  };
  for (const FullPoints& full : base) reduceOne(full);
  for (const FullPoints& full : byMaterial) reduceOne(full);
  placeAdditions();
  reducing_ = false;
}

// The target line spans the time axis, its label sits just above its left
// end; the forecast's note in the plot's top right corner.
void FullSeries::placeAdditions() {
  QCategoryAxis* x = xAxis(chart_);
  QValueAxis* y = yAxis(chart_);
  if (!x || !y) return;
  const QRectF plot = chart_->plotArea();
  if (targetLine && target) {
    const QList<QPointF> line = {QPointF(x->min(), *target), QPointF(x->max(), *target)};
    if (targetLine->points() != line) targetLine->replace(line);
    const QPointF at = chart_->mapToPosition(line.first(), targetLine);
    targetLabel->setVisible(*target >= y->min() && *target <= y->max());
    targetLabel->setPos(plot.left() + 4, at.y() - targetLabel->boundingRect().height() - 1);
  }
  if (note) {
    const QRectF r = note->rect();
    note->setPos(plot.right() - r.width() - 4, plot.top() + 4);
  }
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

// A line series of a curve with its markers, on the chart's axes.
QLineSeries* addCurveSeries(QChart* chart, Curve c, const QColor& color, bool diamondForWMax = false) {
  auto* s = new QLineSeries;
  QPen pen(color);
  pen.setWidth(1);
  s->setPen(pen);
  s->setPointsVisible(true);
  s->setPointLabelsVisible(false);
  // A circle's marker size is its radius, a picture marker's its side.
  if (c == Curve::W) {
    s->setMarkerSize(kMarkerReach);
  } else {
    s->setMarkerSize(kMarkerSize);
    s->setLightMarker(c == Curve::WMax && diamondForWMax ? diamondMarker(color) : squareMarker(color));
  }
  chart->addSeries(s);
  for (QAbstractAxis* axis : chart->axes()) s->attachAxis(axis);
  return s;
}

// Axis labels are rich text: a line break in place of the format's space puts
// the date above the time.
QString twoLineFormat() {
  return QString::fromLatin1(kDateTimeLabelFormat).replace(QChar(' '), QStringLiteral("'<br>'"));
}

// Zoomed in, the labels say what the span needs: dates over weeks, down to
// seconds over minutes.
QString zoomedFormat(qreal spanMs) {
  constexpr qreal kHour = 3600000.0, kDay = 24 * kHour;
  if (spanMs > 7 * kDay) return QStringLiteral("dd.MM.yyyy");
  if (spanMs > 2 * kHour) return QStringLiteral("dd.MM.yyyy'<br>'HH:mm");
  return twoLineFormat();
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
  const FullSeries* full = fullSeries(chart);
  const QString format = full && full->zoomed ? zoomedFormat(to - from) : twoLineFormat();
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

// The top margin at 5 % of the height, and room on the right for the right
// half of the last date label, which the axis does not keep.
QMargins marginsFor(QChart* chart, QSizeF size) {
  QMargins m = chart->margins();
  m.setTop(std::max(4, static_cast<int>(std::lround(size.height() * 0.05))));
  if (QCategoryAxis* x = xAxis(chart)) {
    const qreal halfLabel = QFontMetricsF(x->labelsFont()).horizontalAdvance(QStringLiteral("00.00.0000")) / 2;
    m.setRight(static_cast<int>(halfLabel) + 30);
  }
  return m;
}

// Keeps the margins to the size and the date labels from crowding.
void fitToSize(QChart* chart) {
  if (const QMargins m = marginsFor(chart, chart->size()); m != chart->margins()) chart->setMargins(m);
  placeTimeLabels(chart);
}

void fitAxes(QChart* chart, const ChartData& data, const CurveChoice& curves, const ChartAdditions& additions) {
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
  // The target line and the forecast up to its day are in view.
  if (any && additions.target) {
    y0 = std::min(y0, *additions.target);
    y1 = std::max(y1, *additions.target);
  }
  if (any && additions.forecast && additions.forecast->ok()) {
    const DryingForecast& f = *additions.forecast;
    x1 = std::max(x1, f.reaches());
    y0 = std::min(y0, f.target);
    y1 = std::max(y1, f.initial);
  }
  // A little room so the end markers are not cut in half.
  const double padX = x1 > x0 ? (x1 - x0) * 0.03 : 1.0 / 24;
  const double padY = y1 > y0 ? (y1 - y0) * 0.05 : 1.0;
  if (QCategoryAxis* x = xAxis(chart)) {
    const std::pair<qreal, qreal> whole(static_cast<qreal>(msecsSinceEpochFromDays(x0 - padX)),
                                        static_cast<qreal>(msecsSinceEpochFromDays(x1 + padX)));
    if (FullSeries* full = fullSeries(chart)) {
      full->whole = whole;
      full->zoomed = false;
    }
    x->setRange(whole.first, whole.second);
    placeTimeLabels(chart);
  }
  if (QValueAxis* y = yAxis(chart)) {
    y->setRange(y0 - padY, y1 + padY);
    y->applyNiceNumbers();
  }
}

// The chart fit into area keeping its ratio, at the top and centred across.
QRectF fittedTarget(const QRectF& source, const QRectF& area) {
  const double scale = std::min(area.width() / source.width(), area.height() / source.height());
  const QSizeF size = source.size() * scale;
  return QRectF(area.left() + (area.width() - size.width()) / 2, area.top(), size.width(), size.height());
}

void paintChart(QChart* chart, QPainter& painter, const QRectF& area) {
  const QRectF source = chart->sceneBoundingRect();
  if (source.isEmpty() || area.isEmpty() || !chart->scene()) return;
  const double scale = std::min(area.width() / source.width(), area.height() / source.height());
  const QRectF target = fittedTarget(source, area);
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
    QLineSeries* s = addCurveSeries(chart, c, curveColor(c));
    s->setObjectName(QStringLiteral("Series%1").arg(static_cast<int>(c) + 1));
    s->setName(curveCaption(c));
  }
  QObject::connect(chart, &QGraphicsWidget::geometryChanged, chart, [chart] { fitToSize(chart); });
  auto* full = new FullSeries(chart);
  chart->installEventFilter(full);
  for (Curve c : kCurves) full->base[static_cast<size_t>(c)].series = chartSeries(chart, c);
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

namespace {

QPointF toAxis(const ChartPoint& p) { return {static_cast<qreal>(msecsSinceEpochFromDays(p.x)), p.y}; }

void removeSeries(QChart* chart, QLineSeries*& s) {
  if (!s) return;
  chart->removeSeries(s);
  delete s;
  s = nullptr;
}

template <class Item>
void removeItem(Item*& item) {
  delete item;
  item = nullptr;
}

QFont additionsFont() {
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(13);
  return font;
}

// Every chosen curve split by material, a series per material and curve in
// the material's colour, legend "W, % — Сосна: min/mean/max". Only when the
// readings hold more than one material.
void splitByMaterial(QChart* chart, FullSeries& full, const ChartData& data, const CurveChoice& curves,
                     const QList<QString>& materials) {
  const auto materialOf = [&](qsizetype row) {
    const QString m = row >= 0 && row < materials.size() ? materials[row].trimmed() : QString();
    return m.isEmpty() ? QStringLiteral("(без материала)") : m;
  };
  QStringList names;
  for (Curve c : kCurves)
    if (curves.has(c))
      for (const ChartPoint& p : data.points(c))
        if (const QString m = materialOf(p.row); !names.contains(m)) names << m;
  if (names.size() < 2) return;
  names.sort(Qt::CaseInsensitive);
  const QChar separator = decimalSeparator();
  for (Curve c : kCurves) {
    if (!curves.has(c)) continue;
    std::vector<FullPoints> groups(size_t(names.size()));
    std::vector<QuantityStats> stats(size_t(names.size()));
    for (const ChartPoint& p : data.points(c)) {
      const auto i = size_t(names.indexOf(materialOf(p.row)));
      groups[i].points.append(toAxis(p));
      groups[i].rows.append(p.row);
      stats[i].add(p.y);
    }
    for (size_t i = 0; i < groups.size(); ++i) {
      if (groups[i].points.isEmpty()) continue;
      groups[i].series = addCurveSeries(chart, c, kMaterialColors[i % kMaterialColors.size()], true);
      groups[i].series->setName(curveCaption(c) + QStringLiteral(" — ") + names[qsizetype(i)] + QStringLiteral(": ") +
                                stats[i].text(separator));
      full.byMaterial.push_back(std::move(groups[i]));
    }
  }
  // The curves' own series give way to the materials'.
  for (FullPoints& base : full.base) {
    base.points.clear();
    base.rows.clear();
    base.series->setVisible(false);
    for (QLegendMarker* m : chart->legend()->markers(base.series)) m->setVisible(false);
  }
}

void drawTarget(QChart* chart, FullSeries& full, double target) {
  full.target = target;
  full.targetLine = new QLineSeries;
  full.targetLine->setObjectName(QStringLiteral("targetLine"));
  QPen pen(kTargetColor);
  pen.setWidth(2);
  full.targetLine->setPen(pen);
  chart->addSeries(full.targetLine);
  for (QAbstractAxis* axis : chart->axes()) full.targetLine->attachAxis(axis);
  for (QLegendMarker* m : chart->legend()->markers(full.targetLine)) m->setVisible(false);
  full.targetLabel = new QGraphicsSimpleTextItem(
      QStringLiteral("Цель: %1 %").arg(formatStatNumber(target, decimalSeparator())), chart);
  full.targetLabel->setFont(additionsFont());
  full.targetLabel->setBrush(kTargetColor);
  full.targetLabel->setZValue(10);
}

// The fitted curve dashed from the first reading to the day of the target,
// and the forecast's figures (or why there is none) in a corner of the plot.
void drawForecast(QChart* chart, FullSeries& full, const DryingForecast& f) {
  if (f.ok() && f.reachesAfter > 0) {
    full.forecastCurve = new QLineSeries;
    full.forecastCurve->setObjectName(QStringLiteral("forecastCurve"));
    QPen pen(kForecastColor);
    pen.setWidth(2);
    pen.setStyle(Qt::DashLine);
    full.forecastCurve->setPen(pen);
    constexpr int kSteps = 200;
    QList<QPointF> points;
    for (int i = 0; i <= kSteps; ++i) {
      const double x = f.start + f.reachesAfter * i / kSteps;
      points.append(toAxis({x, f.moistureAt(x)}));
    }
    full.forecastCurve->replace(points);
    chart->addSeries(full.forecastCurve);
    for (QAbstractAxis* axis : chart->axes()) full.forecastCurve->attachAxis(axis);
    for (QLegendMarker* m : chart->legend()->markers(full.forecastCurve)) m->setVisible(false);
  }
  auto* text = new QGraphicsSimpleTextItem(forecastText(f, decimalSeparator()));
  text->setFont(additionsFont());
  text->setBrush(f.ok() ? kForecastColor : QColor(Qt::darkRed));
  const QRectF r = text->boundingRect().adjusted(-4, -2, 4, 2);
  full.note = new QGraphicsRectItem(QRectF(QPointF(0, 0), r.size()), chart);
  full.note->setPen(Qt::NoPen);
  full.note->setBrush(QColor(255, 255, 255, 220));
  full.note->setZValue(10);
  text->setParentItem(full.note);
  text->setPos(4, 2);
}

}  // namespace

void fillMoistureChart(QChart* chart, const ChartData& data, const CurveChoice& curves,
                       const SelectionFooters& footers, const ChartAdditions& additions) {
  chart->setVisible(false);
  FullSeries* full = fullSeries(chart);
  for (Curve c : kCurves) {
    QLineSeries* s = chartSeries(chart, c);
    if (!s) continue;
    QList<QPointF> points;
    QList<qsizetype> rows;
    points.reserve(data.points(c).size());
    rows.reserve(data.points(c).size());
    for (const ChartPoint& p : data.points(c)) {
      points.append(toAxis(p));
      rows.append(p.row);
    }
    // Until the axes fit the new points, the series show none of them.
    s->clear();
    if (full) {
      full->base[static_cast<size_t>(c)].points = std::move(points);
      full->base[static_cast<size_t>(c)].rows = std::move(rows);
    } else {
      s->replace(points);
    }
    const bool on = curves.has(c);
    if (on) s->setName(legendText(c, footers));
    s->setVisible(on);
    for (QLegendMarker* m : chart->legend()->markers(s)) m->setVisible(on);
  }
  if (full) {
    // What an earlier showing added goes; the chart is then as it always was.
    for (FullPoints& m : full->byMaterial) removeSeries(chart, m.series);
    full->byMaterial.clear();
    removeSeries(chart, full->targetLine);
    removeSeries(chart, full->forecastCurve);
    removeItem(full->targetLabel);
    removeItem(full->note);
    full->target.reset();
    if (!additions.materials.isEmpty()) splitByMaterial(chart, *full, data, curves, additions.materials);
    if (additions.target) drawTarget(chart, *full, *additions.target);
    if (additions.forecast) drawForecast(chart, *full, *additions.forecast);
  }
  chart->setVisible(true);
  // Axis labels are laid out only while the chart is visible.
  fitAxes(chart, data, curves, additions);
  if (full) full->reduce();
}

std::optional<qsizetype> rowAt(QChart* chart, QPointF pos, qreal reach) {
  FullSeries* full = fullSeries(chart);
  QCategoryAxis* x = xAxis(chart);
  QValueAxis* y = yAxis(chart);
  const QRectF plot = chart->plotArea();
  if (!full || !x || !y || !(x->max() > x->min()) || !(y->max() > y->min()) || plot.isEmpty()) return std::nullopt;
  const qreal perX = plot.width() / (x->max() - x->min()), perY = plot.height() / (y->max() - y->min());
  const qreal atX = x->min() + (pos.x() - plot.left()) / perX;
  std::optional<qsizetype> best;
  qreal bestDistance = reach * reach;
  const auto look = [&](const FullPoints& f) {
    if (!f.series || !f.series->isVisible()) return;
    const auto from = std::lower_bound(f.points.begin(), f.points.end(), atX - reach / perX,
                                       [](const QPointF& p, qreal v) { return p.x() < v; });
    for (auto it = from; it != f.points.end() && it->x() <= atX + reach / perX; ++it) {
      const qreal dx = (it->x() - x->min()) * perX + plot.left() - pos.x();
      const qreal dy = plot.bottom() - (it->y() - y->min()) * perY - pos.y();
      if (dx * dx + dy * dy <= bestDistance) {
        bestDistance = dx * dx + dy * dy;
        best = f.rows[it - f.points.begin()];
      }
    }
  };
  for (const FullPoints& f : full->base) look(f);
  for (const FullPoints& f : full->byMaterial) look(f);
  return best;
}

void zoomTime(QChart* chart, double from, double to) {
  FullSeries* full = fullSeries(chart);
  QCategoryAxis* x = xAxis(chart);
  if (!full || !x || !(to > from)) return;
  const qreal a = static_cast<qreal>(msecsSinceEpochFromDays(from));
  const qreal b = static_cast<qreal>(msecsSinceEpochFromDays(to));
  if (b - a < 1000) return;  // a second is as close as the readings go
  if (a <= full->whole.first && b >= full->whole.second) {
    showWholeTime(chart);
    return;
  }
  full->zoomed = true;
  x->setRange(a, b);
  placeTimeLabels(chart);
}

void showWholeTime(QChart* chart) {
  FullSeries* full = fullSeries(chart);
  QCategoryAxis* x = xAxis(chart);
  if (!full || !x) return;
  full->zoomed = false;
  x->setRange(full->whole.first, full->whole.second);
  placeTimeLabels(chart);
}

bool isTimeZoomed(QChart* chart) {
  const FullSeries* full = fullSeries(chart);
  return full && full->zoomed;
}

std::pair<double, double> timeInView(QChart* chart) {
  QCategoryAxis* x = xAxis(chart);
  if (!x) return {0, 0};
  const auto days = [](qreal ms) {
    return daysFromDateTime(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::llround(ms)), QTimeZone::utc()));
  };
  return {days(x->min()), days(x->max())};
}

// One curve as the chart draws it: its line, then its picture markers within
// the plot, then its dots over them, which the plot does not clip.
struct PageSeries {
  QPen pen;
  bool dots = false;
  qreal markerSize = 0;  // a dot's radius, a picture marker's side
  QImage marker;
  QList<QPointF> points;  // values; the full series when reduced for the page
  bool reduced = false;
};

struct ChartPage {
  // Playing a picture moves its read position: one thread draws a page at a time.
  mutable QPicture below;  // background, axes, grid and legend
  mutable QPicture above;  // the additions' texts, which lie over the curves
  QRectF target;   // device pixels the chart is drawn in
  QTransform toPlot;  // from the plot's top left corner to the device
  QSizeF plotSize;
  QRectF clip;  // the curves' clip, in plot coordinates
  QRectF range;
  ReductionGrid grid;
  std::vector<PageSeries> series;
};

namespace {

// Lines and markers of one curve in plot coordinates, as its chart item
// draws them.
void drawSeries(QPainter& painter, const ChartPage& page, const PageSeries& s, const std::atomic<bool>* stop) {
  const QList<QPointF> values = s.reduced ? page.grid.apply(s.points, page.range) : s.points;
  if (values.isEmpty() || !(page.range.width() > 0) || !(page.range.height() > 0)) return;
  const qreal perX = page.plotSize.width() / page.range.width();
  const qreal perY = page.plotSize.height() / page.range.height();
  QList<QPointF> points(values.size());
  for (qsizetype i = 0; i < values.size(); ++i)
    points[i] = QPointF((values[i].x() - page.range.left()) * perX,
                        (values[i].y() - page.range.top()) * -perY + page.plotSize.height());
  const auto stopped = [&](qsizetype i) { return stop && (i & 4095) == 0 && *stop; };
  painter.save();
  painter.setPen(s.pen);
  painter.setClipRect(page.clip, Qt::IntersectClip);
  if (s.pen.style() != Qt::SolidLine) {
    QPainterPath path(points.first());
    for (qsizetype i = 1; i < points.size(); ++i) path.lineTo(points[i]);
    painter.drawPath(path);
  } else {
    for (qsizetype i = 1; i < points.size() && !stopped(i); ++i) painter.drawLine(points[i - 1], points[i]);
  }
  if (!s.marker.isNull()) {
    const qreal side = s.markerSize;
    for (qsizetype i = 0; i < points.size() && !stopped(i); ++i)
      painter.drawImage(QRectF(points[i].x() - side / 2, points[i].y() - side / 2, side, side), s.marker);
  }
  painter.restore();
  if (s.dots && s.marker.isNull()) {
    const qreal radius = s.markerSize;
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setBrush(s.pen.color());
    for (qsizetype i = 0; i < points.size() && !stopped(i); ++i) painter.drawEllipse(points[i], radius, radius);
    painter.restore();
  }
}

// Replays a picture recorded in device pixels on a device of any resolution.
void playInDevicePixels(QPainter& painter, QPicture& picture) {
  const QPaintDevice* device = painter.device();
  painter.save();
  // The picture scales itself to the device's resolution; its coordinates already are the device's.
  painter.scale(qreal(picture.logicalDpiX()) / device->logicalDpiX(),
                qreal(picture.logicalDpiY()) / device->logicalDpiY());
  picture.play(&painter);
  painter.restore();
}

}  // namespace

std::shared_ptr<const ChartPage> takeChartPage(QChart* chart, const QRectF& area) {
  activateLayout(chart);
  auto page = std::make_shared<ChartPage>();
  const QRectF source = chart->sceneBoundingRect();
  if (source.isEmpty() || area.isEmpty() || !chart->scene()) return page;
  const QRectF target = fittedTarget(source, area);
  page->target = target;
  const double scale = target.width() / source.width();
  const QTransform toDevice =
      QTransform().translate(target.left(), target.top()).scale(scale, scale).translate(-source.left(), -source.top());
  const QRectF plot = chart->plotArea();
  page->toPlot = QTransform::fromTranslate(plot.left(), plot.top()) * chart->sceneTransform() * toDevice;
  page->plotSize = plot.size();
  // As the chart items clip: half a pixel more where that still stays inside the plot.
  QRectF clip(QPointF(0, 0), plot.size());
  const qreal x1 = plot.left() - int(plot.left()), y1 = plot.top() - int(plot.top());
  const qreal x2 = (clip.width() + 0.5) - int(clip.width() + 0.5), y2 = (clip.height() + 0.5) - int(clip.height() + 0.5);
  page->clip = clip.adjusted(-x1, -y1, std::max(x1, x2), std::max(y1, y2));
  page->range = valueRange(chart);
  page->grid = reductionGrid(plot, scale);

  FullSeries* full = fullSeries(chart);
  const auto fullPointsOf = [full](const QLineSeries* s) -> const FullPoints* {
    if (!full) return nullptr;
    for (const FullPoints& f : full->base)
      if (f.series == s) return &f;
    for (const FullPoints& f : full->byMaterial)
      if (f.series == s) return &f;
    return nullptr;
  };
  // The curves are left out of the frame by making them transparent, which
  // leaves the legend and the layout as they are.
  std::vector<std::pair<QAbstractSeries*, qreal>> hidden;
  for (QAbstractSeries* a : chart->series()) {
    auto* s = qobject_cast<QLineSeries*>(a);
    if (!s || !s->isVisible()) continue;
    PageSeries ps;
    ps.pen = s->pen();
    ps.dots = s->pointsVisible();
    ps.marker = s->lightMarker();
    ps.markerSize = s->markerSize();
    if (const FullPoints* f = fullPointsOf(s)) {
      ps.points = f->points;
      ps.reduced = true;
    } else {
      ps.points = s->points();
    }
    page->series.push_back(std::move(ps));
    hidden.emplace_back(s, s->opacity());
    s->setOpacity(0);
  }
  // The additions' texts lie over the curves: drawn after them.
  QList<QGraphicsItem*> over;
  if (full)
    for (QGraphicsItem* item : std::initializer_list<QGraphicsItem*>{full->targetLabel, full->note})
      if (item && item->isVisible()) over.append(item);
  for (QGraphicsItem* item : over) item->setVisible(false);
  {
    QPainter painter(&page->below);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    chart->scene()->render(&painter, target, source, Qt::KeepAspectRatio);
  }
  for (QGraphicsItem* item : over) item->setVisible(true);
  for (const auto& [s, opacity] : hidden) s->setOpacity(opacity);
  {
    QPainter painter(&page->above);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setClipRect(target);
    QStyleOptionGraphicsItem option;
    const std::function<void(QGraphicsItem*)> paintItem = [&](QGraphicsItem* item) {
      if (!item->isVisible()) return;
      painter.save();
      painter.setWorldTransform(item->sceneTransform() * toDevice);
      option.exposedRect = item->boundingRect();
      item->paint(&painter, &option, nullptr);
      painter.restore();
      for (QGraphicsItem* child : item->childItems()) paintItem(child);
    };
    for (QGraphicsItem* item : over) paintItem(item);
  }
  return page;
}

bool drawChartPage(const ChartPage& page, QPainter& painter, const std::atomic<bool>* stop) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  playInDevicePixels(painter, page.below);
  painter.setClipRect(page.target, Qt::IntersectClip);
  painter.setWorldTransform(page.toPlot, true);
  for (const PageSeries& s : page.series) {
    if (stop && *stop) break;
    drawSeries(painter, page, s, stop);
  }
  painter.restore();
  if (stop && *stop) return false;
  playInDevicePixels(painter, page.above);
  return true;
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

QPageLayout::Orientation prepareChartPrinter(QPrinter& printer) {
  printer.setDocName(QString::fromLatin1(kPrintJobName));
  const QPageLayout::Orientation before = printer.pageLayout().orientation();
  printer.setPageOrientation(QPageLayout::Landscape);
  return before;
}

namespace {

void setUpChartPdf(QPdfWriter& pdf) {
  pdf.setTitle(QStringLiteral("Графики"));
  pdf.setCreator(QStringLiteral("Hygrovan-RX3"));
  pdf.setResolution(300);
  pdf.setPageSize(QPageSize(QPageSize::A4));
  pdf.setPageOrientation(QPageLayout::Landscape);
  pdf.setPageMargins(QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter);
}

}  // namespace

bool writeChartPdf(const ChartPage& page, const QString& fileName, const std::atomic<bool>* stop) {
  return report::writeFileSafely(fileName, [&](QIODevice* device) {
    QPdfWriter pdf(device);
    setUpChartPdf(pdf);
    QPainter painter(&pdf);
    const bool drawn = drawChartPage(page, painter, stop);
    painter.end();
    return drawn && !(stop && *stop);
  });
}

QRectF chartPdfArea() {
  QBuffer nowhere;
  QPdfWriter pdf(&nowhere);
  setUpChartPdf(pdf);
  return QRectF(0, 0, pdf.width(), pdf.height());
}

void saveChartPicture(QChart* chart, const QString& fileName) {
  if (fileName.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive)) {
    writeChartPdf(*takeChartPage(chart, chartPdfArea()), fileName);
    return;
  }
  // Made in memory first: the picture's encoder never meets the disk, and a
  // failed write is told with its file and reason.
  QBuffer made;
  made.open(QIODevice::WriteOnly);
  const QImage image = renderChartImage(chart, chart->size().toSize());
  if (!image.save(&made, "PNG"))
    throw Error(QStringLiteral("Не удалось построить рисунок для файла \"%1\".").arg(fileName));
  const QByteArray& bytes = made.data();
  report::writeFileSafely(fileName, [&](QIODevice* device) {
    device->write(bytes);  // a failed write is told from the file's error
    return true;
  });
}

}  // namespace hv
