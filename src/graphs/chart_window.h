#pragma once
// The chart window. Created once at start-up; each showing rebuilds the chart
// from the selection it is given.
#include <QDialog>
#include <memory>

#include "graphs/chart_data.h"

class QAction;
class QChart;
class QChartView;
class QPrinter;
class QPushButton;

namespace hv {

class ChartWindow : public QDialog {
  Q_OBJECT

 public:
  explicit ChartWindow(QWidget* parent = nullptr);
  ~ChartWindow() override;

  // Builds the chart from the grid's selected rows and footers and shows the
  // window modally. A bad date and time or value goes to the default error
  // report and the window is not shown (mrCancel).
  int showChart(const QList<SelectedRow>& rows, const SelectionFooters& footers, const CurveChoice& curves);

  // Builds the chart; throws hv::Error at the first bad row, leaving the
  // chart as it was. Many rows are read beside the windows, with a progress
  // window whose "Отмена" stops it: false then, and the chart is as it was.
  bool buildChart(const QList<SelectedRow>& rows, const SelectionFooters& footers, const CurveChoice& curves);
  // "Печать": the chart alone on one landscape page of the default printer;
  // with none installed, into a PDF file when the user wants one.
  void printOnDefaultPrinter();
  // "Сохранить изображение...": the chart as PNG or PDF.
  void saveImage();

  // Prints on the given printer (printOnDefaultPrinter uses the default one).
  bool printTo(QPrinter& printer);

  QChart* chart() const { return chart_; }
  QChartView* chartView() const { return chartView_; }
  QPushButton* printButton() const { return printButton_; }
  QAction* saveImageAction() const { return saveImageAction_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void placeButton();

  QChart* chart_ = nullptr;
  QChartView* chartView_ = nullptr;
  QPushButton* printButton_ = nullptr;
  QAction* saveImageAction_ = nullptr;
  std::unique_ptr<QPrinter> printer_;  // kept for the run, like the program's printer
};

}  // namespace hv
