#include "catalogue/local_time.h"

namespace dravelo {

bool local_utc_offset(std::time_t moment, long* seconds_east) {
  std::tm local{};
  if (!::localtime_r(&moment, &local)) return false;
  *seconds_east = local.tm_gmtoff;
  return true;
}

std::time_t utc_time_from_tm(std::tm* tm) { return ::timegm(tm); }

}  // namespace dravelo
