// The local time zone's offset from UTC at a moment, through the C library of each platform
// (localtime_r and tm_gmtoff on POSIX, localtime_s and _mkgmtime on Windows).
#pragma once

#include <ctime>

namespace dravelo {

// Seconds east of UTC that local time stood at, at the given moment; false when unknown.
bool local_utc_offset(std::time_t moment, long* seconds_east);

// The seconds since 1970 of a broken-down UTC time (the inverse of gmtime).
std::time_t utc_time_from_tm(std::tm* tm);

}  // namespace dravelo
