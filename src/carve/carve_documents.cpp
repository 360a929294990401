// PDF (to the last %%EOF within reach, so that incremental updates stay with the file) and RTF
// (brace depth back to zero).
#include <cctype>
#include <cstdio>

#include "carve/carve_stream.h"

namespace dravelo::carve {

namespace {

// A line end after `at`: CR LF, LF or CR.
std::int64_t after_line_end(Stream& in, std::int64_t at) {
  const int a = in.byte(at);
  if (a == '\r') return in.byte(at + 1) == '\n' ? at + 2 : at + 1;
  return a == '\n' ? at + 1 : at;
}

// The cross-reference section that "startxref N" before the %%EOF at `eof` points to is there: a
// table ("xref") or a stream object ("12 0 obj").
bool startxref_holds(Stream& in, std::int64_t eof) {
  const std::int64_t from = std::max<std::int64_t>(0, eof - 64);
  std::int64_t key = -1;
  for (std::int64_t at = in.find("startxref", from, eof); at >= 0; at = in.find("startxref", at + 1, eof)) key = at;
  if (key < 0) return false;
  std::int64_t at = key + 9, offset = 0;
  int digits = 0;
  for (int c; (c = in.byte(at)) >= 0 && at < eof; ++at) {
    if (std::isdigit(c)) {
      if (++digits > 15) return false;
      offset = offset * 10 + (c - '0');
    } else if (digits > 0 || !std::isspace(c)) {
      break;
    }
  }
  if (digits == 0 || offset >= eof) return false;
  while (std::isspace(in.byte(offset))) ++offset;
  if (in.equals(offset, "xref")) return true;
  char text[32]{};
  const auto n = static_cast<std::size_t>(std::min<std::int64_t>(sizeof text - 1, eof - offset));
  if (!in.get(offset, text, n)) return false;
  const std::string_view head(text, n);
  return std::isdigit(static_cast<unsigned char>(text[0])) && head.find(" obj") != std::string_view::npos;
}

// The text of a literal string "(...)" at `at`, escapes decoded; UTF-16 text only where every
// character is ASCII. Empty when it is not plain text.
std::string pdf_string(Stream& in, std::int64_t at) {
  while (std::isspace(in.byte(at))) ++at;
  if (in.byte(at) != '(') return {};
  std::string out;
  int depth = 1;
  for (++at; out.size() < 400; ++at) {
    int c = in.byte(at);
    if (c < 0) return {};
    if (c == '\\') {
      c = in.byte(++at);
      if (c == 'n' || c == 'r' || c == 't') c = ' ';
      else if (c >= '0' && c <= '7') {
        int v = 0;
        for (int i = 0; i < 3 && in.byte(at) >= '0' && in.byte(at) <= '7'; ++i, ++at) v = v * 8 + in.byte(at) - '0';
        --at;
        c = v & 0xFF;
      } else if (c == '\r' || c == '\n') {
        continue;
      }
    } else if (c == '(') {
      ++depth;
    } else if (c == ')' && --depth == 0) {
      break;
    }
    out += static_cast<char>(c);
  }
  if (out.size() >= 2 && static_cast<unsigned char>(out[0]) == 0xFE && static_cast<unsigned char>(out[1]) == 0xFF) {
    std::string ascii;
    for (std::size_t i = 2; i + 1 < out.size(); i += 2) {
      if (out[i] != 0 || static_cast<unsigned char>(out[i + 1]) >= 0x80) return {};
      ascii += out[i + 1];
    }
    return ascii;
  }
  for (const char ch : out)
    if (static_cast<unsigned char>(ch) >= 0x80) return {};
  return out;
}

// The document's title: /Title of the Info dictionary that the last trailer names ("/Info 12 0 R"),
// where that object is plain text (not inside a compressed object stream). Outline items have
// titles too, so no other /Title is taken.
std::string info_title(Stream& in, std::int64_t length) {
  std::int64_t info = -1;
  for (std::int64_t at = in.find("/Info", 0, length); at >= 0; at = in.find("/Info", at + 5, length)) info = at;
  if (info < 0) return {};
  char text[40]{};
  const auto n = static_cast<std::size_t>(std::min<std::int64_t>(sizeof text - 1, length - info - 5));
  if (!in.get(info + 5, text, n)) return {};
  unsigned long number = 0, generation = 0;
  if (std::sscanf(text, " %lu %lu R", &number, &generation) != 2) return {};
  const std::string object = std::to_string(number) + " " + std::to_string(generation) + " obj";
  std::int64_t start = -1;
  for (std::int64_t at = in.find(object, 0, length); at >= 0; at = in.find(object, at + 1, length)) {
    const int before = at > 0 ? in.byte(at - 1) : '\n';
    if (!std::isdigit(before)) start = at;  // "12 0 obj", not "112 0 obj"
  }
  if (start < 0) return {};
  std::int64_t end = in.find("endobj", start, length);
  if (end < 0) end = length;
  const std::int64_t title = in.find("/Title", start, end);
  return title < 0 ? std::string() : pdf_string(in, title + 6);
}

}  // namespace

bool pdf_signature(const std::uint8_t* first, std::size_t size) {
  return starts_with(first, size, "%PDF-") && size > 5 && std::isdigit(first[5]);
}

Found pdf_parse(Stream& in) {
  Found f;
  if (!in.equals(0, "%PDF-") || !std::isdigit(in.byte(5))) return in.reach() < 6 ? cut(std::move(f)) : f;
  // Another PDF's header ends this one's reach: its %%EOF is not ours.
  std::int64_t end_of_reach = in.find("%PDF-", 5, in.reach());
  const bool next_file = end_of_reach >= 0;
  if (!next_file) end_of_reach = in.reach();
  // The last %%EOF whose startxref holds: a later one may belong to the tail of some other file.
  std::vector<std::int64_t> ends;
  for (std::int64_t at = in.find("%%EOF", 5, end_of_reach); at >= 0 && ends.size() < 100000;
       at = in.find("%%EOF", at + 5, end_of_reach))
    ends.push_back(at);
  if (ends.empty()) return cut(std::move(f));
  std::int64_t last = -1;
  for (auto it = ends.rbegin(); it != ends.rend() && last < 0; ++it)
    if (startxref_holds(in, *it)) last = *it;
  if (last < 0) return f;
  const std::int64_t length = after_line_end(in, last + 5);
  f.name_hint = clean_name(info_title(in, length));
  return done(std::move(f), length);
}

bool rtf_signature(const std::uint8_t* first, std::size_t size) { return starts_with(first, size, "{\\rtf"); }

Found rtf_parse(Stream& in) {
  Found f;
  if (!in.equals(0, "{\\rtf")) return f;
  std::int64_t depth = 0;
  for (std::int64_t at = 0;; ++at) {
    const int c = in.byte(at);
    if (c < 0) return cut(std::move(f));
    if (c == 0) return f;  // RTF is text: a NUL is not part of it
    if (c == '{') {
      if (++depth > 100000) return f;
    } else if (c == '}') {
      if (--depth == 0) return done(std::move(f), after_line_end(in, at + 1));
    } else if (c == '\\') {
      const int next = in.byte(at + 1);
      if (next == '{' || next == '}' || next == '\\') {
        ++at;
      } else if (in.equals(at, "\\bin")) {
        // \binN: N bytes of binary data follow the control word's delimiting space.
        std::int64_t p = at + 4, n = 0;
        int digits = 0;
        while (std::isdigit(in.byte(p)) && digits < 12) n = n * 10 + (in.byte(p++) - '0'), ++digits;
        if (digits > 0) {
          if (in.byte(p) == ' ') ++p;
          at = p + n - 1;
        }
      }
    }
  }
}

}  // namespace dravelo::carve
