#pragma once

#include <QPointer>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/text.h"
#include "support/server_process.h"

class QTreeWidgetItem;

namespace zorva {
class ManualIntervalTimer;
class lesson_form;
}  // namespace zorva

namespace zorva::test {

// The QApplication of the test program (offscreen), created on first use,
// with the program's message pump installed. The movie player runs its
// headless backend: these tests look at the window, not at movies.
void EnsureApplication();

// A fixture serving the sample content from a real zorva-server for the
// whole suite, its address as the server base address, and message boxes
// answered and recorded (UTF-8 texts).
class SampleServerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  static void TearDownTestSuite();
  void SetUp() override;
  void TearDown() override;

  // How many lesson elements the sample catalogue holds.
  static int SampleLessonCount();

  static ServerProcess* s_server;
  std::vector<std::string> m_messages;
};

// Stands for the widget a player backend puts inside the player (a web
// view's inner widget): it takes the focus, as a clicked movie does, and
// records the mouse presses, releases, context menus and keys it gets.
class InnerWidget : public QWidget {
 public:
  explicit InnerWidget(QWidget* parent = nullptr);
  std::vector<Qt::MouseButton> presses;
  std::vector<Qt::MouseButton> releases;
  int contextMenus = 0;
  std::vector<int> keys;

 protected:
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void contextMenuEvent(QContextMenuEvent*) override;
  void keyPressEvent(QKeyEvent* e) override;
};

// The lesson window on the sample catalogue, made and shown as the main
// frame makes it, with the user ann signed in and timer 1 in the test's
// hand: ticks come when the test fires them.
class LessonWindowTest : public SampleServerTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The tree item with this text (UTF-8), which must be the only one.
  QTreeWidgetItem* Item(const char* utf8) const;
  // Fires timer 1 until the window's title reads utf8, at most limit times;
  // whether it does.
  bool TicksUntilTitle(const char* utf8, int limit = 3);

  std::unique_ptr<QWidget> m_owner;
  QPointer<lesson_form> m_form;
  ManualIntervalTimer* m_timer = nullptr;  // the window's
};

}  // namespace zorva::test
