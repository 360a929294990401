// How the engines talk to whoever drives them (the main window, the command line, tests):
// messages, progress, the files counter, the message pump, and the Stop request.
#pragma once

#include <cstdint>
#include <string_view>

namespace dravelo {

enum class MsgType { error, custom };

struct EngineHost {
  // Shows text in a modal box when show_popup is set; otherwise the message is dropped.
  virtual void out_text(std::string_view text, MsgType type, bool show_popup) = 0;
  virtual void _updateProgress(int position) = 0;   // analysis, 0 to 100
  virtual void _updateProgressU(int position) = 0;  // undelete, 0 to 100
  virtual void _updateFiles(int count) = 0;
  // Delivers pending window messages; nothing where there is no window.
  virtual void pump() = 0;
  // The readers of the volume at path met more sectors that cannot be read: sectors in all since
  // the running job began on it, and the seconds spent on failing and slow reads. Called while
  // the job runs, so that its progress can show the damage met so far.
  virtual void damage_met(std::string_view /*path*/, std::int64_t /*sectors*/, double /*seconds*/) {}
  virtual ~EngineHost() = default;
};

// A host that shows nothing; the one in force until set_host names another.
struct SilentHost : EngineHost {
  void out_text(std::string_view, MsgType, bool) override {}
  void _updateProgress(int) override {}
  void _updateProgressU(int) override {}
  void _updateFiles(int) override {}
  void pump() override {}
};

EngineHost& host();
// Installs a host (nullptr goes back to the silent one); returns the previous one.
EngineHost* set_host(EngineHost* h);

// Forwards to the current host.
void out_text(std::string_view text, MsgType type, bool show_popup);

// A Stop request: cleared when an analysis or undelete starts, tested by every long loop.
extern bool stop_flag;

// Capacities of the sector readers, in 512-byte sectors; the main window sets both to 10240.
extern int BufferSectors;
extern int BitmapWindowSectors;

// Installs a host for the lifetime of a scope.
class ScopedHost {
 public:
  explicit ScopedHost(EngineHost& h) : previous_(set_host(&h)) {}
  ~ScopedHost() { set_host(previous_); }
  ScopedHost(const ScopedHost&) = delete;
  ScopedHost& operator=(const ScopedHost&) = delete;

 private:
  EngineHost* previous_;
};

}  // namespace dravelo
