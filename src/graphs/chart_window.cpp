#include "graphs/chart_window.h"

#include <QAction>
#include <QChart>
#include <QChartView>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QRubberBand>
#include <QToolTip>
#include <QWheelEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTemporaryFile>
#include <atomic>
#include <chrono>
#include <cmath>
#include <exception>
#include <optional>

#include "graphs/moisture_chart.h"
#include "platform/durable_rename.h"
#include "platform/error.h"
#include "platform/regional.h"
#include "platform/ui.h"
#include "report/progress_window.h"
#include "report/report_ui.h"

namespace hv {

namespace {
constexpr int kButtonMargin = 8;
constexpr qreal kPointerReach = 6;  // pixels from a reading that still name it
}  // namespace

// The chart view with the zoom: the wheel about the pointer, a dragged
// rectangle, panning with the middle button or Shift, a double click back to
// the whole span; and the tooltip of the reading under the pointer.
class ZoomingChartView : public QChartView {
 public:
  ZoomingChartView(QChart* chart, ChartWindow* window) : QChartView(chart, window), window_(window) {
    setMouseTracking(true);
  }

 protected:
  void wheelEvent(QWheelEvent* event) override {
    const int steps = event->angleDelta().y() / 120;
    if (steps == 0) return;
    const auto [from, to] = timeInView(chart());
    const double at = dayAt(event->position().x());
    const double factor = std::pow(steps > 0 ? 0.8 : 1.25, std::abs(steps));
    window_->zoomTo(at - (at - from) * factor, at + (to - at) * factor);
    event->accept();
  }
  void mousePressEvent(QMouseEvent* event) override {
    const bool pan = event->button() == Qt::MiddleButton ||
                     (event->button() == Qt::LeftButton && (event->modifiers() & Qt::ShiftModifier));
    if (pan) {
      panFrom_ = event->position().x();
      panRange_ = timeInView(chart());
      panning_ = true;
    } else if (event->button() == Qt::LeftButton && chart()->plotArea().contains(chartPos(event->position()))) {
      bandFrom_ = event->position().toPoint();
      if (!band_) band_ = new QRubberBand(QRubberBand::Rectangle, this);
      band_->setGeometry(QRect(bandFrom_, QSize()));
      band_->show();
    } else {
      QChartView::mousePressEvent(event);
    }
  }
  void mouseMoveEvent(QMouseEvent* event) override {
    if (panning_) {
      const double shift = dayAt(panFrom_) - dayAt(event->position().x());
      window_->zoomTo(panRange_.first + shift, panRange_.second + shift);
    } else if (band_ && band_->isVisible()) {
      band_->setGeometry(QRect(bandFrom_, event->position().toPoint()).normalized());
    } else if (const QString tip = window_->toolTipAt(event->position().toPoint()); !tip.isEmpty()) {
      QToolTip::showText(event->globalPosition().toPoint(), tip, this);
    } else {
      QToolTip::hideText();
    }
  }
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (panning_) {
      panning_ = false;
    } else if (band_ && band_->isVisible()) {
      band_->hide();
      const QRect r = band_->geometry();
      if (r.width() >= 4) window_->zoomTo(dayAt(r.left()), dayAt(r.right()));
    } else {
      QChartView::mouseReleaseEvent(event);
    }
  }
  void mouseDoubleClickEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton) window_->showWhole();
  }

 private:
  QPointF chartPos(QPointF viewPos) const { return chart()->mapFromScene(mapToScene(viewPos.toPoint())); }
  double dayAt(qreal viewX) const {
    const QRectF plot = chart()->plotArea();
    const auto [from, to] = timeInView(chart());
    if (plot.width() <= 0) return from;
    return from + (chartPos(QPointF(viewX, 0)).x() - plot.left()) / plot.width() * (to - from);
  }

  ChartWindow* window_;
  QRubberBand* band_ = nullptr;
  QPoint bandFrom_;
  bool panning_ = false;
  qreal panFrom_ = 0;
  std::pair<double, double> panRange_;
};

