// dravelo-cli: the scriptable front end over the same core as the window.
#include <cstdio>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>

#include "catalogue/win32_path.h"
#endif

#include "cli/commands.h"
#include "cli/help.h"

namespace {

// The arguments in UTF-8, as the core takes names and paths. On Windows argv is in the ANSI code
// page, which cannot hold every file name: the wide command line is read instead, and what is
// printed goes out as UTF-8.
std::vector<std::string> utf8_arguments(int argc, char** argv) {
#ifdef _WIN32
  int count = 0;
  if (wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count)) {
    std::vector<std::string> out;
    for (int i = 0; i < count; ++i) out.push_back(dravelo::narrow(wide[i]));
    ::LocalFree(wide);
    ::SetConsoleOutputCP(CP_UTF8);
    return out;
  }
#endif
  return std::vector<std::string>(argv, argv + argc);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace dravelo::cli;
  const std::vector<std::string> arguments = utf8_arguments(argc, argv);
  if (arguments.size() < 2) {
    usage_error("", "a command is needed (volumes, scan or recover)");
    return 2;
  }
  const std::string command = arguments[1];
  Args args(arguments.begin() + 2, arguments.end());
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
