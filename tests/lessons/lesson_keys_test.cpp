// The lesson window's keys, its catalogue search and its full-screen player,
// on the real window with the sample catalogue from zorva-server.
#include <QApplication>
#include <QCursor>
#include <QImage>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "controls/shockwave_flash.h"
#include "lessons/catalogue_search.h"
#include "lessons/catalogue_tree.h"
#include "lessons/full_screen_player.h"
#include "lessons/lesson_form.h"
#include "lessons/lesson_keys.h"
#include "lessons_test_env.h"
#include "platform/program_values.h"

namespace zorva {
namespace {

// ---------------------------------------------------------------- the map

struct MapCase {
  const char* name;
  int key;
  Qt::KeyboardModifiers modifiers;
  KeyFocus focus;
  bool fullScreen;
  KeyAction action;
};

class KeyMap : public ::testing::TestWithParam<MapCase> {};

TEST_P(KeyMap, MapsEachKeyOnce) {
  const MapCase& c = GetParam();
  EXPECT_EQ(MapLessonKey(c.key, c.modifiers, c.focus, c.fullScreen), c.action);
}

constexpr Qt::KeyboardModifiers kNone = Qt::NoModifier;

constexpr Qt::KeyboardModifiers kCtrl = Qt::ControlModifier;

INSTANTIATE_TEST_SUITE_P(
    Keys, KeyMap,
    ::testing::Values(
        MapCase{"SpacePauses", Qt::Key_Space, kNone, KeyFocus::Tree, false, KeyAction::PauseResume},
        MapCase{"SpaceOnTheSliderPauses", Qt::Key_Space, kNone, KeyFocus::Slider, false,
                KeyAction::PauseResume},
        MapCase{"SpacePressesTheFocusedButton", Qt::Key_Space, kNone, KeyFocus::Button, false,
                KeyAction::None},
        MapCase{"LeftPrevious", Qt::Key_Left, kNone, KeyFocus::Other, false, KeyAction::PrevPage},
        MapCase{"LeftOnAButtonPrevious", Qt::Key_Left, kNone, KeyFocus::Button, false,
                KeyAction::PrevPage},
        MapCase{"PageUpPrevious", Qt::Key_PageUp, kNone, KeyFocus::Other, false,
                KeyAction::PrevPage},
        MapCase{"RightNext", Qt::Key_Right, kNone, KeyFocus::Other, false, KeyAction::NextPage},
        MapCase{"PageDownNext", Qt::Key_PageDown, kNone, KeyFocus::Button, false,
                KeyAction::NextPage},
        MapCase{"TreeKeepsItsArrows", Qt::Key_Left, kNone, KeyFocus::Tree, false, KeyAction::None},
        MapCase{"TreeKeepsPageUp", Qt::Key_PageUp, kNone, KeyFocus::Tree, false, KeyAction::None},
        MapCase{"TreeKeepsPageDown", Qt::Key_PageDown, kNone, KeyFocus::Tree, false,
                KeyAction::None},
        MapCase{"SliderKeepsItsArrows", Qt::Key_Right, kNone, KeyFocus::Slider, false,
                KeyAction::None},
        MapCase{"SliderKeepsEnd", Qt::Key_End, kNone, KeyFocus::Slider, false, KeyAction::None},
        MapCase{"CtrlSpacePausesFromAButton", Qt::Key_Space, kCtrl, KeyFocus::Button, false,
                KeyAction::PauseResume},
        MapCase{"CtrlPageUpPreviousFromTheSearch", Qt::Key_PageUp, kCtrl, KeyFocus::SearchField,
                false, KeyAction::PrevPage},
        MapCase{"CtrlPageDownNextFromTheSlider", Qt::Key_PageDown, kCtrl, KeyFocus::Slider, false,
                KeyAction::NextPage},
        MapCase{"CtrlLeftPreviousFromTheTree", Qt::Key_Left, kCtrl, KeyFocus::Tree, false,
                KeyAction::PrevPage},
        MapCase{"CtrlRightNextFromTheTree", Qt::Key_Right, kCtrl, KeyFocus::Tree, false,
                KeyAction::NextPage},
        MapCase{"CtrlRightMovesByWordsInTheSearch", Qt::Key_Right, kCtrl, KeyFocus::SearchField,
                false, KeyAction::None},
        MapCase{"CtrlSpaceStaysWithTheMovie", Qt::Key_Space, kCtrl, KeyFocus::Movie, false,
                KeyAction::None},
        MapCase{"EnterOnTreePlays", Qt::Key_Return, kNone, KeyFocus::Tree, false, KeyAction::Play},
        MapCase{"KeypadEnterOnTreePlays", Qt::Key_Enter, Qt::KeypadModifier, KeyFocus::Tree, false,
                KeyAction::Play},
        MapCase{"EnterElsewhereIsNotPlay", Qt::Key_Return, kNone, KeyFocus::Other, false,
                KeyAction::None},
        MapCase{"EnterOnAButtonIsNotPlay", Qt::Key_Return, kNone, KeyFocus::Button, false,
                KeyAction::None},
        MapCase{"F11Toggles", Qt::Key_F11, kNone, KeyFocus::Other, false,
                KeyAction::ToggleFullScreen},
        MapCase{"F11TogglesFromTheMovie", Qt::Key_F11, kNone, KeyFocus::Movie, true,
                KeyAction::ToggleFullScreen},
        MapCase{"F11TogglesFromTheSearch", Qt::Key_F11, kNone, KeyFocus::SearchField, false,
                KeyAction::ToggleFullScreen},
        MapCase{"EscapeLeavesFullScreen", Qt::Key_Escape, kNone, KeyFocus::Movie, true,
                KeyAction::LeaveFullScreen},
        MapCase{"EscapeInTheWindowIsNotOurs", Qt::Key_Escape, kNone, KeyFocus::Other, false,
                KeyAction::None},
        MapCase{"MovieKeepsSpace", Qt::Key_Space, kNone, KeyFocus::Movie, false, KeyAction::None},
        MapCase{"MovieKeepsArrows", Qt::Key_Right, kNone, KeyFocus::Movie, true, KeyAction::None},
        MapCase{"MovieKeepsEnter", Qt::Key_Return, kNone, KeyFocus::Movie, false, KeyAction::None},
        MapCase{"SearchFieldTypesBlanks", Qt::Key_Space, kNone, KeyFocus::SearchField, false,
                KeyAction::None},
        MapCase{"SearchFieldMovesItsCursor", Qt::Key_Left, kNone, KeyFocus::SearchField, false,
                KeyAction::None},
        MapCase{"CtrlShiftKeysAreNotOurs", Qt::Key_Right, kCtrl | Qt::ShiftModifier,
                KeyFocus::Other, false, KeyAction::None},
        MapCase{"AltF11IsNotOurs", Qt::Key_F11, Qt::AltModifier, KeyFocus::Other, false,
                KeyAction::None},
        MapCase{"OtherKeysAreNotOurs", Qt::Key_A, kNone, KeyFocus::Other, false, KeyAction::None}),
    [](const auto& row) { return std::string(row.param.name); });

// ------------------------------------------------------------- the window

class LessonKeysTest : public test::LessonWindowTest {
 protected:
  void SetUp() override {
    LessonWindowTest::SetUp();
    for (QPushButton* b : {m_form->PlayButton(), m_form->PrevPageButton(), m_form->NextPageButton(),
                           m_form->PauseButton()})
      m_clicks.emplace(b, std::make_unique<QSignalSpy>(b, &QPushButton::clicked));
  }

