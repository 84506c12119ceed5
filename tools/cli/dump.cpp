// hygrovan-cli dump: prints a table's live rows as tab-separated UTF-8 text.
#include "cli.h"
#include "platform/error.h"
#include "store/db_table.h"

namespace {

int run(const QStringList& args) {
  QString file, sortField;
  int archive = -1;
  bool descending = false;
  for (int i = 0; i < args.size(); ++i) {
    const QString& a = args[i];
    if (a == QLatin1String("--archive") && i + 1 < args.size()) {
      bool ok = false;
      archive = args[++i].toInt(&ok);
      if (!ok || archive < 0) {
        hv::cli::err() << "hygrovan-cli dump: bad archive number '" << args[i] << "'\n";
        return 2;
      }
    } else if (a == QLatin1String("--sort") && i + 1 < args.size()) {
      sortField = args[++i].toUpper();
    } else if (a == QLatin1String("--desc")) {
      descending = true;
    } else if (!a.startsWith(QLatin1String("--")) && file.isEmpty()) {
      file = a;
    } else {
      hv::cli::err() << "usage: hygrovan-cli dump FILE.db [--archive K] [--sort FIELD [--desc]]\n";
      return 2;
    }
  }
  if (file.isEmpty() || (descending && sortField.isEmpty())) {
    hv::cli::err() << "usage: hygrovan-cli dump FILE.db [--archive K] [--sort FIELD [--desc]]\n";
    return 2;
  }
  if (!sortField.isEmpty() && !hv::measurementFields().contains(sortField)) {
    hv::cli::err() << "hygrovan-cli dump: no field '" << sortField << "'\n";
    return 2;
  }

  hv::TDbTable table;
  table.setFileName(file);
  // Reading only: the file is never written and no index file is left behind.
  table.setReadOnly(true);
  try {
    table.open();
  } catch (const hv::Error&) {
    hv::cli::err() << QStringLiteral("База данных повреждена !") << "\n";
    return 1;
  }
  if (archive >= 0) {
    table.setFilter(QStringLiteral("N_ARC=%1").arg(archive));
    table.setFiltered(true);
  }
  if (!sortField.isEmpty()) {
    table.addIndex(QStringLiteral("dump"), sortField, descending);
    table.setIndexName(QStringLiteral("dump"));
  }
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
