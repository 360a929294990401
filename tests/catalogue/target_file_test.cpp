#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "catalogue/recovery.h"

namespace dravelo {
namespace {

namespace fs = std::filesystem;

std::string read_all(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

fs::path scratch_dir() {
  fs::path dir = fs::temp_directory_path() / ("dravelo-target-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  return dir;
}

TEST(TargetFile, NeverOpensAnExistingFile) {
  const fs::path p = scratch_dir() / "exists.txt";
  std::ofstream(p) << "keep me";
  TargetFile f;
  EXPECT_FALSE(f.create(p.string()));
  EXPECT_FALSE(f.error_message().empty());
  EXPECT_EQ(read_all(p), "keep me");
  fs::remove_all(p.parent_path());
}

TEST(TargetFile, SmallAndLargeWritesKeepTheirOrder) {
  const fs::path p = scratch_dir() / "mixed.bin";
  TargetFile f;
  ASSERT_TRUE(f.create(p.string()));
  std::string expected = "head";
  EXPECT_EQ(f.write("head", 4), 4u);
  std::vector<char> big(9 << 20);
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  EXPECT_EQ(f.write(big.data(), big.size()), big.size());
  expected.append(big.begin(), big.end());
  EXPECT_EQ(f.write("tail", 4), 4u);
  expected += "tail";
  EXPECT_TRUE(f.close());
  EXPECT_EQ(read_all(p), expected);
  fs::remove_all(p.parent_path());
}

TEST(TargetFile, RemoveDeletesWhatWasWritten) {
  const fs::path p = scratch_dir() / "gone.bin";
  TargetFile f;
  ASSERT_TRUE(f.create(p.string()));
  f.write("abc", 3);
  f.remove();
  EXPECT_FALSE(fs::exists(p));
  fs::remove_all(p.parent_path());
}

TEST(UndeleteProgress, RoundsAndStaysInRange) {
  undelete_total = 0;
  undelete_written = 5;
  EXPECT_EQ(undelete_progress(), 0);
  undelete_total = 200;
  undelete_written = 1;
  EXPECT_EQ(undelete_progress(), 0);  // 0.5 goes to the even neighbour
  undelete_written = 3;
  EXPECT_EQ(undelete_progress(), 2);  // 1.5 goes to 2
  undelete_written = 400;
  EXPECT_EQ(undelete_progress(), 100);
  undelete_total = undelete_written = 0;
}

}  // namespace
}  // namespace dravelo
