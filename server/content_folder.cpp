#include "server/content_folder.h"

#include <algorithm>
#include <cctype>

namespace zorva::server {

namespace fs = std::filesystem;

ContentFolder::ContentFolder(const fs::path& root) {
  std::error_code ec;
  fs::path canonical = fs::canonical(root, ec);
  if (!ec && fs::is_directory(canonical, ec)) m_root = canonical;
}

bool ContentFolder::IsPlainName(std::string_view name) {
  if (name.empty() || name.front() == '.') return false;
  return name.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}

std::optional<fs::path> ContentFolder::Resolve(std::string_view requestPath) const {
  if (m_root.empty()) return std::nullopt;
  fs::path candidate = m_root;
  size_t segments = 0;
  size_t pos = 0;
  while (pos <= requestPath.size()) {
    size_t next = requestPath.find('/', pos);
    if (next == std::string_view::npos) next = requestPath.size();
    std::string_view segment = requestPath.substr(pos, next - pos);
    pos = next + 1;
    if (segment.empty()) continue;
    if (!IsPlainName(segment)) return std::nullopt;
    candidate /= std::string(segment);
    ++segments;
  }
  if (segments == 0) return std::nullopt;

  // Symbolic links are followed, then the real place must still lie inside.
  std::error_code ec;
  fs::path real = fs::canonical(candidate, ec);
  if (ec) return std::nullopt;
  auto [rootEnd, realIt] = std::mismatch(m_root.begin(), m_root.end(), real.begin(), real.end());
  if (rootEnd != m_root.end()) return std::nullopt;
  if (!fs::is_regular_file(real, ec)) return std::nullopt;
  return real;
}

std::string ContentFolder::ContentType(const fs::path& file) {
  std::string ext = file.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (ext == ".xml") return "text/xml";
  if (ext == ".htm" || ext == ".html") return "text/html";
  if (ext == ".txt") return "text/plain";
  if (ext == ".swf") return "application/x-shockwave-flash";
  if (ext == ".css") return "text/css";
  if (ext == ".js") return "text/javascript";
  if (ext == ".png") return "image/png";
  if (ext == ".gif") return "image/gif";
  if (ext == ".jpg" || ext == ".jpeg") return "image/jpeg";
  return "application/octet-stream";
}

std::string FoldSlashes(std::string_view path) {
  std::string folded = "/";
  for (char c : path) {
    if (c == '/' && folded.back() == '/') continue;
    folded.push_back(c);
  }
  return folded;
}

}  // namespace zorva::server
