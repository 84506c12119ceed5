// The archive grids in the real main window: tabs and filters, sorting by
// title clicks, layouts, colours, selection footers, comment editing, the
// delete and renumber commands, and the table file commands.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QContextMenuEvent>
#include <QTimer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QToolTip>
#include <sys/resource.h>

#include <csignal>

#include "app/archive_pages.h"
#include "app/grid_commands.h"
#include "app/main_window.h"
#include "platform/regional.h"
#include "platform/settings.h"
#include "platform/ui.h"
#include "store/table_backup.h"
#include "support/scripted_ui.h"
#include "store/db_table.h"
#include "support/main_window_access.h"
#include "support/test_support.h"
#include "views/data_grid.h"
#include "views/grid_layout.h"
#include "support/measurement_table.h"

namespace {

using hv::test::ranged;
using hv::test::single;

enum Col { cN, cDate, cTime, cW, cWMin, cWMax, cMaterial, cNInd, cComment };
constexpr hv::ArchiveKind kWood = hv::ArchiveKind::Wood;
constexpr hv::ArchiveKind kConcrete = hv::ArchiveKind::Concrete;
constexpr hv::ArchiveKind kBulk = hv::ArchiveKind::Bulk;

class Grids : public ::testing::Test {
 protected:
  void SetUp() override {
    hv::setUserInteraction(&ui_);
    hv::setDecimalSeparatorOverride(QChar(','));
    path_ = hv::test::testPath(QStringLiteral("oak.db"));
    hv::test::writeTable(path_, {
                                    single(1, 0, "05.03.2024", "10:00:00", "10,0"),
                                    single(2, 0, "20.01.2023", "09:00:00", "9,5"),
                                    ranged(7, 1, "01.02.2024", "08:00:00", "3,0", "4,0"),
                                    single(3, 0, "11.12.2023", "23:59:59", "12,5"),
                                    ranged(9, 1, "02.02.2023", "08:00:00", "5,0", "6,0"),
                                    single(5, 2, "01.01.2020", "00:00:00", "55,0"),
                                    single(4, 0, "05.03.2024", "09:30:00", "5,3"),
                                });
  }
  void TearDown() override {
    window_.reset();
    hv::setUserInteraction(nullptr);
    hv::setApplicationTitle(QStringLiteral("Hygrovan-RX3"));
    hv::setDecimalSeparatorOverride(QChar());
  }
  hv::MainWindow* openWindow() {
    window_ = std::make_unique<hv::MainWindow>();
    window_->resize(1000, 600);
    window_->show();
    window_->document().Open_DB(path_);
    EXPECT_TRUE(window_->document().isOpen());
    return window_.get();
  }
  static QStringList shown(hv::TDataGrid* g, int col) {
    QStringList out;
    QAbstractItemModel* m = g->view()->model();
    for (int r = 0; r < m->rowCount(); ++r) out << m->data(m->index(r, col)).toString();
    return out;
  }
  static void clickTitle(hv::TDataGrid* g, int col, Qt::KeyboardModifiers mods = {}) {
    QHeaderView* h = g->view()->horizontalHeader();
    const QPoint p(h->sectionViewportPosition(col) + h->sectionSize(col) / 2, h->height() / 2);
    QTest::mouseClick(h->viewport(), Qt::LeftButton, mods, p);
  }
  static void clickRow(hv::TDataGrid* g, int row, Qt::KeyboardModifiers mods = {}) {
    QTableView* v = g->view();
    QTest::mouseClick(v->viewport(), Qt::LeftButton, mods, v->visualRect(v->model()->index(row, cMaterial)).center());
  }
  // Types a comment and presses Enter: the edit stays in its row until the row is left.
  static void typeComment(hv::TDataGrid* g, int row, const QString& text) {
    QTableView* v = g->view();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // the last editor is gone
    g->setCurrentCell(row, cComment);
    v->edit(v->model()->index(row, cComment));
    auto* editor = v->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->setText(text);
    QTest::keyClick(editor, Qt::Key_Return);
  }
  // A right click on a cell; the context menu that opens is closed unused.
  static void rightClick(hv::TDataGrid* g, int row, int col) {
    QTableView* v = g->view();
    const QPoint p = v->visualRect(v->model()->index(row, col)).center();
    QTimer closer;
    bool opened = false;
    QObject::connect(&closer, &QTimer::timeout, [&] {
      if (QWidget* menu = QApplication::activePopupWidget()) {
        opened = true;
        menu->close();
      }
    });
    closer.start(10);
    QContextMenuEvent e(QContextMenuEvent::Mouse, p, v->viewport()->mapToGlobal(p));
    QApplication::sendEvent(v->viewport(), &e);
    EXPECT_TRUE(opened);
  }
  static QString storedValue(const QString& name) {
    hv::SettingsKey key;
    key.open();
    return key.hasValue(name) ? key.readString(name) : QString();
  }
  QStringList fileColumn(const QString& field, int arc) {
    hv::TDbTable t;
    t.setFileName(path_);
    t.open();
    t.setFiltered(true);
    t.setFilter(hv::archiveFilter(hv::archiveKindAt(arc)));
    t.refresh();
    return hv::test::column(t, field);
  }
  int fileRecords() {
    hv::TDbTable t;
    t.setFileName(path_);
    t.open();
    return t.recordCount();
  }

