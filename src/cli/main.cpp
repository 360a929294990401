// dravelo-cli: the scriptable front end over the same core as the window.
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "cli/help.h"

int main(int argc, char** argv) {
  using namespace dravelo::cli;
  if (argc < 2) {
    usage_error("", "a command is needed (volumes, scan or recover)");
    return 2;
  }
  const std::string command = argv[1];
  Args args(argv + 2, argv + argc);
  if (command == "--help" || command == "-h") {
    print_help("", stdout);
    return 0;
  }
  if (command == "--version") {
    std::printf("%s\n", version_text().c_str());
    return 0;
  }
  if (command == "help") {
    const std::string topic = args.empty() ? "" : args[0];
    if (!command_help(topic)) {
      usage_error("help", "unknown command '" + topic + "'");
      return 2;
    }
    print_help(topic, stdout);
    return 0;
  }
  if (command == "volumes") return cmd_volumes(args);
  if (command == "scan") return cmd_scan(args);
  if (command == "recover") return cmd_recover(args);
  usage_error("", "unknown command '" + command + "'");
  return 2;
}
