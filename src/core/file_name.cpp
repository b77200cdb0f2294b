#include "core/file_name.h"

#include "core/text.h"

namespace zorva {

bool IsPlainFileName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos &&
         Text::FindIn(name, "\\", 0) == std::string_view::npos;
}

}  // namespace zorva
