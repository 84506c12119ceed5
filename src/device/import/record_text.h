#pragma once
// The text forms in which a device record's values are stored in the table,
// and the reading back of a stored date and time for comparisons.
#include <QString>
#include <QtGlobal>
#include <optional>

namespace hv {

class DeviceRecord;

// Tenths of a percent as "%3.1f" with the user's decimal separator: 125 -> "12,5".
QString FormatMoisture(quint16 tenths);

// A reading of the meter's clock, each part within the range the stored texts
// keep it in, but not checked against the calendar: the meter can send
// 31 April, and that reading lies after 30 April and before 1 May.
struct ClockReading {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  // Orders readings as year, month, day, hour, minute, second do.
  qint64 key() const;
};

// A record's reading as stored: an hour above 23, a minute or second above 59
// becomes 0; a day 0 or above 31, a month 0 or above 12 becomes 1.
ClockReading recordClock(const DeviceRecord& record);

// "hh:mm:ss" of recordClock.
QString RecordTimeText(const DeviceRecord& record);
// "dd.mm.yyyy" of recordClock, the year 2000 + its byte.
QString RecordDateText(const DeviceRecord& record);

// The stored "dd.mm.yyyy" and "hh:mm:ss" read back in that form only (blanks
// around them and missing leading zeros allowed, seconds optional), whatever
// the locale's own date order; nothing when a part is missing or outside the
// range recordClock keeps it in.
std::optional<ClockReading> readStoredClock(const QString& date, const QString& time);
std::optional<ClockReading> readStoredClock(const std::optional<QString>& date, const std::optional<QString>& time);

// The stored "dd.mm.yyyy" and "hh:mm:ss" read together as whole seconds from
// 1 January of year 1 (that day counted as day 1). Read as readStoredClock
// reads them; nothing also when the calendar has no such day.
std::optional<qint64> TextToSeconds(const QString& date, const QString& time);
std::optional<qint64> TextToSeconds(const std::optional<QString>& date, const std::optional<QString>& time);

}  // namespace hv
