#include "platform/window_frame.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMargins>
#include <QPointer>
#include <QWidget>
#include <QWindow>

namespace zorva {

namespace {

QMargins FrameMargins(const QWidget& window) {
  const QWindow* handle = window.windowHandle();
  return handle ? handle->frameMargins() : QMargins();
}

class OuterPlacement : public QObject {
 public:
  OuterPlacement(QWidget& window, std::function<void(const QMargins&)> apply)
      : QObject(&window), m_window(window), m_apply(std::move(apply)) {
    m_margins = FrameMargins(window);
    m_apply(m_margins);
    window.installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    const QEvent::Type type = event->type();
    if (watched == &m_window &&
        (type == QEvent::Show || type == QEvent::Move || type == QEvent::Resize)) {
      const QMargins margins = FrameMargins(m_window);
      if (margins != m_margins) {
        m_margins = margins;
        m_apply(margins);
        // Framed once; later changes (full screen, say) are the user's.
        if (!margins.isNull()) {
          m_window.removeEventFilter(this);
          deleteLater();
        }
      }
    }
    return false;
  }

 private:
  QWidget& m_window;
  std::function<void(const QMargins&)> m_apply;
  QMargins m_margins;
};

class OwnedAbove : public QObject {
 public:
  explicit OwnedAbove(QWidget& owner) : QObject(&owner), m_owner(owner) {
    owner.winId();
    owner.windowHandle()->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    QWindow* ownerWindow = m_owner.windowHandle();
    if (watched != ownerWindow || event->type() != QEvent::Expose || !ownerWindow->isExposed())
      return false;
    for (QWidget* owned : m_owner.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      if (!owned->isWindow() || !owned->isVisible() || !owned->windowHandle()) continue;
      // Only a window manager (which frames the windows) keeps an order.
      // It reads who owns a window when the window maps, so the owned
      // window maps again now that its owner is there.
      if (FrameMargins(*owned).isNull() && ownerWindow->frameMargins().isNull()) continue;
      owned->hide();
      owned->show();
    }
    ownerWindow->removeEventFilter(this);
    deleteLater();
    return false;
  }

 private:
  QWidget& m_owner;
};

}  // namespace

void PlaceByOuterRectangle(QWidget& window, std::function<void(const QMargins&)> apply) {
  new OuterPlacement(window, std::move(apply));
}

void KeepOwnedWindowsAbove(QWidget& owner) { new OwnedAbove(owner); }

void ShowNow(QWidget& window) {
  window.show();
  window.repaint();
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

}  // namespace zorva
