#include "catalogue/local_time.h"

#include <time.h>

namespace dravelo {

bool local_utc_offset(std::time_t moment, long* seconds_east) {
  std::tm local{};
  if (::localtime_s(&local, &moment) != 0) return false;
  // The local wall-clock time read back as if it were UTC, less the moment itself.
  const std::time_t as_utc = ::_mkgmtime(&local);
  if (as_utc == static_cast<std::time_t>(-1)) return false;
  *seconds_east = static_cast<long>(as_utc - moment);
  return true;
}

std::time_t utc_time_from_tm(std::tm* tm) { return ::_mkgmtime(tm); }

}  // namespace dravelo
