// The report's windows: progress with cancel, the print dialog (with the PDF
// file offered when no printer is installed), and the preview.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QTimer>
#include <functional>

#include "platform/error.h"
#include "platform/ui.h"
#include "support/scripted_ui.h"
#include "report/preview_window.h"
#include "report/print_dialog.h"
#include "report/progress_window.h"
#include "report/report_builder.h"
#include "report/report_ui.h"
#include "store/db_table.h"
#include "support/test_support.h"

using namespace hv::report;

namespace {

class Rows : public RowSource {
 public:
  explicit Rows(int n) : n_(n) {}
  int rowCount() override { return n_; }
  std::optional<QString> fieldText(int row, const QString& field) override {
    if (onRow) onRow(row);
    if (field == "N") return QString::number(row + 1);
    if (field == "MATERIAL") return QString("Сосна");
    return std::nullopt;
  }
  std::function<void(int)> onRow;

 private:
  int n_;
};

template <class W>
W* findWindow(const QString& objectName) {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == objectName && w->isVisible()) return qobject_cast<W*>(w);
  return nullptr;
}

// Runs fn once on the window when it is on screen (modal windows run their
// own loop). Stops watching when it goes out of scope, so a window that never
// came cannot reach into a later test.
template <class W>
class WhenShown {
 public:
  WhenShown(const QString& objectName, std::function<void(W*)> fn) {
    QObject::connect(&timer_, &QTimer::timeout, [this, objectName, fn] {
      if (W* w = findWindow<W>(objectName)) {
        timer_.stop();
        fn(w);
      }
    });
    timer_.start(10);
  }

 private:
  QTimer timer_;
};

struct Scripted {
  hv::test::ScriptedUserInteraction ui;
  Scripted() { hv::setUserInteraction(&ui); }
  ~Scripted() {
    hv::setUserInteraction(nullptr);
  }
};

QString pdfText(const QString& pdf, int page = 0) {
  QStringList args = {"-layout"};
  if (page > 0) args << "-f" << QString::number(page) << "-l" << QString::number(page);
  auto r = hv::test::runProcess("pdftotext", args << pdf << "-");
  return QString::fromUtf8(r.out);
}

int pdfPages(const QString& pdf) {
  auto r = hv::test::runProcess("pdfinfo", {pdf});
  for (const QString& l : QString::fromUtf8(r.out).split('\n'))
    if (l.startsWith("Pages:")) return l.mid(6).trimmed().toInt();
  return -1;
}

}  // namespace

TEST(ReportPrint, CancellingThePrintLeavesNoFileAndKeepsAnEarlierOne) {
  Scripted s;
  s.ui.printers.clear();  // no printer installed: a PDF file
  const QString pdf = hv::test::testPath("cancelled.pdf");
  Rows rows(500);  // 18 pages
  QString caption, counted;
  rows.onRow = [&](int row) {
    if (row != 300) return;
    auto* w = findWindow<ProgressWindow>("ReportProgress");
    ASSERT_NE(w, nullptr);
    caption = w->windowTitle();
    counted = w->pageText();
    w->cancelButton()->click();
  };
  for (const QByteArray& before : {QByteArray(), QByteArray("an earlier file")}) {
    if (!before.isEmpty()) hv::test::writeFile(pdf, before);
    s.ui.fileAnswers << pdf;
    caption.clear();
    WhenShown<PrintDialog> watch1("ReportPrintDialog", [&](PrintDialog* d) { d->accept(); });
    EXPECT_FALSE(hv::printReport(nullptr, rows));
    QApplication::processEvents();
    EXPECT_EQ(caption, "Печать");
    EXPECT_EQ(counted, "Страница 11 из 18");  // page 11 carries row 301
    EXPECT_EQ(QFile::exists(pdf), !before.isEmpty());
    if (!before.isEmpty()) {
      EXPECT_EQ(hv::test::readFile(pdf), before);
    }
    // Nor a temporary beside it.
    EXPECT_EQ(QDir(hv::test::testDir()).entryList({"cancelled*"}, QDir::Files | QDir::Hidden).size(),
              before.isEmpty() ? 0 : 1);
    EXPECT_TRUE(s.ui.shown.size() == 1 && s.ui.messages().isEmpty());  // the file dialog only
    EXPECT_EQ(findWindow<ProgressWindow>("ReportProgress"), nullptr);
    s.ui.clear();
  }
}

