// MP3: an ID3v2 tag (its size from the tag header), then MPEG audio frames, each header giving
// the frame's length, to the last frame that follows on; then an ID3v1 tag if there is one.
// Every frame must keep the first frame's version, layer and sample rate.
#include "carve/carve_stream.h"

namespace dravelo::carve {

namespace {

struct Frame {
  int version = 0, layer = 0, rate = 0;  // as coded in the header
  std::int64_t length = 0;
};

std::optional<Frame> frame_at(Stream& in, std::int64_t at) {
  std::uint8_t h[4];
  if (!in.get(at, h, 4) || h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) return std::nullopt;
  Frame fr{(h[1] >> 3) & 3, (h[1] >> 1) & 3, (h[2] >> 2) & 3, 0};
  const int bitrate_index = h[2] >> 4, padding = (h[2] >> 1) & 1;
  if (fr.version == 1 || fr.layer == 0 || fr.rate == 3 || bitrate_index == 0 || bitrate_index == 15) return std::nullopt;
  static constexpr int kBitrates[5][15] = {
      {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},  // MPEG-1 layer I
      {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},     // MPEG-1 layer II
      {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},      // MPEG-1 layer III
      {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},     // MPEG-2/2.5 layer I
      {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},          // MPEG-2/2.5 layers II, III
  };
  static constexpr int kRates[4][3] = {{11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}};
  const bool mpeg1 = fr.version == 3;
  const int layer = 4 - fr.layer;  // 1, 2 or 3
  const int table = mpeg1 ? layer - 1 : (layer == 1 ? 3 : 4);
  const std::int64_t bitrate = kBitrates[table][bitrate_index] * 1000LL, rate = kRates[fr.version][fr.rate];
  if (layer == 1) fr.length = (12 * bitrate / rate + padding) * 4;
  else if (layer == 3 && !mpeg1) fr.length = 72 * bitrate / rate + padding;
  else fr.length = 144 * bitrate / rate + padding;
  if (fr.length < 4) return std::nullopt;
  return fr;
}

// Frames in a row that make a file without a tag believable.
constexpr int kMinFramesUntagged = 8;

}  // namespace

bool mp3_signature(const std::uint8_t* first, std::size_t size) {
  // Only a tagged start: a bare frame header is too common a pattern at a cluster's start.
  return starts_with(first, size, "ID3") && size >= 10 && first[3] >= 2 && first[3] <= 4 && first[4] != 0xFF &&
         ((first[6] | first[7] | first[8] | first[9]) & 0x80) == 0;
}

Found mp3_parse(Stream& in) {
  Found f;
  std::int64_t at = 0;
  const bool tagged = in.equals(0, "ID3");
  if (tagged) {
    std::uint8_t h[10];
    if (!in.get(0, h, 10)) return cut(std::move(f));
    if (h[3] < 2 || h[3] > 4 || ((h[6] | h[7] | h[8] | h[9]) & 0x80)) return f;
    at = 10 + (std::int64_t{h[6]} << 21 | h[7] << 14 | h[8] << 7 | h[9]) + ((h[5] & 0x10) ? 10 : 0);
    // Some writers pad beyond the size they give.
    for (int zeros = 0; in.byte(at) == 0 && zeros < 65536; ++zeros) ++at;
  }
  const auto first = frame_at(in, at);
  if (!first) return in.has(0, at + 4) ? f : cut(std::move(f));
  // A Xing or Info frame (written first by encoders of variable bit rates, and by LAME always)
  // gives the byte count of the audio frames, its own included.
  const std::int64_t audio = at;
  std::int64_t audio_bytes = -1;
  {
    const auto b1 = in.byte(at + 1), b3 = in.byte(at + 3);
    const bool mono = ((b3 >> 6) & 3) == 3;
    const std::int64_t side = first->version == 3 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    const std::int64_t tag = at + 4 + side;
    if (b1 >= 0 && b3 >= 0 && (in.equals(tag, "Xing") || in.equals(tag, "Info")) && tag + 16 <= at + first->length) {
      const auto flags = in.be(tag + 4, 4);
      if (flags && (*flags & 3) == 3) audio_bytes = static_cast<std::int64_t>(in.be(tag + 12, 4).value_or(0));
      else if (flags && (*flags & 3) == 2) audio_bytes = static_cast<std::int64_t>(in.be(tag + 8, 4).value_or(0));
    }
  }
  int frames = 0;
  bool at_audio_end = false;
  for (;;) {
    if (audio_bytes > 0 && at - audio == audio_bytes) at_audio_end = true;
    if (at_audio_end) break;
    const auto fr = frame_at(in, at);
    if (!fr || fr->version != first->version || fr->layer != first->layer || fr->rate != first->rate) break;
    if (!in.has(at, fr->length)) return cut(std::move(f));
    at += fr->length;
    ++frames;
  }
  // Fewer frames than the Xing count: the rest was lost.
  if (audio_bytes > 0 && !at_audio_end) return at - audio < audio_bytes ? cut(std::move(f)) : f;
  if (!tagged && frames < kMinFramesUntagged) return f;
  if (in.equals(at, "TAG")) {
    if (!in.has(at, 128)) return cut(std::move(f));
    at += 128;
  }
  // Frames that run exactly to the end of reach may go on past it, unless that is the file's end.
  if (at == in.reach() && !in.whole_file()) return cut(std::move(f));
  return done(std::move(f), at);
}

}  // namespace dravelo::carve
