#include "report/report_pages.h"

#include <QFile>
#include <QFont>
#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QtEndian>
#include <cmath>
#include <cstring>

#include "platform/error.h"

namespace hv::report {

// ---------------------------------------------------------------- drawing

double unitsScale(const QPaintDevice& device) { return device.logicalDpiX() / kUnitsPerInch; }

namespace {

QRectF scaled(const QRectF& r, double s) { return QRectF(r.x() * s, r.y() * s, r.width() * s, r.height() * s); }

QFont qtFont(const FontDesc& desc, double pixelSize, const QPaintDevice* device) {
  QFont f(desc.family);
  f.setBold(desc.bold);
  // Point size as the device counts it, so the text has exactly pixelSize.
  const double dpi = device && device->logicalDpiY() > 0 ? device->logicalDpiY() : 72.0;
  f.setPointSizeF(std::max(0.1, pixelSize * 72.0 / dpi));
  f.setKerning(false);  // layout measured without kerning
  f.setStyleStrategy(QFont::PreferOutline);
  return f;
}

void drawItemText(QPainter& painter, const PageItem& item, double scale) {
  if (item.lines.isEmpty()) return;
  const double pad = item.frame ? kFramePadding : 0;
  const QRectF r = scaled(item.rect.adjusted(pad, 0, -pad, 0), scale);
  const double toPx = pointsToUnits(1) * scale;  // device pixels per point
  const double lh = lineHeight(item.font) * toPx;
  const double ascent = fontAscent(item.font) * toPx;
  const double block = lh * item.lines.size();
  double top;
  if (item.alignment & Qt::AlignTop)
    top = r.top();
  else if (item.alignment & Qt::AlignBottom)
    top = r.bottom() - block;
  else
    top = r.top() + (r.height() - block) / 2;
  // Lines are placed from our own metrics (the same the layout used), which
  // also spares the painter its text layout for each of many thousand cells.
  for (int i = 0; i < item.lines.size(); ++i) {
    const QString& line = item.lines[i];
    if (line.isEmpty()) continue;
    double x = r.left();
    if (item.alignment & (Qt::AlignRight | Qt::AlignHCenter)) {
      const double w = textWidth(line, item.font) * toPx;
      x = item.alignment & Qt::AlignRight ? r.right() - w : r.left() + (r.width() - w) / 2;
    }
    painter.drawText(QPointF(x, top + i * lh + ascent), line);
  }
}

}  // namespace

void drawPage(QPainter& painter, const Page& page, double scale, const QList<int>& highlight, int current) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setRenderHint(QPainter::TextAntialiasing, true);
  for (int i : highlight) {
    if (i < 0 || i >= page.items.size()) continue;
    painter.fillRect(scaled(page.items[i].rect, scale), i == current ? QColor(255, 150, 0) : QColor(255, 240, 100));
  }
  // Frames first, all in one go per line width, then the texts: few state
  // changes, which a PDF or printer pays for on every switch.
  QPen pen(Qt::black);
  pen.setJoinStyle(Qt::MiterJoin);
  painter.setBrush(Qt::NoBrush);
  QList<QRectF> frames;
  double frameWidth = -1;
  auto flushFrames = [&] {
    if (frames.isEmpty()) return;
    pen.setWidthF(std::max(frameWidth * scale, 0.5));
    painter.setPen(pen);
    painter.drawRects(frames.constData(), int(frames.size()));
    frames.clear();
  };
  for (const PageItem& item : page.items) {
    if (!item.frame) continue;
    if (item.frameWidth != frameWidth) {
      flushFrames();
      frameWidth = item.frameWidth;
    }
    frames.append(scaled(item.rect, scale));
  }
  flushFrames();

  painter.setPen(Qt::black);
  FontDesc lastFont;
  double lastSize = -1;
  for (const PageItem& item : page.items) {
    if (item.lines.isEmpty() || (item.lines.size() == 1 && item.lines[0].isEmpty())) continue;
    const double px = pointsToUnits(item.font.pointSize) * scale;
    if (!(item.font == lastFont) || px != lastSize) {
      painter.setFont(qtFont(item.font, px, painter.device()));
      lastFont = item.font;
      lastSize = px;
    }
    drawItemText(painter, item, scale);
  }
  painter.restore();
}

