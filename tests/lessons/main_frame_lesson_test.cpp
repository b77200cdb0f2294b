// The main frame opening the lesson window after the sign-in, and closing
// it, with the sample catalogue from a real zorva-server.
#include <QApplication>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include "app/main_frame.h"
#include "app/message_form.h"
#include "lessons/catalogue_tree.h"
#include "lessons/lesson_form.h"
#include "lessons_test_env.h"
#include "platform/program_values.h"

namespace zorva {
namespace {

// A lesson window whose window cannot be made.
class UncreatableLessonForm : public lesson_form {
 public:
  bool Create(QWidget*) override { return false; }
};

class MainFrameLessonTest : public test::SampleServerTest {
 protected:
  void SetUp() override {
    SampleServerTest::SetUp();
    ASSERT_TRUE(m_dir.isValid());
    SetWorkingDirectory(Text(m_dir.path().toStdString()));
  }

  QTemporaryDir m_dir;
};

TEST_F(MainFrameLessonTest, LessonWindowOpensWhileTheLoadingMessageIsUp) {
  bool loadingShown = false;
  CMainFrame* self = nullptr;
  CMainFrame frame([] { return 1; },
                   [&] {
                     loadingShown = self->LoadingMessage() && self->LoadingMessage()->isVisible();
                     return new lesson_form;
                   });
  self = &frame;
  ASSERT_TRUE(frame.Create());
  EXPECT_TRUE(loadingShown);
  EXPECT_FALSE(frame.LoadingMessage()->isVisible());

  lesson_form* form = frame.LessonForm();
  ASSERT_NE(form, nullptr);
  EXPECT_TRUE(form->isVisible());
  EXPECT_EQ(form->parentWidget(), &frame);
  EXPECT_TRUE(form->isWindow());
  EXPECT_EQ(form->Entries().Count(), SampleLessonCount());
  EXPECT_TRUE(m_messages.empty());
}

TEST_F(MainFrameLessonTest, CloseHidesAndThenDeletesTheLessonWindow) {
  CMainFrame frame([] { return 1; });
  ASSERT_TRUE(frame.Create());
  frame.show();
  QPointer<lesson_form> form = frame.LessonForm();
  ASSERT_FALSE(form.isNull());
  frame.close();
  EXPECT_FALSE(form && form->isVisible());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(form.isNull());
  EXPECT_EQ(frame.LessonForm(), nullptr);
}

TEST_F(MainFrameLessonTest, FrameClosedFromInsideALessonWindowHandlerKeepsTheWindowUntilItReturns) {
  CMainFrame frame([] { return 1; });
  ASSERT_TRUE(frame.Create());
  QPointer<lesson_form> form = frame.LessonForm();
  const QList<QTreeWidgetItem*> lesson = form->Tree()->findItems(
      QStringLiteral("十以内的加法"), Qt::MatchExactly | Qt::MatchRecursive);
  ASSERT_EQ(lesson.size(), 1);
  form->Tree()->setCurrentItem(lesson[0]);
  bool aliveInHandler = false;
  QObject::connect(form.data(), &lesson_form::playRequested, &frame, [&] {
    frame.close();
    aliveInHandler = !form.isNull();
  });
  form->PlayButton()->click();
  EXPECT_TRUE(aliveInHandler);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(form.isNull());
}

TEST_F(MainFrameLessonTest, WindowGoneThroughItsOwnCloseButtonLeavesNoDanglingReference) {
  CMainFrame frame([] { return 1; });
  ASSERT_TRUE(frame.Create());
  frame.LessonForm()->CloseButton()->click();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(frame.LessonForm(), nullptr);
  frame.close();
}

TEST_F(MainFrameLessonTest, FailureToMakeTheWindowIsReportedAndTheFrameGoesOn) {
  struct Failure {
    const char* name;
    CMainFrame::LessonFormFactory make;
    const char* message;
    bool objectKept;
  };
  for (const Failure& failure :
       {Failure{"no object", [] { return nullptr; }, "Error Creating Dialog Object", false},
        Failure{"no window", [] { return new UncreatableLessonForm; }, "Error creating Dialog",
                true}}) {
    SCOPED_TRACE(failure.name);
    m_messages.clear();
    CMainFrame frame([] { return 1; }, failure.make);
    ASSERT_TRUE(frame.Create());
    EXPECT_EQ(m_messages, std::vector<std::string>{failure.message});
    EXPECT_FALSE(frame.LoadingMessage()->isVisible());
    EXPECT_EQ(frame.LessonForm() != nullptr, failure.objectKept);
    if (frame.LessonForm()) {
      EXPECT_FALSE(frame.LessonForm()->isVisible());
    }
    frame.close();
  }
}

}  // namespace
}  // namespace zorva
