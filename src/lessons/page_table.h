#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

#include "core/text.h"

namespace zorva {

// One page of the lesson being played: its movie's file name and its
// "delay_time" text (empty when the page has none).
struct LessonPage {
  Text name;
  Text delay;
};

// The page table: row i describes page i + 1 of the current lesson, in play
// order. Emptied and refilled by every lesson request.
class PageTable {
 public:
  void Clear() { m_rows.clear(); }
  // Inserts at row, or appends when the table has fewer rows.
  void Insert(int row, LessonPage page) {
    const size_t at = row < 0 ? 0 : std::min(static_cast<size_t>(row), m_rows.size());
    m_rows.insert(m_rows.begin() + static_cast<std::ptrdiff_t>(at), std::move(page));
  }
  int Count() const { return static_cast<int>(m_rows.size()); }
  bool IsEmpty() const { return m_rows.empty(); }
  const LessonPage& Row(int row) const { return m_rows[static_cast<size_t>(row)]; }

 private:
  std::vector<LessonPage> m_rows;
};

}  // namespace zorva