  hv::test::ScriptedUserInteraction ui_;
  QString path_;
  std::unique_ptr<hv::MainWindow> window_;
};

TEST_F(Grids, OpenShowsTheFirstArchiveAndTheTabsSetTheFilter) {
  hv::MainWindow* f = openWindow();
  EXPECT_EQ(f->windowTitle(), "oak[*] - Hygrovan-RX3");
  EXPECT_EQ(f->pages().tabs()->currentIndex(), 0);
  EXPECT_EQ(f->document().table().filter(), "N_ARC=0");
  EXPECT_EQ(shown(f->pages().grid(kWood), cN), QStringList({"1", "2", "3", "4"}));
  f->pages().tabs()->setCurrentIndex(1);
  EXPECT_EQ(f->document().table().filter(), "N_ARC=1");
  EXPECT_EQ(shown(f->pages().grid(kConcrete), cWMin), QStringList({"3,0", "5,0"}));
  f->pages().tabs()->setCurrentIndex(2);
  EXPECT_EQ(f->document().table().filter(), "N_ARC=2");
  EXPECT_EQ(shown(f->pages().grid(kBulk), cW), QStringList({"55,0"}));
  EXPECT_EQ(f->pages().shownGrid(), f->pages().grid(kBulk));
  EXPECT_EQ(hv::archiveTag(f->pages().shownKind()), "tab3");
}

TEST_F(Grids, TitleClicksCycleAndCtrlClickRestoresRecordOrder) {
  hv::MainWindow* f = openWindow();
  hv::TDataGrid* g = f->pages().grid(kWood);
  QList<int> events;
  QObject::connect(g, &hv::TDataGrid::titleStateChanged, [&](int c) { events << c; });
  clickTitle(g, cW);
  EXPECT_EQ(g->titleState(cW), hv::TitleState::Up);
  EXPECT_EQ(shown(g, cW), QStringList({"12,5", "10,0", "9,5", "5,3"}));
  clickTitle(g, cW);
  EXPECT_EQ(g->titleState(cW), hv::TitleState::Down);
  // By value: 9,5 before 10,0.
  EXPECT_EQ(shown(g, cW), QStringList({"5,3", "9,5", "10,0", "12,5"}));
  clickTitle(g, cW);
  EXPECT_EQ(g->titleState(cW), hv::TitleState::Up);
  EXPECT_EQ(shown(g, cW), QStringList({"12,5", "10,0", "9,5", "5,3"}));
  // Another column takes the arrow; dates sort by calendar date.
  clickTitle(g, cDate);
  EXPECT_EQ(g->titleState(cW), hv::TitleState::None);
  EXPECT_EQ(shown(g, cN), QStringList({"1", "4", "3", "2"}));
  clickTitle(g, cDate, Qt::ControlModifier);
  EXPECT_EQ(g->titleState(cDate), hv::TitleState::None);
  EXPECT_EQ(shown(g, cN), QStringList({"1", "2", "3", "4"}));
  EXPECT_FALSE(f->document().table().tagNames().contains("tab1"));
  EXPECT_EQ(events, QList<int>({cW, cW, cW, cDate, cDate}));
}

TEST_F(Grids, SortingGridTwoLeavesGridOnesArrowWhileTheOrderFollowsTabTwo) {
  hv::MainWindow* f = openWindow();
  clickTitle(f->pages().grid(kWood), cW);
  f->pages().tabs()->setCurrentIndex(1);
  clickTitle(f->pages().grid(kConcrete), cDate);
  EXPECT_EQ(shown(f->pages().grid(kConcrete), cN), QStringList({"7", "9"}));  // Up: newest first
  EXPECT_EQ(f->pages().grid(kWood)->titleState(cW), hv::TitleState::Up);
  EXPECT_EQ(f->document().table().indexName(), "tab2");
  EXPECT_TRUE(f->document().table().tagNames().contains("tab1"));
  f->pages().tabs()->setCurrentIndex(0);
  EXPECT_EQ(shown(f->pages().grid(kWood), cN), QStringList({"1", "4", "3", "2"}));  // wood rows by tab2's DATE
  // Resetting any grid returns the shared table to record order.
  f->gridCommands().resetShownSort();
  EXPECT_EQ(f->pages().grid(kWood)->titleState(cW), hv::TitleState::None);
  EXPECT_EQ(f->document().table().indexName(), QString());
  EXPECT_EQ(shown(f->pages().grid(kWood), cN), QStringList({"1", "2", "3", "4"}));
}

TEST_F(Grids, ABigTableIsSortedBesideTheWindowInTheSameOrder) {
  hv::MainWindow* f = openWindow();
  f->gridCommands().setRowsSortedBeside(1);
  hv::TDataGrid* g = f->pages().grid(kWood);
  clickTitle(g, cW);
  clickTitle(g, cW);
  EXPECT_EQ(g->titleState(cW), hv::TitleState::Down);
  EXPECT_EQ(shown(g, cW), QStringList({"5,3", "9,5", "10,0", "12,5"}));
  EXPECT_EQ(f->document().table().indexName(), "tab1");
  EXPECT_TRUE(ui_.messages().isEmpty());
}

TEST_F(Grids, AlignColumnsGivesEqualWidthsThenRefits) {
  hv::MainWindow* f = openWindow();
  hv::TDataGrid* g = f->pages().grid(kWood);
  g->resize(685, 300);
  f->gridCommands().alignColumns(g);
  int total = 0;
  for (int i = 0; i < g->columnCount(); ++i) {
    EXPECT_EQ(g->columnWidth(i), 76);
    total += g->shownColumnWidth(i);
  }
  EXPECT_TRUE(g->autoColumnFit());
  EXPECT_EQ(total, g->view()->viewport()->width());
}

TEST_F(Grids, MissingLayoutsAreWrittenWithEqualWidths) {
  openWindow();
  for (const char* name : {"Table_1", "Table_2", "Table_3"}) {
    const QString text = storedValue(QString::fromLatin1(name));
    ASSERT_FALSE(text.isEmpty()) << name;
    const QList<hv::ColumnLayout> cols = hv::readLayout(text);
    ASSERT_EQ(cols.size(), 9);
    for (const hv::ColumnLayout& c : cols) EXPECT_EQ(c.width, cols[0].width) << name;
  }
}

TEST_F(Grids, ColoursSurviveCloseAndReopenThroughTheStoredLayout) {
  hv::MainWindow* f = openWindow();
  f->pages().grid(kWood)->setCurrentCell(0, cWMin);
  ui_.colorAnswers << QColor(Qt::yellow);
  f->gridCommands().chooseColumnColour();
  EXPECT_EQ(f->pages().grid(kWood)->columnColor(cWMin), QColor(Qt::yellow));
  f->pages().grid(kWood)->setCurrentCell(0, cDate);
  ui_.colorAnswers << std::nullopt;  // cancelled: nothing changes
  f->gridCommands().chooseColumnColour();
  EXPECT_EQ(ui_.shown.last().text, QColor(Qt::yellow).name());  // the dialog starts from the colour chosen last
  EXPECT_FALSE(f->pages().grid(kWood)->columnColor(cDate).isValid());
  f->document().Close_DB();
  EXPECT_TRUE(storedValue("Table_1").contains("#ffff00"));
  EXPECT_TRUE(storedValue("Table_1").contains("\r\n"));
  window_.reset();
  f = openWindow();
  EXPECT_EQ(f->pages().grid(kWood)->columnColor(cWMin), QColor(Qt::yellow));
  f->pages().grid(kWood)->setCurrentCell(0, cWMin);
  f->gridCommands().clearColumnColour();
  EXPECT_FALSE(f->pages().grid(kWood)->columnColor(cWMin).isValid());
  f->pages().grid(kWood)->setColumnColor(cN, Qt::red);
  f->gridCommands().clearAllColours();
  EXPECT_FALSE(f->pages().grid(kWood)->columnColor(cN).isValid());
}

TEST_F(Grids, AStoredLayoutNamingAnUnknownColumnIsAppliedToTheOthers) {
  hv::ColumnLayout bogus;
  bogus.fieldName = "BOGUS";
  bogus.width = 300;
  bogus.color = Qt::blue;
  hv::ColumnLayout w;
  w.fieldName = "W";
  w.width = 200;
  w.index = 3;
  w.color = Qt::red;
  w.titleState = hv::TitleState::Down;
  {
    hv::SettingsKey key;
    key.open();
    key.writeString("Table_1", hv::writeLayout({bogus, w}));
  }
  hv::MainWindow* f = openWindow();
  hv::TDataGrid* g = f->pages().grid(kWood);
  EXPECT_EQ(g->columnWidth(cW), 200);
  EXPECT_EQ(g->columnColor(cW), QColor(Qt::red));
  EXPECT_EQ(g->columnWidth(cN), 74);
  EXPECT_FALSE(g->columnColor(cN).isValid());
  // A restored arrow is display only: the rows stay in record order.
  EXPECT_EQ(g->titleState(cW), hv::TitleState::Down);
  EXPECT_EQ(shown(g, cN), QStringList({"1", "2", "3", "4"}));
}

TEST_F(Grids, AnUnreadableLayoutStopsTheOpenWithTheErrorReport) {
  {
    hv::SettingsKey key;
    key.open();
    key.writeString("Table_2", "not a layout");
  }
  window_ = std::make_unique<hv::MainWindow>();
  EXPECT_FALSE(hv::runCommand([this] { window_->document().Open_DB(hv::test::testPath("oak.db")); }));
}

TEST_F(Grids, SelectionFillsTheFooters) {
  hv::MainWindow* f = openWindow();
  hv::TDataGrid* g = f->pages().grid(kWood);
  clickRow(g, 0);
  EXPECT_EQ(g->footerText("W"), "0/0/0");
  clickRow(g, 1, Qt::ControlModifier);
  EXPECT_EQ(g->selectedCount(), 2);
  EXPECT_EQ(g->footerText("W"), "9,5/9,7/10");
  EXPECT_EQ(g->footerText("W_MIN"), "0/0/0");
  clickRow(g, 3, Qt::ShiftModifier);  // rows 0..3 from the anchor (row 1)
  EXPECT_EQ(g->selectedCount(), 3);
  EXPECT_EQ(g->footerText("W"), "5,3/9,1/12,5");
  clickRow(g, 2, Qt::ControlModifier);  // off again
  EXPECT_EQ(g->selectedCount(), 2);
  EXPECT_FALSE(g->isRowSelected(2));
  EXPECT_TRUE(g->isRowSelected(3));
  const QList<hv::SelectedRow> rows = g->selectedRows();
  ASSERT_EQ(rows.size(), 2);
  EXPECT_EQ(rows[0].w, "9,5");
  EXPECT_EQ(rows[0].date, "20.01.2023");
  EXPECT_EQ(rows[1].time, "09:30:00");
  QTest::keyClick(g->view(), Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(g->selectedCount(), 4);
  EXPECT_EQ(g->footerText("W"), "5,3/9,3/12,5");
  // Another tab keeps its own footers; changing tabs recomputes nothing.
  f->pages().tabs()->setCurrentIndex(1);
  clickRow(f->pages().grid(kConcrete), 0);
  clickRow(f->pages().grid(kConcrete), 1, Qt::ControlModifier);
  EXPECT_EQ(f->pages().grid(kConcrete)->footerText("W_MAX"), "4/5/6");
  f->pages().tabs()->setCurrentIndex(0);
  EXPECT_EQ(g->footerText("W"), "5,3/9,3/12,5");

  // Ctrl+A keeps the same values as selecting each row alone.
  QList<hv::SelectedRow> one;
  for (int r = 0; r < 4; ++r) {
    clickRow(g, r);
    one.append(g->selectedRows().value(0));
  }
  QTest::keyClick(g->view(), Qt::Key_A, Qt::ControlModifier);
  const QList<hv::SelectedRow> all = g->selectedRows();
  ASSERT_EQ(all.size(), one.size());
  for (int r = 0; r < all.size(); ++r) {
    EXPECT_EQ(all[r].w, one[r].w) << r;
    EXPECT_EQ(all[r].wMin, one[r].wMin) << r;
    EXPECT_EQ(all[r].wMax, one[r].wMax) << r;
    EXPECT_EQ(all[r].date, one[r].date) << r;
    EXPECT_EQ(all[r].time, one[r].time) << r;
  }
  // The footers and the figures beside them follow every change of the selection and of the separator.
  EXPECT_EQ(g->selectionFigures().n, 4);
  clickRow(g, 0, Qt::ControlModifier);
  EXPECT_EQ(g->selectionFigures().n, 3);
  EXPECT_EQ(g->footerText("W"), "5,3/9,1/12,5");
  hv::setDecimalSeparatorOverride(QChar('.'));
  EXPECT_EQ(g->selectionStatistics().w, "5.3/9.1/12.5");
}

TEST_F(Grids, AValueThatDoesNotParseIsReportedAndLeavesTheFooters) {
  hv::test::writeTable(path_, {single(1, 0, "05.03.2024", "10:00:00", "10,0"),
                               single(2, 0, "20.01.2023", "09:00:00", "9.5"),
                               single(3, 0, "11.12.2023", "23:59:59", "12;5")});
  hv::MainWindow* f = openWindow();
  hv::TDataGrid* g = f->pages().grid(kWood);
  clickRow(g, 0);
  clickRow(g, 1, Qt::ControlModifier);
  ASSERT_EQ(g->footerText("W"), "9,5/9,7/10");
  ui_.clear();
  clickRow(g, 2, Qt::ControlModifier);
  ASSERT_EQ(ui_.messages().size(), 1);
  EXPECT_EQ(ui_.messages()[0].text, "Значение \"12;5\" не является числом.");
  EXPECT_EQ(ui_.messages()[0].icon, hv::MsgIcon::Error);
  EXPECT_EQ(g->footerText("W"), "9,5/9,7/10");
}

TEST_F(Grids, EditingACommentAsksOnCloseAndNoDropsTheEditStillInItsRow) {
  hv::MainWindow* f = openWindow();
  hv::TDataGrid* g = f->pages().grid(kWood);
  QTableView* v = g->view();
  auto type = [&](int row, const QString& text) { typeComment(g, row, text); };
  // Only the comment is editable.
  EXPECT_FALSE(v->model()->flags(v->model()->index(0, cMaterial)) & Qt::ItemIsEditable);
  EXPECT_FALSE(f->document().isChanged());
  EXPECT_FALSE(f->isWindowModified());
  type(0, "сухая");
  EXPECT_TRUE(f->document().isChanged());
  EXPECT_TRUE(f->isWindowModified());  // the title shows "oak* - Hygrovan-RX3"
  g->setCurrentCell(1, cComment);      // leaving the row posts it
  type(1, "влажная");
  f->document().Close_DB();
  ASSERT_EQ(ui_.messages().size(), 1);
  EXPECT_EQ(ui_.messages()[0].caption, "Hygrovan-RX3");
  EXPECT_EQ(ui_.messages()[0].text, "Сохранить изменения в таблицах ?");
  EXPECT_EQ(ui_.messages()[0].icon, hv::MsgIcon::Question);
  EXPECT_EQ(ui_.messages()[0].buttons, hv::MsgButtons::YesNo);
  EXPECT_EQ(fileColumn("COMMENT", 0), QStringList({"сухая", "", "", ""}));

  // Yes keeps the edit still in its row.
  window_.reset();
  f = openWindow();
  g = f->pages().grid(kWood);
  v = g->view();
  type(2, "мокрая");
  ui_.messageAnswers << hv::MsgResult::Yes;
  f->document().Close_DB();
  EXPECT_FALSE(f->isWindowModified());
  EXPECT_EQ(fileColumn("COMMENT", 0), QStringList({"сухая", "", "мокрая", ""}));
}

TEST_F(Grids, DeletesOneClickedRowOrThreeSelectedRows) {
  hv::MainWindow* f = openWindow();
  hv::TDataGrid* g = f->pages().grid(kWood);
  clickTitle(g, cW);  // sorted: 12,5 10,0 9,5 5,3
  clickRow(g, 1);
  f->gridCommands().deleteSelectedRows();
  EXPECT_EQ(g->titleState(cW), hv::TitleState::None);
  EXPECT_EQ(f->document().table().indexName(), QString());
  EXPECT_EQ(shown(g, cW), QStringList({"9,5", "12,5", "5,3"}));
  EXPECT_FALSE(g->hasExplicitSelection());
  EXPECT_FALSE(f->document().isChanged());
  f->document().Close_DB();
  EXPECT_EQ(fileRecords(), 6);
  window_.reset();

  f = openWindow();
  g = f->pages().grid(kWood);
  clickRow(g, 0);
  clickRow(g, 2, Qt::ControlModifier);
  clickRow(g, 1, Qt::ControlModifier);
  f->gridCommands().deleteSelectedRows();
  EXPECT_EQ(shown(g, cW), QStringList());
  f->document().Close_DB();
  EXPECT_EQ(fileRecords(), 3);
  EXPECT_EQ(fileColumn("N", 1), QStringList({"7", "9"}));
}

TEST_F(Grids, ARightClickOutsideTheSelectionMakesThatRowTheSelection) {
  hv::MainWindow* f = openWindow();
  hv::TDataGrid* g = f->pages().grid(kWood);
  clickRow(g, 3);
  rightClick(g, 1, cW);
  EXPECT_TRUE(g->isRowSelected(1));
  EXPECT_FALSE(g->isRowSelected(3));
  EXPECT_EQ(g->currentColumn(), cW);  // the column commands take the column pointed at
  hv::test::command(*f, "deletePopupAction")->trigger();
  EXPECT_EQ(shown(g, cW), QStringList({"10,0", "12,5", "5,3"}));
  // Inside the selection, the selection stays.
  clickRow(g, 0);
  clickRow(g, 2, Qt::ControlModifier);
  rightClick(g, 2, cMaterial);
  EXPECT_EQ(g->selectedCount(), 2);
  hv::test::command(*f, "deletePopupAction")->trigger();
  EXPECT_EQ(shown(g, cW), QStringList({"12,5"}));
}

TEST_F(Grids, ATableCutShortUnderTheWindowIsToldOnceAtTheFirstFailedRead) {
  QList<hv::test::Row> rows;
  for (int i = 0; i < 300; ++i) rows << single(i + 1, 0, "05.03.2024", "10:00:00", "1,5");
  hv::test::writeTable(path_, rows);
  hv::MainWindow* f = openWindow();
  QTableView* v = f->pages().grid(kWood)->view();
  ASSERT_TRUE(QFile::resize(path_, 353 + 147 * 20));  // another program cuts it short
  v->scrollToBottom();
  for (int i = 0; i < 3; ++i) {
    v->viewport()->repaint();
    QCoreApplication::processEvents();
  }
  ASSERT_EQ(ui_.messages().size(), 1);
  EXPECT_EQ(ui_.messages()[0].text, QString("Таблица \"%1\" повреждена: другая программа укоротила файл.").arg(path_));
  EXPECT_EQ(ui_.messages()[0].icon, hv::MsgIcon::Error);
}

TEST_F(Grids, RenumberingTheConcreteArchiveLeavesTheOthers) {
  hv::MainWindow* f = openWindow();
  f->pages().tabs()->setCurrentIndex(1);
  clickTitle(f->pages().grid(kConcrete), cDate, {});  // Up: newest first (N 7, then 9)
  f->gridCommands().renumberRows();
  EXPECT_EQ(shown(f->pages().grid(kConcrete), cN), QStringList({"1", "2"}));
  EXPECT_FALSE(f->document().isChanged());
  f->document().Close_DB();
  EXPECT_EQ(fileColumn("N", 1), QStringList({"1", "2"}));
  EXPECT_EQ(fileColumn("DATE", 1), QStringList({"01.02.2024", "02.02.2023"}));
  EXPECT_EQ(fileColumn("N", 0), QStringList({"1", "2", "3", "4"}));
  EXPECT_EQ(fileColumn("N", 2), QStringList({"5"}));
}

TEST_F(Grids, ExitStoresNothing) {
  hv::MainWindow* f = openWindow();
  const QString layoutBefore = storedValue("Table_1");
  f->pages().grid(kWood)->setColumnColor(cW, Qt::green);
  clickTitle(f->pages().grid(kWood), cW);
  f->setDefaultFolder("/elsewhere");
  f->exitProgram();
  window_.reset();
  EXPECT_EQ(storedValue("Table_1"), layoutBefore);
  EXPECT_NE(storedValue("Default_dir"), "/elsewhere");
  EXPECT_TRUE(QFile::exists(hv::TDbTable::mdxPathFor(path_)));
}

TEST_F(Grids, ExitWithAChangedCommentAsksFirstAndYesKeepsIt) {
  hv::MainWindow* f = openWindow();
  typeComment(f->pages().grid(kWood), 1, "сырая");
  ui_.messageAnswers << hv::MsgResult::Yes;
  hv::test::command(*f, "exitAction")->trigger();
  ASSERT_EQ(ui_.messages().size(), 1);
  EXPECT_EQ(ui_.messages()[0].caption, "Hygrovan-RX3");
  EXPECT_EQ(ui_.messages()[0].text, "Сохранить изменения в таблицах ?");
  EXPECT_EQ(ui_.messages()[0].buttons, hv::MsgButtons::YesNo);
  window_.reset();
  EXPECT_EQ(fileColumn("COMMENT", 0), QStringList({"", "сырая", "", ""}));
}

TEST_F(Grids, PuttingTheSaveQuestionAwayKeepsTheTableOpenWithItsChange) {
  hv::MainWindow* f = openWindow();
  typeComment(f->pages().grid(kWood), 1, "сырая");
  // Escape or the box's close button: the close command, closing the window and
  // opening another file stop there.
  ui_.messageAnswers << hv::MsgResult::Cancel << hv::MsgResult::Cancel << hv::MsgResult::Cancel;
  hv::test::command(*f, "closeAction")->trigger();
  EXPECT_FALSE(f->close());
  ui_.fileAnswers << path_;
  f->openTable();
  ASSERT_EQ(ui_.messages().size(), 3);
  EXPECT_TRUE(f->isVisible());
  EXPECT_TRUE(f->document().isOpen());
  EXPECT_TRUE(f->document().isChanged());
  // "Да" still saves and closes: the comment typed before is there.
  ui_.messageAnswers << hv::MsgResult::Yes;
  EXPECT_TRUE(f->close());
  EXPECT_FALSE(f->document().isOpen());
  EXPECT_EQ(fileColumn("COMMENT", 0), QStringList({"", "сырая", "", ""}));
}

// --- the table file commands ------------------------------------------------

TEST_F(Grids, ADamagedFileIsRefusedAndTheWindowStaysClosed) {
  const QString bad = hv::test::testPath("broken.db");
  hv::test::writeFile(bad, QByteArray("\x03 not really a table", 21));
  window_ = std::make_unique<hv::MainWindow>();
  window_->document().Open_DB(bad);
  ASSERT_EQ(ui_.messages().size(), 1);
  // The program's own words first, then what is wrong with which file.
  const QStringList lines = ui_.messages()[0].text.split('\n');
  ASSERT_EQ(lines.size(), 2);
  EXPECT_EQ(lines[0], "База данных повреждена !");
  EXPECT_EQ(lines[1], QString("Таблица \"%1\" повреждена: файл слишком короткий.").arg(bad));
  EXPECT_EQ(ui_.messages()[0].caption, "Ошибка");
  EXPECT_EQ(ui_.messages()[0].icon, hv::MsgIcon::Error);
  EXPECT_FALSE(window_->document().isOpen());
  EXPECT_EQ(window_->windowTitle(), "Hygrovan-RX3");
  EXPECT_FALSE(hv::test::command(*window_, "closeAction")->isEnabled());
}

TEST_F(Grids, ATableHeldElsewhereOrNotWritableIsToldForWhatItIs) {
  window_ = std::make_unique<hv::MainWindow>();
  {
    hv::TDbTable other;
    other.setFileName(path_);
    other.open();
    window_->document().Open_DB(path_);
  }
  ASSERT_EQ(ui_.messages().size(), 1);
  EXPECT_EQ(ui_.messages()[0].text.split('\n'),
            QStringList({"База данных открыта другой программой.",
                         QString("Таблица \"%1\" открыта другой программой.").arg(path_)}));
  EXPECT_FALSE(window_->document().isOpen());

  // A file the user may not write is opened for reading.
  const QByteArray before = hv::test::readFile(path_);
  ASSERT_EQ(::chmod(QFile::encodeName(path_).constData(), 0444), 0);
  ASSERT_EQ(::chmod(QFile::encodeName(hv::test::testDir()).constData(), 0755), 0);
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::seteuid(65534), 0);  // root may write anything
  }
  window_->document().Open_DB(path_);
  if (root) {
    ASSERT_EQ(::seteuid(0), 0);
  }
  EXPECT_EQ(ui_.messages().size(), 1);
  ASSERT_TRUE(window_->document().isOpen());
  EXPECT_TRUE(window_->document().isReadOnly());
  EXPECT_EQ(window_->windowTitle().remove("[*]"), "oak [только чтение] - Hygrovan-RX3");
  for (const char* name :
       {"saveAction", "saveButton", "appendAction", "deleteRowsAction", "deletePopupAction", "renumberAction",
        "undoDeletionAction"})
    EXPECT_FALSE(hv::test::command(*window_, name)->isEnabled()) << name;
  for (const char* name :
       {"exportAction", "csvExportAction", "printAction", "previewAction", "chartAction", "closeAction"})
    EXPECT_TRUE(hv::test::command(*window_, name)->isEnabled()) << name;
  hv::TDataGrid* g = window_->pages().grid(kWood);
  EXPECT_FALSE(g->view()->model()->flags(g->view()->model()->index(0, cComment)) & Qt::ItemIsEditable);
  clickTitle(g, cW);  // sorted in memory
  EXPECT_EQ(shown(g, cW), QStringList({"12,5", "10,0", "9,5", "5,3"}));
  EXPECT_FALSE(QFile::exists(hv::TDbTable::mdxPathFor(path_)));
  window_->document().Close_DB();
  EXPECT_EQ(hv::test::readFile(path_), before);
  // The next table is written again.
  ::chmod(QFile::encodeName(path_).constData(), 0644);
  window_->document().Open_DB(path_);
  EXPECT_FALSE(window_->document().isReadOnly());
  EXPECT_TRUE(hv::test::command(*window_, "saveAction")->isEnabled());
}

