#pragma once

#include <memory>

#include "controls/movie_player.h"

namespace zorva {

// The backend a new movie player control gets: the timeline player when
// ZORVA_PLAYER=timeline is set, otherwise the web player, falling back to
// the timeline player (with one log line) where the web engine or the
// player's files are missing.
std::unique_ptr<MoviePlayer> NewPlayerBackend();

}  // namespace zorva
