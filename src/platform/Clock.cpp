#include "platform/Clock.h"

#include <cstdio>

namespace orvane {

namespace {

std::tm LocalTime(std::time_t t) {
  std::tm local{};
  if (::localtime_r(&t, &local) == nullptr) local = std::tm{};  // out of range: shown as zeros
  return local;
}

}  // namespace

std::string ShortDate(std::time_t t) {
  const std::tm local = LocalTime(t);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday);
  return text;
}

std::string LongTime(std::time_t t) {
  const std::tm local = LocalTime(t);
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
  return text;
}

std::string TimeStamp(std::time_t t) {
  const std::tm local = LocalTime(t);
  if (local.tm_hour == 0 && local.tm_min == 0 && local.tm_sec == 0) return ShortDate(t);
  return ShortDate(t) + " " + LongTime(t);
}

std::time_t Now() {
  return std::time(nullptr);
}

}  // namespace orvane
