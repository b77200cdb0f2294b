#include "core/xml_index.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace zorva {

namespace {

bool IsLeadByte(unsigned char b) { return b >= 0x81 && b <= 0xFE; }

constexpr size_t kNone = std::string_view::npos;

// Comment removal with the same result as removing the first comment and
// searching again from the start until none is left, in one pass. The output
// grows byte by byte and remembers which of its positions start a character,
// so a "<!--" is recognised exactly where a fresh double-byte-aware search
// would find it, also when a removal has joined bytes into one. A comment
// starts a character, so removing it leaves the output at a character start.
std::string StripComments(std::string_view in) {
  if (in.find("<!--") == kNone) return std::string(in);
  std::string out(in.size(), '\0');
  char* o = out.data();
  std::vector<unsigned char> startsChar(in.size() + 1);  // for each position of out
  startsChar[0] = 1;
  size_t n = 0;
  size_t r = 0;
  while (r < in.size()) {
    char c = in[r++];
    o[n] = c;
    startsChar[n + 1] = !(startsChar[n] && IsLeadByte(static_cast<unsigned char>(c)));
    ++n;
    if (c != '-' || n < 4 || o[n - 2] != '-' || o[n - 3] != '!' || o[n - 4] != '<' ||
        !startsChar[n - 4]) {
      continue;
    }
    // "-->" from the "<!--" on: the "--" of the opening may already be part
    // of it. The rest of the input starts a character here.
    std::string_view rest = in.substr(r);
    n -= 4;
    if (rest.starts_with(">")) {
      r += 1;
    } else if (rest.starts_with("->")) {
      r += 2;
    } else {
      size_t close = Text::FindIn(rest, "-->", 0);
      if (close == kNone) break;
      r += close + 3;
    }
  }
  out.resize(n);
  return out;
}

// The bytes strictly between the first double quote at or after from and
// the next one; empty when either is missing.
std::string_view QuotedAfter(std::string_view openingTag, size_t from) {
  size_t q1 = Text::FindIn(openingTag, "\"", from);
  if (q1 == kNone) return {};
  size_t q2 = Text::FindIn(openingTag, "\"", q1 + 1);
  if (q2 == kNone) return {};
  return openingTag.substr(q1 + 1, q2 - q1 - 1);
}

// First element of a sorted list at or after pos, or kNone.
size_t FirstAtOrAfter(const std::vector<size_t>& list, size_t pos) {
  auto it = std::lower_bound(list.begin(), list.end(), pos);
  return it == list.end() ? kNone : *it;
}

// Repeated searches for one needle from positions that only grow, as the
// record search makes them: a match found earlier still answers while it
// lies at or after the new position, so the text is scanned about once.
class ForwardSearch {
 public:
  ForwardSearch(std::string_view text, std::string_view needle) : m_text(text), m_needle(needle) {}

  // First match at or after pos that starts a character, or kNone.
  size_t At(size_t pos) {
    if (!m_searched || pos < m_from || (m_found != kNone && m_found < pos)) {
      m_from = pos;
      m_found = Text::FindIn(m_text, m_needle, pos);
      m_searched = true;
    }
    return m_found;
  }

 private:
  std::string_view m_text;
  std::string_view m_needle;
  bool m_searched = false;
  size_t m_from = 0;
  size_t m_found = kNone;
};

// The bytes from first up to (not including) end, empty when end is not
// after first.
std::string_view Between(std::string_view text, size_t first, size_t end) {
  return end > first ? text.substr(first, end - first) : std::string_view();
}

}  // namespace

struct XmlIndex::Impl {
  // Where "<" + tag and "</" + tag + ">" stand, for one tag.
  struct TagPlaces {
    std::vector<size_t> opens;
    std::vector<size_t> closes;
    mutable std::optional<std::string_view> content;  // the answer to the content query, once asked
  };

  // One candidate element of a record search, as the search examines it.
  struct Candidate {
    std::string_view openingTag;
    std::string_view content;
  };

  // The whole record search for one tag and attribute: the search visits the
  // same candidates whatever value is wanted, and stops at the same place.
  // The first candidate with each attribute value is the answer for it.
  struct Walk {
    std::unordered_map<std::string_view, Candidate> firstByValue;
  };

  std::string work;               // the document without comments
  std::vector<size_t> lessThans;  // every "<" that starts a character

