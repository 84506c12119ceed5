#include "device/import/record_text.h"

#include <QDate>

#include "device/device_image.h"
#include "platform/regional.h"

namespace hv {

namespace {

QString twoDigits(int v) { return QStringLiteral("%1").arg(v, 2, 10, QChar('0')); }

// Leading and trailing blanks only: dBase pads text fields with them.
QStringView trimmed(QStringView s) {
  while (!s.isEmpty() && s.front() == QChar(' ')) s = s.mid(1);
  while (!s.isEmpty() && s.back() == QChar(' ')) s.chop(1);
  return s;
}

// Digits only (no sign, no locale digits); minDigits..maxDigits of them.
std::optional<int> number(QStringView s, int minDigits, int maxDigits) {
  if (s.size() < minDigits || s.size() > maxDigits) return std::nullopt;
  int v = 0;
  for (QChar c : s) {
    if (c < QChar('0') || c > QChar('9')) return std::nullopt;
    v = v * 10 + (c.unicode() - '0');
  }
  return v;
}

}  // namespace

QString FormatMoisture(quint16 tenths) {
  // Integer arithmetic gives exactly what "%3.1f" of tenths / 10 prints; every
  // result has at least three characters, so the width never pads.
  return QString::number(tenths / 10) + decimalSeparator() + QString::number(tenths % 10);
}

qint64 ClockReading::key() const {
  return ((((qint64(year) * 100 + month) * 100 + day) * 100 + hour) * 100 + minute) * 100 + second;
}

ClockReading recordClock(const DeviceRecord& r) {
  ClockReading c;
  c.year = 2000 + r.year();
  c.month = (r.month() == 0 || r.month() > 12) ? 1 : r.month();
  c.day = (r.day() == 0 || r.day() > 31) ? 1 : r.day();
  c.hour = r.hour() > 23 ? 0 : r.hour();
  c.minute = r.minute() > 59 ? 0 : r.minute();
  c.second = r.second() > 59 ? 0 : r.second();
  return c;
}

QString RecordTimeText(const DeviceRecord& r) {
  const ClockReading c = recordClock(r);
  return twoDigits(c.hour) + QChar(':') + twoDigits(c.minute) + QChar(':') + twoDigits(c.second);
}

QString RecordDateText(const DeviceRecord& r) {
  const ClockReading c = recordClock(r);
  return twoDigits(c.day) + QChar('.') + twoDigits(c.month) + QChar('.') + QString::number(c.year);
}

std::optional<ClockReading> readStoredClock(const QString& date, const QString& time) {
  const QList<QStringView> d = trimmed(date).split(QChar('.'));
  const QList<QStringView> t = trimmed(time).split(QChar(':'));
  if (d.size() != 3 || t.size() < 2 || t.size() > 3) return std::nullopt;
  const auto day = number(d[0], 1, 2), month = number(d[1], 1, 2), year = number(d[2], 4, 4);
  const auto hour = number(t[0], 1, 2), minute = number(t[1], 1, 2);
  const auto second = t.size() == 3 ? number(t[2], 1, 2) : std::optional<int>(0);
  if (!day || !month || !year || !hour || !minute || !second) return std::nullopt;
  if (*day < 1 || *day > 31 || *month < 1 || *month > 12 || *year < 1) return std::nullopt;
  if (*hour > 23 || *minute > 59 || *second > 59) return std::nullopt;
  return ClockReading{*year, *month, *day, *hour, *minute, *second};
}

std::optional<ClockReading> readStoredClock(const std::optional<QString>& date, const std::optional<QString>& time) {
  if (!date || !time) return std::nullopt;
  return readStoredClock(*date, *time);
}

std::optional<qint64> TextToSeconds(const QString& date, const QString& time) {
  const std::optional<ClockReading> c = readStoredClock(date, time);
  if (!c) return std::nullopt;
  const QDate qd(c->year, c->month, c->day);
  if (!qd.isValid()) return std::nullopt;
  static const qint64 dayOne = QDate(1, 1, 1).toJulianDay();
  const qint64 days = qd.toJulianDay() - dayOne + 1;
  return days * 86400 + c->hour * 3600 + c->minute * 60 + c->second;
}

std::optional<qint64> TextToSeconds(const std::optional<QString>& date, const std::optional<QString>& time) {
  if (!date || !time) return std::nullopt;
  return TextToSeconds(*date, *time);
}

}  // namespace hv
