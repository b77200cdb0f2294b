// Playback wired into the lesson window offscreen: the window's buttons and
// timer drive it, with the sample content from a real zorva-server and the
// headless player.
#include <QCheckBox>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include "lessons/catalogue_tree.h"
#include "lessons/lesson_form.h"
#include "lessons_test_env.h"
#include "platform/interval_timer.h"

namespace zorva {
namespace {

using LessonFormPlaybackTest = test::LessonWindowTest;

TEST_F(LessonFormPlaybackTest, PlayButtonTimerAndPageButtonsPlayALesson) {
  m_form->Tree()->setCurrentItem(Item("认识声母"));
  QTest::mouseClick(m_form->PlayButton(), Qt::LeftButton);
  EXPECT_FALSE(m_form->Tree()->isVisible());
  EXPECT_EQ(m_form->windowTitle(), QStringLiteral("开始播放......"));
  EXPECT_TRUE(m_timer->IsActive());
  ASSERT_EQ(m_form->Playback()->Pages().Count(), 3);

  ASSERT_TRUE(TicksUntilTitle("正在播放1", 1));
  // The button row hides at Play; the buttons still take a press.
  m_form->NextPageButton()->click();
  ASSERT_TRUE(TicksUntilTitle("正在播放2", 1));

  m_form->PauseButton()->click();
  EXPECT_EQ(m_form->PauseButton()->text(), QStringLiteral("继续"));
  m_form->NextPageButton()->click();
  EXPECT_FALSE(TicksUntilTitle("正在播放3"));
  EXPECT_EQ(m_form->windowTitle(), QStringLiteral("正在播放2"));
  m_form->PauseButton()->click();
  EXPECT_EQ(m_form->PauseButton()->text(), QStringLiteral("暂停"));
  EXPECT_TRUE(TicksUntilTitle("正在播放3", 1));
}

TEST_F(LessonFormPlaybackTest, LastPageWithoutAutomaticNextReturnsToTheMainTitle) {
  m_form->AutoNextBox()->setChecked(false);
  m_form->Tree()->setCurrentItem(Item("十以内的减法"));
  QTest::mouseClick(m_form->PlayButton(), Qt::LeftButton);
  ASSERT_TRUE(TicksUntilTitle("正在播放1", 1));
  m_form->NextPageButton()->click();
  ASSERT_TRUE(TicksUntilTitle("正在播放2", 1));
  m_form->NextPageButton()->click();
  ASSERT_TRUE(TicksUntilTitle("主窗口", 1));
  EXPECT_FALSE(m_timer->IsActive());
  for (QWidget* control : m_form->ButtonRow()) EXPECT_TRUE(control->isVisible());
  EXPECT_FALSE(m_form->Tree()->isVisible());
  EXPECT_TRUE(m_messages.empty());
}

}  // namespace
}  // namespace zorva
