#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "controls/movie_player.h"
#include "controls/swf_movie.h"

namespace zorva {

class MovieLoader;

// The time the timeline player advances on, in milliseconds from any fixed
// start. Tests give one they move by hand.
class FrameClock {
 public:
  virtual ~FrameClock() = default;
  virtual int64_t NowMs() = 0;
};

// A monotonic clock.
std::unique_ptr<FrameClock> SteadyFrameClock();

// The headless movie player: reads the movie itself and moves through its
// main timeline at the movie's frame rate, stopping at a frame whose actions
// call stop() and going from the last frame back to the first otherwise.
// It draws nothing. The position is worked out from the clock whenever it
// is asked for, so nothing runs between calls.
class TimelinePlayer : public MoviePlayer {
 public:
  // clock: nullptr for SteadyFrameClock().
  explicit TimelinePlayer(std::unique_ptr<FrameClock> clock = nullptr);
  ~TimelinePlayer() override;

  void LoadMovie(int layer, const Text& url) override;
  void Play() override;
  void StopPlay() override;
  bool IsPlaying() override;
  int TotalFrames() override;
  int CurrentFrame() override;

  // Shows a movie from bytes at hand, as if they had just arrived.
  void LoadMovieBytes(std::string_view file);
  // True while a LoadMovie fetch is under way.
  bool IsArriving() const { return m_arriving; }

 private:
  void Advance();
  int64_t FrameMs() const;

  std::unique_ptr<FrameClock> m_clock;
  std::unique_ptr<MovieLoader> m_loader;
  std::optional<SwfMovie> m_movie;
  bool m_arriving = false;
  bool m_playing = false;
  int m_frame = 0;
  int64_t m_frameStartMs = 0;  // when the current frame began (while playing)
};

}  // namespace zorva
