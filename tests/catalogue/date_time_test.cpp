#include <gtest/gtest.h>

#include "catalogue/date_time.h"

namespace dravelo {
namespace {

TEST(DateTime, EncodesDaysSince18991230) {
  EXPECT_DOUBLE_EQ(encode_date_time({1899, 12, 30}), 0.0);
  EXPECT_DOUBLE_EQ(encode_date_time({1970, 1, 1}), 25569.0);
  EXPECT_DOUBLE_EQ(encode_date_time({1900, 1, 1, 12, 0, 0}), 2.5);
  EXPECT_DOUBLE_EQ(unix_seconds_to_date_time(86400 / 2), 25569.5);
}

TEST(DateTime, FormatsBothWays) {
  const DateTime t = encode_date_time({2021, 3, 7, 10, 15, 42});
  EXPECT_EQ(format_list_date(t), "2021-03-07 10:15");
  EXPECT_EQ(format_iso_date(t), "2021-03-07T10:15:42");
  EXPECT_EQ(format_list_date(0), "1899-12-30 00:00");
  EXPECT_EQ(format_iso_date(0), "");
}

TEST(DateTime, CalendarRules) {
  EXPECT_EQ(days_in_month(2024, 2), 29);
  EXPECT_EQ(days_in_month(1900, 2), 28);
  EXPECT_EQ(days_in_month(2000, 2), 29);
  EXPECT_EQ(days_in_month(2023, 13), 0);
}

}  // namespace
}  // namespace dravelo
