// Deleting rows, appending a download and saving on a table big enough to be changed
// beside the window (the threshold lowered to the test table's size): the
// progress window shows, the window keeps answering, the grids read nothing
// meanwhile, the file ends as the inline path leaves it, and "Отмена" leaves
// it as it was.
#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QFile>
#include <QPushButton>
#include <QTableView>
#include <QThread>
#include <QTimer>

#include "app/archive_pages.h"
#include "app/grid_commands.h"
#include "app/import_commands.h"
#include "app/main_window.h"
#include "app/table_change.h"
#include "import/import_images.h"
#include "platform/regional.h"
#include "platform/ui.h"
#include "store/table_backup.h"
#include "support/measurement_table.h"
#include "support/scripted_ui.h"
#include "support/test_support.h"
#include "views/data_grid.h"

namespace {

using hv::test::single;

constexpr hv::ArchiveKind kWood = hv::ArchiveKind::Wood;

class TableChangeBeside : public ::testing::Test {
 protected:
  void SetUp() override {
    hv::setUserInteraction(&ui_);
    hv::setDecimalSeparatorOverride(QChar(','));
    QList<hv::test::Row> rows;
    for (int i = 0; i < 12; ++i)
      rows << single(i + 1, i % 2, "05.03.2024", qPrintable(QStringLiteral("10:%1:00").arg(i, 2, 10, QChar('0'))),
                     qPrintable(QStringLiteral("%1,5").arg(10 + i)));
    path_ = hv::test::testPath(QStringLiteral("beside.db"));
    hv::test::writeTable(path_, rows);
  }
  void TearDown() override {
    window_.reset();
    hv::setRecordsChangedBesideForTesting(0);
    hv::setTableChangeStartForTesting({});
    hv::setUserInteraction(nullptr);
    hv::setDecimalSeparatorOverride(QChar());
  }
  hv::MainWindow* openWindow(const QString& path) {
    window_ = std::make_unique<hv::MainWindow>();
    window_->resize(1000, 600);
    window_->show();
    window_->document().Open_DB(path);
    EXPECT_TRUE(window_->document().isOpen());
    return window_.get();
  }
  hv::TDataGrid* wood() const { return window_->pages().grid(kWood); }
  static QStringList shown(hv::TDataGrid* g) {
    QStringList out;
    QAbstractItemModel* m = g->view()->model();
    for (int r = 0; r < m->rowCount(); ++r) out << m->data(m->index(r, 3)).toString();
    return out;
  }
  // Delete wood rows 1 and 3, then append two newer wood readings.
  void deleteAndAppend() {
    wood()->clickRow(1, {});
    wood()->clickRow(3, Qt::ControlModifier);
    window_->gridCommands().deleteSelectedRows();
    QList<hv::test::Rec> newer{hv::test::at(1, 1), hv::test::at(1, 2)};
    for (hv::test::Rec& r : newer) r.year = 25;
    window_->importCommands().appendDownload(*hv::test::makeImage({newer, {}, {}}));
  }
  static QWidget* progressWindow() {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->objectName() == QStringLiteral("ReportProgress") && w->isVisible()) return w;
    return nullptr;
  }

  hv::test::ScriptedUserInteraction ui_;
  QString path_;
  std::unique_ptr<hv::MainWindow> window_;
};

TEST_F(TableChangeBeside, DeleteAndAppendRunBesideTheWindowAndLeaveWhatTheInlinePathLeaves) {
  const QString inlinePath = hv::test::testPath(QStringLiteral("inline.db"));
  QFile::remove(inlinePath);
  ASSERT_TRUE(QFile::copy(path_, inlinePath));
  openWindow(inlinePath);
  deleteAndAppend();
  ASSERT_FALSE(progressWindow());
  const QStringList inlineShown = shown(wood());
  const auto inlineMessages = ui_.messages();
  window_.reset();
  ui_.clear();

  hv::setRecordsChangedBesideForTesting(5);
  // The worker takes its time, so that the window's answering can be seen.
  hv::setTableChangeStartForTesting([](const std::atomic<bool>&) { QThread::msleep(150); });
  openWindow(path_);
  const QStringList before = shown(wood());
  QStringList captions;
  int ticks = 0;
  bool gridsBusy = true;
  bool rowsKept = true;
  QTimer tick;
  QObject::connect(&tick, &QTimer::timeout, [&] {
    QWidget* progress = progressWindow();
    if (!progress) return;
    ++ticks;
    if (!captions.contains(progress->windowTitle())) captions << progress->windowTitle();
    gridsBusy = gridsBusy && wood()->busy();
    // Paint meanwhile shows the rows on screen as they were.
    if (progress->windowTitle() == QStringLiteral("Удаление строк")) rowsKept = rowsKept && shown(wood()) == before;
  });
  tick.start(10);
  deleteAndAppend();
  tick.stop();
  EXPECT_EQ(captions, QStringList({"Удаление строк", "Дополнение таблицы"}));
  EXPECT_GE(ticks, 10);
  EXPECT_TRUE(gridsBusy);
  EXPECT_TRUE(rowsKept);
  EXPECT_FALSE(wood()->busy());
  EXPECT_EQ(shown(wood()), inlineShown);
  ASSERT_EQ(ui_.messages().size(), inlineMessages.size());
  for (int i = 0; i < inlineMessages.size(); ++i) EXPECT_EQ(ui_.messages()[i].text, inlineMessages[i].text);
  window_.reset();
  EXPECT_EQ(hv::test::readFile(path_), hv::test::readFile(inlinePath));
  EXPECT_EQ(hv::test::readFile(hv::backupPathFor(path_)), hv::test::readFile(hv::backupPathFor(inlinePath)));
}

