#include "workflow/content_check.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

#include "carve/carve_scan.h"
#include "catalogue/texts.h"
#include "workflow/content_search.h"

namespace dravelo {

namespace {

// "does not look like a %1: probably overwritten"
constexpr int kMismatchText = 94;

// A written file read back for the check.
class FileSource : public carve::ByteSource {
 public:
  explicit FileSource(const std::string& path)
      : in_(std::filesystem::path(std::u8string(path.begin(), path.end())), std::ios::binary) {
    if (in_) {
      in_.seekg(0, std::ios::end);
      size_ = static_cast<std::int64_t>(in_.tellg());
    }
  }
  bool good() const { return size_ >= 0; }
  std::size_t read(std::int64_t offset, std::uint8_t* out, std::size_t size) override {
    if (offset < 0 || offset >= size_ || size == 0) return 0;
    in_.clear();
    in_.seekg(offset);
    in_.read(reinterpret_cast<char*>(out), static_cast<std::streamsize>(std::min<std::int64_t>(size, size_ - offset)));
    return static_cast<std::size_t>(std::max<std::streamsize>(in_.gcount(), 0));
  }
  std::int64_t size() const override { return size_ < 0 ? 0 : size_; }

 private:
  std::ifstream in_;
  std::int64_t size_ = -1;
};

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

std::optional<std::string> content_mismatch_text(const FileInfo& entry, const std::string& path) {
  const ContentFile* found = content_file_of(entry);
  std::string extension;
  if (found) {
    extension = found->extension;
  } else {
    const std::string& name = entry.FileName;
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == name.size()) return std::nullopt;
    extension = lower(name.substr(dot + 1));
  }
  if (extension.empty()) return std::nullopt;
  FileSource file(path);
  if (!file.good()) return std::nullopt;
  if (carve::formats().check_content(extension, file) != carve::ContentVerdict::does_not_match) return std::nullopt;
  std::string type = found && !found->type_name.empty() ? found->type_name : std::string();
  if (type.empty()) {
    type = extension;
    for (char& c : type) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    type += " file";
  }
  std::string text = lang_text(kMismatchText);
  if (const std::size_t at = text.find("%1"); at != std::string::npos) text.replace(at, 2, type);
  return text;
}

}  // namespace dravelo
