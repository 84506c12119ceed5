#pragma once
// The chart window. Created once at start-up; each showing rebuilds the chart
// from the selection it is given.
#include <QDialog>
#include <functional>
#include <memory>

#include "graphs/chart_data.h"

class QAction;
class QChart;
class QChartView;
class QLabel;
class QPrinter;
class QPushButton;

namespace hv {

// N, material and comment of the selected row at a place in the selection.
using RowDetailsSource = std::function<RowDetails(qsizetype)>;

class ChartWindow : public QDialog {
  Q_OBJECT

 public:
  explicit ChartWindow(QWidget* parent = nullptr);
  ~ChartWindow() override;

  // Builds the chart from the grid's selected rows and footers and shows the
  // window modally. A bad date and time or value goes to the default error
  // report and the window is not shown (mrCancel).
  // With options, also the target line, the drying forecast and a series per
  // material (the materials read through details).
  int showChart(const QList<SelectedRow>& rows, const SelectionFooters& footers, const CurveChoice& curves,
                const ChartOptions& options = {}, const RowDetailsSource& details = {});

  // Builds the chart; throws hv::Error at the first bad row, leaving the
  // chart as it was. Many rows are read beside the windows, with a progress
  // window whose "Отмена" stops it: false then, and the chart is as it was.
  bool buildChart(const QList<SelectedRow>& rows, const SelectionFooters& footers, const CurveChoice& curves,
                  const ChartOptions& options = {}, const RowDetailsSource& details = {});
  // "Печать": the chart alone on one landscape page of the default printer;
  // with none installed, into a PDF file when the user wants one.
  void printOnDefaultPrinter();
  // "Сохранить изображение...": the chart as PNG or PDF.
  void saveImage();

  // Prints on the given printer (printOnDefaultPrinter uses the default one),
  // with the progress window; false when the printer could not start or
  // the user stopped it.
  bool printTo(QPrinter& printer);

  QChart* chart() const { return chart_; }
  QChartView* chartView() const { return chartView_; }
  QPushButton* printButton() const { return printButton_; }
  QAction* saveImageAction() const { return saveImageAction_; }
  QPushButton* wholeButton() const { return wholeButton_; }

  // Zoom of the time axis (days since 1899-12-30); "Весь график", Esc and a
  // double click go back to the whole span. While zoomed the window shows
  // n, mean, min and max of the points in view.
  void zoomTo(double from, double to);
  void showWhole();
  QString figuresText() const;  // empty while not zoomed
  // The tooltip for the pointer at pos of the chart view: the reading drawn
  // nearest to it, or nothing.
  QString toolTipAt(QPoint pos) const;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  // The page drawn beside the window with the progress window, whose
  // "Отмена" stops it: nothing then reaches the printer or its file.
  enum class PrintOutcome { Printed, Stopped, NotStarted };
  // finish runs beside it too, after a complete page; false counts as not printed.
  PrintOutcome printBeside(QPrinter& printer, const std::function<bool()>& finish = {});
  void placeButton();
  void zoomChanged();

  QChart* chart_ = nullptr;
  QChartView* chartView_ = nullptr;
  QPushButton* printButton_ = nullptr;
  QAction* saveImageAction_ = nullptr;
  QAction* wholeAction_ = nullptr;
  QPushButton* wholeButton_ = nullptr;
  QLabel* figures_ = nullptr;
  // What the chart shows, for its tooltips and the figures in view.
  QList<SelectedRow> rows_;
  ChartData data_;
  CurveChoice curves_;
  RowDetailsSource details_;
  std::unique_ptr<QPrinter> printer_;  // kept for the run, like the program's printer
};

}  // namespace hv
