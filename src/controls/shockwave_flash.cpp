#include "controls/shockwave_flash.h"

#include <QVBoxLayout>

#include "controls/player_backend.h"

namespace zorva {

CShockwaveflash1::CShockwaveflash1(QWidget* parent)
    : CShockwaveflash1(NewPlayerBackend(), parent) {}

CShockwaveflash1::CShockwaveflash1(std::unique_ptr<MoviePlayer> backend, QWidget* parent)
    : QWidget(parent), m_backend(std::move(backend)) {
  // A backend that draws fills the control.
  if (QWidget* view = m_backend->Widget()) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view);
  }
}

CShockwaveflash1::~CShockwaveflash1() {
  // The layout must not delete a widget the unique_ptr owns.
  if (QWidget* view = m_backend->Widget()) view->setParent(nullptr);
}

void CShockwaveflash1::LoadMovie(int layer, const Text& url) {
  if (layer == 0) m_backend->LoadMovie(layer, url);
}
void CShockwaveflash1::Play() { m_backend->Play(); }
void CShockwaveflash1::StopPlay() { m_backend->StopPlay(); }
bool CShockwaveflash1::IsPlaying() { return m_backend->IsPlaying(); }
int CShockwaveflash1::TotalFrames() { return m_backend->TotalFrames(); }
int CShockwaveflash1::CurrentFrame() { return m_backend->CurrentFrame(); }
void CShockwaveflash1::NextMovies(const std::vector<Text>& urls) { m_backend->NextMovies(urls); }

}  // namespace zorva