ChartWindow::ChartWindow(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("ChartWindow"));
  setWindowTitle(QStringLiteral("Графики"));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                 Qt::WindowCloseButtonHint);
  setModal(true);
  setSizeGripEnabled(true);
  resize(698, 482);

  chart_ = createMoistureChart();
  chartView_ = new ZoomingChartView(chart_, this);
  chartView_->setObjectName(QStringLiteral("chartView"));
  chartView_->setRenderHint(QPainter::Antialiasing);
  chartView_->setFrameShape(QFrame::NoFrame);
  chartView_->setGeometry(rect());

  saveImageAction_ = new QAction(QStringLiteral("Сохранить изображение..."), chartView_);
  connect(saveImageAction_, &QAction::triggered, this, [this] { saveImage(); });
  chartView_->addAction(saveImageAction_);
  wholeAction_ = new QAction(QStringLiteral("Весь график"), chartView_);
  wholeAction_->setEnabled(false);
  connect(wholeAction_, &QAction::triggered, this, [this] { showWhole(); });
  chartView_->addAction(wholeAction_);
  chartView_->setContextMenuPolicy(Qt::ActionsContextMenu);

  // Shown only while zoomed in, so the window is as it was until then.
  figures_ = new QLabel(this);
  figures_->setObjectName(QStringLiteral("figuresInView"));
  figures_->setStyleSheet(QStringLiteral("QLabel { background: rgba(255, 255, 255, 220); padding: 2px; }"));
  figures_->hide();
  wholeButton_ = new QPushButton(QStringLiteral("Весь график"), this);
  wholeButton_->setObjectName(QStringLiteral("wholeButton"));
  wholeButton_->resize(95, 25);
  wholeButton_->setAutoDefault(false);
  wholeButton_->hide();
  connect(wholeButton_, &QPushButton::clicked, this, [this] { showWhole(); });

  printButton_ = new QPushButton(QStringLiteral("Печать"), this);
  printButton_->setObjectName(QStringLiteral("printButton"));
  printButton_->resize(75, 25);
  printButton_->setAutoDefault(false);
  connect(printButton_, &QPushButton::clicked, this, [this] { printOnDefaultPrinter(); });
  placeButton();
}

ChartWindow::~ChartWindow() = default;

int ChartWindow::showChart(const QList<SelectedRow>& rows, const SelectionFooters& footers, const CurveChoice& curves,
                           const ChartOptions& options, const RowDetailsSource& details) {
  bool built = false;
  if (!runCommand([&] { built = buildChart(rows, footers, curves, options, details); }) || !built) return mrCancel;
  return exec();
}

namespace {

// Below this many rows the chart is read at once: quicker than a window could show.
constexpr qsizetype kRowsReadBeside = 50000;

// buildChartData on a thread of its own while the windows keep answering,
// with "Построение графика" and its cancel button. nullopt when cancelled.
std::optional<ChartData> buildBeside(QWidget* parent, const QList<SelectedRow>& rows, const CurveChoice& curves) {
  BuildControl control;
  ChartData data;
  report::ProgressWindow progress(parent, QStringLiteral("Построение графика"));
  progress.runBeside([&] { data = buildChartData(rows, curves, &control); }, [&] { return qint64(control.done); },
                     rows.size(), control.stop);
  progress.hide();
  if (control.stop) return std::nullopt;
  return data;
}

}  // namespace

