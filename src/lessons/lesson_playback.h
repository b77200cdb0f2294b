#pragma once

#include <QPoint>

#include <cstdint>
#include <memory>

#include "core/text.h"
#include "lessons/page_table.h"
#include "platform/interval_timer.h"

class QWidget;

namespace zorva {

class EntryTable;
class MoviePlayer;

// What playback asks of the lesson window. The window implements it; tests
// drive playback through a plain object instead.
class PlaybackView {
 public:
  virtual ~PlaybackView() = default;

  // The nine controls of the button row across the top.
  virtual void ShowButtonRow(bool show) = 0;
  virtual void SetTitle(const Text& title) = 0;
  // The mouse cursor, in screen coordinates.
  virtual QPoint CursorPosition() const = 0;
  // The "自动播放下一课程" box.
  virtual bool AutoNextChecked() const = 0;
  // The catalogue tree and the page store make way for the lesson.
  virtual void HideTreeAndPageStore() = 0;
  // The window's blank page behind the player, shown again at the end.
  virtual void ShowBlankPage() = 0;
  virtual void SetPauseButtonText(const Text& text) = 0;
  // Owner of playback's message boxes.
  virtual QWidget* MessageOwner() = 0;
};

// Where lessons come from: the server base address and the signed-in user
// whose name and password go with every lesson request.
struct LessonSource {
  Text baseAddress;
  Text userName;
  Text password;
};

// What playback remembers between ticks.
struct PlaybackState {
  // Delay of a page whose page list entry gives none.
  static constexpr int32_t kDefaultPageDelay = 6;

  int32_t m_nPageIndex = 0;                  // row of the page table to show next
  int32_t m_nPageDelay = kDefaultPageDelay;  // delay value of the page on screen
  int32_t m_nEndTicks = 0;                   // ticks with the movie stopped at its last frame
  int32_t m_nIdleTicks = 0;                  // ticks with the cursor not moving
  bool m_bShowNow = false;                   // show the page at m_nPageIndex at the next tick
  bool m_bPaused = false;
  QPoint m_ptLastCursor{0, 0};  // screen position seen at the previous tick
  QPoint m_ptLastClick{0, 0};   // screen position of the last page or pause press
};

// The lesson window's playback: Play on a catalogue entry, the page list
// request, the one-second tick that moves from page to page and on to the
// next lesson, the page buttons and pause. Program items go to
// PlayProgramItem. It owns its state, the page table and timer 1. Everything
// runs on the user-interface thread.
class LessonPlayback {
 public:
  static constexpr int kTickPeriodMs = 1000;

  LessonPlayback(PlaybackView& view, MoviePlayer& player, const EntryTable& entries,
                 LessonSource source, std::unique_ptr<IntervalTimer> timer);
  ~LessonPlayback();

  // Play on the entry table row that the tree selection resolved to.
  void OnPlay(int row);
  // Requests the page list of the entry table row and starts the timer. A
  // row the table does not hold is reported, and nothing is requested.
  void LoadLessonContent(int row);
  // One tick of timer 1.
  void OnTimer();
  void OnPrevPage();
  void OnNextPage();
  void OnPauseResume();

  // Timer 1; starting it again restarts it.
  void StartTimer();
  void StopTimer();
  bool IsTimerRunning() const;

  const PlaybackState& State() const { return m_state; }
  const PageTable& Pages() const { return m_pages; }
  // The entry table row of the lesson being played, or -1 before the first.
  int LessonRow() const { return m_nLessonRow; }
  // The folder of that lesson on the server; empty before the first.
  Text LessonDir() const;
  // A lesson request is being prepared or sent.
  bool RequestRunning() const { return m_bRequestRunning; }

 private:
  // showNow: the page was asked for at once (Play or a page button) rather
  // than reached by the delay rule.
  void AdvancePage(bool showNow);
  void EndOfLesson(bool showNow);
  void StopPlayback();
  // The file name of the page on screen says it is an advertisement, which
  // the page buttons cannot leave.
  bool OnAdvertisement() const;

  PlaybackView& m_view;
  MoviePlayer& m_player;
  const EntryTable& m_entries;
  const LessonSource m_source;
  std::unique_ptr<IntervalTimer> m_timer;
  PlaybackState m_state;
  PageTable m_pages;
  // The entry table row of the lesson being played (its folder is that
  // row's dir), or -1.
  int m_nLessonRow = -1;
  bool m_bRequestRunning = false;
  bool m_bPlayRunning = false;
};

}  // namespace zorva
