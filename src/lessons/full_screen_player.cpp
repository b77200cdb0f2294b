#include "lessons/full_screen_player.h"

#include <QEvent>
#include <QWidget>

namespace zorva {

FullScreenPlayer::FullScreenPlayer(QWidget* window, QWidget* player, QList<QWidget*> makeWay)
    : QObject(window), m_window(window), m_player(player), m_makeWay(std::move(makeWay)) {
  m_window->installEventFilter(this);
}

FullScreenPlayer::~FullScreenPlayer() = default;

void FullScreenPlayer::Enter() {
  if (m_on) return;
  m_on = true;
  m_windowGeometry = m_window->saveGeometry();
  m_playerGeometry = m_player->geometry();
  m_wasVisible.clear();
  for (QWidget* w : m_makeWay) {
    m_wasVisible.append(w && w->isVisible());
    if (w) w->hide();
  }
  m_palette = m_window->palette();
  m_autoFill = m_window->autoFillBackground();
  QPalette black = m_palette;
  black.setColor(QPalette::Window, Qt::black);
  m_window->setPalette(black);
  m_window->setAutoFillBackground(true);
  m_window->showFullScreen();
  m_player->setGeometry(m_window->rect());
  emit switched(true);
}

void FullScreenPlayer::Leave() {
  if (!m_on) return;
  m_on = false;
  m_window->showNormal();
  // Place, size and a maximised state as they were, frame included.
  m_window->restoreGeometry(m_windowGeometry);
  m_window->setPalette(m_palette);
  m_window->setAutoFillBackground(m_autoFill);
  m_player->setGeometry(m_playerGeometry);
  for (int i = 0; i < m_makeWay.size(); ++i)
    if (m_makeWay[i]) m_makeWay[i]->setVisible(m_wasVisible[i]);
  emit switched(false);
}

bool FullScreenPlayer::eventFilter(QObject* watched, QEvent* event) {
  // The screen's size arrives after the switch; the player follows it.
  if (m_on && watched == m_window && event->type() == QEvent::Resize)
    m_player->resize(static_cast<QWidget*>(watched)->size());
  return false;
}

}  // namespace zorva
