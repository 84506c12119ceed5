// hygrovan-cli stats: the footers an archive grid shows for a selection of
// its rows, computed by the grids' own statistics code.
#include "cli.h"
#include "platform/error.h"
#include "store/db_table.h"
#include "views/archive_table.h"
#include "views/selection_stats.h"

namespace {

const char* kUsage = "usage: hygrovan-cli stats FILE.db --archive K [--sort FIELD [--desc]] --rows LIST\n";

int run(const QStringList& args) {
  QString file, sortField, rowText;
  int archive = -1;
  bool descending = false;
  for (int i = 0; i < args.size(); ++i) {
    const QString& a = args[i];
    if (a == QLatin1String("--archive") && i + 1 < args.size()) {
      bool ok = false;
      archive = args[++i].toInt(&ok);
      if (!ok || archive < 0 || archive > 2) {
        hv::cli::err() << "hygrovan-cli stats: bad archive number '" << args[i] << "'\n";
        return 2;
      }
    } else if (a == QLatin1String("--sort") && i + 1 < args.size()) {
      sortField = args[++i].toUpper();
    } else if (a == QLatin1String("--desc")) {
      descending = true;
    } else if (a == QLatin1String("--rows") && i + 1 < args.size()) {
      rowText = args[++i];
    } else if (!a.startsWith(QLatin1String("--")) && file.isEmpty()) {
      file = a;
    } else {
      hv::cli::err() << kUsage;
      return 2;
    }
  }
  QList<int> rows;
  if (file.isEmpty() || archive < 0 || rowText.isEmpty() || (descending && sortField.isEmpty())) {
    hv::cli::err() << kUsage;
    return 2;
  }
  if (!hv::cli::parseRowList(rowText, &rows)) {
    hv::cli::err() << "hygrovan-cli stats: bad row list '" << rowText << "'\n";
    return 2;
  }
  if (!sortField.isEmpty() && !hv::measurementFields().contains(sortField)) {
    hv::cli::err() << "hygrovan-cli stats: no field '" << sortField << "'\n";
    return 2;
  }

  hv::TDbTable table;
  table.setFileName(file);
  table.setReadOnly(true);  // nothing is written, no index file is left behind
  try {
    table.open();
  } catch (const std::exception&) {
    hv::cli::err() << QStringLiteral("База данных повреждена !") << "\n";
    return 1;
  }
  try {
    table.setFilter(hv::archiveFilter(archive));
    table.setFiltered(true);
    table.refresh();
    if (!sortField.isEmpty()) {
      const QString tag = hv::archiveTag(archive);
      table.addIndex(tag, sortField, descending);
      table.setIndexName(tag);
      table.refresh();
    }
    QList<int> positions;
    positions.reserve(rows.size());
    for (int r : rows)  // a row is in a selection once
      if (!positions.contains(r - 1)) positions.append(r - 1);
    const hv::SelectionFooters f = hv::selectionFooters(hv::selectedRowsAt(table, positions));
    auto& out = hv::cli::out();
    out << "W\t" << f.w << '\n' << "W_MIN\t" << f.wMin << '\n' << "W_MAX\t" << f.wMax << '\n';
  } catch (const hv::Error& e) {
    hv::cli::err() << "hygrovan-cli stats: " << e.text() << '\n';
    return 1;
  }
  return 0;
}

hv::cli::Registration reg("stats", "stats FILE.db --archive K [--sort FIELD [--desc]] --rows LIST   footers of a selection",
                          &run);

}  // namespace
