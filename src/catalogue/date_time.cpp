#include "catalogue/date_time.h"

#include <cmath>
#include <cstdio>

namespace dravelo {
namespace {

// Days from 0001-01-01 (proleptic Gregorian) to the given date, 0-based.
std::int64_t days_from_civil(int y, int m, int d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;  // days since 1970-01-01
}

void civil_from_days(std::int64_t z, int* y, int* m, int* d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  *d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *y = static_cast<int>(yoe + era * 400 + (*m <= 2));
}

constexpr std::int64_t kUnixEpochDay = 25569;  // 1970-01-01 as a date-time

}  // namespace

bool is_leap_year(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int days_in_month(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && is_leap_year(year) ? 29 : kDays[month - 1];
}

DateTime encode_date_time(const CivilTime& t) {
  const double days = static_cast<double>(days_from_civil(t.year, t.month, t.day) + kUnixEpochDay);
  const double time = (t.hour * 3600000.0 + t.minute * 60000.0 + t.second * 1000.0 + t.millisecond) / 86400000.0;
  return days + time;
}

CivilTime decode_date_time(DateTime value) {
  CivilTime t;
  std::int64_t day = static_cast<std::int64_t>(std::floor(value));
  std::int64_t ms = std::llround((value - static_cast<double>(day)) * 86400000.0);
  if (ms >= 86400000) {
    ++day;
    ms -= 86400000;
  }
  civil_from_days(day - kUnixEpochDay, &t.year, &t.month, &t.day);
  t.hour = static_cast<int>(ms / 3600000);
  t.minute = static_cast<int>(ms / 60000 % 60);
  t.second = static_cast<int>(ms / 1000 % 60);
  t.millisecond = static_cast<int>(ms % 1000);
  return t;
}

DateTime unix_seconds_to_date_time(std::int64_t seconds) {
  return static_cast<double>(seconds) / 86400.0 + static_cast<double>(kUnixEpochDay);
}

std::string format_list_date(DateTime value) {
  const CivilTime t = decode_date_time(value);
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d", t.year, t.month, t.day, t.hour, t.minute);
  return buf;
}

std::string format_iso_date(DateTime value) {
  if (value == 0) return {};
  const CivilTime t = decode_date_time(value);
  char buf[48];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
  return buf;
}

}  // namespace dravelo
