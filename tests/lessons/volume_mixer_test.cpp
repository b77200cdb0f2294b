// The volume slider on a real mixer: ALSA's "default" device in front of the
// private PulseAudio daemon with a null sink that with_sound_server.sh starts
// for every test case. pactl stands for "something else" changing the volume.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QLabel>
#include <QProcess>
#include <QRegularExpression>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "lessons/volume_control.h"
#include "platform/alsa_mixer.h"

namespace zorva {
namespace {

constexpr int kWaitMs = 5000;
constexpr int kFull = 65536;  // the sink's 100%

QStringList g_mixerLog;

void CollectMixerLog(QtMsgType, const QMessageLogContext& context, const QString& message) {
  if (context.category && QByteArray(context.category) == "zorva.mixer") g_mixerLog << message;
}

void EnsureApplication() {
  static int argc = 1;
  static char name[] = "volume_mixer_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  (void)app;
}

QString Pactl(const QStringList& args) {
  QProcess pactl;
  pactl.start("pactl", args);
  pactl.waitForFinished(kWaitMs);
  EXPECT_EQ(pactl.exitCode(), 0) << "pactl " << args.join(' ').toStdString() << ": "
                                 << pactl.readAllStandardError().toStdString();
  return QString::fromUtf8(pactl.readAllStandardOutput());
}

// The sink's volume, one value per channel, as pactl reads it.
std::vector<int> SinkVolume() {
  QString out = Pactl({"get-sink-volume", "@DEFAULT_SINK@"});
  std::vector<int> channels;
  static const QRegularExpression value(QStringLiteral(":\\s*(\\d+)\\s*/"));
  for (auto it = value.globalMatch(out); it.hasNext();)
    channels.push_back(it.next().captured(1).toInt());
  return channels;
}

// Raw values (65536 is 100%) or percentages, one per channel.
void SetSinkVolume(const QStringList& perChannel) {
  Pactl(QStringList{"set-sink-volume", "@DEFAULT_SINK@"} + perChannel);
}

std::vector<int> Both(int value) { return {value, value}; }

// A lesson-window-like parent holding the slider and its label, shown
// offscreen, and the slider's moves as they happen.
class VolumeOnSoundServer : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(std::getenv("ZORVA_TEST_PULSE_PID"), nullptr)
        << "run through tests/lessons/with_sound_server.sh";
    EnsureApplication();
    g_mixerLog.clear();
    m_previousHandler = qInstallMessageHandler(CollectMixerLog);
    m_window = std::make_unique<QWidget>();
    m_window->resize(400, 60);
    m_slider = new QSlider(Qt::Horizontal, m_window.get());
    m_slider->setGeometry(10, 10, 300, 30);
    m_label = new QLabel(QStringLiteral("音量"), m_window.get());
    m_label->setGeometry(320, 10, 60, 30);
    m_window->show();
    QObject::connect(m_slider, &QSlider::valueChanged, [this](int v) { m_moves.push_back(v); });
  }

  void TearDown() override {
    m_control.reset();
    m_window.reset();
    qInstallMessageHandler(m_previousHandler);
  }

  void Start(const std::string& device = "default") {
    m_control = std::make_unique<VolumeControl>(m_slider, m_label, CreateAlsaMixer(device));
    m_control->SetUp();
    m_moves.clear();
  }

  // Waits until the slider shows a value, letting mixer events arrive.
  bool SliderReaches(int value) {
    return QTest::qWaitFor([&] { return m_slider->value() == value; }, kWaitMs);
  }
  bool SinkReaches(const std::vector<int>& channels) {
    return QTest::qWaitFor([&] { return SinkVolume() == channels; }, kWaitMs);
  }

  QtMessageHandler m_previousHandler = nullptr;
  std::unique_ptr<QWidget> m_window;
  QSlider* m_slider = nullptr;
  QLabel* m_label = nullptr;
  std::unique_ptr<VolumeControl> m_control;
  std::vector<int> m_moves;
};

