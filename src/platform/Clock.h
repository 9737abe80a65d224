#pragma once

#include <ctime>
#include <string>

namespace orvane {

// The date and time formats of this system, in local time. They are fixed and independent of the
// locale so log files and greetings read the same everywhere.

// "2026-12-09": year, month and day.
std::string ShortDate(std::time_t t);
// "14:05:09": hours (24-hour clock), minutes and seconds.
std::string LongTime(std::time_t t);
// ShortDate + " " + LongTime; the time part is left out when it is exactly midnight (00:00:00).
std::string TimeStamp(std::time_t t);
std::time_t Now();

}  // namespace orvane
