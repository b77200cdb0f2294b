#pragma once

#include <QElapsedTimer>
#include <QWebEngineView>

#include <memory>

#include "controls/movie_player.h"

namespace zorva {

class MovieLoader;
class PlayerBridge;

// The real movie player: Ruffle in a web view. The program fetches each
// movie itself, reads it, adds the frame-reporting probe and hands the bytes
// to the page; the page pushes the frame and playing state back through the
// web channel, and the getters answer with the last state pushed.
//
// Movies the probe cannot go into (ActionScript 3, or older than version 6)
// report the header's frame count and a frame worked out from the time
// played and the frame rate, holding at the last frame.
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

  // True once the page is up and its channel answers.
  bool PageReady() const { return m_pageReady; }
  // How many times the page was loaded again after its renderer ended.
  int Restarts() const { return m_restarts; }

 signals:
  // The page reported a frame (zero-based) of the current movie, or showed
  // a movie whose frames are estimated.
  void frameReported(int frame);

 private:
  friend class PlayerBridge;

  enum class State {
    Empty,     // nothing loaded, or the movie could not be fetched or read
    Arriving,  // being fetched
    Handing,   // read, on its way into the page
    Showing,   // the page shows it
  };
  enum class Control { Callbacks, Suspend, Estimate };

  void Arrived(int id, const Text& url, std::optional<std::string> bytes);
  // Runs script in the page now, or once it is ready. newMovie: the script
  // starts a new movie (or clears it), so earlier waiting scripts go.
  void RunWhenReady(const QString& script, bool newMovie = false);
  void OnPageReady();
  void OnShown(int id, int command);
  void OnReport(int id, int command, int frame, int total, bool playing);
  void OnFailed(int id);
  void OnRendererGone(int status, int exitCode);
  void BecomeEmpty();
  int EstimatedFrame() const;
  void SendCommand();

  std::unique_ptr<MovieLoader> m_loader;
  PlayerBridge* m_bridge;
  bool m_pageReady = false;
  QStringList m_pending;  // scripts waiting for the page
  int m_restarts = 0;
  QElapsedTimer m_lastRestart;

  State m_state = State::Empty;
  Control m_control = Control::Callbacks;
  int m_movie = 0;    // id of the current movie
  int m_command = 0;  // counts Play/StopPlay, so stale reports are dropped
  bool m_wantPlaying = false;
  bool m_loadedPlaying = false;  // the play flag the page loaded with
  int m_total = 0;
  int m_frame = 0;
  bool m_playing = false;

  // Estimated timeline: frames played before the last start, and the clock
  // since it.
  double m_rate = 12;
  double m_estimateBase = 0;
  QElapsedTimer m_estimateClock;
};

}  // namespace zorva
