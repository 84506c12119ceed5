// The report and the chart over a 1,000,000-row table (333,334 rows in each
// archive): the preview, the report printed to a PDF file, the chart window
// (shown, then enlarged) and the chart printed to a PDF file. For each: the
// wall time, the peak memory as a ratio to the table file, and the longest
// stall of the event loop: the largest gap between two ticks of a 10 ms timer. Each case runs in a process of its own, so that
// one case's peak does not hide the next one's. Then the main window's own
// commands on the same table, each in a process of its own on a copy of it:
// opening, switching tabs, sorting by a title click, Ctrl+A with the footers,
// deleting rows and taking that back, saving, renumbering, appending a
// download, and the Excel and CSV
// exports, with the same figures; the stall is what the window shows of each.
// A "sorted-" case runs its command on the grid sorted by DATE first.
//   big_table_bench [--rows N] [--only CASE,CASE...]
//     (cases: preview pdf chart chart-pdf open tabs sort select delete undo save renumber append xls csv
//      sorted-delete sorted-undo sorted-save sorted-append)
//   big_table_bench --write-table FILE.db N   (only writes the table)
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

#include "app/archive_pages.h"
#include "app/export_command.h"
#include "app/grid_commands.h"
#include "app/import_commands.h"
#include "app/main_window.h"
#include "app/table_document.h"
#include "bench_support.h"
#include "graphs/chart_window.h"
#include "import/import_images.h"
#include "platform/regional.h"
#include "platform/ui.h"
#include "report/print_dialog.h"
#include "report/preview_window.h"
#include "report/report_ui.h"
#include "report/table_data_link.h"
#include "store/db_table.h"
#include "support/main_window_access.h"
#include "support/scripted_ui.h"
#include "views/data_grid.h"

namespace {

constexpr int kArchive = 1;

void writeTable(const QString& path, int rows) {
  hv::bench::writeRawTable(path, rows, [](int i, const std::vector<int>& widths) {
    const int kind = i % 3;
    const int n = i / 3 + 1;
    const unsigned h = static_cast<unsigned>(i) * 2654435761u;
    // A slow drift with noise, as a drying stack gives.
    const int w = 300 + (i / 3000) % 900 + static_cast<int>(h % 60);
    const bool single = (h >> 16) % 2 == 0;
    auto moisture = [](int tenths) { return QByteArray::number(tenths / 10) + ',' + QByteArray::number(tenths % 10); };
    const int minutes = i / 3;  // one reading a minute per archive, in time order
    const QDate day = QDate(2004, 1, 1).addDays(minutes / 1440);
    const QByteArray date = day.toString(QStringLiteral("dd.MM.yyyy")).toLatin1();
    const QByteArray time =
        QStringLiteral("%1:%2:%3").arg(minutes / 60 % 24, 2, 10, QChar('0')).arg(minutes % 60, 2, 10, QChar('0')).arg(
            i % 60, 2, 10, QChar('0')).toLatin1();
    return QList<QByteArray>{QByteArray::number(n % 10000).rightJustified(widths[0]),
                             QByteArray::number(kind).rightJustified(widths[1]),
                             date,
                             time,
                             single ? moisture(w) : QByteArray(),
                             single ? QByteArray() : moisture(w - 20),
                             single ? QByteArray() : moisture(w + 20),
                             QByteArray("Сосна"),
                             QByteArray(),
                             QByteArray()};
  });
}

void openArchive(hv::TDbTable& table, const QString& db) {
  table.setFileName(db);
  table.setReadOnly(true);
  table.open();
  table.setFilter(QStringLiteral("N_ARC=%1").arg(kArchive));
  table.setFiltered(true);
  table.refresh();
}

// Resident memory now (not the peak), from /proc on Linux; 0 elsewhere.
long residentNow() {
  QFile f(QStringLiteral("/proc/self/statm"));
  if (!f.open(QIODevice::ReadOnly)) return 0;
  const QList<QByteArray> parts = f.readAll().split(' ');
  return parts.size() > 1 ? parts[1].toLong() * 4096 : 0;
}

// The largest gap between ticks of a 10 ms timer while it runs.
class StallMeter {
 public:
  StallMeter() {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      longest_ = std::max(longest_, since_.nsecsElapsed() / 1e9);
      since_.restart();
    });
    since_.start();
    timer_.start(10);
  }
  double longest() {
    longest_ = std::max(longest_, since_.nsecsElapsed() / 1e9);
    return longest_;
  }
  // Forgets what went before: only what follows is measured.
  void restart() {
    longest_ = 0;
    since_.restart();
  }

 private:
  QTimer timer_;
  QElapsedTimer since_;
  double longest_ = 0;
};

