// What the volume tests share: a host that records the messages, temporary image files, and
// reading the sample manifests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

#include "catalogue/engine_host.h"

namespace dravelo::test {

struct RecordingHost : EngineHost {
  struct Message {
    std::string text;
    bool shown;
  };
  void out_text(std::string_view text, MsgType, bool show_popup) override {
    messages.push_back({std::string(text), show_popup});
  }
  void _updateProgress(int) override {}
  void _updateProgressU(int) override {}
  void _updateFiles(int) override {}
  void pump() override {}
  std::vector<std::string> shown() const {
    std::vector<std::string> out;
    for (const Message& m : messages)
      if (m.shown) out.push_back(m.text);
    return out;
  }
  std::vector<Message> messages;
};

// A file in a fresh temporary folder that goes away with the object.
class TempFile {
 public:
  explicit TempFile(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    static int counter = 0;
    dir_ = std::filesystem::temp_directory_path() /
           ("dravelo-volume-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(dir_);
    path_ = (dir_ / name).string();
    std::ofstream out(path_, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  ~TempFile() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::string& path() const { return path_; }
  std::string dir() const { return dir_.string(); }

 private:
  std::filesystem::path dir_;
  std::string path_;
};

// The first integer after "key": in a JSON manifest; -1 when the key is missing.
inline long long manifest_number(const std::string& manifest_path, const std::string& key) {
  std::ifstream in(manifest_path);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::size_t at = text.find("\"" + key + "\":");
  if (at == std::string::npos) return -1;
  return std::stoll(text.substr(at + key.size() + 3));
}

}  // namespace dravelo::test
