#include "lessons/right_press_as_left.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QWidget>

namespace zorva {

RightPressAsLeft::RightPressAsLeft(QWidget* window) : QObject(window), m_window(window) {
  qApp->installEventFilter(this);
}

RightPressAsLeft::~RightPressAsLeft() {
  if (qApp) qApp->removeEventFilter(this);
}

bool RightPressAsLeft::IsInside(QObject* object) const {
  auto* widget = qobject_cast<QWidget*>(object);
  return widget && m_window && (widget == m_window || m_window->isAncestorOf(widget));
}

bool RightPressAsLeft::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseButtonRelease: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() != Qt::RightButton || !IsInside(watched)) return false;
      // The buttons held: the left one instead of the right one while the
      // press lasts.
      Qt::MouseButtons held = mouse->buttons() & ~Qt::MouseButtons(Qt::RightButton);
      if (event->type() != QEvent::MouseButtonRelease) held |= Qt::LeftButton;
      QMouseEvent left(event->type(), mouse->position(), mouse->scenePosition(),
                       mouse->globalPosition(), Qt::LeftButton, held, mouse->modifiers(),
                       mouse->pointingDevice());
      left.setTimestamp(mouse->timestamp());
      QCoreApplication::sendEvent(watched, &left);
      // The left press sent here has already gone up to the parent widgets
      // that would take it; marked as taken, the right one goes no further.
      mouse->accept();
      return true;
    }
    case QEvent::ContextMenu:
      return static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Mouse &&
             IsInside(watched);
    default:
      return false;
  }
}

}  // namespace zorva
