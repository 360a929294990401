#include <cstdio>

#include "cli/commands.h"

namespace dravelo::cli {

int cmd_volumes(const Args&) {
  std::fputs("dravelo-cli volumes: not built yet\n", stderr);
  return 1;
}

}  // namespace dravelo::cli
