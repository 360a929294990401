#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "browse_fixture.h"
#include "catalogue/date_time.h"

namespace dravelo {
namespace {

using Names = std::vector<std::string>;

DateTime at(int y, int mo, int d, int h = 0, int mi = 0) {
  CivilTime t;
  t.year = y; t.month = mo; t.day = d; t.hour = h; t.minute = mi;
  return encode_date_time(t);
}

TEST_F(BrowseTest, NameFilterMatchesAnyPartIgnoringAsciiCase) {
  add("~tmp1.doc");
  add("ATMPX.TXT");
  add("temp.txt");
  custom_filter.filename_flag = true;
  custom_filter.FileName = "tmp";
  EXPECT_EQ(set_folder_filter(0, 0, 0), 2);
  EXPECT_EQ(shown(), (Names{"~tmp1.doc", "ATMPX.TXT"}));

  // The field ticked and empty hides every file.
  custom_filter.FileName.clear();
  EXPECT_EQ(set_folder_filter(0, 0, 0), 0);
}

TEST_F(BrowseTest, DateFilterTakesBothDaysWhole) {
  add("early").DateModified = at(2021, 3, 7, 0, 0);
  add("morning").DateModified = at(2021, 3, 7, 10, 15);
  add("last-second").DateModified = at(2021, 3, 7, 23, 59) + 59.9 / 86400.0;
  add("next-day").DateModified = at(2021, 3, 8, 0, 0);
  add("day-before").DateModified = at(2021, 3, 6, 23, 59);
  add("unknown").DateModified = 0;
  FileInfo& created = add("created-only");
  created.DateCreated = at(2021, 3, 7, 12, 0);
  created.DateModified = at(2022, 1, 1);

  custom_filter.date_flag = true;
  set_filter_dates(custom_filter, at(2021, 3, 7), at(2021, 3, 7));
  set_folder_filter(0, 0, 0);
  EXPECT_EQ(shown(), (Names{"early", "morning", "last-second"}));

  custom_filter.date_type = 1;  // Created Date
  set_folder_filter(0, 0, 0);
  EXPECT_EQ(shown(), (Names{"created-only"}));

  // A From picker without a date (0) sets no lower bound, but unknown dates still stay out.
  custom_filter.date_type = 0;
  set_filter_dates(custom_filter, 0, at(2021, 3, 6));
  set_folder_filter(0, 0, 0);
  EXPECT_EQ(shown(), (Names{"day-before"}));
}

TEST_F(BrowseTest, SizeBoundsIncludeTheBound) {
  add("below", 102399);
  add("exact", 102400);
  add("above", 102401);
  custom_filter.size_flag = true;
  custom_filter.size = 100 * 1024;
  custom_filter.size_type = 0;  // at least
  set_folder_filter(0, 0, 0);
  EXPECT_EQ(shown(), (Names{"exact", "above"}));
  custom_filter.size_type = 1;  // at most
  set_folder_filter(0, 0, 0);
  EXPECT_EQ(shown(), (Names{"below", "exact"}));
}

TEST_F(BrowseTest, HidesTemporaryAndOverwrittenFiles) {
  add("a.doc").Path = "C:\\Users\\x\\AppData\\Local\\Temp\\";
  add("report.tmp");
  add("b.doc").Path = "C:\\TMP\\";
  add("Template.dot");
  add("gone.txt", 10, 0);
  add("broken.txt", 10, -1);
  add("packed.txt", 10, -2);

  custom_filter.temporary_flag = true;
  set_folder_filter(0, 0, 0);
  EXPECT_EQ(shown(), (Names{"b.doc", "gone.txt", "broken.txt", "packed.txt"}));

  custom_filter.overwritten_flag = true;
  set_folder_filter(0, 0, 0);
  EXPECT_EQ(shown(), (Names{"b.doc", "broken.txt", "packed.txt"}));

  custom_filter = TCustomFilter{};
  EXPECT_FALSE(filter_active(custom_filter));
  EXPECT_EQ(set_folder_filter(0, 0, 0), 7);
}

TEST_F(BrowseTest, FolderViewShowsOnlyDirectChildrenOfThatDrive) {
  FileInfo& root_e = add("root-e.txt");
  FileInfo& in_docs = add("in-docs.txt");
  in_docs.parent = 40;
  FileInfo& in_sub = add("in-sub.txt");
  in_sub.parent = 41;  // a subfolder of 40
  FileInfo& root_f = add("root-f.txt");
  root_f.drv = 'f';
  FileInfo& docs_f = add("docs-f.txt");
  docs_f.drv = 'f';
  docs_f.parent = 40;
  (void)root_e;

  EXPECT_EQ(set_folder_filter(kRootFolder, 'e', 0), 1);
  EXPECT_EQ(shown(), (Names{"root-e.txt"}));
  set_folder_filter(40, 'e', 0);
  EXPECT_EQ(shown(), (Names{"in-docs.txt"}));
  set_folder_filter(40, 'f', 0);
  EXPECT_EQ(shown(), (Names{"docs-f.txt"}));
  EXPECT_EQ(filter_parent, 40);
  EXPECT_EQ(filter_drv, 'f');

  // A new filter applies to the view on show.
  custom_filter.filename_flag = true;
  custom_filter.FileName = "nothing-like-it";
  EXPECT_EQ(refresh_folder_filter(), 0);
  custom_filter = TCustomFilter{};
  EXPECT_EQ(refresh_folder_filter(), 1);
}

TEST_F(BrowseTest, TypeViewShowsOneGroupAndSkipsNamelessEntries) {
  add("a.jpg").FileExt = 9;
  add("b.txt").FileExt = 42;
  add("c.jpg").FileExt = 9;
  add("").FileExt = 9;
  set_folder_filter(0, 0, 9);
  EXPECT_EQ(shown(), (Names{"a.jpg", "c.jpg"}));
  EXPECT_EQ(filter_app, 9);
  // The type is ignored while a folder is chosen.
  EXPECT_EQ(set_folder_filter(kRootFolder, 'e', 9), 3);
  EXPECT_EQ(set_folder_filter(0, 0, 0), 3);
}

}  // namespace
}  // namespace dravelo
