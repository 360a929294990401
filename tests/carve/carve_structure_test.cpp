// The places where a format's walk could go wrong on real media: a JPEG thumbnail's own end, a
// PDF updated in place, the next file's %%EOF, a media box that runs to the end, links that loop.
#include <gtest/gtest.h>

#include "carve/carve_source.h"

namespace dravelo::test {
namespace {

std::size_t count_of(const Bytes& b, const Bytes& needle) {
  std::size_t n = 0;
  for (auto it = b.begin(); (it = std::search(it, b.end(), needle.begin(), needle.end())) != b.end(); ++it) ++n;
  return n;
}

std::optional<carve::Candidate> found_at(MemorySource& s, std::int64_t at, std::int64_t reach = 1 << 20) {
  const int format = carve::match_header(s.bytes.data() + at, s.bytes.size() - static_cast<std::size_t>(at));
  if (format < 0) return std::nullopt;
  return carve::identify(format, s, at, reach);
}

TEST(CarveJpeg, ThumbnailStuffingAndRestartsDoNotEndTheImage) {
  const Bytes photo = carve_file("photo.jpg");
  // What the fixture holds: a second SOI/EOI pair (the thumbnail), stuffed FFs and restart markers.
  EXPECT_EQ(count_of(photo, {0xFF, 0xD9}), 2u);
  EXPECT_GT(count_of(photo, {0xFF, 0x00}), 0u);
  EXPECT_GT(count_of(photo, {0xFF, 0xD0}), 0u);
  MemorySource stream(concat({photo, carve_file("progressive.jpg")}));
  const auto first = found_at(stream, 0);
  ASSERT_TRUE(first);
  EXPECT_TRUE(first->complete);
  EXPECT_EQ(first->length, static_cast<std::int64_t>(photo.size()));
}

TEST(CarveJpeg, TailOverwrittenByAnotherImageEndsWhereThatOneStarts) {
  const Bytes photo = carve_file("photo.jpg");
  const std::size_t kept = photo.size() * 3 / 4;  // within the entropy-coded data
  MemorySource stream(concat({Bytes(photo.begin(), photo.begin() + static_cast<std::ptrdiff_t>(kept)),
                              carve_file("progressive.jpg")}));
  const auto found = found_at(stream, 0);
  ASSERT_TRUE(found);
  EXPECT_FALSE(found->complete);
  EXPECT_EQ(found->length, static_cast<std::int64_t>(kept));
  EXPECT_EQ(found->name_hint, "2024-05-01 12.30.11 Canon EOS 80D");
}

TEST(CarvePdf, LastEndWithinReachButNotTheNextFiles) {
  const Bytes pdf = carve_file("report.pdf");
  ASSERT_EQ(count_of(pdf, {'%', '%', 'E', 'O', 'F'}), 2u);  // the update's end follows the original's
  // Another PDF right after: its %%EOF is beyond this file's reach.
  MemorySource two(concat({pdf, pdf}));
  const auto first = found_at(two, 0);
  ASSERT_TRUE(first);
  EXPECT_TRUE(first->complete);
  EXPECT_EQ(first->length, static_cast<std::int64_t>(pdf.size()));
  // The tail of some other PDF after it (no header of its own): its startxref points at nothing
  // of this file, whose own last end is taken.
  const std::string tail = "endobj\nstartxref\n9500\n%%EOF\n";
  MemorySource with_tail(concat({pdf, noise(1000, 9), Bytes(tail.begin(), tail.end())}));
  const auto kept = found_at(with_tail, 0);
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->length, static_cast<std::int64_t>(pdf.size()));
}

Bytes box(const char* type, const Bytes& body, std::uint32_t size_field) {
  Bytes b(8 + body.size());
  for (int i = 0; i < 4; ++i) {
    b[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(size_field >> (24 - 8 * i));
    b[static_cast<std::size_t>(4 + i)] = static_cast<std::uint8_t>(type[i]);
  }
  std::copy(body.begin(), body.end(), b.begin() + 8);
  return b;
}
Bytes box(const char* type, const Bytes& body) { return box(type, body, static_cast<std::uint32_t>(8 + body.size())); }

TEST(CarveIsoMedia, BoxOfSizeZeroIsWholeOnlyWhereNothingFollows) {
  const Bytes ftyp = box("ftyp", {'i', 's', 'o', 'm', 0, 0, 2, 0, 'i', 's', 'o', 'm'});
  const Bytes head = concat({ftyp, box("moov", Bytes(100, 1)), box("mdat", Bytes(500, 7), 0)});
  // A recovered file: its end is the box's end.
  MemorySource alone(head);
  EXPECT_EQ(carve::check_content("mp4", alone), carve::ContentVerdict::matches);
  // In a stream the box's end is not known, even where the stream ends with it.
  MemorySource stream(concat({head, noise(3000, 4)}));
  for (MemorySource* s : {&stream, &alone}) {
    const auto open = found_at(*s, 0);
    ASSERT_TRUE(open);
    EXPECT_FALSE(open->complete);
  }
}

TEST(CarveIsoMedia, MovieWithoutMoovIsNotWhole) {
  const Bytes ftyp = box("ftyp", {'i', 's', 'o', 'm', 0, 0, 2, 0, 'i', 's', 'o', 'm'});
  MemorySource stream(concat({ftyp, box("mdat", Bytes(700, 3)), noise(2000, 5)}));
  const auto found = found_at(stream, 0);
  ASSERT_TRUE(found);
  EXPECT_FALSE(found->complete);
}

TEST(CarveTiff, IfdChainThatLoopsEnds) {
  // II*, IFD at 8 with one entry (ImageWidth) and a next-IFD pointer back to itself.
  Bytes tiff{'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0x00, 0x01, 3, 0, 1, 0, 0, 0, 16, 0, 0, 0, 8, 0, 0, 0};
  MemorySource stream(concat({tiff, noise(100, 6)}));
  const auto found = found_at(stream, 0);
  ASSERT_TRUE(found);
  EXPECT_TRUE(found->complete);
  EXPECT_EQ(found->length, static_cast<std::int64_t>(tiff.size()));
}

TEST(CarveZip, OfficeKindComesFromItsMembers) {
  // The same members without the Word part: a plain ZIP.
  MemorySource docx(carve_file("letter.docx"));
  EXPECT_EQ(carve::check_content("zip", docx), carve::ContentVerdict::matches);
  EXPECT_EQ(carve::check_content("docx", docx), carve::ContentVerdict::matches);
}

TEST(CarveMp3, FramesWithoutATagAreTakenByTheRecoveryCheckOnly) {
  const Bytes mp3 = carve_file("tone.mp3");
  const std::size_t tag = 10 + (std::size_t{mp3[6]} << 21 | mp3[7] << 14 | mp3[8] << 7 | mp3[9]);
  MemorySource untagged(Bytes(mp3.begin() + static_cast<std::ptrdiff_t>(tag), mp3.end()));
  EXPECT_EQ(carve::match_header(untagged.bytes.data(), untagged.bytes.size()), -1);
  EXPECT_EQ(carve::check_content("mp3", untagged), carve::ContentVerdict::matches);
}

}  // namespace
}  // namespace dravelo::test
