// The full-screen presentation (offscreen) on a window that, as the lesson
// window does, puts the player back in its corner whenever it is resized.
#include "lessons/full_screen_player.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QWidget>

namespace zorva {
namespace {

QApplication& App() {
  static int argc = 1;
  static char name[] = "full_screen_player_test";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

class CornerWindow : public QWidget {
 public:
  CornerWindow() : player(new QWidget(this)) { player->setGeometry(0, 0, 550, 400); }
  QWidget* player;

 protected:
  void resizeEvent(QResizeEvent*) override { player->move(0, 0); }
};

// A window manager gives the screen's size some time after the switch, and
// may change it again (a panel that goes, a screen that turns): the player
// stays centred on every size the window takes while full screen, and goes
// back to its corner once the window has left it.
TEST(FullScreenPlayerTest, PlayerStaysCentredThroughLateResizes) {
  App();
  CornerWindow window;
  window.setGeometry(100, 100, 837, 555);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  FullScreenPlayer fullScreen(&window, window.player, {});

  fullScreen.Enter();
  for (const QSize late : {QSize(1280, 1024), QSize(1280, 984), QSize(1024, 768)}) {
    window.resize(late);
    QApplication::processEvents();
    SCOPED_TRACE(late.width() * 10000 + late.height());
    const QRect player = window.player->geometry();
    EXPECT_EQ(player.size(), QSize(550, 400).scaled(window.size(), Qt::KeepAspectRatio));
    EXPECT_EQ(player.center(), window.rect().center());
  }

  fullScreen.Leave();
  window.resize(837, 555);
  QApplication::processEvents();
  EXPECT_EQ(window.player->geometry(), QRect(0, 0, 550, 400));
}

}  // namespace
}  // namespace zorva
