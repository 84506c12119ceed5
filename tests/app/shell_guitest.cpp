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

#include "app/about_box.h"
#include "app/forms.h"
#include "app/main.h"
#include "app/program.h"
#include "platform/error.h"
#include "platform/help.h"
#include "platform/settings.h"
#include "platform/ui.h"
#include "support/scripted_ui.h"
#include "support/test_support.h"

namespace {

class Shell : public ::testing::Test {
 protected:
  void SetUp() override { hv::setUserInteraction(&ui); }
  void TearDown() override {
    hv::destroyWindows();
    hv::setUserInteraction(nullptr);
    hv::setApplicationTitle(QStringLiteral("Hygrovan-RX3"));
  }
  QString storedDefaultDir() {
    hv::SettingsKey key;
    key.open();
    return key.hasValue(QStringLiteral("Default_dir")) ? key.readString(QStringLiteral("Default_dir")) : QString();
  }
  hv::test::ScriptedUserInteraction ui;
};

TEST_F(Shell, FirstRunCreatesTheKeyAndStoresTheCurrentFolder) {
  EXPECT_TRUE(storedDefaultDir().isEmpty());
  Form1 = new TForm1;
  EXPECT_EQ(storedDefaultDir(), QDir::currentPath());
  EXPECT_EQ(Form1->defaultDir, QDir::currentPath());
  EXPECT_EQ(Form1->OpenDialog1.initialDir, QDir::currentPath());
  EXPECT_EQ(Form1->SaveDialog1.initialDir, QDir::currentPath());
}

TEST_F(Shell, AStoredDefaultFolderIsReadNotOverwritten) {
  {
    hv::SettingsKey key;
    key.open();
    key.writeString(QStringLiteral("Default_dir"), QStringLiteral("/srv/measurements"));
  }
  Form1 = new TForm1;
  EXPECT_EQ(Form1->defaultDir, QStringLiteral("/srv/measurements"));
  EXPECT_EQ(Form1->OpenDialog1.initialDir, QStringLiteral("/srv/measurements"));
  EXPECT_EQ(storedDefaultDir(), QStringLiteral("/srv/measurements"));
}

TEST_F(Shell, OpensMaximisedInTheClosedState) {
  Form1 = new TForm1;
  Form1->show();
  EXPECT_TRUE(Form1->windowState() & Qt::WindowMaximized);
  EXPECT_EQ(Form1->windowTitle(), QStringLiteral("Hygrovan-RX3"));
  EXPECT_FALSE(Form1->PageControl1->isVisible());
  EXPECT_FALSE(Form1->db_open);
  EXPECT_EQ(Form1->windowColour(), Form1->palette().color(QPalette::Dark));

  const QList<QAction*> openState = {Form1->N4,  Form1->N5,  Form1->N7,  Form1->N8,          Form1->N9,
                                     Form1->N27, Form1->N29, Form1->N30, Form1->N31,         Form1->N33,
                                     Form1->N34, Form1->N36, Form1->N37, Form1->Excel1,      Form1->ToolButton3,
                                     Form1->ToolButton4, Form1->ToolButton5};
  for (QAction* a : openState) EXPECT_FALSE(a->isEnabled()) << a->text().toStdString();
  const QList<QAction*> always = {Form1->N2,  Form1->N3,  Form1->N11, Form1->N24, Form1->N26, Form1->ToolButton1,
                                  Form1->ToolButton2, Form1->ToolButton6, Form1->N15, Form1->N22, Form1->N17,
                                  Form1->N18, Form1->N19, Form1->N23, Form1->N21};
  for (QAction* a : always) EXPECT_TRUE(a->isEnabled()) << a->text().toStdString();

  // The open state enables exactly those commands and changes the colour.
  Form1->showOpenStateColour();
  Form1->enable_button();
  for (QAction* a : openState) EXPECT_TRUE(a->isEnabled()) << a->text().toStdString();
  EXPECT_EQ(Form1->windowColour(), Form1->palette().color(QPalette::Button));
  Form1->showClosedState();
  for (QAction* a : openState) EXPECT_FALSE(a->isEnabled()) << a->text().toStdString();
}

TEST_F(Shell, MenusToolbarAndTabsCarryTheirTexts) {
  Form1 = new TForm1;
  EXPECT_EQ(Form1->N2->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_N));
  EXPECT_EQ(Form1->N3->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
  EXPECT_EQ(Form1->N5->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
  EXPECT_EQ(Form1->N9->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_P));
  EXPECT_EQ(Form1->N24->shortcut(), QKeySequence(Qt::Key_F1));
  EXPECT_EQ(Form1->PageControl1->count(), 3);
  EXPECT_EQ(Form1->PageControl1->tabText(0), QStringLiteral("Древесные"));
  EXPECT_EQ(Form1->PageControl1->tabText(1), QStringLiteral("Бетонные"));
  EXPECT_EQ(Form1->PageControl1->tabText(2), QStringLiteral("Сыпучие"));
  QStringList popup;
  for (QAction* a : Form1->PopupMenu1->actions()) popup << (a->isSeparator() ? QStringLiteral("-") : a->text());
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
    if (!Form1) return;
    if (Form1->isVisible() && firstShown < 0) {
      firstShown = clock.elapsed();
      QCoreApplication::exit(0);
    }
  });
  QTimer::singleShot(1500, [&] {
    if (Form1 && Form1->isVisible()) shownDuringSplash = true;
  });
  clock.start();
  probe.start();
  const int rc = hv::runProgram(*qApp);
  EXPECT_EQ(rc, 0);
  EXPECT_FALSE(shownDuringSplash);
  EXPECT_GE(firstShown, 2900);
  EXPECT_LE(firstShown, 6000);
  EXPECT_EQ(Form1, nullptr);  // destroyed after the loop
}

