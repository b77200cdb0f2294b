#include "lessons/lesson_playback.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <QTimer>

#include "controls/movie_player.h"
#include "core/cp936.h"
#include "lessons/entry_table.h"
#include "lessons/page_table.h"
#include "net/transfer.h"
#include "platform/interval_timer.h"
#include "playback_test_env.h"
#include "support/file_bytes.h"

namespace zorva::test {
namespace {

// A player whose state the test sets: a loaded movie plays until the test
// stops it, at its last frame or before.
class ScriptedPlayer : public MoviePlayer {
 public:
  void LoadMovie(int layer, const Text& url) override {
    if (layer != 0) return;
    loaded.push_back(url.str());
    current = 0;
    playing = false;
  }
  void Play() override {
    ++plays;
    playing = true;
  }
  void StopPlay() override {
    ++stops;
    playing = false;
  }
  bool IsPlaying() override { return playing; }
  int TotalFrames() override { return total; }
  int CurrentFrame() override { return current; }
  void NextMovies(const std::vector<Text>& urls) override {
    ahead.emplace_back();
    for (const Text& url : urls) ahead.back().push_back(url.str());
  }

  // The movie on screen comes to rest at its last frame (or before).
  void Finish(bool atLastFrame = true) {
    playing = false;
    current = atLastFrame ? total - 1 : total / 2;
  }

  std::vector<std::string> loaded;  // URLs, in order
  std::vector<std::vector<std::string>> ahead;  // what each call asked to fetch ahead
  int plays = 0;
  int stops = 0;
  bool playing = false;
  int total = 24;
  int current = 0;
};

// The lesson window as playback sees it.
class FakeWindow : public PlaybackView {
 public:
  void ShowButtonRow(bool show) override {
    rowShown = show;
    rowEvents.push_back(show);
  }
  void SetTitle(const Text& text) override { titles.push_back(ToUtf8(text)); }
  QPoint CursorPosition() const override { return cursor; }
  bool AutoNextChecked() const override { return autoNext; }
  void HideTreeAndPageStore() override { treeHidden = true; }
  void ShowBlankPage() override { ++blankPages; }
  void SetPauseButtonText(const Text& text) override { pauseText = ToUtf8(text); }
  QWidget* MessageOwner() override { return nullptr; }

  std::string Title() const { return titles.empty() ? std::string() : titles.back(); }

  bool rowShown = true;
  std::vector<bool> rowEvents;
  std::vector<std::string> titles;
  QPoint cursor{100, 100};
  bool autoNext = false;
  bool treeHidden = false;
  int blankPages = 0;
  std::string pauseText = "暂停";
};

std::string Playing(int page) { return "正在播放" + std::to_string(page); }

class Playback : public LessonsEnvironment {
 protected:
  void SetUp() override {
    LessonsEnvironment::SetUp();
    MakePlayback();
  }
  // Serves the content so far; playback asks that server for lessons.
  void StartServer() {
    LessonsEnvironment::StartServer();
    MakePlayback();
  }
  void MakePlayback() {
    auto timer = std::make_unique<ManualIntervalTimer>();
    m_timer = timer.get();
    const Text base = m_server ? Text(m_server->BaseUrl()) : Text();
    m_playback = std::make_unique<LessonPlayback>(
        m_window, m_player, m_entries, LessonSource{base, "ann", "secret"}, std::move(timer));
  }
  bool Timer() const { return m_timer->IsActive(); }
  const PlaybackState& State() const { return m_playback->State(); }

  void AddLesson(const char* title, const std::string& dir, const std::vector<PageSpec>& pages) {
    Lesson(dir, pages);
    m_entries.Append({T(title), Text(dir), "lesson", ""});
  }
  void AddProgram(const char* title, const std::string& dir, const char* type,
                  const char* fileName) {
    m_entries.Append({T(title), Text(dir), Text(type), Text(fileName)});
  }
  std::string PageUrl(const std::string& dir, const std::string& name) const {
    return m_server->BaseUrl() + "/lesson/" + dir + "/0010/" + name;
  }
  std::string LastUrl() const {
    return m_player.loaded.empty() ? std::string() : m_player.loaded.back();
  }

