#include "platform/dialog_units.h"

#include <QFrame>
#include <QGroupBox>
#include <QWidget>

namespace zorva {

QRect DluRect(int x, int y, int width, int height) {
  const int left = DluToPixelsX(x);
  const int top = DluToPixelsY(y);
  return QRect(left, top, DluToPixelsX(x + width) - left, DluToPixelsY(y + height) - top);
}

QSize DluSize(int width, int height) { return QSize(DluToPixelsX(width), DluToPixelsY(height)); }

void MapDialogUnits(QWidget* window) {
  // Only widgets placed by the template move. The inner parts of a control
  // (a combo box's line edit, a scroll area's viewport) are placed by the
  // control itself, so the walk descends only into plain containers, and
  // children managed by a layout are left to it.
  const auto isContainer = [](const QWidget* w) {
    const QMetaObject* m = w->metaObject();
    return m == &QWidget::staticMetaObject || m == &QFrame::staticMetaObject ||
           m == &QGroupBox::staticMetaObject;
  };
  const auto mapChildren = [&isContainer](auto& self, QWidget* parent) -> void {
    if (parent->layout() != nullptr) return;
    for (QObject* object : parent->children()) {
      auto* child = qobject_cast<QWidget*>(object);
      if (!child || child->isWindow()) continue;
      const QRect r = child->geometry();
      child->setGeometry(DluRect(r.x(), r.y(), r.width(), r.height()));
      if (isContainer(child)) self(self, child);
    }
  };
  mapChildren(mapChildren, window);
  window->resize(DluSize(window->width(), window->height()));
}

}  // namespace zorva
