#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace zorva::server {

// The folder whose files the server hands out: a request path names the file
// at the same relative path, duplicate slashes folded. Nothing outside the
// folder is ever named: "." and ".." segments, hidden names, backslashes and
// NUL bytes are refused, and a symbolic link counts by where it leads.
class ContentFolder {
 public:
  explicit ContentFolder(const std::filesystem::path& root);

  // False when the folder does not exist.
  bool IsValid() const { return !m_root.empty(); }
  const std::filesystem::path& Root() const { return m_root; }

  // The regular file a request path names, or nothing.
  std::optional<std::filesystem::path> Resolve(std::string_view requestPath) const;

  // True for a name that may stand as one path segment: not empty, no "/",
  // "\" or NUL, and not starting with "." (so neither "." nor "..").
  static bool IsPlainName(std::string_view name);

  // The Content-Type for a file, by its extension. XML and HTML go out as
  // bytes without a charset: they are code page 936 and say so themselves.
  static std::string ContentType(const std::filesystem::path& file);

 private:
  std::filesystem::path m_root;  // canonical
};

// "/a//b///c" -> "/a/b/c"; always starts with "/".
std::string FoldSlashes(std::string_view path);

}  // namespace zorva::server
