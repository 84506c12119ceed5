// hygrovan-cli chart: the chart window's picture of a selection, into a file.
#include <QChart>
#include <QGraphicsScene>
#include <QRegularExpression>

#include "cli.h"
#include "graphs/chart_data.h"
#include "graphs/moisture_chart.h"
#include "platform/error.h"
#include "store/db_table.h"
#include "table_args.h"
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
  hv::cli::showArchiveView(table, archive, QString(), false, QString());
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
  QString curvesText;
  QSize size(698, 482);
  bool badSize = false;
  hv::cli::TableArgsRules desc;
  desc.maxArchive = 2;
  desc.maxFiles = 2;
  desc.sort = false;
  desc.rows = true;
  desc.extra = [&](const QStringList& args, int& i) {
    if (i + 1 >= args.size()) return false;
    if (args[i] == QLatin1String("--curves")) {
      curvesText = args[++i];
    } else if (args[i] == QLatin1String("--size")) {
      static const QRegularExpression re(QStringLiteral("^(\\d{2,5})x(\\d{2,5})$"));
      const auto m = re.match(args[++i]);
      size = m.hasMatch() ? QSize(m.captured(1).toInt(), m.captured(2).toInt()) : QSize();
      badSize = size.width() < 100 || size.height() < 100 || size.width() > 10000 || size.height() > 10000;
      if (badSize) i = args.size();  // stop reading here, as for any other fault
    } else {
      return false;
    }
    return true;
  };
  hv::cli::TableArgs a;
  switch (const hv::cli::TableArgsError e = hv::cli::parseTableArgs(args, desc, &a); e.kind) {
    case hv::cli::TableArgsError::None: break;
    case hv::cli::TableArgsError::BadArchive: return usage(QStringLiteral("--archive must be 0, 1 or 2"));
    case hv::cli::TableArgsError::UnknownOption:
      return usage(QStringLiteral("unknown or incomplete option '%1'").arg(e.arg));
    default: return usage(QStringLiteral("too many file names"));
  }
  if (badSize) return usage(QStringLiteral("--size must be WIDTHxHEIGHT, each 100 to 10000"));
  if (a.files.size() < 2) return usage(QStringLiteral("a table file and an output file are needed"));
  if (a.archive < 0) return usage(QStringLiteral("--archive is needed"));
  const QString& db = a.files[0];
  const QString& out = a.files[1];
  const int archive = a.archive;
  QList<int> positions;
  if (!hv::cli::parseRowList(a.rowText, &positions)) return usage(QStringLiteral("--rows must be a list like 1,3,5-9"));
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
