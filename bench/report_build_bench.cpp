// The archive report over 10,000 rows: build, first page on screen, PDF.
// Each figure is also given as a ratio to a baseline measured in this run:
// reading the same 10,000 rows x 9 fields out of the table once.
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <cstdio>

#include "report/report_builder.h"
#include "report/table_data_link.h"
#include "store/db_table.h"

using namespace hv::report;

namespace {

constexpr int kRows = 10000;

double ms(QElapsedTimer& t) { return t.nsecsElapsed() / 1e6; }

template <class F>
double best(int runs, F f) {
  double b = 1e300;
  for (int i = 0; i < runs; ++i) {
    QElapsedTimer t;
    t.start();
    f();
    b = std::min(b, ms(t));
  }
  return b;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  QTemporaryDir dir;
  const QString db = QDir(dir.path()).filePath("bench.db");
  hv::TDbTable table;
  table.setFileName(db);
  table.createTable();
  table.open();
  for (int i = 0; i < kRows; ++i) {
    table.append();
    table.setFieldInt("N", i % 9999 + 1);  // N has four digits
    table.setFieldInt("N_ARC", 1);
    table.setFieldText("DATE", QString("%1.03.2024").arg(i % 28 + 1, 2, 10, QChar('0')));
    table.setFieldText("TIME", QString("12:%1:%2").arg(i / 60 % 60, 2, 10, QChar('0')).arg(i % 60, 2, 10, QChar('0')));
    if (i % 4)
      table.setFieldText("W", QString("%1,%2").arg(i % 90).arg(i % 10));
    else
      table.setFieldText("W_MIN", "5,5"), table.setFieldText("W_MAX", "17,2");
    table.setFieldText("MATERIAL", i % 2 ? "Бетон тяжелый" : "Газобетон D500");
    if (i % 3 == 0) table.setFieldText("N_IND", QString::number(i % 20));
    table.post();
  }
  table.setFilter("N_ARC=1");
  table.setFiltered(true);
  table.addIndex("tab2", "N", true);
  table.setIndexName("tab2");
  table.refresh();

  const QStringList fields = {"N", "DATE", "TIME", "W", "W_MIN", "W_MAX", "MATERIAL", "N_IND", "COMMENT"};
  TableDataLink link(table);
  const double baseline = best(3, [&] {
    qsizetype chars = 0;
    const int n = link.rowCount();
    for (int r = 0; r < n; ++r)
      for (const QString& f : fields) chars += link.fieldText(r, f).value_or(QString()).size();
    if (chars == 0) std::puts("no data");
  });

  std::optional<BuiltReport> report;
  const double build = best(3, [&] { report = buildReport(archiveReportTemplate(), link); });

  // First preview page: the whole page in a 1280x900 window, as the preview draws it.
  const double firstPage = best(5, [&] {
    const double scale = std::min(1250.0 / report->pageSize.width(), 870.0 / report->pageSize.height());
    QImage img(int(report->pageSize.width() * scale) + 1, int(report->pageSize.height() * scale) + 1,
               QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::white);
    QPainter p(&img);
    drawPage(p, report->pages[0], scale);
  });

  qint64 pdfBytes = 0;
  const double pdf = best(2, [&] {
    QBuffer buf;
    buf.open(QIODevice::WriteOnly);
    writePdf(*report, &buf);
    pdfBytes = buf.size();
  });

  std::printf("archive report, %d rows, %lld pages\n", kRows, (long long)report->pages.size());
  std::printf("  baseline (read all rows from the table): %8.1f ms\n", baseline);
  std::printf("  build (two passes):                       %8.1f ms  %6.2fx baseline  (goal < 1000 ms)\n", build,
              build / baseline);
  std::printf("  first preview page:                       %8.1f ms  %6.2fx baseline  (goal < 300 ms)\n",
              firstPage, firstPage / baseline);
  std::printf("  PDF of all pages (%lld KB):              %8.1f ms  %6.2fx baseline  (goal < 3000 ms)\n",
              (long long)(pdfBytes / 1024), pdf, pdf / baseline);
  table.close();
  return 0;
}
