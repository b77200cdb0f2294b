#pragma once

#include <QTreeWidget>

namespace zorva {

// The lesson window's catalogue tree: one column of plain text items, no
// header, with lines and expand buttons (at the root too), the hot item
// underlined under the mouse, the selection shown also without focus, and a
// tool tip with the whole text of an item the tree cuts off.
class CatalogueTree : public QTreeWidget {
  Q_OBJECT

 public:
  explicit CatalogueTree(QWidget* parent = nullptr);

  void SetBackgroundColor(const QColor& color);

 signals:
  // A press on an item or on the empty part of the tree, sent before the
  // press moves the selection. A press on an item's expand button is the
  // button's own business and sends nothing.
  void clickedBeforeSelection();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  bool viewportEvent(QEvent* event) override;
};

}  // namespace zorva
