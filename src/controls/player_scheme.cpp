#include "controls/player_scheme.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestJob>

#include "controls/web_engine.h"

namespace zorva {

namespace {

QByteArray MimeType(const QString& name) {
  if (name.endsWith(".html")) return "text/html";
  if (name.endsWith(".js")) return "text/javascript";
  if (name.endsWith(".wasm")) return "application/wasm";
  return "application/octet-stream";
}

bool HasRuffle(const QString& dir) { return QFileInfo::exists(dir + "/ruffle.js"); }

}  // namespace

PlayerSchemeHandler::PlayerSchemeHandler(QObject* parent) : QWebEngineUrlSchemeHandler(parent) {}

PlayerSchemeHandler* PlayerSchemeHandler::Instance() {
  static PlayerSchemeHandler* handler = [] {
    QWebEngineProfile* profile = SharedWebProfile();
    auto* created = new PlayerSchemeHandler(profile);
    profile->installUrlSchemeHandler(kPlayerScheme, created);
    return created;
  }();
  return handler;
}

QString PlayerSchemeHandler::PlayerDirectory() {
  const QString beside = QCoreApplication::applicationDirPath() + "/player";
  if (HasRuffle(beside)) return beside;
#ifdef ZORVA_PLAYER_BUILD_DIR
  if (HasRuffle(ZORVA_PLAYER_BUILD_DIR)) return ZORVA_PLAYER_BUILD_DIR;
#endif
  return {};
}

QString PlayerSchemeHandler::PageUrl() {
  // Without a GPU, WebGL would run on a software rasteriser, which costs more
  // than Ruffle's own canvas renderer; with one, Ruffle picks as it likes.
  return QString(kPlayerScheme) + "://app/player.html" +
         (WebEngineHasGpu() ? "" : "?renderer=canvas");
}

void PlayerSchemeHandler::AddMovie(int id, QByteArray bytes) {
  m_movies.insert(id, std::move(bytes));
}

void PlayerSchemeHandler::RemoveMovie(int id) { m_movies.remove(id); }

void PlayerSchemeHandler::requestStarted(QWebEngineUrlRequestJob* job) {
  const QString path = job->requestUrl().path();
  auto reply = [job](const QByteArray& mime, QByteArray data) {
    auto* buffer = new QBuffer(job);
    buffer->setData(std::move(data));
    job->reply(mime, buffer);
  };
  if (path.startsWith("/movie/")) {
    bool ok = false;
    const int id = path.mid(7).toInt(&ok);
    if (ok && m_movies.contains(id))
      return reply("application/x-shockwave-flash", m_movies.value(id));
    return job->fail(QWebEngineUrlRequestJob::UrlNotFound);
  }
  const QString name = path.mid(1);
  if (name == "qwebchannel.js") {
    QFile file(":/qtwebchannel/qwebchannel.js");
    if (file.open(QIODevice::ReadOnly)) return reply(MimeType(name), file.readAll());
    return job->fail(QWebEngineUrlRequestJob::UrlNotFound);
  }
  const QString dir = PlayerDirectory();
  if (dir.isEmpty() || name.isEmpty() || name.contains('/') || name.contains('\\') ||
      name.startsWith('.')) {
    return job->fail(QWebEngineUrlRequestJob::UrlNotFound);
  }
  QFile file(dir + "/" + name);
  if (!file.open(QIODevice::ReadOnly)) return job->fail(QWebEngineUrlRequestJob::UrlNotFound);
  reply(MimeType(name), file.readAll());
}

}  // namespace zorva
