// The program's shell: start-up, the closed state, the about box, the default
// error report, help and exit.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QToolBar>
#include <memory>

#include "app/about_box.h"
#include "app/archive_pages.h"
#include "app/import_commands.h"
#include "app/main_window.h"
#include "app/program.h"
#include "platform/error.h"
#include "platform/help.h"
#include "platform/help_window.h"
#include "platform/settings.h"
#include "platform/ui.h"
#include "platform/version.h"
#include "store/db_table.h"
#include "support/main_window_access.h"
#include "support/measurement_table.h"
#include "support/scripted_ui.h"
#include "support/test_support.h"

namespace {

class Shell : public ::testing::Test {
 protected:
  void SetUp() override { hv::setUserInteraction(&ui_); }
  void TearDown() override {
    window_.reset();
    hv::setUserInteraction(nullptr);
    hv::setApplicationTitle(QStringLiteral("Hygrovan-RX3"));
  }
  QString storedDefaultDir() {
    hv::SettingsKey key;
    key.open();
    return key.hasValue(QStringLiteral("Default_dir")) ? key.readString(QStringLiteral("Default_dir")) : QString();
  }
  QAction* command(const char* name) { return hv::test::command(*window_, name); }
  static QString makeTable(const QString& name) {
    const QString path = hv::test::testPath(name);
    hv::test::writeTable(path, {hv::test::single(1, 0, "05.03.2024", "10:00:00", "10,0")});
    return path;
  }

