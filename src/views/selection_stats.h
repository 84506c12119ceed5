#pragma once
// Statistics of the selected rows of an archive grid: for W, W_MIN and W_MAX
// the minimum, the rounded mean and the maximum, as the grid's footers show
// them ("min/mean/max"). No widgets: the grids and hygrovan-cli share it.
#include <QChar>
#include <QList>
#include <QString>
#include <QStringView>
#include <optional>
#include <string_view>

#include "store/stored_values.h"
#include "views/selected_rows.h"

namespace hv {

// Parses a moisture text written with the given decimal separator; blanks
// around the number are allowed. Returns nullopt when it is not a number.
std::optional<double> tryParseRegionalFloat(std::string_view text, QChar separator);
// The same, throwing hv::Error "'%s' is not a valid floating point value".
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

// The same over any row source: value(i, q) gives row i's text of quantity q
// (0 = W, 1 = W_MIN, 2 = W_MAX) as UTF-8 bytes, or nullopt for a blank field.
// Values are read with either decimal separator (readStoredMoisture); the
// footers are written with `separator`.
template <class ValueAt>
SelectionFooters selectionFootersOf(qsizetype n, ValueAt value, QChar separator);

namespace detail {
[[noreturn]] void throwBadValue(std::string_view utf8);
SelectionFooters zeroFooters();
}  // namespace detail

template <class ValueAt>
SelectionFooters selectionFootersOf(qsizetype n, ValueAt value, QChar separator) {
  if (n < 2) return detail::zeroFooters();
  QuantityStats q[3];
  for (qsizetype i = 0; i < n; ++i) {
    for (int k = 0; k < 3; ++k) {
      const std::optional<std::string_view> text = value(i, k);
      if (!text) continue;
      const std::optional<double> v = readStoredMoisture(*text, separator);
      if (!v) detail::throwBadValue(*text);
      q[k].add(*v);
    }
  }
  SelectionFooters f;
  f.w = q[0].text(separator);
  f.wMin = q[1].text(separator);
  f.wMax = q[2].text(separator);
  return f;
}

}  // namespace hv
