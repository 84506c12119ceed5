#pragma once
// Lays a report template out over rows, in two passes: the first breaks the
// pages (which rows each page carries), the second places the bands and fills
// the texts of a page, so that [TOTALPAGES] is known when the footers are
// written. The second pass runs for a page when it is wanted.
#include <QString>
#include <functional>
#include <optional>
#include <vector>

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

// A report laid out as page breaks; each page is formed from the template and
// its rows when asked for. The rows must outlive it and stay as they were.
class LaidOutReport : public PageSource {
 public:
  LaidOutReport(const ReportTemplate& tmpl, RowSource& rows, std::vector<int> firstRows, int rowCount)
      : tmpl_(tmpl), rows_(&rows), firstRows_(std::move(firstRows)), rowCount_(rowCount) {}
  QSizeF paperSize() const override { return tmpl_.pageSize; }
  int pageCount() const override { return int(firstRows_.size()); }
  Page page(int index) const override;  // errors of the row source pass through
  // The rows page index carries: [first, end).
  int firstRow(int index) const { return firstRows_[size_t(index)]; }
  int endRow(int index) const;

 private:
  ReportTemplate tmpl_;
  RowSource* rows_;
  std::vector<int> firstRows_;  // per page
  int rowCount_;
};

// The first pass only (progress is told of pass 1); no row is read. nullopt
// when cancelled. Errors of the row source's count pass through.
std::optional<LaidOutReport> layOutReport(const ReportTemplate& tmpl, RowSource& rows,
                                          const BuildProgress& progress = {});

// Both passes, every page formed and held. nullopt when cancelled. Errors of
// the row source pass through (hv::Error).
std::optional<BuiltReport> buildReport(const ReportTemplate& tmpl, RowSource& rows,
                                       const BuildProgress& progress = {});

}  // namespace hv::report