// Runs fn on the first visible top-level window named objectName.
class WhenShown {
 public:
  WhenShown(const QString& objectName, std::function<void(QWidget*)> fn) {
    QObject::connect(&timer_, &QTimer::timeout, [this, objectName, fn] {
      for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == objectName && w->isVisible()) {
          timer_.stop();
          fn(w);
          return;
        }
    });
    timer_.start(5);
  }

 private:
  QTimer timer_;
};

int child(const QString& what, const QString& db, const QString& out) {
  hv::test::ScriptedUserInteraction ui;  // no printer: PDF files instead
  hv::setUserInteraction(&ui);
  hv::setDecimalSeparatorOverride(QChar(','));  // the separator the table was written with
  hv::TDbTable table;
  openArchive(table, db);
  QList<hv::SelectedRow> rows;
  if (what.startsWith(QLatin1String("chart"))) {
    hv::report::TableDataLink link(table);
    const int n = link.rowCount();
    rows.reserve(n);
    for (int r = 0; r < n; ++r)
      rows.append({link.fieldText(r, QStringLiteral("W")), link.fieldText(r, QStringLiteral("W_MIN")),
                   link.fieldText(r, QStringLiteral("W_MAX")), link.fieldText(r, QStringLiteral("DATE")),
                   link.fieldText(r, QStringLiteral("TIME"))});
  }
  const long before = residentNow();
  StallMeter stalls;
  QElapsedTimer t;
  t.start();
  if (what == QLatin1String("preview")) {
    // Shown, then the last page, then closed.
    WhenShown close(QStringLiteral("ReportPreview"), [](QWidget* w) {
      auto* p = static_cast<hv::report::PreviewWindow*>(w);
      QApplication::processEvents();
      p->findChild<QAction*>(QStringLiteral("lastPage"))->trigger();
      QApplication::processEvents();
      p->accept();
    });
    hv::previewReport(nullptr, table);
  } else if (what == QLatin1String("pdf")) {
    ui.fileAnswers << out;
    WhenShown accept(QStringLiteral("ReportPrintDialog"), [](QWidget* w) { static_cast<QDialog*>(w)->accept(); });
    hv::printReport(nullptr, table);
  } else {
    hv::ChartWindow window;
    const hv::CurveChoice curves{true, true, true};
    if (what == QLatin1String("chart")) {
      // Shown at its own size, then maximized, then closed.
      WhenShown close(QStringLiteral("ChartWindow"), [](QWidget* w) {
        QApplication::processEvents();
        w->resize(1600, 1000);
        QApplication::processEvents();
        static_cast<QDialog*>(w)->accept();
      });
      window.showChart(rows, hv::SelectionFooters{}, curves);
    } else {
      window.buildChart(rows, hv::SelectionFooters{}, curves);
      window.show();
      QApplication::processEvents();
      stalls.restart();
      t.restart();
      ui.messageAnswers << hv::MsgResult::Yes;
      ui.fileAnswers << out;
      window.printOnDefaultPrinter();
    }
  }
  const double seconds = t.nsecsElapsed() / 1e9;
  const double stall = stalls.longest();
  QApplication::processEvents();
  std::printf("%f %ld %ld %f\n", seconds, hv::bench::peakResident(), residentNow() - before, stall);
  table.close();
  hv::setUserInteraction(nullptr);
  return 0;
}

