// SQLite databases: page size times page count, both from the 100-byte header. The count is only
// trusted where the header says it is current ("version-valid-for" equal to the change counter),
// as every writer since 3.7.0 keeps it.
#include "carve/carve_stream.h"

namespace dravelo::carve {

namespace {
constexpr std::string_view kMagic("SQLite format 3\0", 16);
}

bool sqlite_signature(const std::uint8_t* first, std::size_t size) {
  return starts_with(first, size, kMagic) && size >= 24 && first[21] == 64 && first[22] == 32 && first[23] == 32;
}

Found sqlite_parse(Stream& in) {
  Found f;
  std::uint8_t h[101];
  if (!in.equals(0, kMagic)) return f;
  if (!in.get(0, h, sizeof h)) return cut(std::move(f));
  auto be32 = [&h](int at) { return std::uint32_t{h[at]} << 24 | h[at + 1] << 16 | h[at + 2] << 8 | h[at + 3]; };
  std::int64_t page = h[16] << 8 | h[17];
  if (page == 1) page = 65536;
  if (page < 512 || (page & (page - 1)) != 0) return f;
  if (h[18] < 1 || h[18] > 2 || h[19] < 1 || h[19] > 2 || h[21] != 64 || h[22] != 32 || h[23] != 32) return f;
  if (h[100] != 0x0D && h[100] != 0x05) return f;  // page 1 holds the schema table's b-tree
  const std::uint32_t pages = be32(28);
  if (pages == 0 || be32(92) != be32(24)) return cut(std::move(f));
  const std::int64_t length = page * pages;
  if (!in.has(0, length)) return cut(std::move(f));
  return done(std::move(f), length);
}

}  // namespace dravelo::carve
