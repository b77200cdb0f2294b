#include "lessons/full_screen_player.h"

#include <QEvent>
#include <QScreen>
#include <QWidget>
#include <QWindow>

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
  m_player->installEventFilter(this);
}

void FullScreenPlayer::Fit() {
  // The player as it is in the window, scaled to the screen with its aspect
  // kept and centred; the backdrop is the black around it.
  const QRect screen = m_window->rect();
  m_backdrop->setGeometry(screen);
  QRect player(QPoint(0, 0), m_playerGeometry.size().scaled(screen.size(), Qt::KeepAspectRatio));
  player.moveCenter(screen.center());
  m_fitted = player;
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
  // A window manager frames the window and honours the full-screen state,
  // which a geometry set by the program would cancel again. Without one (a
  // bare X server: no frame), the window is given the screen itself.
  const QWindow* handle = m_window->windowHandle();
  const bool managed = handle && !handle->frameMargins().isNull();
  m_window->showFullScreen();
  if (QScreen* screen = m_window->screen(); screen && !managed)
    m_window->setGeometry(screen->geometry());
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
  if (!m_on) return false;
  const QEvent::Type type = event->type();
  // The screen's size arrives after the switch, late under a window manager;
  // the player follows it.
  if (watched == m_window && type == QEvent::Resize) Fit();
  // The window puts the player back in its corner on every resize of its
  // own, after this filter has seen the resize: in full screen the player
  // stays where it was fitted.
  if (watched == m_player && (type == QEvent::Move || type == QEvent::Resize) &&
      m_player->geometry() != m_fitted)
    m_player->setGeometry(m_fitted);
  return false;
}

}  // namespace zorva
