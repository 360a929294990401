// dravelo-cli volumes, run as a program on the sample images.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace {

struct CliRun {
  std::string out;
  int status = -1;
};

// Runs dravelo-cli with the arguments (each quoted for the shell); stdout is kept, stderr is
// folded into it only when fold_errors is set.
CliRun run_cli(const std::string& args, bool fold_errors = false) {
  const std::string command = std::string("'") + DRAVELO_CLI + "' " + args + (fold_errors ? " 2>&1" : " 2>/dev/null");
  CliRun run;
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return run;
  char buf[4096];
  std::size_t n = 0;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) run.out.append(buf, n);
  const int status = ::pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

std::string sample(const std::string& name) { return std::string(DRAVELO_SAMPLES_DIR) + "/" + name; }
std::string quoted(const std::string& s) { return "'" + s + "'"; }

TEST(CliVolumes, ListsEachImageOnOneLine) {
  // Each file system by its own name: FAT12 and FAT16 as such, though the scan takes both as FAT.
  const std::string fat12 = sample("fat12_floppy.img"), fat16 = sample("fat16_16m.img"), fat32 = sample("fat32_66m.img"),
                    exfat = sample("exfat_16m.img"), ntfs = sample("ntfs_24m.img");
  const CliRun run = run_cli("volumes --images-only " + quoted(fat12) + " " + quoted(fat16) + " " + quoted(fat32) + " " +
                             quoted(exfat) + " " + quoted(ntfs));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "C:  image      FAT12         (1.41 MB)  " + fat12 + "\n" +   //
                         "D:  image      FAT16         (16.00 MB)  " + fat16 + "\n" +  //
                         "E:  image      FAT32         (66.00 MB)  " + fat32 + "\n" +  //
                         "F:  image      exFAT         (16.00 MB)  " + exfat + "\n" +  //
                         "G:  image      NTFS          (24.00 MB)  " + ntfs + "\n");
}

TEST(CliVolumes, JsonArrayOfVolumes) {
  const std::string fat32 = sample("fat32_66m.img");
  const CliRun run = run_cli("volumes --json --images-only " + quoted(fat32));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "[\n  {\"letter\": \"C\", \"kind\": \"image\", \"drive_type\": 1, \"fs\": \"FAT32\", "
                     "\"probed_fs\": \"FAT32\", \"size_bytes\": 69206016, \"size_mib\": 66, \"free_bytes\": 0, "
                     "\"cluster_size\": 1024, \"path\": \"" +
                         fat32 + "\", \"name\": \"" + fat32 +
                         "\", \"offset\": 0, \"partition\": 0, \"lost\": false, \"boot_backup_offset\": 0}\n]\n");
}

TEST(CliVolumes, ExitStatus) {
  const struct {
    std::string args;
    int status;
    const char* says;
  } cases[] = {
      {"volumes --images-only", 1, "dravelo-cli volumes: no volumes found (no image files named)"},
      {"volumes --json --images-only", 1, "[]"},
      {"volumes --images-only /nonexistent-dravelo/x.img", 1,
       "dravelo-cli volumes: '/nonexistent-dravelo/x.img' does not exist"},
      // A usable image listed beside one left out: listed, but the run says it was not all.
      {"volumes --images-only /nonexistent-dravelo/x.img " + quoted(sample("fat16_16m.img")), 1, "C:  image"},
      {"volumes --bogus", 2, "unknown option '--bogus'"},
      {"volumes --help", 0, "usage: dravelo-cli volumes"},
      {"volumes --images-only -- " + quoted(sample("fat16_16m.img")), 0, "FAT16"},
  };
  for (const auto& c : cases) {
    const CliRun run = run_cli(c.args, true);
    EXPECT_EQ(run.status, c.status) << c.args;
    EXPECT_NE(run.out.find(c.says), std::string::npos) << c.args << "\n" << run.out;
  }
}

}  // namespace
