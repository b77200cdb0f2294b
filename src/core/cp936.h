#pragma once

#include <string>
#include <string_view>

#include "core/text.h"

namespace zorva {

// The one conversion between code page 936 texts and UTF-8 (what Qt strings,
// source literals and the terminal use). Characters that code page 936
// cannot hold become "?"; bytes that are not valid code page 936 become
// U+FFFD on the way out.
Text FromUtf8(std::string_view utf8);
std::string ToUtf8(const Text& text);

}  // namespace zorva