TEST_F(Grids, TheOpenCommandPutsTheNameWithoutItsLastExtensionInTheTitle) {
  const QString dir = hv::test::testPath("data");
  QDir().mkpath(dir);
  const QString named = dir + "/my.data.db";
  QFile::copy(path_, named);
  window_ = std::make_unique<hv::MainWindow>();
  ui_.fileAnswers << named;
  window_->openTable();
  EXPECT_TRUE(window_->document().isOpen());
  EXPECT_EQ(window_->windowTitle(), "my.data[*] - Hygrovan-RX3");
  EXPECT_EQ(hv::applicationTitle(), "my.data - Hygrovan-RX3");
  EXPECT_EQ(window_->defaultFolder(), dir);
  EXPECT_EQ(ui_.shown[0].file.filter, "Базы данных|*.db");
  // A cancelled dialog changes nothing.
  window_->openTable();
  EXPECT_TRUE(window_->document().isOpen());
}

TEST_F(Grids, ClosingASortedTableLeavesNoIndexAndReopensInRecordOrder) {
  hv::MainWindow* f = openWindow();
  clickTitle(f->pages().grid(kWood), cW);
  ASSERT_TRUE(QFile::exists(hv::TDbTable::mdxPathFor(path_)));
  f->document().Close_DB();
  EXPECT_FALSE(f->document().isOpen());
  EXPECT_FALSE(QFile::exists(hv::TDbTable::mdxPathFor(path_)));
  EXPECT_EQ(hv::test::readFile(path_).at(28), 0);  // the header names no index any more
  EXPECT_EQ(f->windowTitle(), "Hygrovan-RX3");
  EXPECT_EQ(f->pages().grid(kWood)->rowCount(), 0);
  f->document().Open_DB(path_);
  EXPECT_EQ(shown(f->pages().grid(kWood), cN), QStringList({"1", "2", "3", "4"}));
}

