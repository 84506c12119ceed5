// "Построить график" from the main window: the curve dialog, then the chart of
// the selection of the grid on view.
#include <gtest/gtest.h>

#include <QChart>
#include <QCheckBox>
#include <QLegendMarker>
#include <QComboBox>
#include <QLineEdit>
#include <QLineSeries>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

#include "app/archive_pages.h"
#include "app/chart_command.h"
#include "app/main_window.h"
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
    hv::setUserInteraction(&ui_);
    hv::setDecimalSeparatorOverride(QChar(','));
    window_ = std::make_unique<hv::MainWindow>();
    const QString db = hv::test::testPath(QStringLiteral("mixed.db"));
    hv::test::writeTable(db, {single(1, 0, "01.03.2024", "08:00:00", "30,0"),
                              single(2, 0, "02.03.2024", "08:00:00", "31,0"),
                              single(1, 1, "01.03.2024", "09:00:00", "4,0"),
                              single(2, 1, "02.03.2024", "09:00:00", "5,0"),
                              single(3, 1, "03.03.2024", "09:00:00", "6,0")});
    window_->document().Open_DB(db);
    chart_ = &window_->chartCommand().chartWindow();
    curves_ = &window_->chartCommand().curveDialog();
  }
  void TearDown() override {
    window_->document().setChanged(false);
    window_->document().Close_DB();
    window_.reset();
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
      if (curves_->isVisible()) {
        curves_->wBox()->setChecked(true);
        curves_->wMinBox()->setChecked(false);
        curves_->wMaxBox()->setChecked(false);
        curves_->buildButton()->click();
      } else if (chart_->isVisible()) {
        seen.shown = true;
        for (QLegendMarker* m : chart_->chart()->legend()->markers())
          if (m->isVisible()) seen.legend << m->label();
        seen.wPoints = static_cast<int>(hv::chartSeries(chart_->chart(), hv::Curve::W)->count());
        chart_->reject();
      }
    });
    driver.start();
    window_->chartCommand().run();
    return seen;
  }

  hv::TDataGrid* concreteGrid() { return window_->pages().grid(hv::ArchiveKind::Concrete); }

  hv::test::ScriptedUserInteraction ui_;
  std::unique_ptr<hv::MainWindow> window_;
  hv::ChartWindow* chart_ = nullptr;
  hv::CurveDialog* curves_ = nullptr;
};

TEST_F(ChartCommand, TheConcreteTabPlotsTheConcreteGridsSelectionWithItsFooters) {
  window_->pages().tabs()->setCurrentIndex(1);
  ASSERT_EQ(window_->pages().shownGrid(), concreteGrid());
  concreteGrid()->clickRow(0, Qt::NoModifier);
  concreteGrid()->clickRow(2, Qt::ControlModifier);
  ASSERT_EQ(concreteGrid()->footerText(QStringLiteral("W")), QStringLiteral("4/5/6"));

  const ChartSeen first = runCommand();
  EXPECT_TRUE(first.shown);
  EXPECT_EQ(first.wPoints, 2);
  EXPECT_EQ(first.legend, QStringList{QStringLiteral("W, %4/5/6")});

  // A second opening shows only the new selection.
  concreteGrid()->clickRow(1, Qt::NoModifier);
  const ChartSeen second = runCommand();
  EXPECT_EQ(second.wPoints, 1);
  EXPECT_EQ(second.legend, QStringList{QStringLiteral("W, %0/0/0")});
  EXPECT_TRUE(ui_.messages().isEmpty());
}

TEST_F(ChartCommand, CancellingTheCurveDialogShowsNoChart) {
  bool chartShown = false;
  QTimer driver;
  driver.setInterval(10);
  QObject::connect(&driver, &QTimer::timeout, [&] {
    if (curves_->isVisible()) curves_->reject();
    if (chart_->isVisible()) {
      chartShown = true;
      chart_->reject();
    }
  });
  driver.start();
  window_->chartCommand().run();
  EXPECT_FALSE(chartShown);
}

TEST_F(ChartCommand, TheTargetMeAndByMaterialAreRememberedForTheNextRun) {
  QString seenTarget, normTarget;
  bool seenByMaterial = false, buildOffered = true, targetDrawn = false;
  const auto run = [&](bool change) {
    QTimer driver;
    driver.setInterval(10);
    QObject::connect(&driver, &QTimer::timeout, [&] {
      if (curves_->isVisible()) {
        seenTarget = curves_->targetEdit()->text();
        seenByMaterial = curves_->byMaterialBox()->isChecked();
        curves_->wBox()->setChecked(true);
        if (change) {
          // A forecast needs a target to forecast towards.
          curves_->targetEdit()->clear();
          curves_->forecastBox()->setChecked(true);
          buildOffered = curves_->buildButton()->isEnabled();
          // The example wood norm's piece limit, then typed over.
          curves_->normBox()->setCurrentIndex(1);
          emit curves_->normBox()->activated(1);
          normTarget = curves_->targetEdit()->text();
          curves_->targetEdit()->setText(QStringLiteral("14,5"));
          curves_->equilibriumEdit()->setText(QStringLiteral("8"));
          curves_->byMaterialBox()->setChecked(true);
        }
        curves_->buildButton()->click();
      } else if (chart_->isVisible()) {
        targetDrawn = false;
        for (QAbstractSeries* s : chart_->chart()->series()) targetDrawn |= s->objectName() == QLatin1String("targetLine");
        chart_->reject();
      }
    });
    driver.start();
    window_->chartCommand().run();
  };
  run(true);
  EXPECT_TRUE(seenTarget.isEmpty());
  EXPECT_FALSE(seenByMaterial);  // off until the user ticks it
  EXPECT_FALSE(buildOffered);
  EXPECT_EQ(normTarget, QStringLiteral("16"));
  EXPECT_TRUE(targetDrawn);

  // Another start of the program: the dialog offers what was left.
  window_->document().Close_DB();
  window_ = std::make_unique<hv::MainWindow>();
  chart_ = &window_->chartCommand().chartWindow();
  curves_ = &window_->chartCommand().curveDialog();
  run(false);
  EXPECT_EQ(seenTarget, QStringLiteral("14,5"));
  EXPECT_TRUE(seenByMaterial);
  EXPECT_EQ(curves_->options().equilibrium, 8);
  EXPECT_FALSE(curves_->forecastBox()->isChecked());
}

}  // namespace
