// The program's shell: start-up, the closed state, the about box, the default
// error report, help and exit.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <memory>

#include "app/about_box.h"
#include "app/archive_pages.h"
#include "app/import_commands.h"
#include "app/main_window.h"
#include "app/program.h"
#include "platform/error.h"
#include "platform/help.h"
#include "platform/settings.h"
#include "platform/ui.h"
#include "platform/version.h"
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
                           "saveButton", "previewButton", "printButton"})
    openState << command(name);
  for (const char* name : {"newTableAction", "openTableAction", "exitAction", "helpAction", "aboutAction",
                           "newTableButton", "openTableButton", "helpButton", "chartPopupAction", "printPopupAction",
                           "setColourPopupAction", "clearColourPopupAction", "clearAllColoursPopupAction",
                           "alignColumnsPopupAction", "deletePopupAction"})
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
            QStringLiteral("График|Печать|-|Задать цвет|Убрать цвет|Убрать все цвета|-|Выровнять столбцы|-|Удалить"));
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
  EXPECT_EQ(shown[1].text, QStringLiteral("'12.5' is not a valid floating point value."));
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

}  // namespace
