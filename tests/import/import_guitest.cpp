// "Создать" and "Дополнить" driving the real windows against the meter simulator.
#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QTabWidget>
#include <QTest>
#include <memory>

#include "app/archive_pages.h"
#include "app/main_window.h"
#include "device/import/archive_import.h"
#include "device/download_dialog.h"
#include "import_images.h"
#include "platform/regional.h"
#include "platform/ui.h"
#include "support/scripted_ui.h"
#include "store/db_table.h"
#include "support/main_window_access.h"
#include "support/meter_simulator.h"
#include "support/test_support.h"

namespace {

using hv::test::numbersOf;
using hv::test::rowsOf;

// Simulator records: archive moisture minimum maximum material individual
// second minute hour day month year.
const QStringList kWood = {"0 125 65535 65535 0 0 1 0 10 1 3 7", "0 0 118 131 2 5 2 0 10 1 3 7",
                           "0 300 65535 65535 1 0 3 0 10 1 3 7"};
const QStringList kBulk = {"2 90 65535 65535 7 0 0 30 9 2 3 7"};
const QStringList kNewWood = {"0 140 65535 65535 0 0 0 0 11 1 3 7", "0 150 65535 65535 0 0 0 0 12 1 3 7"};
const QStringList kNewConcrete = {"1 33 65535 65535 12 0 0 0 12 1 3 7"};

class ImportWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int n = 1; n <= 38; ++n) setCom(n, QStringLiteral("/nonexistent/hygrovan-com%1").arg(n));
    hv::setUserInteraction(&ui_);
    hv::setDecimalSeparatorOverride(QChar(','));
    window_ = std::make_unique<hv::MainWindow>();
  }
  void TearDown() override {
    window_.reset();
    hv::setUserInteraction(nullptr);
    hv::setDecimalSeparatorOverride(QChar());
    hv::setApplicationTitle(QStringLiteral("Hygrovan-RX3"));
    for (int n = 1; n <= 38; ++n) qunsetenv(QStringLiteral("HYGROVAN_COM%1").arg(n).toLatin1().constData());
    stopMeter();
  }
  static void setCom(int n, const QString& path) {
    qputenv(QStringLiteral("HYGROVAN_COM%1").arg(n).toLatin1().constData(), path.toLocal8Bit());
  }
  // Starts the simulator with these records and points COM1 at its link.
  void startMeter(const QStringList& records) {
    stopMeter();
    const QString file = hv::test::testPath(QStringLiteral("records%1.txt").arg(++meterRuns_));
    hv::test::writeFile(file, records.join(QChar('\n')).toLatin1() + "\n");
    const QString link = hv::test::testPath(QStringLiteral("com1"));
    ASSERT_TRUE(sim_.start({QStringLiteral("--records"), file, QStringLiteral("--link"), link}));
    setCom(1, link);
  }
  void stopMeter() { sim_.stop(); }
  // The file of the last create, read on its own.
  QList<hv::test::StoredRow> storedRows(const QString& path, int kind) {
    hv::TDbTable t;
    t.setFileName(path);
    t.open();
    t.setFiltered(true);
    return rowsOf(t, kind);
  }

  QAction* command(const char* name) { return hv::test::command(*window_, name); }
  QTabWidget* tabs() { return window_->pages().tabs(); }
  hv::TDbTable& table() { return window_->document().table(); }

  hv::test::ScriptedUserInteraction ui_;
  std::unique_ptr<hv::MainWindow> window_;
  hv::test::Simulator sim_;
  int meterRuns_ = 0;
};

