#pragma once

#include <vector>

#include "core/text.h"

class QWidget;

namespace zorva {

// The six operations the lesson window asks of its movie player. Frames are
// zero-based: the first frame is 0, the last TotalFrames() - 1. Only layer 0
// is used; a call for another layer does nothing. No operation reports an
// error: a movie that cannot be fetched or read ends as a stopped, empty
// movie (TotalFrames 0, CurrentFrame 0, not playing).
class MoviePlayer {
 public:
  virtual ~MoviePlayer() = default;

  // Returns at once; the movie arrives later. While a movie that was asked
  // to play is still arriving, IsPlaying() answers true.
  virtual void LoadMovie(int layer, const Text& url) = 0;
  virtual void Play() = 0;
  virtual void StopPlay() = 0;
  virtual bool IsPlaying() = 0;
  virtual int TotalFrames() = 0;
  virtual int CurrentFrame() = 0;

  // These are the movies LoadMovie will most likely be given next, in that
  // order: a player may fetch them ahead. Nothing changes what LoadMovie
  // then shows.
  virtual void NextMovies(const std::vector<Text>& /*urls*/) {}

  // The widget that shows the movie, for the control to fill itself with;
  // nothing for a player that draws nothing. The player keeps owning it.
  virtual QWidget* Widget() { return nullptr; }
};

}  // namespace zorva
