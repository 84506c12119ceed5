#include "report/table_data_link.h"

#include "platform/error.h"
#include "store/db_table.h"

namespace hv::report {

int TableDataLink::rowCount() {
  if (!table_.active()) throw Error(QStringLiteral("Таблица не открыта."));
  cachedRow_ = -1;
  return table_.recordCount();
}

std::optional<QString> TableDataLink::fieldText(int row, const QString& field) {
  if (row != cachedRow_) {
    cachedBookmark_ = table_.bookmarkAtRow(row);
    cachedRow_ = row;
  }
  return table_.fieldTextAt(cachedBookmark_, field);
}

}  // namespace hv::report
