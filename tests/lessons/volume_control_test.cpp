// The volume slider's logic against a mixer the test controls: the cases a
// real sound server cannot produce (a failing device, another mixer's
// notification), and what the slider does with each answer.
#include "lessons/volume_control.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QSlider>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace zorva {
namespace {

void EnsureApplication() {
  static int argc = 1;
  static char name[] = "volume_control_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  (void)app;
}

// What the fake mixer answers and what it saw; it outlives the mixer, so a
// test can look after the slider's owner is gone.
struct MixerState {
  std::optional<MixerRange> range = MixerRange{0, 65535};
  std::optional<uint32_t> value = 30000;
  bool writable = true;

  std::vector<uint32_t> writes;
  bool open = false;
  bool destroyed = false;
};

class FakeMixer : public Mixer {
 public:
  explicit FakeMixer(std::shared_ptr<MixerState> state) : m_state(std::move(state)) {}
  ~FakeMixer() override { m_state->destroyed = true; }

  std::optional<MixerRange> Open() override {
    m_state->open = m_state->range.has_value();
    return m_state->range;
  }
  std::optional<uint32_t> Read() override { return m_state->open ? m_state->value : std::nullopt; }
  bool Write(uint32_t value) override {
    m_state->writes.push_back(value);
    if (!m_state->open || !m_state->writable) return false;
    m_state->value = value;
    return true;
  }

  // A notification as the sound system would send it.
  void Notify() { NotifyChange(); }

 private:
  std::shared_ptr<MixerState> m_state;
};

// A slider in its template state (range 0 ... 99, position 42) and its label.
class VolumeControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureApplication();
    m_slider = std::make_unique<QSlider>(Qt::Horizontal);
    m_slider->setValue(42);
    m_label = std::make_unique<QLabel>(QStringLiteral("音量"));
  }

  void Start() {
    auto mixer = std::make_unique<FakeMixer>(m_state);
    m_mixer = mixer.get();
    m_control = std::make_unique<VolumeControl>(m_slider.get(), m_label.get(), std::move(mixer));
    m_control->SetUp();
  }

  std::shared_ptr<MixerState> m_state = std::make_shared<MixerState>();
  std::unique_ptr<QSlider> m_slider;
  std::unique_ptr<QLabel> m_label;
  FakeMixer* m_mixer = nullptr;
  std::unique_ptr<VolumeControl> m_control;
};

struct SetUpCase {
  const char* name;
  void (*arrange)(MixerState&);
  bool sliderEnabled;
  int minimum, maximum, value;
  bool mixerHeld;  // moving the slider reaches the mixer
};

void PrintTo(const SetUpCase& c, std::ostream* os) { *os << c.name; }

class SetUpOutcome : public VolumeControlTest, public ::testing::WithParamInterface<SetUpCase> {};

TEST_P(SetUpOutcome, LeavesTheSliderAsTheMixerAllows) {
  const SetUpCase& c = GetParam();
  c.arrange(*m_state);
  Start();

  EXPECT_EQ(m_slider->isEnabled(), c.sliderEnabled);
  EXPECT_TRUE(m_label->isEnabled());
  EXPECT_EQ(m_slider->minimum(), c.minimum);
  EXPECT_EQ(m_slider->maximum(), c.maximum);
  EXPECT_EQ(m_slider->value(), c.value);
  EXPECT_TRUE(m_state->writes.empty()) << "setting up wrote to the mixer";

  // A mixer that is not held never hears of the slider or acts on a notification.
  if (!c.mixerHeld) {
    m_slider->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    m_state->value = 5;
    m_mixer->Notify();
    EXPECT_TRUE(m_state->writes.empty());
    EXPECT_EQ(m_slider->value(), c.value + 1);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Mixers, SetUpOutcome,
    ::testing::Values(SetUpCase{"Ready", [](MixerState&) {}, true, 0, 65535, 30000, true},
                      SetUpCase{"NoMixer", [](MixerState& s) { s.range.reset(); }, false, 0, 99, 42,
                                false},
                      SetUpCase{"ValueUnreadable", [](MixerState& s) { s.value.reset(); }, true, 0,
                                65535, 42, true},
                      SetUpCase{"RangeAboveZero",
                                [](MixerState& s) {
                                  s.range = MixerRange{100, 600};
                                  s.value = 350;
                                },
                                true, 100, 600, 350, true}),
    [](const auto& row) { return std::string(row.param.name); });

// A volume changed elsewhere moves the slider, and moving it writes nothing
// back; a notification that leaves the volume as it is (a mute flipped
// elsewhere) does not move it.
TEST_F(VolumeControlTest, NotificationMovesTheSliderToTheMixersVolume) {
  Start();
  std::vector<int> moves;
  QObject::connect(m_slider.get(), &QSlider::valueChanged, [&](int v) { moves.push_back(v); });
  m_mixer->Notify();
  m_state->value = 500;
  m_mixer->Notify();
  m_mixer->Notify();
  EXPECT_EQ(moves, std::vector<int>{500});
  EXPECT_TRUE(m_state->writes.empty());
}

// A write the mixer did not take does not leave the slider on a volume the
// mixer lacks: the next notification, a mute flipped elsewhere included,
// brings it back to what the mixer reports.
TEST_F(VolumeControlTest, NotificationAfterARefusedWriteShowsTheMixersVolume) {
  Start();
  m_slider->setValue(31000);
  ASSERT_EQ(m_state->value, 31000u);
  m_state->writable = false;
  m_slider->setValue(32000);
  m_mixer->Notify();
  EXPECT_EQ(m_slider->value(), 31000);
  EXPECT_EQ(m_state->writes, (std::vector<uint32_t>{31000, 32000}));
}

TEST_F(VolumeControlTest, DestructionClosesTheMixer) {
  Start();
  m_control.reset();
  EXPECT_TRUE(m_state->destroyed);
}

}  // namespace
}  // namespace zorva
