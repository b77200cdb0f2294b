#include "tools/content_source.h"

#include <curl/curl.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/file_name.h"
#include "net/service_requests.h"
#include "net/transfer.h"

namespace zorva::tool {

namespace {

namespace fs = std::filesystem;

size_t Discard(char*, size_t size, size_t count, void*) { return size * count; }

// Why a GET of url gave the client nothing: its reply status, or the
// transfer's failure. Asked only after the client's own fetch came back
// empty, so the message can tell a missing file from a server that is down.
std::string WhyNothing(const Text& url) {
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), &curl_easy_cleanup);
  if (!curl) return "no reply";
  curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl.get(), CURLOPT_PROTOCOLS_STR, "http");
  curl_easy_setopt(curl.get(), CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(curl.get(), CURLOPT_CONNECTTIMEOUT, 10L);
  curl_easy_setopt(curl.get(), CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl.get(), CURLOPT_LOW_SPEED_TIME, 30L);
  curl_easy_setopt(curl.get(), CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, &Discard);
  const CURLcode result = curl_easy_perform(curl.get());
  if (result != CURLE_OK) return std::string("no reply: ") + curl_easy_strerror(result);
  long status = 0;
  curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &status);
  if (status == 404) return "missing (404)";
  if (status == 200) return "empty";
  return "unreadable (HTTP status " + std::to_string(status) + ")";
}

Fetched FromServer(const Text& url, bool binary) {
  Fetched f;
  f.bytes = binary ? FetchBody(url) : FetchText(url).str();
  f.ok = !f.bytes.empty();
  if (!f.ok) f.failure = WhyNothing(url);
  return f;
}

class ServerSource : public ContentSource {
 public:
  ServerSource(const Text& base, const Text& user, const Text& password)
      : m_base(base), m_user(user), m_password(password) {}

  std::string Describe() const override { return m_base.str(); }
  Fetched Catalogue() override { return FromServer(requests::Catalogue(m_base), false); }
  std::string CatalogueFile() const override { return "lesson_list.xml"; }

  bool CanReadPageLists() const override { return !m_user.IsEmpty(); }
  Fetched PageList(const Text& dir) override {
    Fetched f = FromServer(requests::Lesson(m_base, m_user, m_password, dir), false);
    if (f.failure == "unreadable (HTTP status 403)")
      f.failure = "refused (403): wrong user or password";
    return f;
  }
  std::string PageListFile(const Text& dir) const override { return "page list of " + dir.str(); }
  Fetched Movie(const Text& dir, const Text& page) override {
    return FromServer(requests::LessonPage(m_base, dir, page), true);
  }
  Fetched ItemVersion(const Text& versionFile) override {
    return FromServer(requests::ItemVersion(m_base, versionFile), false);
  }
  Fetched ItemJob(const Text& jobFile) override {
    return FromServer(m_base + requests::JobPath(jobFile), false);
  }

 private:
  Text m_base, m_user, m_password;
};

class FolderSource : public ContentSource {
 public:
  explicit FolderSource(std::string folder) : m_folder(std::move(folder)) {}

  std::string Describe() const override { return m_folder; }
  Fetched Catalogue() override { return Read("lesson/lesson_list.xml"); }
  std::string CatalogueFile() const override { return "lesson/lesson_list.xml"; }

  bool CanReadPageLists() const override { return true; }
  Fetched PageList(const Text& dir) override {
    if (!IsPlainFileName(dir.view())) return Refused();
    return Read(PageListFile(dir));
  }
  std::string PageListFile(const Text& dir) const override {
    return "lesson/" + dir.str() + "/0010/pages.xml";
  }
  Fetched Movie(const Text& dir, const Text& page) override {
    if (!IsPlainFileName(dir.view()) || !IsPlainRelativePath(page.view())) return Refused();
    return Read("lesson/" + dir.str() + "/0010/" + page.str());
  }
  Fetched ItemVersion(const Text& versionFile) override {
    if (!IsPlainFileName(versionFile.view())) return Refused();
    return Read(versionFile.str());
  }
  Fetched ItemJob(const Text& jobFile) override {
    if (!IsPlainFileName(jobFile.view())) return Refused();
    return Read("dl/" + jobFile.str());
  }

 private:
  static Fetched Refused() {
    return {false, {}, "not a plain name: it would lead out of its folder"};
  }

  Fetched Read(const std::string& relative) const {
    Fetched f;
    const fs::path path = fs::path(m_folder) / relative;
    std::error_code ec;
    if (!fs::exists(path, ec)) {
      f.failure = "missing (" + relative + ")";
      return f;
    }
    if (fs::is_directory(path, ec)) {
      f.failure = "unreadable: " + relative + " is a folder";
      return f;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      f.failure = "unreadable: " + relative + ": " + std::strerror(errno);
      return f;
    }
    f.bytes.assign(std::istreambuf_iterator<char>(in), {});
    f.ok = !f.bytes.empty();
    if (!f.ok) f.failure = "empty (" + relative + ")";
    return f;
  }

  std::string m_folder;
};

}  // namespace

std::unique_ptr<ContentSource> MakeServerSource(const Text& base, const Text& user,
                                                const Text& password) {
  return std::make_unique<ServerSource>(base, user, password);
}

std::unique_ptr<ContentSource> MakeFolderSource(const std::string& folder) {
  return std::make_unique<FolderSource>(folder);
}

}  // namespace zorva::tool
