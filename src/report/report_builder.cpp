#include "report/report_builder.h"

#include <cmath>

namespace hv::report {

std::optional<QString> ListRowSource::fieldText(int row, const QString& field) {
  const qsizetype col = fields_.indexOf(field);
  if (row < 0 || row >= rows_.size() || col < 0 || col >= rows_[row].size()) return std::nullopt;
  return rows_[row][col];
}

namespace {

constexpr double kEps = 1e-6;

QString expandMacros(QString text, int page, int total) {
  text.replace(QStringLiteral("[PAGE#]"), QString::number(page));
  text.replace(QStringLiteral("[TOTALPAGES]"), QString::number(total));
  return text;
}

// Fills the item's lines: wrapped inside the frame, cut to the lines that fit
// the height (at least one), the last one shortened with an ellipsis when
// text was cut.
void layOutText(PageItem& item, bool wordWrap) {
  const double pad = item.frame ? kFramePadding : 0;
  const double widthPt = unitsToPoints(std::max(0.0, item.rect.width() - 2 * pad));
  if (!wordWrap) {
    item.lines = item.text.split(QChar('\n'));
    return;
  }
  QStringList lines = wrapText(item.text, widthPt, item.font);
  const double lh = lineHeight(item.font);
  const int fit = std::max(1, int(std::floor(unitsToPoints(item.rect.height()) / lh + kEps)));
  if (lines.size() > fit) {
    lines = lines.mid(0, fit);
    lines.last() = elideRight(lines.last() + QChar(0x2026), widthPt, item.font);
  }
  item.lines = lines;
}

}  // namespace

namespace {

struct Geometry {
  const BandTemplate* title;
  const BandTemplate* header;
  const BandTemplate* detail;
  const BandTemplate* footer;
  double left, width, bodyEnd;
  explicit Geometry(const ReportTemplate& tmpl)
      : title(tmpl.band(BandKind::Title)),
        header(tmpl.band(BandKind::PageHeader)),
        detail(tmpl.band(BandKind::Detail)),
        footer(tmpl.band(BandKind::PageFooter)),
        left(tmpl.leftMargin),
        width(tmpl.pageSize.width() - tmpl.leftMargin - tmpl.rightMargin),
        bodyEnd(tmpl.pageSize.height() - tmpl.bottomMargin - (footer ? footer->height : 0)) {}
  // Where the rows of page index start.
  double bodyTop(const ReportTemplate& tmpl, int index) const {
    double y = tmpl.topMargin;
    if (title && index == 0) y += title->height;
    if (header) y += header->height;
    return y;
  }
};

}  // namespace

std::optional<LaidOutReport> layOutReport(const ReportTemplate& tmpl, RowSource& rows, const BuildProgress& progress) {
  const Geometry g(tmpl);
  std::vector<int> firstRows;
  double y = 0;
  bool pageHasRows = false;
  auto startPage = [&](int row) -> bool {
    y = g.bodyTop(tmpl, int(firstRows.size()));
    firstRows.push_back(row);
    pageHasRows = false;
    return !progress || progress(1, int(firstRows.size()));
  };
  if (!startPage(0)) return std::nullopt;
  const int rowCount = g.detail ? rows.rowCount() : 0;
  for (int r = 0; r < rowCount; ++r) {
    if (pageHasRows && y + g.detail->height > g.bodyEnd + kEps) {
      if (!startPage(r)) return std::nullopt;
    }
    y += g.detail->height;
    pageHasRows = true;
  }
  return LaidOutReport(tmpl, rows, std::move(firstRows), rowCount);
}

int LaidOutReport::endRow(int index) const {
  return size_t(index) + 1 < firstRows_.size() ? firstRows_[size_t(index) + 1] : rowCount_;
}

Page LaidOutReport::page(int index) const {
  const Geometry g(tmpl_);
  Page page;
  double y = tmpl_.topMargin;
  auto place = [&](const BandTemplate* b, int row) {
    page.bands.append({b->kind, QRectF(g.left, y, g.width, b->height), row});
    y += b->height;
  };
  if (g.title && index == 0) place(g.title, -1);
  if (g.header) place(g.header, -1);
  for (int r = firstRow(index), end = endRow(index); r < end; ++r) place(g.detail, r);
  if (g.footer) page.bands.append({g.footer->kind, QRectF(g.left, g.bodyEnd, g.width, g.footer->height), -1});

  const int total = pageCount();
  qsizetype itemCount = 0;
  for (const PlacedBand& pb : page.bands) itemCount += tmpl_.band(pb.kind)->elements.size();
  page.items.reserve(itemCount);
  for (const PlacedBand& pb : page.bands) {
    const BandTemplate* b = tmpl_.band(pb.kind);
    for (int ei = 0; ei < b->elements.size(); ++ei) {
      const TextElement& e = b->elements[ei];
      PageItem item;
      item.band = pb.kind;
      item.element = ei;
      item.font = e.font;
      item.alignment = e.alignment;
      item.frame = e.frame;
      item.frameWidth = e.frameWidth;
      if (!e.field.isEmpty())
        item.text = rows_->fieldText(pb.row, e.field).value_or(QString());
      else
        item.text = expandMacros(e.text, index + 1, total);
      QRectF r = e.rect.translated(pb.rect.topLeft());
      if (e.growLeft) {
        const double w = pointsToUnits(textWidth(item.text, e.font));
        r = QRectF(r.right() - w, r.top(), w, r.height());
      }
      item.rect = r;
      layOutText(item, e.wordWrap);
      page.items.append(std::move(item));
    }
  }
  return page;
}

std::optional<BuiltReport> buildReport(const ReportTemplate& tmpl, RowSource& rows, const BuildProgress& progress) {
  const std::optional<LaidOutReport> laidOut = layOutReport(tmpl, rows, progress);
  if (!laidOut) return std::nullopt;
  BuiltReport report;
  report.pageSize = tmpl.pageSize;
  const int total = laidOut->pageCount();
  report.pages.reserve(total);
  for (int pi = 0; pi < total; ++pi) {
    if (progress && !progress(2, pi + 1)) return std::nullopt;
    report.pages.append(laidOut->page(pi));
  }
  return report;
}

}  // namespace hv::report
