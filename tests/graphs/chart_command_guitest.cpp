// "Построить график" from the main window: the curve dialog, then the chart of
// the selection of the grid on view.
#include <gtest/gtest.h>

#include <QChart>
#include <QCheckBox>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

#include "app/forms.h"
#include "app/main.h"
#include "graphs/chart_window.h"
#include "graphs/moisture_chart.h"
#include "graphs/curve_dialog.h"
#include "platform/regional.h"
#include "platform/ui.h"
#include "support/scripted_ui.h"
#include "support/test_support.h"
#include "views/data_grid.h"
#include "support/measurement_table.h"

namespace {

using hv::test::single;

struct ChartSeen {
  QStringList legend;
  int wPoints = -1;
  bool shown = false;
};

class ChartCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    hv::setUserInteraction(&ui);
    hv::setDecimalSeparatorOverride(QChar(','));
    Form1 = new TForm1;
    Form3 = new hv::ChartWindow(Form1);
    Form4 = new hv::CurveDialog(Form1);
    const QString db = hv::test::testPath(QStringLiteral("mixed.db"));
    hv::test::writeTable(db, {single(1, 0, "01.03.2024", "08:00:00", "30,0"),
                              single(2, 0, "02.03.2024", "08:00:00", "31,0"),
                              single(1, 1, "01.03.2024", "09:00:00", "4,0"),
                              single(2, 1, "02.03.2024", "09:00:00", "5,0"),
                              single(3, 1, "03.03.2024", "09:00:00", "6,0")});
    Form1->Open_DB(db);
  }
  void TearDown() override {
    Form1->db_changed = false;
    Form1->Close_DB();
    delete Form1;
    Form1 = nullptr;
    Form3 = nullptr;
    Form4 = nullptr;
    hv::setDecimalSeparatorOverride(QChar());
    hv::setUserInteraction(nullptr);
  }

  // Runs the command: ticks W only in the curve dialog, then reads the chart
  // window while it is up and closes it.
  ChartSeen runCommand() {
    ChartSeen seen;
    QTimer driver;
    driver.setInterval(10);
    QObject::connect(&driver, &QTimer::timeout, [&] {
      if (Form4->isVisible()) {
        Form4->wBox()->setChecked(true);
        Form4->wMinBox()->setChecked(false);
        Form4->wMaxBox()->setChecked(false);
        Form4->buildButton()->click();
      } else if (Form3->isVisible()) {
        seen.shown = true;
        for (QLegendMarker* m : Form3->chart()->legend()->markers())
          if (m->isVisible()) seen.legend << m->label();
        seen.wPoints = static_cast<int>(hv::chartSeries(Form3->chart(), hv::Curve::W)->count());
        Form3->reject();
      }
    });
    driver.start();
    Form1->N15Click();
    return seen;
  }

  hv::test::ScriptedUserInteraction ui;
};

TEST_F(ChartCommand, TheConcreteTabPlotsTheConcreteGridsSelectionWithItsFooters) {
  Form1->PageControl1->setCurrentIndex(1);
  ASSERT_EQ(Form1->shownGrid(), Form1->DataGrid2);
  Form1->DataGrid2->clickRow(0, Qt::NoModifier);
  Form1->DataGrid2->clickRow(2, Qt::ControlModifier);
  ASSERT_EQ(Form1->DataGrid2->footerText(QStringLiteral("W")), QStringLiteral("4/5/6"));

  const ChartSeen first = runCommand();
  EXPECT_TRUE(first.shown);
  EXPECT_EQ(first.wPoints, 2);
  EXPECT_EQ(first.legend, QStringList{QStringLiteral("W, %4/5/6")});

  // A second opening shows only the new selection.
  Form1->DataGrid2->clickRow(1, Qt::NoModifier);
  const ChartSeen second = runCommand();
  EXPECT_EQ(second.wPoints, 1);
  EXPECT_EQ(second.legend, QStringList{QStringLiteral("W, %0/0/0")});
  EXPECT_TRUE(ui.messages().isEmpty());
}

TEST_F(ChartCommand, CancellingTheCurveDialogShowsNoChart) {
  bool chartShown = false;
  QTimer driver;
  driver.setInterval(10);
  QObject::connect(&driver, &QTimer::timeout, [&] {
    if (Form4->isVisible()) Form4->reject();
    if (Form3->isVisible()) {
      chartShown = true;
      Form3->reject();
    }
  });
  driver.start();
  Form1->N15Click();
  EXPECT_FALSE(chartShown);
}

}  // namespace
