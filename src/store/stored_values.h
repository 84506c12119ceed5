#pragma once
// The text forms in which the measurement row's values are kept, written and
// read back by everyone: the import, the grids' statistics, the chart, the
// sort keys and the export.
#include <QChar>
#include <QString>
#include <QtGlobal>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace hv {

// --- moisture: tenths of a percent, one decimal --------------------------

// Tenths of a percent as "%3.1f" with the given decimal separator: 125 -> "12,5".
QString FormatMoisture(quint16 tenths, QChar separator);
// The same with the user's separator.
QString FormatMoisture(quint16 tenths);

// The separator a stored moisture text is written with: the first character
// that is neither a digit, a sign nor a blank; nothing for a whole number or
// a blank text.
std::optional<QChar> moistureSeparatorOf(QStringView text);

// A stored moisture text (UTF-8) as a number: tables hold either separator,
// whoever wrote them, and a table written under another locale holds that
// locale's; so ',', '.' and `userSeparator` are all read. Blanks around it
// are allowed; nothing when it is not a number.
std::optional<double> readStoredMoisture(std::string_view utf8, QChar userSeparator);

// VAL() of a decimal text with either separator, in thousandths, rounded
// half away from zero, as the moisture sort keys take it. Parsing stops at
// the first character that does not fit.
std::int64_t parseDecimalMilli(std::string_view text);

// [sign] digits [separator digits] [e [sign] digits] with blanks around, the
// separator any of `separators` (UTF-8); nothing for any other text.
std::optional<double> parseDecimalText(std::string_view text, std::span<const std::string_view> separators);

// A stored moisture text (UTF-8) appended to `out` with `decimal` in place of
// the ',' or '.' it is written with, its digits as stored and the blanks
// around it dropped ("12,5" -> "12.5"). False, and nothing appended, when it
// is not such a number.
bool appendMoistureWith(std::string& out, std::string_view utf8, char decimal);

// --- date and time -------------------------------------------------------

// A reading of the meter's clock, each part within the range the stored texts
// keep it in, but not checked against the calendar: the meter can send
// 31 April, and that reading lies after 30 April and before 1 May.
struct ClockReading {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  // Orders readings as year, month, day, hour, minute, second do.
  qint64 key() const;
  // Whole seconds from 1 January of year 1 (that day counted as day 1), the
  // day counted on from the start of its month: 31 April is 1 May.
  qint64 seconds() const;
  // The calendar has the day (31 April it has not).
  bool onCalendar() const;
};

// "dd.mm.yyyy" and "hh:mm:ss" of a reading.
QString storedDateText(const ClockReading& clock);
QString storedTimeText(const ClockReading& clock);

// The stored "dd.mm.yyyy" and "hh:mm:ss" read back in that form only (blanks
// around them and missing leading zeros allowed, seconds optional), whatever
// the locale's own date order; nothing when a part is missing or outside the
// range a reading keeps it in (day 1..31, month 1..12, hour 0..23, ...).
std::optional<ClockReading> readStoredClock(const QString& date, const QString& time);
std::optional<ClockReading> readStoredClock(const std::optional<QString>& date, const std::optional<QString>& time);
// The same over UTF-8 texts, for readers that hold the table's bytes.
std::optional<ClockReading> readStoredClock(std::string_view date, std::string_view time);

// "yyyy-mm-dd" and "yyyy-mm-ddThh:mm:ss" (ISO 8601) of a reading appended to `out`.
void appendIsoDate(std::string& out, const ClockReading& clock);
void appendIsoDateTime(std::string& out, const ClockReading& clock);

// The stored "dd.mm.yyyy" and "hh:mm:ss" read together as whole seconds from
// 1 January of year 1 (that day counted as day 1). Read as readStoredClock
// reads them; nothing also when the calendar has no such day.
std::optional<qint64> TextToSeconds(const QString& date, const QString& time);
std::optional<qint64> TextToSeconds(const std::optional<QString>& date, const std::optional<QString>& time);

// --- individual dependence number ----------------------------------------

// The N_IND text of an individual dependence number: empty for 0, "**" when
// the number does not fit the field's two characters.
QString individualNumberText(int individualNumber);

}  // namespace hv
