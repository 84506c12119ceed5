// "Экспорт в Excel" and "Экспорт в CSV…" from the main window.
#include <algorithm>
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

#include "app/archive_pages.h"
#include "app/export_command.h"
#include "app/import_commands.h"
#include "app/main_window.h"
#include "platform/ui.h"
#include "report/progress_window.h"
#include "store/dbf_file.h"
#include "support/scripted_ui.h"
#include "store/db_table.h"
#include "support/main_window_access.h"
#include "support/test_support.h"
#include "support/measurement_table.h"

namespace {

using hv::test::ranged;
using hv::test::single;

class ExportCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    hv::setUserInteraction(&ui_);
    window_ = std::make_unique<hv::MainWindow>();
  }
  void TearDown() override {
    window_->document().setChanged(false);
    window_->document().Close_DB();
    window_.reset();
    hv::setUserInteraction(nullptr);
  }
  QString sheetNames(const QString& xls) {
    const auto r = hv::test::runPython(QStringLiteral("import sys, xlrd\n"
                                                      "b = xlrd.open_workbook(sys.argv[1])\n"
                                                      "print('|'.join(b.sheet_names()))\n"
                                                      "for s in b.sheets(): print(s.nrows)\n"),
                                       {xls});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    return QString::fromUtf8(r.out).trimmed();
  }
  hv::test::ScriptedUserInteraction ui_;
  std::unique_ptr<hv::MainWindow> window_;
};

TEST_F(ExportCommand, OnlyTheConcreteArchiveGivesOneSheetAndTheGridIsLeftUnsortedOnItsFirstRow) {
  const QString db = hv::test::testPath(QStringLiteral("slab.db"));
  hv::test::writeTable(db, {single(1, 1, "01.02.2024", "10:00:00", "3,5"),
                            ranged(2, 1, "02.02.2024", "11:00:00", "2,0", "4,5"),
                            single(3, 1, "03.02.2024", "12:00:00", "5,0")});
  window_->document().Open_DB(db);
  ASSERT_TRUE(window_->document().isOpen());
  ASSERT_EQ(window_->pages().tabs()->currentIndex(), 1);
  // Sorted by N descending through the concrete grid's tag, standing on the last row.
  window_->document().table().addIndex(QStringLiteral("tab2"), QStringLiteral("N"), true);
  window_->document().table().setIndexName(QStringLiteral("tab2"));
  window_->document().table().last();

  ui_.fileAnswers << hv::test::testPath(QStringLiteral("out"));  // no extension typed
  window_->exportCommand().run();

  const QString xls = hv::test::testPath(QStringLiteral("out.xls"));
  ASSERT_TRUE(QFileInfo::exists(xls));
  EXPECT_EQ(sheetNames(xls), QStringLiteral("Hygrovan-RX3 (Бетонные)\n4"));
  const auto shown = ui_.messages();
  ASSERT_EQ(shown.size(), 1);
  EXPECT_EQ(shown[0].caption, QStringLiteral("Экспорт в Excel"));
  EXPECT_EQ(shown[0].text, QStringLiteral("Экспорт в Excel в файл out.xls завершен успешно."));
  EXPECT_EQ(shown[0].icon, hv::MsgIcon::Information);
  const auto dialogs = ui_.shown;
  EXPECT_EQ(dialogs[0].file.filter, QStringLiteral("Книга Excel|*.xls"));
  EXPECT_EQ(dialogs[0].file.defaultExt, QStringLiteral(".xls"));
  EXPECT_EQ(dialogs[0].file.fileName, QStringLiteral("slab.xls"));  // named after the table

  EXPECT_EQ(window_->document().table().filter(), QStringLiteral("N_ARC=1"));
  EXPECT_TRUE(window_->document().table().indexName().isEmpty());
  EXPECT_EQ(window_->document().table().rowIndex(), 0);
  EXPECT_EQ(window_->document().table().fieldInt(QStringLiteral("N")), 1);
}

