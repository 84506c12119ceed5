// Argument reading and table opening shared by the table subcommands.
#include "table_args.h"

#include <algorithm>
#include <vector>

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
                          ? QStringLiteral("Архив: 0 — древесина, 1 — бетон, 2 — сыпучие материалы.")
                          : QStringLiteral("Только строки архива K (0 — древесина, 1 — бетон, 2 — сыпучие)."));
  if (rules.sort) {
    line.addValueOption(kSort, QStringLiteral("FIELD"),
                        QStringLiteral("Строки в порядке этого поля, как их показывает таблица, "
                                       "отсортированная по нему."));
    line.addFlag(kDesc, QStringLiteral("Вместе с --sort: по убыванию."));
  }
  if (rules.rows || rules.rowsOptional)
    line.addValueOption(kRows, QStringLiteral("LIST"),
                        rules.rows ? QStringLiteral("Строки по местам в показанном порядке, с 1: список вида 1,3,5-9.")
                                   : QStringLiteral("Строки по местам в показанном порядке, с 1: список вида "
                                                    "1,3,5-9 (без него — все строки)."));
  for (const auto& [name, description] : rules.files) line.parser().addPositionalArgument(name, description);
}

QString readTableArgs(const CommandLine& line, const TableArgsRules& rules, TableArgs* out) {
  *out = {};
  out->files = line.positional();
  if (out->files.size() > rules.files.size()) return QStringLiteral("лишние имена файлов");
  if (line.isSet(kArchive)) {
    bool ok = false;
    out->archive = line.value(kArchive).toInt(&ok);
    if (!ok || out->archive < 0 || out->archive > rules.maxArchive)
      return rules.maxArchive == 2 ? QStringLiteral("--archive: допустимы 0, 1 и 2")
                                   : QStringLiteral("неверный номер архива \"%1\"").arg(line.value(kArchive));
  }
  if (rules.sort) {
    out->sortField = line.value(kSort).toUpper();
    out->descending = line.isSet(kDesc);
    if (line.isSet(kSort) && !measurementFields().contains(out->sortField))
      return QStringLiteral("нет поля \"%1\"").arg(line.value(kSort));
    if (out->descending && out->sortField.isEmpty()) return QStringLiteral("--desc указывается вместе с --sort FIELD");
  }
  if (out->files.size() < rules.files.size()) {
    QStringList missing;
    for (qsizetype i = out->files.size(); i < rules.files.size(); ++i) missing.append(rules.files[i].first);
    return QStringLiteral("не указано: ") + missing.join(QStringLiteral(", "));
  }
  if (rules.archiveRequired && out->archive < 0) return QStringLiteral("не указано: --archive K");
  if ((rules.rows || (rules.rowsOptional && line.isSet(kRows))) && !parseRowList(line.value(kRows), &out->rows))
    return QStringLiteral("--rows: нужен список вида 1,3,5-9");
  return {};
}

ReadOnlyTable::ReadOnlyTable(const QString& fileName) : file_(fileName, FilePath::Read) {
  table_.setFileName(file_.path());
  table_.setReadOnly(true);
  table_.open();
}

ReadOnlyTable::ReadOnlyTable(const TableArgs& args, const QString& sortTag) : ReadOnlyTable(args.files.at(0)) {
  if (args.archive >= 0) {
    table_.setFilter(ArchiveFilter(args.archive));
    table_.setFiltered(true);
  }
  if (!args.sortField.isEmpty()) {
    table_.addIndex(sortTag, args.sortField, args.descending);
    table_.setIndexName(sortTag);
  }
  table_.refresh();
}

QList<int> distinctPositions(const QList<int>& rows) {
  int top = 0;
  for (int r : rows) top = std::max(top, r);
  std::vector<bool> seen(size_t(top) + 1);
  QList<int> positions;
  positions.reserve(rows.size());
  for (int r : rows) {
    if (seen[size_t(r)]) continue;
    seen[size_t(r)] = true;
    positions.append(r - 1);
  }
  return positions;
}

}  // namespace hv::cli
