// hygrovan-cli dump: prints a table's live rows as tab-separated UTF-8 text.
#include "cli.h"
#include "store/db_table.h"
#include "table_args.h"

namespace {

int run(const QStringList& args) {
  hv::cli::CommandLine line(
      QStringLiteral("dump"), QStringLiteral("dump FILE.db [--archive K] [--sort FIELD [--desc]]"),
      QStringLiteral("Выводит строки таблицы, по одной в строке. Вывод предназначен для программ: "
                     "кодировка UTF-8, поля разделены табуляцией, значения полей — "
                     "как они записаны в таблице."));
  const hv::cli::TableArgsRules rules;
  hv::cli::addTableOptions(line, rules);
  if (!line.parse(args)) return line.exitCode();
  hv::cli::TableArgs a;
  if (const QString why = hv::cli::readTableArgs(line, rules, &a); !why.isEmpty()) return line.usageError(why);

  try {
    hv::cli::ReadOnlyTable view(a, QStringLiteral("dump"));
    hv::TDbTable& table = view.table();
    const QStringList& fields = hv::measurementFields();
    auto& out = hv::cli::out();
    const int rows = table.recordCount();
    for (int row = 0; row < rows; ++row) {
      const hv::TDbTable::Bookmark b = table.bookmarkAtRow(row);
      for (int f = 0; f < fields.size(); ++f) {
        if (f) out << '\t';
        out << table.fieldTextAt(b, fields[f]).value_or(QString());
      }
      out << '\n';
    }
    table.close();
  } catch (const std::exception& e) {
    return hv::cli::reportFailure(e);
  }
  return 0;
}

hv::cli::Registration g_registration("dump", "строки таблицы (вывод для программ)", &run);

}  // namespace
