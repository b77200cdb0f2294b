#include "controls/shockwave_flash.h"

namespace zorva {

namespace {

// Stands in until a real backend exists: every movie is stopped and empty.
class EmptyPlayer : public MoviePlayer {
 public:
  void LoadMovie(int, const Text&) override {}
  void Play() override {}
  void StopPlay() override {}
  bool IsPlaying() override { return false; }
  int TotalFrames() override { return 0; }
  int CurrentFrame() override { return 0; }
};

}  // namespace

CShockwaveflash1::CShockwaveflash1(QWidget* parent)
    : CShockwaveflash1(std::make_unique<EmptyPlayer>(), parent) {}

CShockwaveflash1::CShockwaveflash1(std::unique_ptr<MoviePlayer> backend, QWidget* parent)
    : QWidget(parent), m_backend(std::move(backend)) {}

CShockwaveflash1::~CShockwaveflash1() = default;

void CShockwaveflash1::LoadMovie(int layer, const Text& url) {
  if (layer == 0) m_backend->LoadMovie(layer, url);
}
void CShockwaveflash1::Play() { m_backend->Play(); }
void CShockwaveflash1::StopPlay() { m_backend->StopPlay(); }
bool CShockwaveflash1::IsPlaying() { return m_backend->IsPlaying(); }
int CShockwaveflash1::TotalFrames() { return m_backend->TotalFrames(); }
int CShockwaveflash1::CurrentFrame() { return m_backend->CurrentFrame(); }

}  // namespace zorva
