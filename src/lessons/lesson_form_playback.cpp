#include "lessons/lesson_form_playback.h"

#include <QCheckBox>
#include <QCursor>
#include <QPushButton>

#include "controls/shockwave_flash.h"
#include "lessons/catalogue_tree.h"
#include "lessons/lesson_form.h"
#include "platform/qt_text.h"

namespace zorva {

LessonFormPlayback::LessonFormPlayback(lesson_form& window)
    : QObject(&window),
      m_window(window),
      m_playback(*this, *window.Player(), window.Entries(), window.Pages(), window.State()) {
  connect(&window, &lesson_form::playRequested, this, [this](int row) { m_playback.OnPlay(row); });
  connect(&window, &lesson_form::playbackTick, this, [this] { m_playback.OnTimer(); });
  connect(window.PrevPageButton(), &QPushButton::clicked, this,
          [this] { m_playback.OnPrevPage(); });
  connect(window.NextPageButton(), &QPushButton::clicked, this,
          [this] { m_playback.OnNextPage(); });
  connect(window.PauseButton(), &QPushButton::clicked, this,
          [this] { m_playback.OnPauseResume(); });
}

void LessonFormPlayback::ShowButtonRow(bool show) { m_window.ShowButtonRow(show); }

void LessonFormPlayback::SetTitle(const Text& title) { m_window.SetTitle(title); }

QPoint LessonFormPlayback::CursorPosition() const { return QCursor::pos(); }

void LessonFormPlayback::StartPlaybackTimer() { m_window.StartPlaybackTimer(); }

void LessonFormPlayback::StopPlaybackTimer() { m_window.StopPlaybackTimer(); }

bool LessonFormPlayback::AutoNextChecked() const { return m_window.AutoNextBox()->isChecked(); }

void LessonFormPlayback::HideTreeAndPageStore() {
  // The page table is no control here, so only the tree has to go.
  m_window.Tree()->hide();
}

void LessonFormPlayback::ShowBlankPage() {
  // The blank page is the window's own white background behind the player;
  // painting it again is all there is to do.
  m_window.update();
}

void LessonFormPlayback::SetPauseButtonText(const Text& text) {
  m_window.PauseButton()->setText(ToQString(text));
}

QWidget* LessonFormPlayback::MessageOwner() { return &m_window; }

}  // namespace zorva
