#pragma once

#include <compare>
#include <cstddef>
#include <iosfwd>
#include <string>
#include <string_view>

namespace zorva {

// A counted byte string in code page 936 with value semantics. Bytes below
// 0x80 are single-byte characters; a byte 0x81-0xFE starts a two-byte
// character. Positions and lengths are byte counts. A Text never holds a NUL
// byte: every way of putting bytes into one stops at the first NUL.
class Text {
 public:
  Text() = default;
  Text(const char* s);  // NOLINT(google-explicit-constructor): texts mix freely with literals
  Text(std::string_view bytes);  // NOLINT(google-explicit-constructor)
  Text(const std::string& bytes) : Text(std::string_view(bytes)) {}  // NOLINT

  // printf-style formatting; the result has exactly the formatted length.
  static Text Format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));

  int GetLength() const { return static_cast<int>(m_bytes.size()); }
  bool IsEmpty() const { return m_bytes.empty(); }
  const char* c_str() const { return m_bytes.c_str(); }
  const std::string& str() const { return m_bytes; }
  std::string_view view() const { return m_bytes; }
  unsigned char operator[](int pos) const { return static_cast<unsigned char>(m_bytes[pos]); }

  // first < 0 and count < 0 count as 0; first beyond the end gives the empty
  // text; count is cut to what is left.
  Text Mid(int first, int count) const;
  Text Mid(int first) const;
  // count < 0 counts as 0; a count at or beyond the length gives the whole text.
  Text Left(int count) const;
  Text Right(int count) const;

  // Position of the first occurrence of needle at or after start, or -1.
  // start < 0 or start > length gives -1. A match never begins on the second
  // byte of a two-byte character.
  int Find(std::string_view needle, int start = 0) const;
  int Find(char c, int start = 0) const { return Find(std::string_view(&c, 1), start); }

  // Replaces every occurrence of from, left to right, continuing after each
  // inserted text; double-byte aware like Find. Returns the number replaced;
  // an empty from changes nothing.
  int Replace(std::string_view from, std::string_view to);

  // Lower-cases A-Z only; two-byte characters stay as they are.
  void MakeLower();
  Text Lower() const;

  void Append(std::string_view bytes);
  Text& operator+=(const Text& other) {
    m_bytes += other.m_bytes;
    return *this;
  }
  Text& operator+=(const char* s) {
    Append(s);
    return *this;
  }

  friend Text operator+(const Text& a, const Text& b);
  friend Text operator+(const Text& a, const char* b);
  friend Text operator+(const char* a, const Text& b);

  // Byte-wise, unsigned, case-sensitive: code page 936 order.
  friend bool operator==(const Text& a, const Text& b) { return a.m_bytes == b.m_bytes; }
  friend bool operator==(const Text& a, const char* b) { return a.m_bytes == b; }
  friend std::strong_ordering operator<=>(const Text& a, const Text& b);

  // True when pos starts a character of bytes (not the second byte of a
  // two-byte character). Exposed for the lookups that search raw views.
  static bool IsCharBoundary(std::string_view bytes, size_t pos);
  // Double-byte-aware search in a raw view, the rule of Find.
  static size_t FindIn(std::string_view haystack, std::string_view needle, size_t start);

 private:
  std::string m_bytes;
};

// Shows the bytes in test failures (printable ASCII as is, others as \xNN).
void PrintTo(const Text& text, std::ostream* os);

}  // namespace zorva
