#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace zorva::test {

// The whole content of a file, byte for byte; empty when it cannot be read.
inline std::string ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

}  // namespace zorva::test
