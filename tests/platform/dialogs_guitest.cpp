// The dialogs Qt draws for the program: in Russian once the program has
// started, and the file dialog wide enough to show its columns. And help
// where nothing can open the guide.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QMessageBox>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <functional>

#include "app/program.h"
#include "platform/help.h"
#include "platform/ui.h"
#include "support/test_support.h"

namespace {

// Runs fn on the first modal window of type W once it is on screen.
template <class W>
void whenModal(std::function<void(W*)> fn) {
  auto* timer = new QTimer(qApp);
  QObject::connect(timer, &QTimer::timeout, [timer, fn] {
    if (auto* w = qobject_cast<W*>(QApplication::activeModalWidget()); w && w->isVisible()) {
      timer->stop();
      timer->deleteLater();
      fn(w);
    }
  });
  timer->start(10);
}

TEST(QtDialogs, SpeakRussianOnceTheProgramHasStarted) {
  hv::initialiseApplication();
  QStringList buttons;
  whenModal<QMessageBox>([&](QMessageBox* box) {
    for (QAbstractButton* b : box->buttons()) buttons << b->text().remove(QChar('&'));
    box->button(QMessageBox::No)->click();
  });
  hv::QtUserInteraction real;
  EXPECT_EQ(real.message(nullptr, QStringLiteral("Hygrovan-RX3"), QStringLiteral("Сохранить изменения в таблицах ?"),
                         hv::MsgIcon::Question, hv::MsgButtons::YesNo),
            hv::MsgResult::No);
  buttons.sort();
  EXPECT_EQ(buttons, QStringList({QStringLiteral("Да"), QStringLiteral("Нет")}));
}

TEST(QtDialogs, CsvOptionsStartFromTheLastChoiceAndGiveBackTheOneClicked) {
  hv::initialiseApplication();
  hv::CsvExportOptions initial;
  initial.preset = hv::CsvPreset::Analysis;
  initial.archiveOnView = QStringLiteral("Бетонные");
  hv::QtUserInteraction real;
  QString onViewText;
  bool analysisChecked = false;
  whenModal<QDialog>([&](QDialog* dialog) {
    onViewText = dialog->findChild<QRadioButton*>(QStringLiteral("csvArchiveOnView"))->text();
    analysisChecked = dialog->findChild<QRadioButton*>(QStringLiteral("csvPresetAnalysis"))->isChecked();
    dialog->findChild<QRadioButton*>(QStringLiteral("csvAllArchives"))->click();
    dialog->findChild<QRadioButton*>(QStringLiteral("csvPresetExcel"))->click();
    dialog->accept();
  });
  const auto chosen = real.csvExportOptions(nullptr, initial);
  EXPECT_TRUE(onViewText.contains(QStringLiteral("Бетонные")));
  EXPECT_TRUE(analysisChecked);
  ASSERT_TRUE(chosen.has_value());
  EXPECT_TRUE(chosen->allArchives);
  EXPECT_EQ(chosen->preset, hv::CsvPreset::Excel);

  whenModal<QDialog>([](QDialog* dialog) { dialog->reject(); });
  EXPECT_FALSE(real.csvExportOptions(nullptr, initial).has_value());
}

TEST(QtDialogs, AYesNoBoxPutAwayByEscapeOrItsCloseButtonIsNoAnswer) {
  hv::initialiseApplication();
  hv::QtUserInteraction real;
  const auto ask = [&] {
    return real.message(nullptr, QStringLiteral("Hygrovan-RX3"), QStringLiteral("Сохранить изменения в таблицах ?"),
                        hv::MsgIcon::Question, hv::MsgButtons::YesNo);
  };
  whenModal<QMessageBox>([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); });
  EXPECT_EQ(ask(), hv::MsgResult::Cancel);
  whenModal<QMessageBox>([](QMessageBox* box) { box->close(); });
  EXPECT_EQ(ask(), hv::MsgResult::Cancel);
  whenModal<QMessageBox>([](QMessageBox* box) { box->button(QMessageBox::Yes)->click(); });
  EXPECT_EQ(ask(), hv::MsgResult::Yes);
  // A box with one answer still goes away by Escape.
  whenModal<QMessageBox>([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); });
  EXPECT_EQ(real.message(nullptr, QStringLiteral("Ошибка"), QStringLiteral("Текст"), hv::MsgIcon::Error,
                         hv::MsgButtons::Ok),
            hv::MsgResult::Ok);
}

TEST(QtDialogs, FileDialogShowsEveryColumnWhole) {
  hv::initialiseApplication();
  hv::test::writeFile(hv::test::testPath(QStringLiteral("дуб.db")), QByteArray(100, 'x'));
  bool checked = false;
  whenModal<QFileDialog>([&](QFileDialog* dialog) {
    dialog->setViewMode(QFileDialog::Detail);
    auto* tree = dialog->findChild<QTreeView*>(QStringLiteral("treeView"));
    ASSERT_NE(tree, nullptr);
    // The folder is read in the background; the columns are fitted once it is.
    for (int waited = 0; tree->model()->rowCount(tree->rootIndex()) == 0 && waited < 10000; waited += 20)
      QTest::qWait(20);
    ASSERT_GT(tree->model()->rowCount(tree->rootIndex()), 0);
    QTest::qWait(100);
    const QAbstractItemView* items = tree;
    QHeaderView* header = tree->header();
    for (int c = 0; c < header->count(); ++c) {
      const QString title = header->model()->headerData(c, Qt::Horizontal).toString();
      EXPECT_GE(header->sectionSize(c), header->sectionSizeHint(c)) << title.toStdString();
      EXPECT_GE(header->sectionSize(c), items->sizeHintForColumn(c)) << title.toStdString();
      EXPECT_LE(header->sectionViewportPosition(c) + header->sectionSize(c), tree->viewport()->width())
          << title.toStdString();
    }
    checked = true;
    dialog->reject();
  });
  hv::FileDialogRequest request;
  request.caption = QStringLiteral("Сохранить как");
  request.filter = QStringLiteral("Файлы данных|*.db");
  request.initialDir = hv::test::testDir();
  hv::QtUserInteraction real;
  EXPECT_TRUE(real.saveFileName(nullptr, request).isEmpty());
  EXPECT_TRUE(checked);
}

TEST(Help, WithNothingToOpenTheHelpFileTheMessageSaysWhereItIs) {
  // A help file other than our HTML guide goes to the desktop's programs.
  const QString guide = hv::test::testPath(QStringLiteral("hygrovan.hlp"));
  hv::test::writeFile(guide, "<html></html>");
  // No opener on the search path and no browser named: as on a bare system.
  const QByteArray path = qgetenv("PATH"), browser = qgetenv("BROWSER");
  qputenv("PATH", hv::test::testDir().toLocal8Bit());
  qunsetenv("BROWSER");
  QString error;
  const bool shown = hv::showHelpContents(guide, &error);
  qputenv("PATH", path);
  if (!browser.isEmpty()) qputenv("BROWSER", browser);
  EXPECT_FALSE(shown);
  EXPECT_TRUE(error.contains(QDir::toNativeSeparators(guide))) << error.toStdString();
  EXPECT_TRUE(error.contains(QStringLiteral("веб-браузере"))) << error.toStdString();
#ifndef Q_OS_WIN
  EXPECT_TRUE(error.contains(QStringLiteral("xdg-utils"))) << error.toStdString();
#endif
}

}  // namespace
