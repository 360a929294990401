// Helpers of the FAT tests: a small JSON reader for the sample manifests, images in memory, and a
// drive list of one volume to scan.
#pragma once

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/engine_host.h"
#include "common/unxz.h"

namespace dravelo::test {

// A parsed JSON value (enough for the manifests: objects, arrays, strings, numbers, literals).
struct Json {
  enum class Kind { null, boolean, number, string, array, object } kind = Kind::null;
  bool boolean = false;
  double number = 0;
  std::string text;
  std::vector<Json> items;
  std::map<std::string, Json> fields;

  const Json& operator[](const std::string& key) const {
    static const Json none;
    const auto it = fields.find(key);
    return it == fields.end() ? none : it->second;
  }
  bool has(const std::string& key) const { return fields.count(key) != 0; }
  long long integer() const { return static_cast<long long>(number); }
};

class JsonParser {
 public:
  explicit JsonParser(const std::string& text) : s_(text) {}
  Json parse() {
    blank();
    Json v;
    switch (peek()) {
      case '{':
        v.kind = Json::Kind::object;
        ++i_;
        blank();
        if (peek() == '}') { ++i_; break; }
        while (true) {
          blank();
          std::string key = string_literal();
          blank();
          ++i_;  // ':'
          v.fields[key] = parse();
          blank();
          if (s_[i_++] == '}') break;
        }
        break;
      case '[':
        v.kind = Json::Kind::array;
        ++i_;
        blank();
        if (peek() == ']') { ++i_; break; }
        while (true) {
          v.items.push_back(parse());
          blank();
          if (s_[i_++] == ']') break;
        }
        break;
      case '"':
        v.kind = Json::Kind::string;
        v.text = string_literal();
        break;
      case 't': v.kind = Json::Kind::boolean; v.boolean = true; i_ += 4; break;
      case 'f': v.kind = Json::Kind::boolean; i_ += 5; break;
      case 'n': i_ += 4; break;
      default: {
        v.kind = Json::Kind::number;
        std::size_t used = 0;
        v.number = std::stod(s_.substr(i_, 40), &used);
        i_ += used;
      }
    }
    return v;
  }

 private:
  char peek() const { return i_ < s_.size() ? s_[i_] : '\0'; }
  void blank() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\n' || s_[i_] == '\r' || s_[i_] == '\t')) ++i_;
  }
  void utf8(std::string& out, unsigned c) {
    if (c < 0x80) out.push_back(static_cast<char>(c));
    else if (c < 0x800) { out.push_back(static_cast<char>(0xC0 | (c >> 6))); out.push_back(static_cast<char>(0x80 | (c & 0x3F))); }
    else { out.push_back(static_cast<char>(0xE0 | (c >> 12))); out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F))); out.push_back(static_cast<char>(0x80 | (c & 0x3F))); }
  }
  std::string string_literal() {
    std::string out;
    ++i_;  // opening quote
    while (i_ < s_.size() && s_[i_] != '"') {
      char c = s_[i_++];
      if (c != '\\') { out.push_back(c); continue; }
      c = s_[i_++];
      switch (c) {
        case 'n': out.push_back('\n'); break;
        case 't': out.push_back('\t'); break;
        case 'u': utf8(out, static_cast<unsigned>(std::stoul(s_.substr(i_, 4), nullptr, 16))); i_ += 4; break;
        default: out.push_back(c);
      }
    }
    ++i_;  // closing quote
    return out;
  }
  const std::string& s_;
  std::size_t i_ = 0;
};

inline std::string read_text_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline Json load_manifest(const std::string& image) {
  return JsonParser(read_text_file(std::string(DRAVELO_SAMPLES_SOURCE_DIR) + "/" + image + ".json")).parse();
}

inline std::string sample_path(const std::string& image) { return std::string(DRAVELO_SAMPLES_DIR) + "/" + image; }

inline std::vector<std::uint8_t> read_binary(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// A fixture image of tests/fixtures/fat, decompressed with xz into memory.
inline std::vector<std::uint8_t> fixture_image(const std::string& name) {
  return unxz(std::string(DRAVELO_TEST_FIXTURES_DIR) + "/fat/" + name + ".xz");
}

// Makes drive_list one volume, C:, read from path (an image file or "mem:NAME"), and empties the
// catalogue as an analysis does before it scans.
inline void single_drive(const std::string& path, const std::string& fs, std::int64_t total_bytes) {
  drive_list.clear();
  DriveInfo d;
  d.drive_type = 1;
  d.drive_name = 'c';
  d.selected = 1;
  d.drive_fs = fs;
  d.total_bytes = total_bytes;
  d.device_path = path;
  d.is_image = true;
  drive_list.push_back(std::move(d));
  current_drive = 0;
  reset_catalogue();
  drive_list[0].Folders.release();
  stop_flag = false;
}

// The catalogue entries whose name and path match.
inline std::vector<const FileInfo*> entries_named(const std::string& name, const std::string& path) {
  std::vector<const FileInfo*> out;
  for (std::int32_t k = 0; k < file_count(); ++k)
    if (file_list[k].FileName == name && file_list[k].Path == path) out.push_back(&file_list[k]);
  return out;
}

// A host that counts what the engines report and can press Stop after a number of pumps.
struct RecordingHost : EngineHost {
  void out_text(std::string_view text, MsgType, bool) override { messages.emplace_back(text); }
  void _updateProgress(int p) override { progress.push_back(p); }
  void _updateProgressU(int p) override { progress_u.push_back(p); }
  void _updateFiles(int count) override { files = count; }
  void pump() override {
    ++pumps;
    if (stop_after_pumps > 0 && pumps >= stop_after_pumps) stop_flag = true;
  }
  std::vector<std::string> messages;
  std::vector<int> progress;
  std::vector<int> progress_u;
  int files = 0;
  int pumps = 0;
  int stop_after_pumps = 0;
};

}  // namespace dravelo::test
