#include "catalogue/engine_host.h"

namespace dravelo {
namespace {

SilentHost silent_host;
EngineHost* current_host = &silent_host;

}  // namespace

bool stop_flag = false;
int BufferSectors = 10240;
int BitmapWindowSectors = 10240;

EngineHost& host() { return *current_host; }

EngineHost* set_host(EngineHost* h) {
  EngineHost* previous = current_host == &silent_host ? nullptr : current_host;
  current_host = h ? h : &silent_host;
  return previous;
}

void out_text(std::string_view text, MsgType type, bool show_popup) { current_host->out_text(text, type, show_popup); }

}  // namespace dravelo