bool ChartWindow::buildChart(const QList<SelectedRow>& rows, const SelectionFooters& footers,
                             const CurveChoice& curves, const ChartOptions& options,
                             const RowDetailsSource& details) {
  // Every row is read before the chart is touched, so a bad row leaves no half-built chart.
  std::optional<ChartData> data =
      rows.size() < kRowsReadBeside ? buildChartData(rows, curves) : buildBeside(this, rows, curves);
  if (!data) return false;
  ChartAdditions additions;
  additions.target = options.target;
  if (options.forecast && options.target)
    additions.forecast = forecastDrying(dryingPoints(rows, curves), *options.target, options.equilibrium);
  if (options.byMaterial && details) {
    additions.materials.reserve(rows.size());
    for (qsizetype i = 0; i < rows.size(); ++i) additions.materials.append(details(i).material);
  }
  fillMoistureChart(chart_, *data, curves, footers, additions);
  rows_ = rows;
  data_ = std::move(*data);
  curves_ = curves;
  details_ = details;
  zoomChanged();
  return true;
}

void ChartWindow::zoomTo(double from, double to) {
  zoomTime(chart_, from, to);
  zoomChanged();
}

void ChartWindow::showWhole() {
  showWholeTime(chart_);
  zoomChanged();
}

void ChartWindow::zoomChanged() {
  const bool zoomed = isTimeZoomed(chart_);
  wholeAction_->setEnabled(zoomed);
  wholeButton_->setVisible(zoomed);
  figures_->setVisible(zoomed);
  if (zoomed) {
    const auto [from, to] = timeInView(chart_);
    figures_->setText(figuresInView(data_, curves_, from, to, decimalSeparator()));
    figures_->adjustSize();
  }
  placeButton();
}

QString ChartWindow::figuresText() const {
  return figures_->isVisible() || isTimeZoomed(chart_) ? figures_->text() : QString();
}

QString ChartWindow::toolTipAt(QPoint pos) const {
  const QPointF at = chart_->mapFromScene(chartView_->mapToScene(pos));
  const std::optional<qsizetype> row = rowAt(chart_, at, kPointerReach);
  if (!row || *row < 0 || *row >= rows_.size()) return {};
  return pointToolTip(rows_[*row], details_ ? details_(*row) : RowDetails{});
}

void ChartWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && isTimeZoomed(chart_)) {
    showWhole();
    return;
  }
  QDialog::keyPressEvent(event);
}

namespace {

// work on a thread of its own, with the progress window the report shows
// while its pages go out, here for the one page; "Отмена" sets stop.
void runPageBeside(QWidget* parent, const QString& caption, std::atomic<bool>& stop,
                   const std::function<void()>& work) {
  report::ProgressWindow progress(parent, caption);
  progress.setProgressText(
      [](qint64 done, qint64 total) { return QStringLiteral("Страница %1 из %2").arg(done + 1).arg(total); });
  progress.runBeside(work, [] { return qint64(0); }, 1, stop);
}

}  // namespace

ChartWindow::PrintOutcome ChartWindow::printBeside(QPrinter& printer, const std::function<bool()>& finish) {
  const QPageLayout::Orientation before = prepareChartPrinter(printer);
  const std::shared_ptr<const ChartPage> page = takeChartPage(chart_, QRectF(0, 0, printer.width(), printer.height()));
  std::atomic<bool> stop{false};
  bool started = false, finished = true;
  runPageBeside(this, QStringLiteral("Печать"), stop, [&] {
    QPainter painter;
    started = painter.begin(&printer);
    if (!started) return;
    if (!drawChartPage(*page, painter, &stop) || stop) printer.abort();  // nothing of it reaches the printer
    painter.end();
    if (finish && !stop) finished = finish();
  });
  printer.setPageOrientation(before);
  if (!started || !finished) return PrintOutcome::NotStarted;
  return stop ? PrintOutcome::Stopped : PrintOutcome::Printed;
}

bool ChartWindow::printTo(QPrinter& printer) {
  return printBeside(printer) == PrintOutcome::Printed;
}