TEST_F(ImportWindow, CtrlNWithAChangedCommentAsksTheSaveQuestionFirst) {
  const QString path = hv::test::testPath(QStringLiteral("old.db"));
  auto image = hv::test::makeImage({QList<hv::test::Rec>{hv::test::at(1, 0)}, {}, {}});
  hv::importIntoFile(path, *image, false);
  window_->show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  window_->document().Open_DB(path);
  ASSERT_TRUE(window_->document().isOpen());
  // A comment typed but not posted, as the grid leaves it while editing.
  table().first();
  table().edit();
  table().setFieldText(QStringLiteral("COMMENT"), QStringLiteral("дуб у ворот"));
  window_->document().setChanged(true);

  ui_.messageAnswers = {hv::MsgResult::No};
  EXPECT_EQ(command("newTableAction")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_N));
  QTest::keyClick(window_.get(), Qt::Key_N, Qt::ControlModifier);
  ASSERT_EQ(ui_.shown.size(), 2);
  EXPECT_EQ(ui_.shown[0].kind, hv::test::ScriptedUserInteraction::Shown::Message);
  EXPECT_EQ(ui_.shown[0].text, QStringLiteral("Сохранить изменения в таблицах ?"));
  EXPECT_EQ(ui_.shown[0].caption, QStringLiteral("Hygrovan-RX3"));
  EXPECT_EQ(ui_.shown[1].kind, hv::test::ScriptedUserInteraction::Shown::SaveFile);
  EXPECT_EQ(ui_.shown[1].file.filter, QStringLiteral("Файлы данных|*.db"));
  EXPECT_EQ(ui_.shown[1].file.defaultExt, QStringLiteral(".db"));
  EXPECT_TRUE(ui_.shown[1].file.fileName.isEmpty());
  EXPECT_TRUE(ui_.shown[1].file.overwritePrompt);  // the dialog asks before replacing a file
  // The save dialog was cancelled: no table open, and the unsaved comment is gone.
  EXPECT_FALSE(window_->document().isOpen());
  EXPECT_FALSE(window_->document().isActive());
  EXPECT_EQ(storedRows(path, 0).value(0).comment, std::nullopt);
}

TEST_F(ImportWindow, CreateShowsTheTabsOfTheNonEmptyArchivesAndNamesTheTableInTheTitle) {
  startMeter(kWood + kBulk);
  const QString path = hv::test::testPath(QStringLiteral("new.db"));
  hv::test::writeFile(path, "an older file of that name, which the user agreed to replace");
  const QString defaultDir = window_->defaultFolder();
  window_->show();
  ui_.fileAnswers = {hv::test::testPath(QStringLiteral("new"))};  // the extension comes from the dialog
  command("newTableAction")->trigger();
  EXPECT_TRUE(ui_.messages().isEmpty()) << ui_.messages().value(0).text.toStdString();
  ASSERT_TRUE(window_->document().isOpen());
  EXPECT_FALSE(window_->document().isChanged());
  EXPECT_EQ(window_->windowTitle(), QStringLiteral("new[*] - Hygrovan-RX3"));
  EXPECT_FALSE(window_->isWindowModified());
  EXPECT_EQ(hv::applicationTitle(), QStringLiteral("new - Hygrovan-RX3"));
  // Listed first among the recent tables, as an opened one is.
  EXPECT_EQ(window_->recentTables().paths().value(0), path);
  EXPECT_EQ(window_->defaultFolder(), defaultDir);
  EXPECT_TRUE(tabs()->isVisible());
  EXPECT_TRUE(tabs()->isTabVisible(0));
  EXPECT_FALSE(tabs()->isTabVisible(1));
  EXPECT_TRUE(tabs()->isTabVisible(2));
  EXPECT_EQ(tabs()->currentIndex(), 0);
  EXPECT_EQ(table().filter(), QStringLiteral("N_ARC=0"));
  EXPECT_TRUE(command("appendAction")->isEnabled());
  EXPECT_EQ(window_->windowColour(), window_->palette().color(QPalette::Button));

  window_.reset();  // the file is whole without a save
  const auto wood = storedRows(path, 0);
  ASSERT_EQ(wood.size(), 3);
  EXPECT_EQ(numbersOf(wood), (QList<int>{1, 2, 3}));
  EXPECT_EQ(wood[0].w, QStringLiteral("12,5"));
  EXPECT_EQ(wood[1].wMin, QStringLiteral("11,8"));
  EXPECT_EQ(wood[1].material, QStringLiteral("Ель"));
  EXPECT_EQ(wood[1].nInd, QStringLiteral("5"));
  EXPECT_EQ(storedRows(path, 2).value(0).material, QStringLiteral("Зола"));
}

