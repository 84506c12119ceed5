// hygrovan-cli chart: the chart window's picture of a selection, into a file.
#include <QChart>
#include <QGraphicsScene>
#include <QRegularExpression>

#include "cli.h"
#include "graphs/chart_data.h"
#include "graphs/moisture_chart.h"
#include "platform/error.h"
#include "store/db_table.h"
#include "views/selection_stats.h"

namespace {

constexpr char kUsage[] =
    "chart FILE.db --archive K --rows LIST --curves W,Wmin,Wmax OUT.png|OUT.pdf [--size 698x482]";

int usage(const QString& why) {
  hv::cli::err() << "hygrovan-cli chart: " << why << "\nUsage: hygrovan-cli " << kUsage << "\n";
  return 2;
}

bool parseCurves(const QString& text, hv::CurveChoice* out) {
  *out = {};
  for (const QString& part : text.split(QChar(','), Qt::SkipEmptyParts)) {
    const QString p = part.trimmed().toLower();
    if (p == QLatin1String("w")) out->w = true;
    else if (p == QLatin1String("wmin")) out->wMin = true;
    else if (p == QLatin1String("wmax")) out->wMax = true;
    else return false;
  }
  return out->any();
}

QList<hv::SelectedRow> readRows(const QString& dbPath, int archive, const QList<int>& positions) {
  hv::TDbTable table;
  table.setFileName(dbPath);
  table.open();
  table.setFilter(QStringLiteral("N_ARC=%1").arg(archive));
  table.setFiltered(true);
  table.setIndexName(QString());
  const int count = table.recordCount();
  QList<hv::SelectedRow> rows;
  for (int pos : positions) {
    if (pos < 1 || pos > count)
      throw hv::Error(QStringLiteral("row %1 is out of range: archive %2 has %3 rows").arg(pos).arg(archive).arg(count));
    const hv::TDbTable::Bookmark b = table.bookmarkAtRow(pos - 1);
    rows.append({table.fieldTextAt(b, QStringLiteral("W")), table.fieldTextAt(b, QStringLiteral("W_MIN")),
                 table.fieldTextAt(b, QStringLiteral("W_MAX")), table.fieldTextAt(b, QStringLiteral("DATE")),
                 table.fieldTextAt(b, QStringLiteral("TIME"))});
  }
  table.close();
  return rows;
}

int run(const QStringList& args) {
  QString db, out, rowsText, curvesText;
  int archive = -1;
  QSize size(698, 482);
  for (int i = 0; i < args.size(); ++i) {
    const QString& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == QLatin1String("--archive") && hasValue) {
      bool ok = false;
      archive = args[++i].toInt(&ok);
      if (!ok || archive < 0 || archive > 2) return usage(QStringLiteral("--archive must be 0, 1 or 2"));
    } else if (a == QLatin1String("--rows") && hasValue) {
      rowsText = args[++i];
    } else if (a == QLatin1String("--curves") && hasValue) {
      curvesText = args[++i];
    } else if (a == QLatin1String("--size") && hasValue) {
      static const QRegularExpression re(QStringLiteral("^(\\d{2,5})x(\\d{2,5})$"));
      const auto m = re.match(args[++i]);
      size = m.hasMatch() ? QSize(m.captured(1).toInt(), m.captured(2).toInt()) : QSize();
      if (size.width() < 100 || size.height() < 100 || size.width() > 10000 || size.height() > 10000)
        return usage(QStringLiteral("--size must be WIDTHxHEIGHT, each 100 to 10000"));
    } else if (a.startsWith(QLatin1String("--"))) {
      return usage(QStringLiteral("unknown or incomplete option '%1'").arg(a));
    } else if (db.isEmpty()) {
      db = a;
    } else if (out.isEmpty()) {
      out = a;
    } else {
      return usage(QStringLiteral("too many file names"));
    }
  }
  if (db.isEmpty() || out.isEmpty()) return usage(QStringLiteral("a table file and an output file are needed"));
  if (archive < 0) return usage(QStringLiteral("--archive is needed"));
  QList<int> positions;
  if (!hv::cli::parseRowList(rowsText, &positions)) return usage(QStringLiteral("--rows must be a list like 1,3,5-9"));
  hv::CurveChoice curves;
  if (!parseCurves(curvesText, &curves)) return usage(QStringLiteral("--curves must list W, Wmin and/or Wmax"));
  if (!out.endsWith(QLatin1String(".png"), Qt::CaseInsensitive) &&
      !out.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive))
    return usage(QStringLiteral("the output file must end in .png or .pdf"));

  try {
    const QList<hv::SelectedRow> rows = readRows(db, archive, positions);
    const hv::SelectionFooters footers = hv::selectionFooters(rows);  // as the grid footers read
    QGraphicsScene scene;
    QChart* chart = hv::createMoistureChart();
    scene.addItem(chart);
    chart->resize(size);
    hv::fillMoistureChart(chart, hv::buildChartData(rows, curves), curves, footers);
    hv::saveChartPicture(chart, out);
  } catch (const hv::Error& e) {
    hv::cli::err() << "hygrovan-cli chart: " << hv::defaultErrorReportText(e.text()) << "\n";
    return 1;
  }
  return 0;
}

hv::cli::Registration reg("chart", kUsage, &run);

}  // namespace
