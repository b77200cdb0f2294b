#include "controls/ruffle_player.h"

#include <QFileInfo>
#include <QLibraryInfo>
#include <QTimer>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QtDebug>

#include <algorithm>
#include <atomic>

#include "controls/movie_loader.h"
#include "controls/player_scheme.h"
#include "controls/swf_movie.h"
#include "controls/web_engine.h"

namespace zorva {

// What the page calls; every call names the movie it is about, so news of a
// movie already replaced is dropped.
class PlayerBridge : public QObject {
  Q_OBJECT

 public:
  explicit PlayerBridge(RufflePlayer* player) : QObject(player), m_player(player) {}

  Q_INVOKABLE void pageReady() { m_player->OnPageReady(); }
  Q_INVOKABLE void shown(int id, int command) { m_player->OnShown(id, command); }
  Q_INVOKABLE void report(int id, int command, int frame, int total, bool playing) {
    m_player->OnReport(id, command, frame, total, playing);
  }
  Q_INVOKABLE void failed(int id, const QString& why) {
    qWarning().noquote() << "movie player: the page could not show the movie:" << why;
    m_player->OnFailed(id);
  }

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

// Movies up to this size go to the page inside the script that loads them,
// which spares a round trip; larger ones are fetched by the page.
constexpr qsizetype kInlineMovieLimit = 8 << 20;

// Movie ids are unique in the process: every player shares one handler.
std::atomic<int> g_nextMovie{1};

QString JsString(const QString& s) {
  QString out = "'";
  for (QChar c : s) {
    if (c == '\\' || c == '\'') out += '\\';
    if (c.unicode() < 0x20 || c == QChar(0x2028) || c == QChar(0x2029)) {
      out += QString("\\u%1").arg(c.unicode(), 4, 16, QChar('0'));
      continue;
    }
    out += c;
  }
  return out + "'";
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
      m_bridge(new PlayerBridge(this)) {
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

RufflePlayer::~RufflePlayer() {
  if (m_state != State::Empty) PlayerSchemeHandler::Instance()->RemoveMovie(m_movie);
}

void RufflePlayer::LoadMovie(int layer, const Text& url) {
  if (layer != 0) return;
  PlayerSchemeHandler::Instance()->RemoveMovie(m_movie);
  const int id = g_nextMovie++;
  m_movie = id;
  m_state = State::Arriving;
  m_wantPlaying = true;
  m_total = 0;
  m_frame = 0;
  m_playing = false;
  m_loader->Start(url, [this, id, url](std::optional<std::string> bytes) {
    Arrived(id, url, std::move(bytes));
  });
}

void RufflePlayer::Arrived(int id, const Text& url, std::optional<std::string> bytes) {
  if (id != m_movie) return;
  std::optional<SwfMovie> movie = bytes ? ReadSwfMovie(*bytes) : std::nullopt;
  bytes.reset();
  if (!movie || movie->frameCount == 0) {
    BecomeEmpty();
    return;
  }
  std::string handed;
  if (CanTakeProbe(*movie)) {
    handed = InsertFrameActions(*movie, ProbeActions(movie->version, std::to_string(id)));
    m_control = movie->version >= 8 ? Control::Callbacks : Control::Suspend;
  } else {
    handed = std::move(movie->bytes);
    m_control = Control::Estimate;
  }
  m_rate = movie->frameRate >= 0.01 ? movie->frameRate : 12;
  m_total = movie->frameCount;
  m_state = State::Handing;
  m_loadedPlaying = m_wantPlaying;
  static const char* const kModes[] = {"callbacks", "suspend", "estimate"};
  // The URL is the movie's base, so its own relative loads resolve against
  // it. Bytes beyond ASCII are percent-encoded, as the server reads them.
  const QString base =
      QString::fromLatin1(QByteArray(url.c_str()).toPercentEncoding("!#$&'()*+,/:;=?@[]~%"));
  QString script = QString("zorvaLoad(%1, %2, %3, '%4', %5")
                       .arg(id)
                       .arg(JsString(base))
                       .arg(m_loadedPlaying ? "true" : "false")
                       .arg(kModes[static_cast<int>(m_control)])
                       .arg(m_command);
  const QByteArray data(handed.data(), static_cast<qsizetype>(handed.size()));
  if (data.size() <= kInlineMovieLimit) {
    script += ", '" + QString::fromLatin1(data.toBase64()) + "')";
  } else {
    PlayerSchemeHandler::Instance()->AddMovie(id, data);
    script += ")";
  }
  RunWhenReady(script, true);
}

void RufflePlayer::BecomeEmpty() {
  PlayerSchemeHandler::Instance()->RemoveMovie(m_movie);
  m_state = State::Empty;
  m_total = 0;
  m_frame = 0;
  m_playing = false;
  RunWhenReady("zorvaUnload()", true);
}

void RufflePlayer::RunWhenReady(const QString& script, bool newMovie) {
  if (m_pageReady) {
    page()->runJavaScript(script);
    return;
  }
  // A new movie makes whatever waited for the page before it pointless.
  if (newMovie) m_pending.clear();
  m_pending.append(script);
}

void RufflePlayer::OnPageReady() {
  m_pageReady = true;
  const QStringList pending = std::exchange(m_pending, {});
  for (const QString& script : pending) page()->runJavaScript(script);
}

void RufflePlayer::OnShown(int id, int command) {
  if (id != m_movie || m_state != State::Handing) return;
  m_state = State::Showing;
  m_frame = 0;
  m_playing = m_loadedPlaying;
  if (m_control == Control::Estimate) {
    m_estimateBase = 0;
    m_estimateClock.start();
    emit frameReported(0);
  }
  // A Play or StopPlay that came while the page was loading the movie.
  if (command != m_command || m_wantPlaying != m_loadedPlaying) {
    m_playing = m_wantPlaying;
    if (m_control == Control::Estimate && !m_wantPlaying) m_estimateClock.invalidate();
    SendCommand();
  }
}

void RufflePlayer::OnReport(int id, int command, int frame, int total, bool playing) {
  if (id != m_movie || command != m_command || m_state != State::Showing) return;
  if (m_control == Control::Estimate) return;
  if (total > 0) m_total = total;
  m_frame = std::clamp(frame - 1, 0, std::max(m_total - 1, 0));
  m_playing = playing;
  emit frameReported(m_frame);
}

void RufflePlayer::OnFailed(int id) {
  if (id != m_movie) return;
  BecomeEmpty();
}

void RufflePlayer::OnRendererGone(int status, int exitCode) {
  qWarning(
      "movie player: the page's renderer ended (status %d, exit code %d); loading the page again",
      status, exitCode);
  ++m_restarts;
  m_pageReady = false;
  // A renderer that dies again at once is not restarted in a tight loop.
  const bool soon = m_lastRestart.isValid() && m_lastRestart.elapsed() < 10000;
  m_lastRestart.start();
  m_pending.clear();
  // The current movie counts as stopped where it was.
  if (m_state == State::Showing || m_state == State::Handing) {
    m_frame = CurrentFrame();
    m_playing = false;
    m_wantPlaying = false;
    m_estimateClock.invalidate();
    m_estimateBase = m_frame;
    m_state = State::Showing;
    m_control = Control::Estimate;
  }
  QTimer::singleShot(soon ? 2000 : 0, this,
                     [this] { page()->setUrl(QUrl(PlayerSchemeHandler::PageUrl())); });
}

void RufflePlayer::SendCommand() {
  if (m_state != State::Showing) return;
  RunWhenReady(QString("%1(%2)").arg(m_wantPlaying ? "zorvaPlay" : "zorvaStop").arg(m_command));
}

void RufflePlayer::Play() {
  ++m_command;
  if (m_control == Control::Estimate && m_state == State::Showing && !m_estimateClock.isValid()) {
    // Play at the held last frame starts the movie again, as on a timeline.
    if (m_estimateBase >= m_total - 1) m_estimateBase = 0;
    m_estimateClock.start();
  }
  m_wantPlaying = true;
  if (m_state == State::Showing) m_playing = true;
  SendCommand();
}

void RufflePlayer::StopPlay() {
  ++m_command;
  if (m_control == Control::Estimate && m_state == State::Showing && m_estimateClock.isValid()) {
    m_estimateBase = EstimatedFrame();
    m_estimateClock.invalidate();
  }
  m_wantPlaying = false;
  m_playing = false;
  SendCommand();
}

int RufflePlayer::EstimatedFrame() const {
  double frame = m_estimateBase;
  if (m_estimateClock.isValid()) frame += m_estimateClock.elapsed() * m_rate / 1000.0;
  return std::min(static_cast<int>(frame), std::max(m_total - 1, 0));
}

bool RufflePlayer::IsPlaying() {
  switch (m_state) {
    case State::Empty:
      return false;
    case State::Arriving:
    case State::Handing:
      return m_wantPlaying;
    case State::Showing:
      if (m_control == Control::Estimate) {
        return m_estimateClock.isValid() && EstimatedFrame() < m_total - 1;
      }
      return m_playing;
  }
  return false;
}

int RufflePlayer::TotalFrames() { return m_state == State::Arriving ? 0 : m_total; }

int RufflePlayer::CurrentFrame() {
  if (m_state != State::Showing) return 0;
  return m_control == Control::Estimate ? EstimatedFrame() : m_frame;
}

}  // namespace zorva

#include "ruffle_player.moc"
