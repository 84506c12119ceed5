// hygrovan-cli stats: the footers an archive grid shows for a selection of
// its rows, computed by the grids' own statistics code.
#include "cli.h"
#include "platform/error.h"
#include "store/db_table.h"
#include "table_args.h"
#include "views/archive_table.h"
#include "views/selection_stats.h"

namespace {

const char* kUsage = "usage: hygrovan-cli stats FILE.db --archive K [--sort FIELD [--desc]] --rows LIST\n";

int run(const QStringList& args) {
  hv::cli::TableArgsRules desc;
  desc.maxArchive = 2;
  desc.rows = true;
  hv::cli::TableArgs a;
  const hv::cli::TableArgsError e = hv::cli::parseTableArgs(args, desc, &a);
  if (e.kind == hv::cli::TableArgsError::BadArchive) {
    hv::cli::err() << "hygrovan-cli stats: bad archive number '" << e.arg << "'\n";
    return 2;
  }
  QList<int> rows;
  if (e.kind != hv::cli::TableArgsError::None || a.files.isEmpty() || a.archive < 0 || a.rowText.isEmpty() ||
      (a.descending && a.sortField.isEmpty())) {
    hv::cli::err() << kUsage;
    return 2;
  }
  if (!hv::cli::parseRowList(a.rowText, &rows)) {
    hv::cli::err() << "hygrovan-cli stats: bad row list '" << a.rowText << "'\n";
    return 2;
  }
  if (!a.sortField.isEmpty() && !hv::measurementFields().contains(a.sortField)) {
    hv::cli::err() << "hygrovan-cli stats: no field '" << a.sortField << "'\n";
    return 2;
  }

  hv::TDbTable table;
  if (!hv::cli::openReadOnly(table, a.files[0])) return 1;
  try {
    hv::cli::showArchiveView(table, a.archive, a.sortField, a.descending, hv::archiveTag(a.archive));
    table.refresh();
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