bool paintPages(QPagedPaintDevice& device, const PageSource& report, const QList<int>& sequence,
                const PageProgress& progress) {
  QPainter painter;
  if (!painter.begin(&device)) throw Error(QStringLiteral("Не удалось начать печать."));
  const double scale = unitsScale(device);
  const int count = report.pageCount();
  bool first = true;
  int done = 0;
  for (int p : sequence) {
    if (progress && !progress(done, int(sequence.size()))) {
      painter.end();
      return false;
    }
    ++done;
    if (p < 0 || p >= count) continue;
    const Page page = report.page(p);  // formed before the device gets a new page, so an error leaves none
    if (!first && !device.newPage()) {
      painter.end();
      throw Error(QStringLiteral("Не удалось начать новую страницу."));
    }
    first = false;
    drawPage(painter, page, scale);
  }
  painter.end();
  return true;
}

namespace {

QList<int> allPages(const PageSource& r) {
  QList<int> s;
  const int n = r.pageCount();
  s.reserve(n);
  for (int i = 0; i < n; ++i) s.append(i);
  return s;
}

}  // namespace

QPageLayout pageLayoutOf(const PageSource& r) {
  const double w = unitsToMm(r.paperSize().width()), h = unitsToMm(r.paperSize().height());
  const bool landscape = w > h;
  const QPageSize size(landscape ? QSizeF(h, w) : QSizeF(w, h), QPageSize::Millimeter);
  return QPageLayout(size, landscape ? QPageLayout::Landscape : QPageLayout::Portrait, QMarginsF(0, 0, 0, 0),
                     QPageLayout::Millimeter);
}

bool writePdf(const PageSource& report, QIODevice* device, const QList<int>& sequence,
              const PageProgress& progress) {
  QPdfWriter writer(device);
  writer.setResolution(1200);
  writer.setCreator(QStringLiteral("Hygrovan-RX3"));
  writer.setTitle(QStringLiteral("Hygrovan-RX3"));
  writer.setPageLayout(pageLayoutOf(report));
  return paintPages(writer, report, sequence.isEmpty() ? allPages(report) : sequence, progress);
}

namespace {

[[noreturn]] void throwWriteError(const QString& path, qint64 bytes, const QString& detail) {
  throw Error(writeErrorText(path, writeFailureReason(path, bytes), detail));
}

}  // namespace

// write returns false when stopped: the temporary goes and nothing is put at path.
bool writeFileSafely(const QString& path, const std::function<bool(QIODevice*)>& write) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) throwWriteError(path, 0, file.errorString());
  if (!write(&file)) {
    file.cancelWriting();
    return false;
  }
  // What was handed over; a failed commit takes the file away, and its room with it.
  const qint64 bytes = file.pos() + 1;
  if (file.error() != QFileDevice::NoError) throwWriteError(path, bytes, file.errorString());
  if (!file.commit()) throwWriteError(path, bytes, file.errorString());
  return true;
}

bool savePdf(const PageSource& report, const QString& path, const QList<int>& sequence,
             const PageProgress& progress) {
  return writeFileSafely(path, [&](QIODevice* d) { return writePdf(report, d, sequence, progress); });
}

// ---------------------------------------------------------------- own file format
//
// "HVREPORT", u32 version, f64 page width and height, u32 page count; per
// page: u32 band count, bands (u8 kind, 4 f64 rect, i32 row), u32 item count,
// items (u8 band, i32 element, 4 f64 rect, str family, f64 point size, u8 bold,
// u32 alignment, u8 frame, f64 frame width, str text, u32 line count, lines).
// All little-endian; str is u32 byte count and UTF-8.

