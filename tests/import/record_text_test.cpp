// The text forms of a device record and the reading back of stored dates.
#include <gtest/gtest.h>

#include <QLocale>

#include "device/device_image.h"
#include "device/import/record_text.h"
#include "import_images.h"
#include "platform/regional.h"
#include "store/stored_values.h"

namespace {

hv::DeviceRecord record(const hv::test::Rec& r) {
  auto image = hv::test::makeImage({QList<hv::test::Rec>{r}, {}, {}});
  return hv::archiveRecord(hv::ArchiveKind::Wood, 0, *image);
}

hv::DeviceRecord timed(int hour, int minute, int second, int day = 1, int month = 1, int year = 7) {
  hv::test::Rec r;
  r.hour = quint8(hour);
  r.minute = quint8(minute);
  r.second = quint8(second);
  r.day = quint8(day);
  r.month = quint8(month);
  r.year = quint8(year);
  return record(r);
}

class RecordText : public ::testing::Test {
 protected:
  void TearDown() override {
    hv::setDecimalSeparatorOverride(QChar());
    QLocale::setDefault(QLocale::system());
  }
};

TEST_F(RecordText, MoistureHasOneDecimalWithTheUsersSeparator) {
  hv::setDecimalSeparatorOverride(QChar(','));
  EXPECT_EQ(hv::FormatMoisture(125), QStringLiteral("12,5"));
  EXPECT_EQ(hv::FormatMoisture(65535), QStringLiteral("6553,5"));
  EXPECT_EQ(hv::FormatMoisture(0), QStringLiteral("0,0"));
  EXPECT_EQ(hv::FormatMoisture(7), QStringLiteral("0,7"));
  EXPECT_EQ(hv::FormatMoisture(1000), QStringLiteral("100,0"));
  hv::setDecimalSeparatorOverride(QChar('.'));
  EXPECT_EQ(hv::FormatMoisture(125), QStringLiteral("12.5"));
  EXPECT_EQ(hv::FormatMoisture(65535), QStringLiteral("6553.5"));
}

TEST_F(RecordText, TimeWritesOutOfRangeFieldsAsZero) {
  EXPECT_EQ(hv::RecordTimeText(timed(24, 5, 7)), QStringLiteral("00:05:07"));
  EXPECT_EQ(hv::RecordTimeText(timed(23, 59, 59)), QStringLiteral("23:59:59"));
  EXPECT_EQ(hv::RecordTimeText(timed(0, 0, 0)), QStringLiteral("00:00:00"));
  EXPECT_EQ(hv::RecordTimeText(timed(9, 60, 255)), QStringLiteral("09:00:00"));
  EXPECT_EQ(hv::RecordTimeText(timed(255, 1, 60)), QStringLiteral("00:01:00"));
}

TEST_F(RecordText, DateWritesOutOfRangeDayAndMonthAsOne) {
  EXPECT_EQ(hv::RecordDateText(timed(0, 0, 0, 0, 13, 7)), QStringLiteral("01.01.2007"));
  EXPECT_EQ(hv::RecordDateText(timed(0, 0, 0, 32, 0, 7)), QStringLiteral("01.01.2007"));
  EXPECT_EQ(hv::RecordDateText(timed(0, 0, 0, 31, 12, 7)), QStringLiteral("31.12.2007"));
  EXPECT_EQ(hv::RecordDateText(timed(0, 0, 0, 5, 3, 0)), QStringLiteral("05.03.2000"));
  EXPECT_EQ(hv::RecordDateText(timed(0, 0, 0, 5, 3, 99)), QStringLiteral("05.03.2099"));
  EXPECT_EQ(hv::RecordDateText(timed(0, 0, 0, 5, 3, 100)), QStringLiteral("05.03.2100"));
  EXPECT_EQ(hv::RecordDateText(timed(0, 0, 0, 5, 3, 255)), QStringLiteral("05.03.2255"));
  // Day 31 in a 30-day month is passed through as the meter sent it.
  EXPECT_EQ(hv::RecordDateText(timed(0, 0, 0, 31, 4, 7)), QStringLiteral("31.04.2007"));
}

TEST_F(RecordText, SecondsCountFromTheFirstDayOfYearOne) {
  EXPECT_EQ(hv::TextToSeconds(QStringLiteral("01.01.0001"), QStringLiteral("00:00:00")), 86400);
  EXPECT_EQ(hv::TextToSeconds(QStringLiteral("02.01.0001"), QStringLiteral("00:00:01")), 2 * 86400 + 1);
  // 01.01.2007 is day 39083 after 30.12.1899, which is day 693594 from 1.1.1.
  const qint64 day = 693594 + 39083;
  EXPECT_EQ(hv::TextToSeconds(QStringLiteral("01.01.2007"), QStringLiteral("13:45:30")),
            day * 86400 + 13 * 3600 + 45 * 60 + 30);
  // Padding blanks and missing leading zeros as a hand edit may leave them.
  EXPECT_EQ(hv::TextToSeconds(QStringLiteral(" 1.1.2007 "), QStringLiteral("13:45:30  ")),
            hv::TextToSeconds(QStringLiteral("01.01.2007"), QStringLiteral("13:45:30")));
  EXPECT_EQ(hv::TextToSeconds(QStringLiteral("01.01.2007"), QStringLiteral("13:45")),
            hv::TextToSeconds(QStringLiteral("01.01.2007"), QStringLiteral("13:45:00")));
}

TEST_F(RecordText, SecondsOrderDatesAcrossCenturiesAndTheYearByteRange) {
  auto s = [](const char* d, const char* t) { return *hv::TextToSeconds(QString::fromLatin1(d), QString::fromLatin1(t)); };
  EXPECT_LT(s("31.12.1999", "23:59:59"), s("01.01.2000", "00:00:00"));
  EXPECT_EQ(s("01.01.2000", "00:00:00") - s("31.12.1999", "23:59:59"), 1);
  EXPECT_LT(s("31.12.2099", "12:00:00"), s("01.01.2100", "00:00:00"));
  EXPECT_LT(s("05.03.2100", "00:00:00"), s("05.03.2255", "00:00:00"));
  // Day first: 02.01 is one day after 01.01, 01.02 a month after.
  EXPECT_EQ(s("02.01.2007", "00:00:00") - s("01.01.2007", "00:00:00"), 86400);
  EXPECT_EQ(s("01.02.2007", "00:00:00") - s("01.01.2007", "00:00:00"), 31 * 86400);
  // Every text a record gives can be read back.
  EXPECT_TRUE(hv::TextToSeconds(hv::RecordDateText(timed(24, 60, 60, 0, 13, 255)),
                                hv::RecordTimeText(timed(24, 60, 60, 0, 13, 255))));
}

TEST_F(RecordText, ClockReadingsOrderWithoutACalendarCheck) {
  // The reader of UTF-8 bytes reads each text as the one of QString does.
  auto read = [](const QString& d, const QString& t) {
    const std::optional<hv::ClockReading> q = hv::readStoredClock(d, t);
    const QByteArray d8 = d.toUtf8(), t8 = t.toUtf8();
    const std::optional<hv::ClockReading> u = hv::readStoredClock(std::string_view(d8.constData(), size_t(d8.size())),
                                                                  std::string_view(t8.constData(), size_t(t8.size())));
    EXPECT_EQ(q ? q->key() : -1, u ? u->key() : -1) << d.toStdString() << " " << t.toStdString();
    return q;
  };
  ASSERT_TRUE(read("31.04.2007", "00:00:00"));
  EXPECT_LT(read("30.04.2007", "23:59:59")->key(), read("31.04.2007", "00:00:00")->key());
  EXPECT_LT(read("31.04.2007", "23:59:59")->key(), read("01.05.2007", "00:00:00")->key());
  EXPECT_LT(read("31.12.2099", "23:59:59")->key(), read("01.01.2100", "00:00:00")->key());
  EXPECT_EQ(read(" 1.5.2007 ", "10:00")->key(), read("01.05.2007", "10:00:00")->key());
  // A record's texts read back as its own reading.
  const hv::DeviceRecord odd = timed(24, 60, 60, 31, 4, 255);
  EXPECT_EQ(read(hv::RecordDateText(odd), hv::RecordTimeText(odd))->key(), hv::recordClock(odd).key());
  for (const char* bad : {"32.01.2007", "00.01.2007", "01.13.2007", "01.00.2007", "01.01.0000"})
    EXPECT_FALSE(read(bad, "10:00:00")) << bad;
  EXPECT_FALSE(read("01.01.2007", "24:00:00"));
}

// The forms programs read: moisture with a given separator, ISO 8601 dates.
TEST_F(RecordText, MachineFormsOfStoredValues) {
  std::string out;
  for (const auto& [stored, machine] : {std::pair{"12,5", "12.5"}, {" 9.0 ", "9.0"}, {"-0,5", "-0.5"}, {"12", "12"}}) {
    out.clear();
    EXPECT_TRUE(hv::appendMoistureWith(out, stored, '.')) << stored;
    EXPECT_EQ(out, machine);
  }
  for (const char* bad : {"", "**", "1,2,3", "12;5", "1 2"}) {
    out = "x";
    EXPECT_FALSE(hv::appendMoistureWith(out, bad, '.')) << bad;
    EXPECT_EQ(out, "x");
  }
  out.clear();
  hv::appendIsoDateTime(out, *hv::readStoredClock(std::string_view(" 5.3.2024"), std::string_view("7:08")));
  EXPECT_EQ(out, "2024-03-05T07:08:00");
  EXPECT_FALSE(hv::readStoredClock(std::string_view("31.04.2024"), std::string_view("0:00"))->onCalendar());
}

TEST_F(RecordText, SecondsIgnoreTheLocalesDateOrder) {
  const auto before = hv::TextToSeconds(QStringLiteral("02.01.2007"), QStringLiteral("10:00:00"));
  for (const char* name : {"en_US", "de_DE", "ja_JP", "ru_RU"}) {
    QLocale::setDefault(QLocale(QString::fromLatin1(name)));
    EXPECT_EQ(hv::TextToSeconds(QStringLiteral("02.01.2007"), QStringLiteral("10:00:00")), before) << name;
    // 13.01 has no month 13 in a month-first reading.
    EXPECT_TRUE(hv::TextToSeconds(QStringLiteral("13.01.2007"), QStringLiteral("10:00:00"))) << name;
    EXPECT_FALSE(hv::TextToSeconds(QStringLiteral("01/13/2007"), QStringLiteral("10:00:00"))) << name;
    EXPECT_FALSE(hv::TextToSeconds(QStringLiteral("01.13.2007"), QStringLiteral("10:00 AM"))) << name;
  }
}

TEST_F(RecordText, TextsThatAreNoDateOrTimeAreUnreadable) {
  const QString goodDate = QStringLiteral("01.01.2007"), goodTime = QStringLiteral("10:00:00");
  for (const char* bad : {"", "          ", "31.02.2007", "1.1.07", "01.01.20070", "00.01.2007", "01-01-2007",
                          "+1.01.2007", "abc", "01.01.2007 10:00:00", "01.01.0000"})
    EXPECT_FALSE(hv::TextToSeconds(QString::fromLatin1(bad), goodTime)) << bad;
  for (const char* bad : {"", "24:00:00", "12:60:00", "12:00:60", "12", "12:00:00:00", "-1:00:00", "12:0a:00"})
    EXPECT_FALSE(hv::TextToSeconds(goodDate, QString::fromLatin1(bad))) << bad;
  EXPECT_FALSE(hv::TextToSeconds(std::optional<QString>(), std::optional<QString>(goodTime)));
  EXPECT_FALSE(hv::TextToSeconds(std::optional<QString>(goodDate), std::optional<QString>()));
  EXPECT_TRUE(hv::TextToSeconds(std::optional<QString>(goodDate), std::optional<QString>(goodTime)));
}

}  // namespace
