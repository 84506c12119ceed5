// "Оценка партии" from the main window: the rows it takes, the verdict it
// shows, the norms edited in it, the protocol saved from it; and the status
// bar's figures beside the footers.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <algorithm>
#include <functional>

#include "app/archive_pages.h"
#include "app/lot_command.h"
#include "app/main_window.h"
#include "graphs/lot_dialog.h"
#include "platform/regional.h"
#include "platform/settings.h"
#include "platform/ui.h"
#include "support/measurement_table.h"
#include "support/scripted_ui.h"
#include "support/test_support.h"
#include "views/data_grid.h"

namespace {

using hv::test::ranged;
using hv::test::single;

class LotDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    hv::setUserInteraction(&ui_);
    hv::setDecimalSeparatorOverride(QChar(','));
    window_ = std::make_unique<hv::MainWindow>();
    const QString db = hv::test::testPath(QStringLiteral("lot.db"));
    hv::test::writeTable(db, {single(1, 0, "01.03.2024", "08:00:00", "10,0"),
                              single(2, 0, "02.03.2024", "08:00:00", "12,0"),
                              ranged(3, 0, "03.03.2024", "08:00:00", "11,0", "15,0"),
                              single(1, 1, "01.03.2024", "09:00:00", "4,0")});
    window_->document().Open_DB(db);
    dialog_ = &window_->lotCommand().dialog();
  }
  void TearDown() override {
    window_->document().Close_DB();
    window_.reset();
    hv::setDecimalSeparatorOverride(QChar());
    hv::setUserInteraction(nullptr);
  }

  hv::TDataGrid* woodGrid() { return window_->pages().grid(hv::ArchiveKind::Wood); }

  // Runs the command; while the dialog is up, step() is called until it returns true, then it closes.
  void run(const std::function<bool()>& step) {
    // Two timers: a timer does not fire again while its own handler runs, and
    // the step may open the norm editor from inside it.
    QTimer driver, editors;
    driver.setInterval(10);
    editors.setInterval(10);
    QObject::connect(&driver, &QTimer::timeout, [&] {
      if (dialog_->isVisible() && QApplication::activeModalWidget() == dialog_ && step()) dialog_->reject();
    });
    QObject::connect(&editors, &QTimer::timeout, [&] {
      if (auto* editor = qobject_cast<hv::NormEditDialog*>(QApplication::activeModalWidget())) editorSeen_(editor);
    });
    driver.start();
    editors.start();
    window_->lotCommand().run();
  }

  hv::test::ScriptedUserInteraction ui_;
  std::unique_ptr<hv::MainWindow> window_;
  hv::LotDialog* dialog_ = nullptr;
  std::function<void(hv::NormEditDialog*)> editorSeen_ = [](hv::NormEditDialog* e) { e->reject(); };
};

TEST_F(LotDialogTest, SelectionOrWholeArchiveAndTheStatusBarFigures) {
  auto* figures = window_->findChild<QLabel*>(QStringLiteral("figuresLabel"));
  ASSERT_NE(figures, nullptr);
  woodGrid()->clickRow(0, Qt::NoModifier);
  EXPECT_EQ(figures->text(), QString());
  woodGrid()->clickRow(1, Qt::ControlModifier);
  EXPECT_EQ(figures->text(), QStringLiteral("n = 2, σ = 1,41"));
  EXPECT_EQ(woodGrid()->footerText(QStringLiteral("W")), QStringLiteral("10/11/12"));  // footers as before

  QString title, verdict;
  run([&] {
    title = dialog_->windowTitle();
    return true;
  });
  EXPECT_EQ(title, QStringLiteral("Оценка партии — Выделенные строки архива «Древесные» (2)"));

  // One row selected is no lot: every row of the archive, and the title says so.
  woodGrid()->clickRow(2, Qt::NoModifier);
  run([&] {
    title = dialog_->windowTitle();
    verdict = dialog_->verdictLabel()->text();
    return true;
  });
  EXPECT_EQ(title, QStringLiteral("Оценка партии — Все строки архива «Древесные» (3)"));
  EXPECT_EQ(dialog_->result().assessment.figures.n, 3);
  EXPECT_EQ(dialog_->result().assessment.figures.series, 1);
  // The wood example wants ten pieces.
  EXPECT_EQ(verdict, QStringLiteral("Заключение: Недостаточно измерений"));
  EXPECT_TRUE(ui_.messages().isEmpty());
}

TEST_F(LotDialogTest, NormsAreAddedRefusedWhenContradictoryDeletedAndTheProtocolSaved) {
  int editorTurn = 0;
  editorSeen_ = [&](hv::NormEditDialog* e) {
    e->nameEdit()->setText(QStringLiteral("Приёмка"));
    e->numberEdit(2)->setText(++editorTurn == 1 ? QStringLiteral("16") : QStringLiteral("10"));
    e->numberEdit(3)->setText(QStringLiteral("15"));
    e->accept();  // the first time refused: the lower limit above the upper
  };
  const QString pdf = hv::test::testPath(QStringLiteral("протокол.pdf"));
  ui_.fileAnswers << pdf;
  ui_.messageAnswers << hv::MsgResult::Ok << hv::MsgResult::Yes;
  QString verdict, share;
  bool deleted = false;
  run([&] {
    if (editorTurn == 0) {
      dialog_->addNorm();
      verdict = dialog_->verdictLabel()->text();
      share = dialog_->criteriaTable()->item(0, 2)->text();
      dialog_->saveProtocolPdf();
      dialog_->deleteNorm();
      deleted = dialog_->normBox()->findText(QStringLiteral("Приёмка")) < 0;
    }
    return true;
  });
  ASSERT_EQ(ui_.messages().size(), 2);
  EXPECT_EQ(ui_.messages()[0].text,
            QStringLiteral("Норма не сохранена: нижняя граница для отдельного значения выше верхней."));
  EXPECT_EQ(ui_.messages()[1].text, QStringLiteral("Удалить норму «Приёмка»?"));
  EXPECT_EQ(verdict, QStringLiteral("Заключение: Соответствует"));
  EXPECT_EQ(share, QStringLiteral("100"));
  EXPECT_TRUE(deleted);
  const auto saved = std::find_if(ui_.shown.begin(), ui_.shown.end(), [](const auto& s) {
    return s.kind == hv::test::ScriptedUserInteraction::Shown::SaveFile;
  });
  ASSERT_NE(saved, ui_.shown.end());
  EXPECT_EQ(saved->file.fileName, QStringLiteral("lot_протокол.pdf"));  // named after the table
  const auto text = hv::test::runProcess(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
  EXPECT_TRUE(QString::fromUtf8(text.out).contains(QStringLiteral("Норма: Приёмка"))) << text.out.toStdString();

  // The norm went to the settings and out again; the examples stayed.
  hv::SettingsKey key;
  key.open();
  const hv::StoredNorms stored = hv::readNorms(key);
  EXPECT_EQ(stored.norms, hv::exampleNorms());
}

}  // namespace
