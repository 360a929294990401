// Date-time values of the catalogue: days since 1899-12-30 00:00 as a double, 0 for no date.
#pragma once

#include <cstdint>
#include <string>

#include "catalogue/records.h"

namespace dravelo {

struct CivilTime {
  int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0, millisecond = 0;
};

bool is_leap_year(int year);
int days_in_month(int year, int month);
// The date-time of a valid calendar date and time of day (no range checks beyond the calendar).
DateTime encode_date_time(const CivilTime& t);
CivilTime decode_date_time(DateTime value);

// Seconds since 1970-01-01 00:00 UTC to a date-time, without time-zone conversion.
DateTime unix_seconds_to_date_time(std::int64_t seconds);

// "yyyy-mm-dd hh:nn", as the result list shows dates (0 shows as 1899-12-30 00:00).
std::string format_list_date(DateTime value);
// "yyyy-mm-ddThh:mm:ss", or the empty text for 0.
std::string format_iso_date(DateTime value);

}  // namespace dravelo
