#include "graphs/chart_window.h"

#include <QAction>
#include <QChart>
#include <QChartView>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTemporaryFile>
#include <atomic>
#include <chrono>
#include <exception>
#include <optional>
#include <thread>

#include "graphs/moisture_chart.h"
#include "platform/durable_rename.h"
#include "platform/error.h"
#include "platform/ui.h"
#include "report/progress_window.h"
#include "report/report_ui.h"

namespace hv {

namespace {
constexpr int kButtonMargin = 8;
}

ChartWindow::ChartWindow(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("ChartWindow"));
  setWindowTitle(QStringLiteral("Графики"));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                 Qt::WindowCloseButtonHint);
  setModal(true);
  setSizeGripEnabled(true);
  resize(698, 482);

  chart_ = createMoistureChart();
  chartView_ = new QChartView(chart_, this);
  chartView_->setObjectName(QStringLiteral("chartView"));
  chartView_->setRenderHint(QPainter::Antialiasing);
  chartView_->setFrameShape(QFrame::NoFrame);
  chartView_->setGeometry(rect());

  saveImageAction_ = new QAction(QStringLiteral("Сохранить изображение..."), chartView_);
  connect(saveImageAction_, &QAction::triggered, this, [this] { saveImage(); });
  chartView_->addAction(saveImageAction_);
  chartView_->setContextMenuPolicy(Qt::ActionsContextMenu);

  printButton_ = new QPushButton(QStringLiteral("Печать"), this);
  printButton_->setObjectName(QStringLiteral("printButton"));
  printButton_->resize(75, 25);
  printButton_->setAutoDefault(false);
  connect(printButton_, &QPushButton::clicked, this, [this] { printOnDefaultPrinter(); });
  placeButton();
}

ChartWindow::~ChartWindow() = default;

int ChartWindow::showChart(const QList<SelectedRow>& rows, const SelectionFooters& footers, const CurveChoice& curves) {
  bool built = false;
  if (!runCommand([&] { built = buildChart(rows, footers, curves); }) || !built) return mrCancel;
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
  std::exception_ptr failure;
  std::atomic<bool> finished{false};
  std::thread worker([&] {
    try {
      data = buildChartData(rows, curves, &control);
    } catch (...) {
      failure = std::current_exception();
    }
    finished = true;
  });
  report::ProgressWindow progress(parent, QStringLiteral("Построение графика"));
  progress.show();
  while (!finished) {
    if (!progress.rowsDone(int(control.done), int(rows.size()))) control.stop = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  worker.join();
  progress.hide();
  if (failure) std::rethrow_exception(failure);
  if (control.stop) return std::nullopt;
  return data;
}

}  // namespace

bool ChartWindow::buildChart(const QList<SelectedRow>& rows, const SelectionFooters& footers,
                             const CurveChoice& curves) {
  // Every row is read before the chart is touched, so a bad row leaves no half-built chart.
  const std::optional<ChartData> data =
      rows.size() < kRowsReadBeside ? buildChartData(rows, curves) : buildBeside(this, rows, curves);
  if (!data) return false;
  fillMoistureChart(chart_, *data, curves, footers);
  return true;
}

bool ChartWindow::printTo(QPrinter& printer) {
  return printChart(chart_, printer);
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
    // so no part-written file ever carries the name.
    QTemporaryFile partial(QFileInfo(path).absolutePath() + QStringLiteral("/.hygrovan-XXXXXX.pdf"));
    bool done = partial.open();
    if (done) {
      partial.close();
      QPrinter pdf(QPrinter::HighResolution);
      pdf.setOutputFormat(QPrinter::PdfFormat);
      pdf.setOutputFileName(partial.fileName());
      done = printTo(pdf);
    }
    if (!done || durableRename(partial.fileName(), path) != 0)
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
  if (!printTo(*printer_))
    ui().message(this, QStringLiteral("Ошибка"),
                 QStringLiteral("Не удалось начать печать на принтере \"%1\".").arg(info.printerName()), MsgIcon::Error,
                 MsgButtons::Ok);
}

void ChartWindow::saveImage() {
  FileDialogRequest request;
  request.caption = QStringLiteral("Сохранить изображение");
  request.filter = QStringLiteral("Рисунок PNG|*.png|Документ PDF|*.pdf");
  request.defaultExt = QStringLiteral(".png");
  request.fileName = QStringLiteral("График.png");
  const QString name = withDefaultExtension(ui().saveFileName(this, request), request.defaultExt);
  if (name.isEmpty()) return;
  runCommand([&] { saveChartPicture(chart_, name); });
}

void ChartWindow::placeButton() {
  printButton_->move(width() - printButton_->width() - kButtonMargin,
                     height() - printButton_->height() - kButtonMargin);
  printButton_->raise();
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