TEST_F(ExportCommand, AFileThatCannotBeCreatedIsReportedWithAFullStopAndNoSuccess) {
  const QString db = hv::test::testPath(QStringLiteral("oak.db"));
  hv::test::writeTable(db, {single(1, 0, "01.02.2024", "10:00:00", "12,5")});
  window_->document().Open_DB(db);
  ui_.fileAnswers << hv::test::testPath(QStringLiteral("no/such/folder/out.xls"));
  hv::test::command(*window_, "exportAction")->setEnabled(true);
  hv::test::command(*window_, "exportAction")->trigger();  // through the menu: errors reach the default error report
  const auto shown = ui_.messages();
  ASSERT_EQ(shown.size(), 1);
  EXPECT_TRUE(shown[0].text.startsWith(QStringLiteral("StgCreateDocFile error "))) << shown[0].text.toStdString();
  EXPECT_TRUE(shown[0].text.endsWith(QChar('.')));
  EXPECT_EQ(shown[0].icon, hv::MsgIcon::Error);
  EXPECT_EQ(shown[0].caption, QStringLiteral("oak - Hygrovan-RX3"));
  EXPECT_EQ(window_->document().table().filter(), QStringLiteral("N_ARC=0"));
}

TEST_F(ExportCommand, ReplacesWithoutAQuestionWhilePickingANewTableAsks) {
  // Each dialog request carries its own replace setting, whatever ran before.
  window_->importCommands().createFromMeter();  // cancelled in its dialog
  const QString db = hv::test::testPath(QStringLiteral("oak.db"));
  hv::test::writeTable(db, {single(1, 0, "01.02.2024", "10:00:00", "12,5")});
  window_->document().Open_DB(db);
  window_->exportCommand().run();  // cancelled
  ASSERT_EQ(ui_.shown.size(), 2);
  EXPECT_EQ(ui_.shown[0].file.defaultExt, QStringLiteral(".db"));
  EXPECT_TRUE(ui_.shown[0].file.overwritePrompt);
  EXPECT_EQ(ui_.shown[1].file.defaultExt, QStringLiteral(".xls"));
  EXPECT_FALSE(ui_.shown[1].file.overwritePrompt);
}

TEST_F(ExportCommand, CancellingTheDialogChangesNothing) {
  const QString db = hv::test::testPath(QStringLiteral("oak.db"));
  hv::test::writeTable(db, {single(1, 0, "01.02.2024", "10:00:00", "12,5")});
  window_->document().Open_DB(db);
  window_->exportCommand().run();
  EXPECT_TRUE(ui_.messages().isEmpty());
  EXPECT_EQ(ui_.shown.size(), 1);
}

TEST_F(ExportCommand, CsvOfTheArchiveOnViewKeepsTheGridsOrderAndTheChoiceIsRemembered) {
  const QString db = hv::test::testPath(QStringLiteral("oak.db"));
  hv::test::writeTable(db, {single(1, 0, "01.02.2024", "10:00:00", "12,5"), single(2, 0, "02.02.2024", "11:00:00", "7,5"),
                            single(3, 1, "03.02.2024", "12:00:00", "30,0")});
  window_->document().Open_DB(db);
  hv::TDbTable& table = window_->document().table();
  table.addIndex(QStringLiteral("tab1"), QStringLiteral("N"), true);
  table.setIndexName(QStringLiteral("tab1"));

  hv::CsvExportOptions analysis;
  analysis.preset = hv::CsvPreset::Analysis;
  ui_.csvAnswers << analysis;
  ui_.fileAnswers << hv::test::testPath(QStringLiteral("out"));
  hv::test::command(*window_, "csvExportAction")->trigger();
  ASSERT_EQ(ui_.csvShown.size(), 1);
  EXPECT_EQ(ui_.csvShown[0].archiveOnView, QStringLiteral("Древесные"));
  const auto saveDialog = std::find_if(ui_.shown.begin(), ui_.shown.end(), [](const auto& s) {
    return s.kind == hv::test::ScriptedUserInteraction::Shown::SaveFile;
  });
  ASSERT_NE(saveDialog, ui_.shown.end());
  EXPECT_EQ(saveDialog->file.fileName, QStringLiteral("oak.csv"));  // named after the table
  const QList<QByteArray> lines = hv::test::readFile(hv::test::testPath(QStringLiteral("out.csv"))).split('\n');
  ASSERT_EQ(lines.size(), 4);  // the captions, two rows, the end of the last line
  EXPECT_TRUE(lines[1].startsWith("2,02.02.2024,11:00:00,2024-02-02T11:00:00,7.5,,,")) << lines[1].constData();
  EXPECT_TRUE(lines[2].startsWith("1,")) << lines[2].constData();
  ASSERT_EQ(ui_.messages().size(), 1);
  EXPECT_EQ(ui_.messages()[0].text, QStringLiteral("Экспорт в CSV в файл out.csv завершен успешно."));
  EXPECT_EQ(table.indexName(), QStringLiteral("tab1"));  // unlike the workbook, the sort stays
  EXPECT_EQ(table.filter(), QStringLiteral("N_ARC=0"));

  // The next time the dialog offers what was chosen; cancelling it writes nothing.
  ui_.clear();
  hv::test::command(*window_, "csvExportAction")->trigger();
  ASSERT_EQ(ui_.csvShown.size(), 2);
  EXPECT_EQ(ui_.csvShown[1].preset, hv::CsvPreset::Analysis);
  EXPECT_EQ(ui_.shown.size(), 1);
}

