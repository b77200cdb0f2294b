#pragma once

#include <QWebEngineView>

#include <memory>

#include "controls/movie_cache.h"
#include "controls/movie_player.h"
#include "controls/player_session.h"

class QJsonObject;

namespace zorva {

class MovieLoader;
class PlayerBridge;

// The real movie player: Ruffle in a web view. The program fetches each
// movie itself (the next ones ahead, when told them) and hands it to a
// PlayerSession, which reads it, adds the
// frame-reporting probe and decides what the page is told; this class
// carries the session's commands to the page and the page's reports back,
// as JSON messages over the web channel, and serves the movie bytes to the
// page through the player's scheme.
class RufflePlayer : public QWebEngineView, public MoviePlayer {
  Q_OBJECT

 public:
  explicit RufflePlayer(QWidget* parent = nullptr);
  ~RufflePlayer() override;

  // True where this player can run: the web engine was prepared before the
  // application started, and the player's files are in place.
  static bool Available();

  void LoadMovie(int layer, const Text& url) override;
  void Play() override;
  void StopPlay() override;
  bool IsPlaying() override;
  int TotalFrames() override;
  int CurrentFrame() override;
  void NextMovies(const std::vector<Text>& urls) override { m_cache.Expect(urls); }
  QWidget* Widget() override { return this; }

  // True once the page is up and its channel answers.
  bool PageReady() const { return m_session.IsPageReady(); }
  // How many times the page was loaded again after its renderer ended.
  int Restarts() const { return m_restarts; }

 signals:
  // The page reported a frame (zero-based) of the current movie, or showed
  // a movie whose frames are estimated.
  void frameReported(int frame);

 private:
  friend class PlayerBridge;

  void Send(const PageCommand& command);
  void OnMessage(const QJsonObject& message);
  void OnRendererGone(int status, int exitCode);
  void DropHandedMovie();

  std::unique_ptr<MovieLoader> m_loader;
  MovieCache m_cache;
  PlayerBridge* m_bridge;
  PlayerSession m_session;
  int m_handed = 0;  // the movie the scheme serves to the page, 0 for none
  int m_restarts = 0;
  int m_shownMovie = 0;  // the last movie whose first frame was logged
};

}  // namespace zorva
