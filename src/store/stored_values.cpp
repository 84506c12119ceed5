#include "store/stored_values.h"

#include <QDate>
#include <QList>
#include <array>
#include <charconv>
#include <cmath>

#include "platform/regional.h"
#include "store/row_schema.h"

namespace hv {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

QString twoDigits(int v) { return QStringLiteral("%1").arg(v, 2, 10, QChar('0')); }

char16_t unit(QChar c) { return c.unicode(); }
char16_t unit(char c) { return char16_t(static_cast<unsigned char>(c)); }

// Digits only (no sign, no locale digits); minDigits..maxDigits of them.
template <class Text>
std::optional<int> number(Text s, int minDigits, int maxDigits) {
  if (qsizetype(s.size()) < minDigits || qsizetype(s.size()) > maxDigits) return std::nullopt;
  int v = 0;
  for (auto c : s) {
    const char16_t u = unit(c);
    if (u < '0' || u > '9') return std::nullopt;
    v = v * 10 + (u - '0');
  }
  return v;
}

// The parts of s between separators, at most N of them; -1 when there are more.
template <class Text, std::size_t N>
int splitParts(Text s, char16_t separator, std::array<Text, N>& parts) {
  int count = 0;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= std::size_t(s.size()); ++i) {
    if (i < std::size_t(s.size()) && unit(s[i]) != separator) continue;
    if (count == int(N)) return -1;
    parts[std::size_t(count++)] = Text(s.data() + start, i - start);
    start = i + 1;
  }
  return count;
}

// Leading and trailing blanks only: dBase pads text fields with them.
template <class Text>
Text blanksTrimmed(Text s) {
  std::size_t from = 0, to = std::size_t(s.size());
  while (from < to && unit(s[from]) == ' ') ++from;
  while (to > from && unit(s[to - 1]) == ' ') --to;
  return Text(s.data() + from, to - from);
}

template <class Text>
std::optional<ClockReading> readClock(Text date, Text time) {
  std::array<Text, 3> d, t;
  if (splitParts(blanksTrimmed(date), '.', d) != 3) return std::nullopt;
  const int timeParts = splitParts(blanksTrimmed(time), ':', t);
  if (timeParts < 2) return std::nullopt;
  const auto day = number(d[0], 1, 2), month = number(d[1], 1, 2), year = number(d[2], 4, 4);
  const auto hour = number(t[0], 1, 2), minute = number(t[1], 1, 2);
  const auto second = timeParts == 3 ? number(t[2], 1, 2) : std::optional<int>(0);
  if (!day || !month || !year || !hour || !minute || !second) return std::nullopt;
  if (*day < 1 || *day > 31 || *month < 1 || *month > 12 || *year < 1) return std::nullopt;
  if (*hour > 23 || *minute > 59 || *second > 59) return std::nullopt;
  return ClockReading{*year, *month, *day, *hour, *minute, *second};
}

void appendDigits(std::string& out, int v, int width) {
  char buf[12];
  int n = 0;
  do {
    buf[n++] = char('0' + v % 10);
    v /= 10;
  } while (v > 0);
  for (int i = n; i < width; ++i) out.push_back('0');
  while (n > 0) out.push_back(buf[--n]);
}

// A character of the basic plane as UTF-8, without a QByteArray.
std::string_view utf8Of(QChar c, char (&buf)[3]) {
  const char16_t u = c.unicode();
  if (u < 0x80) {
    buf[0] = char(u);
    return {buf, 1};
  }
  if (u < 0x800) {
    buf[0] = char(0xC0 | (u >> 6));
    buf[1] = char(0x80 | (u & 0x3F));
    return {buf, 2};
  }
  buf[0] = char(0xE0 | (u >> 12));
  buf[1] = char(0x80 | ((u >> 6) & 0x3F));
  buf[2] = char(0x80 | (u & 0x3F));
  return {buf, 3};
}

}  // namespace

QString FormatMoisture(quint16 tenths, QChar separator) {
  // Integer arithmetic gives exactly what "%3.1f" of tenths / 10 prints; every
  // result has at least three characters, so the width never pads.
  return QString::number(tenths / 10) + separator + QString::number(tenths % 10);
}

QString FormatMoisture(quint16 tenths) { return FormatMoisture(tenths, decimalSeparator()); }

std::optional<QChar> moistureSeparatorOf(QStringView text) {
  for (QChar c : text)
    if (!c.isDigit() && c != QChar(' ') && c != QChar('-') && c != QChar('+')) return c;
  return std::nullopt;
}

