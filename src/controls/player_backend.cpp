#include "controls/player_backend.h"

#include <QByteArray>
#include <QtGlobal>

#include "controls/timeline_player.h"

namespace zorva {

std::unique_ptr<MoviePlayer> NewPlayerBackend() {
  return std::make_unique<TimelinePlayer>();
}

}  // namespace zorva
