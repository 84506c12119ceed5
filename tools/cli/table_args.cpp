// Argument reading and table opening shared by the table subcommands.
#include "table_args.h"

namespace hv::cli {

namespace {
const QString kArchive = QStringLiteral("archive");
const QString kSort = QStringLiteral("sort");
const QString kDesc = QStringLiteral("desc");
const QString kRows = QStringLiteral("rows");
}  // namespace

void addTableOptions(CommandLine& line, const TableArgsRules& rules) {
  line.addValueOption(kArchive, QStringLiteral("K"),
                      rules.maxArchive == 2
                          ? QStringLiteral("The archive: 0 wood, 1 concrete, 2 bulk materials.")
                          : QStringLiteral("Only the rows of archive K (0 wood, 1 concrete, 2 bulk)."));
  if (rules.sort) {
    line.addValueOption(kSort, QStringLiteral("FIELD"),
                        QStringLiteral("Rows in the order of this field, as a grid sorted on it shows them."));
    line.addFlag(kDesc, QStringLiteral("With --sort: descending."));
  }
  if (rules.rows)
    line.addValueOption(kRows, QStringLiteral("LIST"),
                        QStringLiteral("Rows by their place in the view, from 1: a list like 1,3,5-9."));
  for (const auto& [name, description] : rules.files) line.parser().addPositionalArgument(name, description);
}

QString readTableArgs(const CommandLine& line, const TableArgsRules& rules, TableArgs* out) {
  *out = {};
  out->files = line.positional();
  if (out->files.size() > rules.files.size()) return QStringLiteral("too many file names");
  if (line.isSet(kArchive)) {
    bool ok = false;
    out->archive = line.value(kArchive).toInt(&ok);
    if (!ok || out->archive < 0 || out->archive > rules.maxArchive)
      return rules.maxArchive == 2 ? QStringLiteral("--archive must be 0, 1 or 2")
                                   : QStringLiteral("bad archive number '%1'").arg(line.value(kArchive));
  }
  if (rules.sort) {
    out->sortField = line.value(kSort).toUpper();
    out->descending = line.isSet(kDesc);
    if (line.isSet(kSort) && !measurementFields().contains(out->sortField))
      return QStringLiteral("no field named '%1'").arg(line.value(kSort));
    if (out->descending && out->sortField.isEmpty()) return QStringLiteral("--desc goes with --sort FIELD");
  }
  if (out->files.size() < rules.files.size()) {
    QStringList missing;
    for (qsizetype i = out->files.size(); i < rules.files.size(); ++i) missing.append(rules.files[i].first);
    return missing.join(QStringLiteral(" and ")) +
           (missing.size() > 1 ? QStringLiteral(" are needed") : QStringLiteral(" is needed"));
  }
  if (rules.archiveRequired && out->archive < 0) return QStringLiteral("--archive K is needed");
  if (rules.rows && !parseRowList(line.value(kRows), &out->rows))
    return QStringLiteral("--rows must be a list like 1,3,5-9");
  return {};
}

void openTable(TDbTable& table, const QString& file, bool readOnly) {
  table.setFileName(file);
  table.setReadOnly(readOnly);
  table.open();
}

void showArchiveView(TDbTable& table, int archive, const QString& sortField, bool descending, const QString& tag) {
  if (archive >= 0) {
    table.setFilter(archiveFilter(archiveKindAt(archive)));
    table.setFiltered(true);
  }
  if (!sortField.isEmpty()) {
    table.addIndex(tag, sortField, descending);
    table.setIndexName(tag);
  }
}

}  // namespace hv::cli
