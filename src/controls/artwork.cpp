#include "controls/artwork.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmapCache>

#include <array>
#include <functional>

namespace zorva {

namespace {

QPixmap Cached(int kind, int id, const std::function<QPixmap()>& paint) {
  const QString key = QStringLiteral("zorva-art-%1-%2").arg(kind).arg(id);
  QPixmap pixmap;
  if (!QPixmapCache::find(key, &pixmap)) {
    pixmap = paint();
    QPixmapCache::insert(key, pixmap);
  }
  return pixmap;
}

QPixmap Transparent(int width, int height) {
  QPixmap pixmap(width, height);
  pixmap.fill(Qt::transparent);
  return pixmap;
}

// Colour of row y of a vertical gradient through the given stops, each a
// row and a colour; rows between stops are interpolated, rows beyond the
// last stop keep its colour.
struct Stop {
  int row;
  QColor colour;
};

QColor RowColour(int y, const std::vector<Stop>& stops) {
  if (y <= stops.front().row) return stops.front().colour;
  for (size_t i = 1; i < stops.size(); ++i) {
    const Stop& a = stops[i - 1];
    const Stop& b = stops[i];
    if (y > b.row) continue;
    const double t = double(y - a.row) / double(b.row - a.row);
    const auto mix = [t](int from, int to) { return int(from + (to - from) * t + 0.5); };
    return QColor(mix(a.colour.red(), b.colour.red()), mix(a.colour.green(), b.colour.green()),
                  mix(a.colour.blue(), b.colour.blue()));
  }
  return stops.back().colour;
}

QPixmap RowGradient(int width, int height, const std::vector<Stop>& stops) {
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y) {
    const QRgb rgb = RowColour(y, stops).rgb();
    for (int x = 0; x < width; ++x) image.setPixel(x, y, rgb);
  }
  return QPixmap::fromImage(image);
}

// Normal face: white at the top, light blue at mid-height, a deeper blue
// below, closed by a two-row darker band.
QPixmap NormalFace() {
  return RowGradient(126, 20,
                     {{0, QColor(255, 255, 255)},
                      {9, QColor(189, 227, 255)},
                      {17, QColor(165, 215, 255)},
                      {18, QColor(123, 186, 239)}});
}

// Face under the mouse: a paler gradient.
QPixmap HoverFace() {
  return RowGradient(77, 19, {{0, QColor(255, 255, 255)}, {18, QColor(214, 239, 255)}});
}

QPixmap Banner() {
  QPixmap pixmap(340, 61);
  QPainter p(&pixmap);
  QLinearGradient sky(0, 0, 0, 61);
  sky.setColorAt(0, QColor(255, 255, 255));
  sky.setColorAt(1, QColor(189, 227, 255));
  p.fillRect(pixmap.rect(), sky);
  p.setRenderHint(QPainter::Antialiasing);
  // The mark: a blue disc with a white Z.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(40, 110, 200));
  p.drawEllipse(QRectF(14, 10, 40, 40));
  QFont mark;
  mark.setPixelSize(28);
  mark.setBold(true);
  p.setFont(mark);
  p.setPen(Qt::white);
  p.drawText(QRectF(14, 10, 40, 40), Qt::AlignCenter, QStringLiteral("Z"));
  QFont title;
  title.setPixelSize(22);
  title.setBold(true);
  p.setFont(title);
  p.setPen(QColor(30, 80, 160));
  p.drawText(QRectF(64, 0, 270, 61), Qt::AlignVCenter | Qt::AlignLeft,
             QStringLiteral("Zorva学习娱乐空间"));
  p.setPen(QColor(123, 186, 239));
  p.drawLine(0, 60, 339, 60);
  return pixmap;
}

// The pointing hand, drawn pixel by pixel in the few colours of a 16-colour
// cursor: B black outline, W white, G grey shade, N navy cuff.
constexpr std::array<const char*, 26> kHand = {
    "",
    "...........BBB",
    "..........BWWWB",
    "..........BWWWB",
    "..........BWWWB",
    "..........BWWWB",
    "..........BWWWBBB",
    "..........BWWWBWWBBB",
    "..........BWWWBWWBWWBBB",
    "..........BWWWBWWBWWBWWB",
    "......BBB.BWWWWWWWWWWWWB",
    ".....BWWWBBWWWWWWWWWWWWB",
    ".....BWWWWBWWWWWWWWWWWWB",
    "......BWWWWWWWWWWWWWWWWB",
    "......BWWWWWWWWWWWWWWWWB",
    ".......BWWWWWWWWWWWWWWWB",
    ".......BWWWWWWWWWWWWWWGB",
    "........BWWWWWWWWWWWWWGB",
    "........BWWWWWWWWWWWWGB",
    ".........BWWWWWWWWWWWGB",
    ".........BWWWWWWWWWWGB",
    "..........BWWWWWWWWWGB",
    "..........BBBBBBBBBBBB",
    "..........BNNNNNNNNNNB",
    "..........BNNNNNNNNNNB",
    "..........BBBBBBBBBBBB",
};

QPixmap HandPixmap() {
  QImage image(32, 32, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  for (int y = 0; y < int(kHand.size()); ++y) {
    for (int x = 0; kHand[y][x] != '\0'; ++x) {
      QColor c;
      switch (kHand[y][x]) {
        case 'B':
          c = Qt::black;
          break;
        case 'W':
          c = Qt::white;
          break;
        case 'G':
          c = QColor(128, 128, 128);
          break;
        case 'N':
          c = QColor(0, 0, 128);
          break;
        default:
          continue;
      }
      image.setPixelColor(x, y, c);
    }
  }
  return QPixmap::fromImage(image);
}

// Icons 204 and 205 are drawn at the button's left edge at the standard
// icon size (32 x 32); their glyph sits in the upper left 16 x 16 so that it
// shows whole inside a 22-pixel button.
QPixmap ButtonIcon(int id) {
  QPixmap pixmap = Transparent(32, 32);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.translate(3, 0);
  if (id == 204) {
    // An arrow going into a door: sign in.
    p.setPen(QPen(QColor(40, 90, 160), 1.5));
    p.setBrush(QColor(220, 235, 255));
    p.drawRect(QRectF(8.5, 1.5, 6, 13));
    QPainterPath arrow;
    arrow.moveTo(1, 6);
    arrow.lineTo(6, 6);
    arrow.lineTo(6, 3);
    arrow.lineTo(11, 8);
    arrow.lineTo(6, 13);
    arrow.lineTo(6, 10);
    arrow.lineTo(1, 10);
    arrow.closeSubpath();
    p.setPen(QPen(QColor(20, 110, 30), 1));
    p.setBrush(QColor(60, 180, 70));
    p.drawPath(arrow);
  } else {
    // A red cross: cancel.
    p.setPen(QPen(QColor(200, 30, 30), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(3, 3), QPointF(13, 13));
    p.drawLine(QPointF(13, 3), QPointF(3, 13));
  }
  return pixmap;
}

QPixmap ProgramIcon(int size) {
  QPixmap pixmap = Transparent(size, size);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal s = size;
  QLinearGradient fill(0, 0, 0, s);
  fill.setColorAt(0, QColor(120, 190, 255));
  fill.setColorAt(1, QColor(30, 90, 190));
  p.setPen(QPen(QColor(20, 60, 130), 1));
  p.setBrush(fill);
  p.drawRoundedRect(QRectF(0.5, 0.5, s - 1, s - 1), s / 5, s / 5);
  QPainterPath z;
  z.moveTo(s * 0.25, s * 0.25);
  z.lineTo(s * 0.75, s * 0.25);
  z.lineTo(s * 0.25, s * 0.75);
  z.lineTo(s * 0.75, s * 0.75);
  p.setPen(QPen(Qt::white, s / 8, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
  p.setBrush(Qt::NoBrush);
  p.drawPath(z);
  return pixmap;
}

// One 16 x 15 toolbar image: 0 learning (a book), 1 help, 2 suggestion (a
// letter), 3 exit, 4-10 the lesson controls that the frame never enables.
void PaintToolbarImage(QPainter& p, int index) {
  const QColor ink(30, 70, 140);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(ink, 1));
  switch (index) {
    case 0:
      p.setBrush(QColor(250, 220, 120));
      p.drawRect(QRectF(1.5, 2.5, 6, 10));
      p.drawRect(QRectF(8.5, 2.5, 6, 10));
      break;
    case 1: {
      p.setBrush(QColor(60, 130, 220));
      p.drawEllipse(QRectF(0.5, 0.5, 14, 14));
      QFont f;
      f.setPixelSize(12);
      f.setBold(true);
      p.setFont(f);
      p.setPen(Qt::white);
      p.drawText(QRectF(0, 0, 15, 15), Qt::AlignCenter, QStringLiteral("?"));
      break;
    }
    case 2:
      p.setBrush(Qt::white);
      p.drawRect(QRectF(0.5, 3.5, 14, 9));
      p.drawLine(QPointF(0.5, 3.5), QPointF(7.5, 8.5));
      p.drawLine(QPointF(14.5, 3.5), QPointF(7.5, 8.5));
      break;
    case 3:
      p.setBrush(QColor(170, 110, 60));
      p.drawRect(QRectF(2.5, 1.5, 8, 12));
      p.setPen(QPen(QColor(200, 30, 30), 2));
      p.drawLine(QPointF(8, 7.5), QPointF(15, 7.5));
      break;
    case 4: {  // play
      QPainterPath t;
      t.moveTo(4, 2);
      t.lineTo(13, 7.5);
      t.lineTo(4, 13);
      t.closeSubpath();
      p.setBrush(QColor(60, 170, 70));
      p.drawPath(t);
      break;
    }
    case 5:  // pause
      p.setBrush(ink);
      p.drawRect(QRectF(3.5, 2.5, 3, 10));
      p.drawRect(QRectF(9.5, 2.5, 3, 10));
      break;
    case 6:  // stop
      p.setBrush(QColor(200, 40, 40));
      p.drawRect(QRectF(3.5, 3.5, 9, 9));
      break;
    case 7:    // previous page
    case 8: {  // next page
      QPainterPath t;
      const bool next = index == 8;
      t.moveTo(next ? 4 : 12, 2);
      t.lineTo(next ? 12 : 4, 7.5);
      t.lineTo(next ? 4 : 12, 13);
      t.closeSubpath();
      p.setBrush(ink);
      p.drawPath(t);
      break;
    }
    case 9: {  // volume
      QPainterPath s;
      s.moveTo(2, 5.5);
      s.lineTo(5, 5.5);
      s.lineTo(9, 2);
      s.lineTo(9, 13);
      s.lineTo(5, 9.5);
      s.lineTo(2, 9.5);
      s.closeSubpath();
      p.setBrush(ink);
      p.drawPath(s);
      p.setBrush(Qt::NoBrush);
      p.drawArc(QRectF(7, 3, 7, 9), -60 * 16, 120 * 16);
      break;
    }
    default:  // refresh
      p.setBrush(Qt::NoBrush);
      p.setPen(QPen(QColor(60, 170, 70), 2));
      p.drawArc(QRectF(2.5, 2.5, 10, 10), 30 * 16, 300 * 16);
      break;
  }
}

QPixmap ToolbarStrip() {
  QPixmap strip = Transparent(kToolbarImageWidth * kToolbarImageCount, kToolbarImageHeight);
  QPainter p(&strip);
  for (int i = 0; i < kToolbarImageCount; ++i) {
    p.save();
    p.translate(i * kToolbarImageWidth, 0);
    p.setClipRect(0, 0, kToolbarImageWidth, kToolbarImageHeight);
    PaintToolbarImage(p, i);
    p.restore();
  }
  return strip;
}

}  // namespace

QPixmap Bitmap(int id) {
  switch (id) {
    case 127:
      return Cached(0, id, ToolbarStrip);
    case 189:
      return Cached(0, id, Banner);
    case 211:
      return Cached(0, id, NormalFace);
    case 212:
      return Cached(0, id, HoverFace);
    default:
      return QPixmap();
  }
}

QIcon Icon(int id) {
  switch (id) {
    case 127: {
      QIcon icon;
      icon.addPixmap(Cached(1, 127, [] { return ProgramIcon(16); }));
      icon.addPixmap(Cached(1, 1127, [] { return ProgramIcon(32); }));
      return icon;
    }
    case 204:
    case 205:
      return QIcon(Cached(1, id, [id] { return ButtonIcon(id); }));
    default:
      return QIcon();
  }
}

QCursor Cursor(int id) {
  if (id != 214) return QCursor(Qt::ArrowCursor);
  return QCursor(Cached(2, id, HandPixmap), 12, 1);
}

QPixmap ToolbarImage(int index) {
  if (index < 0 || index >= kToolbarImageCount) return QPixmap();
  return Bitmap(127).copy(index * kToolbarImageWidth, 0, kToolbarImageWidth, kToolbarImageHeight);
}

}  // namespace zorva
