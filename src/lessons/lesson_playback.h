#pragma once

#include <vector>

#include "core/text.h"

class QWidget;

namespace zorva {

class EntryTable;
class MoviePlayer;

// A point on the screen, in pixels.
struct ScreenPoint {
  int x = 0;
  int y = 0;
  friend bool operator==(const ScreenPoint&, const ScreenPoint&) = default;
};

// What playback asks of the lesson window. The window implements it; tests
// drive playback through a plain object instead.
class PlaybackView {
 public:
  virtual ~PlaybackView() = default;

  // The nine controls of the button row across the top.
  virtual void ShowButtonRow(bool show) = 0;
  virtual void SetTitle(const Text& title) = 0;
  // The mouse cursor, in screen coordinates.
  virtual ScreenPoint CursorPosition() const = 0;
  // Timer 1 of the window, every 1000 ms; starting it again restarts it.
  virtual void StartPlaybackTimer() = 0;
  virtual void StopPlaybackTimer() = 0;
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

// One page of the lesson being played: its movie's file name and its
// delay_time text (empty when the page list gives none).
struct LessonPage {
  Text name;
  Text delay;
};

// The lesson window's playback: Play on a catalogue entry, the page list
// request, the one-second tick that moves from page to page and on to the
// next lesson, the page buttons and pause. Program items go to
// PlayProgramItem. Everything runs on the user-interface thread.
class LessonPlayback {
 public:
  LessonPlayback(PlaybackView& view, MoviePlayer& player, const EntryTable& entries);

  // Play on the entry table row that the tree selection resolved to.
  void OnPlay(int row);
  // Requests the page list of the first entry with this title and starts
  // the timer.
  void LoadLessonContent(const Text& title);
  // One tick of timer 1.
  void OnTimer();
  void OnPrevPage();
  void OnNextPage();
  void OnPauseResume();

  // State, for the window and for tests.
  const Text& LessonDir() const { return m_strLessonDir; }
  int PageIndex() const { return m_nPageIndex; }
  int PageDelay() const { return m_nPageDelay; }
  int EndTicks() const { return m_nEndTicks; }
  int IdleTicks() const { return m_nIdleTicks; }
  bool ShowNow() const { return m_bShowNow; }
  bool Paused() const { return m_bPaused; }
  bool RequestRunning() const { return m_bRequestRunning; }
  const std::vector<LessonPage>& Pages() const { return m_pages; }

 private:
  void LoadLessonRow(int row);
  void AdvancePage();
  void EndOfLesson();
  void StopPlayback();
  // The file name of the page on screen says it is an advertisement, which
  // the page buttons cannot leave.
  bool OnAdvertisement() const;

  PlaybackView& m_view;
  MoviePlayer& m_player;
  const EntryTable& m_entries;

  std::vector<LessonPage> m_pages;
  Text m_strLessonDir;
  // The entry table row of the lesson being played, or -1.
  int m_nLessonRow = -1;
  int m_nPageIndex = 0;
  int m_nPageDelay = 6;
  int m_nEndTicks = 0;
  bool m_bShowNow = false;
  bool m_bPaused = false;
  bool m_bRequestRunning = false;
  ScreenPoint m_ptLastCursor;
  ScreenPoint m_ptLastClick;
  int m_nIdleTicks = 0;
};

}  // namespace zorva