TEST(ReportProgress, ARowErrorShowsInTheErrorBoxAndWritesNothing) {
  Scripted s;
  s.ui.printers.clear();
  const QString pdf = hv::test::testPath("failed.pdf");
  s.ui.fileAnswers << pdf;
  Rows rows(40);
  rows.onRow = [](int row) {
    if (row == 33) throw hv::Error("Ошибка чтения записи 34");
  };
  WhenShown<PrintDialog> watch2("ReportPrintDialog", [&](PrintDialog* d) { d->accept(); });
  EXPECT_FALSE(hv::printReport(nullptr, rows));
  ASSERT_EQ(s.ui.messages().size(), 1);
  EXPECT_EQ(s.ui.messages()[0].caption, "Ошибка");
  EXPECT_EQ(s.ui.messages()[0].text, "Ошибка чтения записи 34");
  EXPECT_EQ(s.ui.messages()[0].icon, hv::MsgIcon::Error);
  EXPECT_FALSE(QFile::exists(pdf));

  // Empty archive: one page, and the build completes.
  Rows none(0);
  auto built = hv::buildReport(nullptr, none);
  ASSERT_TRUE(built.has_value());
  EXPECT_EQ(built->pageCount(), 1);
}

TEST(ReportPrint, WithNoPrinterTheDialogOffersAPdfFileAndPrintsTheChosenPages) {
  Scripted s;
  s.ui.printers.clear();  // no printer installed
  const QString pdf = hv::test::testPath("printed.pdf");
  s.ui.fileAnswers << hv::test::testPath("printed");  // the dialog adds .pdf
  Rows rows(70);                                       // 3 pages
  QStringList entries;
  bool noteShown = false, collateDefault = false;
  int copiesDefault = 0;
  WhenShown<PrintDialog> watch3("ReportPrintDialog", [&](PrintDialog* d) {
    auto* printer = d->findChild<QComboBox*>("printer");
    for (int i = 0; i < printer->count(); ++i) entries << printer->itemText(i);
    noteShown = d->findChild<QLabel*>("noPrinterNote") != nullptr;
    copiesDefault = d->findChild<QSpinBox*>("copies")->value();
    collateDefault = d->findChild<QCheckBox*>("collate")->isChecked();
    // First a list the report cannot satisfy: refused, the dialog stays.
    d->findChild<QRadioButton*>("pageRange")->setChecked(true);
    d->findChild<QLineEdit*>("pages")->setText("2-4");
    d->accept();
    EXPECT_TRUE(d->isVisible());
    d->findChild<QLineEdit*>("pages")->setText("3,1");
    d->findChild<QSpinBox*>("copies")->setValue(2);
    d->findChild<QCheckBox*>("collate")->setChecked(false);
    d->accept();
  });
  EXPECT_TRUE(hv::printReport(nullptr, rows));
  EXPECT_EQ(entries, QStringList({"Печать в файл PDF"}));
  EXPECT_TRUE(noteShown);
  EXPECT_EQ(copiesDefault, 1);
  EXPECT_TRUE(collateDefault);
  ASSERT_EQ(s.ui.messages().size(), 1);
  EXPECT_EQ(s.ui.messages()[0].caption, "Ошибка");
  EXPECT_TRUE(s.ui.messages()[0].text.contains("1,3,5-12"));
  // Pages 3, 3, 1, 1: uncollated copies.
  ASSERT_EQ(pdfPages(pdf), 4);
  EXPECT_TRUE(pdfText(pdf, 1).contains("Стр. 3 из 3"));
  EXPECT_TRUE(pdfText(pdf, 2).contains("Стр. 3 из 3"));
  EXPECT_TRUE(pdfText(pdf, 3).contains("Стр. 1 из 3"));
  EXPECT_TRUE(pdfText(pdf, 4).contains("Hygrovan-RX3"));

  // Cancel in the dialog: nothing written.
  QFile::remove(pdf);
  WhenShown<PrintDialog> watch4("ReportPrintDialog", [](PrintDialog* d) { d->reject(); });
  EXPECT_FALSE(hv::printReport(nullptr, rows));
  EXPECT_FALSE(QFile::exists(pdf));
}

