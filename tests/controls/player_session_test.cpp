// The web player's logic without a browser: a fake page records the
// commands, the test plays the page's reports and moves the clock.
#include "controls/player_session.h"

#include <gtest/gtest.h>

#include <vector>

#include "controls/swf_actions.h"
#include "support/manual_frame_clock.h"
#include "support/swf_writer.h"

namespace zorva {
namespace {

using Kind = PageCommand::Kind;

std::string Movie(int version, int frames, double rate, bool as3 = false) {
  test::SwfSpec spec;
  spec.version = version;
  spec.frames = frames;
  spec.frameRate = rate;
  spec.stopFrames = {frames - 1};
  spec.actionScript3 = as3;
  spec.kind = test::SwfKind::Zlib;
  return test::MakeSwf(spec);
}

class PlayerSessionTest : public ::testing::Test {
 protected:
  PlayerSessionTest()
      : session([this](const PageCommand& c) { sent.push_back(c); },
                [this](int frame) { frames.push_back(frame); },
                std::make_unique<test::ManualFrameClock>(&now)) {}

  // Loads a movie and lets it arrive; gives its id.
  int Arrive(const std::string& bytes) {
    const int id = session.LoadMovie();
    session.Arrived(id, "http://127.0.0.1/lesson/d/0010/p1.swf", bytes);
    return id;
  }
  // A movie the page shows, with the commands so far forgotten.
  int Showing(const std::string& bytes) {
    const int id = Arrive(bytes);
    session.Shown(id, sent.back().command);
    sent.clear();
    frames.clear();
    return id;
  }
  std::pair<int, bool> After(int64_t ms) {
    now += ms;
    const int frame = session.CurrentFrame();
    return {frame, session.IsPlaying()};
  }
  std::vector<Kind> SentKinds() const {
    std::vector<Kind> kinds;
    for (const PageCommand& c : sent) kinds.push_back(c.kind);
    return kinds;
  }