TEST_F(Grids, AFailedIndexWriteIsReportedAndTheWindowShowsWhatTheTableIs) {
  hv::MainWindow* f = openWindow();
  QDir().mkpath(hv::TDbTable::mdxPathFor(path_));  // the index file cannot be written
  hv::TDataGrid* g = f->pages().grid(kWood);
  clickTitle(g, cW);
  ASSERT_EQ(ui_.messages().size(), 1);
  EXPECT_EQ(ui_.messages()[0].icon, hv::MsgIcon::Error);
  // The table stays open, in record order, and no arrow promises another order.
  EXPECT_TRUE(f->document().isOpen());
  EXPECT_TRUE(f->document().isActive());
  EXPECT_EQ(g->titleState(cW), hv::TitleState::None);
  EXPECT_EQ(shown(g, cN), QStringList({"1", "2", "3", "4"}));
  // Closing ends in the closed state even when the table reports an error on the way.
  hv::test::command(*f, "closeAction")->trigger();
  EXPECT_FALSE(f->document().isOpen());
  EXPECT_FALSE(f->document().isActive());
  EXPECT_FALSE(hv::test::command(*f, "closeAction")->isEnabled());
  EXPECT_EQ(f->windowTitle(), "Hygrovan-RX3");
}

TEST_F(Grids, SavingWhenTheIndexFileCannotBeWrittenSaysSoAndKeepsTheRows) {
  hv::MainWindow* f = openWindow();
  hv::TDataGrid* g = f->pages().grid(kWood);
  clickTitle(g, cComment);  // sorted on what is edited, so the index lags behind the edit
  const QString mdx = hv::TDbTable::mdxPathFor(path_);
  ASSERT_TRUE(QFile::exists(mdx));
  ASSERT_TRUE(QFile::remove(mdx));
  ASSERT_TRUE(QDir().mkdir(mdx));  // the index file cannot be written now
  typeComment(g, 0, "сухая");
  g->setCurrentCell(1, cComment);  // leaving the row posts it
  ASSERT_TRUE(ui_.messages().isEmpty());
  hv::test::command(*f, "saveAction")->trigger();
  ASSERT_EQ(ui_.messages().size(), 1);
  EXPECT_EQ(ui_.messages()[0].caption, "Ошибка");
  EXPECT_EQ(ui_.messages()[0].text.section(QChar('('), 0, 0), "Индексный файл таблицы не записан ");
  EXPECT_TRUE(f->document().isOpen());
  EXPECT_FALSE(f->document().isChanged());
  f->document().Close_DB();
  EXPECT_EQ(ui_.messages().size(), 1);
  EXPECT_TRUE(fileColumn("COMMENT", 0).contains("сухая"));
}

