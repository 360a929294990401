#include "carve/carve_inflate.h"

#include <array>
#include <vector>

namespace dravelo::carve {

namespace {

constexpr int kMaxBits = 15;

struct Truncated {};
struct Corrupt {};

constexpr int kFastBits = 9;

// Canonical Huffman code: the number of codes of each length and the symbols in code order, and
// for the codes up to kFastBits long a table indexed by the next bits of the stream (symbol, then
// length from bit 9 on; 0 where the code is longer).
struct Huffman {
  std::array<std::uint16_t, kMaxBits + 1> count{};
  std::vector<std::uint16_t> symbol;
  std::array<std::uint16_t, 1 << kFastBits> fast{};
};

// Builds the code from the code lengths; false when the lengths over-subscribe the code. An
// incomplete code is taken (deflate allows one for a single distance code).
bool build(Huffman& h, const std::uint8_t* lengths, int n) {
  h.count.fill(0);
  h.symbol.assign(static_cast<std::size_t>(n), 0);
  for (int s = 0; s < n; ++s) ++h.count[lengths[s]];
  if (h.count[0] == n) return true;
  int left = 1;
  for (int len = 1; len <= kMaxBits; ++len) {
    left = left * 2 - h.count[len];
    if (left < 0) return false;
  }
  std::array<std::uint16_t, kMaxBits + 1> offsets{};
  for (int len = 1; len < kMaxBits; ++len) offsets[len + 1] = static_cast<std::uint16_t>(offsets[len] + h.count[len]);
  for (int s = 0; s < n; ++s)
    if (lengths[s] != 0) h.symbol[offsets[lengths[s]]++] = static_cast<std::uint16_t>(s);
  // Codes are sent from their most significant bit on, the stream is read from the least: the
  // table's index is the code reversed.
  h.fast.fill(0);
  int code = 0, index = 0;
  for (int len = 1; len <= kFastBits; ++len) {
    for (int i = 0; i < h.count[len]; ++i, ++code, ++index) {
      int reversed = 0;
      for (int b = 0; b < len; ++b) reversed |= ((code >> b) & 1) << (len - 1 - b);
      for (int k = reversed; k < (1 << kFastBits); k += 1 << len)
        h.fast[static_cast<std::size_t>(k)] = static_cast<std::uint16_t>(h.symbol[static_cast<std::size_t>(index)] | len << 9);
    }
    code <<= 1;
  }
  return true;
}

class Inflater {
 public:
  Inflater(Stream& in, std::int64_t at) : _in(in), _at(at), _window(kWindow) {}

  void run() {
    for (bool last = false; !last;) {
      last = bits(1) != 0;
      const int type = bits(2);
      if (type == 0) stored();
      else if (type == 1) fixed();
      else if (type == 2) dynamic();
      else throw Corrupt{};
    }
    flush();
  }
  // Whole bytes: the rest of the last byte is padding; whole bytes read ahead are given back.
  std::int64_t end() const { return _at - _bitcnt / 8; }
  std::uint32_t crc() const { return _crc; }
  std::uint64_t size() const { return _total; }

 private:
  static constexpr std::size_t kWindow = 32768;

  int bits(int need) {
    std::uint32_t v = _bitbuf;
    while (_bitcnt < need) {
      const int b = _in.byte(_at);
      if (b < 0) throw Truncated{};
      ++_at;
      v |= static_cast<std::uint32_t>(b) << _bitcnt;
      _bitcnt += 8;
    }
    _bitbuf = v >> need;
    _bitcnt -= need;
    return static_cast<int>(v & ((1u << need) - 1));
  }

  void put(std::uint8_t b) {
    _window[_total % kWindow] = b;
    ++_total;
    _pending[_pending_n++] = b;
    if (_pending_n == _pending.size()) flush();
  }
  void flush() {
    _crc = crc32_update(_crc, _pending.data(), _pending_n);
    _pending_n = 0;
  }

  void stored() {
    _at -= _bitcnt / 8;
    _bitbuf = 0;
    _bitcnt = 0;
    const auto len = _in.le(_at, 2), nlen = _in.le(_at + 2, 2);
    if (!len || !nlen) throw Truncated{};
    if (*len != (~*nlen & 0xFFFF)) throw Corrupt{};
    _at += 4;
    for (std::uint64_t i = 0; i < *len; ++i) {
      const int b = _in.byte(_at++);
      if (b < 0) throw Truncated{};
      put(static_cast<std::uint8_t>(b));
    }
  }