  int64_t now = 1000;
  std::vector<PageCommand> sent;
  std::vector<int> frames;
  PlayerSession session;
};

struct ControlCase {
  const char* name;
  int version;
  bool as3;
  PlayerControl control;
  bool probed;  // the bytes handed over carry the probe
};
void PrintTo(const ControlCase& c, std::ostream* os) { *os << c.name; }

class PlayerSessionControlTest : public PlayerSessionTest,
                                 public ::testing::WithParamInterface<ControlCase> {};

TEST_P(PlayerSessionControlTest, ArrivingMovieIsHandedWithItsControl) {
  const ControlCase& c = GetParam();
  session.PageReady();
  const int id = session.LoadMovie();
  EXPECT_TRUE(session.IsPlaying()) << "a movie on its way counts as playing";
  EXPECT_EQ(session.TotalFrames(), 0);
  EXPECT_TRUE(sent.empty());
  session.Arrived(id, "http://127.0.0.1/d/p1.swf", Movie(c.version, 12, 10, c.as3));
  EXPECT_EQ(session.TotalFrames(), 12);
  EXPECT_TRUE(session.IsPlaying());
  EXPECT_EQ(session.CurrentFrame(), 0);
  ASSERT_EQ(sent.size(), 1u);
  const PageCommand& load = sent[0];
  EXPECT_EQ(load.kind, Kind::Load);
  EXPECT_EQ(load.movie, id);
  EXPECT_TRUE(load.play);
  EXPECT_EQ(load.control, c.control);
  EXPECT_EQ(load.base, "http://127.0.0.1/d/p1.swf");
  EXPECT_EQ(load.bytes.find(kProbeCommand) != std::string::npos, c.probed);
  EXPECT_EQ(load.bytes.substr(0, 3), "FWS") << "handed over uncompressed";
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, PlayerSessionControlTest,
    ::testing::Values(ControlCase{"Version8", 8, false, PlayerControl::Callbacks, true},
                      ControlCase{"Version7", 7, false, PlayerControl::Suspend, true},
                      ControlCase{"Version6", 6, false, PlayerControl::Suspend, true},
                      ControlCase{"Version5", 5, false, PlayerControl::Estimate, false},
                      ControlCase{"ActionScript3", 10, true, PlayerControl::Estimate, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PlayerSessionTest, CommandsWaitForThePageAndANewMovieDropsOlderOnes) {
  Arrive(Movie(8, 12, 10));
  const int second = Arrive(Movie(8, 6, 10));
  EXPECT_TRUE(sent.empty());
  EXPECT_FALSE(session.IsPageReady());
  session.PageReady();
  ASSERT_EQ(SentKinds(), std::vector<Kind>{Kind::Load});
  EXPECT_EQ(sent[0].movie, second);
  EXPECT_EQ(session.TotalFrames(), 6);
}

TEST_F(PlayerSessionTest, StaleReportsAreDropped) {
  session.PageReady();
  const int first = Showing(Movie(8, 12, 10));
  session.Report(first, 0, 5, 12, true);
  EXPECT_EQ(session.CurrentFrame(), 4) << "the probe counts from 1";
  EXPECT_EQ(frames, std::vector<int>{4});
  session.StopPlay();
  ASSERT_EQ(SentKinds(), std::vector<Kind>{Kind::Stop});
  EXPECT_EQ(sent[0].command, 1);
  // A report sent before the page saw the stop.
  session.Report(first, 0, 7, 12, true);
  EXPECT_EQ(session.CurrentFrame(), 4);
  EXPECT_FALSE(session.IsPlaying());
  session.Report(first, 1, 5, 12, false);
  EXPECT_FALSE(session.IsPlaying());
  EXPECT_EQ(frames, (std::vector<int>{4, 4}));
  // Reports of a movie already replaced, and of one not yet shown.
  const int second = Arrive(Movie(8, 12, 10));
  session.Report(first, 1, 9, 12, true);
  session.Report(second, 1, 3, 12, true);
  EXPECT_EQ(session.CurrentFrame(), 0);
  EXPECT_EQ(frames, (std::vector<int>{4, 4}));
  // A frame beyond the movie holds at its last frame.
  session.Shown(second, 1);
  session.Report(second, 1, 40, 0, true);
  EXPECT_EQ(session.CurrentFrame(), 11);
}

// Play and StopPlay while the movie is fetched, or on its way into the page.
struct OnItsWayCase {
  const char* name;
  std::vector<bool> whileArriving;  // true: Play, false: StopPlay
  std::vector<bool> whileHanding;
  bool loadPlays;                // the play flag of the load command
  std::vector<Kind> afterShown;  // commands once the page shows the movie
  bool playing;
};
void PrintTo(const OnItsWayCase& c, std::ostream* os) { *os << c.name; }

class PlayerSessionOnItsWayTest : public PlayerSessionTest,
                                  public ::testing::WithParamInterface<OnItsWayCase> {};

TEST_P(PlayerSessionOnItsWayTest, TheLastWishHolds) {
  const OnItsWayCase& c = GetParam();
  session.PageReady();
  const auto apply = [this](const std::vector<bool>& calls) {
    for (bool play : calls) play ? session.Play() : session.StopPlay();
  };
  const int id = session.LoadMovie();
  apply(c.whileArriving);
  EXPECT_TRUE(sent.empty()) << "nothing to command before the movie is handed";
  session.Arrived(id, "http://127.0.0.1/p.swf", Movie(8, 12, 10));
  ASSERT_EQ(SentKinds(), std::vector<Kind>{Kind::Load});
  EXPECT_EQ(sent[0].play, c.loadPlays);
  const int loadedWith = sent[0].command;
  apply(c.whileHanding);
  EXPECT_EQ(session.IsPlaying(), c.playing);
  sent.clear();
  session.Shown(id, loadedWith);
  EXPECT_EQ(SentKinds(), c.afterShown);
  if (!sent.empty())
    EXPECT_EQ(sent.back().command,
              static_cast<int>(c.whileArriving.size() + c.whileHanding.size()));
  EXPECT_EQ(session.IsPlaying(), c.playing);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlayerSessionOnItsWayTest,
    ::testing::Values(
        OnItsWayCase{"Nothing", {}, {}, true, {}, true},
        OnItsWayCase{"StopWhileArriving", {false}, {}, false, {}, false},
        OnItsWayCase{"StopPlayWhileArriving", {false, true}, {}, true, {}, true},
        OnItsWayCase{"StopWhileHanding", {}, {false}, true, {Kind::Stop}, false},
        OnItsWayCase{"StopPlayWhileHanding", {}, {false, true}, true, {Kind::Play}, true},
        OnItsWayCase{"PlayWhileHandingAStoppedLoad", {false}, {true}, false, {Kind::Play}, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PlayerSessionTest, EstimatedMovieFollowsTheClock) {
  session.PageReady();
  const int id = Arrive(Movie(10, 12, 10, true));
  session.Shown(id, sent.back().command);
  EXPECT_EQ(frames, std::vector<int>{0});
  EXPECT_EQ(After(250), std::make_pair(2, true));
  session.Report(id, 0, 9, 12, true);  // no probe in this movie: not believed
  EXPECT_EQ(After(0), std::make_pair(2, true));
  session.StopPlay();
  EXPECT_EQ(After(5000), std::make_pair(2, false));
  session.Play();
  EXPECT_EQ(After(100), std::make_pair(3, true));
  EXPECT_EQ(After(60000), std::make_pair(11, false)) << "holds at the last frame";
  // Play at the last frame, stopped there, starts again from the first.
  session.StopPlay();
  session.Play();
  EXPECT_EQ(After(0), std::make_pair(0, true));
  EXPECT_EQ(After(300), std::make_pair(3, true));
}

TEST_F(PlayerSessionTest, MovieWithoutARateRunsAtTwelveFrames) {
  session.PageReady();
  Showing(Movie(10, 60, 0, true));
  EXPECT_EQ(After(1000), std::make_pair(12, true));
}

TEST_F(PlayerSessionTest, MovieThatCannotBeShownEndsStoppedAndEmpty) {
  session.PageReady();
  for (const std::optional<std::string>& bytes :
       {std::optional<std::string>(), std::optional<std::string>("FWS\x08 not a movie"),
        std::optional<std::string>(Movie(8, 0, 10))}) {
    sent.clear();
    const int id = session.LoadMovie();
    session.Arrived(id, "http://127.0.0.1/p.swf", bytes);
    EXPECT_EQ(SentKinds(), std::vector<Kind>{Kind::Unload});
    EXPECT_FALSE(session.IsPlaying());
    EXPECT_EQ(session.TotalFrames(), 0);
  }
  // The page could not load a movie it was handed.
  const int id = Arrive(Movie(8, 12, 10));
  sent.clear();
  session.Failed(id);
  EXPECT_EQ(SentKinds(), std::vector<Kind>{Kind::Unload});
  EXPECT_FALSE(session.IsPlaying());
  EXPECT_EQ(session.TotalFrames(), 0);
  EXPECT_EQ(After(1000), std::make_pair(0, false));
}

TEST_F(PlayerSessionTest, RendererRestartHoldsTheMovieAndPausesWhenItRepeats) {
  session.PageReady();
  const int id = Showing(Movie(8, 12, 10));
  session.Report(id, 0, 6, 12, true);
  EXPECT_EQ(session.RendererGone(), 0) << "the first restart is at once";
  EXPECT_FALSE(session.IsPageReady());
  EXPECT_EQ(After(5000), std::make_pair(5, false)) << "stopped where it was";
  session.Report(id, 0, 9, 12, true);  // the old page is gone
  EXPECT_EQ(session.CurrentFrame(), 5);
  // Play goes on from there on the clock, and the command waits for the page.
  session.Play();
  EXPECT_TRUE(sent.empty());
  EXPECT_EQ(After(300), std::make_pair(8, true));
  EXPECT_EQ(session.RendererGone(), 2000) << "again within seconds: a pause first";
  EXPECT_EQ(After(20000), std::make_pair(8, false));
  EXPECT_EQ(session.RendererGone(), 0);
  session.PageReady();
  EXPECT_TRUE(sent.empty()) << "commands for the page that ended are dropped";
  // The next movie plays as usual.
  const int next = Arrive(Movie(8, 12, 10));
  ASSERT_EQ(SentKinds(), std::vector<Kind>{Kind::Load});
  EXPECT_EQ(sent[0].control, PlayerControl::Callbacks);
  session.Shown(next, sent[0].command);
  session.Report(next, sent[0].command, 3, 12, true);
  EXPECT_EQ(After(0), std::make_pair(2, true));
}

}  // namespace
}  // namespace zorva
