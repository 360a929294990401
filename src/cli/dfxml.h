// scan --dfxml: the found files as Digital Forensics XML, for forensic tools.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace dravelo::cli {

// One <volume> per scanned volume and one <fileobject> per found file: its full path, size,
// inode, times in UTC, recoverability and byte runs (where on the image the recovery would read
// its bytes). command_line is recorded in the creator's execution environment.
void print_dfxml(std::FILE* out, const std::vector<std::string>& command_line);

}  // namespace dravelo::cli
