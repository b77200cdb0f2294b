#include "core/text.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <vector>

namespace zorva {

namespace {

bool IsLeadByte(unsigned char b) { return b >= 0x81 && b <= 0xFE; }

std::string_view UpToNul(std::string_view bytes) {
  size_t nul = bytes.find('\0');
  return nul == std::string_view::npos ? bytes : bytes.substr(0, nul);
}

}  // namespace

Text::Text(const char* s) : m_bytes(s ? s : "") {}

Text::Text(std::string_view bytes) : m_bytes(UpToNul(bytes)) {}

Text Text::Format(const char* pattern, ...) {
  va_list args;
  va_start(args, pattern);
  va_list copy;
  va_copy(copy, args);
  int length = std::vsnprintf(nullptr, 0, pattern, copy);
  va_end(copy);
  std::string out;
  if (length > 0) {
    out.resize(static_cast<size_t>(length) + 1);
    std::vsnprintf(out.data(), out.size(), pattern, args);
    out.resize(static_cast<size_t>(length));
  }
  va_end(args);
  return Text(out);
}

Text Text::Mid(int first, int count) const {
  int n = GetLength();
  if (first < 0) first = 0;
  if (count < 0) count = 0;
  if (first > n) return Text();
  if (count > n - first) count = n - first;
  Text out;
  out.m_bytes.assign(m_bytes, static_cast<size_t>(first), static_cast<size_t>(count));
  return out;
}

Text Text::Mid(int first) const { return Mid(first, GetLength() - (first < 0 ? 0 : first)); }

Text Text::Left(int count) const { return Mid(0, count); }

Text Text::Right(int count) const {
  int n = GetLength();
  if (count < 0) count = 0;
  if (count >= n) return *this;
  return Mid(n - count, count);
}

bool Text::IsCharBoundary(std::string_view bytes, size_t pos) {
  // A byte outside the lead range always ends a character (it is a
  // single-byte character or a second byte), so the position after it is a
  // boundary. From there the run of lead-range bytes pairs up: pos is a
  // boundary exactly when the run before it has even length.
  size_t run = 0;
  while (run < pos && IsLeadByte(static_cast<unsigned char>(bytes[pos - run - 1]))) ++run;
  return run % 2 == 0;
}

size_t Text::FindIn(std::string_view haystack, std::string_view needle, size_t start) {
  if (start > haystack.size()) return std::string_view::npos;
  size_t pos = haystack.find(needle, start);
  while (pos != std::string_view::npos && !IsCharBoundary(haystack, pos)) {
    pos = haystack.find(needle, pos + 1);
  }
  return pos;
}

int Text::Find(std::string_view needle, int start) const {
  if (start < 0 || start > GetLength()) return -1;
  size_t pos = FindIn(m_bytes, UpToNul(needle), static_cast<size_t>(start));
  return pos == std::string_view::npos ? -1 : static_cast<int>(pos);
}

int Text::Replace(std::string_view from, std::string_view to) {
  from = UpToNul(from);
  to = UpToNul(to);
  if (from.empty()) return 0;
  std::string out;
  int replaced = 0;
  size_t copied = 0;
  // Boundaries are judged on the original bytes: the replacement never
  // changes what lies ahead of the scan.
  for (size_t pos = FindIn(m_bytes, from, 0); pos != std::string_view::npos;
       pos = FindIn(m_bytes, from, pos + from.size())) {
    out.append(m_bytes, copied, pos - copied);
    out.append(to);
    copied = pos + from.size();
    ++replaced;
  }
  if (replaced == 0) return 0;
  out.append(m_bytes, copied, std::string::npos);
  m_bytes = std::move(out);
  return replaced;
}

void Text::MakeLower() {
  // Skip two-byte characters whole: their second byte may be an ASCII letter.
  for (size_t i = 0; i < m_bytes.size(); ++i) {
    unsigned char b = static_cast<unsigned char>(m_bytes[i]);
    if (IsLeadByte(b)) {
      ++i;
    } else if (b >= 'A' && b <= 'Z') {
      m_bytes[i] = static_cast<char>(b - 'A' + 'a');
    }
  }
}

Text Text::Lower() const {
  Text copy = *this;
  copy.MakeLower();
  return copy;
}

void Text::Append(std::string_view bytes) { m_bytes.append(UpToNul(bytes)); }

Text operator+(const Text& a, const Text& b) {
  Text out = a;
  out += b;
  return out;
}

Text operator+(const Text& a, const char* b) {
  Text out = a;
  out.Append(b ? b : "");
  return out;
}

Text operator+(const char* a, const Text& b) {
  Text out(a);
  out += b;
  return out;
}

std::strong_ordering operator<=>(const Text& a, const Text& b) {
  int c = a.m_bytes.compare(b.m_bytes);  // char_traits<char> compares as unsigned char
  return c < 0 ? std::strong_ordering::less
               : (c > 0 ? std::strong_ordering::greater : std::strong_ordering::equal);
}

void PrintTo(const Text& text, std::ostream* os) {
  *os << '"';
  for (unsigned char c : text.view()) {
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
      *os << static_cast<char>(c);
    } else {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\x%02X", c);
      *os << buffer;
    }
  }
  *os << '"';
}

}  // namespace zorva
