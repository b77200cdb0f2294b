#pragma once

#include <QRect>
#include <QSize>

class QWidget;

namespace zorva {

// Dialog templates are laid out in dialog units of "MS Shell Dlg" 8 pt. The
// base units of that font are 6 x 13 pixels: a horizontal unit is a quarter
// of the base width, a vertical unit an eighth of the base height.
inline constexpr int kDialogBaseUnitX = 6;
inline constexpr int kDialogBaseUnitY = 13;

constexpr int DluToPixelsX(int dlu) { return dlu * kDialogBaseUnitX / 4; }
constexpr int DluToPixelsY(int dlu) { return dlu * kDialogBaseUnitY / 8; }

// A template rectangle in pixels. Each edge is mapped on its own, as the
// system maps a template rectangle, so neighbouring controls that touch in
// dialog units still touch in pixels.
QRect DluRect(int x, int y, int width, int height);
QSize DluSize(int width, int height);

// Windows made from .ui files keep their template geometry in dialog units.
// This maps the window's size and the geometry of every descendant widget
// from dialog units to pixels. Call it once,
// right after setupUi; a second call would scale again.
void MapDialogUnits(QWidget* window);

}  // namespace zorva
