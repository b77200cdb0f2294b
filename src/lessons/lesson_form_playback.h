#pragma once

#include <QObject>

#include "lessons/lesson_playback.h"

namespace zorva {

class lesson_form;

// Lesson playback in the lesson window: "播放", timer 1, "上一页", "下一页"
// and "暂停" go to the playback logic, and what the logic does shows in the
// window. A child of the window, created once the window's controls exist.
class LessonFormPlayback : public QObject, private PlaybackView {
  Q_OBJECT

 public:
  explicit LessonFormPlayback(lesson_form& window);

  LessonPlayback& Logic() { return m_playback; }

 private:
  // PlaybackView
  void ShowButtonRow(bool show) override;
  void SetTitle(const Text& title) override;
  QPoint CursorPosition() const override;
  void StartPlaybackTimer() override;
  void StopPlaybackTimer() override;
  bool AutoNextChecked() const override;
  void HideTreeAndPageStore() override;
  void ShowBlankPage() override;
  void SetPauseButtonText(const Text& text) override;
  QWidget* MessageOwner() override;

  lesson_form& m_window;
  LessonPlayback m_playback;
};

}  // namespace zorva
