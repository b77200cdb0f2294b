#pragma once

#include <memory>
#include <utility>

#include "controls/movie_player.h"

namespace zorva {

// The backend a new movie player control gets: the timeline player when
// ZORVA_PLAYER=timeline is set, otherwise the web player, falling back to
// the timeline player (with one log line) where the web engine or the
// player's files are missing.
std::unique_ptr<MoviePlayer> NewPlayerBackend();

// Starts the web player now, out of sight, so that the next
// NewPlayerBackend() gets one whose page is up and whose Ruffle core is
// compiled. Nothing where NewPlayerBackend() would not give the web player.
void WarmPlayerBackend();

}  // namespace zorva
