#include "controls/movie_loader.h"

#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

#include "net/movie_fetch.h"

namespace zorva {

MovieLoader::MovieLoader(QObject* parent) : QObject(parent) {}

MovieLoader::~MovieLoader() { Abandon(); }

void MovieLoader::Start(const Text& url, Done done) {
  auto cancel = std::make_shared<std::atomic<bool>>(false);
  Watch(QtConcurrent::run([url, cancel]() -> Result { return FetchMovie(url, cancel.get()); }),
        std::move(done));
  m_cancel = std::move(cancel);
}

void MovieLoader::Watch(QFuture<Result> fetch, Done done) {
  Abandon();
  m_done = std::move(done);
  m_watcher = std::make_unique<QFutureWatcher<Result>>();
  QFutureWatcher<Result>* watcher = m_watcher.get();
  connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher] {
    if (watcher != m_watcher.get()) return;
    Result result = watcher->result();
    Done done = std::move(m_done);
    m_done = nullptr;
    m_cancel.reset();
    if (done) done(std::move(result));
  });
  watcher->setFuture(std::move(fetch));
}

void MovieLoader::Abandon() {
  if (m_cancel) m_cancel->store(true);
  m_cancel.reset();
  m_done = nullptr;
  if (m_watcher) {
    m_watcher->disconnect(this);
    // The worker may still run; the future keeps its own state alive, and
    // the watcher goes once it has stopped watching.
    m_watcher.reset();
  }
}

}  // namespace zorva
