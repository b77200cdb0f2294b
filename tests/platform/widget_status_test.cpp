// The Qt progress bar behind the transfer's progress steps, on the real
// widget: a range with nothing in it must stay a still, empty bar.
#include "platform/widget_status.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QProgressBar>

#include <memory>

namespace zorva {
namespace {

QApplication& App() {
  static int argc = 1;
  static char name[] = "widget_status_test";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

QImage Shot(QProgressBar& bar) {
  QApplication::processEvents();
  return bar.grab().toImage();
}

class WidgetProgressBarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    m_bar = std::make_unique<QProgressBar>();
    m_empty = std::make_unique<QProgressBar>();
    for (QProgressBar* bar : {m_bar.get(), m_empty.get()}) {
      bar->setTextVisible(false);
      bar->resize(223, 12);
      bar->show();
    }
    m_empty->setRange(0, 100);
    m_empty->setValue(0);
  }

  // Made once the application exists.
  std::unique_ptr<QProgressBar> m_bar;
  std::unique_ptr<QProgressBar> m_empty;  // what a still, empty bar looks like
};

// A reply without Content-Length, or under 100 bytes, gives 0 .. 0.
TEST_F(WidgetProgressBarTest, EmptyRangeDrawsAStillEmptyBarWithThePositionHeld) {
  WidgetProgressBar progress(m_bar.get());
  progress.SetRange32(0, 0);
  progress.SetPos(0);
  EXPECT_LT(m_bar->minimum(), m_bar->maximum()) << "Qt's busy indicator";
  for (int i = 0; i < 3; ++i) progress.SetPos(progress.GetPos() + 1);
  EXPECT_EQ(progress.GetPos(), 0);
  EXPECT_EQ(m_bar->value(), m_bar->minimum());
  EXPECT_EQ(Shot(*m_bar), Shot(*m_empty));
}

TEST_F(WidgetProgressBarTest, PositionStaysInsideTheRange) {
  WidgetProgressBar progress(m_bar.get());
  progress.SetRange32(0, 4);
  progress.SetPos(0);
  for (int i = 0; i < 7; ++i) progress.SetPos(progress.GetPos() + 1);
  EXPECT_EQ(progress.GetPos(), 4);
  EXPECT_EQ(m_bar->maximum(), 4);
  progress.SetPos(-3);
  EXPECT_EQ(progress.GetPos(), 0);
}

}  // namespace
}  // namespace zorva
