#pragma once
// Feeds a report with the rows the table lets through, in the table's
// current order when the report is laid out. It reads them without moving
// the table: the grids go on showing what they showed, and a page formed
// later still carries the rows it was given.
#include <cstdint>
#include <vector>

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
  std::vector<std::int64_t> rows_;  // the records (bookmarks), as taken by rowCount()
};

}  // namespace hv::report
