#pragma once

#include <QObject>
#include <Qt>

class QAbstractButton;
class QTreeWidget;
class QWidget;

namespace zorva {

class FullScreenPlayer;

// Where the keyboard focus is, as far as the lesson window's keys care.
enum class KeyFocus {
  Movie,        // the player: a movie that takes keys keeps them
  Tree,         // the catalogue tree: arrows, Home/End, Page Up/Down move its caret
  SearchField,  // the catalogue search: keys type and edit text
  Slider,       // the volume slider: arrows, Home/End, Page Up/Down set the volume
  Button,       // a push button or the check box: Space presses it
  Other,        // anything else in the lesson window
};

enum class KeyAction {
  None,
  PauseResume,
  PrevPage,
  NextPage,
  Play,
  ToggleFullScreen,
  LeaveFullScreen
};

// The keys that move a caret in a tree or a slider: the arrows, Home, End,
// Page Up and Page Down.
bool MovesACaret(int key);

// The lesson window's keys. A key the focused control uses stays with it;
// the others are the window's: Space presses "暂停"/"继续", Left or Page Up
// "上一页", Right or Page Down "下一页", Enter on a tree item "播放".
// Ctrl+Space, Ctrl+Page Up and Ctrl+Page Down do the same wherever the focus
// is, and so do Ctrl+Left and Ctrl+Right outside the search field (which
// moves by words with them). F11 switches the full-screen player on or off,
// and Esc leaves it, even from the movie; every other key that reaches the
// movie is the movie's.
KeyAction MapLessonKey(int key, Qt::KeyboardModifiers modifiers, KeyFocus focus, bool fullScreen);

// Applies MapLessonKey to every key pressed in the lesson window, before the
// focused widget sees it: a mapped key presses its button (so every rule of
// the button holds, the cursor position of the moment included) and goes no
// further. Auto-repeated presses are dropped, so holding a key presses once.
class LessonKeys : public QObject {
  Q_OBJECT

 public:
  struct Targets {
    QWidget* window = nullptr;
    QWidget* player = nullptr;
    QTreeWidget* tree = nullptr;
    QWidget* searchField = nullptr;  // may be null
    QAbstractButton* play = nullptr;
    QAbstractButton* prevPage = nullptr;
    QAbstractButton* nextPage = nullptr;
    QAbstractButton* pause = nullptr;
    FullScreenPlayer* fullScreen = nullptr;
  };

  // Watches the application's key events while it lives (it is a child of
  // targets.window).
  explicit LessonKeys(const Targets& targets);
  ~LessonKeys() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  KeyFocus FocusOf(QWidget* widget) const;

  Targets m_targets;
};

}  // namespace zorva
