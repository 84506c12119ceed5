// Argument reading and table opening shared by the table subcommands.
#include "table_args.h"

#include <exception>

#include "cli.h"

namespace hv::cli {

TableArgsError parseTableArgs(const QStringList& args, const TableArgsRules& desc, TableArgs* out) {
  *out = {};
  for (int i = 0; i < args.size(); ++i) {
    const QString& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (desc.extra && desc.extra(args, i)) continue;
    if (a == QLatin1String("--archive") && hasValue) {
      bool ok = false;
      out->archive = args[++i].toInt(&ok);
      if (!ok || out->archive < 0 || out->archive > desc.maxArchive) return {TableArgsError::BadArchive, args[i]};
    } else if (desc.sort && a == QLatin1String("--sort") && hasValue) {
      out->sortText = args[++i];
      out->sortField = out->sortText.toUpper();
      if (desc.checkSortField && !measurementFields().contains(out->sortField))
        return {TableArgsError::BadSortField, out->sortText};
    } else if (desc.sort && a == QLatin1String("--desc")) {
      out->descending = true;
    } else if (desc.rows && a == QLatin1String("--rows") && hasValue) {
      out->rowText = args[++i];
    } else if (a.startsWith(QLatin1String("--"))) {
      return {TableArgsError::UnknownOption, a};
    } else if (out->files.size() < desc.maxFiles) {
      out->files.append(a);
    } else {
      return {TableArgsError::TooManyFiles, a};
    }
  }
  return {};
}

void showArchiveView(TDbTable& table, int archive, const QString& sortField, bool descending, const QString& tag) {
  if (archive >= 0) {
    table.setFilter(QStringLiteral("N_ARC=%1").arg(archive));
    table.setFiltered(true);
  }
  if (!sortField.isEmpty()) {
    table.addIndex(tag, sortField, descending);
    table.setIndexName(tag);
  }
}

bool openReadOnly(TDbTable& table, const QString& file) {
  table.setFileName(file);
  table.setReadOnly(true);
  try {
    table.open();
  } catch (const std::exception&) {
    err() << QStringLiteral("База данных повреждена !") << "\n";
    return false;
  }
  return true;
}

}  // namespace hv::cli
