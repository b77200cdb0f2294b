#pragma once

#include <vector>

#include "core/text.h"

namespace zorva {

// One lesson-level catalogue entry: the four fields the catalogue gives it.
struct CatalogueEntry {
  Text title;     // shown in the tree exactly as this
  Text dir;       // the lesson's folder on the server
  Text type;      // "lesson", or anything else for a program item
  Text fileName;  // the program item's file
};

// The catalogue entry table: one row per lesson-level entry, in the order the
// tree was built, from row 0. Searches compare bytes exactly and answer the
// first equal row, or -1.
class EntryTable {
 public:
  void Clear() { m_rows.clear(); }
  void Append(CatalogueEntry entry) { m_rows.push_back(std::move(entry)); }
  int Count() const { return static_cast<int>(m_rows.size()); }
  bool IsEmpty() const { return m_rows.empty(); }
  const CatalogueEntry& Row(int row) const { return m_rows[static_cast<size_t>(row)]; }

  int FindTitle(const Text& title) const {
    for (int row = 0; row < Count(); ++row)
      if (Row(row).title == title) return row;
    return -1;
  }

 private:
  std::vector<CatalogueEntry> m_rows;
};

}  // namespace zorva
