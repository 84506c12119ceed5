#pragma once
// Statistics of the selected rows of an archive grid: for W, W_MIN and W_MAX
// the minimum, the rounded mean and the maximum, as the grid's footers show
// them ("min/mean/max"). No widgets: the grids and hygrovan-cli share it.
#include <QChar>
#include <QList>
#include <QString>
#include <QStringView>
#include <algorithm>
#include <cmath>
#include <optional>
#include <string_view>

#include "store/stored_values.h"
#include "views/selected_rows.h"

namespace hv {

// Parses a moisture text written with the given decimal separator; blanks
// around the number are allowed. Returns nullopt when it is not a number.
std::optional<double> tryParseRegionalFloat(std::string_view text, QChar separator);
// The same, throwing hv::Error "Значение \"%s\" не является числом."
double parseRegionalFloat(QStringView text, QChar separator);

// Rounds to tenths the way the meter software always has: x / t + 0.5 in
// extended precision, truncated, times t, with t = 1/10 in double precision.
// Half-way means therefore usually round down (12.25 -> 12.2).
double round_tenth(double x);

// General format, at most 15 significant digits, no trailing zeros, the given
// decimal separator (100 -> "100", 12.200000000000001 -> "12,2").
QString formatStatNumber(double v, QChar separator);

// Running minimum, maximum, sum and count of one quantity over the present values.
struct QuantityStats {
  double min = 0, max = 0, sum = 0;
  int count = 0;
  void add(double v);
  // "min/mean/max"; "0/0/0" when no value was present.
  QString text(QChar separator) const;
};

// The three footers for a selection given as rows of stored values, in the
// user's decimal separator. Fewer
// than two rows give "0/0/0" everywhere. Throws hv::Error for a present value
// that does not parse; nothing is returned then.
SelectionFooters selectionFooters(const QList<SelectedRow>& rows);
// The same with the numbers written with `written` whatever the user's
// separator, for output read by programs; the values are read as above.
SelectionFooters selectionFooters(const QList<SelectedRow>& rows, QChar written);

// The same over any row source: value(i, q) gives row i's text of quantity q
// (0 = W, 1 = W_MIN, 2 = W_MAX) as UTF-8 bytes, or nullopt for a blank field.
// Values are read with either decimal separator or `separator`
// (readStoredMoisture); the footers are written with `written`, by default
// `separator`.
template <class ValueAt>
SelectionFooters selectionFootersOf(qsizetype n, ValueAt value, QChar separator, QChar written = QChar());

// Limits a single piece must lie within; either end may be open.
struct PieceRange {
  std::optional<double> lower, upper;
  bool any() const { return lower || upper; }
  // Both ends of a piece inside, the limits themselves included.
  bool holds(double low, double high) const;
};

// Figures of a set of rows taken as the pieces of a lot. A row with W is one
// piece of that value; a row with W_MIN and W_MAX (a series) is one piece
// whose value is the midpoint, lying inside a range only when both ends do.
// Other rows have no value: skipped and counted. min and max are the lowest
// and highest readings, the series' ends included.
struct SelectionFigures {
  int n = 0;
  double mean = 0;
  double sd = NAN;  // sample deviation (n - 1); NaN below two pieces
  double min = 0, max = 0;
  int series = 0;   // pieces counted by their midpoint
  int skipped = 0;  // rows without a value
  int inside = 0;   // pieces inside the range the figures were made for
  // Percent of the pieces inside; 0 with no piece.
  double insideShare() const { return n > 0 ? 100.0 * inside / n : 0; }
};

// One piece as the figures counted it.
struct LotPiece {
  double value = 0;  // W, or the series' midpoint
  double low = 0, high = 0;
  bool series = false;
};

// The figures in one pass over any row source (value as for the footers);
// range: the piece limits the inside count is taken against. Each piece is
// also handed to onPiece(row, piece) when given. Throws hv::Error for a
// present value that does not parse.
template <class ValueAt, class OnPiece>
SelectionFigures selectionFiguresOf(qsizetype n, ValueAt value, QChar separator, const PieceRange& range,
                                    OnPiece onPiece);
template <class ValueAt>
SelectionFigures selectionFiguresOf(qsizetype n, ValueAt value, QChar separator, const PieceRange& range = {}) {
  return selectionFiguresOf(n, value, separator, range, [](qsizetype, const LotPiece&) {});
}
// Over rows of stored values, with the user's decimal separator.
SelectionFigures selectionFigures(const QList<SelectedRow>& rows, const PieceRange& range = {},
                                  QList<LotPiece>* pieces = nullptr);

// The footers and the lot figures (without piece limits) of the same rows,
// each value read once; the footers written with `separator`.
struct SelectionSummary {
  SelectionFooters footers;
  SelectionFigures figures;
};
template <class ValueAt>
SelectionSummary selectionSummaryOf(qsizetype n, ValueAt value, QChar separator);

// The status bar's words beside the footers, "n = 5, σ = 1,23"; empty below
// two rows, as the footers then show nothing.
QString figuresStatusText(const SelectionFigures& f, qsizetype rowCount, QChar separator);

namespace detail {
[[noreturn]] void throwBadValue(std::string_view utf8);
SelectionFooters zeroFooters();
// The value of quantity q of row i, or nullopt for a blank field.
template <class ValueAt>
std::optional<double> readQuantity(ValueAt& value, qsizetype i, int q, QChar separator) {
  const std::optional<std::string_view> text = value(i, q);
  if (!text) return std::nullopt;
  const std::optional<double> v = readStoredMoisture(*text, separator);
  if (!v) throwBadValue(*text);
  return v;
}

// The figures' running state, one row at a time.
class FiguresRun {
 public:
  explicit FiguresRun(const PieceRange& range) : range_(range) {}
  template <class OnPiece>
  void add(qsizetype i, const std::optional<double>& w, const std::optional<double>& lo,
           const std::optional<double>& hi, OnPiece& onPiece) {
    LotPiece p;
    if (w) {
      p.value = p.low = p.high = *w;
    } else if (lo && hi) {
      p.low = std::min(*lo, *hi);
      p.high = std::max(*lo, *hi);
      p.value = (*lo + *hi) / 2;
      p.series = true;
      ++f_.series;
    } else {
      ++f_.skipped;
      return;
    }
    if (f_.n == 0) {
      f_.min = p.low;
      f_.max = p.high;
    } else {
      f_.min = std::min(f_.min, p.low);
      f_.max = std::max(f_.max, p.high);
    }
    ++f_.n;
    const double delta = p.value - f_.mean;
    f_.mean += delta / f_.n;
    m2_ += delta * (p.value - f_.mean);
    if (range_.holds(p.low, p.high)) ++f_.inside;
    onPiece(i, p);
  }
  SelectionFigures finish() {
    if (f_.n >= 2) f_.sd = std::sqrt(m2_ / (f_.n - 1));
    return f_;
  }

