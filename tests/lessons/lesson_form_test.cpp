// The lesson window offscreen, with the sample catalogue from a real
// zorva-server.
#include "lessons/lesson_form.h"

#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QToolTip>

#include <gtest/gtest.h>

#include "controls/shockwave_flash.h"
#include "core/cp936.h"
#include "lessons/catalogue_tree.h"
#include "lessons_test_env.h"
#include "platform/dialog_units.h"
#include "platform/qt_text.h"

namespace zorva {
namespace {

// Stands for the widgets a player backend puts inside the player (a web
// view's inner widget): records the mouse presses and context menus it gets.
class InnerWidget : public QWidget {
 public:
  using QWidget::QWidget;
  std::vector<Qt::MouseButton> presses;
  std::vector<Qt::MouseButton> releases;
  int contextMenus = 0;

 protected:
  void mousePressEvent(QMouseEvent* e) override { presses.push_back(e->button()); }
  void mouseReleaseEvent(QMouseEvent* e) override { releases.push_back(e->button()); }
  void contextMenuEvent(QContextMenuEvent*) override { ++contextMenus; }
};

class LessonFormTest : public test::SampleServerTest {
 protected:
  void SetUp() override {
    SampleServerTest::SetUp();
    m_owner = std::make_unique<QWidget>();
    m_form = new lesson_form;
    ASSERT_TRUE(m_form->Create(m_owner.get()));
    m_form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_form));
  }
  void TearDown() override {
    delete m_form;
    SampleServerTest::TearDown();
  }

  QTreeWidgetItem* Item(const char* utf8) const {
    const QList<QTreeWidgetItem*> found =
        m_form->Tree()->findItems(QString::fromUtf8(utf8), Qt::MatchExactly | Qt::MatchRecursive);
    return found.size() == 1 ? found[0] : nullptr;
  }
  // The centre of an item's text in the tree's viewport.
  QPoint At(QTreeWidgetItem* item) const {
    return m_form->Tree()->visualItemRect(item).topLeft() + QPoint(12, 6);
  }
  // A press or release as the window system delivers it, at a point of the
  // window.
  void Mouse(QEvent::Type type, Qt::MouseButton button, QWidget* on, QPoint pos) {
    const QPoint inWindow = on->mapTo(m_form, pos);
    if (type == QEvent::MouseButtonPress)
      QTest::mousePress(m_form->windowHandle(), button, {}, inWindow);
    else
      QTest::mouseRelease(m_form->windowHandle(), button, {}, inWindow);
    QApplication::processEvents();
  }

  std::unique_ptr<QWidget> m_owner;
  QPointer<lesson_form> m_form;
};

TEST_F(LessonFormTest, OpensWithTheSampleCatalogueAndItsTemplate) {
  EXPECT_EQ(m_form->windowTitle(), QStringLiteral("主窗口"));
  EXPECT_EQ(m_form->size(), DluSize(558, 342));
  EXPECT_EQ(m_form->parentWidget(), m_owner.get());
  EXPECT_TRUE(m_form->windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_TRUE(m_form->windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(m_form->AutoNextBox()->isChecked());
  EXPECT_EQ(m_form->Tree()->palette().color(QPalette::Base), QColor(239, 201, 239));
  EXPECT_FALSE(m_form->IsPlaybackTimerRunning());

  // Two subjects, collapsed, nothing selected; every lesson of the sample
  // in the entry table.
  CatalogueTree* tree = m_form->Tree();
  ASSERT_EQ(tree->topLevelItemCount(), 2);
  EXPECT_EQ(tree->topLevelItem(0)->text(0), QStringLiteral("语文."));
  EXPECT_EQ(tree->topLevelItem(1)->text(0), QStringLiteral("数学."));
  EXPECT_EQ(tree->topLevelItem(0)->child(0)->text(0), QStringLiteral("拼音."));
  EXPECT_FALSE(tree->topLevelItem(0)->isExpanded());
  EXPECT_EQ(tree->currentItem(), nullptr);
  ASSERT_EQ(m_form->Entries().Count(), SampleLessonCount());
  const int game = m_form->Entries().FindTitle(FromUtf8("数字连连看"));
  ASSERT_GE(game, 0);
  EXPECT_EQ(ToUtf8(m_form->Entries().Row(game).type), "game");
  EXPECT_EQ(ToUtf8(m_form->Entries().Row(game).fileName), "shuzi.exe");

  // The player fills the window beneath the button row and the tree; the
  // hidden "关闭" and progress bar stay hidden.
  const QObjectList children = m_form->children();
  const auto z = [&](QObject* w) { return children.indexOf(w); };
  EXPECT_EQ(m_form->Player()->geometry(), DluRect(0, 0, 557, 342));
  for (QWidget* above : m_form->ButtonRow() + QList<QWidget*>{tree})
    EXPECT_GT(z(above), z(m_form->Player())) << above->objectName().toStdString();
  EXPECT_TRUE(tree->isVisible());
  for (QWidget* control : m_form->ButtonRow()) EXPECT_TRUE(control->isVisible());
  EXPECT_FALSE(m_form->CloseButton()->isVisible());
  EXPECT_EQ(m_form->CloseButton()->text(), QStringLiteral("关闭"));
  EXPECT_TRUE(m_messages.empty());
}

TEST_F(LessonFormTest, SelectionAndClickExpandTheCaretItemAndNeverCollapse) {
  CatalogueTree* tree = m_form->Tree();
  QTreeWidgetItem* chinese = Item("语文.");
  QTreeWidgetItem* maths = Item("数学.");
  ASSERT_TRUE(chinese && maths);

  tree->setCurrentItem(chinese);
  EXPECT_TRUE(chinese->isExpanded());
  // Selecting again or clicking never collapses.
  QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, At(chinese));
  EXPECT_TRUE(chinese->isExpanded());

  // A click comes before the selection moves: it opens the item selected
  // until then, and the selection change opens the clicked one, which keeps
  // the click although the opening moved it down.
  chinese->setExpanded(false);
  QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, At(maths));
  EXPECT_EQ(tree->currentItem(), maths);
  EXPECT_TRUE(maths->isExpanded());
  EXPECT_TRUE(chinese->isExpanded());

  // A lesson-level item has nothing to open; its selection is harmless.
  QTreeWidgetItem* lesson = Item("十以内的加法");
  ASSERT_NE(lesson, nullptr);
  tree->setCurrentItem(lesson);
  EXPECT_EQ(tree->currentItem(), lesson);
}

