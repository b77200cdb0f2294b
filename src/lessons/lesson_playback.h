#pragma once

#include <QPoint>

#include "core/text.h"
#include "lessons/page_table.h"
#include "lessons/playback_state.h"

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

// The lesson window's playback: Play on a catalogue entry, the page list
// request, the one-second tick that moves from page to page and on to the
// next lesson, the page buttons and pause. Program items go to
// PlayProgramItem. It keeps its state and the page table in the window's
// PlaybackState and PageTable. Everything runs on the user-interface thread.
class LessonPlayback {
 public:
  LessonPlayback(PlaybackView& view, MoviePlayer& player, const EntryTable& entries,
                 PageTable& pages, PlaybackState& state);

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

  // A lesson request is being prepared or sent.
  bool RequestRunning() const { return m_bRequestRunning; }

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
  PageTable& m_pages;
  PlaybackState& m_state;
  // The entry table row of the lesson being played, or -1.
  int m_nLessonRow = -1;
  bool m_bRequestRunning = false;
  bool m_bPlayRunning = false;
};

}  // namespace zorva
