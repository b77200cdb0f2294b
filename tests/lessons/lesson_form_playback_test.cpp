// Playback wired into the lesson window offscreen: the window's buttons and
// timer drive it, with the sample content from a real zorva-server and the
// headless player.
#include "lessons/lesson_form_playback.h"

#include <QCheckBox>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

#include "lessons/catalogue_tree.h"
#include "lessons/lesson_form.h"
#include "lessons_test_env.h"
#include "platform/program_values.h"

namespace zorva {
namespace {

class LessonFormPlaybackTest : public test::SampleServerTest {
 protected:
  void SetUp() override {
    SampleServerTest::SetUp();
    s_server->AddUser("ann", "secret");  // a second call only fails
    MutableSignedIn() = SignInValues{"ann", "secret", "ok", "normal"};
    m_owner = std::make_unique<QWidget>();
    m_form = new lesson_form;
    ASSERT_TRUE(m_form->Create(m_owner.get()));
    m_form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_form));
  }
  void TearDown() override {
    delete m_form;
    MutableSignedIn() = SignInValues{};
    SampleServerTest::TearDown();
  }

  void Select(const char* utf8) {
    const QList<QTreeWidgetItem*> found =
        m_form->Tree()->findItems(QString::fromUtf8(utf8), Qt::MatchExactly | Qt::MatchRecursive);
    ASSERT_EQ(found.size(), 1);
    m_form->Tree()->setCurrentItem(found[0]);
  }
  bool TitleBecomes(const char* utf8, int ms = 5000) {
    const QString title = QString::fromUtf8(utf8);
    return QTest::qWaitFor([&] { return m_form->windowTitle() == title; }, ms);
  }

  std::unique_ptr<QWidget> m_owner;
  lesson_form* m_form = nullptr;
};

TEST_F(LessonFormPlaybackTest, PlayButtonTimerAndPageButtonsPlayALesson) {
  Select("认识声母");
  QTest::mouseClick(m_form->PlayButton(), Qt::LeftButton);
  EXPECT_FALSE(m_form->Tree()->isVisible());
  EXPECT_EQ(m_form->windowTitle(), QStringLiteral("开始播放......"));
  EXPECT_TRUE(m_form->IsPlaybackTimerRunning());
  ASSERT_EQ(m_form->Pages().Count(), 3);

  ASSERT_TRUE(TitleBecomes("正在播放1"));
  // The button row hides at Play; the buttons still take a press.
  m_form->NextPageButton()->click();
  ASSERT_TRUE(TitleBecomes("正在播放2", 3000));

  m_form->PauseButton()->click();
  EXPECT_EQ(m_form->PauseButton()->text(), QStringLiteral("继续"));
  m_form->NextPageButton()->click();
  QTest::qWait(2500);
  EXPECT_EQ(m_form->windowTitle(), QStringLiteral("正在播放2"));
  m_form->PauseButton()->click();
  EXPECT_EQ(m_form->PauseButton()->text(), QStringLiteral("暂停"));
  EXPECT_TRUE(TitleBecomes("正在播放3", 3000));
}

TEST_F(LessonFormPlaybackTest, LastPageWithoutAutomaticNextReturnsToTheMainTitle) {
  m_form->AutoNextBox()->setChecked(false);
  Select("十以内的减法");
  QTest::mouseClick(m_form->PlayButton(), Qt::LeftButton);
  ASSERT_TRUE(TitleBecomes("正在播放1"));
  m_form->NextPageButton()->click();
  ASSERT_TRUE(TitleBecomes("正在播放2", 3000));
  m_form->NextPageButton()->click();
  ASSERT_TRUE(TitleBecomes("主窗口", 3000));
  EXPECT_FALSE(m_form->IsPlaybackTimerRunning());
  for (QWidget* control : m_form->ButtonRow()) EXPECT_TRUE(control->isVisible());
  EXPECT_FALSE(m_form->Tree()->isVisible());
  EXPECT_TRUE(m_messages.empty());
}

}  // namespace
}  // namespace zorva
