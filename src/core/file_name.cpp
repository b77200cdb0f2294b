#include "core/file_name.h"

#include "core/text.h"

namespace zorva {

bool IsPlainFileName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos &&
         Text::FindIn(name, "\\", 0) == std::string_view::npos;
}

bool IsPlainRelativePath(std::string_view path) {
  for (;;) {
    const size_t slash = path.find('/');
    if (!IsPlainFileName(path.substr(0, slash))) return false;
    if (slash == std::string_view::npos) return true;
    path.remove_prefix(slash + 1);
  }
}

}  // namespace zorva
