// The indexed lookup must answer every question with exactly the bytes of the
// plain lookup, whatever the document holds.
//
// Input: the document, then questions of four fields each (tag, attribute,
// value, result attribute), all separated by NUL bytes; a text never holds a
// NUL, so the separator cannot occur inside a field. Missing fields are
// empty. Without any question, a few fixed ones are asked.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "core/text.h"
#include "core/xml.h"
#include "core/xml_index.h"

namespace {

// More questions than this add little and slow the run down.
constexpr size_t kMaxQuestions = 32;

void Report(const char* what, const zorva::Text& text) {
  std::fprintf(stderr, "%s (%d bytes): ", what, text.GetLength());
  for (unsigned char c : text.view()) {
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      std::fputc(c, stderr);
    } else {
      std::fprintf(stderr, "\\x%02X", c);
    }
  }
  std::fputc('\n', stderr);
}

void Check(const zorva::Text& document, const zorva::XmlIndex& index, const zorva::Text& tag,
           const zorva::Text& attribute, const zorva::Text& value,
           const zorva::Text& resultAttribute) {
  zorva::Text indexed = index.Value(tag, attribute, value, resultAttribute);
  zorva::Text plain = zorva::GetXmlValue(document, tag, attribute, value, resultAttribute);
  if (indexed == plain) return;
  std::fprintf(stderr, "indexed and plain lookup differ\n");
  Report("document", document);
  Report("tag", tag);
  Report("attribute", attribute);
  Report("value", value);
  Report("result attribute", resultAttribute);
  Report("indexed", indexed);
  Report("plain", plain);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string_view> fields;
  for (;;) {
    size_t nul = input.find('\0');
    fields.push_back(input.substr(0, nul));
    if (nul == std::string_view::npos) break;
    input.remove_prefix(nul + 1);
  }
  const zorva::Text document(fields[0]);
  const zorva::XmlIndex index(document);
  auto field = [&](size_t i) { return i < fields.size() ? zorva::Text(fields[i]) : zorva::Text(); };

  if (fields.size() == 1) {
    Check(document, index, "a", "", "", "");
    Check(document, index, "u", "n", "1", "v");
    Check(document, index, "u", "n", "2", "");
    return 0;
  }
  for (size_t q = 0; q < kMaxQuestions && 1 + 4 * q < fields.size(); ++q) {
    size_t first = 1 + 4 * q;
    Check(document, index, field(first), field(first + 1), field(first + 2), field(first + 3));
  }
  return 0;
}
