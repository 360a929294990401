#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>

#include "browse_fixture.h"
#include "catalogue/type_table.h"

namespace dravelo {
namespace {

TEST(TypeTable, HoldsTheGroupsAndRowsInTheirOrder) {
  build_type_table(nullptr);
  for (std::size_t g = 0; g < kAppCount; ++g) EXPECT_EQ(app_table[g].app, g);
  EXPECT_EQ(app_table[9].name, "JPEG Standard Graphics");
  EXPECT_EQ(app_table[45].name, "WordPrefect Documents and Graphics v8");
  EXPECT_EQ(app_table[65].name, "Other Files");
  EXPECT_EQ(app_table[70].name, "Icon");

  struct Row { std::size_t row; const char* ext; std::uint16_t app; };
  const Row rows[] = {{0, "", 0},        {1, ".DWG", 1},    {10, ".JPEG", 9},  {34, ".WKS", 21},
                      {55, ".WKS", 32},  {112, ".DBF", 64}, {113, "", 65},     {114, ".PSD", 66},
                      {117, ".EXE", 67}, {118, ".DOC", 30}, {121, ".CSS", 20}, {122, ".ICO", 70},
                      {123, ".JS", 20}};
  for (const Row& r : rows) {
    EXPECT_EQ(ext_table[r.row].ext, r.ext) << "row " << r.row;
    EXPECT_EQ(ext_table[r.row].app, r.app) << "row " << r.row;
  }
  // Every group but 0 and 65 has at least one row, and every row's extension is upper case.
  std::map<std::uint16_t, int> rows_per_group;
  for (const T_ext& r : ext_table) {
    ++rows_per_group[r.app];
    for (char c : r.ext) EXPECT_FALSE(c >= 'a' && c <= 'z') << r.ext;
  }
  for (std::uint16_t g = 1; g < kAppCount; ++g) {
    if (g == kOtherFiles) continue;
    EXPECT_GE(rows_per_group[g], 1) << "group " << g;
  }
  EXPECT_EQ(rows_per_group[20], 7);  // .HTM .PHP .SHTML .PHTML .HTML .CSS .JS
  EXPECT_EQ(rows_per_group[21], 8);
}

TEST(TypeTable, ClassifiesByTheLastExtensionComparedWhole) {
  struct Case { const char* name; std::uint16_t group; };
  const Case cases[] = {
      {"photo.JPeg", 9},       {"photo.jpg", 9},        {"page.shtml", 20},   {"page.phtml", 20},
      {"README", 65},          {"name.", 65},           {"x.unknownext", 65}, {"archive.tar.gz", 48},
      {"sheet.wks", 21},       {"inbox.mbx", 62},       {"link.url", 63},     {".bashrc", 65},
      {"letter.doc", 30},      {"style.css", 20},       {"app.js", 20},       {"x.jsx", 65},
      {"SETUP.EXE", 67},       {"a.$$$", 43},           {"tune.mp", 57},      {"b.123", 21},
      {"x.docxdocx", 65},      {"x.htmlhtml", 65},      {"x.shtmlx", 65},
  };
  for (const Case& c : cases) EXPECT_EQ(type_group(c.name), c.group) << c.name;
  // A NUL inside the extension does not make it a shorter one.
  EXPECT_EQ(type_group(std::string_view("app.js\0", 7)), 65);
}

// The desktop knows .jpg and .jpeg under one name; it answers nothing for .nef.
struct FakeDesktop : TypeNameSource {
  std::vector<std::string> asked;
  std::string type_name(std::string_view pattern, std::uint16_t) override {
    asked.emplace_back(pattern);
    if (pattern == "*.jpg" || pattern == "*.jpeg") return "JPEG image";
    if (pattern == "*.tiff") return std::string(100, 'T');
    return {};
  }
};

class TypePassTest : public BrowseTest {
 protected:
  void TearDown() override {
    BrowseTest::TearDown();
    for (T_app& g : app_table) g.systemname.clear();
  }
};

TEST_F(TypePassTest, CountsGroupsAndNamesNodesByTheDesktopsTypeName) {
  add("photo.JPeg");
  add("photo.jpg");
  add("sheet.wks");
  add("README");
  FakeDesktop desktop;
  classify_files(&desktop);

  EXPECT_EQ(file_list[0].FileExt, 9);
  EXPECT_EQ(file_list[2].FileExt, 21);
  EXPECT_EQ(file_list[3].FileExt, 65);
  EXPECT_EQ(app_table[9].count, 2);
  EXPECT_EQ(app_table[32].count, 0);
  EXPECT_EQ(type_tree_groups(), (std::vector<std::uint16_t>{9, 21, 65}));
  EXPECT_EQ(type_node_text(9), "JPEG image (2)");
  EXPECT_EQ(type_node_text(21), "Lotus 123 (1)");
  EXPECT_EQ(type_node_text(65), "Other Files (1)");
  // Names are cut to 80 characters; a group that answered is asked once only, and the
  // placeholder rows with no extension are never asked.
  EXPECT_EQ(app_table[13].systemname.size(), 80u);
  EXPECT_EQ(std::count(desktop.asked.begin(), desktop.asked.end(), "*.jpeg"), 0);
  EXPECT_EQ(std::count(desktop.asked.begin(), desktop.asked.end(), "*."), 0);
  EXPECT_EQ(std::count(desktop.asked.begin(), desktop.asked.end(), "*.tif"), 0);
  EXPECT_EQ(std::count(desktop.asked.begin(), desktop.asked.end(), "*.epx"), 0);

  // A second pass keeps the names, asks only for groups still without one and recounts.
  desktop.asked.clear();
  classify_files(&desktop);
  EXPECT_EQ(app_table[9].count, 2);
  EXPECT_EQ(std::count(desktop.asked.begin(), desktop.asked.end(), "*.jpg"), 0);
  EXPECT_EQ(std::count(desktop.asked.begin(), desktop.asked.end(), "*.nef"), 0);
  EXPECT_EQ(std::count(desktop.asked.begin(), desktop.asked.end(), "*.dwg"), 1);
}

}  // namespace
}  // namespace dravelo
