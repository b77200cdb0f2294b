#pragma once

#include <memory>

#include "core/text.h"

namespace zorva {

// Answers many questions to one document with exactly the bytes GetXmlValue
// gives, without rescanning the document from the start for each question.
// Build it once (comments are removed once, positions of tags are indexed)
// and ask as often as needed; the document may be large (a catalogue of
// thousands of lessons). It fills caches as it answers, so one index serves
// one thread at a time.
class XmlIndex {
 public:
  explicit XmlIndex(const Text& document);
  ~XmlIndex();
  XmlIndex(XmlIndex&&) noexcept;
  XmlIndex& operator=(XmlIndex&&) noexcept;

  Text Value(const Text& tag, const Text& attribute = Text(), const Text& value = Text(),
             const Text& resultAttribute = Text()) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

}  // namespace zorva