namespace {

constexpr char kMagic[8] = {'H', 'V', 'R', 'E', 'P', 'O', 'R', 'T'};
constexpr quint32 kVersion = 1;
constexpr double kMaxCoord = 100000;  // units, about 27 m: far beyond any page
constexpr double kMaxPointSize = 500;

class Writer {
 public:
  QByteArray bytes;
  void header(const PageSource& report) {
    bytes.append(kMagic, 8);
    u32(kVersion);
    f64(report.paperSize().width());
    f64(report.paperSize().height());
    u32(quint32(report.pageCount()));
  }
  void page(const Page& p);
  void u8(quint8 v) { bytes.append(char(v)); }
  void u32(quint32 v) {
    char b[4];
    qToLittleEndian(v, b);
    bytes.append(b, 4);
  }
  void i32(qint32 v) { u32(quint32(v)); }
  void f64(double v) {
    quint64 bits;
    std::memcpy(&bits, &v, 8);
    char b[8];
    qToLittleEndian(bits, b);
    bytes.append(b, 8);
  }
  void rect(const QRectF& r) {
    f64(r.x());
    f64(r.y());
    f64(r.width());
    f64(r.height());
  }
  void str(const QString& s) {
    const QByteArray u = s.toUtf8();
    u32(quint32(u.size()));
    bytes.append(u);
  }
};

class Reader {
 public:
  explicit Reader(const QByteArray& b) : b_(b) {}
  [[noreturn]] static void bad() { throw Error(QStringLiteral("Файл отчета поврежден.")); }
  qsizetype left() const { return b_.size() - pos_; }
  void need(qsizetype n) const {
    if (n < 0 || left() < n) bad();
  }
  quint8 u8() {
    need(1);
    return quint8(b_[pos_++]);
  }
  quint32 u32() {
    need(4);
    const quint32 v = qFromLittleEndian<quint32>(b_.constData() + pos_);
    pos_ += 4;
    return v;
  }
  qint32 i32() { return qint32(u32()); }
  double f64(double lo, double hi) {
    need(8);
    const quint64 bits = qFromLittleEndian<quint64>(b_.constData() + pos_);
    pos_ += 8;
    double v;
    std::memcpy(&v, &bits, 8);
    if (!std::isfinite(v) || v < lo || v > hi) bad();
    return v;
  }
  QRectF rect() {
    const double x = f64(-kMaxCoord, kMaxCoord), y = f64(-kMaxCoord, kMaxCoord);
    const double w = f64(0, kMaxCoord), h = f64(0, kMaxCoord);
    return QRectF(x, y, w, h);
  }
  QString str() {
    const quint32 n = u32();
    need(qsizetype(n));
    const QByteArray raw = b_.mid(pos_, n);
    pos_ += n;
    QString s = QString::fromUtf8(raw);
    if (s.toUtf8() != raw) bad();  // not UTF-8
    return s;
  }
  bool boolean() {
    const quint8 v = u8();
    if (v > 1) bad();
    return v == 1;
  }
  // A count of things each at least minBytes long: bounded by what is left.
  quint32 count(qsizetype minBytes) {
    const quint32 n = u32();
    if (qsizetype(n) > left() / minBytes) bad();
    return n;
  }
  void magic() {
    need(8);
    if (std::memcmp(b_.constData(), kMagic, 8) != 0) bad();
    pos_ += 8;
  }

 private:
  const QByteArray& b_;
  qsizetype pos_ = 0;
};

BandKind bandKind(quint8 v) {
  if (v > quint8(BandKind::PageFooter)) Reader::bad();
  return BandKind(v);
}

}  // namespace

void Writer::page(const Page& p) {
  u32(quint32(p.bands.size()));
  for (const PlacedBand& b : p.bands) {
    u8(quint8(b.kind));
    rect(b.rect);
    i32(b.row);
  }
  u32(quint32(p.items.size()));
  for (const PageItem& it : p.items) {
    u8(quint8(it.band));
    i32(it.element);
    rect(it.rect);
    str(it.font.family);
    f64(it.font.pointSize);
    u8(it.font.bold ? 1 : 0);
    u32(quint32(it.alignment.toInt()));
    u8(it.frame ? 1 : 0);
    f64(it.frameWidth);
    str(it.text);
    u32(quint32(it.lines.size()));
    for (const QString& l : it.lines) str(l);
  }
}

QByteArray serializeReport(const PageSource& report) {
  Writer w;
  w.header(report);
  const int n = report.pageCount();
  for (int i = 0; i < n; ++i) w.page(report.page(i));
  return w.bytes;
}

