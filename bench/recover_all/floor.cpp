// The floor of the whole-volume recovery benchmark: writes the files that make_tree.py deleted
// (same names, folders and sizes, the bytes already in memory) to a target folder, with nothing
// between the bytes and the target but open, write and close. What the recovery costs beyond this
// is its own.
//
//   recover_floor BLOCK_FILE MANIFEST TARGET [--keep-folders]
//
// With --keep-folders each file goes to TARGET/<its folder>/<name>; without, to TARGET/<name>,
// a name met again getting " (2)", " (3)", ... before its extension as the recovery does.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace {

bool write_all(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

void make_folders(const std::string& dir, std::unordered_set<std::string>& made) {
  if (dir.empty() || made.count(dir)) return;
  const std::size_t slash = dir.rfind('/');
  if (slash != std::string::npos && slash > 0) make_folders(dir.substr(0, slash), made);
  ::mkdir(dir.c_str(), 0755);
  made.insert(dir);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::cerr << "usage: recover_floor BLOCK_FILE MANIFEST TARGET [--keep-folders]\n";
    return 2;
  }
  const bool keep = argc > 4 && std::string(argv[4]) == "--keep-folders";
  std::ifstream bin(argv[1], std::ios::binary);
  std::vector<char> block((std::istreambuf_iterator<char>(bin)), std::istreambuf_iterator<char>());
  if (block.empty()) return 1;
  struct Item {
    std::size_t offset;
    std::size_t size;
    std::string path;
  };
  std::vector<Item> items;
  {
    std::ifstream in(argv[2]);
    std::string line;
    while (std::getline(in, line)) {
      const std::size_t a = line.find('\t'), b = line.find('\t', a + 1);
      items.push_back({std::stoull(line.substr(0, a)), std::stoull(line.substr(a + 1, b - a - 1)), line.substr(b + 1)});
    }
  }
  const std::string target = argv[3];
  std::unordered_set<std::string> made;
  make_folders(target, made);
  std::unordered_map<std::string, int> next_number;
  std::size_t bytes = 0;
  const auto t0 = std::chrono::steady_clock::now();
  for (const Item& item : items) {
    std::string path;
    if (keep) {
      path = target + "/" + item.path;
      make_folders(path.substr(0, path.rfind('/')), made);
    } else {
      const std::string name = item.path.substr(item.path.rfind('/') + 1);
      int& n = next_number[name];
      if (n++ == 0) {
        path = target + "/" + name;
      } else {
        const std::size_t dot = name.rfind('.');
        const bool has_ext = dot != std::string::npos && dot > 0;
        path = target + "/" + (has_ext ? name.substr(0, dot) : name) + " (" + std::to_string(n) + ")" +
               (has_ext ? name.substr(dot) : std::string());
      }
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
      std::perror(path.c_str());
      return 1;
    }
    std::size_t done = 0;
    while (done < item.size) {
      const std::size_t at = (item.offset + done) % block.size();
      const std::size_t n = std::min(item.size - done, block.size() - at);
      if (!write_all(fd, block.data() + at, n)) {
        std::perror(path.c_str());
        return 1;
      }
      done += n;
    }
    ::close(fd);
    bytes += item.size;
  }
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::printf("floor: %zu files, %.1f MB in %.2f s\n", items.size(), bytes / 1e6, s);
  return 0;
}
