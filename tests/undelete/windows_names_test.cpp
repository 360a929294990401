// Names that Windows refuses: the substitutes, and a recovery run that writes such files under
// them and reports each change. The run uses the Windows rules explicitly, so it shows the same
// on Linux; in the Windows build (under wine) it creates the files through the Win32 calls.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/engine_host.h"
#include "catalogue/texts.h"
#include "catalogue/windows_names.h"
#include "workflow/undelete.h"

namespace dravelo {
namespace {

namespace fs = std::filesystem;

TEST(WindowsSafeName, SubstitutesWhatWindowsRefuses) {
  struct Case {
    const char* name;
    const char* expected;
  } cases[] = {
      {"report.txt", "report.txt"},
      {"a:b*c?d\"e<f>g|h.txt", "a_b_c_d_e_f_g_h.txt"},
      {"tab\there\x01.txt", "tab_here_.txt"},
      {"back\\slash", "back_slash"},
      {"notes.", "notes_"},         // the Win32 layer would drop the dot
      {"notes. .", "notes___"},     // every trailing dot and blank
      {"my file .txt", "my file .txt"},  // a blank inside is fine
      {"CON", "_CON"},
      {"con.txt", "_con.txt"},      // with any extension, in any case
      {"Lpt9.tar.gz", "_Lpt9.tar.gz"},
      {"AUX .log", "_AUX .log"},    // blanks before the dot still name the device
      {"NUL.", "NUL_"},             // no device name once the dot is gone
      {"COM0", "COM0"},             // only COM1 to COM9 and LPT1 to LPT9
      {"LPT10.txt", "LPT10.txt"},
      {"CONSOLE.txt", "CONSOLE.txt"},
      {"xCON", "xCON"},
      {"\xC3\xA9t\xC3\xA9?.txt", "\xC3\xA9t\xC3\xA9_.txt"},  // UTF-8 passes untouched
  };
  for (const Case& c : cases) EXPECT_EQ(windows_safe_name(c.name), c.expected) << c.name;
}

TEST(WindowsSafeName, NativeRulesFollowTheBuild) {
#ifdef _WIN32
  EXPECT_EQ(native_name_rules(), NameRules::windows);
#else
  EXPECT_EQ(native_name_rules(), NameRules::posix);
#endif
  EXPECT_EQ(safe_component("a:b", NameRules::posix), "a:b");
  EXPECT_EQ(safe_component("a:b", NameRules::windows), "a_b");
  EXPECT_EQ(relative_target_folder("C:\\Logs: old\\CON\\", NameRules::windows), "Logs_ old/_CON/");
}

// Writes "data of <name>" as a recovery routine does.
RecoverResult write_name(const FileInfo& entry, const std::string& target, const RecoverOptions&) {
  RecoverResult r;
  TargetFile out;
  if (!out.create(target)) {
    r.status = RecoverStatus::cannot_create;
    r.message = out.error_message();
    r.target_exists = out.existed();
    return r;
  }
  const std::string data = "data of " + entry.FileName;
  out.write(data.data(), data.size());
  r.status = out.close() ? RecoverStatus::complete : RecoverStatus::write_failed;
  r.bytes_written = static_cast<std::int64_t>(data.size());
  return r;
}

std::string read_all(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string renamed(const std::string& from, const std::string& to) {
  std::string text = lang_text(72);
  text.replace(text.find("%2"), 2, to);
  text.replace(text.find("%1"), 2, from);
  return text;
}

TEST(WindowsNames, RecoveryWritesSubstitutesAndReportsThem) {
  const RecoverRoutines previous = set_recover_routines({&write_name, &write_name, &write_name});
  SilentHost quiet;
  EngineHost* previous_host = set_host(&quiet);
  reset_catalogue();
  drive_list.clear();
  DriveInfo drive;
  drive.drive_name = 'c';
  drive.drive_fs = "FAT32";
  drive.device_path = "c.img";
  drive.is_image = true;
  drive_list.push_back(drive);
  struct Wanted {
    const char* path;
    const char* name;
    const char* written;  // below the target
    std::vector<std::string> notes;
  } wanted[] = {
      {"C:\\", "plan?.txt", "plan_.txt", {renamed("plan?.txt", "plan_.txt")}},
      {"C:\\", "CON.txt", "_CON.txt", {renamed("CON.txt", "_CON.txt")}},
      {"C:\\", "draft. ", "draft__", {renamed("draft. ", "draft__")}},
      {"C:\\", "fine.txt", "fine.txt", {}},
      // A refused folder name is changed and reported for each file below it.
      {"C:\\Q3: sales\\", "a<b>.csv", "Q3_ sales/a_b_.csv", {renamed("Q3: sales", "Q3_ sales"), renamed("a<b>.csv", "a_b_.csv")}},
      {"C:\\Q3: sales\\", "ok.csv", "Q3_ sales/ok.csv", {renamed("Q3: sales", "Q3_ sales")}},
      // Two names that become the same substitute both survive.
      {"C:\\", "plan*.txt", "plan_ (2).txt", {renamed("plan*.txt", "plan_.txt")}},
  };
  for (std::size_t i = 0; i < std::size(wanted); ++i) {
    FileInfo e;
    e.drive = 0;
    e.drv = 'c';
    e.fs = "FAT32";
    e.inode = static_cast<std::int32_t>(i);
    e.FileName = wanted[i].name;
    e.Path = wanted[i].path;
    e.FileSize = 10;
    e.Percent = 100;
    e.selected = 1;
    add_file(std::move(e));
  }
  const fs::path dir = fs::temp_directory_path() / "dravelo-windows-names";
  fs::remove_all(dir);
  build_undelete_list();
  UndeleteRequest request;
  request.target_folder = dir.string();
  request.keep_folders = true;
  request.options.name_rules = NameRules::windows;
  const UndeleteSummary summary = run_undelete(request);

  ASSERT_EQ(summary.files.size(), std::size(wanted));
  EXPECT_EQ(summary.count, static_cast<int>(std::size(wanted)));
  for (std::size_t i = 0; i < std::size(wanted); ++i) {
    const UndeleteOutcome& o = summary.files[i];
    SCOPED_TRACE(wanted[i].name);
    EXPECT_EQ(o.result.status, RecoverStatus::complete) << o.result.message;
    EXPECT_EQ(o.target_path, dir.string() + "/" + wanted[i].written);
    EXPECT_EQ(read_all(dir / wanted[i].written), std::string("data of ") + wanted[i].name);
    EXPECT_EQ(o.result.notes, wanted[i].notes);
  }
  fs::remove_all(dir);
  set_host(previous_host);
  set_recover_routines(previous);
  reset_catalogue();
  drive_list.clear();
}

}  // namespace
}  // namespace dravelo
