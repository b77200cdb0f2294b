#pragma once

// The catalogue the benchmarks ask questions of and serve: sort_list >
// lesson_list > lesson, 10 lists of 20 lessons per subject.

#include <string>

#include "core/text.h"

namespace zorva::bench {

inline constexpr int kLessonsPerList = 20;
inline constexpr int kListsPerSort = 10;

// A catalogue in the layout the server sends: sort_list > lesson_list >
// self-closing lesson, with two-byte titles and the markup's blanks.
inline Text MakeCatalogue(int lessons) {
  std::string out = "<?xml version=\"1.0\" encoding=\"gb2312\"?>\n<!-- catalogue -->\n<lesson>\n";
  int lesson = 0;
  for (int s = 1; lesson < lessons; ++s) {
    out += "<sort_list order=\"" + std::to_string(s) + "\" title=\"\xbf\xce\xb3\xcc " +
           std::to_string(s) + "\">\n";
    for (int l = 1; l <= kListsPerSort && lesson < lessons; ++l) {
      out += "  <lesson_list order=\"" + std::to_string(l) + "\" title=\"\xb5\xa5\xd4\xaa " +
             std::to_string(s) + "." + std::to_string(l) + "\">\n";
      for (int k = 1; k <= kLessonsPerList && lesson < lessons; ++k, ++lesson) {
        std::string n = std::to_string(lesson);
        out += "    <lesson order=\"" + std::to_string(k) + "\" title=\"\xb5\xda" + n +
               "\xbf\xce\" dir=\"l" + n + "\" type=\"" + (k % 7 == 0 ? "game" : "lesson") +
               "\" file_name=\"f" + n + ".swf\"/>\n";
      }
      out += "  </lesson_list>\n";
    }
    out += "</sort_list>\n";
  }
  out += "</lesson>\n";
  return Text(out);
}

}  // namespace zorva::bench
