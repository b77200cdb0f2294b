#include "controls/artwork.h"

#include <QPixmapCache>

#include <mutex>

// The resources live in a static library: nothing else would pull them in.
static void InitArtworkResources() { Q_INIT_RESOURCE(artwork); }

namespace zorva {

namespace {

QPixmap Load(const char* name) {
  static std::once_flag once;
  std::call_once(once, InitArtworkResources);
  const QString path = QStringLiteral(":/artwork/") + QLatin1String(name);
  QPixmap pixmap;
  if (!QPixmapCache::find(path, &pixmap)) {
    pixmap.load(path);
    QPixmapCache::insert(path, pixmap);
  }
  return pixmap;
}

}  // namespace

QPixmap ToolbarStrip() { return Load("toolbar.png"); }

QPixmap ToolbarImage(int index) {
  if (index < 0 || index >= kToolbarImageCount) return QPixmap();
  return ToolbarStrip().copy(index * kToolbarImageWidth, 0, kToolbarImageWidth,
                             kToolbarImageHeight);
}

QPixmap LoginBanner() { return Load("login_banner.png"); }
QPixmap ButtonFace() { return Load("button_face.png"); }
QPixmap ButtonFaceHover() { return Load("button_face_hover.png"); }

QIcon ProgramIcon() {
  QIcon icon;
  icon.addPixmap(Load("program_16.png"));
  icon.addPixmap(Load("program_32.png"));
  return icon;
}

QCursor HandCursor() { return QCursor(Load("hand.xpm"), 12, 1); }

QIcon IconById(int id) {
  switch (id) {
    case kSignInIconId:
      return QIcon(Load("sign_in.png"));
    case kCancelIconId:
      return QIcon(Load("cancel.png"));
    default:
      return QIcon();
  }
}

}  // namespace zorva
