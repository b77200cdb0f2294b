#pragma once

#include <QObject>
#include <QPointer>

class QWidget;

namespace zorva {

// Makes the right mouse button act as the left one inside a window: a
// right-button press (or double click) on the window or any widget in it
// arrives as a left-button press, and the release that ends it as a left
// release, so a right click is a left click everywhere. No context menu
// opens there. Widgets added to the window later (a web view's inner
// widgets) are covered too, since the filter watches the whole application
// and asks only whether the receiver lies inside the window.
class RightPressAsLeft : public QObject {
  Q_OBJECT

 public:
  // Starts filtering for window; ends with this object.
  explicit RightPressAsLeft(QWidget* window);
  ~RightPressAsLeft() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool IsInside(QObject* object) const;

  QPointer<QWidget> m_window;
};

}  // namespace zorva
