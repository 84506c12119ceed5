#include "graphs/lot_protocol.h"

#include <QLocale>
#include <algorithm>
#include <array>
#include <cmath>
#include <functional>

#include "store/row_schema.h"
#include "store/stored_values.h"
#include "report/font_metrics.h"
#include "views/archive_table.h"

namespace hv {

using report::BandKind;
using report::FontDesc;
using report::PageItem;

QList<LotRow> readLotRows(TDbTable& table, const QList<TDbTable::Bookmark>& records) {
  static constexpr std::array<MeasurementField, 7> kLotFields = {
      MeasurementField::N, MeasurementField::Date, MeasurementField::Time,    MeasurementField::W,
      MeasurementField::WMin, MeasurementField::WMax, MeasurementField::Material};
  static const QStringList fields = fieldNames(kLotFields);
  QList<TDbTable::Bookmark> list = records;
  if (list.isEmpty()) {
    const int count = table.recordCount();
    list.reserve(count);
    for (int i = 0; i < count; ++i) list.append(table.bookmarkAtRow(i));
  }
  QList<LotRow> rows;
  rows.reserve(list.size());
  for (TDbTable::Bookmark b : list) {
    const QList<std::optional<QString>> v = readFields(table, b, fields);
    rows.append({v[0], v[1], v[2], v[3], v[4], v[5], v[6]});
  }
  return rows;
}

LotResult evaluateLot(const LotSubject& subject, const LotNorm& norm) {
  LotResult r;
  const QList<SelectedRow> values = [&] {
    QList<SelectedRow> list;
    list.reserve(subject.rows.size());
    for (const LotRow& row : subject.rows) list.append({row.w, row.wMin, row.wMax, row.date, row.time});
    return list;
  }();
  const SelectionFigures f = selectionFigures(values, pieceRange(norm), &r.pieces);
  r.assessment = assessLot(f, norm);
  std::optional<qint64> first, last;
  for (const LotRow& row : subject.rows) {
    const QString material = row.material.value_or(QString()).trimmed();
    if (!material.isEmpty() && !r.materials.contains(material)) r.materials.append(material);
    if (!row.date) continue;
    // The span leaves out a date it cannot read; the list shows it as stored.
    const std::optional<ClockReading> clock = readStoredClock(*row.date, QStringLiteral("00:00:00"));
    if (!clock) continue;
    const qint64 days = clock->key();
    if (!first || days < *first) {
      first = days;
      r.firstDate = row.date->trimmed();
    }
    if (!last || days > *last) {
      last = days;
      r.lastDate = row.date->trimmed();
    }
  }
  return r;
}

QString lotRowsCaption(const LotSubject& subject) {
  return QStringLiteral("%1 строки архива «%2» (%3)")
      .arg(subject.wholeArchive ? QStringLiteral("Все") : QStringLiteral("Выделенные"),
           archiveCaption(subject.archive))
      .arg(subject.rows.size());
}

Histogram lotHistogram(const QList<LotPiece>& pieces, const LotNorm& norm) {
  Histogram h;
  std::optional<double> low, high;
  auto take = [&](std::optional<double> v) {
    if (!v) return;
    low = low ? std::min(*low, *v) : *v;
    high = high ? std::max(*high, *v) : *v;
  };
  for (const LotPiece& p : pieces) take(p.value);
  const PieceRange piece = pieceRange(norm);
  for (const auto& v : {piece.lower, piece.upper, judgedMeanMin(norm), judgedMeanMax(norm)}) take(v);
  if (!low) return h;
  // A round bin width giving at most 24 bins.
  const double span = std::max(*high - *low, 0.1);
  h.width = 0.1;
  for (const double w : {0.1, 0.2, 0.25, 0.5, 1.0, 2.0, 2.5, 5.0, 10.0, 20.0, 25.0, 50.0, 100.0}) {
    h.width = w;
    if (span / w <= 22) break;
  }
  h.start = std::floor(*low / h.width) * h.width - h.width;
  const int bins = int(std::floor((*high - h.start) / h.width)) + 2;
  h.counts = QList<int>(std::clamp(bins, 1, 1000), 0);
  for (const LotPiece& p : pieces) {
    const int i = int(std::floor((p.value - h.start) / h.width + 1e-9));
    if (i >= 0 && i < h.counts.size()) ++h.counts[i];
  }
  return h;
}

namespace {

// A table may hold either separator; the protocol writes the reader's, as its figures.
QString storedMoistureText(const std::optional<QString>& stored, QChar sep) {
  const QString text = stored.value_or(QString()).trimmed();
  std::string rewritten;
  if (!appendMoistureWith(rewritten, text.toStdString(), '.')) return text;
  return QString::fromStdString(rewritten).replace(QLatin1Char('.'), sep);
}

}  // namespace

QString lotValueText(const LotRow& row, QChar sep) {
  if (row.w) return storedMoistureText(row.w, sep);
  if (row.wMin || row.wMax)
    return storedMoistureText(row.wMin, sep) + QStringLiteral(" – ") + storedMoistureText(row.wMax, sep);
  return {};
}

namespace {

constexpr double kMarginMm = 15;
constexpr double kFooterMm = 8;

// Places lines, cells and frames down A4 pages, breaking pages as it goes.
class ProtocolLayout {
 public:
  ProtocolLayout() {
    report_.pageSize = QSizeF(report::mmToUnits(210), report::mmToUnits(297));
    left_ = report::mmToUnits(kMarginMm);
    width_ = report_.pageSize.width() - 2 * left_;
    bottom_ = report_.pageSize.height() - report::mmToUnits(kMarginMm + kFooterMm);
    newPage();
  }

