// The command line's engine host: shown messages go to stderr, progress to a live bar on a
// terminal (nothing when stderr is not one), results to stdout.
#pragma once

#include <chrono>
#include <set>
#include <string>

#include "catalogue/engine_host.h"

namespace dravelo {

class CliHost : public EngineHost {
 public:
  explicit CliHost(bool quiet = false);
  void out_text(std::string_view text, MsgType type, bool show_popup) override;
  void _updateProgress(int position) override;
  void _updateProgressU(int position) override;
  void _updateFiles(int count) override;
  // Passes result lines that have waited a tenth of a second on to stdout.
  void pump() override;
  // Shows the damage met so far after the bar on a terminal; without one, says once per volume
  // that damage was met, as soon as it is (the figures in all come at the end of the job).
  void damage_met(std::string_view path, std::int64_t sectors, double seconds) override;
  // A result line was printed to stdout. It reaches a pipe or a file with the lines after it,
  // within a tenth of a second (at the next line or the next pump of a long copy), rather than
  // costing a write of its own; a terminal gets it at once, as stdout is line-buffered there.
  void line_done();
  // Ends the live bar's line.
  void finish_progress();
  // A caption for the bar (the volume being scanned, the file being recovered).
  void set_caption(std::string caption);
  // A line of detail after the bar (the deep scan's speed and time left); set_caption clears it.
  void set_detail(std::string detail);
  int messages_shown() const { return messages_shown_; }

 private:
  void draw();
  bool tty_;
  bool quiet_;
  bool bar_open_ = false;
  int position_ = -1;
  int files_ = 0;
  int messages_shown_ = 0;
  std::string caption_;
  std::string detail_;
  std::string damage_;  // the damage met so far, shown after the bar
  std::set<std::string, std::less<>> damage_told_;
  bool lines_waiting_ = false;
  std::chrono::steady_clock::time_point last_flush_ = std::chrono::steady_clock::now();
};

}  // namespace dravelo
