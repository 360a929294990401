#include "catalogue/type_table.h"

#include <string>
#include <unordered_map>

#include "catalogue/catalogue.h"
#include "catalogue/text_util.h"

namespace dravelo {

std::array<T_app, kAppCount> app_table;
std::array<T_ext, kExtCount> ext_table;

namespace {

constexpr std::array<const char*, kAppCount> kGroupNames = {
    "",  // 0: stands for all files; no row points here
    "AutoCAD Drawing",
    "AutoCAD DX",
    "Bitmap",
    "COREL Draw",
    "Encapsulated Postscript",
    "Enhanced Metafile",
    "Font",
    "GIF graphics",
    "JPEG Standard Graphics",
    "PaintShop Pro",
    "PNG Graphics",
    "ShockWave Flash",
    "TIFF Graphics",
    "TrueType Font",
    "Windows Metafile",
    "XARA Graphics",
    "3d Studio Max",
    "Adobe PageMaker",
    "Help",
    "HTML Documents",
    "Lotus 123",
    "Lotus WordPro",
    "MS Excel WorkSheet",
    "MS OneNote",
    "MS Photodraw",
    "MS PowerPoint Presentation",
    "MS Project",
    "MS Publisher",
    "MS Visio Drawing",
    "MS Word Documents",
    "MS Write/WordPad",
    "MS Works 4 Database",
    "MS Outlook MSG",
    "MS Money",
    "MS Outlook Address",
    "MS Outlook Express",
    "MS Access Database",
    "PDF Document",
    "QuattroPro 7",
    "Rich Text Document",
    "SureThing CD Labeler",
    "Text Documents",
    "Unknown OLE",
    "WordPrefect 6 and 7",
    "WordPrefect Documents and Graphics v8",
    "XML Documents",
    "Cabinet compression",
    "GZIP compression",
    "LZH compression",
    "RAR compression",
    "TAR archive",
    "ZIP compression",
    "ASF,WMA,WMV Multimedia",
    "Audio Interchange",
    "AVI Multimedia",
    "Quicktime MOV Multimedia",
    "MP3 Music",
    "MPEG Multimedia",
    "Musical Instrument Digital Interface",
    "RealAudio",
    "WAFE Multimedia",
    "Generic Email",
    "Internet Favorites",
    "DBase-FoxPro Database",
    "Other Files",
    "Adobe Photoshop",
    "Application",
    "Setup Information",
    "Windows Batch File",
    "Icon",
};

struct Row {
  const char* ext;
  std::uint16_t app;
};

// In row order. The first row of an extension wins, so .WKS (rows 34 and 55) is "Lotus 123";
// .DOC, .CSS and .JS come after the groups 1 to 64.
constexpr std::array<Row, kExtCount> kRows = {{
    {"", 0},
    {".DWG", 1},     {".DXF", 2},    {".BMP", 3},    {".CDR", 4},    {".EPS", 5},
    {".EMF", 6},     {".FON", 7},    {".GIF", 8},    {".JPG", 9},    {".JPEG", 9},
    {".PSP", 10},    {".PNG", 11},   {".SWF", 12},   {".NEF", 13},   {".TIFF", 13},
    {".EPX", 13},    {".TIF", 13},   {".TTF", 14},   {".WMF", 15},   {".XAR", 16},
    {".MAX", 17},    {".PMD", 18},   {".P65", 18},   {".HLP", 19},   {".HTM", 20},
    {".PHP", 20},    {".SHTML", 20}, {".PHTML", 20}, {".HTML", 20},  {".WK1", 21},
    {".WK2", 21},    {".WK3", 21},   {".WK4", 21},   {".WKS", 21},   {".FM3", 21},
    {".WB1", 21},    {".123", 21},   {".LWP", 22},   {".XLT", 23},   {".XLA", 23},
    {".XLS", 23},    {".ONE", 24},   {".MIX", 25},   {".PPT", 26},   {".MPP", 27},
    {".PUZ", 28},    {".PUB", 28},   {".VST", 29},   {".VSS", 29},   {".VSD", 29},
    {".ASD", 30},    {".DOT", 30},   {".DOCX", 30},  {".WRI", 31},   {".WKS", 32},
    {".WPS", 32},    {".WDB", 32},   {".MSG", 33},   {".MNY", 34},   {".PAB", 35},
    {".PST", 35},    {".WAB", 35},   {".DBX", 36},   {".MDB", 37},   {".PDF", 38},
    {".QPW", 39},    {".RTF", 40},   {".STD", 41},   {".DSN", 41},   {".TXT", 42},
    {".$$$", 43},    {".WPT", 44},   {".WCM", 44},   {".WPD", 44},   {".WPG", 45},
    {".SVG", 46},    {".XSL", 46},   {".XML", 46},   {".CAB", 47},   {".GZ", 48},
    {".GZIP", 48},   {".LZH", 49},   {".RAR", 50},   {".TAR", 51},   {".ZIP", 52},
    {".JAR", 52},    {".ASX", 53},   {".WMA", 53},   {".WMV", 53},   {".ASF", 53},
    {".AIFF", 54},   {".AIF", 54},   {".AVI", 55},   {".MOV", 56},   {".MP", 57},
    {".MP1", 57},    {".MP2", 57},   {".MP3", 57},   {".VRO", 58},   {".MPEG", 58},
    {".M1V", 58},    {".MPG", 58},   {".MID", 59},   {".MIDI", 59},  {".SIB", 60},
    {".LIB", 60},    {".WAV", 61},   {".MBX", 62},   {".URL", 63},   {".DBC", 64},
    {".SCX", 64},    {".DBF", 64},
    {"", 65},        {".PSD", 66},   {".DLL", 67},   {".COM", 67},   {".EXE", 67},
    {".DOC", 30},    {".INI", 68},   {".BAT", 69},   {".CSS", 20},   {".ICO", 70},
    {".JS", 20},
}};

// The extension that each group is about, whose desktop type name describes the whole group;
// empty where the desktop's name for every one of the group's extensions is another format's
// (.ASD is Common Lisp source on Linux, .MPP Musepack audio, .XAR an archive) or the desktop
// has none: the group's own name serves then. The first row of a group is not always its
// format: .NEF heads the TIFF group, .ASD the Word group, .MP the MP3 group.
constexpr std::array<const char*, kAppCount> kRepresentative = {
    "",      // 0: all files
    ".DWG",  ".DXF",  ".BMP", ".CDR", ".EPS", ".EMF", "",     ".GIF", ".JPG", "",      //  1-10
    ".PNG",  ".SWF",  ".TIFF", ".TTF", ".WMF", "",    "",     ".PMD", ".HLP", ".HTML",  // 11-20
    ".WK1",  ".LWP",  ".XLS", "",     "",     ".PPT", "",     ".PUB", ".VSD", ".DOC",   // 21-30
    ".WRI",  ".WDB",  "",     "",     "",     "",     ".MDB", ".PDF", "",     ".RTF",   // 31-40
    "",      ".TXT",  "",     ".WPD", ".WPG", ".XML", ".CAB", ".GZ",  ".LZH", ".RAR",   // 41-50
    ".TAR",  ".ZIP",  ".ASF", ".AIFF", ".AVI", ".MOV", ".MP3", ".MPG", ".MID", "",     // 51-60
    ".WAV",  "",      ".URL", ".DBF", "",     ".PSD", ".EXE", "",     "",     ".ICO",   // 61-70
};

// The table's extensions, dot included, have at most eight characters, so that each fits one
// 64-bit key; a longer extension belongs to no group.
constexpr std::size_t kKeyChars = 8;
constexpr bool extensions_fit_keys() {
  for (const Row& row : kRows) {
    std::size_t n = 0;
    while (row.ext[n] != 0) ++n;
    if (n > kKeyChars) return false;
  }
  return true;
}
static_assert(extensions_fit_keys());

// An extension's characters, upper-cased as ASCII, packed into one number. A NUL would make a
// key equal to a shorter extension's: such an extension gets a key that no row has.
constexpr std::uint64_t kNoRowKey = ~std::uint64_t{0};
std::uint64_t extension_key(std::string_view ext) {
  std::uint64_t key = 0;
  for (std::size_t i = 0; i < ext.size(); ++i) {
    char c = ext[i];
    if (c == 0) return kNoRowKey;
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    key |= static_cast<std::uint64_t>(static_cast<unsigned char>(c)) << (8 * i);
  }
  return key;
}

// Extension key -> group of its first row among rows 1 to 123, as the row-by-row search finds
// it. Keyed by number: the type pass looks up every entry of the catalogue.
const std::unordered_map<std::uint64_t, std::uint16_t>& group_by_extension() {
  static const std::unordered_map<std::uint64_t, std::uint16_t> map = [] {
    std::unordered_map<std::uint64_t, std::uint16_t> out;
    for (std::size_t row = 1; row < kExtCount; ++row) out.try_emplace(extension_key(kRows[row].ext), kRows[row].app);
    return out;
  }();
  return map;
}

std::string to_lower_ascii(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

}  // namespace

void build_type_table(TypeNameSource* source) {
  for (std::size_t g = 0; g < kAppCount; ++g) {
    app_table[g].app = static_cast<std::uint16_t>(g);
    app_table[g].name = kGroupNames[g];
    app_table[g].count = 0;
  }
  for (std::size_t row = 0; row < kExtCount; ++row) ext_table[row] = {kRows[row].ext, kRows[row].app};
  if (!source) return;
  for (std::size_t g = 1; g < kAppCount; ++g) {
    T_app& group = app_table[g];
    const std::string_view ext = kRepresentative[g];
    if (ext.empty() || !group.systemname.empty()) continue;
    group.systemname = cut_utf8(source->type_name("*" + to_lower_ascii(ext), group.app), kSystemNameCapacity);
  }
}

std::uint16_t type_group(std::string_view file_name) {
  const std::size_t dot = file_name.rfind('.');
  if (dot == std::string_view::npos) return kOtherFiles;  // row 113, the empty extension of group 65
  const std::string_view ext = file_name.substr(dot);
  if (ext.size() > kKeyChars) return kOtherFiles;
  const auto& map = group_by_extension();
  const auto it = map.find(extension_key(ext));
  return it == map.end() ? kOtherFiles : it->second;
}

void classify_files(TypeNameSource* source) {
  build_type_table(source);
  const std::int32_t n = file_count();
  for (std::int32_t k = 0; k < n; ++k) {
    FileInfo& e = file_list[k];
    e.FileExt = type_group(e.FileName);
    ++app_table[e.FileExt].count;
  }
}

std::vector<std::uint16_t> type_tree_groups() {
  std::vector<std::uint16_t> out;
  for (const T_app& g : app_table)
    if (g.count > 0) out.push_back(g.app);
  return out;
}

std::string type_node_text(std::uint16_t app) {
  if (app >= kAppCount) return {};
  const T_app& g = app_table[app];
  return (g.systemname.empty() ? g.name : g.systemname) + " (" + std::to_string(g.count) + ")";
}

}  // namespace dravelo
