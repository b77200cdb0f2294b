#pragma once

#include "core/status_window.h"
#include "core/text.h"

namespace zorva {

// Reads a whole file in text mode: carriage return + line feed becomes a line
// feed and every line, the last one included, ends in one line feed. A file
// that cannot be opened gives the empty text and, with a status window,
// "error reading file:" + path.
Text ReadTextFile(const Text& path, StatusWindow* status = nullptr);

// Writes the content whole in text mode (each line feed as carriage return +
// line feed), through a temporary file beside the target that is renamed
// over it, so a failed save never leaves a truncated file. On failure, with a
// status window, "error in saving file" + path. Returns whether it saved.
bool SaveTextFile(const Text& path, const Text& content, StatusWindow* status = nullptr);

// One question to an XML-like document, answered by substring search: the
// content of the first element whose name starts with tag (attribute empty),
// or, for the first element whose attribute equals value, that element's
// result attribute or its content. Not found and empty are both the empty
// text. Comments are removed first.
Text GetXmlValue(const Text& document, const Text& tag, const Text& attribute, const Text& value,
                 const Text& resultAttribute);

// GetXmlValue on ReadTextFile(path) without a status window.
Text ReadXmlValue(const Text& path, const Text& tag, const Text& attribute, const Text& value,
                  const Text& resultAttribute);

}  // namespace zorva
