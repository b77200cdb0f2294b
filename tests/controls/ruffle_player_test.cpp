// The web movie player on a real web engine, fetching generated movies from
// a real zorva-server.
#include "controls/ruffle_player.h"

#include <QApplication>
#include <QImage>
#include <QProcess>
#include <QTest>
#include <QWebEnginePage>

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>

#include "controls/shockwave_flash.h"
#include "controls/web_engine.h"
#include "support/server_process.h"
#include "support/swf_writer.h"

namespace zorva {
namespace {

using test::MakeSwf;
using test::SwfSpec;

constexpr int kWaitMs = 30000;

QApplication& App() {
  static int argc = 1;
  static char name[] = "ruffle_player_test";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    PrepareWebEngine();
    return new QApplication(argc, argv);
  }();
  return *app;
}

struct Movie {
  const char* file;
  SwfSpec spec;
};

SwfSpec Spec(int version, int frames, double rate, std::set<int> stops, bool as3 = false) {
  SwfSpec spec;
  spec.version = version;
  spec.frames = frames;
  spec.frameRate = rate;
  spec.stopFrames = std::move(stops);
  spec.actionScript3 = as3;
  spec.kind = test::SwfKind::Zlib;
  return spec;
}

class RufflePlayerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    App();
    const auto content = std::filesystem::path(::testing::TempDir()) / "ruffle_player_content";
    const auto dir = content / "lesson" / "d" / "0010";
    std::filesystem::create_directories(dir);
    const Movie movies[] = {
        {"stops_v8.swf", Spec(8, 12, 24, {11})},       {"stops_v7.swf", Spec(7, 12, 24, {11})},
        {"stops_as3.swf", Spec(10, 12, 24, {}, true)}, {"loops_v8.swf", Spec(8, 60, 20, {})},
        {"loops_v7.swf", Spec(7, 60, 20, {})},
    };
    for (const Movie& m : movies) std::ofstream(dir / m.file, std::ios::binary) << MakeSwf(m.spec);
    std::ofstream(dir / "tone.swf", std::ios::binary)
        << test::PlainSwf(Spec(8, 120, 20, {119}), test::ToneTags(2, 440, 6));
    test::ServerProcess::Options options;
    options.contentDir = content.string();
    server = new test::ServerProcess(options);
  }
  static void TearDownTestSuite() {
    delete server;
    server = nullptr;
  }

  void SetUp() override {
    ASSERT_TRUE(RufflePlayer::Available()) << "the player's files are not beside the build";
    player = std::make_unique<RufflePlayer>();
    player->resize(320, 240);
    player->show();
  }

  static Text Url(const char* file) { return Text(server->BaseUrl()) + "/lesson/d/0010/" + file; }

  bool WaitFor(const std::function<bool()>& done) { return QTest::qWaitFor(done, kWaitMs); }

  static test::ServerProcess* server;
  std::unique_ptr<RufflePlayer> player;
};

test::ServerProcess* RufflePlayerTest::server = nullptr;

// The three ways a movie's state reaches the program: the probe with the
// movie's own play/stop callbacks (version 8), the probe with the player
// suspended for a stop (version 7), and the estimate from the frame rate
// (ActionScript 3).
class RuffleKindTest : public RufflePlayerTest,
                       public ::testing::WithParamInterface<const char*> {};

TEST_P(RuffleKindTest, PlaysToTheStoppingLastFrame) {
  player->LoadMovie(0, Url(GetParam()));
  EXPECT_TRUE(player->IsPlaying()) << "a movie on its way counts as playing";
  EXPECT_EQ(player->TotalFrames(), 0);
  ASSERT_TRUE(WaitFor([&] { return player->TotalFrames() == 12; }));
  int highest = 0;
  bool sawMiddle = false;
  ASSERT_TRUE(WaitFor([&] {
    const int frame = player->CurrentFrame();
    highest = std::max(highest, frame);
    sawMiddle = sawMiddle || (frame > 0 && frame < 11);
    return !player->IsPlaying();
  }));
  EXPECT_TRUE(sawMiddle) << "the frame moved on while playing";
  EXPECT_EQ(player->CurrentFrame(), 11);
  EXPECT_EQ(highest, 11);
  QTest::qWait(300);
  EXPECT_FALSE(player->IsPlaying());
  EXPECT_EQ(player->CurrentFrame(), 11);
}

INSTANTIATE_TEST_SUITE_P(Kinds, RuffleKindTest,
                         ::testing::Values("stops_v8.swf", "stops_v7.swf", "stops_as3.swf"),
                         [](const auto& info) {
                           std::string name = info.param;
                           return name.substr(0, name.find('.')).substr(6);
                         });

class RuffleControlTest : public RufflePlayerTest,
                          public ::testing::WithParamInterface<const char*> {};

TEST_P(RuffleControlTest, StopPlayFreezesAndPlayResumes) {
  player->LoadMovie(0, Url(GetParam()));
  ASSERT_TRUE(WaitFor([&] { return player->CurrentFrame() >= 5; }));
  player->StopPlay();
  EXPECT_FALSE(player->IsPlaying());
  QTest::qWait(400);  // reports already under way settle
  const int frozen = player->CurrentFrame();
  QTest::qWait(600);
  EXPECT_FALSE(player->IsPlaying());
  EXPECT_EQ(player->CurrentFrame(), frozen);
  player->Play();
  EXPECT_TRUE(player->IsPlaying());
  ASSERT_TRUE(WaitFor([&] { return player->CurrentFrame() > frozen + 2; }));
  EXPECT_TRUE(player->IsPlaying());
}

