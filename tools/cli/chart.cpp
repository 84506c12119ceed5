// hygrovan-cli chart: the chart window's picture of a selection, into a file.
#include <QChart>
#include <QGraphicsScene>
#include <QRegularExpression>

#include "cli.h"
#include "graphs/chart_data.h"
#include "graphs/drying_forecast.h"
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

// The rows of --rows by their 1-based places in the archive, with their
// materials when asked for.
QList<hv::SelectedRow> readRows(const hv::cli::TableArgs& a, QList<QString>* materials) {
  hv::cli::ReadOnlyTable view(a, QString());
  hv::TDbTable& table = view.table();
  const int archive = a.archive;
  const int count = table.recordCount();
  QList<hv::SelectedRow> rows;
  for (int pos : a.rows) {
    if (pos < 1 || pos > count)
      throw hv::Error(
          QStringLiteral("Строки %1 нет: в архиве %2 всего строк: %3.").arg(pos).arg(archive).arg(count));
    const hv::TDbTable::Bookmark b = table.bookmarkAtRow(pos - 1);
    rows.append(hv::toSelectedRow(hv::readFields(table, b, hv::kBookmarkFields)));
    if (materials)
      materials->append(table.fieldTextAt(b, hv::fieldName(hv::MeasurementField::Material)).value_or(QString()));
  }
  table.close();
  return rows;
}

int run(const QStringList& args) {
  hv::cli::CommandLine line(
      QStringLiteral("chart"),
      QStringLiteral("chart FILE.db --archive K --rows LIST --curves W,Wmin,Wmax OUT.png|OUT.pdf [--size 698x482] "
                     "[--target X] [--forecast [--equilibrium ME]] [--by-material]"),
      QStringLiteral("Рисует график выбранных строк, как его показывает окно графика, в рисунок PNG "
                     "или документ PDF. С --forecast печатает прогноз высыхания строками «имя<TAB>значение»: "
                     "«tau_days» (постоянная времени в сутках), «r2» (R²) и «reaches» (дата и время "
                     "достижения целевой влажности); этот вывод предназначен для программ: числа с десятичной "
                     "точкой, дата в виде ISO 8601 при любых региональных настройках. Если прогноз невозможен, "
                     "причина выводится в поток ошибок, а код выхода равен 1."));
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
  line.addValueOption(QStringLiteral("target"), QStringLiteral("X"),
                      QStringLiteral("Целевая влажность в процентах: линия на графике с подписью значения."));
  line.addFlag(QStringLiteral("forecast"),
               QStringLiteral("Прогноз высыхания до целевой влажности (нужен --target): пунктирная кривая и оценка."));
  line.addValueOption(QStringLiteral("equilibrium"), QStringLiteral("ME"),
                      QStringLiteral("Равновесная влажность для прогноза в процентах (по умолчанию 0)."));
  line.addFlag(QStringLiteral("by-material"), QStringLiteral("Каждый материал отдельной кривой своего цвета."));
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
  hv::ChartOptions options;
  if (line.isSet(QStringLiteral("target"))) {
    options.target = hv::parseMoistureInput(line.value(QStringLiteral("target")));
    if (!options.target) return line.usageError(QStringLiteral("--target: нужна влажность от 0 до 100"));
  }
  options.forecast = line.isSet(QStringLiteral("forecast"));
  if (options.forecast && !options.target) return line.usageError(QStringLiteral("--forecast: нужен --target"));
  if (line.isSet(QStringLiteral("equilibrium"))) {
    if (!options.forecast) return line.usageError(QStringLiteral("--equilibrium: только вместе с --forecast"));
    const std::optional<double> me = hv::parseMoistureInput(line.value(QStringLiteral("equilibrium")));
    if (!me) return line.usageError(QStringLiteral("--equilibrium: нужна влажность от 0 до 100"));
    options.equilibrium = *me;
  }
  options.byMaterial = line.isSet(QStringLiteral("by-material"));
  const QString& out = a.files[1];
  if (!out.endsWith(QLatin1String(".png"), Qt::CaseInsensitive) &&
      !out.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive))
    return line.usageError(QStringLiteral("имя выходного файла должно оканчиваться на .png или .pdf"));
  if (line.checkOutputs({out}, {a.files[0]})) return line.exitCode();

  try {
    hv::FilePath picture(out, hv::FilePath::Write);
    hv::ChartAdditions additions;
    const QList<hv::SelectedRow> rows = readRows(a, options.byMaterial ? &additions.materials : nullptr);
    const hv::SelectionFooters footers = hv::selectionFooters(rows);  // as the grid footers read
    const hv::ChartData data = hv::buildChartData(rows, curves);
    additions.target = options.target;
    if (options.forecast)
      additions.forecast = hv::forecastDrying(hv::dryingPoints(rows, curves), *options.target, options.equilibrium);
    QGraphicsScene scene;
    QChart* chart = hv::createMoistureChart();
    scene.addItem(chart);
    chart->resize(size);
    hv::fillMoistureChart(chart, data, curves, footers, additions);
    hv::saveChartPicture(chart, picture.path());
    if (QString why; !picture.commit(&why)) throw hv::Error(hv::writeErrorText(out, hv::writeFailureReason(out, 0), why));
    // The picture shows the refusal too, as the window does.
    if (const auto& f = additions.forecast) {
      if (!f->ok()) return hv::cli::reportFailure(hv::Error(f->refusal));
      hv::cli::out() << "tau_days\t" << QString::number(f->tau, 'f', 2) << '\n'
                     << "r2\t" << QString::number(f->r2, 'f', 4) << '\n'
                     << "reaches\t" << hv::isoDateTime(f->reaches()) << '\n';
    }
  } catch (const std::exception& e) {
    return hv::cli::reportFailure(e);
  }
  return 0;
}

hv::cli::Registration g_registration("chart", "график выбранных строк в рисунок PNG или документ PDF", &run);

}  // namespace