// The main window's commands on a copy of the table (opened first, except
// for the opening itself), the archive of kArchive on view; with "sorted-"
// before the command, that grid sorted by DATE before it.
int windowChild(const QString& variant, const QString& db, const QString& out) {
  const bool sorted = variant.startsWith(QLatin1String("sorted-"));
  const QString what = sorted ? variant.mid(7) : variant;
  hv::test::ScriptedUserInteraction ui;
  hv::setUserInteraction(&ui);
  hv::setDecimalSeparatorOverride(QChar(','));
  const QString copy = out + QStringLiteral(".db");
  QFile::remove(copy);
  if (!QFile::copy(db, copy)) return 1;
  auto window = std::make_unique<hv::MainWindow>();
  window->show();
  QApplication::processEvents();
  hv::TDataGrid* grid = window->pages().grid(hv::archiveKindAt(kArchive));
  const auto openTable = [&] {
    window->document().Open_DB(copy);
    window->pages().tabs()->setCurrentIndex(kArchive);
    QApplication::processEvents();
  };
  if (what != QLatin1String("open")) openTable();
  if (sorted) {
    grid->titleClick(1, false);  // returns once the sort beside the window is in place
    QApplication::processEvents();
  }
  if (what == QLatin1String("undo")) {
    grid->clickRow(5, {});
    window->gridCommands().deleteSelectedRows();
  }
  const long before = residentNow();
  StallMeter stalls;
  QElapsedTimer t;
  t.start();
  if (what == QLatin1String("open")) {
    openTable();
  } else if (what == QLatin1String("tabs")) {
    for (int tab : {0, 2, 1}) {
      window->pages().tabs()->setCurrentIndex(tab);
      QApplication::processEvents();
    }
  } else if (what == QLatin1String("sort")) {
    grid->titleClick(1, false);  // DATE, as a click on its title
    QApplication::processEvents();
  } else if (what == QLatin1String("select")) {
    grid->selectAll();
    QApplication::processEvents();
  } else if (what == QLatin1String("delete")) {
    grid->clickRow(5, {});
    grid->clickRow(7, Qt::ControlModifier);
    ui.messageAnswers << hv::MsgResult::Yes;
    window->gridCommands().deleteSelectedRows();
    QApplication::processEvents();
  } else if (what == QLatin1String("undo")) {
    window->gridCommands().undoDeletion();
    QApplication::processEvents();
  } else if (what == QLatin1String("save")) {
    window->document().Save_DB();
    QApplication::processEvents();
  } else if (what == QLatin1String("renumber")) {
    ui.messageAnswers << hv::MsgResult::Yes;
    window->gridCommands().renumberRows();
    QApplication::processEvents();
  } else if (what == QLatin1String("append")) {
    // "Дополнить" after its download: ten newer readings of the wood archive.
    QList<hv::test::Rec> newer;
    for (int i = 0; i < 10; ++i) newer << hv::test::at(1, i);
    const auto image = hv::test::makeImage({newer, {}, {}});
    window->importCommands().appendDownload(*image);
    QApplication::processEvents();
  } else if (what == QLatin1String("xls")) {
    ui.fileAnswers << out;
    window->exportCommand().run();
  } else if (what == QLatin1String("csv")) {
    ui.csvAnswers << hv::CsvExportOptions{true, hv::CsvPreset::Excel, QString()};
    ui.fileAnswers << out;
    hv::test::command(*window, "csvExportAction")->trigger();
  }
  const double seconds = t.nsecsElapsed() / 1e9;
  const double stall = stalls.longest();
  QApplication::processEvents();
  std::printf("%f %ld %ld %f\n", seconds, hv::bench::peakResident(), residentNow() - before, stall);
  window->document().setChanged(false);
  window->document().Close_DB();
  window.reset();
  hv::setUserInteraction(nullptr);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const QStringList args = app.arguments();
  if (args.size() == 5 && args[1] == QLatin1String("--child")) return child(args[2], args[3], args[4]);
  if (args.size() == 5 && args[1] == QLatin1String("--window-child")) return windowChild(args[2], args[3], args[4]);
  if (args.size() == 4 && args[1] == QLatin1String("--write-table")) {
    writeTable(args[2], std::max(3, args[3].toInt()));
    return 0;
  }

  int rows = 1000000;
  if (const qsizetype at = args.indexOf(QStringLiteral("--rows")); at > 0 && at + 1 < args.size())
    rows = std::max(3, args[at + 1].toInt());
  QTemporaryDir dir;
  const QString db = QDir(dir.path()).filePath(QStringLiteral("big.db"));
  writeTable(db, rows);
  const double fileBytes = double(QFileInfo(db).size());

  // Baseline: the archive's rows read once, every field the report prints.
  double baseline = 0;
  {
    hv::TDbTable table;
    openArchive(table, db);
    hv::report::TableDataLink link(table);
    const QStringList fields = {"N", "DATE", "TIME", "W", "W_MIN", "W_MAX", "MATERIAL", "N_IND", "COMMENT"};
    baseline = hv::bench::seconds([&] {
      qsizetype chars = 0;
      const int n = link.rowCount();
      for (int r = 0; r < n; ++r)
        for (const QString& f : fields) chars += link.fieldText(r, f).value_or(QString()).size();
      if (chars == 0) std::puts("no data");
    });
  }

  std::printf("%d rows (%d in the archive), table file %.0f MB; baseline (read the archive's rows once) %.2f s\n",
              rows, (rows + 2) / 3, fileBytes / 1e6, baseline);
  std::printf("  %-34s %8s %10s %8s\n", "case", "time s", "peak/file", "stall s");
  const QList<QPair<QString, QString>> cases = {{"preview", "preview, last page, close"},
                                                {"pdf", "report printed to PDF"},
                                                {"chart", "chart shown, enlarged, closed"},
                                                {"chart-pdf", "chart printed to PDF"},
                                                {"open", "window: open the table"},
                                                {"tabs", "window: switch tabs three times"},
                                                {"sort", "window: sort by DATE (title click)"},
                                                {"select", "window: Ctrl+A with the footers"},
                                                {"delete", "window: delete two rows"},
                                                {"undo", "window: take a deletion back"},
                                                {"save", "window: save (close and reopen)"},
                                                {"renumber", "window: renumber the archive"},
                                                {"append", "window: append ten readings"},
                                                {"sorted-delete", "window, sorted: delete two rows"},
                                                {"sorted-undo", "window, sorted: take a deletion back"},
                                                {"sorted-save", "window, sorted: save"},
                                                {"sorted-append", "window, sorted: append ten readings"},
                                                {"xls", "window: Excel export"},
                                                {"csv", "window: CSV export, all archives"}};
  const QStringList windowCases = {"open",   "tabs",     "sort",   "select", "delete",        "undo",
                                   "save",   "renumber", "append", "xls",    "csv",           "sorted-delete",
                                   "sorted-undo", "sorted-save", "sorted-append"};
  QStringList only;
  if (const qsizetype at = args.indexOf(QStringLiteral("--only")); at > 0 && at + 1 < args.size())
    only = args[at + 1].split(QChar(','));
  for (const auto& [name, caption] : cases) {
    if (!only.isEmpty() && !only.contains(name)) continue;
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const bool inWindow = windowCases.contains(name);
    const QString suffix = name == QLatin1String("xls") ? QStringLiteral(".xls")
                           : name == QLatin1String("csv") ? QStringLiteral(".csv")
                                                          : QStringLiteral(".pdf");
    p.start(QCoreApplication::applicationFilePath(),
            {inWindow ? QStringLiteral("--window-child") : QStringLiteral("--child"), name, db,
             QDir(dir.path()).filePath(name + suffix)});
    p.waitForFinished(-1);
    const QList<QByteArray> f = p.readAllStandardOutput().trimmed().split(' ');
    if (p.exitCode() != 0 || f.size() != 4) {
      std::printf("  %-34s failed\n", qPrintable(caption));
      continue;
    }
    const double secs = f[0].toDouble(), peak = f[1].toDouble(), stall = f[3].toDouble();
    std::printf("  %-34s %8.2f %10.2f %8.3f\n", qPrintable(caption), secs, peak / fileBytes, stall);
  }
  return 0;
}
