#include "controls/movie_cache.h"

#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

#include "net/movie_fetch.h"

namespace zorva {

MovieCache::~MovieCache() {
  for (Entry& entry : m_entries) Drop(entry);
}

void MovieCache::Drop(Entry& entry) {
  // The worker may still run; told to stop, it returns soon and its result
  // goes with the future.
  entry.cancel->store(true);
}

void MovieCache::Expect(const std::vector<Text>& urls) {
  std::vector<Text> wanted;
  for (const Text& url : urls) {
    if (wanted.size() == kMovies) break;
    if (std::find(wanted.begin(), wanted.end(), url) == wanted.end()) wanted.push_back(url);
  }
  std::vector<Entry> kept;
  for (Entry& entry : m_entries) {
    if (std::find(wanted.begin(), wanted.end(), entry.url) != wanted.end()) {
      kept.push_back(std::move(entry));
    } else {
      Drop(entry);
    }
  }
  for (const Text& url : wanted) {
    const bool have = std::any_of(kept.begin(), kept.end(),
                                  [&url](const Entry& entry) { return entry.url == url; });
    if (have) continue;
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    QFuture<Bytes> fetch =
        QtConcurrent::run([url, cancel]() -> Bytes { return FetchMovie(url, cancel.get()); });
    kept.push_back({url, std::move(fetch), std::move(cancel)});
  }
  m_entries = std::move(kept);
}

std::optional<QFuture<MovieCache::Bytes>> MovieCache::Take(const Text& url) {
  auto it = std::find_if(m_entries.begin(), m_entries.end(),
                         [&url](const Entry& entry) { return entry.url == url; });
  if (it == m_entries.end()) return {};
  QFuture<Bytes> fetch = it->fetch;
  m_entries.erase(it);
  return fetch;
}

}  // namespace zorva
