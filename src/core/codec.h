#pragma once

#include "core/text.h"

namespace zorva {

// The scrambled text codec shared with the server. Mode "e" encodes: every
// byte becomes a group of a random table digit and a two-digit code (or "??"
// for bytes other than a-z and 0-9 after lower-casing), followed by a random
// number, the body length and the encoded length. Any other mode decodes and
// never fails: foreign input gives whatever the format rules select.
// Encoding pumps messages for 10 ms before each character.
Text ScrambleText(const Text& text, const Text& mode);

// The inner step: mode "e" encodes all bytes of text in one table and
// prefixes the table digit; any other mode decodes "digit + codes".
Text ScrambleChars(const Text& text, const Text& mode);

}  // namespace zorva
