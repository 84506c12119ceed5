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
    // The rows the arguments ask for, read a batch at a time.
    table.readRows(table.rowsOf(table.activeFilter(), table.indexName()), fields,
                   [&](std::size_t, int f, std::optional<std::string_view> text) {
                     if (f) out << '\t';
                     if (text) out << QString::fromUtf8(text->data(), qsizetype(text->size()));
                     if (f == fields.size() - 1) out << '\n';
                   });
    table.close();
  } catch (const std::exception& e) {
    return hv::cli::reportFailure(e);
  }
  return 0;
}

hv::cli::Registration g_registration("dump", "строки таблицы (вывод для программ)", &run);

}  // namespace
