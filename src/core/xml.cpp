#include "core/xml.h"

// Placeholder until the XML lookup lands.
namespace zorva {
Text ReadTextFile(const Text&, StatusWindow*) { return {}; }
bool SaveTextFile(const Text&, const Text&, StatusWindow*) { return false; }
Text GetXmlValue(const Text&, const Text&, const Text&, const Text&, const Text&) { return {}; }
Text ReadXmlValue(const Text&, const Text&, const Text&, const Text&, const Text&) { return {}; }
}  // namespace zorva
