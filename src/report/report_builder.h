#pragma once
// Lays a report template out over rows, in two passes: the first places the
// bands and breaks pages, the second fills the texts, so that [TOTALPAGES] is
// known when the footers are written.
#include <QString>
#include <functional>
#include <optional>

#include "report/report_pages.h"
#include "report/report_template.h"

namespace hv::report {

// The rows a detail band is fed with: a data link.
class RowSource {
 public:
  virtual ~RowSource() = default;
  virtual int rowCount() = 0;
  // A field of row (0-based); nullopt prints an empty cell. May throw hv::Error.
  virtual std::optional<QString> fieldText(int row, const QString& field) = 0;
};

// Rows held in memory, for reports built without a table.
class ListRowSource : public RowSource {
 public:
  ListRowSource(QStringList fields, QList<QList<std::optional<QString>>> rows)
      : fields_(std::move(fields)), rows_(std::move(rows)) {}
  int rowCount() override { return int(rows_.size()); }
  std::optional<QString> fieldText(int row, const QString& field) override;

 private:
  QStringList fields_;
  QList<QList<std::optional<QString>>> rows_;
};

// Told of each page being formed (pass 1 or 2, 1-based page number); returns
// false to cancel.
using BuildProgress = std::function<bool(int pass, int page)>;

// nullopt when cancelled. Errors of the row source pass through (hv::Error).
std::optional<BuiltReport> buildReport(const ReportTemplate& tmpl, RowSource& rows,
                                       const BuildProgress& progress = {});

}  // namespace hv::report
