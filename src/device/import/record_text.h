#pragma once
// A device record's values in the forms the table keeps them in (see
// store/stored_values.h, which this brings in for the readers as well).
#include <QString>

#include "store/stored_values.h"

namespace hv {

class DeviceRecord;

// A record's reading as stored: an hour above 23, a minute or second above 59
// becomes 0; a day 0 or above 31, a month 0 or above 12 becomes 1.
ClockReading recordClock(const DeviceRecord& record);

// "hh:mm:ss" of recordClock.
QString RecordTimeText(const DeviceRecord& record);
// "dd.mm.yyyy" of recordClock, the year 2000 + its byte.
QString RecordDateText(const DeviceRecord& record);

}  // namespace hv
