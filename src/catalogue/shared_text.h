// SharedText: an immutable UTF-8 text that copies share instead of duplicating. The catalogue
// keeps a found file's Path and file-system name in it, so that the thousands of files of one
// folder hold one path between them (see add_file). Reads like a const std::string.
#pragma once

#include <cstddef>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>

namespace dravelo {

class SharedText {
 public:
  using size_type = std::string::size_type;
  static constexpr size_type npos = std::string::npos;

  SharedText() = default;
  SharedText(std::string text) : text_(text.empty() ? nullptr : std::make_shared<const std::string>(std::move(text))) {}
  SharedText(const char* text) : SharedText(std::string(text)) {}
  SharedText(std::string_view text) : SharedText(std::string(text)) {}

  const std::string& str() const { return text_ ? *text_ : no_text(); }
  operator const std::string&() const { return str(); }
  operator std::string_view() const { return str(); }

  const char* c_str() const { return str().c_str(); }
  const char* data() const { return str().data(); }
  size_type size() const { return str().size(); }
  size_type length() const { return str().size(); }
  bool empty() const { return str().empty(); }
  char operator[](size_type i) const { return str()[i]; }
  std::string::const_iterator begin() const { return str().begin(); }
  std::string::const_iterator end() const { return str().end(); }
  char front() const { return str().front(); }
  char back() const { return str().back(); }
  template <typename... A>
  size_type find(A&&... a) const { return str().find(std::forward<A>(a)...); }
  template <typename... A>
  size_type rfind(A&&... a) const { return str().rfind(std::forward<A>(a)...); }
  template <typename... A>
  int compare(A&&... a) const { return str().compare(std::forward<A>(a)...); }
  std::string substr(size_type pos = 0, size_type n = npos) const { return str().substr(pos, n); }

  // Whether both hold the very same stored text (not merely equal texts).
  bool shares(const SharedText& other) const { return text_ == other.text_; }
  // The stored text's identity; nullptr for the empty text.
  const std::string* identity() const { return text_.get(); }

  friend bool operator==(const SharedText& a, const SharedText& b) { return a.text_ == b.text_ || a.str() == b.str(); }
  friend bool operator==(const SharedText& a, const std::string& b) { return a.str() == b; }
  friend bool operator==(const SharedText& a, const char* b) { return a.str() == b; }
  friend bool operator==(const SharedText& a, std::string_view b) { return a.str() == b; }
  friend std::string operator+(const SharedText& a, const std::string& b) { return a.str() + b; }
  friend std::string operator+(const std::string& a, const SharedText& b) { return a + b.str(); }
  friend std::string operator+(const SharedText& a, const char* b) { return a.str() + b; }
  friend std::string operator+(const char* a, const SharedText& b) { return a + b.str(); }
  friend std::string operator+(const SharedText& a, const SharedText& b) { return a.str() + b.str(); }
  friend std::ostream& operator<<(std::ostream& out, const SharedText& t) { return out << t.str(); }

 private:
  static const std::string& no_text() {
    static const std::string nothing;
    return nothing;
  }
  std::shared_ptr<const std::string> text_;
};

}  // namespace dravelo