TEST_F(LessonFormTest, ToolTipShowsOnlyTextsTheTreeCutsOff) {
  CatalogueTree* tree = m_form->Tree();
  const QString longText = QString(80, QChar(0x5b57));
  tree->addTopLevelItem(new QTreeWidgetItem(QStringList(longText)));
  tree->addTopLevelItem(new QTreeWidgetItem(QStringList(QStringLiteral("短"))));
  QApplication::processEvents();
  const auto tipAt = [&](int row) {
    QToolTip::hideText();
    EXPECT_TRUE(QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 3000));
    const QPoint pos = tree->visualItemRect(tree->topLevelItem(row)).topLeft() + QPoint(12, 6);
    QHelpEvent help(QEvent::ToolTip, pos, tree->viewport()->mapToGlobal(pos));
    QApplication::sendEvent(tree->viewport(), &help);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
  };
  EXPECT_EQ(tipAt(2), longText);
  EXPECT_EQ(tipAt(3), QString());
  EXPECT_EQ(tipAt(0), QString());
}

TEST_F(LessonFormTest, AppListTogglesTheTree) {
  QPushButton* appList = m_form->AppListButton();
  EXPECT_EQ(appList->text(), QStringLiteral("应用列表"));
  QTest::mouseClick(appList, Qt::LeftButton);
  EXPECT_FALSE(m_form->Tree()->isVisible());
  QTest::mouseClick(appList, Qt::LeftButton);
  EXPECT_TRUE(m_form->Tree()->isVisible());
}

TEST_F(LessonFormTest, CloseBoxEnterAndEscLeaveTheWindowOpen) {
  EXPECT_FALSE(m_form->close());
  m_form->Tree()->setFocus();
  QTest::keyClick(m_form->Tree(), Qt::Key_Escape);
  QTest::keyClick(m_form->Tree(), Qt::Key_Return);
  QTest::keyClick(m_form, Qt::Key_Escape);
  QTest::keyClick(m_form, Qt::Key_Enter);
  QApplication::processEvents();
  EXPECT_TRUE(m_form->isVisible());
  EXPECT_EQ(m_form->result(), 0);
}

TEST_F(LessonFormTest, HiddenCloseButtonDestroysTheWindow) {
  m_form->StartPlaybackTimer();
  m_form->CloseButton()->click();
  EXPECT_FALSE(m_form->isVisible());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(m_form.isNull());
}

