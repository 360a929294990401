// The subcommands of dravelo-cli; each takes the arguments after its own name.
#pragma once

#include <string>
#include <vector>

namespace dravelo::cli {

using Args = std::vector<std::string>;

int cmd_volumes(const Args& args);
int cmd_scan(const Args& args);
int cmd_recover(const Args& args);

// Escapes text for a JSON string literal (without the quotes).
std::string json_escape(const std::string& text);

}  // namespace dravelo::cli