TEST_F(VolumeOnSoundServer, SetUpTakesRangeAndPositionFromTheControl) {
  SetSinkVolume({"26214"});
  Start();
  EXPECT_TRUE(m_slider->isEnabled());
  EXPECT_EQ(m_slider->minimum(), 0);
  EXPECT_EQ(m_slider->maximum(), kFull);
  EXPECT_EQ(m_slider->pageStep(), kFull / 5);
  EXPECT_EQ(m_slider->singleStep(), 1);
  EXPECT_EQ(m_slider->value(), 26214);
  EXPECT_EQ(SinkVolume(), Both(26214)) << "setting up wrote to the mixer";
  EXPECT_TRUE(g_mixerLog.isEmpty()) << g_mixerLog.join('\n').toStdString();
}

struct ElsewhereCase {
  const char* name;
  QStringList volume;         // as pactl takes it, per channel
  std::vector<int> channels;  // what the sink then holds
  int slider;
};

void PrintTo(const ElsewhereCase& c, std::ostream* os) { *os << c.name; }

class VolumeSetElsewhere : public VolumeOnSoundServer,
                           public ::testing::WithParamInterface<ElsewhereCase> {};

// The slider follows once, to the highest channel clamped to the range, and
// writes nothing back: a volume over 100% stays over 100%.
TEST_P(VolumeSetElsewhere, MovesTheSliderOnceAndIsNotWrittenBack) {
  const ElsewhereCase& c = GetParam();
  SetSinkVolume({"13107"});
  Start();
  ASSERT_EQ(m_slider->value(), 13107);

  SetSinkVolume(c.volume);
  ASSERT_TRUE(SliderReaches(c.slider)) << "slider at " << m_slider->value();
  QTest::qWait(100);  // any echo would have arrived by now
  EXPECT_EQ(m_moves, std::vector<int>{c.slider});
  EXPECT_EQ(SinkVolume(), c.channels);
}

INSTANTIATE_TEST_SUITE_P(
    Volumes, VolumeSetElsewhere,
    ::testing::Values(ElsewhereCase{"Lower", {"6554"}, Both(6554), 6554},
                      ElsewhereCase{"Higher", {"26214"}, Both(26214), 26214},
                      ElsewhereCase{
                          "UnbalancedReadsTheHighest", {"6554", "32768"}, {6554, 32768}, 32768},
                      ElsewhereCase{"OverFullShowsAsMaximum", {"150%"}, Both(98304), kFull}),
    [](const auto& row) { return std::string(row.param.name); });

// A mute arrives as a change of the same control with the volume unchanged:
// the slider does not move, and the next real change still comes through.
TEST_F(VolumeOnSoundServer, MuteElsewhereLeavesTheSlider) {
  SetSinkVolume({"26214"});
  Start();
  Pactl({"set-sink-mute", "@DEFAULT_SINK@", "1"});
  SetSinkVolume({"19661"});
  ASSERT_TRUE(SliderReaches(19661));
  Pactl({"set-sink-mute", "@DEFAULT_SINK@", "0"});
  SetSinkVolume({"26214"});
  ASSERT_TRUE(SliderReaches(26214));
  EXPECT_EQ(m_moves, (std::vector<int>{19661, 26214}));
  EXPECT_EQ(SinkVolume(), Both(26214));
}

