// The subcommands of dravelo-cli; each takes the arguments after its own name.
#pragma once

#include <string>
#include <vector>

#include "catalogue/records.h"
#include "catalogue/recovery.h"

namespace dravelo::cli {

using Args = std::vector<std::string>;

int cmd_volumes(const Args& args);
int cmd_scan(const Args& args);
int cmd_recover(const Args& args);

// recover's line for one file: the outcome's word and the path written (shown), then in brackets
// what the user must know about it: why it failed, that it is overwritten, its status where it
// is not Very Good, and how many bytes came from clusters that another file uses now.
std::string recover_file_line(const FileInfo& entry, const RecoverResult& result, const std::string& shown);

// Escapes text for a JSON string literal (without the quotes).
std::string json_escape(const std::string& text);

}  // namespace dravelo::cli