  int decode(const Huffman& h) {
    while (_bitcnt < kFastBits) {  // read ahead for the table, where the reach allows
      const int b = _in.byte(_at);
      if (b < 0) break;
      ++_at;
      _bitbuf |= static_cast<std::uint32_t>(b) << _bitcnt;
      _bitcnt += 8;
    }
    if (_bitcnt >= kFastBits) {
      const std::uint16_t entry = h.fast[_bitbuf & ((1u << kFastBits) - 1)];
      if (entry != 0) {
        const int len = entry >> 9;
        _bitbuf >>= len;
        _bitcnt -= len;
        return entry & 0x1FF;
      }
    }
    int code = 0, first = 0, index = 0;
    for (int len = 1; len <= kMaxBits; ++len) {
      code |= bits(1);
      const int count = h.count[len];
      if (code - count < first) return h.symbol[static_cast<std::size_t>(index + (code - first))];
      index += count;
      first = (first + count) << 1;
      code <<= 1;
    }
    throw Corrupt{};
  }

  void codes(const Huffman& lengths, const Huffman& distances) {
    static constexpr std::uint16_t kLenBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                                   31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
    static constexpr std::uint8_t kLenExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                   2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    static constexpr std::uint16_t kDistBase[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,
                                                    33,  49,  65,  97,  129, 193,  257,  385,  513,  769,
                                                    1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
    static constexpr std::uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                                    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
    for (;;) {
      int symbol = decode(lengths);
      if (symbol < 256) {
        put(static_cast<std::uint8_t>(symbol));
      } else if (symbol == 256) {
        return;
      } else {
        symbol -= 257;
        if (symbol >= 29) throw Corrupt{};
        const int len = kLenBase[symbol] + bits(kLenExtra[symbol]);
        const int d = decode(distances);
        if (d >= 30) throw Corrupt{};
        const std::uint64_t dist = kDistBase[d] + static_cast<std::uint64_t>(bits(kDistExtra[d]));
        if (dist > _total) throw Corrupt{};  // a reference before the stream's start
        for (int i = 0; i < len; ++i) put(_window[(_total - dist) % kWindow]);
      }
    }
  }

  void fixed() {
    if (!_fixed_built) {
      std::uint8_t lengths[288 + 30];
      for (int s = 0; s < 144; ++s) lengths[s] = 8;
      for (int s = 144; s < 256; ++s) lengths[s] = 9;
      for (int s = 256; s < 280; ++s) lengths[s] = 7;
      for (int s = 280; s < 288; ++s) lengths[s] = 8;
      for (int s = 288; s < 318; ++s) lengths[s] = 5;
      build(_fixed_lengths, lengths, 288);
      build(_fixed_distances, lengths + 288, 30);
      _fixed_built = true;
    }
    codes(_fixed_lengths, _fixed_distances);
  }

  void dynamic() {
    static constexpr std::uint8_t kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    const int nlen = bits(5) + 257, ndist = bits(5) + 1, ncode = bits(4) + 4;
    if (nlen > 286 || ndist > 30) throw Corrupt{};
    std::uint8_t lengths[320] = {};
    for (int i = 0; i < ncode; ++i) lengths[kOrder[i]] = static_cast<std::uint8_t>(bits(3));
    Huffman code_lengths;
    if (!build(code_lengths, lengths, 19)) throw Corrupt{};
    for (int i = 0; i < 19; ++i) lengths[i] = 0;
    for (int index = 0; index < nlen + ndist;) {
      const int symbol = decode(code_lengths);
      if (symbol < 16) {
        lengths[index++] = static_cast<std::uint8_t>(symbol);
        continue;
      }
      std::uint8_t value = 0;
      int repeat;
      if (symbol == 16) {
        if (index == 0) throw Corrupt{};
        value = lengths[index - 1];
        repeat = 3 + bits(2);
      } else if (symbol == 17) {
        repeat = 3 + bits(3);
      } else {
        repeat = 11 + bits(7);
      }
      if (index + repeat > nlen + ndist) throw Corrupt{};
      while (repeat--) lengths[index++] = value;
    }
    if (lengths[256] == 0) throw Corrupt{};  // no end-of-block code
    Huffman lens, dists;
    if (!build(lens, lengths, nlen) || !build(dists, lengths + nlen, ndist)) throw Corrupt{};
    codes(lens, dists);
  }

  Stream& _in;
  std::int64_t _at;
  std::uint32_t _bitbuf = 0;
  int _bitcnt = 0;
  std::vector<std::uint8_t> _window;
  std::uint64_t _total = 0;
  std::array<std::uint8_t, 4096> _pending{};
  std::size_t _pending_n = 0;
  std::uint32_t _crc = 0;
  Huffman _fixed_lengths, _fixed_distances;
  bool _fixed_built = false;
};

}  // namespace

Inflated inflate_stream(Stream& in, std::int64_t at) {
  Inflater z(in, at);
  Inflated out;
  try {
    z.run();
  } catch (const Truncated&) {
    out.result = Inflated::truncated;
    return out;
  } catch (const Corrupt&) {
    out.result = Inflated::corrupt;
    return out;
  }
  out.result = Inflated::ok;
  out.end = z.end();
  out.crc = z.crc();
  out.size = z.size();
  return out;
}

}  // namespace dravelo::carve
