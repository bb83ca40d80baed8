// Byte order, CRC-16 and MJD helpers.
#include <gtest/gtest.h>

#include <cstring>

#include "PenwickHelpers.h"

TEST(Crc16, CheckValueAndEmptyInput) {
  const char* digits = "123456789";
  EXPECT_EQ(GetCrc16(reinterpret_cast<const uint8_t*>(digits), 9), 0xBB3D);
  EXPECT_EQ(GetCrc16(nullptr, 0), 0);
  const uint8_t one = 0x01;
  EXPECT_EQ(GetCrc16(&one, 1), 0xC0C1);  // the table's entry 1
}

TEST(ByteOrder, BigEndianFieldsAtAnyAlignment) {
  uint8_t buf[9] = {0x00, 0x12, 0x34, 0x56, 0x78, 0, 0, 0, 0};
  EXPECT_EQ(Get24bit(buf + 1), 0x123456u);
  EXPECT_EQ(Get32bit(buf + 1), 0x12345678u);
  EXPECT_EQ(Get16bit(buf + 1), 0x1234);
  Put24bit(buf + 5, 0xAABBCCDDu);  // top byte dropped
  EXPECT_EQ(buf[5], 0xBB);
  EXPECT_EQ(buf[6], 0xCC);
  EXPECT_EQ(buf[7], 0xDD);
  EXPECT_EQ(buf[8], 0);
  Put32bit(buf + 5, 0x01020304u);
  EXPECT_EQ(std::memcmp(buf + 5, "\x01\x02\x03\x04", 4), 0);
  for (uint32_t v = 0; v <= 0xFFFF; ++v) {
    Put16bit(buf + 3, static_cast<uint16_t>(v));
    ASSERT_EQ(buf[3], v >> 8);
    ASSERT_EQ(Get16bit(buf + 3), v);
  }
}

struct Date {
  uint16_t year;
  uint8_t month, day, weekday;
};

static Date Extract(uint16_t mjd) {
  Date d{};
  EXPECT_EQ(ExtractMjd(mjd, &d.year, &d.month, &d.day, &d.weekday), 1) << mjd;
  return d;
}

TEST(Mjd, KnownDates) {
  Date d = Extract(15079);
  EXPECT_EQ(d.year, 1900);
  EXPECT_EQ(d.month, 3);
  EXPECT_EQ(d.day, 1);
  EXPECT_EQ(d.weekday, 3);
  d = Extract(53000);
  EXPECT_EQ(d.year, 2003);
  EXPECT_EQ(d.month, 12);
  EXPECT_EQ(d.day, 27);
  EXPECT_EQ(d.weekday, 5);
  d = Extract(65535);
  EXPECT_EQ(d.year, 2038);
  EXPECT_EQ(d.month, 4);
  EXPECT_EQ(d.day, 22);
  EXPECT_EQ(d.weekday, 3);

  EXPECT_EQ(MakeMjd(1900, 3, 1), 15079);
  EXPECT_EQ(MakeMjd(2038, 4, 22), 65535);
  EXPECT_EQ(MakeMjd(2003, 2, 31), 52701);  // the day is not checked against the month
}

TEST(Mjd, Rejections) {
  uint16_t year = 7;
  uint8_t month = 7, day = 7, weekday = 7;
  EXPECT_EQ(ExtractMjd(15019, &year, &month, &day, &weekday), 0);
  EXPECT_EQ(year, 7);
  EXPECT_EQ(month, 7);
  EXPECT_EQ(day, 7);
  EXPECT_EQ(weekday, 7);
  EXPECT_EQ(MakeMjd(2038, 4, 23), 0);
  EXPECT_EQ(MakeMjd(1899, 12, 31), 0);
  EXPECT_EQ(MakeMjd(2000, 13, 1), 0);
  EXPECT_EQ(MakeMjd(2000, 0, 1), 0);
  EXPECT_EQ(MakeMjd(2000, 1, 0), 0);
  EXPECT_EQ(MakeMjd(2000, 1, 32), 0);
  EXPECT_EQ(MakeMjd(1900, 1, 1), 0);
  EXPECT_EQ(MakeMjd(1900, 2, 28), 0);
  EXPECT_EQ(MakeMjd(2101, 1, 1), 0);
}

TEST(Mjd, JanuaryAndFebruary1900AreTrueDates) {
  Date d = Extract(15020);
  EXPECT_EQ(d.year, 1900);
  EXPECT_EQ(d.month, 1);
  EXPECT_EQ(d.day, 1);
  EXPECT_EQ(d.weekday, 0);  // a Monday
  d = Extract(15050);
  EXPECT_EQ(d.month, 1);
  EXPECT_EQ(d.day, 31);
  d = Extract(15051);
  EXPECT_EQ(d.month, 2);
  EXPECT_EQ(d.day, 1);
  d = Extract(15078);
  EXPECT_EQ(d.year, 1900);
  EXPECT_EQ(d.month, 2);
  EXPECT_EQ(d.day, 28);
  EXPECT_EQ(d.weekday, 2);  // 1900 was no leap year: Wednesday, before Thursday 1 March
}

TEST(Mjd, RoundTripOverTheWholeRange) {
  Date previous = Extract(15079);
  for (uint32_t mjd = 15079; mjd <= 65535; ++mjd) {
    const Date d = Extract(static_cast<uint16_t>(mjd));
    ASSERT_EQ(MakeMjd(d.year, d.month, d.day), mjd);
    ASSERT_EQ(d.weekday, (mjd + 2) % 7);
    if (mjd > 15079) {  // consecutive days: next day, or first of next month or year
      const bool nextDay = d.day == previous.day + 1 && d.month == previous.month;
      const bool nextMonth =
          d.day == 1 && (d.month == previous.month + 1 ||
                         (d.month == 1 && previous.month == 12 && d.year == previous.year + 1));
      ASSERT_TRUE(nextDay || nextMonth) << mjd;
    }
    previous = d;
  }
}
