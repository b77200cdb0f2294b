#include "net/movie_fetch.h"

#include <curl/curl.h>

#include <memory>
#include <string_view>

namespace zorva {

namespace {

constexpr long kConnectMs = 10000;
constexpr long kStallSeconds = 30;
constexpr char kAgent[] = "MyProgram/1.0";

struct Transfer {
  std::string body;
  const std::atomic<bool>* cancel = nullptr;
  bool tooLong = false;

  static size_t OnBody(char* data, size_t size, size_t count, void* self) {
    auto* t = static_cast<Transfer*>(self);
    const size_t n = size * count;
    if (t->body.size() + n > kMovieFetchLimit) {
      t->tooLong = true;
      return 0;
    }
    t->body.append(data, n);
    return n;
  }

  static int OnProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* t = static_cast<Transfer*>(self);
    return t->cancel && t->cancel->load() ? 1 : 0;
  }
};

struct EasyDeleter {
  void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
struct ListDeleter {
  void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

}  // namespace

std::optional<std::string> FetchMovie(const Text& url, const std::atomic<bool>* cancel) {
  if (url.Left(7).Lower() != "http://") return {};
  static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  if (!initialised) return {};
  std::unique_ptr<CURL, EasyDeleter> h(curl_easy_init());
  if (!h) return {};
  CURL* c = h.get();
  std::unique_ptr<curl_slist, ListDeleter> headers(curl_slist_append(nullptr, "Accept: */*"));
  Transfer transfer;
  transfer.cancel = cancel;
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http");
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(c, CURLOPT_USERAGENT, kAgent);
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, kConnectMs);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, kStallSeconds);
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMovieFetchLimit));
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &Transfer::OnBody);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, &Transfer::OnProgress);
  curl_easy_setopt(c, CURLOPT_XFERINFODATA, &transfer);
  curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
  if (curl_easy_perform(c) != CURLE_OK || transfer.tooLong) return {};
  long code = 0;
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &code);
  if (code != 200) return {};
  return std::move(transfer.body);
}

}  // namespace zorva
