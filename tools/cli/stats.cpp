// hygrovan-cli stats: the footers an archive grid shows for a selection of
// its rows, computed by the grids' own statistics code.
#include "cli.h"
#include "store/db_table.h"
#include "store/row_schema.h"
#include "table_args.h"
#include "views/archive_table.h"
#include "views/selection_stats.h"

namespace {

int run(const QStringList& args) {
  hv::cli::CommandLine line(QStringLiteral("stats"),
                            QStringLiteral("stats FILE.db --archive K [--sort FIELD [--desc]] --rows LIST"),
                            QStringLiteral("Выводит итоги, которые таблица показывает под W, Wmin и Wmax для "
                                           "выбранных строк: минимум/среднее/максимум. Вывод предназначен для "
                                           "программ: строки ПОЛЕ, табуляция, итог; имена полей W, W_MIN, W_MAX; "
                                           "числа с десятичной точкой при любых региональных настройках."));
  hv::cli::TableArgsRules rules;
  rules.maxArchive = 2;
  rules.archiveRequired = true;
  rules.rows = true;
  hv::cli::addTableOptions(line, rules);
  if (!line.parse(args)) return line.exitCode();
  hv::cli::TableArgs a;
  if (const QString why = hv::cli::readTableArgs(line, rules, &a); !why.isEmpty()) return line.usageError(why);

  try {
    hv::cli::ReadOnlyTable view(a, hv::archiveTag(hv::archiveKindAt(a.archive)));
    const hv::SelectionFooters f =
        hv::selectionFooters(hv::selectedRowsAt(view.table(), hv::cli::distinctPositions(a.rows)), QChar('.'));
    // Labelled with the fields' own names, which scripts look for.
    using hv::MeasurementField;
    hv::cli::out() << hv::fieldName(MeasurementField::W) << '\t' << f.w << '\n'
                   << hv::fieldName(MeasurementField::WMin) << '\t' << f.wMin << '\n'
                   << hv::fieldName(MeasurementField::WMax) << '\t' << f.wMax << '\n';
  } catch (const std::exception& e) {
    return hv::cli::reportFailure(e);
  }
  return 0;
}

hv::cli::Registration g_registration("stats", "итоги выбранных строк, мин./сред./макс. (вывод для программ)", &run);

}  // namespace
