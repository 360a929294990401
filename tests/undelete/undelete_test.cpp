// The undelete operation without the engines: fake recovery routines write what they are told,
// so the target paths, the unique names, the counting, Stop and the same-volume refusal can be
// checked on their own.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "catalogue/catalogue.h"
#include "catalogue/date_time.h"
#include "catalogue/local_time.h"
#include "catalogue/engine_host.h"
#include "catalogue/target_files.h"
#include "catalogue/texts.h"
#include "volume/drives.h"
#include "workflow/analysis.h"
#include "workflow/undelete.h"
#include "workflow/volume_binding.h"

namespace dravelo {
namespace {

namespace fs = std::filesystem;

// What the fake routine does for an entry, by inode.
struct FakePlan {
  RecoverStatus status = RecoverStatus::complete;
  bool press_stop = false;  // the user presses Stop while this file is written
  bool dates_itself = false;  // gives the file its date through the open file, as the engines do
};
std::map<std::int32_t, FakePlan> plans;
std::vector<std::string> routine_calls;  // "fs:inode:drive"

// Writes "data of <name>" the way a recovery routine does: exclusively created, removed again
// when the copy is cut short.
RecoverResult fake_recover(const FileInfo& entry, const std::string& target, const RecoverOptions& options) {
  routine_calls.push_back(entry.fs + ":" + std::to_string(entry.inode) + ":" + std::to_string(current_drive));
  const FakePlan plan = plans[entry.inode];
  RecoverResult r;
  TargetFile out;
  if (!out.create(target)) {
    r.status = RecoverStatus::cannot_create;
    r.message = out.error_message();
    return r;
  }
  const std::string data = "data of " + entry.FileName;
  out.write(data.data(), data.size());
  undelete_written += static_cast<std::int64_t>(data.size());
  if (plan.press_stop) stop_flag = true;
  if (stop_flag || plan.status == RecoverStatus::stopped || plan.status == RecoverStatus::write_failed) {
    out.remove();
    r.status = stop_flag ? RecoverStatus::stopped : plan.status;
    return r;
  }
  if (plan.dates_itself) {
    out.set_modified_time(options.modified_time);
    r.dated = options.modified_time.has_value();
  }
  out.close();
  r.status = plan.status;
  r.bytes_written = static_cast<std::int64_t>(data.size());
  return r;
}

struct CapturingHost : SilentHost {
  void out_text(std::string_view text, MsgType type, bool show_popup) override {
    if (show_popup) shown.push_back({std::string(text), type});
  }
  void _updateProgressU(int position) override { progress.push_back(position); }
  std::vector<std::pair<std::string, MsgType>> shown;
  std::vector<int> progress;
};

std::string read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class Undelete : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = set_recover_routines({&fake_recover, &fake_recover});
    plans.clear();
    routine_calls.clear();
    stop_flag = false;
    reset_catalogue();
    drive_list.clear();
    for (char letter : {'c', 'd'}) {
      DriveInfo d;
      d.drive_name = letter;
      d.drive_fs = letter == 'c' ? "NTFS" : "FAT32";
      d.device_path = std::string("/images/") + letter + ".img";
      d.is_image = true;
      drive_list.push_back(std::move(d));
    }
    dir_ = fs::temp_directory_path() / ("dravelo-undelete-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    set_recover_routines(previous_);
    fs::remove_all(dir_);
    stop_flag = false;
  }

  FileInfo& add(std::int32_t inode, const std::string& name, const std::string& path = "C:\\",
                std::int32_t drive = 0, std::int64_t size = 100) {
    FileInfo e;
    e.drive = drive;
    e.fs = drive_list[static_cast<std::size_t>(drive)].drive_fs;
    e.drv = drive_list[static_cast<std::size_t>(drive)].drive_name;
    e.inode = inode;
    e.FileName = name;
    e.Path = path;
    e.FileSize = size;
    e.Percent = 100;
    e.selected = 1;
    return add_file(std::move(e));
  }

  std::string target() const { return dir_.string(); }