TEST(ReportPrint, PrintsTheTablesCurrentArchive) {
  Scripted s;
  s.ui.printers.clear();  // no printer installed
  const QString db = hv::test::testPath("t.db");
  hv::TDbTable t;
  t.setFileName(db);
  t.createTable();
  t.open();
  for (int i = 0; i < 6; ++i) {
    t.append();
    t.setFieldInt("N", i / 2 + 1);
    t.setFieldInt("N_ARC", i % 2);
    t.setFieldText("MATERIAL", i % 2 ? QString("Бетон%1").arg(i) : QString("Дерево%1").arg(i));
    t.post();
  }
  t.setFilter("N_ARC=1");
  t.setFiltered(true);
  t.refresh();
  const QString pdf = hv::test::testPath("table.pdf");
  s.ui.fileAnswers << pdf;
  WhenShown<PrintDialog> watch5("ReportPrintDialog", [](PrintDialog* d) { d->accept(); });
  ASSERT_TRUE(hv::printReport(nullptr, t));
  const QString text = pdfText(pdf);
  EXPECT_TRUE(text.contains("Бетон1") && text.contains("Бетон3") && text.contains("Бетон5"));
  EXPECT_FALSE(text.contains("Дерево"));
  EXPECT_LT(text.indexOf("Бетон1"), text.indexOf("Бетон5"));
}

TEST(ReportPreview, ZoomNavigationAndSearch) {
  Scripted s;
  Rows rows(70);
  PreviewWindow w(*buildReport(archiveReportTemplate(), rows));
  w.resize(1000, 700);
  w.show();
  QApplication::processEvents();
  EXPECT_EQ(w.windowTitle(), "Предварительный просмотр");

  w.setZoom(PreviewWindow::ZoomMode::Percent, 100);
  EXPECT_NEAR(w.pageScale(), w.logicalDpiX() / kUnitsPerInch, 1e-9);
  w.setZoom(PreviewWindow::ZoomMode::Percent, 200);
  EXPECT_NEAR(w.pageScale(), 2 * w.logicalDpiX() / kUnitsPerInch, 1e-9);
  w.setZoom(PreviewWindow::ZoomMode::WholePage);
  const double whole = w.pageScale();
  w.setZoom(PreviewWindow::ZoomMode::PageWidth);
  const double width = w.pageScale();
  // A landscape page in a window of this shape: whole page is limited by the height.
  EXPECT_LT(whole, width);
  EXPECT_LE(whole * w.report().paperSize().height(), 700);

  auto* next = w.findChild<QAction*>("nextPage");
  auto* last = w.findChild<QAction*>("lastPage");
  auto* page = w.findChild<QSpinBox*>("page");
  ASSERT_TRUE(next && last && page);
  next->trigger();
  EXPECT_EQ(w.currentPage(), 1);
  EXPECT_EQ(page->value(), 2);
  last->trigger();
  EXPECT_EQ(w.currentPage(), 2);
  next->trigger();  // stays on the last page
  EXPECT_EQ(w.currentPage(), 2);
  page->setValue(1);
  EXPECT_EQ(w.currentPage(), 0);

  ASSERT_TRUE(w.findNext("Сосна"));
  EXPECT_EQ(w.currentPage(), 0);
  EXPECT_EQ(w.highlightedItems().size(), 25);  // every material cell of page 1
  const int firstHit = w.currentHitItem();
  ASSERT_TRUE(w.findNext("Сосна"));
  EXPECT_NE(w.currentHitItem(), firstHit);
  for (int i = 0; i < 24; ++i) w.findNext("Сосна");
  EXPECT_EQ(w.currentPage(), 1);  // the 26th hit is on page 2
  EXPECT_EQ(w.highlightedItems().size(), 29);

  ASSERT_TRUE(w.findNext("Стр. 3 из"));
  EXPECT_EQ(w.currentPage(), 2);
  EXPECT_FALSE(w.findNext("Ель"));
  ASSERT_EQ(s.ui.messages().size(), 1);
  EXPECT_EQ(s.ui.messages()[0].text, "Текст \"Ель\" не найден.");
}

