#pragma once
// TForm3: the chart window. Created once at start-up; each showing rebuilds
// the chart from the selection it is given.
#include <QDialog>
#include <memory>

#include "graphs/chart_data.h"

class QAction;
class QChart;
class QChartView;
class QPrinter;
class QPushButton;

class TForm3 : public QDialog {
  Q_OBJECT

 public:
  explicit TForm3(QWidget* parent = nullptr);
  ~TForm3() override;

  // Builds the chart from the grid's selected rows and footers and shows the
  // window modally. A bad date and time or value goes to the default error
  // report and the window is not shown (mrCancel).
  int showChart(const QList<hv::SelectedRow>& rows, const hv::SelectionFooters& footers,
                const hv::CurveChoice& curves);

  // Builds the chart; throws hv::Error at the first bad row, leaving the
  // chart as it was.
  void FormShow(const QList<hv::SelectedRow>& rows, const hv::SelectionFooters& footers,
                const hv::CurveChoice& curves);
  // "Печать": the chart alone on one landscape page of the default printer;
  // with none installed, into a PDF file when the user wants one.
  void Button1Click();
  // "Сохранить изображение...": the chart as PNG or PDF.
  void saveImageClick();

  // Prints on the given printer (Button1Click uses the default one).
  bool printTo(QPrinter& printer);

  QChart* Chart1 = nullptr;
  QChartView* chartView = nullptr;
  QPushButton* Button1 = nullptr;
  QAction* saveImageAction = nullptr;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void placeButton();
  std::unique_ptr<QPrinter> printer_;  // kept for the run, like the program's printer
};
