#include <cstdio>

#include "cli/commands.h"

namespace dravelo::cli {

int cmd_recover(const Args&) {
  std::fputs("dravelo-cli recover: not built yet\n", stderr);
  return 1;
}

}  // namespace dravelo::cli
