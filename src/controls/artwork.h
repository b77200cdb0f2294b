#pragma once

#include <QCursor>
#include <QIcon>
#include <QPixmap>

namespace zorva {

// The program's artwork, files under res/artwork/ compiled into the program
// (res/artwork.qrc), loaded on first use and kept for the life of the
// program. Needs a QGuiApplication.

// Bitmap 127: the toolbar strip, eleven 16 x 15 images side by side (0
// learning, 1 help, 2 suggestion, 3 exit, 4-10 the lesson controls).
QPixmap ToolbarStrip();
// Image `index` (0-10) of the toolbar strip, or a null pixmap.
QPixmap ToolbarImage(int index);
// Bitmap 189: the login dialog's banner.
QPixmap LoginBanner();
// Bitmap 211: the owner-drawn button's face.
QPixmap ButtonFace();
// Bitmap 212: the owner-drawn button's face under the mouse.
QPixmap ButtonFaceHover();
// Icon 127: the program, at 16 x 16 and 32 x 32.
QIcon ProgramIcon();
// Cursor 214: the pointing hand, hot spot at the tip of the index finger.
QCursor HandCursor();

// The icons a dialog gives a button by resource id.
inline constexpr int kSignInIconId = 204;  // an arrow going into a door
inline constexpr int kCancelIconId = 205;  // a red cross
// The icon with that resource id; an unknown id gives an empty icon, as
// loading a resource the program does not have leaves the handle empty.
QIcon IconById(int id);

inline constexpr int kToolbarImageWidth = 16;
inline constexpr int kToolbarImageHeight = 15;
inline constexpr int kToolbarImageCount = 11;

}  // namespace zorva
