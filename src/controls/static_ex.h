#pragma once

#include <QBrush>
#include <QColor>
#include <QLabel>

namespace zorva {

// A static text with a background colour of its own, so that it sits on a
// painted dialog background without a grey box. With the notify style it
// takes the mouse: the pointing-hand cursor shows over it and a click emits
// clicked(). Without it the mouse goes through to the parent, whose cursor
// shows there.
class CStaticEx : public QLabel {
  Q_OBJECT

 public:
  explicit CStaticEx(QWidget* parent = nullptr);
  explicit CStaticEx(const QString& text, QWidget* parent = nullptr);

  // Stores the new background colour, repaints at once, and returns the
  // colour that was in force before.
  QColor SetBackgroundColor(const QColor& colour);
  QColor BackgroundColor() const { return m_crBackground; }

  // The notify style.
  void SetNotify(bool notify);
  bool Notify() const { return m_notify; }

 signals:
  void clicked();

 protected:
  virtual void RebuildBackgroundBrush();

  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  void Init();

  // Both colours are taken from the palette once, at construction; later
  // palette changes do not reach an existing control.
  QColor m_crBackground;
  QColor m_crText;
  QBrush m_brBackground;
  bool m_notify = false;
  bool m_pressed = false;
};

}  // namespace zorva
