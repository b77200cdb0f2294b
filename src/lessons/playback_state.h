#pragma once

#include <cstdint>

#include <QPoint>

#include "core/text.h"

namespace zorva {

// What playback remembers between ticks of the lesson window's timer. The
// window resets it each time it opens; playback reads and writes it.
struct PlaybackState {
  Text m_strLessonDir;       // dir of the lesson being played
  int32_t m_nPageIndex = 0;  // row of the page table to show next
  int32_t m_nPageDelay = 6;  // delay value of the page on screen
  int32_t m_nEndTicks = 0;   // ticks with the movie stopped at its last frame
  int32_t m_nIdleTicks = 0;  // ticks with the cursor not moving
  bool m_bShowNow = false;   // show the page at m_nPageIndex at the next tick
  bool m_bPaused = false;
  QPoint m_ptLastCursor{0, 0};  // screen position seen at the previous tick
  QPoint m_ptLastClick{0, 0};   // screen position of the last page or pause press
};

}  // namespace zorva
