#include "lessons/full_screen_player.h"

#include <QEvent>
#include <QScreen>
#include <QWidget>

namespace zorva {

FullScreenPlayer::FullScreenPlayer(QWidget* window, QWidget* player, QList<QWidget*> makeWay)
    : QObject(window),
      m_window(window),
      m_player(player),
      m_backdrop(new QWidget(window)),
      m_makeWay(std::move(makeWay)) {
  m_backdrop->setObjectName("fullScreenBackdrop");
  QPalette black = m_backdrop->palette();
  black.setColor(QPalette::Window, Qt::black);
  m_backdrop->setPalette(black);
  m_backdrop->setAutoFillBackground(true);
  m_backdrop->hide();
  m_window->installEventFilter(this);
}

void FullScreenPlayer::Fit() {
  // The player as it is in the window, scaled to the screen with its aspect
  // kept and centred; the backdrop is the black around it.
  const QRect screen = m_window->rect();
  m_backdrop->setGeometry(screen);
  QRect player(QPoint(0, 0), m_playerGeometry.size().scaled(screen.size(), Qt::KeepAspectRatio));
  player.moveCenter(screen.center());
  m_player->setGeometry(player);
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
  // Black beneath everything, the player included; the window's own palette
  // stays, so the button row looks as it does in the window.
  m_backdrop->lower();
  m_backdrop->show();
  m_window->showFullScreen();
  // Without a window manager to honour the full-screen state (a bare X
  // server), the window is given the screen itself.
  if (QScreen* screen = m_window->screen()) m_window->setGeometry(screen->geometry());
  // Over the program's other windows (the announcement, say).
  m_window->raise();
  m_window->activateWindow();
  Fit();
  emit switched(true);
}

void FullScreenPlayer::Leave() {
  if (!m_on) return;
  m_on = false;
  m_window->showNormal();
  // Place, size and a maximised state as they were, frame included.
  m_window->restoreGeometry(m_windowGeometry);
  m_backdrop->hide();
  m_player->setGeometry(m_playerGeometry);
  for (int i = 0; i < m_makeWay.size(); ++i)
    if (m_makeWay[i]) m_makeWay[i]->setVisible(m_wasVisible[i]);
  if (m_focus && m_focus->isVisible()) m_focus->setFocus(Qt::OtherFocusReason);
  emit switched(false);
}

void FullScreenPlayer::KeepHiddenAfterwards(const QList<QWidget*>& widgets) {
  if (!m_on) return;
  for (int i = 0; i < m_makeWay.size(); ++i)
    if (widgets.contains(m_makeWay[i])) m_wasVisible[i] = false;
}

bool FullScreenPlayer::eventFilter(QObject* watched, QEvent* event) {
  // The screen's size arrives after the switch; the player follows it.
  if (m_on && watched == m_window && event->type() == QEvent::Resize) Fit();
  return false;
}

}  // namespace zorva