  // Clicks per button since the test began, in the order play, prev, next, pause.
  std::vector<int> Clicks() const {
    std::vector<int> out;
    for (QPushButton* b : {m_form->PlayButton(), m_form->PrevPageButton(), m_form->NextPageButton(),
                           m_form->PauseButton()})
      out.push_back(static_cast<int>(m_clicks.at(b)->count()));
    return out;
  }

  std::map<QPushButton*, std::unique_ptr<QSignalSpy>> m_clicks;
};

using test::InnerWidget;

TEST_F(LessonKeysTest, EnterOnATreeItemPlaysThatEntry) {
  QSignalSpy played(m_form.data(), &lesson_form::playRequested);
  m_form->Tree()->setCurrentItem(Item("十以内的减法"));
  QTest::keyClick(m_form->Tree(), Qt::Key_Return);
  ASSERT_EQ(played.count(), 1);
  EXPECT_EQ(played[0][0].toInt(), 4);
}

TEST_F(LessonKeysTest, HoldingAKeyPressesOnce) {
  m_form->Tree()->setFocus();
  QTest::keyPress(m_form->Tree(), Qt::Key_Space);
  QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ", true);
  QApplication::sendEvent(m_form->Tree(), &repeat);
  QTest::keyRelease(m_form->Tree(), Qt::Key_Space);
  EXPECT_EQ(Clicks(), (std::vector<int>{0, 0, 0, 1}));
}

TEST_F(LessonKeysTest, AMovieWithTheFocusKeepsEveryKeyButF11) {
  auto* inner = new InnerWidget(m_form->Player());
  inner->setFocus();
  for (Qt::Key key : {Qt::Key_Space, Qt::Key_Left, Qt::Key_Right, Qt::Key_PageUp, Qt::Key_PageDown,
                      Qt::Key_Return, Qt::Key_Escape})
    QTest::keyClick(inner, key);
  EXPECT_EQ(Clicks(), (std::vector<int>{0, 0, 0, 0}));
  EXPECT_EQ(inner->keys.size(), 7u);

  QTest::keyClick(inner, Qt::Key_F11);
  EXPECT_TRUE(m_form->FullScreen()->IsOn());
  EXPECT_EQ(inner->keys.size(), 7u) << "F11 is not the movie's";
  QTest::keyClick(inner, Qt::Key_F11);
  EXPECT_FALSE(m_form->FullScreen()->IsOn());
}

TEST_F(LessonKeysTest, TypingInTheSearchFieldPressesNothing) {
  m_form->Search()->Open();
  QTest::keyClicks(m_form->Search()->Field(), "a b");
  QTest::keyClick(m_form->Search()->Field(), Qt::Key_Left);
  EXPECT_EQ(m_form->Search()->Field()->text(), "a b");
  EXPECT_EQ(Clicks(), (std::vector<int>{0, 0, 0, 0}));
}

// ------------------------------------------------------------ the search

// Found by typing in the tree, chosen with Enter, played with Enter: the
// same entry as from the full tree, and Esc brings the full tree back.
TEST_F(LessonKeysTest, PlayFromTheNarrowedTree) {
  QSignalSpy played(m_form.data(), &lesson_form::playRequested);
  m_form->Tree()->setCurrentItem(Item("基本笔画"));
  m_form->Tree()->setFocus();
  QTest::keyClicks(m_form->Tree(), "x");  // opens the search
  ASSERT_TRUE(m_form->Search()->IsOpen());
  m_form->Search()->Field()->clear();
  // Chinese arrives from the input method, committed as a whole.
  QInputMethodEvent typed;
  typed.setCommitString(QString::fromUtf8("减法"));
  QApplication::sendEvent(m_form->Search()->Field(), &typed);
  QTest::keyClick(m_form->Search()->Field(), Qt::Key_Return);
  EXPECT_EQ(m_form->Tree()->currentItem(), Item("十以内的减法"));
  EXPECT_EQ(m_form->ResolveSelectedItem(), 4);
  QTest::keyClick(m_form->Tree(), Qt::Key_Return);
  ASSERT_EQ(played.count(), 1);
  EXPECT_EQ(played[0][0].toInt(), 4);
  EXPECT_EQ(m_form->Entries().Count(), SampleLessonCount()) << "the entry table is not narrowed";

  m_form->Tree()->setFocus();
  QTest::keyClick(m_form->Tree(), Qt::Key_Escape);
  EXPECT_FALSE(m_form->Search()->IsOpen());
  EXPECT_EQ(m_form->Tree()->currentItem(), Item("基本笔画"));
  EXPECT_TRUE(m_messages.empty());
}

TEST_F(LessonKeysTest, CtrlFOpensTheSearch) {
  m_form->activateWindow();
  m_form->Tree()->setFocus();
  QTest::keyClick(m_form->Tree(), Qt::Key_F, Qt::ControlModifier);
  EXPECT_TRUE(m_form->Search()->IsOpen());
  EXPECT_EQ(m_form->focusWidget(), m_form->Search()->Field());
}

// ------------------------------------------ playing: page keys, full screen

class PlayingLessonTest : public LessonKeysTest {
 protected:
  // A key as the window gets it where the keyboard is now.
  void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* at = m_form->focusWidget() ? m_form->focusWidget() : m_form.data();
    QTest::keyClick(at, key, modifiers);
  }
  int MovieRequests(const char* page) const {
    const std::string log = s_server->LogText();
    int count = 0;
    for (size_t at = log.find(page); at != std::string::npos; at = log.find(page, at + 1)) ++count;
    return count;
  }
};

// The page keys follow the buttons' rules, the cursor position of the
// moment included; the Ctrl shortcuts work wherever Play left the focus.
TEST_F(PlayingLessonTest, PageKeysTakeTheCursorPositionOfTheMoment) {
  const PlaybackState& state = m_form->Playback()->State();
  m_form->Tree()->setCurrentItem(Item("基本笔画"));
  QTest::keyClick(m_form->Tree(), Qt::Key_Return);
  ASSERT_TRUE(TicksUntilTitle("正在播放1", 1));
  QCursor::setPos(321, 123);
  Key(Qt::Key_PageDown, Qt::ControlModifier);
  EXPECT_EQ(state.m_ptLastClick, QCursor::pos());
  EXPECT_TRUE(state.m_bShowNow);
  ASSERT_TRUE(TicksUntilTitle("正在播放2", 1));
  QCursor::setPos(222, 111);
  Key(Qt::Key_Left, Qt::ControlModifier);
  EXPECT_EQ(state.m_ptLastClick, QCursor::pos());
  ASSERT_TRUE(TicksUntilTitle("正在播放1", 1));
  Key(Qt::Key_Space, Qt::ControlModifier);
  EXPECT_TRUE(state.m_bPaused);
  EXPECT_EQ(m_form->PauseButton()->text(), QString::fromUtf8("继续"));
  Key(Qt::Key_Space, Qt::ControlModifier);
  EXPECT_FALSE(state.m_bPaused);
}

// The window's picture: black around the player in full screen.
QColor CornerOf(QWidget* window) {
  const QImage shot = window->grab().toImage();
  return shot.pixelColor(shot.width() - 2, shot.height() - 2);
}

TEST_F(PlayingLessonTest, FullScreenAndBackWithPlaybackGoingOn) {
  m_form->Tree()->setCurrentItem(Item("基本笔画"));
  QTest::keyClick(m_form->Tree(), Qt::Key_Return);
  ASSERT_TRUE(TicksUntilTitle("正在播放1", 1));
  Key(Qt::Key_Right, Qt::ControlModifier);
  ASSERT_TRUE(TicksUntilTitle("正在播放2", 1));
  ASSERT_TRUE(QTest::qWaitFor([&] { return m_form->Player()->TotalFrames() > 0; }, 3000));
  QApplication::processEvents();
  const QRect windowPlace = m_form->geometry();
  const QRect playerPlace = m_form->Player()->geometry();
  const int frame = m_form->Player()->CurrentFrame();
  const int requests = MovieRequests("/shizi_bihua/0010/page02.swf");

  Key(Qt::Key_F11);
  QApplication::processEvents();
  ASSERT_TRUE(m_form->FullScreen()->IsOn());
  EXPECT_TRUE(m_form->isFullScreen());
  EXPECT_EQ(m_form->size(), m_form->screen()->geometry().size());
  // The player as large as its aspect allows, centred, on black.
  const QRect player = m_form->Player()->geometry();
  EXPECT_EQ(player.size(), playerPlace.size().scaled(m_form->size(), Qt::KeepAspectRatio));
  EXPECT_EQ(player.center(), m_form->rect().center());
  EXPECT_FALSE(m_form->Tree()->isVisible());
  EXPECT_EQ(CornerOf(m_form), QColor(Qt::black));
  // The button row comes over the movie as it does in the window.
  m_form->ShowButtonRow(true);
  EXPECT_EQ(m_form->childAt(m_form->PlayButton()->geometry().center()), m_form->PlayButton());
  // The same movie goes on.
  EXPECT_TRUE(QTest::qWaitFor([&] { return m_form->Player()->CurrentFrame() > frame; }, 3000));
  EXPECT_EQ(m_form->Playback()->State().m_nPageIndex, 2);

  Key(Qt::Key_Escape);
  QApplication::processEvents();
  EXPECT_FALSE(m_form->FullScreen()->IsOn());
  EXPECT_FALSE(m_form->isFullScreen());
  // The same size at the same place; the offscreen platform takes the
  // window frame away for the full screen and gives it back, which may move
  // the client area by the frame's width.
  EXPECT_EQ(m_form->size(), windowPlace.size());
  EXPECT_LE((m_form->pos() - windowPlace.topLeft()).manhattanLength(), 4);
  EXPECT_EQ(m_form->Player()->geometry(), playerPlace);
  EXPECT_FALSE(m_form->Tree()->isVisible()) << "the tree stays as playback left it";

  EXPECT_TRUE(m_timer->IsActive());
  EXPECT_EQ(MovieRequests("/shizi_bihua/0010/page02.swf"), requests)
      << "the movie was loaded again";
  Key(Qt::Key_Right, Qt::ControlModifier);
  EXPECT_TRUE(TicksUntilTitle("正在播放3", 1));
  EXPECT_TRUE(m_messages.empty());
}

// A lesson started in full screen hides the tree; leaving the full screen
// does not bring it back over the lesson.
TEST_F(PlayingLessonTest, LeavingFullScreenKeepsTheTreeALessonHid) {
  m_form->Search()->Open();
  m_form->Tree()->setCurrentItem(Item("基本笔画"));
  ASSERT_TRUE(m_form->Tree()->isVisible());
  Key(Qt::Key_F11);
  ASSERT_TRUE(m_form->FullScreen()->IsOn());
  m_form->PlayButton()->click();
  ASSERT_TRUE(TicksUntilTitle("正在播放1", 1));
  Key(Qt::Key_Escape);
  EXPECT_FALSE(m_form->FullScreen()->IsOn());
  EXPECT_FALSE(m_form->Tree()->isVisible());
  EXPECT_FALSE(m_form->Search()->Field()->isVisible());
  m_form->AppListButton()->click();
  EXPECT_TRUE(m_form->Tree()->isVisible());
}

TEST_F(LessonKeysTest, TheOpenSearchMakesWayAndComesBack) {
  m_form->Search()->Open("x");
  QTest::keyClick(m_form->Search()->Field(), Qt::Key_F11);
  EXPECT_FALSE(m_form->Tree()->isVisible());
  EXPECT_FALSE(m_form->Search()->Field()->isVisible());
  QTest::keyClick(m_form->Player(), Qt::Key_F11);
  EXPECT_TRUE(m_form->Tree()->isVisible());
  EXPECT_TRUE(m_form->Search()->Field()->isVisible());
  EXPECT_TRUE(m_form->Search()->IsOpen());
}

}  // namespace
}  // namespace zorva
