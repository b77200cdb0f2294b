// The lesson window's keys in the real window: for each control that can
// hold the focus, which keys it keeps and which reach the window's
// shortcuts. The volume slider sits on a real mixer (ALSA's "default" in
// front of the private PulseAudio daemon that with_sound_server.sh starts).
#include <QCheckBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "lessons/catalogue_search.h"
#include "lessons/catalogue_tree.h"
#include "lessons/lesson_form.h"
#include "lessons_test_env.h"

namespace zorva {
namespace {

constexpr int kStartVolume = 26214;
constexpr int kFull = 65536;  // the sink's 100%

// The sink's volume as pactl reads it (first channel), or -1.
int SinkVolume() {
  QProcess pactl;
  pactl.start("pactl", {"get-sink-volume", "@DEFAULT_SINK@"});
  pactl.waitForFinished(5000);
  static const QRegularExpression value(QStringLiteral(":\\s*(\\d+)\\s*/"));
  const QRegularExpressionMatch match =
      value.match(QString::fromUtf8(pactl.readAllStandardOutput()));
  return match.hasMatch() ? match.captured(1).toInt() : -1;
}

enum class Focus { Tree, TreeWithoutItem, Slider, CheckBox, NextButton, SearchField, Window };

enum class Effect {
  None,
  TreeMoves,    // the caret moves, or its item opens or closes
  Volume,       // the slider and the mixer go to `volume`
  BoxToggles,   // "自动播放下一课程" changes
  FieldChanges  // the search field's text or cursor
};

struct KeyCase {
  const char* name;
  Focus focus;
  Qt::Key key;
  Qt::KeyboardModifiers modifiers;
  std::vector<int> clicks;  // play, prev, next, pause
  Effect effect;
  int volume = kStartVolume;
};
void PrintTo(const KeyCase& c, std::ostream* os) { *os << c.name; }

class WindowKeys : public test::LessonWindowTest, public ::testing::WithParamInterface<KeyCase> {
 protected:
  std::vector<int> Clicks() const {
    std::vector<int> out;
    for (const auto& spy : m_clicks) out.push_back(static_cast<int>(spy->count()));
    return out;
  }
  std::vector<std::unique_ptr<QSignalSpy>> m_clicks;
};

TEST_P(WindowKeys, GoToTheFocusedControlOrTheWindow) {
  ASSERT_NE(std::getenv("ZORVA_TEST_PULSE_PID"), nullptr)
      << "run through tests/lessons/with_sound_server.sh";
  const KeyCase& c = GetParam();
  QSlider* slider = m_form->VolumeSlider();
  ASSERT_TRUE(slider->isEnabled()) << "no mixer";
  slider->setValue(kStartVolume);
  ASSERT_TRUE(QTest::qWaitFor([] { return SinkVolume() == kStartVolume; }, 5000));
  CatalogueTree* tree = m_form->Tree();
  tree->setCurrentItem(Item("语文."));
  m_form->Search()->Open();
  m_form->Search()->Field()->setText(QStringLiteral("ab"));  // typed, not searched for
  m_form->Search()->Field()->setCursorPosition(1);
  for (QPushButton* b : {m_form->PlayButton(), m_form->PrevPageButton(), m_form->NextPageButton(),
                         m_form->PauseButton()})
    m_clicks.push_back(std::make_unique<QSignalSpy>(b, &QPushButton::clicked));

  QWidget* target = nullptr;
  switch (c.focus) {
    case Focus::TreeWithoutItem:
      tree->setCurrentItem(nullptr);
      target = tree;
      break;
    case Focus::Tree:
      target = tree;
      break;
    case Focus::Slider:
      target = slider;
      break;
    case Focus::CheckBox:
      target = m_form->AutoNextBox();
      break;
    case Focus::NextButton:
      target = m_form->NextPageButton();
      break;
    case Focus::SearchField:
      target = m_form->Search()->Field();
      break;
    case Focus::Window:
      target = m_form;
      break;
  }
  target->setFocus();
  const QTreeWidgetItem* caret = tree->currentItem();
  const bool caretOpen = caret && caret->isExpanded();
  const bool ticked = m_form->AutoNextBox()->isChecked();
  const QString field = m_form->Search()->Field()->text();
  const int cursor = m_form->Search()->Field()->cursorPosition();

  QTest::keyClick(target, c.key, c.modifiers);

  EXPECT_EQ(Clicks(), c.clicks);
  const bool treeMoved =
      tree->currentItem() != caret || (caret && caret->isExpanded() != caretOpen);
  // What the search field types narrows the tree, which is the search's.
  if (c.focus != Focus::SearchField) EXPECT_EQ(treeMoved, c.effect == Effect::TreeMoves);
  EXPECT_EQ(slider->value(), c.effect == Effect::Volume ? c.volume : kStartVolume);
  EXPECT_EQ(m_form->AutoNextBox()->isChecked() != ticked, c.effect == Effect::BoxToggles);
  EXPECT_EQ(m_form->Search()->Field()->text() != field ||
                m_form->Search()->Field()->cursorPosition() != cursor,
            c.effect == Effect::FieldChanges);
  if (c.effect == Effect::Volume)
    EXPECT_TRUE(QTest::qWaitFor([&] { return SinkVolume() == c.volume; }, 5000))
        << "the mixer holds " << SinkVolume();
  EXPECT_EQ(m_form->PauseButton()->text(), QString::fromUtf8(c.clicks[3] ? "继续" : "暂停"));
  EXPECT_TRUE(m_form->isVisible());
}

constexpr Qt::KeyboardModifiers kNone = Qt::NoModifier;
constexpr Qt::KeyboardModifiers kCtrl = Qt::ControlModifier;
const std::vector<int> kNoClick = {0, 0, 0, 0};
const std::vector<int> kPlay = {1, 0, 0, 0};
const std::vector<int> kPrev = {0, 1, 0, 0};
const std::vector<int> kNext = {0, 0, 1, 0};
const std::vector<int> kPause = {0, 0, 0, 1};

INSTANTIATE_TEST_SUITE_P(
    Keys, WindowKeys,
    ::testing::Values(
        // The tree keeps its arrows and page keys; Space and Enter are the
        // window's.
        KeyCase{"TreeDownMovesTheCaret", Focus::Tree, Qt::Key_Down, kNone, kNoClick,
                Effect::TreeMoves},
        KeyCase{"TreeLeftClosesTheItem", Focus::Tree, Qt::Key_Left, kNone, kNoClick,
                Effect::TreeMoves},
        KeyCase{"TreeRightEntersTheItem", Focus::Tree, Qt::Key_Right, kNone, kNoClick,
                Effect::TreeMoves},
        KeyCase{"TreePageDownMoves", Focus::Tree, Qt::Key_PageDown, kNone, kNoClick,
                Effect::TreeMoves},
        KeyCase{"TreeEndMoves", Focus::Tree, Qt::Key_End, kNone, kNoClick, Effect::TreeMoves},
        // At the top already: the key still is the tree's, not a page.
        KeyCase{"TreePageUpAtTheTopStaysWithTheTree", Focus::Tree, Qt::Key_PageUp, kNone, kNoClick,
                Effect::None},
        KeyCase{"TreeSpacePauses", Focus::Tree, Qt::Key_Space, kNone, kPause, Effect::None},
        KeyCase{"TreeEnterPlays", Focus::Tree, Qt::Key_Return, kNone, kPlay, Effect::None},
        KeyCase{"TreeCtrlRightNext", Focus::Tree, Qt::Key_Right, kCtrl, kNext, Effect::None},
        KeyCase{"TreeCtrlPageUpPrevious", Focus::Tree, Qt::Key_PageUp, kCtrl, kPrev, Effect::None},
        KeyCase{"TreeWithoutItemEnterDoesNothing", Focus::TreeWithoutItem, Qt::Key_Return, kNone,
                kNoClick, Effect::None},
        // The slider sets the volume with its keys: a unit a line step, a
        // fifth of the range a page step.
        KeyCase{"SliderRightRaisesByOne", Focus::Slider, Qt::Key_Right, kNone, kNoClick,
                Effect::Volume, kStartVolume + 1},
        KeyCase{"SliderLeftLowersByOne", Focus::Slider, Qt::Key_Left, kNone, kNoClick,
                Effect::Volume, kStartVolume - 1},
        KeyCase{"SliderPageUpRaisesAFifth", Focus::Slider, Qt::Key_PageUp, kNone, kNoClick,
                Effect::Volume, kStartVolume + kFull / 5},
        KeyCase{"SliderPageDownLowersAFifth", Focus::Slider, Qt::Key_PageDown, kNone, kNoClick,
                Effect::Volume, kStartVolume - kFull / 5},
        KeyCase{"SliderEndToFull", Focus::Slider, Qt::Key_End, kNone, kNoClick, Effect::Volume,
                kFull},
        KeyCase{"SliderHomeToSilence", Focus::Slider, Qt::Key_Home, kNone, kNoClick, Effect::Volume,
                0},
        KeyCase{"SliderSpacePauses", Focus::Slider, Qt::Key_Space, kNone, kPause, Effect::None},
        KeyCase{"SliderEnterDoesNothing", Focus::Slider, Qt::Key_Return, kNone, kNoClick,
                Effect::None},
        KeyCase{"SliderCtrlPageDownNext", Focus::Slider, Qt::Key_PageDown, kCtrl, kNext,
                Effect::None},
        // The check box and the buttons keep Space; the page keys are the
        // window's.
        KeyCase{"CheckBoxSpaceTicks", Focus::CheckBox, Qt::Key_Space, kNone, kNoClick,
                Effect::BoxToggles},
        KeyCase{"CheckBoxEnterDoesNothing", Focus::CheckBox, Qt::Key_Return, kNone, kNoClick,
                Effect::None},
        KeyCase{"CheckBoxLeftPrevious", Focus::CheckBox, Qt::Key_Left, kNone, kPrev, Effect::None},
        KeyCase{"CheckBoxCtrlSpacePauses", Focus::CheckBox, Qt::Key_Space, kCtrl, kPause,
                Effect::None},
        KeyCase{"ButtonSpacePressesIt", Focus::NextButton, Qt::Key_Space, kNone, kNext,
                Effect::None},
        KeyCase{"ButtonEnterDoesNothing", Focus::NextButton, Qt::Key_Return, kNone, kNoClick,
                Effect::None},
        KeyCase{"ButtonPageUpPrevious", Focus::NextButton, Qt::Key_PageUp, kNone, kPrev,
                Effect::None},
        // The search field edits; only Ctrl with a page key or Space
        // reaches the window.
        KeyCase{"SearchSpaceTypes", Focus::SearchField, Qt::Key_Space, kNone, kNoClick,
                Effect::FieldChanges},
        KeyCase{"SearchLeftMovesTheCursor", Focus::SearchField, Qt::Key_Left, kNone, kNoClick,
                Effect::FieldChanges},
        KeyCase{"SearchCtrlRightMovesByWords", Focus::SearchField, Qt::Key_Right, kCtrl, kNoClick,
                Effect::FieldChanges},
        KeyCase{"SearchCtrlPageDownNext", Focus::SearchField, Qt::Key_PageDown, kCtrl, kNext,
                Effect::None},
        KeyCase{"SearchCtrlSpacePauses", Focus::SearchField, Qt::Key_Space, kCtrl, kPause,
                Effect::None},
        // Nothing focused: the window's keys.
        KeyCase{"WindowSpacePauses", Focus::Window, Qt::Key_Space, kNone, kPause, Effect::None},
        KeyCase{"WindowRightNext", Focus::Window, Qt::Key_Right, kNone, kNext, Effect::None},
        KeyCase{"WindowEnterDoesNothing", Focus::Window, Qt::Key_Return, kNone, kNoClick,
                Effect::None}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace zorva
