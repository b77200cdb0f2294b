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

#include <QTemporaryDir>
#include <QWindow>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "controls/shockwave_flash.h"
#include "core/cp936.h"
#include "lessons/catalogue_tree.h"
#include "lessons_test_env.h"
#include "platform/dialog_units.h"
#include "platform/interval_timer.h"
#include "platform/program_values.h"
#include "platform/qt_text.h"

namespace zorva {
namespace {

class LessonFormTest : public test::LessonWindowTest {
 protected:
  // The centre of an item's text in the tree's viewport.
  QTemporaryDir m_dir;

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
};

using test::InnerWidget;

TEST_F(LessonFormTest, OpensWithTheSampleCatalogueAndItsTemplate) {
  EXPECT_EQ(m_form->windowTitle(), QStringLiteral("主窗口"));
  EXPECT_EQ(m_form->size(), DluSize(558, 342));
  EXPECT_EQ(m_form->parentWidget(), m_owner.get());
  EXPECT_TRUE(m_form->windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_TRUE(m_form->windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(m_form->AutoNextBox()->isChecked());
  EXPECT_EQ(m_form->Tree()->palette().color(QPalette::Base), QColor(239, 201, 239));
  EXPECT_FALSE(m_form->Playback()->IsTimerRunning());

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

// Enter and Esc end nothing, and no button is the window's default that
// Enter would press.
TEST_F(LessonFormTest, CloseBoxEnterAndEscLeaveTheWindowOpen) {
  std::vector<std::unique_ptr<QSignalSpy>> clicks;
  for (QPushButton* button : m_form->findChildren<QPushButton*>()) {
    EXPECT_FALSE(button->isDefault()) << button->text().toStdString();
    clicks.push_back(std::make_unique<QSignalSpy>(button, &QPushButton::clicked));
  }
  EXPECT_FALSE(m_form->close());
  m_form->Tree()->setCurrentItem(nullptr);  // the tree with the focus, no current row
  for (QWidget* focus : std::initializer_list<QWidget*>{m_form->Tree(), m_form->AutoNextBox(),
                                                        m_form->PauseButton(), m_form.data()}) {
    focus->setFocus();
    QTest::keyClick(focus, Qt::Key_Escape);
    QTest::keyClick(focus, Qt::Key_Return);
    QTest::keyClick(focus, Qt::Key_Enter, Qt::KeypadModifier);
  }
  QApplication::processEvents();
  EXPECT_TRUE(m_form->isVisible());
  EXPECT_EQ(m_form->result(), 0);
  for (const auto& spy : clicks) EXPECT_EQ(spy->count(), 0);
  EXPECT_EQ(m_form->PauseButton()->text(), QStringLiteral("暂停"));
  EXPECT_TRUE(m_messages.empty());
}

TEST_F(LessonFormTest, HiddenCloseButtonDestroysTheWindow) {
  m_form->Playback()->StartTimer();
  m_form->CloseButton()->click();
  EXPECT_FALSE(m_form->isVisible());
  EXPECT_FALSE(m_timer->IsActive());
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

// Found by what they show, not by the window's own list: the nine controls
// of the row go and come back, and nothing else of the window changes.
TEST_F(LessonFormTest, ShowButtonRowShowsAndHidesTheNineControls) {
  QList<QWidget*> row;
  for (const char* text :
       {"播放", "应用列表", "下一页", "暂停", "上一页", "音量", "自动播放下一课程"}) {
    for (QWidget* w : m_form->findChildren<QWidget*>())
      if (w->property("text").toString() == QString::fromUtf8(text)) row.append(w);
  }
  row.append(m_form->findChildren<QSlider*>().value(0));
  row.append(m_form->findChildren<QGroupBox*>().value(0));
  ASSERT_EQ(row.size(), 9);
  ASSERT_FALSE(row.contains(nullptr));
  std::map<QWidget*, bool> others;
  for (QWidget* w : m_form->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    if (!row.contains(w)) others[w] = w->isVisible();

  for (const bool show : {false, true, false}) {
    m_form->ShowButtonRow(show);
    for (QWidget* control : row) EXPECT_EQ(control->isVisible(), show);
    for (const auto& [w, visible] : others)
      EXPECT_EQ(w->isVisible(), visible) << w->objectName().toStdString();
  }
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

// Two catalogue entries with one title: each tree item plays its own row.
TEST_F(LessonFormTest, PlayResolvesAnItemByItsOwnRowAmongEqualTitles) {
  const std::string content = m_dir.path().toStdString();
  std::filesystem::create_directories(content + "/lesson");
  std::ofstream(content + "/lesson/lesson_list.xml", std::ios::binary)
      << FromUtf8(
             "<sort_list order=\"1\" title=\"语文\"><lesson_list order=\"1\" title=\"上册\">"
             "<lesson order=\"1\" title=\"第一课\" dir=\"yuwen1\" type=\"lesson\" file_name=\"\"/>"
             "</lesson_list></sort_list>"
             "<sort_list order=\"2\" title=\"数学\"><lesson_list order=\"1\" title=\"上册\">"
             "<lesson order=\"1\" title=\"第一课\" dir=\"shuxue1\" type=\"lesson\" file_name=\"\"/>"
             "</lesson_list></sort_list>")
             .str();
  test::ServerProcess server(test::ServerProcess::Options{content, "", 1, {}});
  SetServerBaseAddress(Text(server.BaseUrl()));
  m_form->LoadCatalogue();
  const QList<QTreeWidgetItem*> lessons =
      m_form->Tree()->findItems(QStringLiteral("第一课"), Qt::MatchExactly | Qt::MatchRecursive);
  ASSERT_EQ(lessons.size(), 2);
  QSignalSpy played(m_form.data(), &lesson_form::playRequested);
  for (int i : {1, 0}) {
    m_form->Tree()->setCurrentItem(lessons[i]);
    QTest::mouseClick(m_form->PlayButton(), Qt::LeftButton);
  }
  ASSERT_EQ(played.count(), 2);
  EXPECT_EQ(played[0][0].toInt(), 1);
  EXPECT_EQ(played[1][0].toInt(), 0);
  EXPECT_TRUE(m_messages.empty());
}

// The window is on screen under "正在读取课程列表......" while the catalogue
// loads, and says "主窗口" after.
TEST_F(LessonFormTest, ShowsItselfBeforeTheCatalogueLoads) {
  struct TitleWatch : QObject {
    std::vector<std::pair<QString, bool>> seen;  // title, window on screen
    bool eventFilter(QObject* watched, QEvent* event) override {
      if (event->type() == QEvent::WindowTitleChange) {
        auto* w = static_cast<QWidget*>(watched);
        seen.emplace_back(w->windowTitle(),
                          w->isVisible() && w->windowHandle() && w->windowHandle()->isExposed());
      }
      return false;
    }
  } watch;
  lesson_form form;
  form.installEventFilter(&watch);
  ASSERT_TRUE(form.Create(m_owner.get()));
  const std::pair<QString, bool> loading{QStringLiteral("正在读取课程列表......"), true};
  EXPECT_NE(std::find(watch.seen.begin(), watch.seen.end(), loading), watch.seen.end());
  ASSERT_FALSE(watch.seen.empty());
  EXPECT_EQ(watch.seen.back(), std::make_pair(QStringLiteral("主窗口"), true));
  EXPECT_EQ(form.Entries().Count(), SampleLessonCount());
}

TEST_F(LessonFormTest, PlaybackTimerTicksUntilTheCatalogueIsLoadedAgain) {
  m_form->Playback()->StartTimer();
  EXPECT_TRUE(m_timer->IsActive());
  EXPECT_EQ(m_timer->PeriodMs(), 1000);
  EXPECT_TRUE(m_timer->Fire());
  m_form->LoadCatalogue();
  EXPECT_FALSE(m_timer->IsActive());
  EXPECT_EQ(m_form->windowTitle(), QStringLiteral("主窗口"));
  EXPECT_EQ(m_form->Entries().Count(), SampleLessonCount());
  EXPECT_EQ(m_form->Tree()->topLevelItemCount(), 2);
}

}  // namespace
}  // namespace zorva
