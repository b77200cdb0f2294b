#include "lessons/full_screen_player.h"

#include <QEvent>
#include <QScreen>
#include <QWidget>

namespace zorva {

FullScreenPlayer::FullScreenPlayer(QWidget* window, QWidget* player, QList<QWidget*> makeWay,
                                   QList<QWidget*> overMovie)
    : QObject(window),
      m_window(window),
      m_player(player),
      m_makeWay(std::move(makeWay)),
      m_overMovie(std::move(overMovie)) {
  m_window->installEventFilter(this);
}

FullScreenPlayer::~FullScreenPlayer() = default;

void FullScreenPlayer::Enter() {
  if (m_on) return;
  m_on = true;
  m_windowGeometry = m_window->saveGeometry();
  m_playerGeometry = m_player->geometry();
  // All first: hiding one may hide another that belongs to it.
  m_wasVisible.clear();
  for (QWidget* w : m_makeWay) m_wasVisible.append(w && w->isVisible());
  for (QWidget* w : m_makeWay)
    if (w) w->hide();
  m_focus = m_window->focusWidget();
  // The player paints the black around the movie; the window's own palette
  // stays, so the button row reads as it does in the window.
  m_palette = m_player->palette();
  m_autoFill = m_player->autoFillBackground();
  QPalette black = m_palette;
  black.setColor(QPalette::Window, Qt::black);
  m_player->setPalette(black);
  m_player->setAutoFillBackground(true);
  m_hadFace.clear();
  for (QWidget* w : m_overMovie) {
    m_hadFace.append(w->autoFillBackground());
    w->setAutoFillBackground(true);
  }
  m_window->showFullScreen();
  // Without a window manager to honour the full-screen state (a bare X
  // server), the window is given the screen itself.
  if (QScreen* screen = m_window->screen()) m_window->setGeometry(screen->geometry());
  m_player->setGeometry(m_window->rect());
  emit switched(true);
}

void FullScreenPlayer::Leave() {
  if (!m_on) return;
  m_on = false;
  m_window->showNormal();
  // Place, size and a maximised state as they were, frame included.
  m_window->restoreGeometry(m_windowGeometry);
  m_player->setPalette(m_palette);
  m_player->setAutoFillBackground(m_autoFill);
  for (int i = 0; i < m_overMovie.size(); ++i) m_overMovie[i]->setAutoFillBackground(m_hadFace[i]);
  m_player->setGeometry(m_playerGeometry);
  for (int i = 0; i < m_makeWay.size(); ++i)
    if (m_makeWay[i]) m_makeWay[i]->setVisible(m_wasVisible[i]);
  if (m_focus && m_focus->isVisible()) m_focus->setFocus(Qt::OtherFocusReason);
  emit switched(false);
}

bool FullScreenPlayer::eventFilter(QObject* watched, QEvent* event) {
  // The screen's size arrives after the switch; the player follows it.
  if (m_on && watched == m_window && event->type() == QEvent::Resize)
    m_player->resize(static_cast<QWidget*>(watched)->size());
  return false;
}

}  // namespace zorva
