#pragma once

#include <map>
#include <string>
#include <vector>

#include "core/text.h"

namespace zorva::tool {

// One finding of the catalogue checker. Errors are things the client cannot
// show or play; warnings are things it hides or does differently from what
// the file seems to say, without telling anyone.
struct Finding {
  enum class Severity { Warning, Error };
  Severity severity = Severity::Warning;
  std::string file;     // what the line number counts in ("" when none)
  int line = 0;         // 1-based; 0 when the finding has no line
  std::string message;  // UTF-8
};

// An element of a catalogue or a page list as it stands in the file, found
// by a tolerant scan that keeps line numbers. The client never builds such a
// tree; the checker uses it to say where the client's lookups go astray.
struct ScannedElement {
  Text tag;
  int line = 0;
  std::map<std::string, Text> attributes;  // attribute name -> quoted value
  bool selfClosing = false;
  bool closed = false;  // an own closing tag was found
  int parent = -1;      // index of the enclosing catalogue element, or -1
  bool HasAttribute(const char* name) const { return attributes.count(name) != 0; }
  Text Attribute(const char* name) const {
    auto it = attributes.find(name);
    return it == attributes.end() ? Text() : it->second;
  }
};

struct ScannedDocument {
  std::vector<ScannedElement> elements;  // in document order
  // Catalogue-like elements inside comments, which the client never sees.
  std::vector<ScannedElement> commented;
};

// Scans text for the elements named in tags (a closing tag pairs with the
// nearest open element of its name). Nesting follows the catalogue's levels
// in the order tags are given: an element's parent is the nearest open
// element of the tag listed before its own.
ScannedDocument ScanElements(const Text& text, const std::vector<Text>& tags);

// How one level of elements is read: by "order" numbers 1, 2, ... in plain
// decimal; an order whose element is missing or has an empty key attribute
// is a gap, and the level ends after more than maxGaps gaps in a row.
struct LevelRule {
  const char* keyAttribute;  // "title" for the catalogue, "name" for pages
  int maxGaps;               // 0 for the catalogue, 10 for page lists
  const char* noun;          // "lesson", "page", ... for messages
};

// Elements of one level in document order (indexes into doc.elements). Adds
// a finding for every element the client will never take, and answers the
// taken ones in the client's order.
std::vector<int> AnalyseLevel(const ScannedDocument& doc, const std::vector<int>& level,
                              const LevelRule& rule, const std::string& file,
                              std::vector<Finding>& findings);

// True for 1, 2, 3, ... written the way the client writes its numbers.
bool IsPlainOrder(const Text& order);

}  // namespace zorva::tool
