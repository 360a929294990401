// The file-type catalogue: 71 type groups and the 124 extension rows that point to them, the
// type pass that gives every found file its group, and the texts of the types tree.
//
// Wiring for the window:
//   - implement TypeNameSource over the desktop (src/ui/type_names.h does, with QMimeDatabase
//     and the icon theme) and keep one instance for the life of the program;
//   - at the end of an analysis that found files: classify_files(&source), then draw the types
//     tree from type_tree_groups() (node text type_node_text(app), picture for app + 1), sorted
//     by the locale's order.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dravelo {

struct T_app {
  std::uint16_t app = 0;   // the group number, equal to the record's position in app_table
  std::string name;        // the group's own name
  std::int32_t count = 0;  // entries of the last classified catalogue in this group
  std::string systemname;  // the desktop's type name, empty until fetched; at most 80 characters
};

struct T_ext {
  std::string ext;  // with its leading dot, upper case; empty in rows 0 and 113
  std::uint16_t app = 0;
};

constexpr std::size_t kAppCount = 71;
constexpr std::size_t kExtCount = 124;
// Files whose extension is in no row, or that have none.
constexpr std::uint16_t kOtherFiles = 65;
constexpr std::size_t kSystemNameCapacity = 80;

extern std::array<T_app, kAppCount> app_table;
extern std::array<T_ext, kExtCount> ext_table;

// The desktop's knowledge of file types, supplied by the front end.
struct TypeNameSource {
  // The type name the desktop shows for files matching pattern ("*" + the extension in lower
  // case, e.g. "*.jpg"), empty when it knows none. The source may also take the desktop's icon
  // for that pattern as the picture of group app, replacing the one it had.
  virtual std::string type_name(std::string_view pattern, std::uint16_t app) = 0;
  virtual ~TypeNameSource() = default;
};

// Writes the groups and rows, clears the counts and asks source (if any) for the type name of
// every group whose systemname is still empty, by the one extension that the group is about
// (not its first row, which may be another format's); a group without such an extension keeps
// its own name. Fetched names stay for the life of the program.
void build_type_table(TypeNameSource* source);

// The group of a file name: the first row (1 to 123) whose extension equals the name's (from the
// last dot to the end, dot included, ASCII letters compared without case), else 65.
std::uint16_t type_group(std::string_view file_name);

// The type pass: build_type_table, then every catalogue entry gets its FileExt and every group
// its count. Drawing the tree is the window's part (see type_tree_groups).
void classify_files(TypeNameSource* source);

// The groups that get a node in the types tree, in group order: those with count > 0.
std::vector<std::uint16_t> type_tree_groups();

// A group node's text: systemname when it is not empty, else name; then " (count)".
std::string type_node_text(std::uint16_t app);

}  // namespace dravelo
