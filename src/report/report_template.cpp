#include "report/report_template.h"

#include "store/row_schema.h"

namespace hv::report {

const BandTemplate* ReportTemplate::band(BandKind kind) const {
  for (const BandTemplate& b : bands)
    if (b.kind == kind) return &b;
  return nullptr;
}

namespace {

ReportTemplate makeArchiveReport() {
  ReportTemplate t;
  t.name = QStringLiteral("ArchiveReport");
  t.dataLink = QStringLiteral("ArchiveRows");
  // A4 landscape: 297 x 210 mm.
  t.pageSize = QSizeF(mmToUnits(297.0), mmToUnits(210.0));
  t.leftMargin = 25;
  t.topMargin = 72;
  t.rightMargin = 25;
  t.bottomMargin = 25;

  const FontDesc titleFont{QStringLiteral("Arial"), 14, true};
  const FontDesc headerFont{QStringLiteral("Arial"), 12, true};
  const FontDesc dataFont{QStringLiteral("Arial"), 10, false};

  BandTemplate title{QStringLiteral("ProductTitle"), BandKind::Title, 64, {}};
  TextElement caption;
  caption.rect = QRectF(0, 0, 234, 64);
  caption.text = QStringLiteral("Hygrovan-RX3");
  caption.font = titleFont;
  caption.alignment = Qt::AlignLeft | Qt::AlignTop;
  title.elements.append(caption);

  using F = MeasurementField;
  struct Column {
    double width;
    F field;
    Qt::Alignment dataAlign;
    bool twoLines = false;  // the caption broken at its last blank to fit the narrow column
  };
  const Column columns[] = {
      {61, F::N, Qt::AlignHCenter},         {88, F::Date, Qt::AlignHCenter},
      {72, F::Time, Qt::AlignHCenter},      {82, F::W, Qt::AlignRight},
      {82, F::WMin, Qt::AlignRight},        {82, F::WMax, Qt::AlignRight},
      {276, F::Material, Qt::AlignHCenter}, {113, F::NInd, Qt::AlignHCenter, true},
      {164, F::Comment, Qt::AlignHCenter},
  };
  BandTemplate header{QStringLiteral("ColumnTitles"), BandKind::PageHeader, 60, {}};
  BandTemplate detail{QStringLiteral("ArchiveRow"), BandKind::Detail, 20, {}};
  double x = 0;
  for (const Column& c : columns) {
    TextElement h;
    h.rect = QRectF(x, 0, c.width, header.height);
    h.text = fieldCaption(c.field);
    if (c.twoLines) h.text[h.text.lastIndexOf(QChar(' '))] = QChar('\n');
    h.font = headerFont;
    h.alignment = Qt::AlignHCenter | Qt::AlignVCenter;
    h.frame = true;
    header.elements.append(h);

    TextElement d;
    d.rect = QRectF(x, 0, c.width, detail.height);
    d.field = fieldName(c.field);
    d.font = dataFont;
    d.alignment = c.dataAlign | Qt::AlignVCenter;
    d.frame = true;
    detail.elements.append(d);
    x += c.width;
  }

  BandTemplate footer{QStringLiteral("PageNumber"), BandKind::PageFooter, 20, {}};
  TextElement pageNo;
  const double bandWidth = t.pageSize.width() - t.leftMargin - t.rightMargin;
  pageNo.rect = QRectF(bandWidth, 0, 0, footer.height);
  pageNo.text = QStringLiteral("Стр. [PAGE#] из [TOTALPAGES]");
  pageNo.font = dataFont;
  pageNo.alignment = Qt::AlignRight | Qt::AlignVCenter;
  pageNo.wordWrap = false;
  pageNo.growLeft = true;
  footer.elements.append(pageNo);

  t.bands = {title, header, detail, footer};
  return t;
}

}  // namespace

const ReportTemplate& archiveReportTemplate() {
  static const ReportTemplate t = makeArchiveReport();
  return t;
}

}  // namespace hv::report
