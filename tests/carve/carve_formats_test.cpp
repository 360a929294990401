// Every format over a real file of it: found at its place in a stream of other bytes, its length
// told exactly; a copy cut short is not whole; a copy with a broken structure is refused; the
// recovery check takes the file and refuses the broken copies.
#include <gtest/gtest.h>

#include "carve/carve_source.h"

namespace dravelo::test {
namespace {

using carve::ContentVerdict;

struct FormatCase {
  const char* file;
  const char* type_name;
  const char* extension;
  const char* name_hint;
  std::size_t broken_at;  // a byte of the structure (a marker, a size, a checksum, a link)
};

const FormatCase kCases[] = {
    {"photo.jpg", "JPEG image", "jpg", "2024-05-01 12.30.11 Canon EOS 80D", 2},
    {"progressive.jpg", "JPEG image", "jpg", "", 20},
    {"image.png", "PNG image", "png", "", 20},
    {"anim.gif", "GIF image", "gif", "", 19},
    {"image.bmp", "BMP image", "bmp", "", 10},
    {"report.pdf", "PDF document", "pdf", "Quarterly report", 5},
    {"archive.zip", "ZIP archive", "zip", "", 620},
    {"streamed.zip", "ZIP archive", "zip", "", 539},  // sizes in data descriptors
    {"zip64.zip", "ZIP archive", "zip", "", 340},     // sizes in a ZIP64 extra field
    {"letter.docx", "Word document", "docx", "", 624},
    {"budget.xlsx", "Excel workbook", "xlsx", "", 634},
    {"slides.pptx", "PowerPoint presentation", "pptx", "", 638},
    {"minutes.odt", "OpenDocument text", "odt", "", 591},
    {"movie.mp4", "MPEG-4 video", "mp4", "", 36},
    {"movie.mov", "QuickTime movie", "mov", "", 2540},
    {"clip.3gp", "3GP video", "3gp", "", 28},
    {"still.heic", "HEIC image", "heic", "", 28},
    {"clip.avi", "AVI video", "avi", "", 16},
    {"tone.wav", "WAV audio", "wav", "", 16},
    {"image.tif", "TIFF image", "tif", "", 3239},
    {"motorola.tif", "TIFF image", "tif", "", 3248},
    {"camera.nef", "Nikon raw image", "nef", "2023-12-24 18.05.59 NIKON D750", 9},
    {"ole2.doc", "Word 97-2003 document", "doc", "", 28},
    {"letter.rtf", "RTF document", "rtf", "", 257},
    {"stored4.rar", "RAR archive", "rar", "", 7},
    {"stored5.rar", "RAR archive", "rar", "", 8},
    {"notes.7z", "7-Zip archive", "7z", "", 8},
    {"notes.txt.gz", "GZIP archive", "gz", "notes.txt", 230},  // dynamic Huffman codes
    {"stored.gz", "GZIP archive", "gz", "", 5015},             // a stored block
    {"short.gz", "GZIP archive", "gz", "", 53},                // fixed codes
    {"notes.sqlite", "SQLite database", "sqlite", "", 16},
    {"tone.mp3", "MP3 audio", "mp3", "", 347},
};

void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.file; }

class CarveFormat : public testing::TestWithParam<FormatCase> {
 protected:
  void SetUp() override {
    file = carve_file(GetParam().file);
    ASSERT_FALSE(file.empty()) << GetParam().file;
  }
  Bytes file;
};

TEST_P(CarveFormat, FoundInAStreamWithItsExactLength) {
  const FormatCase& c = GetParam();
  constexpr std::size_t kAt = 8192;
  MemorySource stream(concat({noise(kAt, 1), file, noise(6000, 2)}));
  const int format = carve::match_header(stream.bytes.data() + kAt, carve::kHeaderBytes);
  ASSERT_GE(format, 0);
  const auto found = carve::identify(format, stream, kAt, 1 << 20);
  ASSERT_TRUE(found);
  EXPECT_TRUE(found->complete);
  EXPECT_EQ(found->length, static_cast<std::int64_t>(file.size()));
  EXPECT_EQ(found->type_name, c.type_name);
  EXPECT_EQ(found->extension, c.extension);
  EXPECT_EQ(found->name_hint, c.name_hint);
  // The same file with a reach just one byte short of it.
  const auto short_reach = carve::identify(format, stream, kAt, static_cast<std::int64_t>(file.size()) - 1);
  if (short_reach) {
    // Only an optional last byte (a PDF's or RTF's line end, TIFF's padding) may be left out of a
    // whole file.
    EXPECT_TRUE(!short_reach->complete || file.back() == '\n' || file.back() == 0);
    EXPECT_LE(short_reach->length, static_cast<std::int64_t>(file.size()) - 1);
  }
}

TEST_P(CarveFormat, CopyCutShortIsNotWhole) {
  const int format = carve::match_header(file.data(), file.size());
  ASSERT_GE(format, 0);
  for (const std::size_t keep : {file.size() / 3, file.size() / 2}) {
    SCOPED_TRACE(keep);
    MemorySource cut(Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(keep)));
    const auto found = carve::identify(format, cut, 0, 1 << 20);
    if (found) {
      EXPECT_FALSE(found->complete);
      EXPECT_EQ(found->length, static_cast<std::int64_t>(keep));
    }
    EXPECT_EQ(carve::check_content(GetParam().extension, cut), ContentVerdict::does_not_match);
  }
}

// A changed byte of the structure: the file is refused, or listed as not whole where the format
// cannot tell a broken link from a file whose rest was overwritten.
TEST_P(CarveFormat, BrokenStructureIsNeverWhole) {
  Bytes broken = file;
  broken[GetParam().broken_at] ^= 0x5A;
  MemorySource stream(concat({broken, noise(4000, 3)}));
  const int format = carve::match_header(broken.data(), broken.size());
  if (format >= 0) {
    const auto found = carve::identify(format, stream, 0, 1 << 20);
    EXPECT_TRUE(!found || !found->complete);
  }
  MemorySource alone(broken);
  EXPECT_EQ(carve::check_content(GetParam().extension, alone), ContentVerdict::does_not_match);
}

TEST_P(CarveFormat, RecoveryCheckTakesTheFileAndRefusesOthers) {
  MemorySource whole(file);
  EXPECT_EQ(carve::check_content(GetParam().extension, whole), ContentVerdict::matches);
  std::string upper = GetParam().extension;
  for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  EXPECT_EQ(carve::check_content("." + upper, whole), ContentVerdict::matches);
  // A cluster of zeros, or another format's file, under this name.
  MemorySource zeros(Bytes(file.size(), 0));
  EXPECT_EQ(carve::check_content(GetParam().extension, zeros), ContentVerdict::does_not_match);
  const std::string other = std::string(GetParam().file) == "image.png" ? "photo.jpg" : "image.png";
  MemorySource foreign(carve_file(other));
  EXPECT_EQ(carve::check_content(GetParam().extension, foreign), ContentVerdict::does_not_match);
}

INSTANTIATE_TEST_SUITE_P(Files, CarveFormat, testing::ValuesIn(kCases), [](const auto& info) {
  std::string name;
  for (const char ch : std::string(info.param.file))
    if (std::isalnum(static_cast<unsigned char>(ch))) name += ch;
  return name;
});

TEST(CarveCheck, UnknownExtensionIsUnknownType) {
  MemorySource file(carve_file("image.png"));
  for (const char* ext : {"xyz", "", "txt", "png.bak"})
    EXPECT_EQ(carve::check_content(ext, file), ContentVerdict::unknown_type) << ext;
}

}  // namespace
}  // namespace dravelo::test
