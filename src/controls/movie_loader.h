#pragma once

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/text.h"

template <typename T>
class QFuture;
template <typename T>
class QFutureWatcher;

namespace zorva {

// Fetches movie bytes on a worker thread and hands them to the
// user-interface thread. One fetch at a time: starting another, or
// destroying the loader, abandons the one under way (its result is
// dropped and its transfer told to stop).
class MovieLoader : public QObject {
  Q_OBJECT

 public:
  using Done = std::function<void(std::optional<std::string> bytes)>;

  explicit MovieLoader(QObject* parent = nullptr);
  ~MovieLoader() override;

  // done runs later on this object's thread, with the body or nothing.
  void Start(const Text& url, Done done);
  // The same for a fetch already under way (or finished).
  void Watch(QFuture<std::optional<std::string>> fetch, Done done);
  void Abandon();

 private:
  using Result = std::optional<std::string>;
  std::unique_ptr<QFutureWatcher<Result>> m_watcher;
  std::shared_ptr<std::atomic<bool>> m_cancel;
  Done m_done;
};

}  // namespace zorva
