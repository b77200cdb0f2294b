// The timeline player on generated movies, with a clock the test moves.
#include "controls/timeline_player.h"

#include <QCoreApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/manual_frame_clock.h"
#include "support/server_process.h"
#include "support/swf_writer.h"

namespace zorva {
namespace {

using test::MakeSwf;
using test::SwfSpec;

// 10 frames a second, so one frame is 100 ms.
class TimelineTest : public ::testing::Test {
 protected:
  TimelineTest() : player(std::make_unique<test::ManualFrameClock>(&now)) {}

  void Load(int frames, std::set<int> stops, test::SwfKind kind = test::SwfKind::Plain) {
    SwfSpec spec;
    spec.frameRate = 10;
    spec.frames = frames;
    spec.stopFrames = std::move(stops);
    spec.kind = kind;
    player.LoadMovieBytes(MakeSwf(spec));
  }
  // The frame and playing state after `ms` more milliseconds.
  std::pair<int, bool> After(int64_t ms) {
    now += ms;
    const int frame = player.CurrentFrame();
    return {frame, player.IsPlaying()};
  }

  int64_t now = 1000;
  TimelinePlayer player;
};

TEST_F(TimelineTest, PlaysToTheStoppingLastFrameAndStaysThere) {
  Load(5, {4});
  EXPECT_EQ(player.TotalFrames(), 5);
  EXPECT_EQ(After(0), std::make_pair(0, true));
  EXPECT_EQ(After(99), std::make_pair(0, true));
  EXPECT_EQ(After(1), std::make_pair(1, true));
  EXPECT_EQ(After(250), std::make_pair(3, true));
  EXPECT_EQ(After(50), std::make_pair(4, false));
  EXPECT_EQ(After(60000), std::make_pair(4, false));
}

TEST_F(TimelineTest, LoopsWithoutAStopAndSkipsWholeLoops) {
  Load(4, {});
  EXPECT_EQ(After(300), std::make_pair(3, true));
  EXPECT_EQ(After(100), std::make_pair(0, true));
  // Ten hours later the frame still follows from the elapsed time.
  EXPECT_EQ(After(36'000'000 + 200), std::make_pair(2, true));
}

TEST_F(TimelineTest, StopInTheFirstFrameHoldsAtOnce) {
  Load(3, {0}, test::SwfKind::Zlib);
  EXPECT_EQ(After(1000), std::make_pair(0, false));
  // Play goes on past the stopping frame, to the next stop or around.
  player.Play();
  EXPECT_EQ(After(250), std::make_pair(2, true));
  EXPECT_EQ(After(100), std::make_pair(0, false));
}

TEST_F(TimelineTest, StopPlayFreezesAndPlayResumesWhereItWas) {
  Load(6, {5}, test::SwfKind::Lzma);
  EXPECT_EQ(After(250), std::make_pair(2, true));
  player.StopPlay();
  EXPECT_EQ(After(5000), std::make_pair(2, false));
  player.Play();
  EXPECT_EQ(After(50), std::make_pair(2, true));  // a resumed frame runs its full time
  EXPECT_EQ(After(50), std::make_pair(3, true));
  EXPECT_EQ(After(1000), std::make_pair(5, false));
  // Play at the stopping last frame starts again from the first.
  player.Play();
  EXPECT_EQ(After(100), std::make_pair(0, true));
}

TEST_F(TimelineTest, BrokenMovieIsStoppedAndEmpty) {
  Load(5, {4});
  player.LoadMovieBytes("FWS\x08 not a movie");
  EXPECT_EQ(player.TotalFrames(), 0);
  EXPECT_EQ(After(1000), std::make_pair(0, false));
  player.Play();
  EXPECT_EQ(After(1000), std::make_pair(0, false));
}

TEST_F(TimelineTest, OtherLayersAreIgnored) {
  Load(5, {4});
  After(200);
  player.LoadMovie(1, "http://127.0.0.1:1/x.swf");
  EXPECT_FALSE(player.IsArriving());
  EXPECT_EQ(player.TotalFrames(), 5);
  EXPECT_EQ(After(0), std::make_pair(2, true));
}

// Fetching through a real server: a movie that arrives, and one that does not.
class TimelineFetchTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "timeline_player_test";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);
  }

  void SetUp() override {
    content = std::filesystem::path(::testing::TempDir()) / "timeline_fetch_content";
    std::filesystem::create_directories(content / "lesson" / "d" / "0010");
    SwfSpec spec;
    spec.frames = 8;
    spec.stopFrames = {7};
    spec.kind = test::SwfKind::Zlib;
    std::ofstream(content / "lesson" / "d" / "0010" / "p1.swf", std::ios::binary) << MakeSwf(spec);
    test::ServerProcess::Options options;
    options.contentDir = content.string();
    server = std::make_unique<test::ServerProcess>(options);
  }

  std::filesystem::path content;
  std::unique_ptr<test::ServerProcess> server;
};

TEST_F(TimelineFetchTest, ArrivingMovieCountsAsPlayingThenPlays) {
  int64_t now = 0;
  TimelinePlayer player(std::make_unique<test::ManualFrameClock>(&now));
  player.LoadMovie(0, Text(server->BaseUrl()) + "/lesson/d/0010/p1.swf");
  EXPECT_TRUE(player.IsPlaying());
  EXPECT_EQ(player.TotalFrames(), 0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !player.IsArriving(); }, 10000));
  EXPECT_EQ(player.TotalFrames(), 8);
  EXPECT_TRUE(player.IsPlaying());
  now += 10000;
  EXPECT_EQ(player.CurrentFrame(), 7);
  EXPECT_FALSE(player.IsPlaying());
}

TEST_F(TimelineFetchTest, StopPlayWhileArrivingKeepsTheMovieStopped) {
  int64_t now = 0;
  TimelinePlayer player(std::make_unique<test::ManualFrameClock>(&now));
  player.LoadMovie(0, Text(server->BaseUrl()) + "/lesson/d/0010/p1.swf");
  player.StopPlay();
  EXPECT_FALSE(player.IsPlaying());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !player.IsArriving(); }, 10000));
  EXPECT_EQ(player.TotalFrames(), 8);
  now += 1000;
  EXPECT_EQ(player.CurrentFrame(), 0);
  EXPECT_FALSE(player.IsPlaying());
}

TEST_F(TimelineFetchTest, MissingMovieEndsStoppedAndEmpty) {
  int64_t now = 0;
  TimelinePlayer player(std::make_unique<test::ManualFrameClock>(&now));
  player.LoadMovie(0, Text(server->BaseUrl()) + "/lesson/d/0010/missing.swf");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !player.IsArriving(); }, 10000));
  EXPECT_EQ(player.TotalFrames(), 0);
  EXPECT_EQ(player.CurrentFrame(), 0);
  EXPECT_FALSE(player.IsPlaying());
}

}  // namespace
}  // namespace zorva
