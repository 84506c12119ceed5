// hygrovan-cli dump: prints a table's live rows as tab-separated UTF-8 text.
#include "cli.h"
#include "platform/error.h"
#include "store/db_table.h"
#include "table_args.h"

namespace {

int run(const QStringList& args) {
  hv::cli::TableArgs a;
  const hv::cli::TableArgsError e = hv::cli::parseTableArgs(args, {}, &a);
  if (e.kind == hv::cli::TableArgsError::BadArchive) {
    hv::cli::err() << "hygrovan-cli dump: bad archive number '" << e.arg << "'\n";
    return 2;
  }
  if (e.kind != hv::cli::TableArgsError::None || a.files.isEmpty() || (a.descending && a.sortField.isEmpty())) {
    hv::cli::err() << "usage: hygrovan-cli dump FILE.db [--archive K] [--sort FIELD [--desc]]\n";
    return 2;
  }
  if (!a.sortField.isEmpty() && !hv::measurementFields().contains(a.sortField)) {
    hv::cli::err() << "hygrovan-cli dump: no field '" << a.sortField << "'\n";
    return 2;
  }

  hv::TDbTable table;
  if (!hv::cli::openReadOnly(table, a.files[0])) return 1;
  hv::cli::showArchiveView(table, a.archive, a.sortField, a.descending, QStringLiteral("dump"));
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
  return 0;
}

hv::cli::Registration reg("dump", "dump FILE.db [--archive K] [--sort FIELD [--desc]]   print the table's rows", &run);

}  // namespace
