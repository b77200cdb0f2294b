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

constexpr MixerHandle kHandle = 0x51;
constexpr uint32_t kControl = 7;

// What the fake mixer answers and what it saw; it outlives the mixer, so a
// test can look after the slider's owner is gone.
struct MixerState {
  uint32_t devices = 1;
  MixerHandle handle = kHandle;
  bool capabilities = true;
  std::optional<MixerVolumeControl> control = MixerVolumeControl{kControl, 0, 65535};
  std::optional<uint32_t> value = 30000;

  std::vector<uint32_t> writes;
  int closes = 0;
  bool open = false;
};

class FakeMixer : public Mixer {
 public:
  explicit FakeMixer(std::shared_ptr<MixerState> state) : m_state(std::move(state)) {}

  uint32_t DeviceCount() override { return m_state->devices; }
  MixerHandle Open() override {
    m_state->open = m_state->handle != 0;
    return m_state->handle;
  }
  bool QueryCapabilities() override { return m_state->capabilities; }
  std::optional<MixerVolumeControl> FindSpeakersVolume() override { return m_state->control; }
  std::optional<uint32_t> GetValue(uint32_t controlId) override {
    return controlId == kControl ? m_state->value : std::nullopt;
  }
  bool SetValue(uint32_t controlId, uint32_t value) override {
    m_state->writes.push_back(value);
    if (controlId != kControl || !m_state->open) return false;
    m_state->value = value;
    return true;
  }
  void Close() override {
    ++m_state->closes;
    m_state->open = false;
  }

  // A notification as the driver would send it.
  void Notify(MixerHandle handle, uint32_t controlId) { NotifyChange(handle, controlId); }

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
    m_mixer->Notify(kHandle, kControl);
    EXPECT_TRUE(m_state->writes.empty());
    EXPECT_EQ(m_slider->value(), c.value + 1);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Mixers, SetUpOutcome,
    ::testing::Values(
        SetUpCase{"Ready", [](MixerState&) {}, true, 0, 65535, 30000, true},
        SetUpCase{"NoDevice", [](MixerState& s) { s.devices = 0; }, false, 0, 99, 42, false},
        SetUpCase{"OpenFails", [](MixerState& s) { s.handle = 0; }, true, 0, 99, 42, false},
        SetUpCase{"CapabilitiesFail", [](MixerState& s) { s.capabilities = false; }, true, 0, 99,
                  42, false},
        SetUpCase{"NoVolumeControl", [](MixerState& s) { s.control.reset(); }, false, 0, 99, 42,
                  true},
        SetUpCase{"ValueUnreadable", [](MixerState& s) { s.value.reset(); }, true, 0, 65535, 42,
                  true},
        SetUpCase{"RangeAboveZero",
                  [](MixerState& s) {
                    s.control = MixerVolumeControl{kControl, 100, 600};
                    s.value = 350;
                  },
                  true, 100, 600, 350, true}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(VolumeControlTest, CapabilityFailureClosesTheMixerAndHoldsNoHandle) {
  m_state->capabilities = false;
  Start();
  EXPECT_EQ(m_state->closes, 1);
  EXPECT_EQ(m_control->OpenHandle(), 0u);
  EXPECT_EQ(m_control->VolumeControlId(), 0u);
}

struct NotificationCase {
  const char* name;
  MixerHandle handle;
  uint32_t controlId;
  bool follows;
};

void PrintTo(const NotificationCase& c, std::ostream* os) { *os << c.name; }

class Notification : public VolumeControlTest,
                     public ::testing::WithParamInterface<NotificationCase> {};

// A volume changed elsewhere moves the slider only when the notification is
// for this mixer and its volume control, and moving it writes nothing back.
TEST_P(Notification, MovesTheSliderOnlyForTheVolumeControl) {
  const NotificationCase& c = GetParam();
  Start();
  m_state->value = 500;
  m_mixer->Notify(c.handle, c.controlId);
  EXPECT_EQ(m_slider->value(), c.follows ? 500 : 30000);
  EXPECT_TRUE(m_state->writes.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Sources, Notification,
    ::testing::Values(NotificationCase{"Ours", kHandle, kControl, true},
                      NotificationCase{"OtherHandle", kHandle + 1, kControl, false},
                      NotificationCase{"OtherControl", kHandle, kControl + 1, false}),
    [](const auto& row) { return std::string(row.param.name); });

// A notification whose value is the one last written (a switch of the same
// control flipped) leaves a slider whose write the mixer refused where it is.
TEST_F(VolumeControlTest, NotificationWithTheLastKnownValueLeavesTheSlider) {
  Start();
  m_slider->setValue(31000);
  ASSERT_EQ(m_state->value, 31000u);
  m_state->open = false;  // the next write fails
  m_slider->setValue(32000);
  m_mixer->Notify(kHandle, kControl);
  EXPECT_EQ(m_slider->value(), 32000);
  EXPECT_EQ(m_state->writes, (std::vector<uint32_t>{31000, 32000}));
}

TEST_F(VolumeControlTest, DestructionClosesTheMixer) {
  Start();
  m_control.reset();
  EXPECT_EQ(m_state->closes, 1);
  EXPECT_FALSE(m_state->open);
}

}  // namespace
}  // namespace zorva