 private:
  PieceRange range_;
  SelectionFigures f_;
  double m2_ = 0;  // Welford: the mean and the squared deviations in one pass, without cancellation
};

}  // namespace detail

template <class ValueAt, class OnPiece>
SelectionFigures selectionFiguresOf(qsizetype n, ValueAt value, QChar separator, const PieceRange& range,
                                    OnPiece onPiece) {
  detail::FiguresRun run(range);
  for (qsizetype i = 0; i < n; ++i) {
    const std::optional<double> w = detail::readQuantity(value, i, 0, separator);
    const std::optional<double> lo = detail::readQuantity(value, i, 1, separator);
    const std::optional<double> hi = detail::readQuantity(value, i, 2, separator);
    run.add(i, w, lo, hi, onPiece);
  }
  return run.finish();
}

template <class ValueAt>
SelectionSummary selectionSummaryOf(qsizetype n, ValueAt value, QChar separator) {
  detail::FiguresRun run{PieceRange{}};
  QuantityStats q[3];
  const auto noPiece = [](qsizetype, const LotPiece&) {};
  for (qsizetype i = 0; i < n; ++i) {
    std::optional<double> v[3];
    for (int k = 0; k < 3; ++k) {
      v[k] = detail::readQuantity(value, i, k, separator);
      if (v[k]) q[k].add(*v[k]);
    }
    run.add(i, v[0], v[1], v[2], noPiece);
  }
  SelectionSummary s;
  s.footers = n < 2 ? detail::zeroFooters() : SelectionFooters{q[0].text(separator), q[1].text(separator), q[2].text(separator)};
  s.figures = run.finish();
  return s;
}

template <class ValueAt>
SelectionFooters selectionFootersOf(qsizetype n, ValueAt value, QChar separator, QChar written) {
  if (n < 2) return detail::zeroFooters();
  QuantityStats q[3];
  for (qsizetype i = 0; i < n; ++i) {
    for (int k = 0; k < 3; ++k) {
      if (const std::optional<double> v = detail::readQuantity(value, i, k, separator)) q[k].add(*v);
    }
  }
  if (written.isNull()) written = separator;
  SelectionFooters f;
  f.w = q[0].text(written);
  f.wMin = q[1].text(written);
  f.wMax = q[2].text(written);
  return f;
}

}  // namespace hv
