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

// "hh:mm:ss"; an hour above 23, a minute or second above 59 is written 00.
QString RecordTimeText(const DeviceRecord& record);
// "dd.mm.yyyy" with the year 2000 + its byte; a day 0 or above 31, a month 0
// or above 12 is written 01.
QString RecordDateText(const DeviceRecord& record);

// The stored "dd.mm.yyyy" and "hh:mm:ss" read together as whole seconds from
// 1 January of year 1 (that day counted as day 1). The texts are read in
// their stored form only, whatever the locale's own date order; nothing when
// they can't be read (blank, edited by hand, no such day).
std::optional<qint64> TextToSeconds(const QString& date, const QString& time);
std::optional<qint64> TextToSeconds(const std::optional<QString>& date, const std::optional<QString>& time);

}  // namespace hv