  double left() const { return left_; }
  double width() const { return width_; }
  double y() const { return y_; }

  static double lineUnits(const FontDesc& font) { return report::pointsToUnits(report::lineHeight(font)); }

  // Starts a new page when less than h is left on this one.
  bool ensure(double h) {
    if (y_ + h <= bottom_) return false;
    newPage();
    return true;
  }
  void space(double mm) { y_ += report::mmToUnits(mm); }
  void moveTo(double y) { y_ = y; }

  // A text across the given width, wrapped; returns its height.
  double place(double x, double y, double w, const QString& text, const FontDesc& font, Qt::Alignment align,
               bool frame = false, BandKind band = BandKind::Title) {
    PageItem item;
    item.band = band;
    item.font = font;
    item.alignment = align | Qt::AlignTop;
    item.frame = frame;
    item.text = text;
    const double pad = frame ? report::kFramePadding : 0;
    item.lines = report::wrapText(text, report::unitsToPoints(w - 2 * pad), font);
    if (item.lines.isEmpty()) item.lines = QStringList{QString()};
    const double h = lineUnits(font) * item.lines.size() + (frame ? 2 : 0);
    item.rect = QRectF(x, y, w, h);
    page().items.append(item);
    return h;
  }

  void paragraph(const QString& text, const FontDesc& font, Qt::Alignment align = Qt::AlignLeft) {
    const QStringList lines = report::wrapText(text, report::unitsToPoints(width_), font);
    ensure(lineUnits(font) * std::max<qsizetype>(1, lines.size()));
    y_ += place(left_, y_, width_, text, font, align);
  }

  // A row of framed cells of the given widths (fractions of the width).
  void cells(const QStringList& texts, const QList<double>& widths, const FontDesc& font, BandKind band,
             const std::function<void()>& onNewPage = {}) {
    double h = 0;
    for (int i = 0; i < texts.size(); ++i) {
      const double w = widths[i] * width_ - 2 * report::kFramePadding;
      h = std::max(h, lineUnits(font) * std::max<qsizetype>(1, report::wrapText(texts[i], report::unitsToPoints(w), font).size()) + 2);
    }
    if (ensure(h) && onNewPage) onNewPage();
    double x = left_;
    for (int i = 0; i < texts.size(); ++i) {
      const double w = widths[i] * width_;
      const qsizetype at = page().items.size();
      place(x, y_, w, texts[i], font, i == 0 ? Qt::AlignLeft : Qt::AlignHCenter, true, band);
      page().items[at].rect.setHeight(h);
      x += w;
    }
    y_ += h;
  }

