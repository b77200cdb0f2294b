#include "lessons/catalogue_tree.h"

#include "lessons/lesson_keys.h"

#include <QApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleFactory>
#include <QStyledItemDelegate>
#include <QToolTip>

namespace zorva {

namespace {

// Hot tracking: the item under the mouse is drawn underlined in the link
// colour, as a tracking tree shows it.
class HotTrackDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    if (!(option->state & QStyle::State_MouseOver)) return;
    option->font.setUnderline(true);
    if (!(option->state & QStyle::State_Selected))
      option->palette.setColor(QPalette::Text, option->palette.color(QPalette::Link));
    // The underline is the hot item's only mark: a hover fill would cover
    // the tree's background colour.
    option->state &= ~QStyle::State_MouseOver;
  }
};

}  // namespace

CatalogueTree::CatalogueTree(QWidget* parent) : QTreeWidget(parent) {
  // The classic style draws the dotted lines and the boxed expand buttons.
  if (QStyle* classic = QStyleFactory::create(QStringLiteral("Windows"))) {
    classic->setParent(this);
    setStyle(classic);
  }
  setColumnCount(1);
  setHeaderHidden(true);
  setRootIsDecorated(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setTextElideMode(Qt::ElideNone);
  // Every row is one line of text in one font: the tree need not measure
  // each row, which keeps laying out a catalogue of thousands of rows (as the
  // search does at each keystroke) fast.
  setUniformRowHeights(true);
  // The column is as wide as its widest shown text, so a long text scrolls
  // sideways rather than being cut at the column's edge.
  header()->setStretchLastSection(false);
  header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  setMouseTracking(true);
  viewport()->setAttribute(Qt::WA_Hover);
  setItemDelegate(new HotTrackDelegate(this));
  setExpandsOnDoubleClick(true);
}

void CatalogueTree::SetBackgroundColor(const QColor& color) {
  QPalette colours = palette();
  colours.setColor(QPalette::Base, color);
  setPalette(colours);
}

void CatalogueTree::keyPressEvent(QKeyEvent* event) {
  QTreeWidget::keyPressEvent(event);
  // The keys that move the caret stay the tree's at its ends too, where the
  // view passes them on to the window, whose shortcuts would turn a page.
  const bool modified =
      event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
  if (!modified && MovesACaret(event->key())) event->accept();
}

void CatalogueTree::mousePressEvent(QMouseEvent* event) {
  const QPointF at = event->position();
  const QPersistentModelIndex pressed = indexAt(at.toPoint());
  const QRect before = pressed.isValid() ? visualRect(pressed) : QRect();
  if (pressed.isValid() && at.x() < before.left()) {
    // The expand button: the tree's own business.
    QTreeWidget::mousePressEvent(event);
    return;
  }
  emit clickedBeforeSelection();
  // What the press hit was decided before anything opened; an item opened
  // above it may have moved it, but the press still belongs to it.
  if (!pressed.isValid()) {
    if (!indexAt(at.toPoint()).isValid()) QTreeWidget::mousePressEvent(event);
    return;
  }
  const QPoint shift = visualRect(pressed).topLeft() - before.topLeft();
  if (shift.isNull()) {
    QTreeWidget::mousePressEvent(event);
    return;
  }
  QMouseEvent moved(event->type(), at + shift, event->scenePosition() + shift,
                    event->globalPosition() + shift, event->button(), event->buttons(),
                    event->modifiers(), event->pointingDevice());
  moved.setTimestamp(event->timestamp());
  QTreeWidget::mousePressEvent(&moved);
  event->setAccepted(moved.isAccepted());
}

bool CatalogueTree::viewportEvent(QEvent* event) {
  if (event->type() != QEvent::ToolTip) return QTreeWidget::viewportEvent(event);
  // Only a text the tree cuts off gets a tool tip, and it shows the whole
  // text.
  auto* help = static_cast<QHelpEvent*>(event);
  const QModelIndex index = indexAt(help->pos());
  if (index.isValid()) {
    const QRect item = visualRect(index);
    const QString text = index.data(Qt::DisplayRole).toString();
    const int textWidth = QFontMetrics(font()).horizontalAdvance(text) +
                          2 * style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 2;
    if (item.left() < 0 || item.left() + textWidth > viewport()->width()) {
      QToolTip::showText(help->globalPos(), text, viewport(), item);
      return true;
    }
  }
  QToolTip::hideText();
  event->ignore();
  return true;
}

}  // namespace zorva