// Every step of a drag reaches the mixer at once, before the thumb is let go.
TEST_F(VolumeOnSoundServer, DragWritesEveryStep) {
  SetSinkVolume({"13107"});
  Start();
  QStyleOptionSlider option;
  option.initFrom(m_slider);
  option.orientation = Qt::Horizontal;
  option.minimum = m_slider->minimum();
  option.maximum = m_slider->maximum();
  option.sliderPosition = m_slider->sliderPosition();
  option.sliderValue = m_slider->value();
  QPoint thumb = m_slider->style()
                     ->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, m_slider)
                     .center();

  QTest::mousePress(m_slider, Qt::LeftButton, {}, thumb);
  ASSERT_TRUE(m_slider->isSliderDown());
  std::vector<int> seen;
  for (int step = 1; step <= 4; ++step) {
    QTest::mouseMove(m_slider, thumb + QPoint(25 * step, 0));
    ASSERT_TRUE(m_slider->isSliderDown());
    ASSERT_GT(m_slider->value(), seen.empty() ? 13107 : seen.back()) << "step " << step;
    seen.push_back(m_slider->value());
    EXPECT_EQ(SinkVolume(), Both(seen.back())) << "step " << step;
  }
  QTest::mouseRelease(m_slider, Qt::LeftButton, {}, thumb + QPoint(100, 0));
  EXPECT_EQ(m_moves, seen);
  EXPECT_EQ(SinkVolume(), Both(m_slider->value()));
}

// A device that does not exist counts as no mixer: the slider is disabled,
// its label is not, ALSA prints nothing and the log has one line.
TEST_F(VolumeOnSoundServer, MissingDeviceDisablesTheSliderOnly) {
  SetSinkVolume({"26214"});
  std::fflush(stderr);
  char path[] = "/tmp/zorva-stderr.XXXXXX";
  int capture = mkstemp(path);
  ASSERT_GE(capture, 0);
  int saved = dup(STDERR_FILENO);
  dup2(capture, STDERR_FILENO);
  Start("zorva-no-such-device");
  std::fflush(stderr);
  dup2(saved, STDERR_FILENO);
  close(saved);
  off_t printed = lseek(capture, 0, SEEK_END);
  close(capture);
  unlink(path);

  EXPECT_FALSE(m_slider->isEnabled());
  EXPECT_TRUE(m_label->isEnabled());
  EXPECT_EQ(printed, 0) << "something printed to stderr";
  EXPECT_EQ(g_mixerLog.size(), 1) << g_mixerLog.join('\n').toStdString();
  EXPECT_EQ(SinkVolume(), Both(26214));
}

// Destroying the slider's owner closes the mixer: its client leaves the server.
TEST_F(VolumeOnSoundServer, DestructionClosesTheMixer) {
  int before = Pactl({"list", "short", "clients"}).count('\n');
  Start();
  EXPECT_EQ(Pactl({"list", "short", "clients"}).count('\n'), before + 1);
  m_control.reset();
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        return Pactl({"list", "short", "clients"}).count('\n') == before;
      },
      kWaitMs));
}

using SoundServerGone = VolumeOnSoundServer;

// The sound server stops: the slider stays usable, stops following, nothing
// more is written and the loss is logged once.
TEST_F(SoundServerGone, SliderStopsFollowing) {
  if (::testing::UnitTest::GetInstance()->test_to_run_count() > 1)
    GTEST_SKIP() << "stops the daemon other cases of this run share; ctest runs it alone";
  SetSinkVolume({"26214"});
  Start();
  pid_t daemon = static_cast<pid_t>(std::atoi(std::getenv("ZORVA_TEST_PULSE_PID")));
  ASSERT_EQ(kill(daemon, SIGTERM), 0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !g_mixerLog.isEmpty(); }, kWaitMs));

  QTest::keyClick(m_slider, Qt::Key_Right);
  QTest::keyClick(m_slider, Qt::Key_PageUp);
  QTest::qWait(100);
  EXPECT_TRUE(m_slider->isEnabled());
  EXPECT_EQ(m_slider->value(), 26215 + kFull / 5);
  ASSERT_EQ(g_mixerLog.size(), 1) << g_mixerLog.join('\n').toStdString();
  EXPECT_TRUE(g_mixerLog.first().contains("went away")) << g_mixerLog.first().toStdString();
}

}  // namespace
}  // namespace zorva
