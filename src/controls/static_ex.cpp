#include "controls/static_ex.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>

#include "controls/artwork.h"

namespace zorva {

CStaticEx::CStaticEx(QWidget* parent) : QLabel(parent) { Init(); }

CStaticEx::CStaticEx(const QString& text, QWidget* parent) : QLabel(text, parent) { Init(); }

void CStaticEx::Init() {
  const QPalette system = QApplication::palette();
  m_crBackground = system.color(QPalette::Active, QPalette::Button);
  m_crText = system.color(QPalette::Active, QPalette::WindowText);
  RebuildBackgroundBrush();
  QPalette own = palette();
  own.setColor(QPalette::WindowText, m_crText);
  setPalette(own);
  SetNotify(false);
}

QColor CStaticEx::SetBackgroundColor(const QColor& colour) {
  const QColor previous = m_crBackground;
  m_crBackground = colour;
  RebuildBackgroundBrush();
  update();
  return previous;
}

void CStaticEx::RebuildBackgroundBrush() { m_brBackground = QBrush(m_crBackground); }

void CStaticEx::SetNotify(bool notify) {
  m_notify = notify;
  // A static without the notify style is transparent to the mouse: the
  // parent gets the clicks and shows its own cursor.
  setAttribute(Qt::WA_TransparentForMouseEvents, !notify);
  if (notify)
    setCursor(HandCursor());
  else
    unsetCursor();
}

void CStaticEx::paintEvent(QPaintEvent* event) {
  {
    QPainter painter(this);
    painter.fillRect(rect(), m_brBackground);
  }
  QLabel::paintEvent(event);
}

void CStaticEx::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) m_pressed = true;
  QLabel::mousePressEvent(event);
}

// The second press of a double click is no click of its own: QWidget would
// pass it on as a press, and a label that toggles something on each click
// would end where it started.
void CStaticEx::mouseDoubleClickEvent(QMouseEvent* event) {
  m_pressed = false;
  event->accept();
}

void CStaticEx::mouseReleaseEvent(QMouseEvent* event) {
  const bool click = m_pressed && event->button() == Qt::LeftButton &&
                     rect().contains(event->position().toPoint());
  m_pressed = false;
  QLabel::mouseReleaseEvent(event);
  if (click && m_notify) emit clicked();
}

}  // namespace zorva
