#include "controls/player_session.h"

#include <algorithm>
#include <atomic>
#include <utility>

#include "controls/swf_actions.h"
#include "controls/swf_movie.h"

namespace zorva {

namespace {

// Movie ids are unique in the process: every player's page is served by one
// scheme handler.
std::atomic<int> g_nextMovie{1};

// A renderer that ends again within this time is loaded again only after
// kRestartPauseMs.
constexpr int64_t kQuickRestartMs = 10000;
constexpr int kRestartPauseMs = 2000;

}  // namespace

PlayerSession::PlayerSession(Send send, FrameShown shown, std::unique_ptr<FrameClock> clock)
    : m_send(std::move(send)),
      m_shown(std::move(shown)),
      m_clock(clock ? std::move(clock) : SteadyFrameClock()) {}

PlayerSession::~PlayerSession() = default;

int PlayerSession::LoadMovie() {
  m_movie = g_nextMovie++;
  m_state = State::Arriving;
  m_wantPlaying = true;
  m_total = 0;
  m_frame = 0;
  m_playing = false;
  return m_movie;
}

void PlayerSession::Arrived(int id, const Text& url, std::optional<std::string> bytes) {
  if (id != m_movie || m_state != State::Arriving) return;
  std::optional<SwfMovie> movie = bytes ? ReadSwfMovie(*bytes) : std::nullopt;
  bytes.reset();
  if (!movie || movie->frameCount == 0) {
    BecomeEmpty();
    return;
  }
  PageCommand load;
  load.kind = PageCommand::Kind::Load;
  load.movie = id;
  if (CanTakeProbe(*movie)) {
    load.bytes = InsertFrameActions(*movie, ProbeActions(movie->version, std::to_string(id)));
    m_control = movie->version >= 8 ? PlayerControl::Callbacks : PlayerControl::Suspend;
  } else {
    load.bytes = std::move(movie->bytes);
    m_control = PlayerControl::Estimate;
  }
  m_rate = movie->PlayRate();
  m_total = movie->frameCount;
  m_state = State::Handing;
  m_loadedPlaying = m_wantPlaying;
  load.play = m_loadedPlaying;
  load.control = m_control;
  load.command = m_command;
  load.base = url.str();
  SendWhenReady(std::move(load));
}

void PlayerSession::BecomeEmpty() {
  m_state = State::Empty;
  m_total = 0;
  m_frame = 0;
  m_playing = false;
  PageCommand unload;
  unload.kind = PageCommand::Kind::Unload;
  unload.movie = m_movie;
  unload.command = m_command;
  SendWhenReady(std::move(unload));
}

void PlayerSession::SendWhenReady(PageCommand command) {
  if (m_pageReady) {
    m_send(command);
    return;
  }
  if (command.kind == PageCommand::Kind::Load || command.kind == PageCommand::Kind::Unload) {
    m_pending.clear();
  }
  m_pending.push_back(std::move(command));
}

void PlayerSession::PageReady() {
  m_pageReady = true;
  const std::vector<PageCommand> pending = std::exchange(m_pending, {});
  for (const PageCommand& command : pending) m_send(command);
}

void PlayerSession::Shown(int id, int command) {
  if (id != m_movie || m_state != State::Handing) return;
  m_state = State::Showing;
  m_frame = 0;
  m_playing = m_loadedPlaying;
  if (m_control == PlayerControl::Estimate) {
    m_estimateBase = 0;
    m_estimateStartMs = m_clock->NowMs();
    if (m_shown) m_shown(0);
  }
  // A Play or StopPlay that came while the page was loading the movie.
  if (command != m_command || m_wantPlaying != m_loadedPlaying) {
    m_playing = m_wantPlaying;
    if (m_control == PlayerControl::Estimate && !m_wantPlaying) m_estimateStartMs.reset();
    SendPlayState();
  }
}

void PlayerSession::Report(int id, int command, int frame, int total, bool playing) {
  if (id != m_movie || command != m_command || m_state != State::Showing) return;
  if (m_control == PlayerControl::Estimate) return;
  if (total > 0) m_total = total;
  // The probe counts frames from 1.
  m_frame = std::clamp(frame - 1, 0, std::max(m_total - 1, 0));
  m_playing = playing;
  if (m_shown) m_shown(m_frame);
}

void PlayerSession::Failed(int id) {
  if (id != m_movie) return;
  BecomeEmpty();
}

int PlayerSession::RendererGone() {
  m_pageReady = false;
  m_pending.clear();
  const int64_t now = m_clock->NowMs();
  const bool soon = m_lastRestartMs && now - *m_lastRestartMs < kQuickRestartMs;
  m_lastRestartMs = now;
  if (m_state == State::Showing || m_state == State::Handing) {
    m_frame = CurrentFrame();
    m_playing = false;
    m_wantPlaying = false;
    m_estimateStartMs.reset();
    m_estimateBase = m_frame;
    m_state = State::Showing;
    m_control = PlayerControl::Estimate;
  }
  return soon ? kRestartPauseMs : 0;
}

void PlayerSession::SendPlayState() {
  if (m_state != State::Showing) return;
  PageCommand command;
  command.kind = m_wantPlaying ? PageCommand::Kind::Play : PageCommand::Kind::Stop;
  command.movie = m_movie;
  command.command = m_command;
  SendWhenReady(std::move(command));
}

void PlayerSession::Play() {
  ++m_command;
  if (m_control == PlayerControl::Estimate && m_state == State::Showing && !m_estimateStartMs) {
    // Play at the held last frame starts the movie again, as on a timeline.
    if (m_estimateBase >= m_total - 1) m_estimateBase = 0;
    m_estimateStartMs = m_clock->NowMs();
  }
  m_wantPlaying = true;
  if (m_state == State::Showing) m_playing = true;
  SendPlayState();
}

void PlayerSession::StopPlay() {
  ++m_command;
  if (m_control == PlayerControl::Estimate && m_state == State::Showing && m_estimateStartMs) {
    m_estimateBase = EstimatedFrame();
    m_estimateStartMs.reset();
  }
  m_wantPlaying = false;
  m_playing = false;
  SendPlayState();
}

int PlayerSession::EstimatedFrame() const {
  double frame = m_estimateBase;
  if (m_estimateStartMs) frame += (m_clock->NowMs() - *m_estimateStartMs) * m_rate / 1000.0;
  return std::min(static_cast<int>(frame), std::max(m_total - 1, 0));
}

bool PlayerSession::IsPlaying() {
  switch (m_state) {
    case State::Empty:
      return false;
    case State::Arriving:
    case State::Handing:
      return m_wantPlaying;
    case State::Showing:
      if (m_control == PlayerControl::Estimate) {
        return m_estimateStartMs && EstimatedFrame() < m_total - 1;
      }
      return m_playing;
  }
  return false;
}

int PlayerSession::TotalFrames() { return m_state == State::Arriving ? 0 : m_total; }

int PlayerSession::CurrentFrame() {
  if (m_state != State::Showing) return 0;
  return m_control == PlayerControl::Estimate ? EstimatedFrame() : m_frame;
}

}  // namespace zorva
