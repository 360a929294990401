// An image served through faultfs (tests/faultfs) for the length of a test: reads of chosen
// ranges fail with EIO, or every read fails once so many bytes were served. Needs the faultfs
// program (DRAVELO_FAULTFS), /dev/fuse and the rights to mount; available() says whether it can.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace dravelo::test {

class FaultMount {
 public:
  // Serves image below folder/mnt with faultfs's options (e.g. {"--eio", "4096:512"}).
  FaultMount(const std::string& image, const std::filesystem::path& folder, const std::vector<std::string>& options)
      : mountpoint_(folder / "mnt"), log_(folder / "faultfs.log") {
    std::filesystem::create_directories(mountpoint_);
    path_ = (mountpoint_ / std::filesystem::path(image).filename()).string();
    std::vector<std::string> args{DRAVELO_FAULTFS};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(image);
    args.push_back(mountpoint_.string());
    pid_ = ::fork();
    if (pid_ == 0) {
      const int fd = ::open(log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (fd >= 0) {
        ::dup2(fd, 1);
        ::dup2(fd, 2);
      }
      std::vector<char*> argv;
      for (std::string& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    for (int i = 0; i < 150 && !std::filesystem::exists(path_); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ~FaultMount() { stop(); }
  FaultMount(const FaultMount&) = delete;
  FaultMount& operator=(const FaultMount&) = delete;

  static bool available() { return ::access(DRAVELO_FAULTFS, X_OK) == 0 && ::access("/dev/fuse", R_OK | W_OK) == 0; }
  bool mounted() const { return std::filesystem::exists(path_); }
  // The served image's path.
  const std::string& path() const { return path_; }

  // Unmounts; the bytes that faultfs served in all, or -1 when it did not say.
  long long stop() {
    if (pid_ <= 0) return served_;
    const std::string command = "fusermount3 -u -z '" + mountpoint_.string() + "' 2>/dev/null";
    if (std::system(command.c_str()) != 0) ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    std::ifstream in(log_);
    for (std::string line; std::getline(in, line);) {
      if (line.rfind("faultfs: served ", 0) != 0) continue;
      served_ = std::stoll(line.substr(16));
      if (const std::size_t at = line.find(", "); at != std::string::npos) delayed_ = std::stoll(line.substr(at + 2));
    }
    return served_;
  }
  // After stop(): the reads that faultfs delayed (--delay), or -1 when it did not say.
  long long delayed() const { return delayed_; }

 private:
  std::filesystem::path mountpoint_, log_;
  std::string path_;
  pid_t pid_ = -1;
  long long served_ = -1;
  long long delayed_ = -1;
};

}  // namespace dravelo::test