TEST_F(Grids, SavingATableWhoseFileIsGoneLeavesTheWindowClosed) {
  hv::MainWindow* f = openWindow();
  ASSERT_TRUE(QFile::remove(path_));
  hv::test::command(*f, "saveAction")->trigger();
  ASSERT_EQ(ui_.messages().size(), 1);
  EXPECT_EQ(ui_.messages()[0].icon, hv::MsgIcon::Error);
  EXPECT_FALSE(f->document().isOpen());
  EXPECT_FALSE(f->document().isActive());
  EXPECT_FALSE(hv::test::command(*f, "saveAction")->isEnabled());
  EXPECT_FALSE(f->pages().tabs()->isVisible());
  EXPECT_EQ(f->windowTitle(), "Hygrovan-RX3");
}

TEST_F(Grids, SaveWithNoTableDoesNothing) {
  window_ = std::make_unique<hv::MainWindow>();
  window_->document().Save_DB();
  EXPECT_FALSE(window_->document().isOpen());
  EXPECT_TRUE(ui_.shown.isEmpty());
}

TEST_F(Grids, AWidenedColumnLeavesEveryColumnInsideTheGrid) {
  hv::MainWindow* f = openWindow();
  hv::TDataGrid* g = f->pages().grid(kWood);
  QHeaderView* h = g->view()->horizontalHeader();
  auto everyColumnInside = [&](const char* when) {
    const int width = g->view()->viewport()->width();
    int total = 0;
    for (int i = 0; i < g->columnCount(); ++i) {
      EXPECT_GE(h->sectionViewportPosition(i), 0) << when << " column " << i;
      EXPECT_LE(h->sectionViewportPosition(i) + h->sectionSize(i), width) << when << " column " << i;
      EXPECT_GE(h->sectionSize(i), 20) << when << " column " << i;
      total += h->sectionSize(i);
    }
    EXPECT_EQ(total, width) << when;
  };
  const int date = h->sectionSize(cDate), time = h->sectionSize(cTime), material = h->sectionSize(cMaterial);
  h->resizeSection(cDate, date + 250);  // what dragging the title's edge does
  everyColumnInside("widened");
  EXPECT_EQ(h->sectionSize(cDate), date + 250);
  // The others gave way in proportion.
  EXPECT_LT(h->sectionSize(cTime), time);
  EXPECT_NEAR(double(h->sectionSize(cTime)) / h->sectionSize(cMaterial), double(time) / material, 0.05);

  // Far wider than the grid: the others keep their minimum.
  h->resizeSection(cComment, 5000);
  everyColumnInside("very wide");
  g->resize(g->width() - 200, g->height());
  everyColumnInside("grid narrowed");
  // The stored layout keeps the widths as shown.
  f->document().Close_DB();
  f->document().Open_DB(path_);
  everyColumnInside("reopened");
  EXPECT_GT(g->shownColumnWidth(cComment), 3 * g->shownColumnWidth(cTime));
}