  RecoverRoutines previous_;
  fs::path dir_;
};

TEST(UndeleteTargetPath, FollowsTheSeparatorAndFolderRules) {
  struct Case {
    const char* path;
    const char* name;
    bool keep;
    const char* target;
    const char* expected;
  } cases[] = {
      {"C:\\Users\\Ann\\", "a.txt", true, "/out", "/out/Users/Ann/a.txt"},
      {"C:\\Users\\Ann\\", "a.txt", false, "/out", "/out/a.txt"},
      {"C:\\", "a.txt", true, "/out", "/out/a.txt"},           // a root-folder file goes straight in
      {"C:\\Docs\\", "a.txt", false, "/", "/a.txt"},          // a root target gives one separator
      {"C:\\Docs\\", "a.txt", true, "/", "/Docs/a.txt"},
      {"C:\\Docs\\", "a.txt", true, "/out/", "/out/Docs/a.txt"},
      {"C:\\", "a.txt", false, "/out//", "/out//a.txt"},      // three in a row leave two
      {"Error", "a.txt", true, "/out", "/out/a.txt"},         // a Path the scan could not resolve
      {"C:\\..\\x\\", "a.txt", true, "/out", "/out/__/x/a.txt"},  // never above the target
      {"C:\\Docs\\", "..", false, "/out", "/out/__"},
      {"C:\\Docs\\", "a/b.txt", true, "/out", "/out/Docs/a_b.txt"},
      {"C:\\My Docs\\Sub\\", "x", true, "rel", "rel/My Docs/Sub/x"},
  };
  for (const Case& c : cases) {
    FileInfo e;
    e.Path = c.path;
    e.FileName = c.name;
    EXPECT_EQ(target_path_for(e, c.keep, c.target), c.expected) << c.path << " + " << c.name << " keep " << c.keep;
  }
}

TEST(UndeleteTargetPath, CutsLongNamesToOneFileNameAtACharacterBoundary) {
  std::string name;
  for (int i = 0; i < 200; ++i) name += "\xC3\xA9";  // 200 two-byte characters
  const std::string cut = safe_component(name);
  EXPECT_EQ(cut.size(), 254u);
  EXPECT_EQ(cut, name.substr(0, 254));
}

TEST(UndeleteTargetPath, CollapsesPairsInOnePass) {
  EXPECT_EQ(collapse_doubled_separators("a//b"), "a/b");
  EXPECT_EQ(collapse_doubled_separators("a///b"), "a//b");
  EXPECT_EQ(collapse_doubled_separators("a////b"), "a//b");
  EXPECT_EQ(collapse_doubled_separators("//a"), "/a");
  EXPECT_EQ(collapse_doubled_separators("a\\\\b"), "a\\\\b");
}

TEST_F(Undelete, TargetFoldersAreMadeWithTheirMissingParentsOrRefusedWithTheReason) {
  std::ofstream(dir_ / "a file") << "x";
  fs::create_directories(dir_ / "there");
  const struct {
    std::string path;
    bool made;
    std::string reason;
  } cases[] = {
      {"new", true, ""},
      {"deep/er/and/deeper/", true, ""},
      {"there", true, ""},
      {"there/under/../beside", true, ""},
      {"a file", false, std::strerror(ENOTDIR)},
      {"a file/under", false, std::strerror(ENOTDIR)},
      {"there/a//b/", true, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    std::string why;
    EXPECT_EQ(make_target_folder((dir_ / c.path).string(), &why), c.made);
    EXPECT_EQ(why, c.reason);
    if (c.made) {
      EXPECT_TRUE(fs::is_directory(dir_ / c.path));
    }
  }
}

TEST_F(Undelete, KeepMakesNestedFoldersBelowTheTarget) {
  add(70, "a.txt", "C:\\Users\\Ann\\");
  add(71, "root.txt", "C:\\");
  ASSERT_EQ(build_undelete_list(), 2u);
  const UndeleteSummary s = run_undelete({target(), true, {}, nullptr, nullptr});
  EXPECT_EQ(s.count, 2);
  EXPECT_EQ(read_file(dir_ / "Users" / "Ann" / "a.txt"), "data of a.txt");
  EXPECT_EQ(read_file(dir_ / "root.txt"), "data of root.txt");
}

// The top folder of a volume: its letter and the label that the analysis read (libblkid: the
// root directory's label entry on FAT, $Volume's name on NTFS).
TEST_F(Undelete, VolumeFolderNameIsTheLetterAndTheLabelReadAtTheAnalysis) {
  get_drives({std::string(DRAVELO_SAMPLES_DIR) + "/fat16_16m.img", std::string(DRAVELO_SAMPLES_DIR) + "/ntfs_24m.img"},
             false);
  for (DriveInfo& d : drive_list) d.selected = 1;
  ASSERT_TRUE(run_analysis());
  EXPECT_EQ(volume_folder_name(0), "C_ DATA16");
#ifdef _WIN32
  EXPECT_EQ(volume_folder_name(1), "D_");  // an image's NTFS label is read where libblkid is
#else
  EXPECT_EQ(volume_folder_name(1), "D_ WORK");
#endif
  analysed_volumes[1].label.clear();
  EXPECT_EQ(volume_folder_name(1), "D_");
  reset_catalogue();
}

// Files of several volumes recovered with their folders: each volume under a top folder of its
// own, so that C:\Docs\ and D:\Docs\ do not become one. One volume, or no folders kept: the layout
// without top folders.
TEST_F(Undelete, KeepPutsEachVolumeOfARunUnderItsOwnTopFolder) {
  add(70, "a.txt", "C:\\Docs\\", 0);
  add(71, "a.txt", "D:\\Docs\\", 1);
  add(72, "root.txt", "D:\\", 1);
  build_undelete_list();
  UndeleteSummary s = run_undelete({target(), true, {}, nullptr, nullptr});
  EXPECT_EQ(s.count, 3);
  EXPECT_EQ(read_file(dir_ / "C_" / "Docs" / "a.txt"), "data of a.txt");
  EXPECT_EQ(read_file(dir_ / "D_" / "Docs" / "a.txt"), "data of a.txt");
  EXPECT_EQ(read_file(dir_ / "D_" / "root.txt"), "data of root.txt");

  // Files of one volume: no top folder.
  fs::remove_all(dir_);
  for (std::int32_t k = 0; k < file_count(); ++k) file_list[k].selected = k == 1;
  build_undelete_list();
  s = run_undelete({target(), true, {}, nullptr, nullptr});
  EXPECT_EQ(read_file(dir_ / "Docs" / "a.txt"), "data of a.txt");
  // Without folders kept, neither.
  fs::remove_all(dir_);
  for (std::int32_t k = 0; k < file_count(); ++k) file_list[k].selected = k != 2;
  build_undelete_list();
  s = run_undelete({target(), false, {}, nullptr, nullptr});
  EXPECT_EQ(read_file(dir_ / "a.txt"), "data of a.txt");
  EXPECT_EQ(read_file(dir_ / "a (2).txt"), "data of a.txt");
}

// A folder path longer than 255 characters is recreated whole, each name within the target's
// limit; one deeper than the target can hold fails for its file alone, with the reason, and
// the file keeps its tick.
TEST_F(Undelete, KeepRecreatesDeepPathsWholeAndSaysWhereTheTargetCannotHoldThem) {
  std::string deep = "C:\\", too_deep = "C:\\";
  fs::path deep_folder = dir_;
  for (int i = 0; i < 12; ++i) {
    const std::string name = "level " + std::to_string(i) + " " + std::string(40, 'd');
    deep += name + "\\";
    deep_folder /= name;
  }
  for (int i = 0; i < 20; ++i) too_deep += std::to_string(i) + std::string(250, 'x') + "\\";
  add(70, "deep.txt", deep);
  add(71, "too deep.txt", too_deep);
  ASSERT_GT(file_list[0].Path.size(), 500u);  // the catalogue keeps the whole path
  build_undelete_list();
  const UndeleteSummary s = run_undelete({target(), true, {}, nullptr, nullptr});
  EXPECT_EQ(s.count, 1);
  EXPECT_EQ(read_file(deep_folder / "deep.txt"), "data of deep.txt");
  EXPECT_EQ(file_list[0].selected, 0);
  EXPECT_EQ(s.not_written, 1);
  EXPECT_EQ(file_list[1].selected, 1);
  ASSERT_EQ(s.failure_reasons.size(), 1u);
  EXPECT_NE(s.failure_reasons[0].first.find(std::strerror(ENAMETOOLONG)), std::string::npos) << s.failure_reasons[0].first;
  // The closing message shows the start of a reason that long.
  const std::string closing = undelete_closing_text(s);
  EXPECT_LT(closing.size(), 400u) << closing;
  EXPECT_NE(closing.find("Not undeleted, still ticked: 1\n  " + target()), std::string::npos) << closing;
}

TEST_F(Undelete, NeverOverwritesAnExistingFile) {
  std::ofstream(dir_ / "a.txt") << "there before";
  std::ofstream(dir_ / "README") << "there before";
  add(70, "a.txt");
  add(71, "a.txt");  // the same name twice in one run
  add(72, "README");
  build_undelete_list();
  const UndeleteSummary s = run_undelete({target(), false, {}, nullptr, nullptr});
  EXPECT_EQ(s.count, 3);
  EXPECT_EQ(read_file(dir_ / "a.txt"), "there before");
  EXPECT_EQ(read_file(dir_ / "a (2).txt"), "data of a.txt");
  EXPECT_EQ(read_file(dir_ / "a (3).txt"), "data of a.txt");
  EXPECT_EQ(read_file(dir_ / "README (2)"), "data of README");
  ASSERT_EQ(s.files.size(), 3u);
  EXPECT_EQ(s.files[1].target_path, (dir_ / "a (3).txt").string());
}

TEST_F(Undelete, ANameTakenOnDiskCostsOneCreateAndIsPassedOver) {
  std::ofstream(dir_ / "index (3).js") << "there before";
  for (std::int32_t inode = 70; inode < 74; ++inode) add(inode, "index.js");
  build_undelete_list();
  routine_calls.clear();
  const UndeleteSummary s = run_undelete({target(), false, {}, nullptr, nullptr});
  EXPECT_EQ(s.count, 4);
  // Four files; refused exclusive creates: the first repeat of the name meets the first file,
  // and "index (3).js" was there before. Later files go straight to the next number.
  EXPECT_EQ(routine_calls.size(), 6u);
  EXPECT_EQ(read_file(dir_ / "index (3).js"), "there before");
  std::vector<std::string> written;
  for (const UndeleteOutcome& o : s.files) written.push_back(fs::path(o.target_path).filename().string());
  EXPECT_EQ(written, (std::vector<std::string>{"index.js", "index (2).js", "index (4).js", "index (5).js"}));
}

TEST_F(Undelete, ANameThatHeldNothingIsHandedOutAgain) {
  add(70, "a.txt");
  add(71, "a.txt");
  plans[70].status = RecoverStatus::write_failed;  // removed again: the name stays free
  build_undelete_list();
  const UndeleteSummary s = run_undelete({target(), false, {}, nullptr, nullptr});
  ASSERT_EQ(s.files.size(), 2u);
  EXPECT_EQ(s.files[1].target_path, (dir_ / "a.txt").string());
  EXPECT_EQ(read_file(dir_ / "a.txt"), "data of a.txt");
}

TEST_F(Undelete, ANameTooLongForTheTargetKeepsItsExtension) {
  // 100 CJK characters are 300 bytes of UTF-8.
  std::string stem;
  for (int i = 0; i < 100; ++i) stem += "\xE6\x96\x87";
  FileInfo e;
  e.FileName = stem + ".docx";
  const std::string name = fs::path(target_path_for(e, false, target())).filename().string();
  // 83 whole characters (249 bytes) and the extension.
  EXPECT_EQ(name, stem.substr(0, 249) + ".docx");
}

TEST_F(Undelete, UniqueNamesKeepDotFilesAndLongNamesWithinLimits) {
  std::ofstream(dir_ / ".profile") << "x";
  EXPECT_EQ(unique_target_path((dir_ / ".profile").string()), (dir_ / ".profile (2)").string());
  const std::string long_stem(250, 'n');
  std::ofstream(dir_ / (long_stem + ".txt")) << "x";
  const std::string unique = unique_target_path((dir_ / (long_stem + ".txt")).string());
  const std::string name = fs::path(unique).filename().string();
  EXPECT_EQ(name.size(), 255u);
  EXPECT_EQ(name.substr(name.size() - 8), " (2).txt");
  EXPECT_EQ(unique_target_path((dir_ / "free.txt").string()), (dir_ / "free.txt").string());
}

TEST_F(Undelete, DispatchesByFileSystemAndCountsOnlyCompleteCopies) {
  add(1, "ntfs.txt", "C:\\", 0);
  add(2, "fat.txt", "D:\\", 1);
  add(3, "other.txt", "C:\\", 0).fs = "exFAT";
  add(4, "holes.txt", "C:\\", 0);
  add(5, "full.txt", "C:\\", 0);
  plans[4].status = RecoverStatus::read_errors;
  plans[5].status = RecoverStatus::write_failed;
  build_undelete_list();
  const UndeleteSummary s = run_undelete({target(), false, {}, nullptr, nullptr});
  EXPECT_EQ(s.count, 2);
  EXPECT_FALSE(s.stopped);
  EXPECT_EQ(routine_calls, (std::vector<std::string>{"NTFS:1:0", "FAT32:2:1", "NTFS:4:0", "NTFS:5:0"}));
  EXPECT_FALSE(fs::exists(dir_ / "other.txt"));
  EXPECT_FALSE(fs::exists(dir_ / "full.txt"));
  // What was written whole loses its tick; what left nothing on the target keeps it.
  std::vector<int> ticks;
  for (std::int32_t k = 0; k < file_count(); ++k) ticks.push_back(file_list[k].selected);
  EXPECT_EQ(ticks, (std::vector<int>{0, 0, 1, 0, 1}));
  EXPECT_EQ(undelete_closing_text(s.stopped, s.count), "End undelete. Undeleted successfully:  2");
  EXPECT_EQ(undelete_closing_text(s),
            "End undelete. Undeleted successfully:  2\n"
            "Written, with parts that could not be read (zeros): 1\n"
            "Not undeleted, still ticked: 2\n"
            "  no recovery for the file system 'exFAT' (1)\n"
            "  the target refused the bytes (1)");
}

TEST_F(Undelete, OperationAsksForOptionsAndClosesWithTheCount) {
  CapturingHost host;
  ScopedHost scope(host);
  int asked = 0;
  auto ask = [&](UndeleteRequest* r) {
    ++asked;
    r->target_folder = target();
    return true;
  };

  // Nothing ticked, or only empty files: the options are not asked for.
  add(1, "empty.txt", "C:\\", 0, 0);
  UndeleteSummary s = undelete_operation(ask);
  EXPECT_TRUE(s.nothing);
  EXPECT_EQ(asked, 0);
  ASSERT_EQ(host.shown.size(), 1u);
  EXPECT_EQ(host.shown[0], std::make_pair(std::string("No files to undelete"), MsgType::error));

  // Cancel: nothing written, nothing shown, the ticks stay.
  add(2, "a.txt");
  add(3, "b.txt");
  host.shown.clear();
  s = undelete_operation([&](UndeleteRequest*) { return false; });
  EXPECT_TRUE(s.cancelled);
  EXPECT_TRUE(host.shown.empty());
  EXPECT_TRUE(routine_calls.empty());
  EXPECT_EQ(file_list[1].selected, 1);

  // OK: every ticked file, the empty one included, then the closing message and a full bar.
  s = undelete_operation(ask);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(s.count, 3);
  ASSERT_EQ(host.shown.size(), 1u);
  EXPECT_EQ(host.shown[0], std::make_pair(std::string("End undelete. Undeleted successfully:  3"), MsgType::custom));
  ASSERT_FALSE(host.progress.empty());
  EXPECT_EQ(host.progress.back(), 100);
  for (std::int32_t k = 0; k < file_count(); ++k) EXPECT_EQ(file_list[k].selected, 0);
}

TEST_F(Undelete, WorkListTakesTheTicksInCatalogueOrder) {
  add(1, "a", "C:\\", 0, 10);
  add(2, "b", "C:\\", 0, 20).selected = 0;
  add(3, "c", "C:\\", 0, 30);
  visible_files = {0};  // a filter that hides the third entry does not matter
  undelete_written = 99;
  EXPECT_EQ(build_undelete_list(), 2u);
  EXPECT_EQ(undelete_list, (std::vector<std::int32_t>{0, 2}));
  EXPECT_EQ(undelete_total, 40);
  EXPECT_EQ(undelete_written, 0);
}

TEST_F(Undelete, StopEndsTheRunAndLeavesTheRestTicked) {
  for (int i = 1; i <= 5; ++i) add(i, "f" + std::to_string(i));
  plans[3].press_stop = true;
  build_undelete_list();
  const UndeleteSummary s = run_undelete({target(), false, {}, nullptr, nullptr});
  EXPECT_TRUE(s.stopped);
  EXPECT_EQ(s.count, 2);
  EXPECT_EQ(routine_calls.size(), 3u);
  EXPECT_FALSE(fs::exists(dir_ / "f3"));  // a copy cut short is not left behind
  EXPECT_EQ(file_list[0].selected, 0);
  EXPECT_EQ(file_list[1].selected, 0);
  EXPECT_EQ(file_list[2].selected, 1);
  EXPECT_EQ(file_list[3].selected, 1);
  EXPECT_EQ(file_list[4].selected, 1);
  EXPECT_EQ(undelete_closing_text(s.stopped, s.count), "Undelete process interrupted. Undeleted successfully:  2");
}

TEST_F(Undelete, RecoveredFileTakesTheDeletedFilesModificationDate) {
  for (const bool through_handle : {false, true}) {
    const std::string name = through_handle ? "handle.txt" : "dated.txt";
    FileInfo& e = add(through_handle ? 2 : 1, name);
    long east = 0;  // the catalogue holds local time
    ASSERT_TRUE(local_utc_offset(1600000000, &east));
    e.DateModified = unix_seconds_to_date_time(1600000000 + east);
    plans[e.inode].dates_itself = through_handle;
    build_undelete_list();
    ASSERT_EQ(run_undelete({target(), false, {}, nullptr, nullptr}).count, 1) << name;
    struct stat st;
    ASSERT_EQ(::stat((dir_ / name).c_str(), &st), 0) << name;
    EXPECT_EQ(st.st_mtim.tv_sec, 1600000000) << name;
  }
}

TEST_F(Undelete, FatDatesAreLocalTimeThroughoutTheHourAndAcrossClockChanges) {
  // FAT keeps the local wall-clock time; each date must come out as mktime gives it, also for
  // minutes of one hour met after another and around the clock changes of the zone.
  const std::string old_tz = std::getenv("TZ") ? std::getenv("TZ") : "";
  const bool had_tz = std::getenv("TZ") != nullptr;
  ::setenv("TZ", "Europe/Berlin", 1);
  ::tzset();
  const CivilTime dates[] = {
      {2021, 6, 15, 10, 0, 0},  {2021, 6, 15, 10, 59, 58}, {2021, 6, 15, 10, 7, 30}, {2021, 1, 3, 23, 45, 12},
      {2021, 3, 28, 3, 30, 0},  {2021, 10, 31, 2, 30, 0},  {2021, 10, 31, 3, 15, 4}, {1999, 12, 31, 23, 59, 58},
  };
  std::vector<std::time_t> expected;
  for (std::size_t i = 0; i < std::size(dates); ++i) {
    FileInfo& e = add(static_cast<std::int32_t>(100 + i), "f" + std::to_string(i) + ".txt", "C:\\", 1);
    e.DateModified = encode_date_time(dates[i]);
    plans[e.inode].dates_itself = i % 2 == 1;  // through the open file, or by path afterwards
    std::tm tm{};
    tm.tm_year = dates[i].year - 1900;
    tm.tm_mon = dates[i].month - 1;
    tm.tm_mday = dates[i].day;
    tm.tm_hour = dates[i].hour;
    tm.tm_min = dates[i].minute;
    tm.tm_sec = dates[i].second;
    tm.tm_isdst = -1;
    expected.push_back(std::mktime(&tm));
  }
  build_undelete_list();
  const UndeleteSummary s = run_undelete({target(), false, {}, nullptr, nullptr});
  if (had_tz) ::setenv("TZ", old_tz.c_str(), 1);
  else ::unsetenv("TZ");
  ::tzset();
  ASSERT_EQ(s.files.size(), std::size(dates));
  for (std::size_t i = 0; i < std::size(dates); ++i) {
    struct stat st;
    ASSERT_EQ(::stat(s.files[i].target_path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, expected[i]) << "date " << i;
  }
}

TEST_F(Undelete, KeepPutsFilesOfAlternatingFoldersEachInItsOwn) {
  // Files of one folder share their stored Path; the list may still come back to a folder.
  const SharedText ann("C:\\Users\\Ann\\");
  const SharedText bob("C:\\Users\\Bob\\");
  add(70, "a.txt").Path = ann;
  add(71, "a.txt").Path = bob;
  add(72, "a.txt").Path = ann;
  add(73, "b.txt", "C:\\Users\\Ann\\");  // an equal Path stored apart
  build_undelete_list();
  const UndeleteSummary s = run_undelete({target(), true, {}, nullptr, nullptr});
  EXPECT_EQ(s.count, 4);
  ASSERT_EQ(s.files.size(), 4u);
  EXPECT_EQ(s.files[0].target_path, (dir_ / "Users" / "Ann" / "a.txt").string());
  EXPECT_EQ(s.files[1].target_path, (dir_ / "Users" / "Bob" / "a.txt").string());
  EXPECT_EQ(s.files[2].target_path, (dir_ / "Users" / "Ann" / "a (2).txt").string());
  EXPECT_EQ(s.files[3].target_path, (dir_ / "Users" / "Ann" / "b.txt").string());
}

// Device numbers and the kernel's block-device tree of a fake machine: disk sda with partitions
// sda1 and sda2, and dm-0 built on sda2.
struct FakeProbe : DeviceProbe {
  bool folder_device(const std::string&, std::uint64_t* dev) const override {
    *dev = folder_dev;
    return true;
  }
  bool volume_device(const DriveInfo& drive, std::uint64_t* dev) const override {
    auto it = volumes.find(drive.device_path);
    if (it == volumes.end()) return false;
    *dev = it->second;
    return true;
  }
  std::string sys_root() const override { return root; }
  std::string proc_root() const override { return proc; }
  std::uint64_t folder_dev = 0;
  std::map<std::string, std::uint64_t> volumes;
  std::string root;
  std::string proc;
};

std::uint64_t dev(unsigned maj, unsigned min) { return static_cast<std::uint64_t>(makedev(maj, min)); }

void make_fake_sys(const fs::path& root) {
  const fs::path block = root / "devices" / "pci0" / "block";
  fs::create_directories(block / "sda" / "sda1");
  fs::create_directories(block / "sda" / "sda2");
  fs::create_directories(root / "devices" / "virtual" / "block" / "dm-0" / "slaves");
  std::ofstream(block / "sda" / "sda1" / "partition") << "1\n";
  std::ofstream(block / "sda" / "sda2" / "partition") << "2\n";
  fs::create_directory_symlink(block / "sda" / "sda2", root / "devices" / "virtual" / "block" / "dm-0" / "slaves" / "sda2");
  fs::create_directories(root / "dev" / "block");
  fs::create_directory_symlink(block / "sda", root / "dev" / "block" / "8:0");
  fs::create_directory_symlink(block / "sda" / "sda1", root / "dev" / "block" / "8:1");
  fs::create_directory_symlink(block / "sda" / "sda2", root / "dev" / "block" / "8:2");
  fs::create_directory_symlink(root / "devices" / "virtual" / "block" / "dm-0", root / "dev" / "block" / "253:0");
}

TEST_F(Undelete, DevicesOverlapAlongPartitionsAndSlaves) {
  make_fake_sys(dir_ / "sys");
  const std::string sys = (dir_ / "sys").string();
  struct Case {
    std::uint64_t target, source;
    bool overlap;
  } cases[] = {
      {dev(8, 1), dev(8, 1), true},   {dev(8, 1), dev(8, 0), true},  // target on a partition of the source disk
      {dev(8, 0), dev(8, 1), true},                                  // source is a partition of the target's disk
      {dev(8, 1), dev(8, 2), false},                                 // two partitions of one disk
      {dev(253, 0), dev(8, 2), true}, {dev(253, 0), dev(8, 0), true},
      {dev(253, 0), dev(8, 1), false}, {dev(0, 40), dev(8, 1), false},  // tmpfs and the like
  };
  for (const Case& c : cases)
    EXPECT_EQ(devices_overlap(c.target, c.source, sys), c.overlap)
        << major(c.target) << ":" << minor(c.target) << " on " << major(c.source) << ":" << minor(c.source);
}

TEST_F(Undelete, LoopDeviceOverlapsTheVolumeThatHoldsItsBackingFile) {
  make_fake_sys(dir_ / "sys");
  const fs::path sys = dir_ / "sys";
  // The backing file lies in the test's own folder; let its file system stand for sda1.
  const fs::path backing = dir_ / "disk.img";
  std::ofstream(backing) << "x";
  struct stat st;
  ASSERT_EQ(::stat(backing.c_str(), &st), 0);
  const std::string holder = std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev));
  if (fs::exists(sys / "dev" / "block" / holder)) GTEST_SKIP() << "the test's file system has a device number of the fake disk";
  fs::create_directory_symlink(sys / "devices" / "pci0" / "block" / "sda" / "sda1", sys / "dev" / "block" / holder);
  const fs::path loop = sys / "devices" / "virtual" / "block" / "loop0";
  fs::create_directories(loop / "loop");
  std::ofstream(loop / "loop" / "backing_file") << backing.string() << "\n";
  fs::create_directory_symlink(loop, sys / "dev" / "block" / "7:0");

  EXPECT_TRUE(devices_overlap(dev(7, 0), dev(8, 1), sys.string()));
  EXPECT_TRUE(devices_overlap(dev(7, 0), dev(8, 0), sys.string()));
  EXPECT_FALSE(devices_overlap(dev(7, 0), dev(8, 2), sys.string()));
}

TEST_F(Undelete, RefusesATargetOnAVolumeBeingRecoveredFrom) {
  make_fake_sys(dir_ / "sys");
  FakeProbe probe;
  probe.root = (dir_ / "sys").string();
  probe.folder_dev = dev(8, 1);
  drive_list[1].device_path = "/dev/sda";
  drive_list[1].is_image = false;
  probe.volumes["/dev/sda"] = dev(8, 0);
  const DeviceProbe* previous = set_device_probe(&probe);
  CapturingHost host;
  ScopedHost scope(host);

  add(1, "image.txt", "C:\\", 0);
  add(2, "disk.txt", "D:\\", 1);
  build_undelete_list();
  UndeleteSummary s = run_undelete({target(), false, {}, nullptr, nullptr});
  EXPECT_TRUE(s.refused);
  EXPECT_TRUE(routine_calls.empty());
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);  // only the fake sys tree
  EXPECT_EQ(file_list[0].selected, 1);
  ASSERT_EQ(host.shown.size(), 1u);
  EXPECT_EQ(host.shown[0].second, MsgType::error);
  EXPECT_EQ(host.shown[0].first,
            "The target folder lies on drive D: (/dev/sda), which is being recovered from. Choose a folder on "
            "another drive.");

