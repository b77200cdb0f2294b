// The quit request and the Qt message pump: a quit that a pump takes must
// still end the program once the pumping operation is over.
#include "platform/quit.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <functional>
#include <memory>
#include <utility>

#include "core/pump.h"

namespace zorva {
namespace {

// The code exec returns when no quit ever arrived.
constexpr int kQuitNeverArrived = -99;

// Opens a modal loop that runs `inside` from its first turn and returns what
// the loop ends with; a generous guard ends it when nothing else does.
int RunModalLoop(std::function<void()> inside) {
  QEventLoop modal;
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [&] { modal.exit(kQuitNeverArrived); });
  guard.start(20000);
  QTimer::singleShot(0, std::move(inside));
  return modal.exec();
}

class QuitRequest : public ::testing::Test {
 protected:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "quit_test";
    static char* argv[] = {name, nullptr};
    m_app = std::make_unique<QCoreApplication>(argc, argv);
    InstallQtMessagePump();
  }

  void TearDown() override {
    QCoreApplication::removePostedEvents(nullptr);
    InstallMessagePump(nullptr);
    m_app.reset();
  }

  // Runs the event loop until something ends it; a generous guard ends it
  // when nothing does, so a lost quit shows as a failure, not a hang.
  int RunEventLoop() {
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(kQuitNeverArrived); });
    guard.start(20000);
    return QCoreApplication::exec();
  }

  std::unique_ptr<QCoreApplication> m_app;
};

TEST_F(QuitRequest, PostedBeforeAWaitIsNotLost) {
  PostQuitMessage(7);
  WaitPumping(30);
  EXPECT_EQ(RunEventLoop(), 7);
  EXPECT_EQ(HandledQuitCode(), 7);
}

TEST_F(QuitRequest, PumpReportsTakingIt) {
  EXPECT_TRUE(PumpMessages()) << "nothing waiting";
  PostQuitMessage(3);
  EXPECT_FALSE(PumpMessages());
  EXPECT_EQ(RunEventLoop(), 3);
}

TEST_F(QuitRequest, HandedBackOnlyWhenTheOutermostOperationEnds) {
  {
    PumpingScope encoding;  // an operation that waits several times
    PostQuitMessage(5);
    WaitPumping(10);
    EXPECT_TRUE(PumpMessages()) << "not handed back while the operation still pumps";
    WaitPumping(10);
  }
  EXPECT_EQ(RunEventLoop(), 5);
}

TEST_F(QuitRequest, TakenInsideAHandlerEndsTheRunningLoop) {
  bool handlerFinished = false;
  QTimer::singleShot(0, [&] {
    PostQuitMessage(9);
    WaitPumping(30);
    handlerFinished = true;
  });
  EXPECT_EQ(RunEventLoop(), 9);
  EXPECT_TRUE(handlerFinished) << "the wait took the quit and returned normally";
}

TEST_F(QuitRequest, ModalLoopOpenedInsideAPumpEndsAtOnce) {
  // A handler dispatched by a wait opens a modal loop; a quit posted while
  // that loop runs belongs to it, not to the wait below it.
  int modalResult = 0;
  bool waitReturned = false;
  QTimer::singleShot(0, [&] {
    QTimer::singleShot(0, [&] { modalResult = RunModalLoop([] { PostQuitMessage(6); }); });
    WaitPumping(30);
    waitReturned = true;
  });
  EXPECT_EQ(RunEventLoop(), 6);
  EXPECT_EQ(modalResult, 6);
  EXPECT_TRUE(waitReturned);
}

TEST_F(QuitRequest, TakenByAWaitInsideAModalLoopEndsThatLoop) {
  // wait -> handler -> modal loop -> handler -> wait that takes the quit:
  // the modal loop must end when the inner wait returns, not only once the
  // user has closed it and the outer wait is over.
  int modalResult = 0;
  bool outerWaitReturned = false;
  QTimer::singleShot(0, [&] {
    QTimer::singleShot(0, [&] {
      modalResult = RunModalLoop([] {
        PostQuitMessage(8);
        WaitPumping(30);
      });
    });
    WaitPumping(30);
    outerWaitReturned = true;
  });
  EXPECT_EQ(RunEventLoop(), 8);
  EXPECT_EQ(modalResult, 8);
  EXPECT_TRUE(outerWaitReturned);
}

TEST_F(QuitRequest, WithNothingPumpingItEndsTheLoop) {
  PostQuitMessage(4);
  EXPECT_EQ(RunEventLoop(), 4);
}

}  // namespace
}  // namespace zorva