TEST(ReportPreview, SavesAndOpensReportsAndPdf) {
  Scripted s;
  Rows rows(30);
  PreviewWindow w(*buildReport(archiveReportTemplate(), rows));
  const QString saved = hv::test::testPath("r.hvr");
  s.ui.fileAnswers << hv::test::testPath("r");  // default extension added
  ASSERT_TRUE(w.saveReport());
  EXPECT_EQ(s.ui.shown.last().file.filter, "Отчеты Hygrovan-RX3|*.hvr");
  ASSERT_TRUE(QFile::exists(saved));

  Rows two(2);
  PreviewWindow other(*buildReport(archiveReportTemplate(), two));
  EXPECT_EQ(other.report().pageCount(), 1);
  s.ui.fileAnswers << saved;
  ASSERT_TRUE(other.openReport());
  EXPECT_EQ(other.report().pageCount(), 2);
  EXPECT_EQ(serializeReport(other.report()), serializeReport(w.report()));

  // A damaged file: the error box, and the report on view stays.
  hv::test::writeFile(hv::test::testPath("bad.hvr"), QByteArray("HVREPORT\1\0\0\0", 12));
  s.ui.fileAnswers << hv::test::testPath("bad.hvr");
  EXPECT_FALSE(other.openReport());
  EXPECT_EQ(other.report().pageCount(), 2);
  ASSERT_EQ(s.ui.messages().size(), 1);
  EXPECT_EQ(s.ui.messages()[0].caption, "Ошибка");

  s.ui.fileAnswers << hv::test::testPath("out.pdf");
  hv::setDocumentName("ель");
  ASSERT_TRUE(w.savePdfFile());
  hv::setDocumentName(QString());
  EXPECT_EQ(s.ui.shown.last().file.fileName, "ель.pdf");  // named after the open table
  EXPECT_EQ(pdfPages(hv::test::testPath("out.pdf")), 2);
}

TEST(ReportPreview, PreviewCommandShowsThePagesModallyReadingOnlyThePageOnView) {
  Scripted s;
  Rows rows(5000);  // 173 pages
  QList<int> read;
  rows.onRow = [&](int row) {
    if (!read.contains(row)) read.append(row);
  };
  int pages = 0;
  QString caption;
  QList<int> readFirst, readLast;
  WhenShown<PreviewWindow> watch6("ReportPreview", [&](PreviewWindow* w) {
    pages = w->report().pageCount();
    caption = w->windowTitle();
    EXPECT_TRUE(w->isModal());
    readFirst = read;
    read.clear();
    w->findChild<QAction*>("lastPage")->trigger();
    readLast = read;
    w->findChild<QAction*>("close")->trigger();
  });
  hv::previewReport(nullptr, rows);
  EXPECT_EQ(pages, 173);
  EXPECT_EQ(caption, "Предварительный просмотр");
  ASSERT_EQ(readFirst.size(), 25);
  EXPECT_EQ(readFirst.first(), 0);
  ASSERT_EQ(readLast.size(), 5000 - 25 - 171 * 29);
  EXPECT_EQ(readLast.last(), 4999);
}

TEST(ReportPreview, TheWholePageFillsTheViewFromTheFirstShowAndAfterResizes) {
  Scripted s;
  Rows rows(70);
  PreviewWindow w(*buildReport(archiveReportTemplate(), rows));
  auto* view = w.findChild<PageView*>();
  auto* scroll = w.findChild<QScrollArea*>();
  ASSERT_TRUE(view && scroll);
  auto pageHeight = [&] { return w.report().paperSize().height() * view->scale(); };
  w.resize(1000, 650);  // a window of a screen's shape, sized before it is shown
  w.show();
  QApplication::processEvents();
  EXPECT_EQ(w.zoomMode(), PreviewWindow::ZoomMode::WholePage);
  EXPECT_GE(pageHeight(), 0.8 * scroll->viewport()->height());
  EXPECT_LE(view->width(), scroll->viewport()->width());
  EXPECT_LE(view->height(), scroll->viewport()->height());

  w.resize(1200, 500);  // a wide window: the height limits the page
  QApplication::processEvents();
  EXPECT_GE(pageHeight(), 0.8 * scroll->viewport()->height());
  EXPECT_LE(view->height(), scroll->viewport()->height());
}
