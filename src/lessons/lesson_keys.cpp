#include "lessons/lesson_keys.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QApplication>
#include <QKeyEvent>
#include <QTreeWidget>

#include "lessons/full_screen_player.h"

namespace zorva {

bool MovesACaret(int key) {
  switch (key) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
      return true;
    default:
      return false;
  }
}

namespace {

// The focused control does something with the key on its own.
bool ControlUses(KeyFocus focus, int key) {
  switch (focus) {
    case KeyFocus::Movie:
    case KeyFocus::SearchField:
      return true;
    case KeyFocus::Tree:
    case KeyFocus::Slider:
      return MovesACaret(key);
    case KeyFocus::Button:
      return key == Qt::Key_Space;
    case KeyFocus::Other:
      return false;
  }
  return false;
}

}  // namespace

KeyAction MapLessonKey(int key, Qt::KeyboardModifiers modifiers, KeyFocus focus, bool fullScreen) {
  const Qt::KeyboardModifiers held = modifiers & ~Qt::KeypadModifier;
  if (held == Qt::NoModifier) {
    if (key == Qt::Key_F11) return KeyAction::ToggleFullScreen;
    // Leaving the full screen is never left to the movie: Esc is the way
    // out a user tries first.
    if (key == Qt::Key_Escape) return fullScreen ? KeyAction::LeaveFullScreen : KeyAction::None;
  }
  if (focus == KeyFocus::Movie) return KeyAction::None;
  if (held == Qt::ControlModifier) {
    switch (key) {
      case Qt::Key_Space:
        return KeyAction::PauseResume;
      case Qt::Key_PageUp:
        return KeyAction::PrevPage;
      case Qt::Key_PageDown:
        return KeyAction::NextPage;
      case Qt::Key_Left:
        return focus == KeyFocus::SearchField ? KeyAction::None : KeyAction::PrevPage;
      case Qt::Key_Right:
        return focus == KeyFocus::SearchField ? KeyAction::None : KeyAction::NextPage;
      default:
        return KeyAction::None;
    }
  }
  if (held != Qt::NoModifier || ControlUses(focus, key)) return KeyAction::None;
  switch (key) {
    case Qt::Key_Space:
      return KeyAction::PauseResume;
    case Qt::Key_Left:
    case Qt::Key_PageUp:
      return KeyAction::PrevPage;
    case Qt::Key_Right:
    case Qt::Key_PageDown:
      return KeyAction::NextPage;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return focus == KeyFocus::Tree ? KeyAction::Play : KeyAction::None;
    default:
      return KeyAction::None;
  }
}

LessonKeys::LessonKeys(const Targets& targets) : QObject(targets.window), m_targets(targets) {
  qApp->installEventFilter(this);
}

LessonKeys::~LessonKeys() { qApp->removeEventFilter(this); }

KeyFocus LessonKeys::FocusOf(QWidget* widget) const {
  auto within = [widget](QWidget* area) {
    return area && (widget == area || area->isAncestorOf(widget));
  };
  if (within(m_targets.player)) return KeyFocus::Movie;
  if (within(m_targets.searchField)) return KeyFocus::SearchField;
  if (within(m_targets.tree)) return KeyFocus::Tree;
  if (qobject_cast<QAbstractSlider*>(widget)) return KeyFocus::Slider;
  if (qobject_cast<QAbstractButton*>(widget)) return KeyFocus::Button;
  return KeyFocus::Other;
}

bool LessonKeys::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
  auto* widget = static_cast<QWidget*>(watched);
  if (widget->window() != m_targets.window) return false;
  auto* key = static_cast<QKeyEvent*>(event);
  const bool fullScreen = m_targets.fullScreen && m_targets.fullScreen->IsOn();
  const KeyAction action = MapLessonKey(key->key(), key->modifiers(), FocusOf(widget), fullScreen);
  if (action == KeyAction::None) return false;
  if (key->isAutoRepeat()) return true;
  auto press = [](QAbstractButton* button) {
    if (button) button->click();
  };
  switch (action) {
    case KeyAction::PauseResume:
      press(m_targets.pause);
      break;
    case KeyAction::PrevPage:
      press(m_targets.prevPage);
      break;
    case KeyAction::NextPage:
      press(m_targets.nextPage);
      break;
    case KeyAction::Play:
      if (!m_targets.tree || !m_targets.tree->currentItem()) return false;
      press(m_targets.play);
      break;
    case KeyAction::ToggleFullScreen:
      if (m_targets.fullScreen) m_targets.fullScreen->Toggle();
      break;
    case KeyAction::LeaveFullScreen:
      if (m_targets.fullScreen) m_targets.fullScreen->Leave();
      break;
    case KeyAction::None:
      break;
  }
  return true;
}

}  // namespace zorva