// --- the backup before deleting, and taking a deletion back --------------

TEST_F(Grids, UndoGivesBackTheTableAsItWasAndOnlyWhileNothingChangedIt) {
  hv::MainWindow* f = openWindow();
  hv::TDataGrid* g = f->pages().grid(kWood);
  const QByteArray before = hv::test::readFile(path_);
  clickRow(g, 1);
  clickRow(g, 3, Qt::ControlModifier);
  f->gridCommands().deleteSelectedRows();
  EXPECT_EQ(shown(g, cN), QStringList({"1", "3"}));
  EXPECT_EQ(hv::test::readFile(hv::backupPathFor(path_)), before);
  hv::test::command(*f, "undoDeletionAction")->trigger();
  EXPECT_TRUE(ui_.messages().isEmpty());
  EXPECT_EQ(hv::test::readFile(path_), before);
  EXPECT_EQ(shown(g, cN), QStringList({"1", "2", "3", "4"}));
  EXPECT_EQ(g->currentRow(), 3);  // where the grid stood

  // A later change (here a renumbering) leaves the deletion for good.
  clickRow(g, 0);
  f->gridCommands().deleteSelectedRows();
  f->gridCommands().renumberRows();
  const QByteArray renumbered = hv::test::readFile(path_);
  hv::test::command(*f, "undoDeletionAction")->trigger();
  ASSERT_EQ(ui_.messages().size(), 1);
  EXPECT_TRUE(ui_.messages()[0].text.contains("изменена")) << ui_.messages()[0].text.toStdString();
  EXPECT_EQ(hv::test::readFile(path_), renumbered);

  // A backup that is gone or no table: said so, nothing changed.
  clickRow(g, 0);
  f->gridCommands().deleteSelectedRows();
  const QByteArray deleted = hv::test::readFile(path_);
  for (const QByteArray& bak : {QByteArray(), QByteArray("not a table")}) {
    ui_.clear();
    QFile::remove(hv::backupPathFor(path_));
    if (!bak.isEmpty()) hv::test::writeFile(hv::backupPathFor(path_), bak);
    hv::test::command(*f, "undoDeletionAction")->trigger();
    ASSERT_EQ(ui_.messages().size(), 1);
    EXPECT_TRUE(ui_.messages()[0].text.contains(bak.isEmpty() ? "больше нет" : "не является"));
    EXPECT_EQ(hv::test::readFile(path_), deleted);
    EXPECT_EQ(shown(g, cN), QStringList({"2", "3"}));
  }
}

