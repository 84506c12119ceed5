#pragma once
// Feeds a report with the rows the table lets through, in the
// table's current order, without moving its current row.
#include "report/report_builder.h"

namespace hv {
class TDbTable;
}

namespace hv::report {

class TableDataLink : public RowSource {
 public:
  explicit TableDataLink(TDbTable& table) : table_(table) {}
  int rowCount() override;
  std::optional<QString> fieldText(int row, const QString& field) override;

 private:
  TDbTable& table_;
  int cachedRow_ = -1;
  qint64 cachedBookmark_ = -1;
};

}  // namespace hv::report
