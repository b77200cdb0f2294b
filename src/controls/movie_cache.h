#pragma once

#include <QFuture>

#include <atomic>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/text.h"

namespace zorva {

// The movies the player will want next, fetched while the current one plays
// so that a page switch does not wait for the network. Small and bounded:
// it holds the movies of the last list it was given, at most kMovies of
// them, and drops every other one as soon as a new list comes (a new page,
// or a new lesson). A movie taken from it is gone from it.
class MovieCache {
 public:
  using Bytes = std::optional<std::string>;
  static constexpr size_t kMovies = 2;

  MovieCache() = default;
  MovieCache(const MovieCache&) = delete;
  MovieCache& operator=(const MovieCache&) = delete;
  ~MovieCache();

  // These are the next movies: keeps (and starts fetching) the first
  // kMovies of them, drops the rest.
  void Expect(const std::vector<Text>& urls);
  // The fetch of url, finished or under way, when it was expected.
  std::optional<QFuture<Bytes>> Take(const Text& url);
  size_t Size() const { return m_entries.size(); }

 private:
  struct Entry {
    Text url;
    QFuture<Bytes> fetch;
    std::shared_ptr<std::atomic<bool>> cancel;
  };
  static void Drop(Entry& entry);
  std::vector<Entry> m_entries;
};

}  // namespace zorva
