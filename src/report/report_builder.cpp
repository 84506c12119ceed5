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

std::optional<BuiltReport> buildReport(const ReportTemplate& tmpl, RowSource& rows, const BuildProgress& progress) {
  const BandTemplate* title = tmpl.band(BandKind::Title);
  const BandTemplate* header = tmpl.band(BandKind::PageHeader);
  const BandTemplate* detail = tmpl.band(BandKind::Detail);
  const BandTemplate* footer = tmpl.band(BandKind::PageFooter);

  const double left = tmpl.leftMargin;
  const double width = tmpl.pageSize.width() - tmpl.leftMargin - tmpl.rightMargin;
  const double bottom = tmpl.pageSize.height() - tmpl.bottomMargin;
  const double bodyEnd = bottom - (footer ? footer->height : 0);

  // Pass 1: bands and page breaks.
  BuiltReport report;
  report.pageSize = tmpl.pageSize;
  double y = 0;
  bool pageHasRows = false;
  auto place = [&](const BandTemplate* b, int row) {
    report.pages.last().bands.append({b->kind, QRectF(left, y, width, b->height), row});
    y += b->height;
  };
  auto startPage = [&]() -> bool {
    report.pages.append(Page{});
    y = tmpl.topMargin;
    pageHasRows = false;
    if (title && report.pages.size() == 1) place(title, -1);
    if (header) place(header, -1);
    return !progress || progress(1, int(report.pages.size()));
  };
  if (!startPage()) return std::nullopt;
  const int rowCount = detail ? rows.rowCount() : 0;
  for (int r = 0; r < rowCount; ++r) {
    if (pageHasRows && y + detail->height > bodyEnd + kEps) {
      if (!startPage()) return std::nullopt;
    }
    place(detail, r);
    pageHasRows = true;
  }
  if (footer) {
    for (Page& p : report.pages) p.bands.append({footer->kind, QRectF(left, bodyEnd, width, footer->height), -1});
  }

  // Pass 2: texts, now that the page count is known.
  const int total = int(report.pages.size());
  for (int pi = 0; pi < total; ++pi) {
    if (progress && !progress(2, pi + 1)) return std::nullopt;
    Page& page = report.pages[pi];
    qsizetype itemCount = 0;
    for (const PlacedBand& pb : page.bands) itemCount += tmpl.band(pb.kind)->elements.size();
    page.items.reserve(itemCount);
    for (const PlacedBand& pb : page.bands) {
      const BandTemplate* b = tmpl.band(pb.kind);
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
          item.text = rows.fieldText(pb.row, e.field).value_or(QString());
        else
          item.text = expandMacros(e.text, pi + 1, total);
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
  }
  return report;
}

}  // namespace hv::report
