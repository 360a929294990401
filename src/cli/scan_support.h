// What scan and recover share: turning volume arguments into the drive list and running the
// analysis over them as the window does.
#pragma once

#include <string>
#include <vector>

#include "catalogue/scan_options.h"
#include "cli/cli_host.h"

namespace dravelo::cli {

// Builds drive_list from the named volumes (letters from c), saying on stderr why each one left
// out cannot be used (check_volume's reason, or no drive letter left). Returns the number left out.
int list_named_volumes(const std::vector<std::string>& volumes, bool include_devices, const char* command);

struct AnalysisRun {
  bool any_scanned = false;  // at least one volume was scanned: there are results to work on
  bool all_scanned = false;  // every named volume was listed and scanned
};

// list_named_volumes, then ticks all of them and runs the analysis (a quick scan unless options
// ask for a deep one), then restores recycle-bin names. Says on stderr when no volume could be
// scanned.
AnalysisRun analyse_volumes(const std::vector<std::string>& volumes, CliHost& host, const char* command,
                            const ScanOptions& options = {});

// --map FILE: the ddrescue map of the one image named; its unread stretches are taken as
// unreadable. False, with a message on stderr, when it cannot be used (exit status 2).
bool use_ddrescue_map(const std::string& map_path, const std::vector<std::string>& volumes, const char* command);

// --slow-read SECONDS: a read that takes longer counts as slow (SlowReadSeconds). False, with a
// message on stderr, when the value is no positive number of seconds (exit status 2).
bool set_slow_read_limit(const std::string& value, const char* command);

}  // namespace dravelo::cli