TEST_F(LessonFormTest, RightPressArrivesAsLeftPressOnTreeButtonsAndPlayer) {
  // The tree: a right press selects as a left press does.
  CatalogueTree* tree = m_form->Tree();
  QTreeWidgetItem* maths = Item("数学.");
  Mouse(QEvent::MouseButtonPress, Qt::RightButton, tree->viewport(), At(maths));
  Mouse(QEvent::MouseButtonRelease, Qt::RightButton, tree->viewport(), At(maths));
  EXPECT_EQ(tree->currentItem(), maths);
  EXPECT_TRUE(maths->isExpanded());

  // A button: a right click is a click.
  QPushButton* appList = m_form->AppListButton();
  const QPoint centre = appList->rect().center();
  Mouse(QEvent::MouseButtonPress, Qt::RightButton, appList, centre);
  Mouse(QEvent::MouseButtonRelease, Qt::RightButton, appList, centre);
  EXPECT_FALSE(tree->isVisible());
  EXPECT_FALSE(appList->isDown());

  // The player, through a widget its backend put inside it after the window
  // was made: a left press and release, and no context menu.
  auto* inner = new InnerWidget(m_form->Player());
  inner->setGeometry(m_form->Player()->rect());
  inner->show();
  const QPoint free = m_form->Player()->mapFrom(m_form, QPoint(m_form->width() - 40, 300));
  Mouse(QEvent::MouseButtonPress, Qt::RightButton, inner, free);
  Mouse(QEvent::MouseButtonRelease, Qt::RightButton, inner, free);
  EXPECT_EQ(inner->presses, std::vector<Qt::MouseButton>{Qt::LeftButton});
  EXPECT_EQ(inner->releases, std::vector<Qt::MouseButton>{Qt::LeftButton});
  QContextMenuEvent menu(QContextMenuEvent::Mouse, free, inner->mapToGlobal(free));
  QApplication::sendEvent(inner, &menu);
  EXPECT_EQ(inner->contextMenus, 0);

  // Outside the window nothing changes.
  InnerWidget elsewhere;
  elsewhere.resize(100, 100);
  elsewhere.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&elsewhere));
  QTest::mousePress(elsewhere.windowHandle(), Qt::RightButton, {}, QPoint(50, 50));
  QTest::mouseRelease(elsewhere.windowHandle(), Qt::RightButton, {}, QPoint(50, 50));
  EXPECT_EQ(elsewhere.presses, std::vector<Qt::MouseButton>{Qt::RightButton});
}

TEST_F(LessonFormTest, PlayerKeepsItsTemplateSizeAtTheOriginWhenTheWindowResizes) {
  CShockwaveflash1* player = m_form->Player();
  player->move(30, 40);
  m_form->showMaximized();
  QApplication::processEvents();
  m_form->resize(m_form->width() + 200, m_form->height() + 150);
  QApplication::processEvents();
  EXPECT_EQ(player->geometry(), DluRect(0, 0, 557, 342));
  m_form->resize(300, 200);
  QApplication::processEvents();
  EXPECT_EQ(player->geometry(), DluRect(0, 0, 557, 342));
}

TEST_F(LessonFormTest, ShowButtonRowShowsAndHidesTheNineControls) {
  const QList<QWidget*> row = m_form->ButtonRow();
  const QStringList texts = {"播放", "应用列表", "下一页", "暂停", "上一页", "音量"};
  ASSERT_EQ(row.size(), 9);
  for (int i = 0; i < texts.size(); ++i)
    EXPECT_EQ(row[i]->property("text").toString(), texts[i]) << i;
  EXPECT_EQ(row[6], m_form->VolumeSlider());
  EXPECT_EQ(row[7], m_form->AutoNextBox());
  EXPECT_TRUE(qobject_cast<QGroupBox*>(row[8]));

  m_form->ShowButtonRow(false);
  for (QWidget* control : row) EXPECT_FALSE(control->isVisible());
  EXPECT_TRUE(m_form->Tree()->isVisible());
  m_form->ShowButtonRow(true);
  for (QWidget* control : row) EXPECT_TRUE(control->isVisible());
  EXPECT_FALSE(m_form->CloseButton()->isVisible());
}

TEST_F(LessonFormTest, PlayResolvesTheSelectionOrSaysWhy) {
  QSignalSpy played(m_form.data(), &lesson_form::playRequested);
  QTest::mouseClick(m_form->PlayButton(), Qt::LeftButton);
  EXPECT_EQ(played.count(), 0);
  ASSERT_EQ(m_messages.size(), 1u);
  EXPECT_NE(m_messages[0].find("如果列表没有显示"), std::string::npos);

  m_form->Tree()->setCurrentItem(Item("数学."));
  QTest::mouseClick(m_form->PlayButton(), Qt::LeftButton);
  EXPECT_EQ(played.count(), 0);
  ASSERT_EQ(m_messages.size(), 2u);
  EXPECT_EQ(m_messages[1], "您没有选择课程或游戏等项目！请在列表中选择第三级别的项目");

  m_form->Tree()->setCurrentItem(Item("十以内的减法"));
  QTest::mouseClick(m_form->PlayButton(), Qt::LeftButton);
  ASSERT_EQ(played.count(), 1);
  EXPECT_EQ(played.at(0).at(0).toInt(), m_form->Entries().FindTitle(FromUtf8("十以内的减法")));
  EXPECT_GT(played.at(0).at(0).toInt(), 0);
  EXPECT_EQ(m_messages.size(), 2u);
}

TEST_F(LessonFormTest, PlaybackTimerTicksUntilTheCatalogueIsLoadedAgain) {
  QSignalSpy ticks(m_form.data(), &lesson_form::playbackTick);
  m_form->StartPlaybackTimer();
  EXPECT_TRUE(ticks.wait(3000));
  m_form->LoadCatalogue();
  EXPECT_FALSE(m_form->IsPlaybackTimerRunning());
  EXPECT_EQ(m_form->windowTitle(), QStringLiteral("主窗口"));
  EXPECT_EQ(m_form->Entries().Count(), SampleLessonCount());
  EXPECT_EQ(m_form->Tree()->topLevelItemCount(), 2);
}

}  // namespace
}  // namespace zorva
