// The main frame and start-up, with the sign-in replaced by a gate that
// answers at once, against a working directory of the test's own.
#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "app/main_frame.h"
#include "app/message_form.h"
#include "app/pelk_app.h"
#include "controls/web_engine.h"
#include "core/cp936.h"
#include "feedback/gonggao_form.h"
#include "feedback/say_to_us_form.h"
#include "lessons/lesson_form.h"
#include "platform/dialog_units.h"
#include "platform/message_box.h"
#include "platform/program_values.h"
#include "platform/qt_text.h"
#include "platform/quit.h"

namespace zorva {
namespace {

QApplication& App() {
  static int argc = 1;
  static char name[] = "main_frame_test";
  static char* argv[] = {name, nullptr};
  // The frame opens the lesson window, whose movie player needs no web
  // engine here, and the announcement window, which does: the engine is
  // prepared before the application, as the program does.
  static QApplication* app = [] {
    qputenv("ZORVA_PLAYER", "timeline");
    PrepareWebEngine();
    return new QApplication(argc, argv);
  }();
  return *app;
}

// Records the documents the shell is asked to open.
class OpenedUrls : public QObject {
  Q_OBJECT
 public:
  OpenedUrls() { QDesktopServices::setUrlHandler("file", this, "Open"); }
  ~OpenedUrls() override { QDesktopServices::unsetUrlHandler("file"); }
  QList<QUrl> m_urls;
 public slots:
  void Open(const QUrl& url) { m_urls.append(url); }
};

class MainFrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    ASSERT_TRUE(m_dir.isValid());
    SetWorkingDirectory(Text(m_dir.path().toStdString()));
  }

  void WriteVersionFile(const std::string& content) {
    std::ofstream(m_dir.filePath("zorva.xml").toStdString()) << content;
  }

  // A frame created with a sign-in that answers `result`.
  std::unique_ptr<CMainFrame> CreatedFrame(int result = 1, bool* created = nullptr) {
    auto frame = std::make_unique<CMainFrame>([result] { return result; });
    const bool ok = frame->Create();
    if (created) *created = ok;
    return frame;
  }

  static QList<QWidget*> VisibleWindows() {
    QList<QWidget*> visible;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->isVisible()) visible.append(w);
    return visible;
  }

  // A click that takes the way of the window system's input, so that a
  // blocked window does not get it.
  static void ClickThroughWindow(QWidget* widget) {
    QWidget* window = widget->window();
    const QPoint at = widget->mapTo(window, widget->rect().center());
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, at);
  }

  QTemporaryDir m_dir;
};

struct TitleCase {
  const char* name;
  const char* versionFile;  // nullptr: no file
  const char* title;
};
void PrintTo(const TitleCase& c, std::ostream* os) { *os << c.name; }

class TitleTest : public MainFrameTest, public ::testing::WithParamInterface<TitleCase> {};

TEST_P(TitleTest, TitleCarriesTheLocalVersion) {
  if (GetParam().versionFile) WriteVersionFile(GetParam().versionFile);
  auto frame = CreatedFrame();
  EXPECT_EQ(frame->windowTitle(), QString::fromUtf8(GetParam().title));
}