TEST_F(Grids, ABackupThatCannotBeWrittenStopsTheDeletion) {
  hv::MainWindow* f = openWindow();
  hv::TDataGrid* g = f->pages().grid(kWood);
  const QByteArray before = hv::test::readFile(path_);
  clickRow(g, 0);
  // The disk is full for anything as big as the table.
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = rlim_t(before.size() / 2);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  hv::test::command(*f, "deleteRowsAction")->trigger();
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);
  ASSERT_EQ(ui_.messages().size(), 1);
  EXPECT_TRUE(ui_.messages()[0].text.startsWith("Строки не удалены")) << ui_.messages()[0].text.toStdString();
  EXPECT_EQ(hv::test::readFile(path_), before);
  EXPECT_EQ(shown(g, cN), QStringList({"1", "2", "3", "4"}));
  EXPECT_FALSE(QFile::exists(hv::backupPathFor(path_)));
}

TEST_F(Grids, RenumberingMoreRowsThanNHoldsIsRefusedUnchanged) {
  QList<hv::test::Row> rows;
  for (int i = 0; i < 10000; ++i) rows << single(1, 0, "01.01.2024", "10:00:00", "5,0");
  hv::test::writeTable(path_, rows);
  const QByteArray before = hv::test::readFile(path_);
  hv::MainWindow* f = openWindow();
  f->gridCommands().renumberRows();
  ASSERT_EQ(ui_.messages().size(), 1);
  EXPECT_TRUE(ui_.messages()[0].text.contains("10000")) << ui_.messages()[0].text.toStdString();
  EXPECT_TRUE(ui_.messages()[0].text.contains("9999"));
  EXPECT_EQ(hv::test::readFile(path_), before);
}