  // Ticks until the window title changes (a page shown, the next lesson
  // requested, playback stopped), at most limit times; the number of ticks
  // it took, or -1.
  int TicksToNextTitle(int limit = 12) {
    const size_t before = m_window.titles.size();
    for (int tick = 1; tick <= limit; ++tick) {
      m_playback->OnTimer();
      if (m_window.titles.size() != before) return tick;
    }
    return -1;
  }
  // Lets the page on screen end by its delay rule (the movie rests at its
  // last frame) and returns the ticks until the next page or the stop.
  int FinishPage() {
    m_player.Finish();
    return TicksToNextTitle();
  }

  EntryTable m_entries;
  ScriptedPlayer m_player;
  FakeWindow m_window;
  ManualIntervalTimer* m_timer = nullptr;  // the playback's
  std::unique_ptr<LessonPlayback> m_playback;
};

// The page list as a text: pages by order across up to ten gaps, ".html"
// read as ".swf".
struct PageListCase {
  const char* name;
  std::vector<PageSpec> files;
  std::vector<std::string> pages;  // "name|delay", in play order
};
void PrintTo(const PageListCase& c, std::ostream* os) { *os << c.name; }

class PageListReading : public ::testing::TestWithParam<PageListCase> {};

TEST_P(PageListReading, ReadsThePagesTheClientPlays) {
  const PageTable table = ReadPageList(Text(PageList(GetParam().files)));
  std::vector<std::string> pages;
  for (int i = 0; i < table.Count(); ++i)
    pages.push_back(table.Row(i).name.str() + "|" + table.Row(i).delay.str());
  EXPECT_EQ(pages, GetParam().pages);
}

INSTANTIATE_TEST_SUITE_P(
    Playback, PageListReading,
    ::testing::Values(PageListCase{"ElevenGapsEndTheReading",
                                   {{1, "a.swf", "0"}, {2, "b.swf", "0"}, {14, "c.swf", "0"}},
                                   {"a.swf|0", "b.swf|0"}},
                      PageListCase{"TenGapsDoNot",
                                   {{1, "a.swf", "0"}, {2, "b.swf", "0"}, {13, "c.swf", "0"}},
                                   {"a.swf|0", "b.swf|0", "c.swf|0"}},
                      PageListCase{"ByOrderNotByPosition",
                                   {{12, "c.swf", "5"}, {2, "b.swf", nullptr}, {1, "a.swf", "-1"}},
                                   {"a.swf|-1", "b.swf|", "c.swf|5"}},
                      PageListCase{"HtmlIsReadAsSwf",
                                   {{1, "intro.html", nullptr}, {2, "a.html.html", nullptr}},
                                   {"intro.swf|", "a.swf.swf|"}},
                      PageListCase{
                          "NamelessFileIsAGap", {{1, "", "3"}, {2, "b.swf", "4"}}, {"b.swf|4"}},
                      PageListCase{"NoFiles", {}, {}}),
    [](const auto& row) { return std::string(row.param.name); });

// The pages read play in order, each from the lesson's folder with its
// number in the title; folders in a page's name stay folders.
TEST_F(Playback, PlaysThePagesOfTheListFromTheLessonsFolder) {
  AddLesson("长", "long", {{12, "c.swf", "0"}, {2, "part/b.html", "0"}, {1, "a.swf", "0"}});
  Content("lesson/long/0010/part/b.swf", "movie b");
  StartServer();
  m_playback->OnPlay(0);
  ASSERT_EQ(m_playback->Pages().Count(), 3);
  EXPECT_EQ(m_window.Title(), "开始播放......");
  EXPECT_TRUE(Timer());

  for (int page = 1; page <= 3; ++page) {
    m_player.Finish(false);
    EXPECT_EQ(TicksToNextTitle(), 1) << page;
    EXPECT_EQ(m_window.Title(), Playing(page));
  }
  EXPECT_EQ(m_player.loaded,
            (std::vector<std::string>{PageUrl("long", "a.swf"), PageUrl("long", "part/b.swf"),
                                      PageUrl("long", "c.swf")}));
  EXPECT_EQ(m_player.plays, 3);
  EXPECT_EQ(FetchText(Text(m_player.loaded[1])), "movie b");
  // Each movie is fetched ahead before it is due: the first while Play
  // waits for the first tick, each next one while the page before plays.
  using Urls = std::vector<std::string>;
  EXPECT_EQ(m_player.ahead, (std::vector<Urls>{{PageUrl("long", "a.swf")},
                                               {PageUrl("long", "part/b.swf")},
                                               {PageUrl("long", "c.swf")},
                                               {}}));
}

// What Play does before the first tick, and the first tick itself.
TEST_F(Playback, PlayHidesTheTreeAndShowsTheFirstPageAtTheFirstTick) {
  AddLesson("拼音", "pinyin", {{1, "p1.swf", "6"}, {2, "p2.swf", "6"}});
  StartServer();
  m_playback->OnPlay(0);
  EXPECT_TRUE(m_window.treeHidden);
  ASSERT_FALSE(m_window.rowEvents.empty());
  EXPECT_FALSE(m_window.rowEvents.front());
  EXPECT_EQ(m_window.titles.front(), "正在读取课程内容...");
  EXPECT_TRUE(m_player.loaded.empty());

  m_playback->OnTimer();
  EXPECT_EQ(m_window.Title(), Playing(1));
  EXPECT_EQ(LastUrl(), PageUrl("pinyin", "p1.swf"));
  EXPECT_TRUE(m_player.playing);
}

struct DelayCase {
  const char* name;
  const char* delay;  // nullptr: the page list gives none
  bool playing;       // the movie still plays
  bool atLastFrame;   // else it stopped before its last frame
  int ticks;          // ticks until the next page, -1: never by itself
};
void PrintTo(const DelayCase& c, std::ostream* os) { *os << c.name; }

class PageDelay : public Playback, public ::testing::WithParamInterface<DelayCase> {};

// Only the sign of the delay counts: negative waits for a page button, 0
// ends at the first tick the movie is not playing, positive or missing ends
// on the fourth tick the movie stands at its last frame.
TEST_P(PageDelay, EndsThePageByItsSign) {
  const DelayCase& c = GetParam();
  AddLesson("课", "delay", {{1, "p1.swf", c.delay}, {2, "p2.swf", "6"}});
  StartServer();
  m_playback->OnPlay(0);
  m_playback->OnTimer();
  m_player.playing = c.playing;
  m_player.current = c.atLastFrame ? m_player.total - 1 : 3;
  EXPECT_EQ(TicksToNextTitle(), c.ticks);
  if (c.ticks < 0) {
    // A page button still moves on at once.
    m_playback->OnNextPage();
    EXPECT_EQ(TicksToNextTitle(), 1);
  }
  EXPECT_EQ(m_window.Title(), Playing(2));
}

INSTANTIATE_TEST_SUITE_P(
    Playback, PageDelay,
    ::testing::Values(DelayCase{"NegativeWaitsForAButton", "-2", false, true, -1},
                      DelayCase{"ZeroEndsWhereverItStopped", "0", false, false, 1},
                      DelayCase{"ZeroWaitsWhilePlaying", "0", true, true, -1},
                      DelayCase{"PositiveEndsOnTheFourthTickAtTheEnd", "5", false, true, 4},
                      DelayCase{"PositiveWaitsWhenStoppedEarly", "5", false, false, -1},
                      DelayCase{"PositiveWaitsWhilePlaying", "5", true, true, -1},
                      DelayCase{"MissingCountsAsPositive", nullptr, false, true, 4}),
    [](const auto& row) { return std::string(row.param.name); });

// End ticks counted on a page that was left early count toward the next
// page's end.
TEST_F(Playback, EndTicksCarryOverToTheNextPage) {
  AddLesson("课", "carry", {{1, "p1.swf", "6"}, {2, "p2.swf", "6"}, {3, "p3.swf", "6"}});
  StartServer();
  m_playback->OnPlay(0);
  m_playback->OnTimer();
  m_player.Finish();
  for (int i = 0; i < 3; ++i) m_playback->OnTimer();
  EXPECT_EQ(State().m_nEndTicks, 3);
  m_playback->OnNextPage();
  EXPECT_EQ(TicksToNextTitle(), 1);
  EXPECT_EQ(m_window.Title(), Playing(2));
  EXPECT_EQ(FinishPage(), 1);  // the fourth end tick comes at once
  EXPECT_EQ(m_window.Title(), Playing(3));
  EXPECT_EQ(State().m_nEndTicks, 0);
  EXPECT_EQ(FinishPage(), 4);
}

TEST_F(Playback, PreviousPage) {
  AddLesson("课", "prev", {{1, "p1.swf", "-1"}, {2, "p2.swf", "-1"}, {3, "p3.swf", "-1"}});
  StartServer();
  m_playback->OnPrevPage();  // nothing on screen yet
  EXPECT_FALSE(State().m_bShowNow);

  m_playback->OnPlay(0);
  m_playback->OnTimer();
  m_playback->OnPrevPage();  // on page 1: page 1 again
  EXPECT_EQ(TicksToNextTitle(), 1);
  EXPECT_EQ(m_window.Title(), Playing(1));
  EXPECT_EQ(LastUrl(), PageUrl("prev", "p1.swf"));

  m_playback->OnNextPage();
  m_playback->OnTimer();
  m_playback->OnNextPage();
  m_playback->OnTimer();
  EXPECT_EQ(m_window.Title(), Playing(3));
  m_playback->OnPrevPage();  // pressed twice before a tick: back once
  m_playback->OnPrevPage();
  m_playback->OnTimer();
  EXPECT_EQ(m_window.Title(), Playing(2));
  EXPECT_EQ(LastUrl(), PageUrl("prev", "p2.swf"));
}

// An advertisement page ("_ad" in any letter case) ends only by its delay.
TEST_F(Playback, AdvertisementPagesIgnoreThePageButtons) {
  AddLesson("课", "ads", {{1, "p1.swf", "-1"}, {2, "Sale_aD.swf", "0"}, {3, "p3.swf", "6"}});
  StartServer();
  m_playback->OnPlay(0);
  m_playback->OnTimer();
  m_playback->OnNextPage();
  m_playback->OnTimer();
  ASSERT_EQ(m_window.Title(), Playing(2));
  m_playback->OnNextPage();
  m_playback->OnPrevPage();
  EXPECT_FALSE(State().m_bShowNow);
  EXPECT_EQ(TicksToNextTitle(3), -1);  // still playing
  m_player.Finish(false);
  EXPECT_EQ(TicksToNextTitle(), 1);
  EXPECT_EQ(m_window.Title(), Playing(3));
}

TEST_F(Playback, PauseFreezesTheTickAndAPendingNextPageFollowsContinue) {
  AddLesson("课", "pause", {{1, "p1.swf", "0"}, {2, "p2.swf", "0"}});
  StartServer();
  m_playback->OnPlay(0);
  m_playback->OnTimer();
  m_playback->OnPauseResume();
  EXPECT_EQ(m_window.pauseText, "继续");
  EXPECT_EQ(m_player.stops, 1);
  EXPECT_FALSE(m_player.playing);
  m_playback->OnNextPage();
  EXPECT_EQ(TicksToNextTitle(6), -1);

  const int plays = m_player.plays;
  m_playback->OnPauseResume();
  EXPECT_EQ(m_window.pauseText, "暂停");
  EXPECT_EQ(m_player.plays, plays + 1);
  EXPECT_EQ(TicksToNextTitle(), 1);
  EXPECT_EQ(m_window.Title(), Playing(2));
}

TEST_F(Playback, PauseWorksWhenNothingPlays) {
  m_playback->OnPauseResume();
  EXPECT_TRUE(State().m_bPaused);
  EXPECT_EQ(m_window.pauseText, "继续");
  m_playback->OnPauseResume();
  EXPECT_FALSE(State().m_bPaused);
  EXPECT_EQ(m_window.pauseText, "暂停");
  EXPECT_EQ(m_player.stops, 1);
  EXPECT_EQ(m_player.plays, 1);
}

TEST_F(Playback, StartingALessonEndsAPause) {
  AddLesson("课", "one", {{1, "p1.swf", "0"}});
  StartServer();
  m_playback->OnPauseResume();
  m_playback->OnPlay(0);
  EXPECT_FALSE(State().m_bPaused);
  EXPECT_EQ(m_window.pauseText, "暂停");
  EXPECT_EQ(TicksToNextTitle(), 1);
}

// Any cursor movement shows the button row; four still ticks hide it, unless
// the cursor rests where a page or pause button was last pressed. The rule
// runs while paused too.
TEST_F(Playback, ButtonRowFollowsTheCursor) {
  AddLesson("课", "row", {{1, "p1.swf", "-1"}});
  StartServer();
  m_playback->OnPlay(0);
  EXPECT_FALSE(m_window.rowShown);
  m_window.cursor = QPoint(10, 20);
  m_playback->OnTimer();
  EXPECT_TRUE(m_window.rowShown);
  for (int i = 0; i < 3; ++i) m_playback->OnTimer();
  EXPECT_TRUE(m_window.rowShown);
  m_playback->OnTimer();
  EXPECT_FALSE(m_window.rowShown);

  m_window.cursor = QPoint(11, 20);
  m_playback->OnPauseResume();  // pressed here
  m_playback->OnTimer();
  EXPECT_TRUE(m_window.rowShown);
  for (int i = 0; i < 10; ++i) m_playback->OnTimer();
  EXPECT_TRUE(m_window.rowShown);

  m_window.cursor = QPoint(12, 20);
  for (int i = 0; i < 5; ++i) m_playback->OnTimer();
  EXPECT_FALSE(m_window.rowShown);
}

TEST_F(Playback, EmptyReplyLeavesAnErrorTitleAndNoTimer) {
  AddLesson("课", "here", {{1, "p1.swf", "0"}});
  m_entries.Append({T("不在"), "missing", "lesson", ""});
  StartServer();
  m_playback->OnPlay(0);
  m_playback->OnTimer();
  m_playback->OnPlay(1);  // the server answers 404
  EXPECT_EQ(m_window.Title(), "主窗口：读取网络信息出错！");
  EXPECT_TRUE(m_window.rowShown);
  EXPECT_FALSE(Timer());
  EXPECT_TRUE(m_boxes.empty());
}

TEST_F(Playback, ReplyWithoutPagesEndsAtTheFirstTick) {
  Content("lesson/none/0010/pages.xml", "<pages dir=\"none\"></pages>");
  m_entries.Append({T("空"), "none", "lesson", ""});
  StartServer();
  m_playback->OnPlay(0);
  EXPECT_EQ(m_window.Title(), "开始播放......");
  EXPECT_TRUE(Timer());
  m_playback->OnTimer();
  EXPECT_FALSE(Timer());
  EXPECT_EQ(m_window.Title(), "主窗口");
  EXPECT_TRUE(m_player.loaded.empty());
}

TEST_F(Playback, LessonRowMissingFromTheTableIsReported) {
  m_playback->LoadLessonContent(99);
  ASSERT_EQ(m_boxes.size(), 1u);
  EXPECT_EQ(m_boxes[0].text, "请选择一个课程！");
  EXPECT_FALSE(Timer());
}

TEST_F(Playback, PlayOnAnotherLessonStartsItAtTheNextTick) {
  AddLesson("一", "one", {{1, "a1.swf", "0"}, {2, "a2.swf", "0"}, {3, "a3.swf", "0"}});
  AddLesson("二", "two", {{1, "b1.swf", "0"}});
  StartServer();
  m_playback->OnPlay(0);
  m_playback->OnTimer();
  m_playback->OnNextPage();
  m_playback->OnTimer();
  ASSERT_EQ(m_window.Title(), Playing(2));
  m_player.playing = true;
  m_playback->OnPlay(1);
  EXPECT_EQ(TicksToNextTitle(), 1);
  EXPECT_EQ(m_window.Title(), Playing(1));
  EXPECT_EQ(LastUrl(), PageUrl("two", "b1.swf"));
}

// The end of a lesson: stop, or with the box ticked the next lesson-level
// entry, whatever branch of the tree it is in, up to the last entry or the
// first entry that is not a lesson. Each case plays from a row, lets every
// page end by its delay rule and compares the movies requested and the
// ticks each page took.
struct EndCase {
  const char* name;
  std::vector<CatalogueEntry> rows;                                    // titles UTF-8
  std::vector<std::pair<std::string, std::vector<PageSpec>>> lessons;  // dir, pages
  bool autoNext;
  int startRow;
  std::vector<std::string> movies;  // "dir/page", in order
  std::vector<int> ticks;           // per page: ticks until the next title
};
void PrintTo(const EndCase& c, std::ostream* os) { *os << c.name; }

// Two subjects, the lessons spread over their branches, a program item
// before the last lesson, in catalogue order.
const std::vector<CatalogueEntry> kBranches = {{"一", "one", "lesson", ""},
                                               {"二", "two", "lesson", ""},
                                               {"三", "three", "lesson", ""},
                                               {"游戏", "games", "game", "game.exe"},
                                               {"四", "four", "lesson", ""}};

class EndOfLesson : public Playback, public ::testing::WithParamInterface<EndCase> {};

TEST_P(EndOfLesson, StopsOrGoesOnWithTheNextRow) {
  const EndCase& c = GetParam();
  for (const CatalogueEntry& row : c.rows)
    m_entries.Append({T(row.title.c_str()), row.dir, row.type, row.fileName});
  for (const auto& [dir, pages] : c.lessons) Lesson(dir, pages);
  StartServer();
  m_window.autoNext = c.autoNext;
  m_playback->OnPlay(c.startRow);
  m_playback->OnTimer();
  std::vector<int> ticks;
  for (int page = 0; page < 10 && Timer(); ++page) ticks.push_back(FinishPage());

  EXPECT_EQ(m_player.loaded.size(), c.movies.size());
  for (size_t i = 0; i < c.movies.size() && i < m_player.loaded.size(); ++i) {
    const size_t slash = c.movies[i].find('/');
    EXPECT_EQ(m_player.loaded[i],
              PageUrl(c.movies[i].substr(0, slash), c.movies[i].substr(slash + 1)));
  }
  EXPECT_EQ(ticks, c.ticks);
  // Stopped: the row back, the blank page, the tree still away, the player
  // keeping its last movie, and no program item touched.
  EXPECT_FALSE(Timer());
  EXPECT_EQ(m_window.Title(), "主窗口");
  EXPECT_TRUE(m_window.rowShown);
  EXPECT_EQ(m_window.blankPages, 1);
  EXPECT_TRUE(m_window.treeHidden);
  EXPECT_FALSE(Exists(Local("dl")));
}

INSTANTIATE_TEST_SUITE_P(
    Playback, EndOfLesson,
    ::testing::Values(EndCase{"StopsWithoutAutomaticNext",
                              {{"一", "one", "lesson", ""}, {"二", "two", "lesson", ""}},
                              {{"one", {{1, "a1.swf", "0"}}}, {"two", {{1, "b1.swf", "0"}}}},
                              false,
                              0,
                              {"one/a1.swf"},
                              {1}},
                      // Each next lesson's first page follows the previous last page by
                      // that page's delay rule.
                      EndCase{"CrossesBranchesAndStopsBeforeAProgramItem",
                              kBranches,
                              {{"one", {{1, "a1.swf", "0"}}},
                               {"two", {{1, "b1.swf", "0"}, {2, "b2.swf", "0"}}},
                               {"three", {{1, "c1.swf", nullptr}}}},
                              true,
                              0,
                              {"one/a1.swf", "two/b1.swf", "two/b2.swf", "three/c1.swf"},
                              {1, 1, 1, 1, 1, 4}},
                      EndCase{"StopsAfterTheLastEntry",
                              kBranches,
                              {{"four", {{1, "d1.swf", "0"}}}},
                              true,
                              4,
                              {"four/d1.swf"},
                              {1}},
                      // By its title the next lesson would be the earlier one, and
                      // playback would loop for ever.
                      EndCase{"FollowsRowsNotTitles",
                              {{"复习", "first", "lesson", ""},
                               {"复习", "second", "lesson", ""},
                               {"结束", "last", "lesson", ""}},
                              {{"first", {{1, "a.swf", "0"}}},
                               {"second", {{1, "b.swf", "0"}}},
                               {"last", {{1, "c.swf", "0"}}}},
                              true,
                              0,
                              {"first/a.swf", "second/b.swf", "last/c.swf"},
                              {1, 1, 1, 1, 1}},
                      // The same lesson listed twice: the end of the second listing goes
                      // on after it, not after the first row with its folder.
                      EndCase{"FollowsRowsNotFolders",
                              {{"复习", "shared", "lesson", ""},
                               {"再复习", "shared", "lesson", ""},
                               {"结束", "last", "lesson", ""}},
                              {{"shared", {{1, "a.swf", "0"}}}, {"last", {{1, "c.swf", "0"}}}},
                              true,
                              0,
                              {"shared/a.swf", "shared/a.swf", "last/c.swf"},
                              {1, 1, 1, 1, 1}}),
    [](const auto& row) { return std::string(row.param.name); });

// A last page left with "下一页" must not leave the next lesson waiting for
// a delay rule that never fires: a page only a button ends, or a movie that
// plays on or loops.
struct LastPageCase {
  const char* name;
  const char* delay;
  bool playing;
};
void PrintTo(const LastPageCase& c, std::ostream* os) { *os << c.name; }

class NextPageAtTheEnd : public Playback, public ::testing::WithParamInterface<LastPageCase> {};

TEST_P(NextPageAtTheEnd, ShowsTheNextLessonsFirstPageAtTheNextTick) {
  AddLesson("一", "one", {{1, "a1.swf", GetParam().delay}});
  AddLesson("二", "two", {{1, "b1.swf", "-1"}});
  StartServer();
  m_window.autoNext = true;
  m_playback->OnPlay(0);
  m_playback->OnTimer();
  m_player.playing = GetParam().playing;
  m_playback->OnNextPage();
  m_playback->OnTimer();
  EXPECT_EQ(m_window.Title(), "开始播放......");
  EXPECT_EQ(TicksToNextTitle(), 1);
  EXPECT_EQ(m_window.Title(), Playing(1));
  EXPECT_EQ(LastUrl(), PageUrl("two", "b1.swf"));
}

INSTANTIATE_TEST_SUITE_P(Playback, NextPageAtTheEnd,
                         ::testing::Values(LastPageCase{"NegativeDelay", "-1", false},
                                           LastPageCase{"MovieStillPlaying", "6", true},
                                           LastPageCase{"LoopingMovie", "0", true}),
                         [](const auto& row) { return std::string(row.param.name); });

// Titles repeat across subjects: Play takes the row it is given, not the
// first row with its title.
TEST_F(Playback, PlayPlaysItsOwnRowAmongEqualTitles) {
  AddLesson("第一课", "yuwen", {{1, "a.swf", "0"}});
  AddLesson("第一课", "shuxue", {{1, "b.swf", "0"}});
  StartServer();
  m_playback->OnPlay(1);
  m_playback->OnTimer();
  EXPECT_EQ(LastUrl(), PageUrl("shuxue", "b.swf"));
  EXPECT_EQ(m_playback->LessonRow(), 1);
}

// Play on a program item while a lesson plays leaves the lesson's folder:
// its later pages and the next lesson still come from the catalogue rows.
TEST_F(Playback, ProgramItemLeavesThePlayingLessonAlone) {
  AddLesson("一", "one", {{1, "a1.swf", "0"}, {2, "a2.swf", "0"}});
  AddLesson("二", "two", {{1, "b1.swf", "0"}});
  AddProgram("游戏", "games", "Lesson", "game.exe");  // letter case makes it a program item
  Content("dl/download_game.xml", "<job>game</job>");
  StartServer();
  m_window.autoNext = true;
  m_playback->OnPlay(0);
  m_playback->OnTimer();
  m_playback->OnPlay(2);
  EXPECT_EQ(ReadFileBytes(Local("dl/download.xml")), "<job>game</job>");
  EXPECT_EQ(m_playback->LessonDir(), "one");
  EXPECT_EQ(m_window.Title(), Playing(1));
  EXPECT_EQ(FinishPage(), 1);
  EXPECT_EQ(LastUrl(), PageUrl("one", "a2.swf"));
  EXPECT_EQ(FinishPage(), 1);
  EXPECT_EQ(FinishPage(), 1);
  EXPECT_EQ(LastUrl(), PageUrl("two", "b1.swf"));
}

// The password codec pumps messages while the lesson request is prepared:
// ticks and a second Play that arrive then are ignored.
TEST_F(Playback, TicksAndPlayInsideTheLessonRequestAreIgnored) {
  AddLesson("一", "one", {{1, "a1.swf", "0"}, {2, "a2.swf", "0"}});
  AddLesson("二", "two", {{1, "b1.swf", "0"}});
  AddLesson("三", "three", {{1, "c1.swf", "0"}});
  StartServer();
  m_playback->OnPlay(0);
  m_playback->OnTimer();

  int ticksInside = 0;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    if (m_playback->RequestRunning()) ++ticksInside;
    m_playback->OnTimer();
    m_playback->OnPlay(2);
  });
  ticker.start(0);
  m_playback->OnPlay(1);
  ticker.stop();

  EXPECT_GT(ticksInside, 0);
  EXPECT_EQ(m_player.loaded.size(), 1u);
  EXPECT_EQ(m_playback->LessonDir(), "two");
  EXPECT_EQ(TicksToNextTitle(), 1);
  EXPECT_EQ(LastUrl(), PageUrl("two", "b1.swf"));
}

// An item's download pumps messages too: a Play that arrives then is ignored.
TEST_F(Playback, PlayInsideAnItemDownloadIsIgnored) {
  AddProgram("游戏", "games", "game", "game.exe");
  AddLesson("一", "one", {{1, "a1.swf", "0"}});
  Content("dl/download_game.xml", "<job>game</job>");
  StartServer();

  int playsInside = 0;
  QTimer presser;
  QObject::connect(&presser, &QTimer::timeout, [&] {
    ++playsInside;
    m_playback->OnPlay(1);
  });
  presser.start(0);
  m_playback->OnPlay(0);
  presser.stop();

  EXPECT_GT(playsInside, 0);
  EXPECT_TRUE(m_window.titles.empty());
  EXPECT_FALSE(Timer());
}

}  // namespace
}  // namespace zorva::test