INSTANTIATE_TEST_SUITE_P(
    Versions, TitleTest,
    ::testing::Values(
        TitleCase{"NoVersionFile", nullptr, "Zorva学习娱乐空间 版本"},
        TitleCase{"VersionFollowsWithoutBlank", "<zorva>2.0</zorva>", "Zorva学习娱乐空间 版本2.0"},
        TitleCase{"FirstElementWins", "<x><zorva>1.5</zorva><zorva>9</zorva></x>",
                  "Zorva学习娱乐空间 版本1.5"},
        TitleCase{"NoZorvaElement", "<version>2.0</version>", "Zorva学习娱乐空间 版本"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(MainFrameTest, SignInNotOkFailsCreationAndShowsNothing) {
  for (int result : {0, 2}) {
    bool created = true;
    auto frame = CreatedFrame(result, &created);
    EXPECT_FALSE(created) << result;
    EXPECT_FALSE(frame->isVisible());
    EXPECT_EQ(frame->LoadingMessage(), nullptr);
    EXPECT_TRUE(VisibleWindows().isEmpty());
  }
}

TEST_F(MainFrameTest, SignInRunsAfterTitleAndToolbarAreSet) {
  WriteVersionFile("<zorva>2.0</zorva>");
  QString titleAtSignIn;
  QString firstTextAtSignIn;
  CMainFrame* self = nullptr;
  CMainFrame frame([&] {
    titleAtSignIn = self->windowTitle();
    firstTextAtSignIn = self->ToolBar()->actions().at(0)->text();
    return 1;
  });
  self = &frame;
  ASSERT_TRUE(frame.Create());
  EXPECT_EQ(titleAtSignIn, QStringLiteral("Zorva学习娱乐空间 版本2.0"));
  EXPECT_EQ(firstTextAtSignIn, QStringLiteral("学习及娱乐"));
  // The loading message came and went before the frame shows.
  ASSERT_NE(frame.LoadingMessage(), nullptr);
  EXPECT_FALSE(frame.LoadingMessage()->isVisible());
  EXPECT_FALSE(frame.isVisible());
}

TEST_F(MainFrameTest, ToolbarHasThirteenEntriesWithTheirTextsAndDisabledTail) {
  auto frame = CreatedFrame();
  QToolBar* bar = frame->ToolBar();
  const QList<QAction*> entries = bar->actions();
  ASSERT_EQ(entries.size(), 13);
  const int commands[13] = {32862, 0,     57670, 32858, 57665, 0,    32873,
                            32859, 32782, 32805, 32800, 32872, 32870};
  const char* texts[13] = {"学习及娱乐", "", "Help", "给我们提建议", "退出"};
  for (int i = 0; i < 13; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(entries[i]->isSeparator(), commands[i] == 0);
    if (commands[i] == 0) continue;
    EXPECT_EQ(entries[i]->data().toInt(), commands[i]);
    EXPECT_EQ(entries[i]->text(), QString::fromUtf8(i < 5 ? texts[i] : ""));
    EXPECT_EQ(entries[i]->isEnabled(), i < 6);
    EXPECT_FALSE(entries[i]->icon().isNull());
  }
  EXPECT_EQ(bar->iconSize(), QSize(16, 15));

  // Every button has the size of the largest entry plus 10 pixels of width.
  int widest = 0;
  QSize size;
  for (QAction* entry : entries) {
    if (entry->isSeparator()) continue;
    auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(entry));
    ASSERT_NE(button, nullptr);
    if (size.isEmpty()) size = button->size();
    EXPECT_EQ(button->size(), size);
    EXPECT_EQ(button->minimumSize(), button->maximumSize());
    widest = std::max(widest, button->sizeHint().width());
  }
  EXPECT_EQ(size.width(), widest + 10);
}

TEST_F(MainFrameTest, MenuHasItsItemsAndNoKeyIsBound) {
  auto frame = CreatedFrame();
  const QList<QAction*> pops = frame->menuBar()->actions();
  ASSERT_EQ(pops.size(), 2);
  EXPECT_EQ(pops[0]->text(), QStringLiteral("功能列表"));
  EXPECT_EQ(pops[1]->text(), QStringLiteral("帮助"));
  const QList<QAction*> functions = pops[0]->menu()->actions();
  ASSERT_EQ(functions.size(), 3);
  EXPECT_EQ(functions[0]->text(), QStringLiteral("学习及娱乐"));
  EXPECT_EQ(functions[1]->text(), QStringLiteral("给我们提建议"));
  EXPECT_EQ(functions[2]->text(), QStringLiteral("&Exit\tCtrl+X(X)"));
  const QList<QAction*> help = pops[1]->menu()->actions();
  ASSERT_EQ(help.size(), 1);
  EXPECT_EQ(help[0]->text(), QStringLiteral("使用帮助"));
  for (QAction* action : functions + help) {
    EXPECT_TRUE(action->isEnabled());
    EXPECT_TRUE(action->shortcut().isEmpty()) << action->text().toStdString();
  }
  EXPECT_EQ(frame->MenuAction(CMainFrame::kCommandExit), functions[2]);
}

TEST_F(MainFrameTest, LearningDoesNothing) {
  auto frame = CreatedFrame();
  frame->show();
  QApplication::processEvents();
  const QList<QWidget*> before = QApplication::topLevelWidgets();
  OpenedUrls opened;
  frame->MenuAction(CMainFrame::kCommandLearning)->trigger();
  frame->ToolBar()->actions().at(0)->trigger();
  QApplication::processEvents();
  EXPECT_TRUE(frame->isVisible());
  EXPECT_EQ(QApplication::topLevelWidgets(), before);
  EXPECT_TRUE(opened.m_urls.isEmpty());
}

// The suggestion dialog blocks the frame alone: the frame's tool bar and its
// close box do nothing while it is open, and the lesson window and the
// announcement, which the frame owns, take clicks and keys as before.
TEST_F(MainFrameTest, SuggestionBlocksTheFrameButNotTheWindowsItOwns) {
  auto frame = CreatedFrame();
  frame->show();
  lesson_form* lesson = frame->LessonForm();
  gonggao_form* announcement = frame->AnnouncementWindow();
  ASSERT_NE(lesson, nullptr);
  ASSERT_NE(announcement, nullptr);
  auto* appList = lesson->findChild<QPushButton*>("btnAppList");
  ASSERT_NE(appList, nullptr);
  QWidget* tree = lesson->findChild<QWidget*>("tree");
  ASSERT_NE(tree, nullptr);
  auto* helpButton = qobject_cast<QToolButton*>(
      frame->ToolBar()->widgetForAction(frame->ToolBar()->actions().at(2)));
  ASSERT_NE(helpButton, nullptr);

  for (QAction* command :
       {frame->MenuAction(CMainFrame::kCommandSuggestion), frame->ToolBar()->actions().at(3)}) {
    OpenedUrls opened;
    QPointer<say_to_us_form> seen;
    bool found = false;
    bool treeShownBefore = false;
    bool treeShownAfter = false;
    bool frameClosed = true;
    bool announcementHidden = false;
    QTimer::singleShot(0, [&] {
      for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<say_to_us_form*>(w); dialog && dialog->isVisible())
          seen = dialog;
      if (!seen) return;
      found = true;
      // No owner of its own, but kept above the frame by the window system.
      EXPECT_EQ(seen->parentWidget(), nullptr);
      EXPECT_EQ(seen->windowHandle()->transientParent(), frame->windowHandle());
      EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
      // Input to the frame goes nowhere.
      ClickThroughWindow(helpButton);
      // The lesson window answers clicks, the announcement its keys.
      treeShownBefore = tree->isVisible();
      ClickThroughWindow(appList);
      treeShownAfter = tree->isVisible();
      ClickThroughWindow(appList);
      // Esc, with the focus on the window rather than in its page.
      announcement->setFocus();
      QTest::keyClick(announcement->windowHandle(), Qt::Key_Escape);
      announcementHidden = !announcement->isVisible();
      announcement->show();
      frameClosed = frame->close();
      seen->close();
    });
    command->trigger();
    ASSERT_TRUE(found) << "no suggestion dialog was open";
    EXPECT_NE(treeShownBefore, treeShownAfter) << "应用列表 did not respond";
    EXPECT_TRUE(announcementHidden) << "the announcement did not respond";
    EXPECT_FALSE(frameClosed);
    EXPECT_TRUE(opened.m_urls.isEmpty()) << "the frame's tool bar took a click";
    // Once the dialog has ended, the frame is usable again.
    EXPECT_TRUE(seen.isNull());
    EXPECT_TRUE(frame->isVisible());
    ClickThroughWindow(helpButton);
    EXPECT_EQ(opened.m_urls.size(), 1);
  }
}

TEST_F(MainFrameTest, AnnouncementWindowStandsAtTheBottomRightOfTheCreationRectangle) {
  CMainFrame frame([] { return 1; });
  frame.setGeometry(100, 50, 500, 400);
  ASSERT_TRUE(frame.Create());
  gonggao_form* announcement = frame.AnnouncementWindow();
  ASSERT_NE(announcement, nullptr);
  EXPECT_EQ(announcement->parentWidget(), &frame);
  EXPECT_TRUE(announcement->isVisible());
  EXPECT_FALSE(frame.isVisible());
  // The outer rectangle, caption and border included. The offscreen
  // platform shifts a window by its made-up frame, a few pixels.
  const QPoint placed(100 + 500 - 350, 50 + 400 - 300);
  EXPECT_LE((announcement->frameGeometry().topLeft() - placed).manhattanLength(), 4);
  EXPECT_EQ(announcement->frameGeometry().size(), QSize(400, 300));
  // Its size is fixed: the page was laid out for exactly this window, so a
  // window manager must offer no way to resize it.
  EXPECT_EQ(announcement->minimumSize(), announcement->size());
  EXPECT_EQ(announcement->maximumSize(), announcement->size());
  EXPECT_EQ(announcement->windowTitle(), QStringLiteral("Dialog"));
  // It came while the loading message was up.
  ASSERT_NE(frame.LoadingMessage(), nullptr);
  EXPECT_FALSE(frame.LoadingMessage()->isVisible());

  // Showing the frame maximised leaves it where it was placed.
  frame.showMaximized();
  QApplication::processEvents();
  EXPECT_LE((announcement->frameGeometry().topLeft() - placed).manhattanLength(), 4);

  // Hidden, it stays hidden, and the frame goes on; closing the frame
  // deletes it.
  QPointer<gonggao_form> alive(announcement);
  announcement->close();
  EXPECT_FALSE(announcement->isVisible());
  EXPECT_TRUE(frame.isVisible());
  frame.close();
  EXPECT_TRUE(alive.isNull());
  EXPECT_EQ(frame.AnnouncementWindow(), nullptr);
}

TEST_F(MainFrameTest, AnnouncementWindowComesAfterTheLessonWindow) {
  SetMessageBoxHandler([](MessageBoxStyle, const Text&, const Text&) { return true; });
  bool announcementFirst = true;
  CMainFrame* self = nullptr;
  CMainFrame frame([] { return 1; },
                   [&]() -> lesson_form* {
                     announcementFirst = self->AnnouncementWindow() != nullptr;
                     return nullptr;
                   });
  self = &frame;
  ASSERT_TRUE(frame.Create());
  SetMessageBoxHandler({});
  EXPECT_FALSE(announcementFirst);
  ASSERT_NE(frame.AnnouncementWindow(), nullptr);
  EXPECT_TRUE(frame.AnnouncementWindow()->isVisible());
}

TEST_F(MainFrameTest, AnnouncementWindowStaysOnTheScreenBesideAFrameThatFillsIt) {
  // The frame's creation rectangle covers the screen's free area.
  auto frame = CreatedFrame();
  const QRect area = frame->screen()->availableGeometry();
  const QRect placed = frame->AnnouncementWindow()->frameGeometry();
  EXPECT_EQ(placed.size(), QSize(400, 300));
  EXPECT_LE(std::abs(placed.right() - area.right()), 4);
  EXPECT_LE(std::abs(placed.bottom() - area.bottom()), 4);
}

TEST_F(MainFrameTest, HelpFromMenuAndToolbarOpensTheLocalHelpPage) {
  // An installation folder with a Chinese name: the path keeps the file
  // system's bytes on its way to the desktop.
  const QString installed = m_dir.filePath(QStringLiteral("学习 空间"));
  ASSERT_TRUE(QDir().mkpath(installed));
  SetWorkingDirectory(Text(installed.toStdString()));
  auto frame = CreatedFrame();
  OpenedUrls opened;
  frame->MenuAction(CMainFrame::kCommandHelp)->trigger();
  frame->ToolBar()->actions().at(2)->trigger();
  ASSERT_EQ(opened.m_urls.size(), 2);
  for (const QUrl& url : opened.m_urls)
    EXPECT_EQ(url, QUrl::fromLocalFile(installed + QStringLiteral("/help/help.htm")));
}

TEST_F(MainFrameTest, ExitClosesTheFrameAndEndsTheProgram) {
  auto frame = CreatedFrame();
  frame->show();
  frame->MenuAction(CMainFrame::kCommandExit)->trigger();
  EXPECT_FALSE(frame->isVisible());
  EXPECT_EQ(frame->LoadingMessage(), nullptr);
  // The quit request is handled by the event loop.
  QApplication::processEvents();
  EXPECT_EQ(HandledQuitCode(), 0);
}

TEST_F(MainFrameTest, LoadingMessageFollowsItsTemplate) {
  App();
  message_form form;
  EXPECT_EQ(form.windowTitle(), QStringLiteral("Zorva学习娱乐空间"));
  EXPECT_EQ(form.size(), DluSize(186, 95));
  EXPECT_TRUE(form.windowFlags() & Qt::WindowStaysOnTopHint);
  auto* label = form.findChild<QLabel*>();
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->text(), QStringLiteral("正在载入资源，请稍等......"));
  EXPECT_EQ(label->geometry(), DluRect(42, 34, 97, 8));
}

class StartUpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    ASSERT_TRUE(m_dir.isValid());
    m_previous = std::filesystem::current_path();
    std::filesystem::current_path(m_dir.path().toStdString());
  }
  void TearDown() override { std::filesystem::current_path(m_previous); }

  QTemporaryDir m_dir;
  std::filesystem::path m_previous;
};

TEST_F(StartUpTest, RecordsWorkingDirectoryAndShowsFrameMaximisedAfterSignIn) {
  // A download cut short by the end of an earlier run left its temporary
  // file; the job file beside it stays.
  const pid_t ended = fork();
  if (ended == 0) _exit(0);
  waitpid(ended, nullptr, 0);
  const std::filesystem::path dl = std::filesystem::current_path() / "dl";
  std::filesystem::create_directory(dl);
  const std::string stale = ".download.xml.part-" + std::to_string(ended) + "-0";
  std::ofstream(dl / stale) << "half";
  std::ofstream(dl / "download.xml") << "job";

  CPelkApp pelk;
  ASSERT_TRUE(pelk.InitInstance([] { return 1; }));
  EXPECT_EQ(WorkingDirectory(), Text(std::filesystem::current_path().string()));
  ASSERT_NE(pelk.MainFrame(), nullptr);
  EXPECT_TRUE(pelk.MainFrame()->isVisible());
  EXPECT_TRUE(pelk.MainFrame()->isMaximized());
  EXPECT_FALSE(std::filesystem::exists(dl / stale));
  EXPECT_TRUE(std::filesystem::exists(dl / "download.xml"));
  pelk.MainFrame()->close();
  QApplication::processEvents();
}

TEST_F(StartUpTest, FailedSignInEndsWithZeroOrTheHandledQuitCode) {
  {
    // The handled quit code is process-wide: start from none.
    ResetHandledQuitCode();
    CPelkApp pelk;
    EXPECT_FALSE(pelk.InitInstance([] { return 2; }));
    EXPECT_EQ(pelk.MainFrame(), nullptr);
    EXPECT_EQ(CPelkApp::ExitCode(), 0);
  }
  // The update hand-off ends the sign-in's modal loop with a quit request
  // for code 1; start-up then ends the program with that code.
  CPelkApp pelk;
  EXPECT_FALSE(pelk.InitInstance([] {
    PostQuitMessage(1);
    QApplication::processEvents();
    return 0;
  }));
  EXPECT_EQ(CPelkApp::ExitCode(), 1);
}

}  // namespace
}  // namespace zorva

#include "main_frame_test.moc"
