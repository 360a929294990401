#include "fat/fat_dir_entry.h"

#include "catalogue/date_time.h"

namespace dravelo {

bool IsValidEntryAttr(std::uint8_t attr) {
  if (attr & kAttrReserved) return false;
  if ((attr & kAttrVolumeId) && attr != kAttrLongName) return false;
  return true;
}

DateTime FatDateTimeToDateTime(std::uint16_t date, std::uint16_t time) {
  if (date == 0) return 0;
  const int day = date & 0x1F;
  const int month = (date >> 5) & 0x0F;
  const int year = 1980 + (date >> 9);
  if (day == 0 || month == 0 || month > 12 || year > 2050 || day > days_in_month(year, month)) return 0;
  CivilTime t;
  t.year = year;
  t.month = month;
  t.day = day;
  const int seconds = 2 * (time & 0x1F);
  const int minutes = (time >> 5) & 0x3F;
  const int hours = time >> 11;
  if (seconds <= 59 && minutes <= 59 && hours <= 23) {
    t.hour = hours;
    t.minute = minutes;
    t.second = seconds;
  }
  return encode_date_time(t);
}

}  // namespace dravelo