TEST_F(ImportWindow, ThreeEmptyArchivesLeaveAnExistingFileAsItWas) {
  startMeter({});
  const QString path = hv::test::testPath(QStringLiteral("keep.db"));
  hv::test::writeFile(path, "the user's own file");
  window_->show();
  ui_.fileAnswers = {path};
  command("newTableAction")->trigger();
  const auto messages = ui_.messages();
  ASSERT_EQ(messages.size(), 1);
  EXPECT_EQ(messages[0].text, QStringLiteral("Архив прибора пуст!"));
  EXPECT_EQ(messages[0].caption, QStringLiteral("Ошибка"));
  EXPECT_EQ(messages[0].icon, hv::MsgIcon::Information);
  EXPECT_EQ(hv::test::readFile(path), QByteArray("the user's own file"));
  EXPECT_FALSE(window_->document().isOpen());
  EXPECT_FALSE(tabs()->isVisible());
  EXPECT_FALSE(command("appendAction")->isEnabled());
}

TEST_F(ImportWindow, AppendAddsOnlyWhatTheMeterGainedAndReportsEachArchive) {
  startMeter(kWood + kBulk);
  const QString path = hv::test::testPath(QStringLiteral("grow.db"));
  window_->show();
  ui_.fileAnswers = {path};
  command("newTableAction")->trigger();
  ASSERT_TRUE(window_->document().isOpen());
  ASSERT_FALSE(tabs()->isTabVisible(1));
  tabs()->setCurrentIndex(2);  // the filter of the bulk tab
  ASSERT_EQ(table().filter(), QStringLiteral("N_ARC=2"));

  startMeter(kWood + kNewWood + kNewConcrete + kBulk);
  ui_.clear();
  // The import goes on only after each box is closed: the rows of the next
  // archive are not there yet while a box is shown.
  QList<int> concreteRowsWhileShown;
  ui_.onShown = [&](const hv::test::ScriptedUserInteraction::Shown&) {
    const QString filter = table().filter();
    concreteRowsWhileShown << rowsOf(table(), 1).size();
    table().setFilter(filter);
  };
  command("appendAction")->trigger();
  const auto messages = ui_.messages();
  ASSERT_EQ(messages.size(), 3);
  EXPECT_EQ(messages[0].text, QStringLiteral("Добавлено записей в архив древесных: 2"));
  EXPECT_EQ(messages[1].text, QStringLiteral("Добавлено записей в архив бетонных: 1"));
  EXPECT_EQ(messages[2].text, QStringLiteral("Добавлено записей в архив сыпучих: 0"));
  for (const auto& m : messages) {
    EXPECT_EQ(m.caption, QStringLiteral("Дополнение"));
    EXPECT_EQ(m.icon, hv::MsgIcon::Information);
  }
  EXPECT_EQ(concreteRowsWhileShown, (QList<int>{0, 1, 1}));
  // Saved, and the concrete tab appears.
  EXPECT_TRUE(window_->document().isOpen());
  EXPECT_FALSE(window_->document().isChanged());
  EXPECT_TRUE(tabs()->isTabVisible(1));
  EXPECT_EQ(window_->windowTitle(), QStringLiteral("grow[*] - Hygrovan-RX3"));
  EXPECT_FALSE(window_->isWindowModified());
  window_.reset();
  const auto wood = storedRows(path, 0);
  EXPECT_EQ(numbersOf(wood), (QList<int>{1, 2, 3, 4, 5}));
  EXPECT_EQ(wood.value(3).w, QStringLiteral("14,0"));
  EXPECT_EQ(wood.value(4).time, QStringLiteral("12:00:00"));
  const auto concrete = storedRows(path, 1);
  ASSERT_EQ(concrete.size(), 1);
  EXPECT_EQ(concrete[0].material, QStringLiteral("Цементно-песчаный раствор"));
  EXPECT_EQ(concrete[0].w, QStringLiteral("3,3"));
  EXPECT_EQ(storedRows(path, 2).size(), 1);
}

}  // namespace
