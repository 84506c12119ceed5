#include "views/selection_stats.h"

#include <cmath>

#include "platform/error.h"
#include "platform/regional.h"

namespace hv {

std::optional<double> tryParseRegionalFloat(std::string_view text, QChar separator) {
  const QByteArray sep = QString(separator).toUtf8();
  if (sep.isEmpty() || sep.size() > 4) return std::nullopt;
  const std::string_view separators[] = {std::string_view(sep.constData(), std::size_t(sep.size()))};
  return parseDecimalText(text, separators);
}

double parseRegionalFloat(QStringView text, QChar separator) {
  const QByteArray utf8 = text.toUtf8();
  const std::optional<double> v = tryParseRegionalFloat(std::string_view(utf8.constData(), utf8.size()), separator);
  if (!v) throwInvalidFloat(text.toString());
  return *v;
}

double round_tenth(double x) {
  const double t = 1.0 / 10;
  const long double k = std::trunc(static_cast<long double>(x) / static_cast<long double>(t) + 0.5L);
  return static_cast<double>(k * static_cast<long double>(t));
}

QString formatStatNumber(double v, QChar separator) {
  if (v == 0) return QStringLiteral("0");  // also for -0
  QString s = QString::number(v, 'g', 15);
  if (separator != QChar('.')) s.replace(QChar('.'), separator);
  return s;
}

void QuantityStats::add(double v) {
  if (count == 0) {
    min = max = v;
  } else {
    if (v < min) min = v;
    if (v > max) max = v;
  }
  sum += v;
  ++count;
}

QString QuantityStats::text(QChar separator) const {
  if (count == 0) return QStringLiteral("0/0/0");
  return formatStatNumber(min, separator) + QChar('/') + formatStatNumber(round_tenth(sum / count), separator) +
         QChar('/') + formatStatNumber(max, separator);
}

namespace detail {

void throwBadValue(std::string_view utf8) {
  throwInvalidFloat(QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
}

SelectionFooters zeroFooters() {
  const QString zero = QStringLiteral("0/0/0");
  return SelectionFooters{zero, zero, zero};
}

}  // namespace detail

bool PieceRange::holds(double low, double high) const {
  // Readings are stored to tenths; a limit narrowed by a margin may carry a
  // binary remainder (10.3 - 0.1), which must not move a piece across it.
  constexpr double kSlack = 1e-9;
  return (!lower || low >= *lower - kSlack) && (!upper || high <= *upper + kSlack);
}

SelectionFigures selectionFigures(const QList<SelectedRow>& rows, const PieceRange& range, QList<LotPiece>* pieces) {
  QByteArray scratch;
  auto value = [&](qsizetype i, int q) -> std::optional<std::string_view> {
    const SelectedRow& r = rows[i];
    const std::optional<QString>& v = q == 0 ? r.w : q == 1 ? r.wMin : r.wMax;
    if (!v) return std::nullopt;
    scratch = v->toUtf8();
    return std::string_view(scratch.constData(), scratch.size());
  };
  if (pieces) pieces->clear();
  return selectionFiguresOf(rows.size(), value, decimalSeparator(), range, [&](qsizetype, const LotPiece& p) {
    if (pieces) pieces->append(p);
  });
}

QString figuresStatusText(const SelectionFigures& f, qsizetype rowCount, QChar separator) {
  if (rowCount < 2) return {};
  QString sd = QStringLiteral("—");
  if (!std::isnan(f.sd)) {
    sd = QString::number(f.sd, 'f', 2);
    if (separator != QChar('.')) sd.replace(QChar('.'), separator);
  }
  return QStringLiteral("n = %1, σ = %2").arg(f.n).arg(sd);
}

SelectionFooters selectionFooters(const QList<SelectedRow>& rows) { return selectionFooters(rows, decimalSeparator()); }

SelectionFooters selectionFooters(const QList<SelectedRow>& rows, QChar written) {
  QByteArray scratch;
  return selectionFootersOf(
      rows.size(),
      [&](qsizetype i, int q) -> std::optional<std::string_view> {
        const SelectedRow& r = rows[i];
        const std::optional<QString>& v = q == 0 ? r.w : q == 1 ? r.wMin : r.wMax;
        if (!v) return std::nullopt;
        scratch = v->toUtf8();
        return std::string_view(scratch.constData(), scratch.size());
      },
      decimalSeparator(), written);
}

}  // namespace hv
