#pragma once

#include <vector>

#include "core/text.h"

namespace zorva {

// One page of a lesson: its movie's file name and its "delay_time" text
// (empty when the page has none).
struct LessonPage {
  Text name;
  Text delay;
};

// The page table: row i describes page i + 1 of a lesson, in play order.
class PageTable {
 public:
  void Append(LessonPage page) { m_rows.push_back(std::move(page)); }
  int Count() const { return static_cast<int>(m_rows.size()); }
  bool IsEmpty() const { return m_rows.empty(); }
  const LessonPage& Row(int row) const { return m_rows[static_cast<size_t>(row)]; }

 private:
  std::vector<LessonPage> m_rows;
};

// A page list is read on across this many missing orders in a row.
constexpr int kMaxPageGaps = 10;

// The pages of a lesson request's reply, as the client plays them: the
// "file" elements by their "order" numbers 1, 2, ..., reading on across up
// to ten missing (or nameless) orders in a row and closing the gaps, and
// every ".html" in a name read as ".swf". A reply without pages gives the
// empty table.
PageTable ReadPageList(const Text& reply);

}  // namespace zorva
