#pragma once

#include <optional>

#include "core/text.h"
#include "lessons/entry_table.h"

class QWidget;

namespace zorva {

// What loading the catalogue asks of the lesson window: its title and a
// tree that is built strictly in order, so every new item goes last under
// the newest item of the level above.
class CatalogueView {
 public:
  virtual ~CatalogueView() = default;

  virtual void SetTitle(const Text& title) = 0;

  virtual void DeleteAllTreeItems() = 0;
  // A new last root item.
  virtual void AddLevel1Item(const Text& text) = 0;
  // A new last child of the newest level 1 item.
  virtual void AddLevel2Item(const Text& text) = 0;
  // A new last child of the newest level 2 item, standing for this row of
  // the entry table.
  virtual void AddLevel3Item(const Text& text, int row) = 0;
};

// How the builder answers its questions to the catalogue text: through an
// index of each document it reads (the program's way), or by a fresh scan
// per question (for comparison). Both give the same bytes.
enum class CatalogueLookup { Indexed, Plain };

// Fetches the catalogue from the server base address and rebuilds the tree
// and the entry table from it. The title says "正在读取课程列表......" while it
// runs and "主窗口" after. A catalogue that cannot be fetched leaves the tree
// and the table empty; nothing is reported.
void LoadCatalogue(CatalogueView& view, EntryTable& entries,
                   CatalogueLookup lookup = CatalogueLookup::Indexed);

// The building alone, from a catalogue text in hand: levels by their
// "order" numbers 1, 2, ... until the first without a title; level 1 and 2
// items show their title followed by "."; each lesson-level entry becomes a
// tree item and one row of the table, in build order. Adds to what the view
// and the table hold.
void BuildCatalogue(const Text& catalogue, CatalogueView& view, EntryTable& entries,
                    CatalogueLookup lookup = CatalogueLookup::Indexed);

// The row of the entry table that the tree's selected item stands for:
// selectedRow is the row the item was built for (-1 for an item of level 1
// or 2), or empty when nothing is selected. The item's own row, never the
// first row with its title: catalogues repeat titles across subjects. When
// there is none, the user is told why in a message box owned by owner, and
// the answer is -1.
int ResolveSelectedItem(std::optional<int> selectedRow, const EntryTable& entries,
                        QWidget* owner = nullptr);

}  // namespace zorva
