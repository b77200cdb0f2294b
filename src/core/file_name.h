#pragma once

#include <string_view>

namespace zorva {

// Whether a name that came from the network, the catalogue or the user may
// become one file in a folder the program chose: not empty, not "." or "..",
// no "\" character and no "/" or NUL byte. A "/" or NUL byte is refused
// wherever it stands, even where it would follow the first byte of a
// two-byte character, because the file system splits or ends the name there;
// a byte 0x5C that is the second byte of a two-byte character is part of
// that character, not a backslash.
bool IsPlainFileName(std::string_view name);

// Whether a relative path may name a file below a folder the program chose:
// one or more plain file names joined by single "/" bytes, so it can neither
// start at the root nor climb out.
bool IsPlainRelativePath(std::string_view path);

}  // namespace zorva