  // Only the image file's entry ticked: an image cannot be harmed by writing beside it.
  file_list[1].selected = 0;
  build_undelete_list();
  s = run_undelete({target(), false, {}, nullptr, nullptr});
  EXPECT_FALSE(s.refused);
  EXPECT_EQ(s.count, 1);

  // Another partition of the same disk is safe.
  file_list[1].selected = 1;
  probe.volumes["/dev/sda"] = dev(8, 2);
  build_undelete_list();
  s = run_undelete({target(), false, {}, nullptr, nullptr});
  EXPECT_FALSE(s.refused);
  set_device_probe(previous);
}

// An image file reaches the target through a loop device (and a device-mapper device over it) or
// a FUSE mount that names it; a loop device over another file, tmpfs, or a FUSE mount of another
// file do not. A FUSE mount that names no path (fusefat gives its own name) is backed by what its
// server has open. The image's name holds a blank, which the mount table writes as "\040".
TEST_F(Undelete, ImageFileBacksLoopDeviceMapperAndFuseMounts) {
  make_fake_sys(dir_ / "sys");
  const fs::path sys = dir_ / "sys", proc = dir_ / "proc";
  const fs::path image = dir_ / "my image.img", other = dir_ / "other.img";
  std::ofstream(image) << "x";
  std::ofstream(other) << "y";
  struct stat st;
  ASSERT_EQ(::stat(image.c_str(), &st), 0);
  const fs::path virt = sys / "devices" / "virtual" / "block";
  auto make_loop = [&](const std::string& name, const std::string& numbers, const fs::path& file) {
    fs::create_directories(virt / name / "loop");
    std::ofstream(virt / name / "loop" / "backing_file") << file.string() << "\n";
    fs::create_directory_symlink(virt / name, sys / "dev" / "block" / numbers);
  };
  make_loop("loop0", "7:0", image);
  make_loop("loop1", "7:1", other);
  fs::create_directories(virt / "dm-1" / "slaves");
  fs::create_directory_symlink(virt / "loop0", virt / "dm-1" / "slaves" / "loop0");
  fs::create_directory_symlink(virt / "dm-1", sys / "dev" / "block" / "253:1");
  std::string escaped = image.string();
  escaped.replace(escaped.find(' '), 1, "\\040");
  fs::create_directories(proc / "self");
  std::ofstream(proc / "self" / "mountinfo") << "30 1 0:77 / /mnt/fat rw,nosuid - fuseblk " << escaped << " rw,user_id=0\n"
                                             << "31 1 0:78 / /mnt/other rw - fuse.fusefat " << other.string() << " rw\n"
                                             << "32 1 0:79 / /tmp rw shared:5 - tmpfs tmpfs rw\n"
                                             << "33 1 0:80 / /mnt/served rw - fuse.fusefat fusefat rw\n";
  // The server of the mount that names no path: /dev/fuse and the image open; another process
  // has the image open without serving anything.
  fs::create_directories(proc / "4242" / "fd");
  fs::create_symlink("/dev/fuse", proc / "4242" / "fd" / "3");
  fs::create_symlink(image, proc / "4242" / "fd" / "4");
  fs::create_directories(proc / "99" / "fd");
  fs::create_symlink(other, proc / "99" / "fd" / "4");
  struct Case {
    std::uint64_t target;
    bool backed;
  } cases[] = {{dev(7, 0), true},   {dev(253, 1), true}, {dev(0, 77), true},  {dev(0, 80), true},
               {dev(7, 1), false},  {dev(0, 78), false}, {dev(0, 79), false}, {dev(8, 1), false}};
  for (const Case& c : cases)
    EXPECT_EQ(device_backed_by_file(c.target, st.st_dev, st.st_ino, sys.string(), proc.string()), c.backed)
        << major(c.target) << ":" << minor(c.target);
  // Another file served through FUSE does not back the mount that names no path.
  struct stat other_st;
  ASSERT_EQ(::stat(other.c_str(), &other_st), 0);
  EXPECT_FALSE(device_backed_by_file(dev(0, 80), other_st.st_dev, other_st.st_ino, sys.string(), proc.string()));
  // Without the process tree FUSE mounts are not followed; the loop device is found all the same.
  EXPECT_FALSE(device_backed_by_file(dev(0, 77), st.st_dev, st.st_ino, sys.string(), ""));
  EXPECT_TRUE(device_backed_by_file(dev(7, 0), st.st_dev, st.st_ino, sys.string(), ""));

  // A loop device over the image and a FUSE mount of the same image overlap as devices too.
  EXPECT_TRUE(devices_overlap(dev(0, 77), dev(7, 0), sys.string(), proc.string()));
  EXPECT_FALSE(devices_overlap(dev(0, 78), dev(7, 0), sys.string(), proc.string()));

  // The refusal names the image's drive with the same-drive text.
  FakeProbe probe;
  probe.root = sys.string();
  probe.proc = proc.string();
  probe.folder_dev = dev(253, 1);
  drive_list[0].device_path = image.string();
  const DeviceProbe* previous = set_device_probe(&probe);
  CapturingHost host;
  ScopedHost scope(host);
  add(1, "a.txt", "C:\\", 0);
  build_undelete_list();
  UndeleteSummary s = run_undelete({target(), false, {}, nullptr, nullptr});
  EXPECT_TRUE(s.refused);
  EXPECT_TRUE(routine_calls.empty());
  ASSERT_EQ(host.shown.size(), 1u);
  EXPECT_EQ(host.shown[0].first, "The target folder lies on drive C: (" + image.string() +
                                     "), which is being recovered from. Choose a folder on another drive.");
  // A target on a loop device over another file is fine.
  probe.folder_dev = dev(7, 1);
  build_undelete_list();
  s = run_undelete({target(), false, {}, nullptr, nullptr});
  EXPECT_FALSE(s.refused);
  EXPECT_EQ(s.count, 1);
  set_device_probe(previous);
}

}  // namespace
}  // namespace dravelo
