#pragma once

#include <QIcon>
#include <QPushButton>

class QPainter;

namespace zorva {

// A push button with a light-blue gradient face, a thin black rounded
// outline, an orange rim while the mouse rests on it, a blue rim and a
// focus rectangle while it has the keyboard focus, and an optional icon at
// its left. Only the drawing and the hover tracking are its own; clicks,
// keys and signals are those of QPushButton.
class CXPButton : public QPushButton {
  Q_OBJECT

 public:
  explicit CXPButton(QWidget* parent = nullptr);
  explicit CXPButton(const QString& text, QWidget* parent = nullptr);

  // Draw the icon at the left and move the text 5 pixels right. Set by the
  // owner; SetIcon does not touch it.
  bool m_bShowIcon = false;

  // Takes the icon with this resource number (see controls/artwork.h); an
  // unknown number leaves the button without an icon.
  void SetIcon(int resourceId);

  bool IsHovering() const { return m_bHover; }

  // The rim pens' colours, exposed for the owner-drawn look's checks.
  struct RimColours {
    QColor left, right, top, bottom;
  };
  static const RimColours kHoverRim;
  static const RimColours kFocusRim;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

  // The two drawing steps, both given the inner rectangle (the button less
  // the system edge of 2 pixels on every side).
  virtual void DrawFace(QPainter& painter, const QRect& inner);
  virtual void DrawRim(QPainter& painter, const QRect& inner);

 private:
  void SetHover(bool hover);

  bool m_bHover = false;
  // Whether the button had the keyboard focus at the last drawing.
  bool m_bFocus = false;
  QIcon m_hIcon;
};

}  // namespace zorva
