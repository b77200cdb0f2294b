#pragma once

#include <optional>

#include "core/text.h"

namespace zorva {

// Whether a lesson page is an advertisement: "_ad" anywhere in its name, in
// any letter case. The page buttons do nothing on such a page.
bool IsAdvertisementPage(const Text& pageName);

// The files a program item is known by, all derived from its catalogue
// file_name. The base name is the file name less its last four characters
// (an extension such as ".exe"); a name of four characters or fewer has an
// empty base name, so its version file is ".xml".
struct ProgramItemFiles {
  Text program;  // the file name itself, in the working directory
  Text baseName;
  Text versionFile;  // baseName + ".xml", in the working directory and on the server
  Text jobFile;      // "download_" + baseName + ".xml", in dl/ on the server
};

// Nothing when the file name is not a plain file name: such an item is never
// looked up, fetched or started.
std::optional<ProgramItemFiles> ProgramItemNames(const Text& fileName);

}  // namespace zorva