  // Built on first use; the index answers on one thread.
  mutable std::unordered_map<std::string, TagPlaces> tags;
  mutable std::map<std::pair<std::string, std::string>, Walk> walks;

  explicit Impl(std::string_view document) : work(StripComments(document)) {
    const char* bytes = work.data();
    size_t i = 0;
    while (const void* hit = std::memchr(bytes + i, '<', work.size() - i)) {
      size_t pos = static_cast<size_t>(static_cast<const char*>(hit) - bytes);
      if (Text::IsCharBoundary(work, pos)) lessThans.push_back(pos);
      i = pos + 1;
    }
  }

  const TagPlaces& PlacesOf(std::string_view tag) const {
    auto found = tags.find(std::string(tag));
    if (found != tags.end()) return found->second;
    TagPlaces places;
    std::string_view text = work;
    for (size_t lt : lessThans) {
      std::string_view after = text.substr(lt + 1);
      if (after.starts_with(tag)) places.opens.push_back(lt);
      if (after.size() > tag.size() + 1 && after[0] == '/' && after.substr(1).starts_with(tag) &&
          after[tag.size() + 1] == '>') {
        places.closes.push_back(lt);
      }
    }
    return tags.emplace(std::string(tag), std::move(places)).first->second;
  }

  Text Content(std::string_view tag) const {
    const TagPlaces& places = PlacesOf(tag);
    if (!places.content) places.content = ContentOf(places);
    return Text(*places.content);
  }

  std::string_view ContentOf(const TagPlaces& places) const {
    if (places.opens.empty()) return {};
    size_t s = places.opens.front();
    size_t close = FirstAtOrAfter(places.closes, s);
    size_t slash = Text::FindIn(work, "/>", s);
    if (close == kNone || (slash != kNone && slash < close)) return {};
    size_t gt = Text::FindIn(work, ">", s);
    if (gt == kNone) return {};
    return Between(work, gt + 1, close);
  }

  const Walk& WalkOf(std::string_view tag, std::string_view attribute) const {
    auto key = std::make_pair(std::string(tag), std::string(attribute));
    auto found = walks.find(key);
    if (found != walks.end()) return found->second;
    Walk walk;
    const TagPlaces& places = PlacesOf(tag);
    std::string_view text = work;
    ForwardSearch slashes(text, "/>");
    ForwardSearch greaters(text, ">");
    size_t pos = 0;
    for (;;) {
      size_t s = FirstAtOrAfter(places.opens, pos);
      if (s == kNone) break;
      size_t slash = slashes.At(s);
      size_t close = FirstAtOrAfter(places.closes, s);
      Candidate record;
      size_t next;
      if (close != kNone) {
        size_t gt = greaters.At(s);
        if (gt == kNone) break;
        record.openingTag = text.substr(s, gt - s);
        record.content = Between(text, gt + 1, close);
        next = gt;
      } else if (slash != kNone) {
        record.openingTag = text.substr(s, slash - s);
        next = slash;
      } else {
        break;
      }
      size_t a = Text::FindIn(record.openingTag, attribute, 0);
      if (a == kNone) break;
      walk.firstByValue.try_emplace(QuotedAfter(record.openingTag, a), record);
      pos = next;
    }
    return walks.emplace(std::move(key), std::move(walk)).first->second;
  }

  Text RecordValue(std::string_view tag, std::string_view attribute, std::string_view value,
                   std::string_view resultAttribute) const {
    const Walk& walk = WalkOf(tag, attribute);
    auto found = walk.firstByValue.find(value);
    if (found == walk.firstByValue.end()) return Text();
    const auto& record = found->second;
    if (resultAttribute.empty()) return Text(record.content);
    size_t r = Text::FindIn(record.openingTag, resultAttribute, 0);
    if (r == kNone) return Text();
    return Text(QuotedAfter(record.openingTag, r));
  }
};

XmlIndex::XmlIndex(const Text& document) : m_impl(std::make_unique<Impl>(document.view())) {}
XmlIndex::~XmlIndex() = default;
XmlIndex::XmlIndex(XmlIndex&&) noexcept = default;
XmlIndex& XmlIndex::operator=(XmlIndex&&) noexcept = default;

Text XmlIndex::Value(const Text& tag, const Text& attribute, const Text& value,
                     const Text& resultAttribute) const {
  if (attribute.IsEmpty()) return m_impl->Content(tag.view());
  return m_impl->RecordValue(tag.view(), attribute.view(), value.view(), resultAttribute.view());
}

}  // namespace zorva
