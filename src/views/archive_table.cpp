#include "views/archive_table.h"

#include "platform/error.h"

namespace hv {

bool applyTitleSort(TDbTable& table, const QString& tag, const QString& field, TitleState state,
                    const SortBeside& beside) {
  if (beside && state != TitleState::None) {
    const std::unique_ptr<TDbTable::IndexBuild> build = table.beginAddIndex(tag, field, state == TitleState::Up);
    if (!beside(*build)) return false;
    table.finishAddIndex(*build);
  } else {
    table.setIndexName(QString());
    try {
      table.deleteIndex(tag);
      table.refresh();
    } catch (const std::exception&) {
      // A tag that cannot be removed is replaced below anyway.
    }
    if (state == TitleState::None) return false;
    table.addIndex(tag, field, state == TitleState::Up);
  }
  table.setIndexName(tag);
  table.rebuildIndexes();
  table.refresh();
  return true;
}

void resetTableSort(TDbTable& table, const QString& tag) {
  if (!table.active()) return;
  try {
    table.setIndexName(QString());
    table.deleteIndex(tag);
    table.refresh();
  } catch (const std::exception&) {
    // Resetting never reports: the table stays in whatever order it reached.
  }
}

void deleteRecordsAndPack(TDbTable& table, const QList<TDbTable::Bookmark>& records) {
  if (!table.active()) return;
  // Left out of the packed file rather than marked first: until it takes
  // the table's place the file is untouched, so giving up changes nothing.
  table.packWithout({records.begin(), records.end()});
  table.close();
  table.open();
  table.first();
}

void renumberView(TDbTable& table) {
  if (!table.active()) return;
  const int n = table.recordCount();
  std::vector<TDbTable::Bookmark> order;
  order.reserve(size_t(n));
  for (int i = 0; i < n; ++i) order.push_back(table.bookmarkAtRow(i));
  table.numberRecords(fieldName(MeasurementField::N), order);
  table.first();
}

QList<std::optional<QString>> readFields(TDbTable& table, TDbTable::Bookmark record, const QStringList& fields) {
  QList<std::optional<QString>> values;
  values.reserve(fields.size());
  for (const QString& f : fields) values.append(table.fieldTextAt(record, f));
  return values;
}

SelectedRow toSelectedRow(const QList<std::optional<QString>>& values) {
  SelectedRow r;
  auto at = [&](int i) { return i < values.size() ? values[i] : std::nullopt; };
  r.w = at(0);
  r.wMin = at(1);
  r.wMax = at(2);
  r.date = at(3);
  r.time = at(4);
  return r;
}

QList<SelectedRow> selectedRowsAt(TDbTable& table, const QList<int>& positions) {
  const int count = table.recordCount();
  const QStringList& fields = kBookmarkFields;
  QList<SelectedRow> rows;
  rows.reserve(positions.size());
  for (int p : positions) {
    if (p < 0 || p >= count)
      throw Error(QStringLiteral("Строки %1 нет: в архиве всего строк: %2.").arg(p + 1).arg(count));
    rows.append(toSelectedRow(readFields(table, table.bookmarkAtRow(p), fields)));
  }
  return rows;
}

}  // namespace hv