// --- another program's file under the table's name -------------------------

TEST_F(Grids, SavingOverAFileAnotherProgramPutInPlaceOffersACopyInstead) {
  hv::MainWindow* f = openWindow();
  hv::TDataGrid* g = f->pages().grid(kWood);
  const QString other = hv::test::testPath(QStringLiteral("other.db"));
  hv::test::writeTable(other, {single(8, 2, "01.01.2021", "10:00:00", "1,0")});
  const QByteArray theirs = hv::test::readFile(other);
  typeComment(g, 0, "сухая");
  // Another program renames its file over the open table.
  ASSERT_EQ(hv::test::runProcess(QStringLiteral("/bin/mv"), {other, path_}).exitCode, 0);
  const QString copy = hv::test::testPath(QStringLiteral("copy.db"));
  ui_.messageAnswers << hv::MsgResult::Yes;
  ui_.fileAnswers << copy;
  hv::test::command(*f, "saveAction")->trigger();
  ASSERT_GE(ui_.messages().size(), 1);
  EXPECT_TRUE(ui_.messages()[0].text.startsWith("Файл таблицы изменён другой программой"));
  EXPECT_EQ(hv::test::readFile(path_), theirs);
  // The copy holds every row with the edit, and the window shows it.
  EXPECT_EQ(f->windowTitle().remove("[*]"), "copy - Hygrovan-RX3");
  f->document().Close_DB();
  path_ = copy;
  EXPECT_EQ(fileColumn("COMMENT", 0), QStringList({"сухая", "", "", ""}));
  EXPECT_EQ(fileRecords(), 7);
}

TEST_F(Grids, TheCommentEditorTakesOnlyWhatTheFieldHolds) {
  hv::MainWindow* f = openWindow();
  hv::TDataGrid* g = f->pages().grid(kWood);
  QTableView* v = g->view();
  g->setCurrentCell(0, cComment);
  v->edit(v->model()->index(0, cComment));
  auto* editor = v->findChild<QLineEdit*>();
  ASSERT_NE(editor, nullptr);
  // The table's code page (1251) has "±" but no "✓".
  for (const QChar c : QStringLiteral("ок ✓±")) {
    QKeyEvent key(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
    QCoreApplication::sendEvent(editor, &key);
  }
  EXPECT_EQ(editor->text(), "ок ±");
  EXPECT_TRUE(QToolTip::text().contains("✓")) << QToolTip::text().toStdString();
  // A pasted text longer than the field is refused whole, not cut short.
  editor->clear();
  editor->insert(QString(51, QChar('x')));
  EXPECT_EQ(editor->text(), "");
  editor->insert(QString(50, QChar('x')));
  EXPECT_EQ(editor->text().size(), 50);
}

}  // namespace
