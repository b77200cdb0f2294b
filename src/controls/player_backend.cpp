#include "controls/player_backend.h"

#include <QCoreApplication>
#include <QtGlobal>

#include <utility>

#include "controls/ruffle_player.h"
#include "controls/timeline_player.h"

namespace zorva {

namespace {

bool WantsTimeline() { return qgetenv("ZORVA_PLAYER") == "timeline"; }

// The web player started ahead by WarmPlayerBackend, until a control takes
// it. A web view must go before the application object does.
RufflePlayer* g_warm = nullptr;

void DropWarmPlayer() {
  delete g_warm;
  g_warm = nullptr;
}

}  // namespace

void WarmPlayerBackend() {
  if (g_warm || WantsTimeline() || !RufflePlayer::Available()) return;
  g_warm = new RufflePlayer;
  qAddPostRoutine(DropWarmPlayer);
}

std::unique_ptr<MoviePlayer> NewPlayerBackend() {
  if (WantsTimeline()) return std::make_unique<TimelinePlayer>();
  if (g_warm) return std::unique_ptr<MoviePlayer>(std::exchange(g_warm, nullptr));
  if (RufflePlayer::Available()) return std::make_unique<RufflePlayer>();
  qWarning(
      "movie player: the web engine or the player's files are missing; movies play without a "
      "picture");
  return std::make_unique<TimelinePlayer>();
}

}  // namespace zorva
