#pragma once

#include <string>
#include <vector>

#include "core/text.h"
#include "lessons/entry_table.h"
#include "tools/catalogue_scan.h"

namespace zorva::tool {

class ContentSource;

// One item of the catalogue tree as the client shows it.
struct ShownItem {
  Text text;     // level 1 and 2 with their trailing full stop
  int row = -1;  // entry table row of a lesson-level item
  int line = 0;  // its element's line in the catalogue, 0 when unknown
  std::vector<ShownItem> children;
};

// A page as the client stores it (".html" already played as ".swf").
struct CheckedPage {
  Text name;
  Text delay;
  int line = 0;
};

struct CheckedLesson {
  int row = -1;
  bool pageListRead = false;
  std::vector<CheckedPage> pages;
};

struct CheckReport {
  std::string source;
  bool catalogueRead = false;
  std::vector<ShownItem> tree;
  EntryTable entries;
  bool lessonsChecked = false;  // false when the page lists could not be asked for
  std::vector<CheckedLesson> lessons;
  std::vector<Finding> findings;

  int Count(Finding::Severity severity) const;
};

// Reads the catalogue from source, builds it as the client does, and checks
// it, every lesson's page list and movies, and every program item's files.
CheckReport CheckCatalogue(ContentSource& source);

}  // namespace zorva::tool
