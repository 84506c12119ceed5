#include "device/import/record_text.h"

#include "device/device_image.h"

namespace hv {

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

QString RecordTimeText(const DeviceRecord& r) { return storedTimeText(recordClock(r)); }

QString RecordDateText(const DeviceRecord& r) { return storedDateText(recordClock(r)); }

}  // namespace hv
