#include "controls/player_backend.h"

#include <QtGlobal>

#include "controls/ruffle_player.h"
#include "controls/timeline_player.h"

namespace zorva {

std::unique_ptr<MoviePlayer> NewPlayerBackend() {
  if (qgetenv("ZORVA_PLAYER") == "timeline") return std::make_unique<TimelinePlayer>();
  if (RufflePlayer::Available()) return std::make_unique<RufflePlayer>();
  qWarning(
      "movie player: the web engine or the player's files are missing; movies play without a "
      "picture");
  return std::make_unique<TimelinePlayer>();
}

}  // namespace zorva
