// recover's line per file: what it says of a file that is not recovered well.
#include <gtest/gtest.h>

#include "cli/commands.h"

namespace dravelo::cli {
namespace {

TEST(RecoverFileLine, SaysStatusOverwriteReusedBytesAndFailure) {
  const struct {
    int percent;
    RecoverStatus status;
    std::int64_t written;
    std::int64_t reused;
    const char* message;
    const char* expected;
  } cases[] = {
      {100, RecoverStatus::complete, 9000, 0, "", "recovered     /o/a.bin"},
      {80, RecoverStatus::complete, 9000, 0, "", "recovered     /o/a.bin  (status Good)"},
      {20, RecoverStatus::complete, 9000, 0, "", "recovered     /o/a.bin  (status Bad)"},
      {0, RecoverStatus::complete, 9000, 0, "",
       "overwritten   /o/a.bin  (the file was overwritten: its content is probably not the original)"},
      {100, RecoverStatus::complete, 9000, 4096, "",
       "recovered     /o/a.bin  (4096 of 9000 bytes come from clusters that another file uses now: probably not "
       "its own)"},
      {50, RecoverStatus::complete, 9000, 4096, "",
       "recovered     /o/a.bin  (status Middle; 4096 of 9000 bytes come from clusters that another file uses now: "
       "probably not its own)"},
      {100, RecoverStatus::read_errors, 9000, 0, "2 clusters could not be read",
       "read errors   /o/a.bin  (2 clusters could not be read)"},
      {0, RecoverStatus::write_failed, 4096, 0, "No space left on device",
       "write failed  /o/a.bin  (No space left on device)"},
  };
  for (const auto& c : cases) {
    FileInfo e;
    e.Percent = static_cast<std::int8_t>(c.percent);
    RecoverResult r = recover_outcome(c.status, c.written, c.message);
    r.reused_bytes = c.reused;
    EXPECT_EQ(recover_file_line(e, r, "/o/a.bin"), c.expected);
  }
}

}  // namespace
}  // namespace dravelo::cli
