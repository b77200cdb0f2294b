#include "core/codec.h"

// Placeholder until the codec lands.
namespace zorva {
Text ScrambleText(const Text&, const Text&) { return {}; }
Text ScrambleChars(const Text&, const Text&) { return {}; }
}  // namespace zorva
