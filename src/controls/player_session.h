#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "controls/timeline_player.h"
#include "core/text.h"

namespace zorva {

// How the page learns a movie's state and moves it: the probe with the
// movie's own play/stop callbacks (version 8 and later), the probe with the
// player suspended for a stop (versions 6 and 7), or no probe at all, the
// frame then worked out from the time played and the frame rate.
enum class PlayerControl { Callbacks, Suspend, Estimate };

// One command for the player's page.
struct PageCommand {
  enum class Kind {
    Load,    // show the movie `bytes` (base URL `base`), playing or not
    Play,    // play the movie shown
    Stop,    // stop it where it is
    Unload,  // show nothing
  };
  Kind kind = Kind::Unload;
  int movie = 0;    // the movie the command is about
  int command = 0;  // the program's count of Play/StopPlay, echoed in reports
  // Load only.
  bool play = false;
  PlayerControl control = PlayerControl::Callbacks;
  std::string base;
  std::string bytes;
};

// The web player's logic without the browser: the state of the movie shown
// (arriving, on its way into the page, shown), the Play/StopPlay counter that
// tells fresh reports from stale ones, the commands waiting for the page,
// and the frame estimate for movies that take no probe. It answers the six
// operations of a movie player from the last state the page reported; the
// page class fetches movies, carries commands to the page and reports back.
class PlayerSession {
 public:
  using Send = std::function<void(const PageCommand&)>;
  using FrameShown = std::function<void(int frame)>;

  // send: carries a command to the page (only once the page is ready).
  // shown: told each frame the page reports, and frame 0 of an estimated
  // movie as it shows. clock: nullptr for SteadyFrameClock().
  PlayerSession(Send send, FrameShown shown, std::unique_ptr<FrameClock> clock = nullptr);
  ~PlayerSession();

  // The movie player's operations. LoadMovie starts a new movie and gives
  // its id: the caller fetches the movie and calls Arrived with that id.
  int LoadMovie();
  void Play();
  void StopPlay();
  bool IsPlaying();
  int TotalFrames();
  int CurrentFrame();

  // The fetch of movie `id` ended; nothing for a fetch that failed. The
  // base URL is where the movie's own relative loads resolve.
  void Arrived(int id, const Text& url, std::optional<std::string> bytes);

  // News from the page.
  void PageReady();
  void Shown(int id, int command);
  void Report(int id, int command, int frame, int total, bool playing);
  void Failed(int id);
  // The page's renderer ended: the movie counts as stopped where it was,
  // and the page must be loaded again. Gives the milliseconds to wait
  // before that, so a renderer that dies again at once is not restarted in
  // a tight loop.
  int RendererGone();

  bool IsPageReady() const { return m_pageReady; }
  // The id of the movie shown or on its way (0 before the first).
  int Movie() const { return m_movie; }

 private:
  enum class State {
    Empty,     // nothing loaded, or the movie could not be fetched or read
    Arriving,  // being fetched
    Handing,   // read, on its way into the page
    Showing,   // the page shows it
  };

  // Sends now, or once the page is ready. A new movie makes whatever waited
  // for the page before it pointless.
  void SendWhenReady(PageCommand command);
  void SendPlayState();
  void BecomeEmpty();
  int EstimatedFrame() const;

  Send m_send;
  FrameShown m_shown;
  std::unique_ptr<FrameClock> m_clock;
  bool m_pageReady = false;
  std::vector<PageCommand> m_pending;
  std::optional<int64_t> m_lastRestartMs;

  State m_state = State::Empty;
  PlayerControl m_control = PlayerControl::Callbacks;
  int m_movie = 0;
  int m_command = 0;
  bool m_wantPlaying = false;
  bool m_loadedPlaying = false;  // the play flag the page loaded with
  int m_total = 0;
  int m_frame = 0;
  bool m_playing = false;

  // Estimated timeline: frames played before the last start, and when it
  // started (nothing while stopped).
  double m_rate = 12;
  double m_estimateBase = 0;
  std::optional<int64_t> m_estimateStartMs;
};

}  // namespace zorva
