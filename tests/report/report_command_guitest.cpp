// "Печать" of the grids' context menu right after start: the archive on view
// is printed; a cancelled print dialog prints nothing.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QTabWidget>
#include <QTimer>

#include "app/archive_pages.h"
#include "app/main_window.h"
#include "app/report_commands.h"
#include "platform/ui.h"
#include "support/scripted_ui.h"
#include "report/print_dialog.h"
#include "report/report_ui.h"
#include "support/main_window_access.h"
#include "support/test_support.h"
#include "support/measurement_table.h"

namespace {

using hv::test::single;

// Answers the print dialog once it is up.
class AnswerPrintDialog {
 public:
  explicit AnswerPrintDialog(bool accept) {
    QObject::connect(&timer_, &QTimer::timeout, [this, accept] {
      for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == QLatin1String("ReportPrintDialog") && w->isVisible()) {
          timer_.stop();
          seen = true;
          auto* d = static_cast<QDialog*>(w);
          accept ? d->accept() : d->reject();
          return;
        }
      }
    });
    timer_.start(10);
  }
  bool seen = false;

 private:
  QTimer timer_;
};

class ReportCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    hv::setUserInteraction(&ui_);
    ui_.printers.clear();  // no printer: a PDF file instead
    window_ = std::make_unique<hv::MainWindow>();
    db_ = hv::test::testPath(QStringLiteral("site.db"));
    hv::test::writeTable(db_,
                         {single(1, 1, "01.03.2024", "09:00:00", "4,5"), single(2, 1, "02.03.2024", "09:00:00", "5,5"),
                          single(3, 2, "02.03.2024", "10:00:00", "8,0")});
  }
  void TearDown() override {
    window_->document().setChanged(false);
    window_->document().Close_DB();
    window_.reset();
    hv::setUserInteraction(nullptr);
  }
  hv::test::ScriptedUserInteraction ui_;
  std::unique_ptr<hv::MainWindow> window_;
  QString db_;
};

TEST_F(ReportCommand, ContextMenuPrintRightAfterOpeningPrintsTheArchiveOnView) {
  window_->document().Open_DB(db_);
  ASSERT_EQ(window_->pages().tabs()->currentIndex(), 1);  // the concrete archive comes first
  const QString pdf = hv::test::testPath(QStringLiteral("report.pdf"));
  ui_.fileAnswers << pdf;
  AnswerPrintDialog answer(true);
  hv::test::command(*window_, "printPopupAction")->trigger();
  EXPECT_TRUE(answer.seen);
  const auto text = hv::test::runProcess(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
  ASSERT_EQ(text.exitCode, 0) << text.err.constData();
  const QString out = QString::fromUtf8(text.out);
  EXPECT_TRUE(out.contains(QStringLiteral("4,5")));
  EXPECT_TRUE(out.contains(QStringLiteral("5,5")));
  EXPECT_FALSE(out.contains(QStringLiteral("8,0")));  // the bulk archive is not on view
  EXPECT_TRUE(out.contains(QStringLiteral("Стр. 1 из 1")));
}

TEST_F(ReportCommand, CancellingThePrintDialogPrintsNothing) {
  window_->document().Open_DB(db_);
  const QString pdf = hv::test::testPath(QStringLiteral("report.pdf"));
  ui_.fileAnswers << pdf;
  AnswerPrintDialog answer(false);
  hv::test::command(*window_, "printAction")->trigger();
  EXPECT_TRUE(answer.seen);
  EXPECT_FALSE(QFile::exists(pdf));
  EXPECT_TRUE(ui_.messages().isEmpty());
}

TEST_F(ReportCommand, WithoutAnOpenTableTheCommandsDoNothing) {
  AnswerPrintDialog answer(true);
  window_->reportCommands().print();
  window_->reportCommands().preview();
  QApplication::processEvents();
  EXPECT_FALSE(answer.seen);
  EXPECT_TRUE(ui_.shown.isEmpty());
}

}  // namespace