void ChartWindow::printOnDefaultPrinter() {
  const QStringList printers = ui().printerNames();
  if (printers.isEmpty()) {
    // As the report's print dialog does with no printer: a PDF file instead.
    if (ui().message(this, QStringLiteral("Печать"),
                     QStringLiteral("Принтеры не установлены. Напечатать график в файл PDF?"), MsgIcon::Question,
                     MsgButtons::YesNo) != MsgResult::Yes)
      return;
    const QString path = askPrintPdfFile(this);
    if (path.isEmpty()) return;
    // Printed into a temporary beside it and put in its place when complete,
    // so no part-written file ever carries the name; a stopped print leaves
    // the temporary to go with its object.
    QTemporaryFile partial(QFileInfo(path).absolutePath() + QStringLiteral("/.hygrovan-XXXXXX.pdf"));
    PrintOutcome outcome = PrintOutcome::NotStarted;
    if (partial.open()) {
      partial.close();
      QPrinter pdf(QPrinter::HighResolution);
      pdf.setOutputFormat(QPrinter::PdfFormat);
      pdf.setOutputFileName(partial.fileName());
      // Renamed beside the window too: the folder's sync can take a while.
      outcome = printBeside(pdf, [&] { return durableRename(partial.fileName(), path) == 0; });
    }
    if (outcome == PrintOutcome::Stopped) return;
    if (outcome != PrintOutcome::Printed)
      ui().message(this, QStringLiteral("Ошибка"), QStringLiteral("Не удалось создать файл \"%1\".").arg(path),
                   MsgIcon::Error, MsgButtons::Ok);
    return;
  }
  const QPrinterInfo info = QPrinterInfo::printerInfo(printers.first());
  if (info.isNull()) {
    ui().message(this, QStringLiteral("Ошибка"), QStringLiteral("Принтер \"%1\" недоступен.").arg(printers.first()),
                 MsgIcon::Error, MsgButtons::Ok);
    return;
  }
  if (!printer_ || printer_->printerName() != info.printerName())
    printer_ = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
  if (printBeside(*printer_) == PrintOutcome::NotStarted)
    ui().message(this, QStringLiteral("Ошибка"),
                 QStringLiteral("Не удалось начать печать на принтере \"%1\".").arg(info.printerName()), MsgIcon::Error,
                 MsgButtons::Ok);
}

void ChartWindow::saveImage() {
  FileDialogRequest request;
  request.caption = QStringLiteral("Сохранить изображение");
  request.filter = QStringLiteral("Рисунок PNG|*.png|Документ PDF|*.pdf");
  request.defaultExt = QStringLiteral(".png");
  request.fileName = proposedFileName(request.defaultExt, QStringLiteral("График.png"));
  const QString name = withDefaultExtension(ui().saveFileName(this, request), request.defaultExt);
  if (name.isEmpty()) return;
  if (!name.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive)) {
    runCommand([&] { saveChartPicture(chart_, name); });
    return;
  }
  // The page is written beside the window, as the report's PDF is.
  const std::shared_ptr<const ChartPage> page = takeChartPage(chart_, chartPdfArea());
  runCommand([&] {
    std::atomic<bool> stop{false};
    runPageBeside(this, QStringLiteral("Сохранение в PDF"), stop, [&] { writeChartPdf(*page, name, &stop); });
  });
}

void ChartWindow::placeButton() {
  printButton_->move(width() - printButton_->width() - kButtonMargin,
                     height() - printButton_->height() - kButtonMargin);
  printButton_->raise();
  wholeButton_->move(printButton_->x() - wholeButton_->width() - kButtonMargin, printButton_->y());
  wholeButton_->raise();
  figures_->move(kButtonMargin, kButtonMargin);
  figures_->raise();
}

void ChartWindow::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  chartView_->setGeometry(rect());
  placeButton();
}

void ChartWindow::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) {
    if (const QScreen* screen = QGuiApplication::primaryScreen())
      move(screen->availableGeometry().center() - rect().center());
  }
  QDialog::showEvent(event);
}

}  // namespace hv