// A table of `rows` wood rows, written as the file's bytes: quicker than row by row.
void writeWoodRows(const QString& path, int rows) {
  QByteArray bytes = hv::store::newMeasurementHeader();
  hv::store::putU32(reinterpret_cast<unsigned char*>(bytes.data()) + hv::store::kCountOffset, std::uint32_t(rows));
  for (int i = 0; i < rows; ++i) {
    const QList<QByteArray> fields = {QByteArray::number(i % 10000), "0", "01.02.2024", "10:00:00", "3,5"};
    bytes.append(' ');
    int c = 0;
    for (hv::MeasurementField field : hv::kMeasurementFields) {
      const int width = hv::fieldSpec(field).width;
      const QByteArray v = fields.value(c++);
      bytes.append(field == hv::MeasurementField::N || field == hv::MeasurementField::NArc ? v.rightJustified(width)
                                                                                        : v.leftJustified(width));
    }
  }
  bytes.append(char(hv::store::kFileEnd));
  hv::test::writeFile(path, bytes);
}

TEST_F(ExportCommand, ABigExportShowsItsProgressAndItsCancelLeavesTheEarlierFile) {
  const int rows = int(hv::ExportCommand::kRowsWrittenBeside) + 1;
  const QString db = hv::test::testPath(QStringLiteral("big.db"));
  writeWoodRows(db, rows);
  window_->document().Open_DB(db);
  ASSERT_EQ(window_->document().table().recordCount(), rows);
  window_->document().table().moveToRow(7);
  const QString xls = hv::test::testPath(QStringLiteral("big.xls"));
  hv::test::writeFile(xls, "previous contents");

  // "Отмена" as soon as the progress shows.
  QString seen;
  QTimer cancel;
  QObject::connect(&cancel, &QTimer::timeout, [&] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* p = qobject_cast<hv::report::ProgressWindow*>(w); p && p->isVisible()) {
        seen = p->windowTitle();
        p->cancelButton()->click();
      }
  });
  cancel.start(1);
  ui_.fileAnswers << xls;
  window_->exportCommand().run();
  cancel.stop();
  EXPECT_EQ(seen, QStringLiteral("Экспорт в Excel"));
  EXPECT_TRUE(ui_.messages().isEmpty());
  EXPECT_EQ(hv::test::readFile(xls), QByteArray("previous contents"));
  EXPECT_EQ(QDir(hv::test::testDir()).entryList({QStringLiteral("*.xls*"), QStringLiteral(".*")}, QDir::Files | QDir::Hidden),
            QStringList{QStringLiteral("big.xls")});
  EXPECT_EQ(window_->document().table().rowIndex(), 0);

  // Not cancelled: every row, below the title row.
  ui_.fileAnswers << xls;
  window_->exportCommand().run();
  ASSERT_EQ(ui_.messages().size(), 1);
  EXPECT_EQ(ui_.messages()[0].text, QStringLiteral("Экспорт в Excel в файл big.xls завершен успешно."));
  EXPECT_EQ(sheetNames(xls), QStringLiteral("Hygrovan-RX3 (Древесные)\n50002"));
}

}  // namespace
