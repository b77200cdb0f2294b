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

INSTANTIATE_TEST_SUITE_P(
    Keys, KeyMap,
    ::testing::Values(
        MapCase{"SpacePauses", Qt::Key_Space, kNone, KeyFocus::Tree, false, KeyAction::PauseResume},
        MapCase{"LeftPrevious", Qt::Key_Left, kNone, KeyFocus::Other, false, KeyAction::PrevPage},
        MapCase{"PageUpPrevious", Qt::Key_PageUp, kNone, KeyFocus::Tree, false,
                KeyAction::PrevPage},
        MapCase{"RightNext", Qt::Key_Right, kNone, KeyFocus::Other, false, KeyAction::NextPage},
        MapCase{"PageDownNext", Qt::Key_PageDown, kNone, KeyFocus::Tree, false,
                KeyAction::NextPage},
        MapCase{"EnterOnTreePlays", Qt::Key_Return, kNone, KeyFocus::Tree, false, KeyAction::Play},
        MapCase{"KeypadEnterOnTreePlays", Qt::Key_Enter, Qt::KeypadModifier, KeyFocus::Tree, false,
                KeyAction::Play},
        MapCase{"EnterElsewhereIsNotPlay", Qt::Key_Return, kNone, KeyFocus::Other, false,
                KeyAction::None},
        MapCase{"F11Toggles", Qt::Key_F11, kNone, KeyFocus::Other, false,
                KeyAction::ToggleFullScreen},
        MapCase{"F11TogglesFromTheMovie", Qt::Key_F11, kNone, KeyFocus::Movie, true,
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
        MapCase{"CtrlKeysAreNotOurs", Qt::Key_Right, Qt::ControlModifier, KeyFocus::Tree, false,
                KeyAction::None},
        MapCase{"AltF11IsNotOurs", Qt::Key_F11, Qt::AltModifier, KeyFocus::Other, false,
                KeyAction::None},
        MapCase{"OtherKeysAreNotOurs", Qt::Key_A, kNone, KeyFocus::Other, false, KeyAction::None}),
    [](const auto& row) { return std::string(row.param.name); });

// ------------------------------------------------------------- the window

// Stands for the widget a player backend puts inside the player (a web
// view's inner widget), which takes the focus when a movie is clicked.
class InnerWidget : public QWidget {
 public:
  explicit InnerWidget(QWidget* parent) : QWidget(parent) { setFocusPolicy(Qt::StrongFocus); }
  std::vector<int> keys;

 protected:
  void keyPressEvent(QKeyEvent* e) override { keys.push_back(e->key()); }
};

class LessonKeysTest : public test::SampleServerTest {
 protected:
  void SetUp() override {
    SampleServerTest::SetUp();
    m_owner = std::make_unique<QWidget>();
    m_form = new lesson_form;
    ASSERT_TRUE(m_form->Create(m_owner.get()));
    m_form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_form));
    for (QPushButton* b : {m_form->PlayButton(), m_form->PrevPageButton(), m_form->NextPageButton(),
                           m_form->PauseButton()})
      m_clicks.emplace(b, std::make_unique<QSignalSpy>(b, &QPushButton::clicked));
  }
  void TearDown() override {
    delete m_form;
    SampleServerTest::TearDown();
  }

  QTreeWidgetItem* Item(const char* utf8) const {
    const auto found =
        m_form->Tree()->findItems(QString::fromUtf8(utf8), Qt::MatchExactly | Qt::MatchRecursive);
    return found.size() == 1 ? found[0] : nullptr;
  }
  // Clicks per button since the test began, in the order play, prev, next, pause.
  std::vector<int> Clicks() const {
    std::vector<int> out;
    for (QPushButton* b : {m_form->PlayButton(), m_form->PrevPageButton(), m_form->NextPageButton(),
                           m_form->PauseButton()})
      out.push_back(static_cast<int>(m_clicks.at(b)->count()));
    return out;
  }

  std::unique_ptr<QWidget> m_owner;
  lesson_form* m_form = nullptr;
  std::map<QPushButton*, std::unique_ptr<QSignalSpy>> m_clicks;
};

struct PressCase {
  const char* name;
  Qt::Key key;
  std::vector<int> clicks;  // play, prev, next, pause
};

class KeyPresses : public LessonKeysTest, public ::testing::WithParamInterface<PressCase> {};