std::optional<double> parseDecimalText(std::string_view text, std::span<const std::string_view> separators) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (text.empty() || text.size() > 64) return std::nullopt;

  // Copy into C form ("." as separator) while checking the shape; at least
  // one mantissa digit.
  char buf[80];
  size_t out = 0;
  size_t i = 0;
  if (text[i] == '+' || text[i] == '-') {
    if (text[i] == '-') buf[out++] = '-';
    ++i;
  }
  int mantissaDigits = 0;
  while (i < text.size() && isDigit(text[i])) buf[out++] = text[i++], ++mantissaDigits;
  for (std::string_view sep : separators) {
    if (sep.empty() || text.substr(i, sep.size()) != sep) continue;
    i += sep.size();
    buf[out++] = '.';
    while (i < text.size() && isDigit(text[i])) buf[out++] = text[i++], ++mantissaDigits;
    break;
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

bool appendMoistureWith(std::string& out, std::string_view utf8, char decimal) {
  static constexpr std::string_view kSeparators[] = {",", "."};
  if (!parseDecimalText(utf8, kSeparators)) return false;
  const std::size_t from = out.size();
  out.append(blanksTrimmed(utf8));
  for (std::size_t i = from; i < out.size(); ++i)
    if (out[i] == ',' || out[i] == '.') out[i] = decimal;
  return true;
}

std::optional<double> readStoredMoisture(std::string_view utf8, QChar userSeparator) {
  char buf[3];
  const std::string_view separators[] = {",", ".", utf8Of(userSeparator, buf)};
  return parseDecimalText(utf8, separators);
}

std::int64_t parseDecimalMilli(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\0')) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
  std::int64_t whole = 0;
  int digits = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
    if (digits < 15) whole = whole * 10 + (s[i] - '0');
    ++digits;
    ++i;
  }
  std::int64_t frac = 0;  // in ten-thousandths, for rounding
  if (i < s.size() && (s[i] == ',' || s[i] == '.')) {
    ++i;
    int places = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
      if (places < 4) frac = frac * 10 + (s[i] - '0');
      ++places;
      ++i;
    }
    for (; places < 4; ++places) frac *= 10;
  }
  const std::int64_t milli = whole * 1000 + (frac + 5) / 10;
  return negative ? -milli : milli;
}

qint64 ClockReading::key() const {
  return ((((qint64(year) * 100 + month) * 100 + day) * 100 + hour) * 100 + minute) * 100 + second;
}

qint64 ClockReading::seconds() const {
  static const qint64 dayOne = QDate(1, 1, 1).toJulianDay();
  const qint64 days = QDate(year, month, 1).toJulianDay() + (day - 1) - dayOne + 1;
  return days * 86400 + hour * 3600 + minute * 60 + second;
}

bool ClockReading::onCalendar() const { return QDate::isValid(year, month, day); }

QString storedDateText(const ClockReading& c) {
  return twoDigits(c.day) + QChar('.') + twoDigits(c.month) + QChar('.') + QString::number(c.year);
}

QString storedTimeText(const ClockReading& c) {
  return twoDigits(c.hour) + QChar(':') + twoDigits(c.minute) + QChar(':') + twoDigits(c.second);
}

std::optional<ClockReading> readStoredClock(const QString& date, const QString& time) {
  return readClock(QStringView(date), QStringView(time));
}

std::optional<ClockReading> readStoredClock(std::string_view date, std::string_view time) {
  return readClock(date, time);
}

void appendIsoDate(std::string& out, const ClockReading& c) {
  appendDigits(out, c.year, 4);
  out.push_back('-');
  appendDigits(out, c.month, 2);
  out.push_back('-');
  appendDigits(out, c.day, 2);
}

void appendIsoDateTime(std::string& out, const ClockReading& c) {
  appendIsoDate(out, c);
  out.push_back('T');
  appendDigits(out, c.hour, 2);
  out.push_back(':');
  appendDigits(out, c.minute, 2);
  out.push_back(':');
  appendDigits(out, c.second, 2);
}

std::optional<ClockReading> readStoredClock(const std::optional<QString>& date, const std::optional<QString>& time) {
  if (!date || !time) return std::nullopt;
  return readStoredClock(*date, *time);
}

std::optional<qint64> TextToSeconds(const QString& date, const QString& time) {
  const std::optional<ClockReading> c = readStoredClock(date, time);
  if (!c || !c->onCalendar()) return std::nullopt;
  return c->seconds();
}

std::optional<qint64> TextToSeconds(const std::optional<QString>& date, const std::optional<QString>& time) {
  if (!date || !time) return std::nullopt;
  return TextToSeconds(*date, *time);
}

QString individualNumberText(int individualNumber) {
  if (individualNumber == 0) return {};
  // dBase marks a value too wide for its field with asterisks; a cut number
  // would name another dependence.
  const int width = fieldSpec(MeasurementField::NInd).width;
  if (QString::number(individualNumber).size() > width) return QString(width, QChar('*'));
  return QString::number(individualNumber);
}

}  // namespace hv
