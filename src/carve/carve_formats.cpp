#include "carve/carve_formats.h"

namespace dravelo::carve {

int match_header(const std::uint8_t*, std::size_t) { return -1; }

std::optional<Candidate> identify(int, ByteSource&, std::int64_t, std::int64_t) { return std::nullopt; }

ContentVerdict check_content(std::string_view, ByteSource&) { return ContentVerdict::unknown_type; }

}  // namespace dravelo::carve