TEST_F(Shell, AboutBoxShowsTheFileVersionReadAtEachShowing) {
  Form1 = new TForm1;
  aboutBox = new hv::AboutBox(Form1);
  EXPECT_EQ(aboutBox->windowTitle(), QStringLiteral("О программе"));
  EXPECT_EQ(aboutBox->versionLabel()->text(), QStringLiteral("Версия 1.0"));
  QTimer::singleShot(0, [] {
    EXPECT_EQ(aboutBox->productLabel()->text(), QStringLiteral("Hygrovan-RX3"));
    EXPECT_EQ(aboutBox->versionLabel()->text(), QStringLiteral("Версия 1.0.0.8"));
    EXPECT_EQ(aboutBox->purposeLabel()->text(),
              QStringLiteral("Программа для передачи данных с прибора Hygrovan-RX3"));
    aboutBox->versionLabel()->setText(QStringLiteral("stale"));
    aboutBox->okButton()->click();
  });
  Form1->N26Click();
  QTimer::singleShot(0, [] { aboutBox->okButton()->click(); });
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
  const auto shown = ui.messages();
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
  const auto shown = ui.messages();
  ASSERT_EQ(shown.size(), 1);
  EXPECT_EQ(shown[0].caption, QStringLiteral("Hygrovan-RX3"));
  EXPECT_EQ(shown[0].text, QStringLiteral("Запись не удалась."));
  EXPECT_EQ(shown[0].icon, hv::MsgIcon::Error);
}

TEST_F(Shell, MissingHelpFileGivesAClearMessage) {
  Form1 = new TForm1;
  Form1->helpFile = hv::test::testPath(QStringLiteral("nowhere/hygrovan.hlp"));
  Form1->N24Click();
  const auto shown = ui.messages();
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

TEST_F(Shell, ExitEndsTheLoopWithoutFormClose) {
  Form1 = new TForm1;
  Form1->show();
  Form1->defaultDir = QStringLiteral("/changed/but/not/stored");
  QTimer::singleShot(0, [] { Form1->N11->trigger(); });
  QTimer::singleShot(5000, [] { QCoreApplication::exit(7); });  // safety net
  EXPECT_EQ(qApp->exec(), 0);
  EXPECT_EQ(storedDefaultDir(), QDir::currentPath());
  EXPECT_TRUE(ui.messages().isEmpty());
}

TEST_F(Shell, ClosingTheWindowStoresTheDefaultFolder) {
  Form1 = new TForm1;
  Form1->show();
  Form1->defaultDir = QStringLiteral("/data/oak");
  Form1->close();
  EXPECT_EQ(storedDefaultDir(), QStringLiteral("/data/oak"));
  EXPECT_EQ(Form1->windowTitle(), QStringLiteral("Hygrovan-RX3"));
}

}  // namespace
