// "Use smart recovery": a recovered file of a known type is read back and checked against the
// format that its extension names.
#pragma once

#include <optional>
#include <string>

#include "catalogue/records.h"

namespace dravelo {

// Text 94 for the written file at path when its content does not match the format of its
// extension ("does not look like a JPEG image: probably overwritten"); nothing when it matches,
// when its type is not known, or when it cannot be read back.
std::optional<std::string> content_mismatch_text(const FileInfo& entry, const std::string& path);

}  // namespace dravelo
