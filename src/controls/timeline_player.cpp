#include "controls/timeline_player.h"

#include <chrono>

#include "controls/movie_loader.h"

namespace zorva {

namespace {

class SteadyClock : public FrameClock {
 public:
  int64_t NowMs() override {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  }
};

}  // namespace

std::unique_ptr<FrameClock> SteadyFrameClock() { return std::make_unique<SteadyClock>(); }

TimelinePlayer::TimelinePlayer(std::unique_ptr<FrameClock> clock)
    : m_clock(clock ? std::move(clock) : SteadyFrameClock()),
      m_loader(std::make_unique<MovieLoader>()) {}

TimelinePlayer::~TimelinePlayer() = default;

void TimelinePlayer::LoadMovie(int layer, const Text& url) {
  if (layer != 0) return;
  // A movie starts playing as it loads, as the control's did.
  m_movie.reset();
  m_frame = 0;
  m_playing = true;
  m_arriving = true;
  m_loader->Start(url, [this](std::optional<std::string> bytes) {
    const bool play = m_playing;
    LoadMovieBytes(bytes ? std::string_view(*bytes) : std::string_view());
    if (!play) StopPlay();
  });
}

void TimelinePlayer::LoadMovieBytes(std::string_view file) {
  m_loader->Abandon();
  m_arriving = false;
  m_movie = ReadSwfMovie(file);
  m_frame = 0;
  m_frameStartMs = m_clock->NowMs();
  if (m_movie && m_movie->frameCount == 0) m_movie.reset();
  // The first frame's actions run as soon as it shows.
  m_playing = m_movie && !m_movie->StopsAt(0);
}

void TimelinePlayer::Play() {
  if (m_arriving) {
    m_playing = true;
    return;
  }
  Advance();
  if (!m_movie || m_playing) return;
  m_playing = true;
  m_frameStartMs = m_clock->NowMs();
}

void TimelinePlayer::StopPlay() {
  Advance();
  m_playing = false;
}

bool TimelinePlayer::IsPlaying() {
  Advance();
  return m_playing;
}

int TimelinePlayer::TotalFrames() { return m_movie ? m_movie->frameCount : 0; }

int TimelinePlayer::CurrentFrame() {
  Advance();
  return m_frame;
}

int64_t TimelinePlayer::FrameMs() const {
  const auto ms = static_cast<int64_t>(1000.0 / m_movie->PlayRate() + 0.5);
  return ms > 0 ? ms : 1;
}

void TimelinePlayer::Advance() {
  if (m_arriving || !m_movie || !m_playing) return;
  const int64_t step = FrameMs();
  const int64_t now = m_clock->NowMs();
  int64_t due = (now - m_frameStartMs) / step;
  if (due <= 0) return;
  const int total = m_movie->frameCount;
  bool anyStop = false;
  for (int f = 0; f < total && !anyStop; ++f) anyStop = m_movie->StopsAt(f);
  if (!anyStop) {
    // Without a stopping frame whole loops change nothing: skip them.
    m_frame = static_cast<int>((m_frame + due) % total);
    m_frameStartMs += due * step;
    return;
  }
  while (due-- > 0) {
    m_frame = m_frame + 1 < total ? m_frame + 1 : 0;
    m_frameStartMs += step;
    if (m_movie->StopsAt(m_frame)) {
      m_playing = false;
      return;
    }
  }
}

}  // namespace zorva
