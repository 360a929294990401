// Where the programs find the files installed with them: relative to the running program, so
// that an installation under any prefix (or the build tree itself) works without configuration.
#pragma once

#include <string>
#include <string_view>

namespace dravelo {

// The folder holding the running program ("" when it cannot be told).
std::string program_dir();

// A folder of the program's data by name ("samples", ...): PREFIX/share/dravelo/NAME beside an
// installed program in PREFIX/bin, else BUILD/NAME for a program run from its build tree
// (BUILD/src/ui or BUILD/src/cli); "" when neither exists. program_folder overrides
// program_dir() (tests).
std::string data_dir(std::string_view name, const std::string& program_folder = {});

}  // namespace dravelo
