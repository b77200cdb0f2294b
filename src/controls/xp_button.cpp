#include "controls/xp_button.h"

#include <QEnterEvent>
#include <QPainter>

#include "controls/artwork.h"

namespace zorva {

namespace {

// The system's edge width and height between the outline and the face.
constexpr int kEdge = 2;
// The icon is drawn at the system's standard icon size.
constexpr int kIconSize = 32;
// Where the embossed text of a disabled button takes its two colours: the
// system's 3-D highlight and 3-D shadow.
const QColor kEmbossLight(255, 255, 255);
const QColor kEmbossShadow(160, 160, 160);

}  // namespace

const CXPButton::RimColours CXPButton::kHoverRim = {QColor(250, 196, 88), QColor(251, 202, 106),
                                                    QColor(252, 210, 121), QColor(229, 151, 0)};
const CXPButton::RimColours CXPButton::kFocusRim = {QColor(153, 198, 252), QColor(162, 189, 252),
                                                    QColor(162, 201, 255), QColor(162, 201, 255)};

CXPButton::CXPButton(QWidget* parent) : QPushButton(parent) {}

CXPButton::CXPButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {}

void CXPButton::SetIcon(int resourceId) {
  m_hIcon = IconById(resourceId);
  update();
}

void CXPButton::enterEvent(QEnterEvent* event) {
  SetHover(true);
  QPushButton::enterEvent(event);
}

void CXPButton::leaveEvent(QEvent* event) {
  SetHover(false);
  QPushButton::leaveEvent(event);
}

void CXPButton::SetHover(bool hover) {
  if (m_bHover == hover) return;
  m_bHover = hover;
  update();
}

void CXPButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect item = rect();

  // The rounded outline over the whole button; its inside takes the
  // default white brush, which the face covers again.
  painter.save();
  painter.setPen(QPen(Qt::black, 1));
  painter.setBrush(Qt::white);
  painter.drawRoundedRect(QRectF(item).adjusted(0.5, 0.5, -0.5, -0.5), 2.5, 2.5);
  painter.restore();

  m_bFocus = hasFocus();
  const bool pressed = isDown();
  const QRect inner = item.adjusted(kEdge, kEdge, -kEdge, -kEdge);

  DrawFace(painter, inner);
  if (m_bHover || m_bFocus) DrawRim(painter, inner);

  // Text centred in the inner rectangle, measured whole (an ampersand
  // included) as the system measures it.
  painter.setFont(font());
  const QFontMetrics metrics(font());
  const QString caption = text();
  const int textWidth = metrics.horizontalAdvance(caption);
  const int textHeight = metrics.height();
  const int innerRight = inner.left() + inner.width();
  const int innerBottom = inner.top() + inner.height();
  int x = (inner.left() + innerRight) / 2 - textWidth / 2;
  int y = (inner.top() + innerBottom) / 2 - textHeight / 2;
  if (m_bShowIcon) x += 5;
  if (pressed) {
    x += 1;
    y += 1;
  }
  const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextShowMnemonic | Qt::TextSingleLine;
  const QRect textRect(x, y, textWidth, textHeight);
  if (isEnabled()) {
    painter.setPen(Qt::black);
    painter.drawText(textRect, flags, caption);
  } else {
    // Embossed: a light copy one pixel down and right, the shadow on top.
    painter.setPen(kEmbossLight);
    painter.drawText(textRect.translated(1, 1), flags, caption);
    painter.setPen(kEmbossShadow);
    painter.drawText(textRect, flags, caption);
  }
}

void CXPButton::DrawFace(QPainter& painter, const QRect& inner) {
  // White under the face, so that an inner area larger than the bitmap
  // shows white beyond it.
  painter.fillRect(inner, Qt::white);
  const QPixmap face = m_bHover ? ButtonFaceHover() : ButtonFace();
  painter.drawPixmap(inner.topLeft(), face, QRect(QPoint(0, 0), inner.size()));
  if (m_bShowIcon && !m_hIcon.isNull())
    m_hIcon.paint(&painter, QRect(0, 3, kIconSize, kIconSize), Qt::AlignLeft | Qt::AlignTop);
}

void CXPButton::DrawRim(QPainter& painter, const QRect& inner) {
  const bool focusRim = m_bFocus && !m_bHover;
  const RimColours& colours = focusRim ? kFocusRim : kHoverRim;
  // Edges with the exclusive right and bottom of the system's rectangles.
  const int l = inner.left();
  const int t = inner.top();
  const int r = inner.left() + inner.width();
  const int b = inner.top() + inner.height();
  // Left and right are 3 pixels wide, centred on their line; top and bottom
  // 2 pixels. Each is drawn in turn, so a later one covers the corners.
  painter.fillRect(QRect(l - 1, t + 2, 3, b - t - 2), colours.left);
  painter.fillRect(QRect(r - 2, t + 1, 3, b - t - 1), colours.right);
  painter.fillRect(QRect(l - 1, t, r - l, 2), colours.top);
  painter.fillRect(QRect(l, b - 1, r - 1 - l, 2), colours.bottom);

  if (focusRim) {
    // The dotted focus rectangle inverts every other pixel of the inner
    // rectangle's border, as the system draws it.
    painter.save();
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    painter.setPen(QPen(Qt::white, 1));
    const QRect ring = inner;
    for (int px = ring.left(); px <= ring.right(); px += 2) {
      painter.drawPoint(px, ring.top());
      painter.drawPoint(px, ring.bottom());
    }
    for (int py = ring.top() + 2; py < ring.bottom(); py += 2) {
      painter.drawPoint(ring.left(), py);
      painter.drawPoint(ring.right(), py);
    }
    painter.restore();
  }
}

}  // namespace zorva
