#include "tools/catalogue_scan.h"

#include <algorithm>
#include <string_view>

#include "core/cp936.h"
#include "core/toolkit.h"

namespace zorva::tool {

namespace {

bool IsNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '-' || c == '.' || c == ':';
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// A tag read from position '<' on: its name, attributes and where it ends.
struct RawTag {
  bool closing = false;
  bool selfClosing = false;
  std::string name;
  std::map<std::string, Text> attributes;
  size_t end = 0;  // just past '>' (or the end of the text)
};

RawTag ReadTag(std::string_view s, size_t lt) {
  RawTag tag;
  size_t p = lt + 1;
  if (p < s.size() && s[p] == '/') {
    tag.closing = true;
    ++p;
  }
  while (p < s.size() && IsNameChar(s[p])) tag.name += s[p++];
  while (p < s.size()) {
    while (p < s.size() && IsBlank(s[p])) ++p;
    if (p >= s.size()) break;
    if (s[p] == '>') {
      ++p;
      break;
    }
    if (s[p] == '/' && p + 1 < s.size() && s[p + 1] == '>') {
      tag.selfClosing = true;
      p += 2;
      break;
    }
    std::string attr;
    while (p < s.size() && IsNameChar(s[p])) attr += s[p++];
    if (attr.empty()) {  // a stray byte: step over it
      ++p;
      continue;
    }
    while (p < s.size() && IsBlank(s[p])) ++p;
    Text value;
    if (p < s.size() && s[p] == '=') {
      ++p;
      while (p < s.size() && IsBlank(s[p])) ++p;
      if (p < s.size() && (s[p] == '"' || s[p] == '\'')) {
        const char quote = s[p++];
        size_t close = s.find(quote, p);
        if (close == std::string_view::npos) close = s.size();
        value = Text(s.substr(p, close - p));
        p = std::min(close + 1, s.size());
      } else {
        size_t start = p;
        while (p < s.size() && !IsBlank(s[p]) && s[p] != '>') ++p;
        value = Text(s.substr(start, p - start));
      }
    }
    tag.attributes.emplace(attr, value);  // the first of a repeated name counts
  }
  tag.end = p;
  return tag;
}

int LevelOf(const std::string& name, const std::vector<Text>& tags) {
  for (size_t i = 0; i < tags.size(); ++i)
    if (tags[i] == name.c_str()) return static_cast<int>(i);
  return -1;
}

// The elements of text (with comments already blanked) whose names are in
// tags; lineBase is the line of the text's first byte.
void ScanTags(std::string_view s, const std::vector<Text>& tags, int lineBase,
              std::vector<ScannedElement>& out) {
  std::vector<int> open;  // indexes into out
  int line = lineBase;
  size_t counted = 0;
  auto lineAt = [&](size_t pos) {
    line += static_cast<int>(std::count(s.begin() + counted, s.begin() + pos, '\n'));
    counted = pos;
    return line;
  };
  size_t pos = 0;
  for (;;) {
    size_t lt = Text::FindIn(s, "<", pos);
    if (lt == std::string_view::npos) break;
    RawTag raw = ReadTag(s, lt);
    pos = std::max(raw.end, lt + 1);
    const int level = LevelOf(raw.name, tags);
    if (level < 0) continue;
    auto levelOf = [&](int index) { return LevelOf(out[index].tag.str(), tags); };
    if (raw.closing) {
      auto it =
          std::find_if(open.rbegin(), open.rend(), [&](int i) { return levelOf(i) == level; });
      if (it == open.rend()) continue;  // a stray closing tag
      out[*it].closed = true;
      open.erase(std::next(it).base(), open.end());
      continue;
    }
    // Levels do not nest in themselves: a new element of a level ends every
    // open element of that level and below, which then had no closing tag.
    while (!open.empty() && levelOf(open.back()) >= level) open.pop_back();
    ScannedElement element;
    element.tag = Text(raw.name);
    element.line = lineAt(lt);
    element.attributes = std::move(raw.attributes);
    element.selfClosing = raw.selfClosing;
    if (!open.empty() && levelOf(open.back()) == level - 1) element.parent = open.back();
    out.push_back(std::move(element));
    if (!raw.selfClosing) open.push_back(static_cast<int>(out.size()) - 1);
  }
}

std::string Utf8(const Text& text) { return ToUtf8(text); }

}  // namespace

ScannedDocument ScanElements(const Text& text, const std::vector<Text>& tags) {
  // Comments are blanked the way the client removes them (the first "<!--"
  // up to the next "-->", or to the end when there is none), keeping line
  // breaks so that line numbers stay those of the file.
  std::string blanked = text.str();
  std::vector<std::pair<size_t, size_t>> comments;
  size_t from = 0;
  for (;;) {
    size_t open = Text::FindIn(blanked, "<!--", from);
    if (open == std::string::npos) break;
    size_t close = Text::FindIn(blanked, "-->", open);
    size_t end = close == std::string::npos ? blanked.size() : close + 3;
    comments.emplace_back(open, end);
    for (size_t i = open; i < end; ++i)
      if (blanked[i] != '\n') blanked[i] = ' ';
    from = end;
  }
  ScannedDocument doc;
  ScanTags(blanked, tags, 1, doc.elements);
  const std::string_view original = text.view();
  for (auto [open, end] : comments) {
    const int line =
        1 + static_cast<int>(std::count(original.begin(), original.begin() + open, '\n'));
    ScanTags(original.substr(open + 4, end - open - 4), tags, line, doc.commented);
  }
  return doc;
}

bool IsPlainOrder(const Text& order) {
  if (order.IsEmpty() || order.GetLength() > 9 || order[0] == '0') return false;
  return std::all_of(order.view().begin(), order.view().end(),
                     [](char c) { return c >= '0' && c <= '9'; });
}

std::vector<int> AnalyseLevel(const ScannedDocument& doc, const std::vector<int>& level,
                              const LevelRule& rule, const std::string& file,
                              std::vector<Finding>& findings) {
  const bool pages = rule.maxGaps > 0;
  const char* never = pages ? "never played" : "never shown";
  auto warn = [&](const ScannedElement& e, std::string message) {
    findings.push_back(
        {Finding::Severity::Warning, file, e.line, "<" + e.tag.str() + "> " + std::move(message)});
  };

  // The client's lookup walks elements in document order and gives up at
  // the first one without an "order" attribute.
  std::vector<int> reachable;
  for (int index : level) {
    const ScannedElement& e = doc.elements[index];
    if (!e.HasAttribute("order")) {
      warn(e, std::string("has no order attribute: the client stops looking there, so it and every "
                          "later ") +
                  rule.noun + " of its list are " + never);
      break;
    }
    reachable.push_back(index);
  }
  std::map<Text, int> firstByOrder;
  int highestPlain = 0;
  for (int index : reachable) {
    const Text order = doc.elements[index].Attribute("order");
    firstByOrder.emplace(order, index);
    if (IsPlainOrder(order)) highestPlain = std::max(highestPlain, TextToInt(order));
  }
  auto keyOf = [&](int index) { return doc.elements[index].Attribute(rule.keyAttribute); };

  // The client's walk: 1, 2, ... until more than maxGaps gaps in a row.
  std::vector<int> taken;
  int stop = 0;  // the order at which the walk ended
  for (int n = 1, gaps = 0;; ++n) {
    auto it = firstByOrder.find(IntToText(n));
    if (it != firstByOrder.end() && !keyOf(it->second).IsEmpty()) {
      taken.push_back(it->second);
      gaps = 0;
      continue;
    }
    if (++gaps > rule.maxGaps) {
      stop = n;
      break;
    }
  }
  const int firstGap = stop - rule.maxGaps;  // where the gaps that ended the walk begin

  for (int index : reachable) {
    if (std::find(taken.begin(), taken.end(), index) != taken.end()) continue;
    const ScannedElement& e = doc.elements[index];
    const Text order = e.Attribute("order");
    const std::string shown = "order \"" + Utf8(order) + "\"";
    if (!IsPlainOrder(order)) {
      std::string why = order.IsEmpty()                              ? "is empty"
                        : (order[0] == '+' || order[0] == '-')       ? "has a sign"
                        : (order[0] == '0' && order.GetLength() > 1) ? "has a leading zero"
                                                                     : "is not a plain number";
      warn(e, shown + " " + why + ": " + never);
      continue;
    }
    const int n = TextToInt(order);
    if (firstByOrder[order] != index) {
      warn(e, shown + " is taken by line " +
                  std::to_string(doc.elements[firstByOrder[order]].line) + ": " + never);
      continue;
    }
    if (keyOf(index).IsEmpty()) {
      if (pages) {
        warn(e, std::string("has no name: order ") + std::to_string(n) + " counts as a gap");
      } else if (n < highestPlain) {
        warn(e,
             "has an empty title: it ends the list, so it and every later order are never shown");
      } else {
        warn(e, "has an empty title: never shown");
      }
      continue;
    }
    // A plain, unique order with a key that the walk never reached.
    if (pages) {
      warn(e, shown + " comes after more than ten missing orders (" + std::to_string(firstGap) +
                  " to " + std::to_string(stop) + "): " + never);
    } else {
      auto ender = firstByOrder.find(IntToText(stop));
      if (ender != firstByOrder.end())
        warn(e, shown + " comes after the empty title on line " +
                    std::to_string(doc.elements[ender->second].line) + ": " + never);
      else
        warn(e, shown + " comes after a gap in the order numbers (no order " +
                    std::to_string(stop) + "): " + never);
    }
  }
  return taken;
}

}  // namespace zorva::tool
