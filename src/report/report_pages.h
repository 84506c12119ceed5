#pragma once
// A report's pages, each a list of placed bands and the texts and frames on
// them, in design units from the page's top-left corner. Pages can be drawn on
// any QPainter (screen, printer, PDF), saved in our own file format and read
// back exactly.
#include <QByteArray>
#include <QList>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <Qt>
#include <functional>

#include "report/report_template.h"

class QIODevice;
class QPageLayout;
class QPainter;
class QPagedPaintDevice;
class QPaintDevice;

namespace hv::report {

// Space between a frame and its text, in units.
inline constexpr double kFramePadding = 2;

struct PlacedBand {
  BandKind kind;
  QRectF rect;
  int row = -1;  // the data row of a detail band
};

struct PageItem {
  BandKind band;
  int element = 0;  // index of the element within its band template
  QRectF rect;
  FontDesc font;
  Qt::Alignment alignment;
  bool frame = false;
  double frameWidth = 1;
  QString text;       // the whole text, as the data gave it
  QStringList lines;  // what is drawn: wrapped, cut to the lines that fit
};

struct Page {
  QList<PlacedBand> bands;
  QList<PageItem> items;
};

// The pages of a report, each formed when asked for, so that a report of any
// length is shown and printed holding one page at a time.
class PageSource {
 public:
  virtual ~PageSource() = default;
  virtual QSizeF paperSize() const = 0;  // units
  virtual int pageCount() const = 0;
  // Page index (0-based, within pageCount). Throws hv::Error when its rows
  // cannot be read.
  virtual Page page(int index) const = 0;
};

// Pages held in memory: a report read from our own file, or a short one.
struct BuiltReport : PageSource {
  QSizeF pageSize;  // units
  QList<Page> pages;
  bool isEmpty() const { return pages.isEmpty(); }
  QSizeF paperSize() const override { return pageSize; }
  int pageCount() const override { return int(pages.size()); }
  Page page(int index) const override { return pages.at(index); }
};

// Told before each page goes out: how many went before and how many there are
// in all; returns false to stop.
using PageProgress = std::function<bool(int done, int total)>;

// Draws one page with its top-left corner at the painter's origin, scale
// device pixels per design unit. highlight: items to mark (search hits),
// current: the one hit to mark more strongly (-1 for none).
void drawPage(QPainter& painter, const Page& page, double scale, const QList<int>& highlight = {},
              int current = -1);

// Device pixels per design unit of a paint device.
double unitsScale(const QPaintDevice& device);

// Paints the given pages (0-based, in the order given) on a paged device, one
// device page each, forming each page as it goes; the device must already
// have the report's page size. False when progress stopped it: the device has
// then been left part-way (a printer's job is for the caller to abort first).
bool paintPages(QPagedPaintDevice& device, const PageSource& report, const QList<int>& sequence,
                const PageProgress& progress = {});

// The paper the pages are laid out for, portrait or landscape, no margins.
QPageLayout pageLayoutOf(const PageSource& report);

// PDF of the given pages (all when empty) into device; false when stopped.
bool writePdf(const PageSource& report, QIODevice* device, const QList<int>& sequence = {},
              const PageProgress& progress = {});
// Writes the PDF to path through a temporary file, so a failed or stopped
// write leaves any earlier file untouched and no part-written one. False when
// stopped. Throws hv::Error.
bool savePdf(const PageSource& report, const QString& path, const QList<int>& sequence = {},
             const PageProgress& progress = {});

// Writes a file through a temporary beside it, put in its place only when
// write returns true and everything reached the disk; otherwise an earlier
// file of that name stays as it was and no temporary is left. Any thread.
// Throws hv::Error naming the file and the reason.
bool writeFileSafely(const QString& path, const std::function<bool(QIODevice*)>& write);

// Our own format.
QByteArray serializeReport(const PageSource& report);
// Throws hv::Error on anything that is not a sound report file.
BuiltReport deserializeReport(const QByteArray& bytes);
// Written page by page; false when stopped (nothing is left at path then).
bool saveReportFile(const PageSource& report, const QString& path,
                    const PageProgress& progress = {});  // throws hv::Error
BuiltReport loadReportFile(const QString& path);         // throws hv::Error
inline constexpr const char* kReportFileExtension = ".hvr";

// Search: items whose text contains what (case-insensitive), in page order.
struct SearchHit {
  int page;
  int item;
};
QList<SearchHit> findText(const PageSource& report, const QString& what);
// The items of one page that findText would name.
QList<int> findTextOnPage(const Page& page, const QString& what);

// "1,3,5-12" against a report of pageCount pages -> 1-based page numbers in
// the order given; blank means all. Empty result (and *error set) on a bad list.
QList<int> parsePageRanges(const QString& text, int pageCount, QString* error);
// The 0-based page order a print job sends: copies of the chosen pages,
// collated (1 2 3 1 2 3) or not (1 1 2 2 3 3).
QList<int> printSequence(const QList<int>& pages1Based, int copies, bool collate);

}  // namespace hv::report
