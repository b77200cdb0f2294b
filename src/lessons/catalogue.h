#pragma once

#include <optional>

#include "core/text.h"
#include "lessons/entry_table.h"

class QWidget;

namespace zorva {

// What loading the catalogue asks of the lesson window: its title, the
// playback timer, and a tree that is built strictly in order, so every new
// item goes last under the newest item of the level above.
class CatalogueView {
 public:
  virtual ~CatalogueView() = default;

  virtual void SetTitle(const Text& title) = 0;
  virtual void StopPlaybackTimer() = 0;

  virtual void DeleteAllTreeItems() = 0;
  // A new last root item.
  virtual void AddLevel1Item(const Text& text) = 0;
  // A new last child of the newest level 1 item.
  virtual void AddLevel2Item(const Text& text) = 0;
  // A new last child of the newest level 2 item.
  virtual void AddLevel3Item(const Text& text) = 0;
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

// The row of the entry table that the tree's selected item stands for
// (selectedText empty when nothing is selected), matched by exact bytes from
// row 0 up. When there is none, the user is told why in a message box owned
// by owner, and the answer is -1.
int ResolveSelectedItem(const std::optional<Text>& selectedText, const EntryTable& entries,
                        QWidget* owner = nullptr);

}  // namespace zorva
