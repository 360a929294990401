#include "cli/cli_host.h"

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define STDERR_FILENO 2
#else
#include <unistd.h>
#endif

#include <cstdio>

#include "workflow/analysis.h"

namespace dravelo {

CliHost::CliHost(bool quiet) : tty_(::isatty(STDERR_FILENO) != 0), quiet_(quiet) {}

void CliHost::out_text(std::string_view text, MsgType type, bool show_popup) {
  if (!show_popup) return;
  finish_progress();
  ++messages_shown_;
  std::fprintf(stderr, "%s%.*s\n", type == MsgType::error ? "dravelo-cli: " : "", static_cast<int>(text.size()),
               text.data());
}

void CliHost::_updateProgress(int position) {
  if (position == position_) return;
  position_ = position;
  draw();
}

void CliHost::_updateProgressU(int position) { _updateProgress(position); }

void CliHost::pump() {
  if (!lines_waiting_) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - last_flush_ < std::chrono::milliseconds(100)) return;
  std::fflush(stdout);
  lines_waiting_ = false;
  last_flush_ = now;
}

void CliHost::line_done() {
  lines_waiting_ = true;
  pump();
}

void CliHost::_updateFiles(int count) {
  files_ = count;
  draw();
}

void CliHost::set_caption(std::string caption) {
  finish_progress();
  caption_ = std::move(caption);
  detail_.clear();
  position_ = -1;
}

void CliHost::set_detail(std::string detail) {
  detail_ = std::move(detail);
  draw();
}

void CliHost::damage_met(std::string_view path, std::int64_t sectors, double seconds) {
  damage_ = damage_so_far_text(path, sectors, seconds);
  if (tty_ && !quiet_) {
    draw();
    return;
  }
  if (damage_told_.count(path)) return;
  damage_told_.emplace(path);
  std::fprintf(stderr, "dravelo-cli: %s\n", damage_.c_str());
}

void CliHost::draw() {
  if (!tty_ || quiet_) return;
  const int p = position_ < 0 ? 0 : position_ > 100 ? 100 : position_;
  char bar[41];
  for (int i = 0; i < 40; ++i) bar[i] = i < p * 40 / 100 ? '#' : '.';
  bar[40] = 0;
  // A detail line may be shorter than the one before it: the rest of the line is erased.
  const std::string tail = detail_.empty() ? damage_ : damage_.empty() ? detail_ : detail_ + "  " + damage_;
  std::fprintf(stderr, "\r%s [%s] %3d%%  files %d%s%s\033[K", caption_.c_str(), bar, p, files_, tail.empty() ? "" : "  ",
               tail.c_str());
  std::fflush(stderr);
  bar_open_ = true;
}

void CliHost::finish_progress() {
  if (!bar_open_) return;
  std::fputc('\n', stderr);
  bar_open_ = false;
}

}  // namespace dravelo
