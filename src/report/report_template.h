#pragma once
// A banded report template: bands stacked in one column between the page
// margins, each holding text elements. Geometry is in the report's design
// units (1/91.6256 inch), in which the archive report was laid out.
#include <QList>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <Qt>

#include "report/font_metrics.h"

namespace hv::report {

constexpr double kUnitsPerInch = 91.6256;
constexpr double unitsToMm(double u) { return u * 25.4 / kUnitsPerInch; }
constexpr double mmToUnits(double mm) { return mm * kUnitsPerInch / 25.4; }
constexpr double pointsToUnits(double pt) { return pt * kUnitsPerInch / 72.0; }
constexpr double unitsToPoints(double u) { return u * 72.0 / kUnitsPerInch; }

enum class BandKind { Title, PageHeader, Detail, PageFooter };

struct TextElement {
  QRectF rect;           // within its band; for a right-anchored element only right, top, height count
  QString text;          // fixed text; may hold [PAGE#] and [TOTALPAGES]
  QString field;         // when set, the text is this field of the current row
  FontDesc font;
  Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignTop;
  bool frame = false;    // all four sides, frameWidth units wide
  double frameWidth = 1;
  bool wordWrap = true;
  bool growLeft = false; // width follows the text, right edge fixed
};

struct BandTemplate {
  QString name;
  BandKind kind;
  double height;
  QList<TextElement> elements;
};

struct ReportTemplate {
  QString name;
  QString dataLink;  // the data link feeding the detail band
  QSizeF pageSize;   // units
  double leftMargin = 0, topMargin = 0, rightMargin = 0, bottomMargin = 0;
  QList<BandTemplate> bands;
  const BandTemplate* band(BandKind kind) const;
};

// The archive report, A4 landscape, fed by the rows of one archive.
const ReportTemplate& archiveReportTemplate();

}  // namespace hv::report
