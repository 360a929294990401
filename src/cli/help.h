// The command line's help texts, usage errors and version line.
#pragma once

#include <cstdio>
#include <string>

namespace dravelo::cli {

// The help of a command ("volumes", "scan", "recover"), or of the program for ""; nullptr for an
// unknown command.
const char* command_help(const std::string& command);
// Prints that help followed by the exit statuses.
void print_help(const std::string& command, std::FILE* to);
// A usage error on stderr: the problem, then where the help is.
void usage_error(const std::string& command, const std::string& problem);
// "Dravelo 3.3.5.0".
std::string version_text();

}  // namespace dravelo::cli
