#include "cli/json_rows.h"

#include <cctype>

namespace dravelo::cli {
namespace {

class Parser {
 public:
  explicit Parser(std::string_view t) : t_(t) {}

  bool rows(std::vector<JsonRow>* out) {
    if (!expect('[')) return false;
    if (peek() == ']') return ++at_, end();
    for (;;) {
      JsonRow row;
      if (!object(&row)) return false;
      out->push_back(std::move(row));
      if (peek() == ',') {
        ++at_;
        continue;
      }
      return expect(']') && end();
    }
  }
  std::string why() const { return error_ + " at byte " + std::to_string(at_); }

 private:
  char peek() {
    while (at_ < t_.size() && std::isspace(static_cast<unsigned char>(t_[at_]))) ++at_;
    return at_ < t_.size() ? t_[at_] : '\0';
  }
  bool fail(const char* what) {
    if (error_.empty()) error_ = what;
    return false;
  }
  bool expect(char c) {
    if (peek() != c) return fail(c == '[' ? "no JSON array" : "unexpected character");
    ++at_;
    return true;
  }
  bool end() { return peek() == '\0' || fail("text after the array"); }

  bool object(JsonRow* row) {
    if (!expect('{')) return false;
    if (peek() == '}') return ++at_, true;
    for (;;) {
      std::string key, value;
      if (peek() != '"' || !string(&key) || !expect(':') || !scalar(&value)) return fail("bad field");
      (*row)[key] = std::move(value);
      if (peek() == ',') {
        ++at_;
        continue;
      }
      return expect('}');
    }
  }

  bool scalar(std::string* out) {
    const char c = peek();
    if (c == '"') return string(out);
    const std::size_t from = at_;
    while (at_ < t_.size() && (std::isalnum(static_cast<unsigned char>(t_[at_])) || t_[at_] == '-' ||
                               t_[at_] == '+' || t_[at_] == '.'))
      ++at_;
    if (at_ == from) return fail("a value is missing");
    *out = std::string(t_.substr(from, at_ - from));
    return true;
  }

  static void put_utf8(std::string* out, char32_t c) {
    if (c < 0x80) {
      out->push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out->push_back(static_cast<char>(0xC0 | (c >> 6)));
      out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out->push_back(static_cast<char>(0xE0 | (c >> 12)));
      out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out->push_back(static_cast<char>(0xF0 | (c >> 18)));
      out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }

  bool hex4(char32_t* out) {
    if (at_ + 4 > t_.size()) return fail("short \\u escape");
    char32_t v = 0;
    for (int i = 0; i < 4; ++i) {
      const char h = t_[at_++];
      v <<= 4;
      if (h >= '0' && h <= '9') v |= static_cast<char32_t>(h - '0');
      else if (h >= 'a' && h <= 'f') v |= static_cast<char32_t>(h - 'a' + 10);
      else if (h >= 'A' && h <= 'F') v |= static_cast<char32_t>(h - 'A' + 10);
      else return fail("bad \\u escape");
    }
    *out = v;
    return true;
  }

  bool string(std::string* out) {
    ++at_;  // the opening quote
    while (at_ < t_.size()) {
      const char c = t_[at_++];
      if (c == '"') return true;
      if (c != '\\') {
        out->push_back(c);
        continue;
      }
      if (at_ >= t_.size()) break;
      const char e = t_[at_++];
      switch (e) {
        case '"': case '\\': case '/': out->push_back(e); break;
        case 'b': out->push_back('\b'); break;
        case 'f': out->push_back('\f'); break;
        case 'n': out->push_back('\n'); break;
        case 'r': out->push_back('\r'); break;
        case 't': out->push_back('\t'); break;
        case 'u': {
          char32_t c1 = 0;
          if (!hex4(&c1)) return false;
          if (c1 >= 0xD800 && c1 < 0xDC00 && at_ + 1 < t_.size() && t_[at_] == '\\' && t_[at_ + 1] == 'u') {
            at_ += 2;
            char32_t c2 = 0;
            if (!hex4(&c2)) return false;
            if (c2 >= 0xDC00 && c2 < 0xE000) c1 = 0x10000 + ((c1 - 0xD800) << 10) + (c2 - 0xDC00);
          }
          put_utf8(out, c1);
          break;
        }
        default: return fail("bad escape");
      }
    }
    return fail("a string does not end");
  }

  std::string_view t_;
  std::size_t at_ = 0;
  std::string error_;
};

}  // namespace

bool read_json_rows(std::string_view text, std::vector<JsonRow>* rows, std::string* why) {
  Parser p(text);
  std::vector<JsonRow> out;
  if (!p.rows(&out)) {
    if (why) *why = p.why();
    return false;
  }
  *rows = std::move(out);
  return true;
}

}  // namespace dravelo::cli
