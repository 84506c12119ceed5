#include "views/selection_stats.h"

#include <charconv>
#include <cmath>

#include "platform/error.h"
#include "platform/regional.h"

namespace hv {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<double> tryParseRegionalFloat(std::string_view text, QChar separator) {
  // Blanks around the number are allowed.
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (text.empty() || text.size() > 64) return std::nullopt;
  char sepUtf8[4];
  const QByteArray sepBytes = QString(separator).toUtf8();
  if (sepBytes.isEmpty() || sepBytes.size() > 4) return std::nullopt;
  std::copy(sepBytes.begin(), sepBytes.end(), sepUtf8);
  const std::string_view sep(sepUtf8, sepBytes.size());

  // Copy into C form ("." as separator) while checking the shape:
  // [sign] digits [sep digits] [e [sign] digits], at least one mantissa digit.
  char buf[80];
  size_t out = 0;
  size_t i = 0;
  if (text[i] == '+' || text[i] == '-') {
    if (text[i] == '-') buf[out++] = '-';
    ++i;
  }
  int mantissaDigits = 0;
  while (i < text.size() && isDigit(text[i])) buf[out++] = text[i++], ++mantissaDigits;
  if (text.substr(i, sep.size()) == sep) {
    i += sep.size();
    buf[out++] = '.';
    while (i < text.size() && isDigit(text[i])) buf[out++] = text[i++], ++mantissaDigits;
  }
  if (mantissaDigits == 0) return std::nullopt;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    buf[out++] = 'e';
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) buf[out++] = text[i++];
    int expDigits = 0;
    while (i < text.size() && isDigit(text[i])) buf[out++] = text[i++], ++expDigits;
    if (expDigits == 0) return std::nullopt;
  }
  if (i != text.size()) return std::nullopt;
  double v = 0;
  const auto r = std::from_chars(buf, buf + out, v);
  if (r.ec != std::errc() || r.ptr != buf + out || !std::isfinite(v)) return std::nullopt;
  return v;
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

SelectionFooters selectionFooters(const QList<SelectedRow>& rows) {
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
      decimalSeparator());
}

}  // namespace hv
