// hygrovan-cli chart: the chart window's picture of a selection, into a file.
#include <QChart>
#include <QGraphicsScene>
#include <QRegularExpression>

#include "cli.h"
#include "graphs/chart_data.h"
#include "graphs/moisture_chart.h"
#include "platform/error.h"
#include "platform/file_names.h"
#include "store/db_table.h"
#include "table_args.h"
#include "views/archive_table.h"
#include "views/selection_stats.h"

namespace {

bool parseCurves(const QString& text, hv::CurveChoice* out) {
  *out = {};
  for (const QString& part : text.split(QChar(','), Qt::SkipEmptyParts)) {
    const QString p = part.trimmed().toLower();
    if (p == QLatin1String("w"))
      out->w = true;
    else if (p == QLatin1String("wmin"))
      out->wMin = true;
    else if (p == QLatin1String("wmax"))
      out->wMax = true;
    else
      return false;
  }
  return out->any();
}

// The rows of --rows by their 1-based places in the archive.
QList<hv::SelectedRow> readRows(const hv::cli::TableArgs& a) {
  hv::cli::ReadOnlyTable view(a, QString());
  hv::TDbTable& table = view.table();
  const int archive = a.archive;
  const int count = table.recordCount();
  QList<hv::SelectedRow> rows;
  for (int pos : a.rows) {
    if (pos < 1 || pos > count)
      throw hv::Error(QStringLiteral("строки %1 нет: в архиве %2 строк: %3").arg(pos).arg(archive).arg(count));
    const hv::TDbTable::Bookmark b = table.bookmarkAtRow(pos - 1);
    rows.append(hv::toSelectedRow(hv::readFields(table, b, hv::kBookmarkFields)));
  }
  table.close();
  return rows;
}

int run(const QStringList& args) {
  hv::cli::CommandLine line(
      QStringLiteral("chart"),
      QStringLiteral("chart FILE.db --archive K --rows LIST --curves W,Wmin,Wmax OUT.png|OUT.pdf [--size 698x482]"),
      QStringLiteral("Рисует график выбранных строк, как его показывает окно графика, в рисунок PNG "
                     "или документ PDF."));
  hv::cli::TableArgsRules rules;
  rules.files.append({QStringLiteral("OUT"), QStringLiteral("Файл для записи: OUT.png или OUT.pdf.")});
  rules.maxArchive = 2;
  rules.archiveRequired = true;
  rules.sort = false;
  rules.rows = true;
  hv::cli::addTableOptions(line, rules);
  line.addValueOption(QStringLiteral("curves"), QStringLiteral("LIST"),
                      QStringLiteral("Кривые графика через запятую: W, Wmin, Wmax."));
  line.addValueOption(QStringLiteral("size"), QStringLiteral("WIDTHxHEIGHT"),
                      QStringLiteral("Размер рисунка в точках, каждая сторона от 100 до 10000 (698x482)."));
  if (!line.parse(args)) return line.exitCode();
  hv::cli::TableArgs a;
  if (const QString why = hv::cli::readTableArgs(line, rules, &a); !why.isEmpty()) return line.usageError(why);
  QSize size(698, 482);
  if (line.isSet(QStringLiteral("size"))) {
    static const QRegularExpression re(QStringLiteral("^(\\d{2,5})x(\\d{2,5})$"));
    const auto m = re.match(line.value(QStringLiteral("size")));
    size = m.hasMatch() ? QSize(m.captured(1).toInt(), m.captured(2).toInt()) : QSize();
    if (size.width() < 100 || size.height() < 100 || size.width() > 10000 || size.height() > 10000)
      return line.usageError(QStringLiteral("--size: нужно WIDTHxHEIGHT, каждая сторона от 100 до 10000"));
  }
  hv::CurveChoice curves;
  if (!parseCurves(line.value(QStringLiteral("curves")), &curves))
    return line.usageError(QStringLiteral("--curves: нужен список из W, Wmin, Wmax"));
  const QString& out = a.files[1];
  if (!out.endsWith(QLatin1String(".png"), Qt::CaseInsensitive) &&
      !out.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive))
    return line.usageError(QStringLiteral("имя выходного файла должно оканчиваться на .png или .pdf"));
  if (line.checkOutputs({out}, {a.files[0]})) return line.exitCode();

  try {
    hv::FilePath picture(out, hv::FilePath::Write);
    const QList<hv::SelectedRow> rows = readRows(a);
    const hv::SelectionFooters footers = hv::selectionFooters(rows);  // as the grid footers read
    QGraphicsScene scene;
    QChart* chart = hv::createMoistureChart();
    scene.addItem(chart);
    chart->resize(size);
    hv::fillMoistureChart(chart, hv::buildChartData(rows, curves), curves, footers);
    hv::saveChartPicture(chart, picture.path());
    if (QString why; !picture.commit(&why)) throw hv::Error(QStringLiteral("Не удалось записать %1: %2").arg(out, why));
  } catch (const std::exception& e) {
    return hv::cli::reportFailure(e);
  }
  return 0;
}

hv::cli::Registration g_registration("chart", "график выбранных строк в рисунок PNG или документ PDF", &run);

}  // namespace
