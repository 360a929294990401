// dravelo-cli: the scriptable front end over the same core as the window.
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/commands.h"

namespace {

void usage(std::FILE* to) {
  std::fputs(
      "usage: dravelo-cli COMMAND [OPTIONS] [VOLUME...]\n"
      "\n"
      "commands:\n"
      "  volumes [--json] [--images-only] [IMAGE...]\n"
      "                                     list the volumes (the image files given, then the devices)\n"
      "  scan [--json|--tsv] VOLUME...      find the deleted files on the volumes\n"
      "  recover --to DIR [--keep-folders] [--alternate-streams] [--inode N]... [--match GLOB] [--all] VOLUME...\n"
      "                                     scan, then recover the chosen files into DIR\n"
      "\n"
      "Volumes are image files or block devices; they get drive letters from c on.\n"
      "Volumes are only ever read.\n",
      to);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "help")) {
    usage(argc < 2 ? stderr : stdout);
    return argc < 2 ? 2 : 0;
  }
  const std::string command = argv[1];
  dravelo::cli::Args args(argv + 2, argv + argc);
  if (command == "volumes") return dravelo::cli::cmd_volumes(args);
  if (command == "scan") return dravelo::cli::cmd_scan(args);
  if (command == "recover") return dravelo::cli::cmd_recover(args);
  std::fprintf(stderr, "dravelo-cli: unknown command '%s'\n\n", command.c_str());
  usage(stderr);
  return 2;
}