BuiltReport deserializeReport(const QByteArray& bytes) {
  Reader r(bytes);
  r.magic();
  if (r.u32() != kVersion) Reader::bad();
  BuiltReport rep;
  const double pw = r.f64(1, kMaxCoord), ph = r.f64(1, kMaxCoord);
  rep.pageSize = QSizeF(pw, ph);
  const quint32 pages = r.count(8);
  rep.pages.reserve(pages);
  for (quint32 i = 0; i < pages; ++i) {
    Page p;
    const quint32 nb = r.count(37);
    for (quint32 k = 0; k < nb; ++k) {
      PlacedBand b;
      b.kind = bandKind(r.u8());
      b.rect = r.rect();
      b.row = r.i32();
      p.bands.append(b);
    }
    const quint32 ni = r.count(71);
    p.items.reserve(ni);
    for (quint32 k = 0; k < ni; ++k) {
      PageItem it;
      it.band = bandKind(r.u8());
      it.element = r.i32();
      it.rect = r.rect();
      it.font.family = r.str();
      it.font.pointSize = r.f64(0.5, kMaxPointSize);
      it.font.bold = r.boolean();
      const quint32 align = r.u32();
      if (align & ~quint32(Qt::AlignHorizontal_Mask | Qt::AlignVertical_Mask)) Reader::bad();
      it.alignment = Qt::Alignment(int(align));
      it.frame = r.boolean();
      it.frameWidth = r.f64(0, 100);
      it.text = r.str();
      const quint32 nl = r.count(4);
      for (quint32 l = 0; l < nl; ++l) it.lines.append(r.str());
      p.items.append(std::move(it));
    }
    rep.pages.append(std::move(p));
  }
  if (r.left() != 0) Reader::bad();
  return rep;
}

bool saveReportFile(const PageSource& report, const QString& path, const PageProgress& progress) {
  return writeFileSafely(path, [&](QIODevice* d) {
    Writer w;
    auto flush = [&] {
      if (d->write(w.bytes) != w.bytes.size()) throwWriteError(path, d->pos() + w.bytes.size() + 1, d->errorString());
      w.bytes.clear();
    };
    w.header(report);
    const int n = report.pageCount();
    for (int i = 0; i < n; ++i) {
      if (progress && !progress(i, n)) return false;
      w.page(report.page(i));
      if (w.bytes.size() >= (1 << 20)) flush();
    }
    flush();
    return true;
  });
}

BuiltReport loadReportFile(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly))
    throw Error(QStringLiteral("Не удалось открыть файл %1: %2").arg(path, f.errorString()));
  const QByteArray bytes = f.readAll();
  try {
    return deserializeReport(bytes);
  } catch (const Error&) {
    throw Error(QStringLiteral("Файл %1 не является отчетом или поврежден.").arg(path));
  }
}

// ---------------------------------------------------------------- search and pages

QList<int> findTextOnPage(const Page& page, const QString& what) {
  QList<int> hits;
  if (what.isEmpty()) return hits;
  for (int i = 0; i < page.items.size(); ++i)
    if (page.items[i].text.contains(what, Qt::CaseInsensitive)) hits.append(i);
  return hits;
}

QList<SearchHit> findText(const PageSource& report, const QString& what) {
  QList<SearchHit> hits;
  if (what.isEmpty()) return hits;
  const int n = report.pageCount();
  for (int p = 0; p < n; ++p)
    for (int i : findTextOnPage(report.page(p), what)) hits.append({p, i});
  return hits;
}

QList<int> parsePageRanges(const QString& text, int pageCount, QString* error) {
  QList<int> pages;
  auto fail = [&]() {
    if (error)
      *error = QStringLiteral("Неверно указаны страницы: \"%1\". Укажите номера и диапазоны через запятую, "
                              "например 1,3,5-12 (страниц в отчете: %2).")
                   .arg(text)
                   .arg(pageCount);
    return QList<int>();
  };
  if (text.trimmed().isEmpty()) {
    for (int i = 1; i <= pageCount; ++i) pages.append(i);
    return pages;
  }
  for (const QString& raw : text.split(QChar(','))) {
    const QString part = raw.trimmed();
    const qsizetype dash = part.indexOf(QChar('-'));
    bool ok1 = false, ok2 = false;
    int a, b;
    if (dash < 0) {
      a = b = part.toInt(&ok1);
      ok2 = true;
    } else {
      a = part.left(dash).trimmed().toInt(&ok1);
      b = part.mid(dash + 1).trimmed().toInt(&ok2);
    }
    if (!ok1 || !ok2 || a < 1 || b < a || b > pageCount) return fail();
    for (int v = a; v <= b; ++v) pages.append(v);
  }
  return pages;
}

QList<int> printSequence(const QList<int>& pages1Based, int copies, bool collate) {
  QList<int> seq;
  copies = std::max(1, copies);
  if (collate) {
    for (int c = 0; c < copies; ++c)
      for (int p : pages1Based) seq.append(p - 1);
  } else {
    for (int p : pages1Based)
      for (int c = 0; c < copies; ++c) seq.append(p - 1);
  }
  return seq;
}

}  // namespace hv::report
