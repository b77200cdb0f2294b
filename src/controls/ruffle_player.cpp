#include "controls/ruffle_player.h"

#include <QFileInfo>
#include <QJsonObject>
#include <QLibraryInfo>
#include <QTimer>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QtDebug>

#include "controls/movie_loader.h"
#include "controls/player_scheme.h"
#include "controls/web_engine.h"

namespace zorva {

// The page's end of the web channel: the page posts its news to `post`, and
// listens to `command`. Both carry JSON objects whose "type" names the
// message.
class PlayerBridge : public QObject {
  Q_OBJECT

 public:
  explicit PlayerBridge(RufflePlayer* player) : QObject(player), m_player(player) {}

  Q_INVOKABLE void post(const QJsonObject& message) { m_player->OnMessage(message); }

 signals:
  void command(const QJsonObject& message);

 private:
  RufflePlayer* m_player;
};

namespace {

// The page's console goes to the log when ZORVA_PLAYER_LOG is set.
class PlayerPage : public QWebEnginePage {
 public:
  using QWebEnginePage::QWebEnginePage;

 protected:
  void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString& message, int line,
                                const QString& source) override {
    static const bool log = !qEnvironmentVariableIsEmpty("ZORVA_PLAYER_LOG");
    if (log) qInfo().noquote() << "movie player page:" << source << line << message;
  }
};

QString ControlName(PlayerControl control) {
  switch (control) {
    case PlayerControl::Callbacks:
      return "callbacks";
    case PlayerControl::Suspend:
      return "suspend";
    case PlayerControl::Estimate:
      return "estimate";
  }
  return {};
}

}  // namespace

bool RufflePlayer::Available() {
  if (!WebEnginePrepared() || PlayerSchemeHandler::PlayerDirectory().isEmpty()) return false;
  const QByteArray given = qgetenv("QTWEBENGINEPROCESS_PATH");
  if (!given.isEmpty()) return QFileInfo::exists(QString::fromLocal8Bit(given));
  return QFileInfo::exists(QLibraryInfo::path(QLibraryInfo::LibraryExecutablesPath) +
                           "/QtWebEngineProcess");
}

RufflePlayer::RufflePlayer(QWidget* parent)
    : QWebEngineView(parent),
      m_loader(std::make_unique<MovieLoader>()),
      m_bridge(new PlayerBridge(this)),
      m_session([this](const PageCommand& command) { Send(command); },
                [this](int frame) {
                  if (m_session.Movie() != m_shownMovie) {
                    m_shownMovie = m_session.Movie();
                    qDebug("movie player: movie %d shows its first frame", m_shownMovie);
                  }
                  emit frameReported(frame);
                }) {
  setContextMenuPolicy(Qt::NoContextMenu);
  PlayerSchemeHandler::Instance();
  auto* page = new PlayerPage(SharedWebProfile(), this);
  // White like the lesson window's blank page until a movie paints its own
  // background.
  page->setBackgroundColor(Qt::white);
  auto* channel = new QWebChannel(page);
  channel->registerObject("zorva", m_bridge);
  page->setWebChannel(channel);
  setPage(page);
  connect(page, &QWebEnginePage::renderProcessTerminated, this,
          [this](QWebEnginePage::RenderProcessTerminationStatus status, int exitCode) {
            OnRendererGone(static_cast<int>(status), exitCode);
          });
  page->setUrl(QUrl(PlayerSchemeHandler::PageUrl()));
}

RufflePlayer::~RufflePlayer() { DropHandedMovie(); }

void RufflePlayer::DropHandedMovie() {
  if (m_handed) PlayerSchemeHandler::Instance()->RemoveMovie(m_handed);
  m_handed = 0;
}

void RufflePlayer::LoadMovie(int layer, const Text& url) {
  if (layer != 0) return;
  DropHandedMovie();
  const int id = m_session.LoadMovie();
  auto arrived = [this, id, url](std::optional<std::string> bytes) {
    m_session.Arrived(id, url, std::move(bytes));
  };
  if (auto fetched = m_cache.Take(url)) {
    m_loader->Watch(std::move(*fetched), std::move(arrived));
  } else {
    m_loader->Start(url, std::move(arrived));
  }
}

void RufflePlayer::Play() { m_session.Play(); }
void RufflePlayer::StopPlay() { m_session.StopPlay(); }
bool RufflePlayer::IsPlaying() { return m_session.IsPlaying(); }
int RufflePlayer::TotalFrames() { return m_session.TotalFrames(); }
int RufflePlayer::CurrentFrame() { return m_session.CurrentFrame(); }

void RufflePlayer::Send(const PageCommand& command) {
  QJsonObject message{{"movie", command.movie}, {"command", command.command}};
  switch (command.kind) {
    case PageCommand::Kind::Load: {
      DropHandedMovie();
      m_handed = command.movie;
      PlayerSchemeHandler::Instance()->AddMovie(
          command.movie,
          QByteArray(command.bytes.data(), static_cast<qsizetype>(command.bytes.size())));
      // The base is the movie's URL, so its own relative loads resolve
      // against it. Bytes beyond ASCII are percent-encoded, as the server
      // reads them.
      const QString base = QString::fromLatin1(
          QByteArray(command.base.c_str()).toPercentEncoding("!#$&'()*+,/:;=?@[]~%"));
      message.insert("type", "load");
      message.insert("url", QString("/movie/%1").arg(command.movie));
      message.insert("base", base);
      message.insert("play", command.play);
      message.insert("control", ControlName(command.control));
      break;
    }
    case PageCommand::Kind::Play:
      message.insert("type", "play");
      break;
    case PageCommand::Kind::Stop:
      message.insert("type", "stop");
      break;
    case PageCommand::Kind::Unload:
      DropHandedMovie();
      message.insert("type", "unload");
      break;
  }
  emit m_bridge->command(message);
}

void RufflePlayer::OnMessage(const QJsonObject& message) {
  const QString type = message.value("type").toString();
  const int movie = message.value("movie").toInt();
  const int command = message.value("command").toInt();
  if (type == "ready") {
    m_session.PageReady();
  } else if (type == "shown") {
    // The page holds the movie now: the scheme need not keep a copy.
    if (movie == m_handed) DropHandedMovie();
    m_session.Shown(movie, command);
  } else if (type == "report") {
    m_session.Report(movie, command, message.value("frame").toInt(), message.value("total").toInt(),
                     message.value("playing").toBool());
  } else if (type == "failed") {
    qWarning().noquote() << "movie player: the page could not show the movie:"
                         << message.value("why").toString();
    if (movie == m_handed) DropHandedMovie();
    m_session.Failed(movie);
  }
}

void RufflePlayer::OnRendererGone(int status, int exitCode) {
  qWarning(
      "movie player: the page's renderer ended (status %d, exit code %d); loading the page again",
      status, exitCode);
  ++m_restarts;
  DropHandedMovie();
  const int delay = m_session.RendererGone();
  QTimer::singleShot(delay, this, [this] { page()->setUrl(QUrl(PlayerSchemeHandler::PageUrl())); });
}

}  // namespace zorva

#include "ruffle_player.moc"
