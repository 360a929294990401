// What scan and recover share: turning volume arguments into the drive list and running the
// analysis over them as the window does.
#pragma once

#include <string>
#include <vector>

#include "cli/cli_host.h"

namespace dravelo::cli {

// Builds drive_list from the given volumes (letters from c), ticks all of them and runs the
// analysis, then restores recycle-bin names. Returns false (with a message) when no volume
// could be scanned.
// Says on stderr why a named volume is missing from drive_list (unreadable, below 1 MiB, no letter
// left); the window leaves such volumes out silently.
void report_left_out(const std::vector<std::string>& volumes, const char* command);

bool analyse_volumes(const std::vector<std::string>& volumes, CliHost& host, const char* command);

}  // namespace dravelo::cli