  hv::test::ScriptedUserInteraction ui_;
  std::unique_ptr<hv::MainWindow> window_;
};

TEST_F(Shell, FirstRunCreatesTheKeyAndStoresTheCurrentFolder) {
  EXPECT_TRUE(storedDefaultDir().isEmpty());
  window_ = std::make_unique<hv::MainWindow>();
  EXPECT_EQ(storedDefaultDir(), QDir::currentPath());
  EXPECT_EQ(window_->defaultFolder(), QDir::currentPath());
  // The open and the save dialog start there.
  window_->openTable();
  window_->importCommands().createFromMeter();
  ASSERT_EQ(ui_.shown.size(), 2);
  EXPECT_EQ(ui_.shown[0].file.initialDir, QDir::currentPath());
  EXPECT_EQ(ui_.shown[1].file.initialDir, QDir::currentPath());
}

TEST_F(Shell, AStoredDefaultFolderIsReadNotOverwritten) {
  {
    hv::SettingsKey key;
    key.open();
    key.writeString(QStringLiteral("Default_dir"), QStringLiteral("/srv/measurements"));
  }
  window_ = std::make_unique<hv::MainWindow>();
  EXPECT_EQ(window_->defaultFolder(), QStringLiteral("/srv/measurements"));
  window_->openTable();
  ASSERT_EQ(ui_.shown.size(), 1);
  EXPECT_EQ(ui_.shown[0].file.initialDir, QStringLiteral("/srv/measurements"));
  EXPECT_EQ(storedDefaultDir(), QStringLiteral("/srv/measurements"));
}

TEST_F(Shell, OpensMaximisedInTheClosedState) {
  window_ = std::make_unique<hv::MainWindow>();
  window_->show();
  EXPECT_TRUE(window_->windowState() & Qt::WindowMaximized);
  EXPECT_EQ(window_->windowTitle(), QStringLiteral("Hygrovan-RX3"));
  EXPECT_FALSE(window_->pages().tabs()->isVisible());
  EXPECT_FALSE(window_->document().isOpen());
  EXPECT_EQ(window_->windowColour(), window_->palette().color(QPalette::Dark));

  QList<QAction*> openState, always;
  for (const char* name : {"appendAction", "saveAction", "closeAction", "previewAction", "printAction",
                           "alignColumnsAction", "setColourAction", "clearColourAction", "clearAllColoursAction",
                           "resetSortAction", "deleteRowsAction", "chartAction", "renumberAction", "exportAction",
                           "assessAction", "saveButton", "previewButton", "printButton"})
    openState << command(name);
  for (const char* name : {"newTableAction", "openTableAction", "exitAction", "helpAction", "aboutAction",
                           "newTableButton", "openTableButton", "helpButton", "chartPopupAction", "printPopupAction",
                           "setColourPopupAction", "clearColourPopupAction", "clearAllColoursPopupAction",
                           "alignColumnsPopupAction", "deletePopupAction", "assessPopupAction"})
    always << command(name);
  for (QAction* a : openState) EXPECT_FALSE(a->isEnabled()) << a->text().toStdString();
  for (QAction* a : always) EXPECT_TRUE(a->isEnabled()) << a->text().toStdString();

  // The open state enables exactly those commands and changes the colour.
  const QString path = hv::test::testPath(QStringLiteral("oak.db"));
  hv::test::writeTable(path, {hv::test::single(1, 0, "05.03.2024", "10:00:00", "10,0")});
  window_->document().Open_DB(path);
  for (QAction* a : openState) EXPECT_TRUE(a->isEnabled()) << a->text().toStdString();
  for (QAction* a : always) EXPECT_TRUE(a->isEnabled()) << a->text().toStdString();
  EXPECT_EQ(window_->windowColour(), window_->palette().color(QPalette::Button));
  window_->document().Close_DB();
  for (QAction* a : openState) EXPECT_FALSE(a->isEnabled()) << a->text().toStdString();
  EXPECT_EQ(window_->windowColour(), window_->palette().color(QPalette::Dark));
}

TEST_F(Shell, MenusToolbarAndTabsCarryTheirTexts) {
  window_ = std::make_unique<hv::MainWindow>();
  EXPECT_EQ(command("newTableAction")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_N));
  EXPECT_EQ(command("openTableAction")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
  EXPECT_EQ(command("saveAction")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
  EXPECT_EQ(command("printAction")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_P));
  EXPECT_EQ(command("helpAction")->shortcut(), QKeySequence(Qt::Key_F1));
  QTabWidget* tabs = window_->pages().tabs();
  EXPECT_EQ(tabs->count(), 3);
  EXPECT_EQ(tabs->tabText(0), QStringLiteral("Древесные"));
  EXPECT_EQ(tabs->tabText(1), QStringLiteral("Бетонные"));
  EXPECT_EQ(tabs->tabText(2), QStringLiteral("Сыпучие"));
  auto* contextMenu = window_->findChild<QMenu*>(QStringLiteral("gridContextMenu"));
  ASSERT_NE(contextMenu, nullptr);
  QStringList popup;
  for (QAction* a : contextMenu->actions()) popup << (a->isSeparator() ? QStringLiteral("-") : a->text());
  EXPECT_EQ(popup.join(QChar('|')),
            QStringLiteral("График|Печать|Оценка партии…|-|Задать цвет|Убрать цвет|Убрать все цвета|-|Выровнять "
                           "столбцы|-|Удалить"));
  // The toolbar's own context menu names it by its title.
  ASSERT_NE(window_->findChild<QToolBar*>(QStringLiteral("toolBar")), nullptr);
  const std::unique_ptr<QMenu> bars(window_->createPopupMenu());
  ASSERT_NE(bars, nullptr);
  ASSERT_FALSE(bars->actions().isEmpty());
  EXPECT_EQ(bars->actions().first()->text(), QStringLiteral("Панель инструментов"));
}

TEST_F(Shell, SplashEndsByItselfAfterThreeSecondsAndOnlyThenTheMainWindowShows) {
  QElapsedTimer clock;  // monotonic
  qint64 firstShown = -1;
  bool shownDuringSplash = false;
  QTimer probe;
  probe.setInterval(20);
  QObject::connect(&probe, &QTimer::timeout, [&] {
    hv::MainWindow* main = hv::test::runningMainWindow();
    if (!main) return;
    if (main->isVisible() && firstShown < 0) {
      firstShown = clock.elapsed();
      QCoreApplication::exit(0);
    }
  });
  QTimer::singleShot(1500, [&] {
    hv::MainWindow* main = hv::test::runningMainWindow();
    if (main && main->isVisible()) shownDuringSplash = true;
  });
  clock.start();
  probe.start();
  const int rc = hv::runProgram(*qApp);
  EXPECT_EQ(rc, 0);
  EXPECT_FALSE(shownDuringSplash);
  EXPECT_GE(firstShown, 2900);
  EXPECT_LE(firstShown, 6000);
  EXPECT_EQ(hv::test::runningMainWindow(), nullptr);  // destroyed after the loop
}

TEST_F(Shell, AboutBoxShowsTheFileVersionReadAtEachShowing) {
  window_ = std::make_unique<hv::MainWindow>();
  auto* aboutBox = window_->findChild<hv::AboutBox*>();
  ASSERT_NE(aboutBox, nullptr);
  EXPECT_EQ(aboutBox->windowTitle(), QStringLiteral("О программе"));
  EXPECT_EQ(aboutBox->versionLabel()->text(), QStringLiteral("Версия 1.0"));
  QTimer::singleShot(0, [aboutBox] {
    EXPECT_EQ(aboutBox->productLabel()->text(), QStringLiteral("Hygrovan-RX3"));
    EXPECT_EQ(aboutBox->versionLabel()->text(), QStringLiteral("Версия 1.0.0.8"));
    EXPECT_EQ(aboutBox->purposeLabel()->text(),
              QStringLiteral("Программа для передачи данных с прибора Hygrovan-RX3"));
    aboutBox->versionLabel()->setText(QStringLiteral("stale"));
    aboutBox->okButton()->click();
  });
  command("aboutAction")->trigger();
  QTimer::singleShot(0, [aboutBox] { aboutBox->okButton()->click(); });
  EXPECT_EQ(aboutBox->exec(), QDialog::Accepted);
  EXPECT_EQ(aboutBox->versionLabel()->text(), QStringLiteral("Версия 1.0.0.8"));
  EXPECT_EQ(aboutBox->size(), QSize(515, 151));
}

TEST_F(Shell, ErrorsEscapingACommandReachTheDefaultErrorReportAndTheProgramGoesOn) {
  hv::setApplicationTitle(QStringLiteral("oak - Hygrovan-RX3"));
  EXPECT_FALSE(hv::runCommand([] { throw hv::Error(QStringLiteral("Disk full")); }));
  EXPECT_FALSE(hv::runCommand([] { hv::throwInvalidFloat(QStringLiteral("12.5")); }));
  EXPECT_FALSE(hv::runCommand([] { throw hv::Error(QStringLiteral("Готово!")); }));
  EXPECT_TRUE(hv::runCommand([] {}));
  const auto shown = ui_.messages();
  ASSERT_EQ(shown.size(), 3);
  EXPECT_EQ(shown[0].caption, QStringLiteral("oak - Hygrovan-RX3"));
  EXPECT_EQ(shown[0].text, QStringLiteral("Disk full."));
  EXPECT_EQ(shown[0].icon, hv::MsgIcon::Error);
  EXPECT_EQ(shown[0].buttons, hv::MsgButtons::Ok);
  EXPECT_EQ(shown[1].text, QStringLiteral("Значение \"12.5\" не является числом."));
  EXPECT_EQ(shown[2].text, QStringLiteral("Готово!"));
}

TEST_F(Shell, AnErrorEscapingAnEventHandlerIsReportedAndTheLoopGoesOn) {
  QTimer::singleShot(0, [] { throw hv::Error(QStringLiteral("Запись не удалась")); });
  QTimer::singleShot(50, [] { QCoreApplication::exit(3); });
  EXPECT_EQ(qApp->exec(), 3);
  const auto shown = ui_.messages();
  ASSERT_EQ(shown.size(), 1);
  EXPECT_EQ(shown[0].caption, QStringLiteral("Hygrovan-RX3"));
  EXPECT_EQ(shown[0].text, QStringLiteral("Запись не удалась."));
  EXPECT_EQ(shown[0].icon, hv::MsgIcon::Error);
}

TEST_F(Shell, MissingHelpFileGivesAClearMessage) {
  window_ = std::make_unique<hv::MainWindow>();
  window_->setHelpFile(hv::test::testPath(QStringLiteral("nowhere/hygrovan.hlp")));
  window_->showHelp();
  const auto shown = ui_.messages();
  ASSERT_EQ(shown.size(), 1);
  EXPECT_EQ(shown[0].icon, hv::MsgIcon::Error);
  EXPECT_TRUE(shown[0].text.contains(QStringLiteral("hygrovan.hlp"))) << shown[0].text.toStdString();
}

TEST_F(Shell, HelpFileBesideTheExecutableWins) {
  // The guide is copied beside the executable by the build; hygrovan.hlp would take precedence.
  const QString dir = hv::test::testPath(QStringLiteral("bin"));
  QDir().mkpath(dir);
  hv::test::writeFile(dir + QStringLiteral("/hygrovan.html"), "<html></html>");
  EXPECT_TRUE(hv::findHelpFile(dir).endsWith(QStringLiteral("hygrovan.html")));
  hv::test::writeFile(dir + QStringLiteral("/hygrovan.hlp"), "x");
  EXPECT_TRUE(hv::findHelpFile(dir).endsWith(QStringLiteral("hygrovan.hlp")));
}

TEST_F(Shell, ExitEndsTheLoopWithoutTheWindowsClose) {
  window_ = std::make_unique<hv::MainWindow>();
  window_->show();
  window_->setDefaultFolder(QStringLiteral("/changed/but/not/stored"));
  QTimer::singleShot(0, [this] { command("exitAction")->trigger(); });
  QTimer::singleShot(5000, [] { QCoreApplication::exit(7); });  // safety net
  EXPECT_EQ(qApp->exec(), 0);
  EXPECT_EQ(storedDefaultDir(), QDir::currentPath());
  EXPECT_TRUE(ui_.messages().isEmpty());
}

TEST_F(Shell, ClosingTheWindowStoresTheDefaultFolder) {
  window_ = std::make_unique<hv::MainWindow>();
  window_->show();
  window_->setDefaultFolder(QStringLiteral("/data/oak"));
  window_->close();
  EXPECT_EQ(storedDefaultDir(), QStringLiteral("/data/oak"));
  EXPECT_EQ(window_->windowTitle(), QStringLiteral("Hygrovan-RX3"));
}

TEST_F(Shell, ATableNamedOnTheCommandLineOpensOnceTheWindowShows) {
  const QString path = makeTable(QStringLiteral("oak.db"));
  QString title;
  QTimer probe;
  probe.setInterval(20);
  QObject::connect(&probe, &QTimer::timeout, [&] {
    hv::MainWindow* main = hv::test::runningMainWindow();
    if (!main || !main->isVisible() || !main->document().isOpen()) return;
    title = hv::applicationTitle();
    QCoreApplication::exit(0);
  });
  probe.start();
  QTimer::singleShot(20000, [] { QCoreApplication::exit(3); });  // safety net
  EXPECT_EQ(hv::runProgram(*qApp, {QStringLiteral("hygrovan"), path}), 0);
  EXPECT_EQ(title, QStringLiteral("oak - Hygrovan-RX3"));
  EXPECT_TRUE(ui_.messages().isEmpty());
  EXPECT_FALSE(hv::isConsoleRequest({QStringLiteral("hygrovan"), path}));
  EXPECT_TRUE(hv::isConsoleRequest({QStringLiteral("hygrovan"), QStringLiteral("--help")}));
}

TEST_F(Shell, ANamedTableThatIsGoneOrHeldElsewhereIsSaidSoAndNothingOpens) {
  window_ = std::make_unique<hv::MainWindow>();
  const QString gone = hv::test::testPath(QStringLiteral("gone.db"));
  window_->openTableFile(gone);
  const QString held = makeTable(QStringLiteral("held.db"));
  hv::TDbTable holder;  // as another window or program would
  holder.setFileName(held);
  holder.open();
  window_->openTableFile(held);
  const auto shown = ui_.messages();
  ASSERT_EQ(shown.size(), 2);
  EXPECT_EQ(shown[0].text, QStringLiteral("Файл %1 не найден.").arg(gone));
  EXPECT_EQ(shown[1].text.split('\n')[0], QStringLiteral("База данных открыта другой программой."));
  EXPECT_EQ(shown[1].icon, hv::MsgIcon::Error);
  EXPECT_FALSE(window_->document().isOpen());
  EXPECT_TRUE(window_->recentTables().paths().isEmpty());
}

TEST_F(Shell, TheRecentListKeepsFiveTablesAcrossRunsAndDropsOneThatIsGone) {
  window_ = std::make_unique<hv::MainWindow>();
  QStringList paths;
  for (int i = 1; i <= 6; ++i) {
    paths << makeTable(QStringLiteral("t%1.db").arg(i));
    window_->openTableFile(paths.last());
  }
  window_->openTableFile(paths[1]);  // opened again: first once more
  const QStringList expected = {paths[1], paths[5], paths[4], paths[3], paths[2]};
  EXPECT_EQ(window_->recentTables().paths(), expected);
  for (int i = 0; i < 5; ++i) {
    QAction* a = command(QStringLiteral("recentTableAction%1").arg(i + 1).toLatin1().constData());
    EXPECT_TRUE(a->isVisible());
    EXPECT_EQ(a->text(), QStringLiteral("&%1 %2").arg(i + 1).arg(expected[i]));
    EXPECT_EQ(a->shortcut(), QKeySequence(Qt::ALT | (Qt::Key_1 + i)));
  }

  // Kept in the settings for the next run; there a table that is gone is said so and dropped.
  window_.reset();
  ASSERT_TRUE(QFile::remove(paths[5]));
  window_ = std::make_unique<hv::MainWindow>();
  EXPECT_EQ(window_->recentTables().paths(), expected);
  command("recentTableAction2")->trigger();
  ASSERT_EQ(ui_.messages().size(), 1);
  EXPECT_EQ(ui_.messages()[0].text, QStringLiteral("Файл %1 не найден.").arg(paths[5]));
  EXPECT_EQ(window_->recentTables().paths(), QStringList({paths[1], paths[4], paths[3], paths[2]}));
  EXPECT_FALSE(command("recentTableAction5")->isVisible());
  EXPECT_EQ(command("recentTableAction2")->text(), QStringLiteral("&2 %1").arg(paths[4]));
  command("recentTableAction1")->trigger();
  EXPECT_EQ(hv::applicationTitle(), QStringLiteral("t2 - Hygrovan-RX3"));
}

TEST_F(Shell, HelpShowsTheGuideInAWindowOfItsOwnWithLinksPicturesAndSearch) {
  const QString dir = hv::test::testPath(QStringLiteral("guide"));
  QDir().mkpath(dir);
  QImage picture(8, 8, QImage::Format_RGB32);
  picture.fill(Qt::red);
  ASSERT_TRUE(picture.save(dir + QStringLiteral("/meter.png")));
  const QString guide = dir + QStringLiteral("/hygrovan.html");
  hv::test::writeFile(guide, QStringLiteral("<html><body><a href=\"#graph\">Графики</a><img src=\"meter.png\">"
                                            "<p>Влажность древесины.</p><p>Влажность бетона.</p>"
                                            "<h2><a name=\"graph\"></a>Построение графика</h2></body></html>")
                                 .toUtf8());
  window_ = std::make_unique<hv::MainWindow>();
  window_->show();
  window_->setHelpFile(guide);
  command("helpAction")->trigger();
  EXPECT_TRUE(ui_.messages().isEmpty());
  const auto helpWindows = window_->findChildren<hv::HelpWindow*>();
  ASSERT_EQ(helpWindows.size(), 1);
  hv::HelpWindow* help = helpWindows[0];
  ASSERT_TRUE(help->isVisible());
  QTextBrowser* browser = help->browser();
  EXPECT_TRUE(browser->toPlainText().contains(QStringLiteral("Построение графика")));
  EXPECT_FALSE(browser->loadResource(QTextDocument::ImageResource, QUrl(QStringLiteral("meter.png"))).isNull());

  // The link by the keyboard: Tab to it, Enter follows it.
  help->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(help));
  browser->setFocus();
  QTest::keyClick(browser, Qt::Key_Tab);
  QTest::keyClick(browser, Qt::Key_Return);
  EXPECT_EQ(browser->source().fragment(), QStringLiteral("graph"));

  // Ctrl+F to the search line; Enter finds, F3 the next, then round again.
  QTest::keyClick(help, Qt::Key_F, Qt::ControlModifier);
  EXPECT_TRUE(help->searchLine()->hasFocus());
  help->searchLine()->setText(QStringLiteral("влажность"));  // typed
  QTest::keyClick(help->searchLine(), Qt::Key_Return);
  const int first = browser->textCursor().selectionStart();
  EXPECT_EQ(browser->textCursor().selectedText(), QStringLiteral("Влажность"));
  QTest::keyClick(help, Qt::Key_F3);
  EXPECT_GT(browser->textCursor().selectionStart(), first);
  QTest::keyClick(help, Qt::Key_F3);
  EXPECT_EQ(browser->textCursor().selectionStart(), first);

  // F1 again raises the same window.
  command("helpAction")->trigger();
  EXPECT_EQ(window_->findChildren<hv::HelpWindow*>().size(), 1);
}

}  // namespace
