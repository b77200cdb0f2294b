#include "core/toolkit.h"

#include <climits>
#include <clocale>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/codec.h"
#include "core/pump.h"
#include "core/xml.h"

namespace zorva {

namespace {

// The conversions read a copy of at most 255 bytes, like the fixed buffer
// they always worked on. White space is that of the C locale whatever the
// process's locale says: under a single-byte locale isspace would take
// bytes of two-byte characters for blanks.
std::string_view ConversionInput(const Text& text) {
  std::string_view s = text.view().substr(0, 255);
  size_t skipped = s.find_first_not_of(" \t\n\v\f\r");
  return skipped == std::string_view::npos ? std::string_view() : s.substr(skipped);
}

}  // namespace

Text IntToText(int value) { return Text::Format("%d", value); }

int TextToInt(const Text& text) {
  std::string_view s = ConversionInput(text);
  bool negative = false;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  long long value = 0;
  for (char c : s) {
    if (c < '0' || c > '9') break;
    value = value * 10 + (c - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) break;  // saturates below
  }
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

float TextToFloat(const Text& text) {
  // The C locale, not the process's: a program under a German locale must
  // still read "2.1" as 2.1.
  static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
  std::string copy(text.view().substr(0, 255));
  return static_cast<float>(strtod_l(copy.c_str(), nullptr, cLocale));
}

bool CToolkit::PumpMessages() { return zorva::PumpMessages(); }
void CToolkit::WaitPumping(double ms) { zorva::WaitPumping(ms); }

Text CToolkit::IntToText(int value) { return zorva::IntToText(value); }
int CToolkit::TextToInt(const Text& text) { return zorva::TextToInt(text); }
float CToolkit::TextToFloat(const Text& text) { return zorva::TextToFloat(text); }

Text CToolkit::ReadTextFile(const Text& path, StatusWindow* status) {
  return zorva::ReadTextFile(path, status);
}
void CToolkit::SaveTextFile(const Text& path, const Text& content, StatusWindow* status) {
  zorva::SaveTextFile(path, content, status);
}
Text CToolkit::GetXmlValue(const Text& document, const Text& tag, const Text& attribute,
                           const Text& value, const Text& resultAttribute) {
  return zorva::GetXmlValue(document, tag, attribute, value, resultAttribute);
}
Text CToolkit::ReadXmlValue(const Text& path, const Text& tag, const Text& attribute,
                            const Text& value, const Text& resultAttribute) {
  return zorva::ReadXmlValue(path, tag, attribute, value, resultAttribute);
}

Text CToolkit::ScrambleText(const Text& text, const Text& mode) {
  return zorva::ScrambleText(text, mode);
}
Text CToolkit::ScrambleChars(const Text& text, const Text& mode) {
  return zorva::ScrambleChars(text, mode);
}

}  // namespace zorva
