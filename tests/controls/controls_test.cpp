// Pixel checks of the owner-drawn button and the link-style static, drawn
// by the offscreen platform into widget grabs.
#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include "controls/artwork.h"
#include "controls/static_ex.h"
#include "controls/xp_button.h"

namespace zorva {
namespace {

QApplication& App() {
  static int argc = 1;
  static char name[] = "controls_test";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

// Fixtures whose members are widgets need the application before them.
struct WithApp {
  WithApp() { App(); }
};

// A button exposing its protected drawing steps' state for the checks.
class TestButton : public CXPButton {
 public:
  using CXPButton::CXPButton;
  void Hover(bool on) {
    if (on) {
      QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
      QApplication::sendEvent(this, &enter);
    } else {
      QEvent leave(QEvent::Leave);
      QApplication::sendEvent(this, &leave);
    }
  }
};

class ButtonTest : public ::testing::Test, private WithApp {
 protected:
  void SetUp() override {
    App();
    m_window.resize(200, 60);
    m_button = new TestButton(QStringLiteral("Sign"), &m_window);
    m_button->setGeometry(10, 10, 73, 22);
    m_other = new QWidget(&m_window);
    m_other->setFocusPolicy(Qt::StrongFocus);
    m_other->setGeometry(120, 10, 20, 20);
    m_window.show();
    m_other->setFocus();
    QApplication::processEvents();
  }

  QImage Grab() { return m_button->grab().toImage().convertToFormat(QImage::Format_RGB32); }

  // Bounding box of the pixels darker than the faces (the black text).
  static QRect DarkBox(const QImage& image, const QRect& area) {
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y)
      for (int x = area.left(); x <= area.right(); ++x)
        if (qGray(image.pixel(x, y)) < 60) box |= QRect(x, y, 1, 1);
    return box;
  }

  QRect TextArea() const { return QRect(4, 4, 65, 14); }

  QWidget m_window;
  TestButton* m_button = nullptr;
  QWidget* m_other = nullptr;
};

TEST(ArtworkTest, BitmapsHaveTheirSizesAndColourRanges) {
  App();
  const QImage normal = ButtonFace().toImage();
  ASSERT_EQ(normal.size(), QSize(126, 20));
  EXPECT_EQ(QColor(normal.pixel(60, 0)), QColor(255, 255, 255));
  EXPECT_EQ(QColor(normal.pixel(60, 9)), QColor(189, 227, 255));
  EXPECT_EQ(QColor(normal.pixel(60, 17)), QColor(165, 215, 255));
  EXPECT_EQ(QColor(normal.pixel(60, 18)), QColor(123, 186, 239));
  EXPECT_EQ(QColor(normal.pixel(60, 19)), QColor(123, 186, 239));

  const QImage hover = ButtonFaceHover().toImage();
  ASSERT_EQ(hover.size(), QSize(77, 19));
  EXPECT_EQ(QColor(hover.pixel(30, 0)), QColor(255, 255, 255));
  EXPECT_EQ(QColor(hover.pixel(30, 18)), QColor(214, 239, 255));

  EXPECT_EQ(ToolbarStrip().size(), QSize(11 * 16, 15));
  EXPECT_EQ(ToolbarImage(10).size(), QSize(16, 15));
  EXPECT_EQ(ToolbarImage(3).toImage(), ToolbarStrip().copy(48, 0, 16, 15).toImage());
  EXPECT_TRUE(ToolbarImage(11).isNull());
  EXPECT_TRUE(ToolbarImage(-1).isNull());
  EXPECT_EQ(LoginBanner().size(), QSize(340, 61));
}

TEST(ArtworkTest, IconsAndHandCursor) {
  App();
  EXPECT_EQ(ProgramIcon().availableSizes(), (QList<QSize>{QSize(16, 16), QSize(32, 32)}));
  EXPECT_EQ(IconById(kSignInIconId).availableSizes(), QList<QSize>{QSize(32, 32)});
  EXPECT_EQ(IconById(kCancelIconId).availableSizes(), QList<QSize>{QSize(32, 32)});
  EXPECT_TRUE(IconById(201).isNull());

  const QCursor hand = HandCursor();
  EXPECT_EQ(hand.hotSpot(), QPoint(12, 1));
  const QImage image = hand.pixmap().toImage();
  ASSERT_EQ(image.size(), QSize(32, 32));
  // The hot spot is the tip of the index finger: an opaque pixel with
  // nothing above it.
  EXPECT_EQ(qAlpha(image.pixel(12, 1)), 255);
  EXPECT_EQ(qAlpha(image.pixel(12, 0)), 0);
  // White hand, navy cuff, in the cursor's few colours.
  EXPECT_EQ(QColor(image.pixel(12, 5)), QColor(Qt::white));
  EXPECT_EQ(QColor(image.pixel(12, 23)), QColor(0, 0, 128));
}

TEST_F(ButtonTest, IdleShowsNormalFaceInsideBlackOutline) {
  const QImage image = Grab();
  // Inner rectangle starts at (2,2): the face's rows appear there unchanged.
  const QImage face = ButtonFace().toImage();
  EXPECT_EQ(QColor(image.pixel(3, 2 + 9)), QColor(face.pixel(1, 9)));
  EXPECT_EQ(QColor(image.pixel(3, 2 + 17)), QColor(face.pixel(1, 17)));
  // Outline along the middle of every side.
  EXPECT_EQ(QColor(image.pixel(36, 0)), QColor(Qt::black));
  EXPECT_EQ(QColor(image.pixel(36, 21)), QColor(Qt::black));
  EXPECT_EQ(QColor(image.pixel(0, 11)), QColor(Qt::black));
  EXPECT_EQ(QColor(image.pixel(72, 11)), QColor(Qt::black));
}

TEST_F(ButtonTest, HoverSwitchesToPaleFaceAndOrangeRimAndBack) {
  const QImage idle = Grab();
  m_button->Hover(true);
  EXPECT_TRUE(m_button->IsHovering());
  const QImage hover = Grab();
  const QImage pale = ButtonFaceHover().toImage();
  // Row 12 of the inner area, away from the rim and the text.
  EXPECT_EQ(QColor(hover.pixel(8, 2 + 10)), QColor(pale.pixel(6, 10)));
  EXPECT_NE(QColor(hover.pixel(8, 2 + 10)), QColor(idle.pixel(8, 2 + 10)));
  // Inner rectangle (2,2)-(71,20) exclusive: left rim at x 1..3, right at
  // x 69..71, top at rows 2..3, bottom at rows 19..20.
  EXPECT_EQ(QColor(hover.pixel(2, 11)), CXPButton::kHoverRim.left);
  EXPECT_EQ(QColor(hover.pixel(70, 11)), CXPButton::kHoverRim.right);
  EXPECT_EQ(QColor(hover.pixel(36, 2)), CXPButton::kHoverRim.top);
  EXPECT_EQ(QColor(hover.pixel(36, 19)), CXPButton::kHoverRim.bottom);

  m_button->Hover(false);
  EXPECT_FALSE(m_button->IsHovering());
  EXPECT_EQ(Grab(), idle);
}

TEST_F(ButtonTest, FocusShowsBlueRimAndFocusRectangleHoverWinsOverFocus) {
  m_button->setFocus();
  QApplication::processEvents();
  ASSERT_TRUE(m_button->hasFocus());
  const QImage focused = Grab();
  EXPECT_EQ(QColor(focused.pixel(2, 11)), CXPButton::kFocusRim.left);
  EXPECT_EQ(QColor(focused.pixel(70, 11)), CXPButton::kFocusRim.right);
  EXPECT_EQ(QColor(focused.pixel(37, 2 + 1)), CXPButton::kFocusRim.top);
  // The focus rectangle inverts every other pixel of the inner border.
  const QColor top = CXPButton::kFocusRim.top;
  EXPECT_EQ(QColor(focused.pixel(36, 2)),
            QColor(255 - top.red(), 255 - top.green(), 255 - top.blue()));
  EXPECT_EQ(QColor(focused.pixel(37, 2)), top);

  m_button->Hover(true);
  const QImage both = Grab();
  EXPECT_EQ(QColor(both.pixel(2, 11)), CXPButton::kHoverRim.left);
  EXPECT_EQ(QColor(both.pixel(36, 2)), CXPButton::kHoverRim.top);
  EXPECT_EQ(QColor(both.pixel(37, 2)), CXPButton::kHoverRim.top);
}

TEST_F(ButtonTest, TextIsCentredAndMovesWhenPressedOrShowingIcon) {
  const QRect centred = DarkBox(Grab(), TextArea());
  ASSERT_FALSE(centred.isEmpty());
  // Centred in the inner rectangle to within rounding.
  EXPECT_LE(std::abs((centred.left() - 2) - (71 - 1 - centred.right())), 2);

  m_button->setDown(true);
  const QRect pressed = DarkBox(Grab(), TextArea());
  EXPECT_EQ(pressed.topLeft(), centred.topLeft() + QPoint(1, 1));
  m_button->setDown(false);

  // The flag moves the text even with no icon loaded, and draws no icon.
  m_button->m_bShowIcon = true;
  m_button->update();
  const QRect shifted = DarkBox(Grab(), TextArea());
  EXPECT_EQ(shifted.topLeft(), centred.topLeft() + QPoint(5, 0));
}

TEST_F(ButtonTest, IconShowsAtTheLeftOnlyWithTheFlag) {
  const auto greenAtLeft = [this] {
    const QImage image = Grab();
    int green = 0;
    for (int y = 3; y < 20; ++y)
      for (int x = 2; x < 20; ++x) {
        const QColor c(image.pixel(x, y));
        if (c.green() > c.red() + 60 && c.green() > c.blue() + 60) ++green;
      }
    return green;
  };
  m_button->SetIcon(kSignInIconId);
  EXPECT_EQ(greenAtLeft(), 0);
  m_button->m_bShowIcon = true;
  EXPECT_GT(greenAtLeft(), 5);
}

TEST_F(ButtonTest, DisabledTextIsEmbossed) {
  m_button->setEnabled(false);
  const QImage image = Grab();
  m_button->setText(QString());
  const QImage blank = Grab();
  EXPECT_TRUE(DarkBox(image, TextArea()).isEmpty());
  // Against the bare face: grey shadow pixels, and light pixels where the
  // white copy shows one pixel down and right.
  int shadow = 0;
  int light = 0;
  for (int y = 4; y < 19; ++y)
    for (int x = 4; x < 69; ++x) {
      const QColor c(image.pixel(x, y));
      const QColor face(blank.pixel(x, y));
      if (std::abs(c.red() - c.blue()) < 16 && c.value() < 200) ++shadow;
      if (c != face && c.red() >= face.red() && c.green() >= face.green() &&
          c.red() + c.green() + c.blue() > face.red() + face.green() + face.blue() + 30)
        ++light;
    }
  EXPECT_GT(shadow, 5);
  EXPECT_GT(light, 5);
}

TEST_F(ButtonTest, ClicksStayThoseOfAPushButton) {
  QSignalSpy spy(m_button, &QPushButton::clicked);
  QTest::mouseClick(m_button, Qt::LeftButton);
  EXPECT_EQ(spy.count(), 1);
}

class StaticExTest : public ::testing::Test, private WithApp {
 protected:
  void SetUp() override {
    App();
    m_parent.resize(200, 60);
    m_parent.setCursor(Qt::IBeamCursor);
    m_label = new CStaticEx(QStringLiteral("label"), &m_parent);
    m_label->setGeometry(10, 10, 100, 20);
    m_parent.show();
    QApplication::processEvents();
  }