// Each key presses its own button exactly once, whatever button had the
// focus before; the tree's own use of the key (moving the caret) is not
// made.
TEST_P(KeyPresses, PressTheirButtonOnce) {
  m_form->Tree()->setCurrentItem(Item("十以内的加法"));
  m_form->Tree()->setFocus();
  QTest::keyClick(m_form->Tree(), GetParam().key);
  EXPECT_EQ(Clicks(), GetParam().clicks);
  EXPECT_EQ(m_form->Tree()->currentItem(), Item("十以内的加法"));
}

INSTANTIATE_TEST_SUITE_P(Keys, KeyPresses,
                         ::testing::Values(PressCase{"Space", Qt::Key_Space, {0, 0, 0, 1}},
                                           PressCase{"Left", Qt::Key_Left, {0, 1, 0, 0}},
                                           PressCase{"PageUp", Qt::Key_PageUp, {0, 1, 0, 0}},
                                           PressCase{"Right", Qt::Key_Right, {0, 0, 1, 0}},
                                           PressCase{"PageDown", Qt::Key_PageDown, {0, 0, 1, 0}},
                                           PressCase{"Enter", Qt::Key_Return, {1, 0, 0, 0}}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(LessonKeysTest, EnterOnATreeItemPlaysThatEntry) {
  QSignalSpy played(m_form, &lesson_form::playRequested);
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
  QSignalSpy played(m_form, &lesson_form::playRequested);
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
  void SetUp() override {
    LessonKeysTest::SetUp();
    s_server->AddUser("ann", "secret");  // a second call only fails
    MutableSignedIn() = SignInValues{"ann", "secret", "ok", "normal"};
  }
  void TearDown() override {
    MutableSignedIn() = SignInValues{};
    LessonKeysTest::TearDown();
  }
  bool TitleBecomes(const char* utf8, int ms = 5000) {
    const QString title = QString::fromUtf8(utf8);
    return QTest::qWaitFor([&] { return m_form->windowTitle() == title; }, ms);
  }
  // A key as the window gets it where the keyboard is now.
  void Key(Qt::Key key) {
    QWidget* at = m_form->focusWidget() ? m_form->focusWidget() : m_form;
    QTest::keyClick(at, key);
  }
  int MovieRequests(const char* page) const {
    const std::string log = s_server->LogText();
    int count = 0;
    for (size_t at = log.find(page); at != std::string::npos; at = log.find(page, at + 1)) ++count;
    return count;
  }
};

// The page keys follow the buttons' rules, the cursor position of the
// moment included.
TEST_F(PlayingLessonTest, PageKeysTakeTheCursorPositionOfTheMoment) {
  m_form->Tree()->setCurrentItem(Item("基本笔画"));
  QTest::keyClick(m_form->Tree(), Qt::Key_Return);
  ASSERT_TRUE(TitleBecomes("正在播放1"));
  QCursor::setPos(321, 123);
  Key(Qt::Key_PageDown);
  EXPECT_EQ(m_form->State().m_ptLastClick, QCursor::pos());
  EXPECT_TRUE(m_form->State().m_bShowNow);
  ASSERT_TRUE(TitleBecomes("正在播放2", 3000));
  QCursor::setPos(222, 111);
  Key(Qt::Key_Left);
  EXPECT_EQ(m_form->State().m_ptLastClick, QCursor::pos());
  ASSERT_TRUE(TitleBecomes("正在播放1", 3000));
  Key(Qt::Key_Space);
  EXPECT_TRUE(m_form->State().m_bPaused);
  EXPECT_EQ(m_form->PauseButton()->text(), QString::fromUtf8("继续"));
  Key(Qt::Key_Space);
  EXPECT_FALSE(m_form->State().m_bPaused);
}

// The window's picture: black around the player in full screen.
QColor CornerOf(QWidget* window) {
  const QImage shot = window->grab().toImage();
  return shot.pixelColor(shot.width() - 2, shot.height() - 2);
}

TEST_F(PlayingLessonTest, FullScreenAndBackWithPlaybackGoingOn) {
  m_form->Tree()->setCurrentItem(Item("基本笔画"));
  QTest::keyClick(m_form->Tree(), Qt::Key_Return);
  ASSERT_TRUE(TitleBecomes("正在播放1"));
  Key(Qt::Key_Right);
  ASSERT_TRUE(TitleBecomes("正在播放2", 3000));
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
  EXPECT_EQ(m_form->State().m_nPageIndex, 2);

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

  EXPECT_TRUE(m_form->IsPlaybackTimerRunning());
  EXPECT_EQ(MovieRequests("/shizi_bihua/0010/page02.swf"), requests)
      << "the movie was loaded again";
  Key(Qt::Key_Right);
  EXPECT_TRUE(TitleBecomes("正在播放3", 3000));
  EXPECT_TRUE(m_messages.empty());
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
