// The archive grid over a table of a million rows: opening to the first
// painted grid, a page-down repaint, a title click that sorts by DATE, and
// Ctrl+A with the footers computed; then the memory of the process. Each
// time is also given as a ratio to reading the file with cat in the same run.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QProcess>
#include <QTableView>
#include <QTemporaryDir>
#include <cstdio>
#include <vector>

#include "app/archive_pages.h"
#include "app/grid_commands.h"
#include "app/main_window.h"
#include "platform/codepage.h"
#include "platform/regional.h"
#include "platform/ui.h"
#include "support/scripted_ui.h"
#include "store/dbf_file.h"
#include "views/data_grid.h"
#include "bench_support.h"

namespace {

constexpr int kRows = 1'000'000;

// Three archives side by side, dates over twenty years, single values and ranges.
void writeTable(const QString& path) {
  const QByteArray material = hv::toCp1251(QStringLiteral("Сосна"));
  hv::bench::writeRawTable(path, kRows, [&](int i, const std::vector<int>& widths) {
    const int kind = i % 3;
    const int n = i / 3 + 1;
    const unsigned h = static_cast<unsigned>(i) * 2654435761u;
    const int w = static_cast<int>(h % 1500);  // tenths
    const bool single = (h >> 16) % 2 == 0;
    auto moisture = [](int tenths) { return QByteArray::number(tenths / 10) + ',' + QByteArray::number(tenths % 10); };
    const QByteArray date = QStringLiteral("%1.%2.%3")
                                .arg(1 + (h >> 8) % 28, 2, 10, QChar('0'))
                                .arg(1 + (h >> 13) % 12, 2, 10, QChar('0'))
                                .arg(2004 + (h >> 4) % 20)
                                .toLatin1();
    const QByteArray time =
        QStringLiteral("%1:%2:%3").arg(n / 3600 % 24, 2, 10, QChar('0')).arg(n / 60 % 60, 2, 10, QChar('0')).arg(n % 60, 2, 10, QChar('0')).toLatin1();
    return QList<QByteArray>{QByteArray::number(n % 10000).rightJustified(widths[0]),
                             QByteArray::number(kind).rightJustified(widths[1]),
                             date,
                             time,
                             single ? moisture(w) : QByteArray(),
                             single ? QByteArray() : moisture(w),
                             single ? QByteArray() : moisture(w + 20),
                             material,
                             QByteArray(),
                             QByteArray()};
  });
}

double seconds(const QElapsedTimer& t) { return t.nsecsElapsed() / 1e9; }

long statusKb(const char* key) {
  QFile f(QStringLiteral("/proc/self/status"));
  if (!f.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : f.readAll().split('\n'))
    if (line.startsWith(key)) return line.mid(static_cast<int>(qstrlen(key))).trimmed().split(' ').value(0).toLong();
  return -1;
}

void pageDown(QTableView* v) {
  QKeyEvent press(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
  QApplication::sendEvent(v, &press);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  hv::setDecimalSeparatorOverride(QChar(','));
  QTemporaryDir dir(QDir::current().filePath(QStringLiteral("views_bench.XXXXXX")));
  qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toLocal8Bit());
  const QString path = dir.filePath(QStringLiteral("big.db"));
  writeTable(path);
  const double fileMb = QFileInfo(path).size() / 1e6;

  QElapsedTimer t;
  t.start();
  QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("cat '%1' > /dev/null").arg(path)});
  const double cat = seconds(t);

  hv::test::ScriptedUserInteraction ui;
  hv::setUserInteraction(&ui);
  auto* form = new hv::MainWindow;
  hv::TDataGrid* woodGrid = form->pages().grid(hv::ArchiveKind::Wood);
  form->resize(1280, 800);
  form->show();
  QApplication::processEvents();

  t.restart();
  form->document().Open_DB(path);
  QTableView* v = woodGrid->view();
  v->viewport()->repaint();
  const double open = seconds(t);

  t.restart();
  v->viewport()->repaint();
  const double repaint = seconds(t);

  t.restart();
  pageDown(v);
  v->viewport()->repaint();
  const double page = seconds(t);

  t.restart();
  woodGrid->titleClick(woodGrid->columnOf(QStringLiteral("DATE")), false);
  v->viewport()->repaint();
  const double sort = seconds(t);

  t.restart();
  pageDown(v);
  v->viewport()->repaint();
  const double sortedPage = seconds(t);

  t.restart();
  woodGrid->selectAll();
  v->viewport()->repaint();
  const double all = seconds(t);

  // The two halves of Ctrl+A: storing the rows' values, and the statistics over them.
  woodGrid->clearSelection(false);
  t.restart();
  {
    const QSignalBlocker quiet(woodGrid);
    woodGrid->selectAll();
  }
  const double store = seconds(t);
  t.restart();
  form->gridCommands().showSelectionStats(woodGrid);
  const double stats = seconds(t);

  const long rssKb = statusKb("VmRSS:");
  const long peakKb = statusKb("VmHWM:");
  std::printf("table: %d rows, %.0f MB; rows in the wood grid: %d\n", kRows, fileMb, woodGrid->rowCount());
  std::printf("baseline cat FILE > /dev/null:       %8.3f s\n", cat);
  std::printf("Open_DB to first painted grid:       %8.3f s  (%.2f x cat)\n", open, open / cat);
  std::printf("repaint of the grid:                 %8.4f s  (%.2f of a 60 Hz frame)\n", repaint, repaint * 60);
  std::printf("page down and repaint:               %8.4f s  (%.2f of a 60 Hz frame)\n", page, page * 60);
  std::printf("title click sorting by DATE:         %8.3f s  (%.2f x cat)\n", sort, sort / cat);
  std::printf("page down in DATE order:             %8.4f s  (%.2f of a 60 Hz frame)\n", sortedPage, sortedPage * 60);
  std::printf("Ctrl+A with footers (%d rows):   %8.3f s  (%.2f x cat)  footers W %s, W_MIN %s\n",
              woodGrid->selectedCount(), all, all / cat, qPrintable(woodGrid->footerText(QStringLiteral("W"))),
              qPrintable(woodGrid->footerText(QStringLiteral("W_MIN"))));
  std::printf("  of which storing the selected rows:  %8.3f s, statistics: %.3f s\n", store, stats);
  std::printf("memory: %.0f MB now, %.0f MB peak (%.2f x the file)\n", rssKb / 1024.0, peakKb / 1024.0,
              peakKb / 1024.0 * 1.048576 / fileMb);
  form->exitProgram();
  delete form;
  hv::setUserInteraction(nullptr);
  return 0;
}
