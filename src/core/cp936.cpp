#include "core/cp936.h"

#include <iconv.h>

#include <cerrno>

namespace zorva {

namespace {

// iconv descriptors are not thread-safe, and opening one costs more than a
// short conversion: keep one per direction and thread.
class Converter {
 public:
  Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
  ~Converter() {
    if (m_cd != reinterpret_cast<iconv_t>(-1)) iconv_close(m_cd);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts bytes; an input sequence that cannot be converted is skipped by
  // skip(in) bytes and replaced by replacement.
  template <typename Skip>
  std::string Run(std::string_view in, std::string_view replacement, Skip skip) {
    std::string out;
    if (m_cd == reinterpret_cast<iconv_t>(-1)) return std::string(in);
    iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char buffer[1024];
    while (srcLeft > 0) {
      char* dst = buffer;
      size_t dstLeft = sizeof buffer;
      size_t rc = iconv(m_cd, &src, &srcLeft, &dst, &dstLeft);
      out.append(buffer, sizeof buffer - dstLeft);
      if (rc == static_cast<size_t>(-1) && errno != E2BIG) {
        size_t n = skip(std::string_view(src, srcLeft));
        src += n;
        srcLeft -= n;
        out.append(replacement);
      }
    }
    return out;
  }

 private:
  iconv_t m_cd;
};

// How many bytes one unconvertible character takes. A malformed sequence
// gives up only its lead byte and the continuation bytes actually present,
// so the character after it is still converted.
size_t Utf8SequenceLength(std::string_view s) {
  unsigned char b = static_cast<unsigned char>(s[0]);
  size_t n = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
  size_t length = 1;
  while (length < n && length < s.size() && (static_cast<unsigned char>(s[length]) & 0xC0) == 0x80)
    ++length;
  return length;
}

size_t Cp936SequenceLength(std::string_view s) {
  unsigned char b = static_cast<unsigned char>(s[0]);
  if (b < 0x81 || b > 0xFE || s.size() < 2) return 1;
  unsigned char second = static_cast<unsigned char>(s[1]);
  return (second >= 0x40 && second <= 0xFE && second != 0x7F) ? 2 : 1;
}

}  // namespace

Text FromUtf8(std::string_view utf8) {
  thread_local Converter converter("CP936", "UTF-8");
  return Text(converter.Run(utf8, "?", Utf8SequenceLength));
}

std::string ToUtf8(const Text& text) {
  thread_local Converter converter("UTF-8", "CP936");
  return converter.Run(text.view(), "\xEF\xBF\xBD", Cp936SequenceLength);
}

}  // namespace zorva
