#include "report/table_data_link.h"

#include "platform/error.h"
#include "store/db_table.h"

namespace hv::report {

int TableDataLink::rowCount() {
  if (!table_.active()) throw Error(QStringLiteral("Таблица не открыта."));
  rows_ = table_.rowsOf(table_.activeFilter(), table_.indexName());
  return int(rows_.size());
}

std::optional<QString> TableDataLink::fieldText(int row, const QString& field) {
  if (row < 0 || std::size_t(row) >= rows_.size()) return std::nullopt;
  return table_.fieldTextAt(rows_[std::size_t(row)], field);
}

}  // namespace hv::report