TEST_F(TableChangeBeside, CancelDuringTheDeleteLeavesTheFileAsItWasAndTheGridShowingIt) {
  hv::setRecordsChangedBesideForTesting(5);
  // The worker waits for "Отмена" before it starts.
  hv::setTableChangeStartForTesting([](const std::atomic<bool>& stop) {
    for (int i = 0; i < 500 && !stop; ++i) QThread::msleep(10);
  });
  openWindow(path_);
  QFile::remove(hv::backupPathFor(path_));
  const QByteArray file = hv::test::readFile(path_);
  const QStringList before = shown(wood());
  QTimer cancel;
  QObject::connect(&cancel, &QTimer::timeout, [&] {
    if (QWidget* progress = progressWindow()) progress->findChild<QPushButton*>()->click();
  });
  cancel.start(10);
  wood()->clickRow(1, {});
  window_->gridCommands().deleteSelectedRows();
  cancel.stop();
  EXPECT_TRUE(ui_.messages().isEmpty());
  EXPECT_EQ(hv::test::readFile(path_), file);
  EXPECT_FALSE(QFile::exists(hv::backupPathFor(path_)));
  EXPECT_EQ(shown(wood()), before);
  EXPECT_TRUE(wood()->isRowSelected(1));
  window_->document().Close_DB();
  EXPECT_EQ(hv::test::readFile(path_), file);
}

TEST_F(TableChangeBeside, TakingADeletionBackRunsBesideAndCanBeGivenUp) {
  hv::setRecordsChangedBesideForTesting(5);
  openWindow(path_);
  const QByteArray original = hv::test::readFile(path_);
  const QStringList before = shown(wood());
  wood()->clickRow(2, {});
  window_->gridCommands().deleteSelectedRows();
  const QByteArray deleted = hv::test::readFile(path_);
  ASSERT_NE(deleted, original);

  // Given up: the table stays as the deletion left it, and can still be put back.
  std::atomic<bool> holding{true};
  hv::setTableChangeStartForTesting([&holding](const std::atomic<bool>& stop) {
    for (int i = 0; i < 500 && holding && !stop; ++i) QThread::msleep(10);
  });
  QStringList captions;
  QTimer cancel;
  QObject::connect(&cancel, &QTimer::timeout, [&] {
    if (QWidget* progress = progressWindow()) {
      captions << progress->windowTitle();
      progress->findChild<QPushButton*>()->click();
    }
  });
  cancel.start(10);
  window_->gridCommands().undoDeletion();
  ASSERT_FALSE(captions.isEmpty());
  EXPECT_EQ(captions.first(), QStringLiteral("Возврат удалённых строк"));
  EXPECT_EQ(hv::test::readFile(path_), deleted);
  EXPECT_TRUE(ui_.messages().isEmpty());

  cancel.stop();
  holding = false;
  window_->gridCommands().undoDeletion();
  EXPECT_TRUE(ui_.messages().isEmpty());
  EXPECT_EQ(hv::test::readFile(path_), original);
  EXPECT_EQ(shown(wood()), before);
}

TEST_F(TableChangeBeside, SavingASortedGridRunsBesideAndKeepsTheOrderShown) {
  openWindow(path_);
  const QStringList recordOrder = shown(wood());
  wood()->titleClick(3, false);
  const QStringList sorted = shown(wood());
  ASSERT_NE(sorted, recordOrder);

  hv::setRecordsChangedBesideForTesting(5);
  hv::setTableChangeStartForTesting([](const std::atomic<bool>&) { QThread::msleep(100); });
  QStringList captions;
  bool gridsBusy = true;
  QTimer tick;
  QObject::connect(&tick, &QTimer::timeout, [&] {
    if (QWidget* progress = progressWindow()) {
      if (!captions.contains(progress->windowTitle())) captions << progress->windowTitle();
      gridsBusy = gridsBusy && wood()->busy();
    }
  });
  tick.start(10);
  window_->document().Save_DB();
  tick.stop();
  EXPECT_EQ(captions, QStringList({"Сохранение таблицы"}));
  EXPECT_TRUE(gridsBusy);
  EXPECT_TRUE(ui_.messages().isEmpty());
  EXPECT_EQ(shown(wood()), sorted);
  EXPECT_EQ(wood()->titleState(3), hv::TitleState::Up);
}

}  // namespace