  void frame(const QRectF& r, double lineWidth = 1) {
    PageItem item;
    item.band = BandKind::Title;
    item.rect = r;
    item.frame = true;
    item.frameWidth = lineWidth;
    item.lines = QStringList{QString()};
    page().items.append(item);
  }

  report::BuiltReport finish() {
    const FontDesc font{QStringLiteral("Arial"), 8, false};
    const int total = int(report_.pages.size());
    for (int i = 0; i < total; ++i) {
      current_ = i;
      place(left_, report_.pageSize.height() - report::mmToUnits(kMarginMm) - lineUnits(font), width_,
            QStringLiteral("Стр. %1 из %2").arg(i + 1).arg(total), font, Qt::AlignRight, false, BandKind::PageFooter);
    }
    return report_;
  }

 private:
  report::Page& page() { return report_.pages[current_]; }
  void newPage() {
    report_.pages.append(report::Page{});
    current_ = int(report_.pages.size()) - 1;
    y_ = report::mmToUnits(kMarginMm);
  }

  report::BuiltReport report_;
  int current_ = 0;
  double left_ = 0, width_ = 0, bottom_ = 0, y_ = 0;
};

QString limitsText(std::optional<double> low, std::optional<double> high, QChar sep) {
  if (low && high) return QStringLiteral("от %1 до %2 %").arg(formatFigure(*low, sep), formatFigure(*high, sep));
  if (low) return QStringLiteral("не ниже %1 %").arg(formatFigure(*low, sep));
  if (high) return QStringLiteral("не выше %1 %").arg(formatFigure(*high, sep));
  return QStringLiteral("не задано");
}

void drawHistogram(ProtocolLayout& lay, const Histogram& h, const LotNorm& norm, QChar sep) {
  const FontDesc small{QStringLiteral("Arial"), 7, false};
  const double label = ProtocolLayout::lineUnits(small);
  const double height = report::mmToUnits(32);
  lay.ensure(height + 3 * label);
  const double top = lay.y() + label;
  const QRectF plot(lay.left() + report::mmToUnits(8), top, lay.width() - report::mmToUnits(8), height);
  lay.frame(plot, 0.5);
  int most = 1;
  for (int c : h.counts) most = std::max(most, c);
  lay.place(lay.left(), top, report::mmToUnits(7), QString::number(most), small, Qt::AlignRight);
  lay.place(lay.left(), plot.bottom() - label, report::mmToUnits(7), QStringLiteral("0"), small, Qt::AlignRight);
  const double span = h.end() - h.start;
  auto xOf = [&](double v) { return plot.left() + (v - h.start) / span * plot.width(); };
  for (int i = 0; i < h.counts.size(); ++i) {
    if (h.counts[i] > 0) {
      const double barHeight = plot.height() * h.counts[i] / most;
      lay.frame(QRectF(xOf(h.start + i * h.width), plot.bottom() - barHeight, plot.width() / h.counts.size(), barHeight));
    }
  }
  // Edge labels, thinned so that they do not run into each other.
  const int step = std::max<int>(1, int(std::ceil(h.counts.size() / 12.0)));
  for (int i = 0; i <= h.counts.size(); i += step) {
    const double x = xOf(h.start + i * h.width);
    lay.place(x - report::mmToUnits(6), plot.bottom() + 1, report::mmToUnits(12),
              formatFigure(h.start + i * h.width, sep), small, Qt::AlignHCenter);
  }
  const PieceRange piece = pieceRange(norm);
  auto mark = [&](std::optional<double> v, const QString& tag, double width) {
    if (!v) return;
    const double x = xOf(*v);
    lay.frame(QRectF(x, plot.top(), 0, plot.height()), width);
    lay.place(x - report::mmToUnits(5), plot.top() - label, report::mmToUnits(10), tag, small, Qt::AlignHCenter);
  };
  mark(piece.lower, QStringLiteral("Пн"), 2);
  mark(piece.upper, QStringLiteral("Пв"), 2);
  mark(judgedMeanMin(norm), QStringLiteral("Сн"), 1);
  mark(judgedMeanMax(norm), QStringLiteral("Св"), 1);
  lay.moveTo(plot.bottom() + label + 2);
  lay.paragraph(QStringLiteral("Влажность, %. Пн, Пв — границы для отдельного значения, Сн, Св — границы среднего "
                               "(с учётом запаса); высота столбца — число измерений."),
                small);
}

}  // namespace

report::BuiltReport lotProtocol(const LotSubject& subject, const LotNorm& norm, const LotResult& result,
                                const QDateTime& printed, QChar sep) {
  const FontDesc title{QStringLiteral("Arial"), 14, true};
  const FontDesc heading{QStringLiteral("Arial"), 11, true};
  const FontDesc body{QStringLiteral("Arial"), 10, false};
  const FontDesc bold{QStringLiteral("Arial"), 10, true};
  const FontDesc cell{QStringLiteral("Arial"), 9, false};
  const FontDesc cellBold{QStringLiteral("Arial"), 9, true};
  const SelectionFigures& f = result.assessment.figures;
  ProtocolLayout lay;

  lay.paragraph(QStringLiteral("Протокол оценки партии"), title, Qt::AlignHCenter);
  lay.space(3);
  lay.paragraph(QStringLiteral("Файл таблицы: %1").arg(subject.tableFile), body);
  lay.paragraph(QStringLiteral("Архив: %1").arg(archiveCaption(subject.archive)), body);
  lay.paragraph(QStringLiteral("Строки: %1").arg(lotRowsCaption(subject)), body);
  lay.paragraph(QStringLiteral("Период измерений: %1")
                    .arg(result.firstDate.isEmpty() ? QStringLiteral("не указан")
                                                    : result.firstDate + QStringLiteral(" – ") + result.lastDate),
                body);
  lay.paragraph(QStringLiteral("Материалы: %1")
                    .arg(result.materials.isEmpty() ? QStringLiteral("не указаны")
                                                    : result.materials.join(QStringLiteral(", "))),
                body);

  lay.space(3);
  lay.paragraph(QStringLiteral("Норма: %1").arg(norm.name), heading);
  lay.paragraph(QStringLiteral("Среднее по партии: %1").arg(limitsText(norm.meanMin, norm.meanMax, sep)), body);
  lay.paragraph(QStringLiteral("Отдельное значение: %1").arg(limitsText(norm.pieceMin, norm.pieceMax, sep)), body);
  if (const auto share = judgedShare(norm))
    lay.paragraph(QStringLiteral("Доля значений в пределах не менее: %1 %").arg(formatFigure(*share, sep)), body);
  lay.paragraph(QStringLiteral("Наименьшее число измерений: %1")
                    .arg(norm.minCount ? QString::number(*norm.minCount) : QStringLiteral("не задано")),
                body);
  lay.paragraph(QStringLiteral("Запас на погрешность прибора: %1 п. п. (каждая граница сужается на него)")
                    .arg(formatFigure(norm.margin, sep)),
                body);
  lay.paragraph(QStringLiteral("Основание: %1")
                    .arg(norm.basis.trimmed().isEmpty() ? QStringLiteral("не указано") : norm.basis.trimmed()),
                body);

  lay.space(3);
  lay.paragraph(QStringLiteral("Результаты"), heading);
  const QString sd = std::isnan(f.sd) ? QStringLiteral("—") : formatFigure(f.sd, sep);
  const QList<double> twoCols = {0.6, 0.4};
  const QList<std::pair<QString, QString>> figures = {
      {QStringLiteral("Число измерений n"), QString::number(f.n)},
      {QStringLiteral("Среднее, %"), f.n ? formatFigure(f.mean, sep) : QStringLiteral("—")},
      {QStringLiteral("Стандартное отклонение σ, п. п."), sd},
      {QStringLiteral("Наименьшее значение, %"), f.n ? formatFigure(f.min, sep) : QStringLiteral("—")},
      {QStringLiteral("Наибольшее значение, %"), f.n ? formatFigure(f.max, sep) : QStringLiteral("—")},
      {QStringLiteral("Доля значений в пределах, %"),
       pieceRange(norm).any() ? formatFigure(f.insideShare(), sep, 1) : QStringLiteral("—")},
      {QStringLiteral("Серий, учтённых по середине диапазона"), QString::number(f.series)},
      {QStringLiteral("Строк без значения (пропущено)"), QString::number(f.skipped)},
  };
  for (const auto& [name, value] : figures) lay.cells({name, value}, twoCols, cell, BandKind::Title);

  lay.space(3);
  lay.paragraph(QStringLiteral("Оценка по критериям"), heading);
  const QList<double> fourCols = {0.4, 0.18, 0.18, 0.24};
  lay.cells({QStringLiteral("Критерий"), QStringLiteral("Граница"), QStringLiteral("Значение"),
             QStringLiteral("Вывод")},
            fourCols, cellBold, BandKind::Title);
  for (const Criterion& c : result.assessment.criteria) {
    const bool count = c.kind == CriterionKind::MinCount;
    const QString value = count ? QString::number(int(c.value))
                          : (f.n ? formatFigure(c.value, sep, c.kind == CriterionKind::InsideShare ? 1 : 2)
                                 : QStringLiteral("—"));
    lay.cells({criterionCaption(c.kind), count ? QString::number(int(c.limit)) : formatFigure(c.limit, sep), value,
               c.passed ? QStringLiteral("выполнен") : QStringLiteral("не выполнен")},
              fourCols, cell, BandKind::Title);
  }
  lay.space(2);
  lay.paragraph(QStringLiteral("Заключение: %1").arg(verdictText(result.assessment.verdict)), heading);

  lay.space(3);
  lay.paragraph(QStringLiteral("Распределение значений"), heading);
  drawHistogram(lay, lotHistogram(result.pieces, norm), norm, sep);

  lay.space(3);
  lay.paragraph(QStringLiteral("Показания"), heading);
  const QList<double> listCols = {0.15, 0.25, 0.25, 0.35};
  const QStringList listHead = {QStringLiteral("N"), QStringLiteral("Дата"), QStringLiteral("Время"),
                                QStringLiteral("W, %")};
  lay.cells(listHead, listCols, cellBold, BandKind::Detail);
  for (const LotRow& row : subject.rows) {
    const QString value = lotValueText(row, sep);
    lay.cells({row.n.value_or(QString()).trimmed(), row.date.value_or(QString()).trimmed(),
               row.time.value_or(QString()).trimmed(), value.isEmpty() ? QStringLiteral("нет значения") : value},
              listCols, cell, BandKind::Detail, [&] { lay.cells(listHead, listCols, cellBold, BandKind::Detail); });
  }

  lay.space(3);
  lay.ensure(ProtocolLayout::lineUnits(body) * 4 + report::mmToUnits(12));
  lay.paragraph(QStringLiteral("Дата печати: %1").arg(QLocale(QLocale::Russian).toString(printed, QStringLiteral("dd.MM.yyyy HH:mm"))),
                body);
  lay.space(4);
  lay.paragraph(QStringLiteral("Измерения выполнил: ______________________  ____________  (должность, Ф. И. О., подпись)"),
                body);
  lay.space(4);
  lay.paragraph(QStringLiteral("Протокол составил: ______________________  ____________  (должность, Ф. И. О., подпись)"),
                body);
  lay.space(4);
  lay.paragraph(QStringLiteral("Представитель заказчика: ________________  ____________  (должность, Ф. И. О., подпись)"),
                body);
  return lay.finish();
}

}  // namespace hv
