#include "ntfs/lznt1.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace dravelo {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct DecodeCase {
  const char* what;
  Bytes input;
  std::string expected;  // the bytes produced
  bool malformed;
};

// Each input is worked out by hand: a chunk header 0xB000 | (chunk data bytes - 1) marks a
// compressed chunk with the signature 3; the flag byte's bit n says whether token n is a
// back-reference (1) or a literal byte (0).
std::vector<DecodeCase> decode_cases() {
  return {
      {"literals only", {0x03, 0xB0, 0x00, 'a', 'b', 'c'}, "abc", false},
      // "abc", then offset 3 length 9 at position 3 (4 displacement bits): token (2 << 12) | 6.
      {"overlapping back-reference", {0x05, 0xB0, 0x08, 'a', 'b', 'c', 0x06, 0x20}, "abcabcabcabc", false},
      // 16 literals; at position 16 the field still has 4 bits: offset 16 length 3 = 0xF000.
      // At position 19 it has 5 bits: offset 19 length 4 = (18 << 11) | 1 = 0x9001.
      {"displacement field grows past 16 bytes",
       {0x16, 0xB0, 0x00, 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 0x00, 'I', 'J', 'K', 'L', 'M', 'N', 'O', 'P', 0x03,
        0x00, 0xF0, 0x01, 0x90},
       "ABCDEFGHIJKLMNOPABCABCD", false},
      {"chunk header of 0 ends the unit", {0x03, 0xB0, 0x00, 'a', 'b', 'c', 0x00, 0x00, 0x03, 0xB0, 0x00, 'x', 'y', 'z'},
       "abc", false},
      {"back-reference cut by the chunk's end", {0x02, 0xB0, 0x02, 'a', 0x05}, "a", true},
      // Offset 2 (token 0x1000) at position 1 reaches before the chunk.
      {"offset before the start", {0x03, 0xB0, 0x02, 'a', 0x00, 0x10}, "a", true},
      {"back-reference as the first token", {0x02, 0xB0, 0x01, 0x00, 0x00}, "", true},
      // Length 0xFFF + 3 from position 1 runs past the chunk's 4096 bytes.
      {"back-reference past the chunk's end", {0x03, 0xB0, 0x02, 'a', 0xFF, 0x0F}, "a", true},
      {"chunk longer than the input", {0x10, 0xB0, 0x00, 'a'}, "", true},
      {"lone header byte", {0x03}, "", false},
  };
}

TEST(Lznt1, DecodesHandWorkedChunks) {
  for (const DecodeCase& c : decode_cases()) {
    Bytes out(8192, 0xEE);
    const Lznt1Result r = lznt1_decompress(c.input, out);
    EXPECT_EQ(r.produced, c.expected.size()) << c.what;
    EXPECT_EQ(r.malformed, c.malformed) << c.what;
    EXPECT_EQ(std::string(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(r.produced)), c.expected) << c.what;
    EXPECT_EQ(out[r.produced], 0xEE) << c.what << ": wrote past what it reports";
  }
}

TEST(Lznt1, StoredChunkIsCopiedAndNextChunkFollowsIt) {
  // A stored chunk: bit 15 clear, size field 0xFFF (4098 bytes with the header), signature 3.
  Bytes input = {0xFF, 0x3F};
  for (int i = 0; i < 4096; ++i) input.push_back(static_cast<std::uint8_t>(i * 7));
  const Bytes tail = {0x03, 0xB0, 0x00, 'x', 'y', 'z'};
  input.insert(input.end(), tail.begin(), tail.end());

  Bytes out(65536, 0xEE);
  const Lznt1Result r = lznt1_decompress(input, out);
  EXPECT_FALSE(r.malformed);
  ASSERT_EQ(r.produced, 4099u);
  for (int i = 0; i < 4096; ++i) ASSERT_EQ(out[static_cast<std::size_t>(i)], static_cast<std::uint8_t>(i * 7)) << i;
  EXPECT_EQ(std::string(out.begin() + 4096, out.begin() + 4099), "xyz");
}

TEST(Lznt1, ShortChunkIsPaddedToItsBoundaryAndUnitEndsShort) {
  // Two chunks of 3 and 1 bytes: the first stands for a whole 4096-byte chunk, zeros after "abc";
  // the unit as a whole decompresses to far less than its 16 clusters.
  const Bytes input = {0x03, 0xB0, 0x00, 'a', 'b', 'c', 0x01, 0xB0, 0x00, 'd', 0x00, 0x00, 0x55, 0x55};
  Bytes out(65536, 0xEE);
  const Lznt1Result r = lznt1_decompress(input, out);
  EXPECT_FALSE(r.malformed);
  ASSERT_EQ(r.produced, 4097u);
  EXPECT_EQ(std::string(out.begin(), out.begin() + 3), "abc");
  for (std::size_t i = 3; i < 4096; ++i) ASSERT_EQ(out[i], 0) << i;
  EXPECT_EQ(out[4096], 'd');
  EXPECT_EQ(out[4097], 0xEE);
}

TEST(Lznt1, StopsWhenTheOutputIsFull) {
  const Bytes input = {0x05, 0xB0, 0x08, 'a', 'b', 'c', 0x06, 0x20};
  Bytes storage(16, 0xEE);
  const Lznt1Result r = lznt1_decompress(input, std::span<std::uint8_t>(storage.data(), 5));
  EXPECT_FALSE(r.malformed);
  EXPECT_EQ(r.produced, 5u);
  EXPECT_EQ(std::string(storage.begin(), storage.begin() + 5), "abcab");
  EXPECT_EQ(storage[5], 0xEE);

  // A stored chunk into an output of 10 bytes, and a second chunk that has no room left.
  Bytes stored = {0xFF, 0x3F};
  stored.resize(2 + 4096, 'q');
  stored.insert(stored.end(), {0x03, 0xB0, 0x00, 'x', 'y', 'z'});
  Bytes small(12, 0xEE);
  const Lznt1Result s = lznt1_decompress(stored, std::span<std::uint8_t>(small.data(), 10));
  EXPECT_EQ(s.produced, 10u);
  EXPECT_EQ(small[10], 0xEE);
}

}  // namespace
}  // namespace dravelo
