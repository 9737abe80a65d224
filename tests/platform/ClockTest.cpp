#include <gtest/gtest.h>

#include "platform/Clock.h"

namespace orvane {
namespace {

std::time_t Local(int year, int month, int day, int hour, int minute, int second) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

TEST(Clock, FixedFormatsAndMidnightStamp) {
  const std::time_t afternoon = Local(2026, 12, 9, 14, 5, 9);
  EXPECT_EQ(ShortDate(afternoon), "2026-12-09");
  EXPECT_EQ(LongTime(afternoon), "14:05:09");
  EXPECT_EQ(TimeStamp(afternoon), "2026-12-09 14:05:09");
  EXPECT_EQ(TimeStamp(Local(2027, 1, 2, 0, 0, 0)), "2027-01-02");
  EXPECT_EQ(TimeStamp(Local(2027, 1, 2, 0, 0, 1)), "2027-01-02 00:00:01");
}

}  // namespace
}  // namespace orvane
