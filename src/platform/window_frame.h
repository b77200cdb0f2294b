#pragma once

#include <functional>

class QMargins;
class QWidget;

namespace zorva {

// Where a window stands is given for its outer rectangle, caption and border
// included, as the window system of the templates measures it. Under a
// window manager that frame is known only once the manager has framed the
// window, after it is shown: `apply` gets the frame's margins now (none
// while unknown) and again whenever they turn out other than assumed, and
// places the window's inside for them. Once the window is framed, later
// changes (full screen, a place the user chose) are left alone.
void PlaceByOuterRectangle(QWidget& window, std::function<void(const QMargins&)> apply);

// The windows `owner` owns stay above it, as owned windows do. A window
// manager that saw them mapped while their owner was not yet on screen does
// not take them for owned windows and lets the owner cover them; once the
// owner shows, the owned windows that show are mapped again.
void KeepOwnedWindowsAbove(QWidget& owner);

// Shows the window and lets the window system map and paint it now, for a
// window that stands on screen while the next steps keep the thread busy.
// Input waits until the thread is free again.
void ShowNow(QWidget& window);

}  // namespace zorva
