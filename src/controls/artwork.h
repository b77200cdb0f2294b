#pragma once

#include <QCursor>
#include <QIcon>
#include <QPixmap>

namespace zorva {

// The program's artwork, by resource number, painted on first use and kept
// for the life of the program. Needs a QGuiApplication.
//
// Bitmaps: 127 the toolbar strip (eleven 16 x 15 images side by side),
// 189 the login banner, 211 the normal button face, 212 the button face
// under the mouse. Icons: 127 the program, 204 sign in, 205 cancel.
// Cursor: 214 the pointing hand.
//
// An unknown number gives a null pixmap, an empty icon or the arrow cursor,
// as loading a resource the program does not have leaves the handle empty.
QPixmap Bitmap(int id);
QIcon Icon(int id);
QCursor Cursor(int id);

// Image `index` (0-10) of the toolbar strip, or a null pixmap.
QPixmap ToolbarImage(int index);

inline constexpr int kToolbarImageWidth = 16;
inline constexpr int kToolbarImageHeight = 15;
inline constexpr int kToolbarImageCount = 11;

}  // namespace zorva