INSTANTIATE_TEST_SUITE_P(Versions, RuffleControlTest,
                         ::testing::Values("loops_v8.swf", "loops_v7.swf"),
                         [](const auto& info) { return std::string(info.param).substr(6, 2); });

TEST_F(RufflePlayerTest, MissingMovieEndsStoppedAndEmpty) {
  player->LoadMovie(0, Url("stops_v8.swf"));
  ASSERT_TRUE(WaitFor([&] { return player->CurrentFrame() > 0; }));
  player->LoadMovie(0, Url("missing.swf"));
  EXPECT_TRUE(player->IsPlaying());
  ASSERT_TRUE(WaitFor([&] { return !player->IsPlaying(); }));
  EXPECT_EQ(player->TotalFrames(), 0);
  EXPECT_EQ(player->CurrentFrame(), 0);
  QTest::qWait(300);  // nothing from the movie before it changes that
  EXPECT_EQ(player->TotalFrames(), 0);
  EXPECT_EQ(player->CurrentFrame(), 0);
  EXPECT_FALSE(player->IsPlaying());
}

TEST_F(RufflePlayerTest, RendererKilledIsRestartedAndPlaysAgain) {
  player->LoadMovie(0, Url("loops_v8.swf"));
  ASSERT_TRUE(WaitFor([&] { return player->CurrentFrame() >= 3; }));
  const qint64 pid = player->page()->renderProcessPid();
  ASSERT_GT(pid, 0);
  ::kill(static_cast<pid_t>(pid), SIGKILL);
  ASSERT_TRUE(WaitFor([&] { return player->Restarts() == 1; }));
  EXPECT_FALSE(player->IsPlaying()) << "the movie counts as stopped";
  ASSERT_TRUE(WaitFor([&] { return player->PageReady(); }));
  player->LoadMovie(0, Url("stops_v8.swf"));
  ASSERT_TRUE(WaitFor([&] { return player->TotalFrames() == 12 && !player->IsPlaying(); }));
  EXPECT_EQ(player->CurrentFrame(), 11);
}

// The control shows only the movie: its stage colour and its square, no
// splash, play button or overlay, also when stopped by suspending the
// player (version 7).
TEST_F(RufflePlayerTest, ControlDrawsTheMovie) {
  player.reset();
  CShockwaveflash1 control(std::make_unique<RufflePlayer>(), nullptr);
  control.resize(320, 240);
  control.show();
  control.LoadMovie(0, Url("loops_v7.swf"));
  ASSERT_TRUE(WaitFor([&] { return control.CurrentFrame() >= 10; }));
  control.StopPlay();
  QTest::qWait(500);
  QImage shot;
  int stage = 0, square = 0;
  // The first picture may lag behind the frame reports.
  WaitFor([&] {
    shot = control.grab().toImage().convertToFormat(QImage::Format_RGB32);
    stage = square = 0;
    for (int y = 0; y < shot.height(); y += 4) {
      for (int x = 0; x < shot.width(); x += 4) {
        const QRgb p = shot.pixel(x, y);
        if (qAbs(qRed(p) - 0x33) < 24 && qAbs(qGreen(p) - 0x66) < 24 && qAbs(qBlue(p) - 0xCC) < 24)
          ++stage;
        if (qAbs(qRed(p) - 0xFF) < 24 && qAbs(qGreen(p) - 0xCC) < 24 && qAbs(qBlue(p) - 0x00) < 24)
          ++square;
      }
    }
    return stage > 0 && square > 0;
  });
  // Artifacts: the control's picture, and on a real display the screen.
  if (const char* keep = std::getenv("ZORVA_SHOT")) shot.save(keep);
  if (const char* screen = std::getenv("ZORVA_SHOT_SCREEN")) {
    QProcess::execute("import", {"-window", "root", screen});
  }
  const int samples = (shot.width() / 4) * (shot.height() / 4);
  // The square covers a third of the stage's height: about a ninth of it.
  EXPECT_GT(stage, samples / 2);
  EXPECT_GT(square, samples / 30);
  // Only the movie's two colours, but for the square's smoothed edges.
  EXPECT_GT(stage + square, samples * 97 / 100) << "something else is drawn over the movie";
}

// The movie's own sound reaches the sound server. Run against a private
// one (with_sound_server.sh), whose null sink's monitor records it.
TEST_F(RufflePlayerTest, MovieSoundIsHeard) {
  if (!std::getenv("ZORVA_TEST_PULSE_PID")) GTEST_SKIP() << "needs with_sound_server.sh";
  QProcess recorder;
  recorder.start("parec", {"-d", "null.monitor", "--format=s16le", "--channels=1", "--rate=11025"});
  ASSERT_TRUE(recorder.waitForStarted());
  player->LoadMovie(0, Url("tone.swf"));
  ASSERT_TRUE(WaitFor([&] { return player->CurrentFrame() >= 20; }));
  QTest::qWait(1000);
  recorder.terminate();
  ASSERT_TRUE(recorder.waitForFinished());
  const QByteArray bytes = recorder.readAllStandardOutput();
  const auto* samples = reinterpret_cast<const int16_t*>(bytes.constData());
  const qsizetype count = bytes.size() / 2;
  ASSERT_GT(count, 11025) << "a second or more recorded";
  double sum = 0;
  for (qsizetype i = 0; i < count; ++i) sum += double(samples[i]) * samples[i];
  // The tone's level is 12000 / sqrt(2), about 8500; silence gives 0.
  EXPECT_GT(std::sqrt(sum / double(count)), 1000.0);
}

}  // namespace
}  // namespace zorva