  QColor Corner() { return QColor(m_label->grab().toImage().pixel(1, 1)); }

  // A click where the label sits, delivered through the window as the
  // system delivers it, so that a label without the notify style lets it
  // through to the parent.
  void ClickThroughTheWindow() {
    const QPoint at = m_label->geometry().center();
    QTest::mouseClick(m_parent.windowHandle(), Qt::LeftButton, Qt::NoModifier, at);
    QApplication::processEvents();
  }

  QWidget m_parent;
  CStaticEx* m_label = nullptr;
};

TEST_F(StaticExTest, NeverSetBackgroundIsTheButtonFaceOfConstruction) {
  const QColor face = QApplication::palette().color(QPalette::Active, QPalette::Button);
  EXPECT_EQ(m_label->BackgroundColor(), face);
  EXPECT_EQ(Corner(), face);
  // A later palette change does not reach the existing control.
  QPalette changed = QApplication::palette();
  changed.setColor(QPalette::Button, QColor(1, 2, 3));
  QApplication::setPalette(changed);
  EXPECT_EQ(Corner(), face);
  QApplication::setPalette(QPalette());
}

TEST_F(StaticExTest, SetBackgroundColorRepaintsAndReturnsPrevious) {
  const QColor original = m_label->BackgroundColor();
  EXPECT_EQ(m_label->SetBackgroundColor(QColor(228, 239, 255)), original);
  EXPECT_EQ(Corner(), QColor(228, 239, 255));
  EXPECT_EQ(m_label->SetBackgroundColor(QColor(10, 20, 30)), QColor(228, 239, 255));
  EXPECT_EQ(Corner(), QColor(10, 20, 30));
}

TEST_F(StaticExTest, HandCursorAndClicksOnlyWithNotify) {
  QSignalSpy spy(m_label, &CStaticEx::clicked);
  EXPECT_FALSE(m_label->testAttribute(Qt::WA_SetCursor));
  EXPECT_TRUE(m_label->testAttribute(Qt::WA_TransparentForMouseEvents));
  QWidget* under = m_parent.childAt(20, 20);
  EXPECT_EQ(under, nullptr);  // the mouse goes through to the parent

  m_label->SetNotify(true);
  EXPECT_EQ(m_parent.childAt(20, 20), m_label);
  EXPECT_EQ(m_label->cursor().shape(), Qt::BitmapCursor);
  EXPECT_EQ(m_label->cursor().hotSpot(), QPoint(12, 1));
  ClickThroughTheWindow();
  EXPECT_EQ(spy.count(), 1);

  m_label->SetNotify(false);
  EXPECT_FALSE(m_label->testAttribute(Qt::WA_SetCursor));
  ClickThroughTheWindow();
  EXPECT_EQ(spy.count(), 1);
}

// What the system sends for a double click: the second press comes as a
// double-click event, which must not count as a click of its own.
TEST_F(StaticExTest, DoubleClickIsOneClick) {
  m_label->SetNotify(true);
  QSignalSpy spy(m_label, &CStaticEx::clicked);
  const QPointF at(5, 5);
  for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                            QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease}) {
    const bool down = type != QEvent::MouseButtonRelease;
    QMouseEvent event(type, at, m_label->mapToGlobal(at), Qt::LeftButton,
                      down ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(m_label, &event);
  }
  EXPECT_EQ(spy.count(), 1);
}

}  // namespace
}  // namespace zorva
