#include "graphs/graf.h"

#include <QAction>
#include <QChart>
#include <QChartView>
#include <QGuiApplication>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

#include "graphs/moisture_chart.h"
#include "platform/error.h"
#include "platform/ui.h"
#include "report/report_ui.h"

namespace {
constexpr int kButtonMargin = 8;
}

TForm3::TForm3(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("ChartWindow"));
  setWindowTitle(QStringLiteral("Графики"));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                 Qt::WindowCloseButtonHint);
  setModal(true);
  setSizeGripEnabled(true);
  resize(698, 482);

  Chart1 = hv::createMoistureChart();
  chartView = new QChartView(Chart1, this);
  chartView->setObjectName(QStringLiteral("Chart1"));
  chartView->setRenderHint(QPainter::Antialiasing);
  chartView->setFrameShape(QFrame::NoFrame);
  chartView->setGeometry(rect());

  saveImageAction = new QAction(QStringLiteral("Сохранить изображение..."), chartView);
  connect(saveImageAction, &QAction::triggered, this, [this] { saveImageClick(); });
  chartView->addAction(saveImageAction);
  chartView->setContextMenuPolicy(Qt::ActionsContextMenu);

  Button1 = new QPushButton(QStringLiteral("Печать"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->resize(75, 25);
  Button1->setAutoDefault(false);
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  placeButton();
}

TForm3::~TForm3() = default;

int TForm3::showChart(const QList<hv::SelectedRow>& rows, const hv::SelectionFooters& footers,
                      const hv::CurveChoice& curves) {
  if (!hv::runCommand([&] { FormShow(rows, footers, curves); })) return hv::mrCancel;
  return exec();
}

void TForm3::FormShow(const QList<hv::SelectedRow>& rows, const hv::SelectionFooters& footers,
                      const hv::CurveChoice& curves) {
  // Every row is read before the chart is touched, so a bad row leaves no half-built chart.
  const hv::ChartData data = hv::buildChartData(rows, curves);
  hv::fillMoistureChart(Chart1, data, curves, footers);
}

bool TForm3::printTo(QPrinter& printer) { return hv::printChart(Chart1, printer); }

void TForm3::Button1Click() {
  const QStringList printers = hv::availablePrinters();
  if (printers.isEmpty()) {
    // As the report's print dialog does with no printer: a PDF file instead.
    if (hv::ui().message(this, QStringLiteral("Печать"),
                         QStringLiteral("Принтеры не установлены. Напечатать график в файл PDF?"),
                         hv::MsgIcon::Question, hv::MsgButtons::YesNo) != hv::MsgResult::Yes)
      return;
    const QString path = hv::askPrintPdfFile(this);
    if (path.isEmpty()) return;
    QPrinter pdf(QPrinter::HighResolution);
    pdf.setOutputFormat(QPrinter::PdfFormat);
    pdf.setOutputFileName(path);
    if (!printTo(pdf))
      hv::ui().message(this, QStringLiteral("Ошибка"), QStringLiteral("Не удалось создать файл \"%1\".").arg(path),
                       hv::MsgIcon::Error, hv::MsgButtons::Ok);
    return;
  }
  const QPrinterInfo info = QPrinterInfo::printerInfo(printers.first());
  if (info.isNull()) {
    hv::ui().message(this, QStringLiteral("Ошибка"), QStringLiteral("Принтер \"%1\" недоступен.").arg(printers.first()),
                     hv::MsgIcon::Error, hv::MsgButtons::Ok);
    return;
  }
  if (!printer_ || printer_->printerName() != info.printerName())
    printer_ = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
  if (!printTo(*printer_))
    hv::ui().message(this, QStringLiteral("Ошибка"),
                     QStringLiteral("Не удалось начать печать на принтере \"%1\".").arg(info.printerName()),
                     hv::MsgIcon::Error, hv::MsgButtons::Ok);
}

void TForm3::saveImageClick() {
  hv::FileDialogRequest request;
  request.caption = QStringLiteral("Сохранить изображение");
  request.filter = QStringLiteral("Рисунок PNG|*.png|Документ PDF|*.pdf");
  request.defaultExt = QStringLiteral(".png");
  request.fileName = QStringLiteral("График.png");
  const QString name = hv::withDefaultExtension(hv::ui().saveFileName(this, request), request.defaultExt);
  if (name.isEmpty()) return;
  hv::runCommand([&] { hv::saveChartPicture(Chart1, name); });
}

void TForm3::placeButton() {
  Button1->move(width() - Button1->width() - kButtonMargin, height() - Button1->height() - kButtonMargin);
  Button1->raise();
}

void TForm3::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  chartView->setGeometry(rect());
  placeButton();
}

void TForm3::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) {
    if (const QScreen* screen = QGuiApplication::primaryScreen())
      move(screen->availableGeometry().center() - rect().center());
  }
  QDialog::showEvent(event);
}
