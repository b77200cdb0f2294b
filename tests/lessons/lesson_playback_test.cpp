#include "lessons/lesson_playback.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <QTimer>

#include "controls/movie_player.h"
#include "core/cp936.h"
#include "lessons/catalogue.h"
#include "lessons/entry_table.h"
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

  // The movie on screen comes to rest at its last frame (or before).
  void Finish(bool atLastFrame = true) {
    playing = false;
    current = atLastFrame ? total - 1 : total / 2;
  }

  std::vector<std::string> loaded;  // URLs, in order
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
  void StartPlaybackTimer() override { timer = true; }
  void StopPlaybackTimer() override { timer = false; }
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
  bool timer = false;
  bool autoNext = false;
  bool treeHidden = false;
  int blankPages = 0;
  std::string pauseText = "暂停";
};

std::string Playing(int page) { return "正在播放" + std::to_string(page); }

class Playback : public LessonsEnvironment {
 protected:
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
      m_playback.OnTimer();
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
  PageTable m_pages;
  PlaybackState m_state;
  LessonPlayback m_playback{m_window, m_player, m_entries, m_pages, m_state};
};

// The page list: read by order across up to ten gaps, ".html" played as
// ".swf", each page loaded from the lesson's folder with its number in the
// title.
TEST_F(Playback, PageListIsReadByOrderAcrossUpToTenGaps) {
  AddLesson("短", "short", {{1, "a.swf", "0"}, {2, "b.swf", "0"}, {14, "c.swf", "0"}});
  AddLesson("十", "ten", {{1, "a.swf", "0"}, {2, "b.swf", "0"}, {13, "c.swf", "0"}});
  AddLesson("长", "long", {{12, "c.swf", "0"}, {2, "b.swf", "0"}, {1, "a.swf", "0"}});
  StartServer();

  m_playback.OnPlay(0);
  EXPECT_EQ(m_pages.Count(), 2);  // eleven gaps end the reading
  m_playback.OnPlay(1);
  EXPECT_EQ(m_pages.Count(), 3);  // ten do not
  m_playback.OnPlay(2);
  ASSERT_EQ(m_pages.Count(), 3);
  EXPECT_EQ(m_window.Title(), "开始播放......");
  EXPECT_TRUE(m_window.timer);

  for (int page = 1; page <= 3; ++page) {
    m_player.Finish(false);
    EXPECT_EQ(TicksToNextTitle(), 1) << page;
    EXPECT_EQ(m_window.Title(), Playing(page));
  }
  EXPECT_EQ(LastUrl(), PageUrl("long", "c.swf"));  // order 12 as page 3
  EXPECT_EQ(m_player.plays, 3);
}

TEST_F(Playback, HtmlPagesArePlayedAsMovies) {
  AddLesson("网页", "web", {{1, "intro.html", nullptr}, {2, "a.html.html", nullptr}});
  StartServer();
  m_playback.OnPlay(0);
  m_playback.OnTimer();
  EXPECT_EQ(LastUrl(), PageUrl("web", "intro.swf"));
  m_playback.OnNextPage();
  m_playback.OnTimer();
  EXPECT_EQ(LastUrl(), PageUrl("web", "a.swf.swf"));
}

// What Play does before the first tick, and the first tick itself.
TEST_F(Playback, PlayHidesTheTreeAndShowsTheFirstPageAtTheFirstTick) {
  AddLesson("拼音", "pinyin", {{1, "p1.swf", "6"}, {2, "p2.swf", "6"}});
  StartServer();
  m_playback.OnPlay(0);
  EXPECT_TRUE(m_window.treeHidden);
  ASSERT_FALSE(m_window.rowEvents.empty());
  EXPECT_FALSE(m_window.rowEvents.front());
  EXPECT_EQ(m_window.titles.front(), "正在读取课程内容...");
  EXPECT_TRUE(m_player.loaded.empty());

  m_playback.OnTimer();
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
  m_playback.OnPlay(0);
  m_playback.OnTimer();
  m_player.playing = c.playing;
  m_player.current = c.atLastFrame ? m_player.total - 1 : 3;
  EXPECT_EQ(TicksToNextTitle(), c.ticks);
  if (c.ticks < 0) {
    // A page button still moves on at once.
    m_playback.OnNextPage();
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
  m_playback.OnPlay(0);
  m_playback.OnTimer();
  m_player.Finish();
  for (int i = 0; i < 3; ++i) m_playback.OnTimer();
  EXPECT_EQ(m_state.m_nEndTicks, 3);
  m_playback.OnNextPage();
  EXPECT_EQ(TicksToNextTitle(), 1);
  EXPECT_EQ(m_window.Title(), Playing(2));
  EXPECT_EQ(FinishPage(), 1);  // the fourth end tick comes at once
  EXPECT_EQ(m_window.Title(), Playing(3));
  EXPECT_EQ(m_state.m_nEndTicks, 0);
  EXPECT_EQ(FinishPage(), 4);
}

TEST_F(Playback, PreviousPage) {
  AddLesson("课", "prev", {{1, "p1.swf", "-1"}, {2, "p2.swf", "-1"}, {3, "p3.swf", "-1"}});
  StartServer();
  m_playback.OnPrevPage();  // nothing on screen yet
  EXPECT_FALSE(m_state.m_bShowNow);

  m_playback.OnPlay(0);
  m_playback.OnTimer();
  m_playback.OnPrevPage();  // on page 1: page 1 again
  EXPECT_EQ(TicksToNextTitle(), 1);
  EXPECT_EQ(m_window.Title(), Playing(1));
  EXPECT_EQ(LastUrl(), PageUrl("prev", "p1.swf"));

  m_playback.OnNextPage();
  m_playback.OnTimer();
  m_playback.OnNextPage();
  m_playback.OnTimer();
  EXPECT_EQ(m_window.Title(), Playing(3));
  m_playback.OnPrevPage();  // pressed twice before a tick: back once
  m_playback.OnPrevPage();
  m_playback.OnTimer();
  EXPECT_EQ(m_window.Title(), Playing(2));
  EXPECT_EQ(LastUrl(), PageUrl("prev", "p2.swf"));
}

// An advertisement page ("_ad" in any letter case) ends only by its delay.
TEST_F(Playback, AdvertisementPagesIgnoreThePageButtons) {
  AddLesson("课", "ads", {{1, "p1.swf", "-1"}, {2, "Sale_aD.swf", "0"}, {3, "p3.swf", "6"}});
  StartServer();
  m_playback.OnPlay(0);
  m_playback.OnTimer();
  m_playback.OnNextPage();
  m_playback.OnTimer();
  ASSERT_EQ(m_window.Title(), Playing(2));
  m_playback.OnNextPage();
  m_playback.OnPrevPage();
  EXPECT_FALSE(m_state.m_bShowNow);
  EXPECT_EQ(TicksToNextTitle(3), -1);  // still playing
  m_player.Finish(false);
  EXPECT_EQ(TicksToNextTitle(), 1);
  EXPECT_EQ(m_window.Title(), Playing(3));
}

TEST_F(Playback, PauseFreezesTheTickAndAPendingNextPageFollowsContinue) {
  AddLesson("课", "pause", {{1, "p1.swf", "0"}, {2, "p2.swf", "0"}});
  StartServer();
  m_playback.OnPlay(0);
  m_playback.OnTimer();
  m_playback.OnPauseResume();
  EXPECT_EQ(m_window.pauseText, "继续");
  EXPECT_EQ(m_player.stops, 1);
  EXPECT_FALSE(m_player.playing);
  m_playback.OnNextPage();
  EXPECT_EQ(TicksToNextTitle(6), -1);

  const int plays = m_player.plays;
  m_playback.OnPauseResume();
  EXPECT_EQ(m_window.pauseText, "暂停");
  EXPECT_EQ(m_player.plays, plays + 1);
  EXPECT_EQ(TicksToNextTitle(), 1);
  EXPECT_EQ(m_window.Title(), Playing(2));
}

TEST_F(Playback, PauseWorksWhenNothingPlays) {
  m_playback.OnPauseResume();
  EXPECT_TRUE(m_state.m_bPaused);
  EXPECT_EQ(m_window.pauseText, "继续");
  m_playback.OnPauseResume();
  EXPECT_FALSE(m_state.m_bPaused);
  EXPECT_EQ(m_window.pauseText, "暂停");
  EXPECT_EQ(m_player.stops, 1);
  EXPECT_EQ(m_player.plays, 1);
}

TEST_F(Playback, StartingALessonEndsAPause) {
  AddLesson("课", "one", {{1, "p1.swf", "0"}});
  StartServer();
  m_playback.OnPauseResume();
  m_playback.OnPlay(0);
  EXPECT_FALSE(m_state.m_bPaused);
  EXPECT_EQ(m_window.pauseText, "暂停");
  EXPECT_EQ(TicksToNextTitle(), 1);
}

// Any cursor movement shows the button row; four still ticks hide it, unless
// the cursor rests where a page or pause button was last pressed. The rule
// runs while paused too.
TEST_F(Playback, ButtonRowFollowsTheCursor) {
  AddLesson("课", "row", {{1, "p1.swf", "-1"}});
  StartServer();
  m_playback.OnPlay(0);
  EXPECT_FALSE(m_window.rowShown);
  m_window.cursor = QPoint(10, 20);
  m_playback.OnTimer();
  EXPECT_TRUE(m_window.rowShown);
  for (int i = 0; i < 3; ++i) m_playback.OnTimer();
  EXPECT_TRUE(m_window.rowShown);
  m_playback.OnTimer();
  EXPECT_FALSE(m_window.rowShown);

  m_window.cursor = QPoint(11, 20);
  m_playback.OnPauseResume();  // pressed here
  m_playback.OnTimer();
  EXPECT_TRUE(m_window.rowShown);
  for (int i = 0; i < 10; ++i) m_playback.OnTimer();
  EXPECT_TRUE(m_window.rowShown);

  m_window.cursor = QPoint(12, 20);
  for (int i = 0; i < 5; ++i) m_playback.OnTimer();
  EXPECT_FALSE(m_window.rowShown);
}

TEST_F(Playback, EmptyReplyLeavesAnErrorTitleAndNoTimer) {
  AddLesson("课", "here", {{1, "p1.swf", "0"}});
  m_entries.Append({T("不在"), "missing", "lesson", ""});
  StartServer();
  m_playback.OnPlay(0);
  m_playback.OnTimer();
  m_playback.OnPlay(1);  // the server answers 404
  EXPECT_EQ(m_window.Title(), "主窗口：读取网络信息出错！");
  EXPECT_TRUE(m_window.rowShown);
  EXPECT_FALSE(m_window.timer);
  EXPECT_TRUE(m_boxes.empty());
}

TEST_F(Playback, ReplyWithoutPagesEndsAtTheFirstTick) {
  Content("lesson/none/0010/pages.xml", "<pages dir=\"none\"></pages>");
  m_entries.Append({T("空"), "none", "lesson", ""});
  StartServer();
  m_playback.OnPlay(0);
  EXPECT_EQ(m_window.Title(), "开始播放......");
  EXPECT_TRUE(m_window.timer);
  m_playback.OnTimer();
  EXPECT_FALSE(m_window.timer);
  EXPECT_EQ(m_window.Title(), "主窗口");
  EXPECT_TRUE(m_player.loaded.empty());
}

TEST_F(Playback, LessonTitleMissingFromTheTableIsReported) {
  m_playback.LoadLessonContent(T("没有"));
  ASSERT_EQ(m_boxes.size(), 1u);
  EXPECT_EQ(m_boxes[0].text, "请选择一个课程！");
  EXPECT_FALSE(m_window.timer);
}

TEST_F(Playback, PlayOnAnotherLessonStartsItAtTheNextTick) {
  AddLesson("一", "one", {{1, "a1.swf", "0"}, {2, "a2.swf", "0"}, {3, "a3.swf", "0"}});
  AddLesson("二", "two", {{1, "b1.swf", "0"}});
  StartServer();
  m_playback.OnPlay(0);
  m_playback.OnTimer();
  m_playback.OnNextPage();
  m_playback.OnTimer();
  ASSERT_EQ(m_window.Title(), Playing(2));
  m_player.playing = true;
  m_playback.OnPlay(1);
  EXPECT_EQ(TicksToNextTitle(), 1);
  EXPECT_EQ(m_window.Title(), Playing(1));
  EXPECT_EQ(LastUrl(), PageUrl("two", "b1.swf"));
}

// The end of a lesson: stop, or with the box ticked the next lesson-level
// entry, whatever branch it is in, up to the last entry or the first entry
// that is not a lesson.
TEST_F(Playback, EndOfLessonStopsWithoutAutomaticNext) {
  AddLesson("一", "one", {{1, "a1.swf", "0"}});
  AddLesson("二", "two", {{1, "b1.swf", "0"}});
  StartServer();
  m_playback.OnPlay(0);
  m_playback.OnTimer();
  EXPECT_EQ(FinishPage(), 1);
  EXPECT_FALSE(m_window.timer);
  EXPECT_EQ(m_window.Title(), "主窗口");
  EXPECT_TRUE(m_window.rowShown);
  EXPECT_EQ(m_window.blankPages, 1);
  EXPECT_TRUE(m_window.treeHidden);
  EXPECT_EQ(m_player.loaded.size(), 1u);  // the player keeps its last movie
}

// Two subjects, the lessons spread over their branches, a program item
// before the last lesson.
constexpr char kBranches[] =
    "<sort_list order=\"1\" title=\"语文\">"
    "<lesson_list order=\"1\" title=\"拼音\">"
    "<lesson order=\"1\" title=\"一\" dir=\"one\" type=\"lesson\" file_name=\"\"/>"
    "</lesson_list><lesson_list order=\"2\" title=\"识字\">"
    "<lesson order=\"1\" title=\"二\" dir=\"two\" type=\"lesson\" file_name=\"\"/>"
    "</lesson_list></sort_list>"
    "<sort_list order=\"2\" title=\"数学\">"
    "<lesson_list order=\"1\" title=\"加法\">"
    "<lesson order=\"1\" title=\"三\" dir=\"three\" type=\"lesson\" file_name=\"\"/>"
    "</lesson_list><lesson_list order=\"2\" title=\"游戏\">"
    "<lesson order=\"1\" title=\"游戏\" dir=\"games\" type=\"game\" file_name=\"game.exe\"/>"
    "</lesson_list><lesson_list order=\"3\" title=\"练习\">"
    "<lesson order=\"1\" title=\"四\" dir=\"four\" type=\"lesson\" file_name=\"\"/>"
    "</lesson_list></sort_list>";

// The catalogue tree is not looked at here.
class NoTree : public CatalogueView {
  void SetTitle(const Text&) override {}
  void StopPlaybackTimer() override {}
  void DeleteAllTreeItems() override {}
  void AddLevel1Item(const Text&) override {}
  void AddLevel2Item(const Text&) override {}
  void AddLevel3Item(const Text&) override {}
};

TEST_F(Playback, AutomaticNextCrossesBranchesAndStopsBeforeAProgramItem) {
  NoTree tree;
  BuildCatalogue(T(kBranches), tree, m_entries);
  ASSERT_EQ(m_entries.Count(), 5);
  Lesson("one", {{1, "a1.swf", "0"}});
  Lesson("two", {{1, "b1.swf", "0"}, {2, "b2.swf", "0"}});
  Lesson("three", {{1, "c1.swf", nullptr}});
  StartServer();
  m_window.autoNext = true;
  m_playback.OnPlay(m_entries.FindTitle(T("一")));
  m_playback.OnTimer();
  EXPECT_EQ(FinishPage(), 1);  // a1 over: the next lesson, in another branch
  EXPECT_EQ(m_window.Title(), "开始播放......");
  EXPECT_TRUE(m_window.timer);
  EXPECT_EQ(FinishPage(), 1);  // its first page follows by a1's delay rule
  EXPECT_EQ(LastUrl(), PageUrl("two", "b1.swf"));
  EXPECT_EQ(FinishPage(), 1);
  EXPECT_EQ(FinishPage(), 1);  // b2 over: on into the other subject
  EXPECT_EQ(FinishPage(), 1);
  EXPECT_EQ(LastUrl(), PageUrl("three", "c1.swf"));
  EXPECT_EQ(FinishPage(), 4);  // a program item follows: stop
  EXPECT_FALSE(m_window.timer);
  EXPECT_EQ(m_window.Title(), "主窗口");
  EXPECT_FALSE(Exists(Local("dl")));  // the program item is not touched
}

TEST_F(Playback, AutomaticNextStopsAfterTheLastEntry) {
  NoTree tree;
  BuildCatalogue(T(kBranches), tree, m_entries);
  Lesson("four", {{1, "d1.swf", "0"}});
  StartServer();
  m_window.autoNext = true;
  m_playback.OnPlay(m_entries.Count() - 1);
  m_playback.OnTimer();
  EXPECT_EQ(LastUrl(), PageUrl("four", "d1.swf"));
  EXPECT_EQ(FinishPage(), 1);
  EXPECT_FALSE(m_window.timer);
  EXPECT_EQ(m_window.Title(), "主窗口");
}

// A last page that only a page button ends must not leave the next lesson
// waiting for a delay rule that never fires.
TEST_F(Playback, NextLessonAfterAPageButtonShowsItsFirstPage) {
  AddLesson("一", "one", {{1, "a1.swf", "-1"}});
  AddLesson("二", "two", {{1, "b1.swf", "-1"}});
  StartServer();
  m_window.autoNext = true;
  m_playback.OnPlay(0);
  m_playback.OnTimer();
  m_playback.OnNextPage();
  m_playback.OnTimer();
  EXPECT_EQ(m_window.Title(), "开始播放......");
  EXPECT_EQ(TicksToNextTitle(), 1);
  EXPECT_EQ(LastUrl(), PageUrl("two", "b1.swf"));
}

// A next lesson titled like an earlier one is still the next row: by its
// title it would be the earlier lesson, and playback would loop for ever.
TEST_F(Playback, AutomaticNextFollowsRowsNotTitles) {
  AddLesson("复习", "first", {{1, "a.swf", "0"}});
  AddLesson("复习", "second", {{1, "b.swf", "0"}});
  AddLesson("结束", "last", {{1, "c.swf", "0"}});
  StartServer();
  m_window.autoNext = true;
  m_playback.OnPlay(0);
  m_playback.OnTimer();
  for (int page = 0; page < 6 && m_window.timer; ++page) FinishPage();
  EXPECT_EQ(m_player.loaded,
            (std::vector<std::string>{PageUrl("first", "a.swf"), PageUrl("second", "b.swf"),
                                      PageUrl("last", "c.swf")}));
  EXPECT_FALSE(m_window.timer);
}

// The same lesson listed twice: the end of the second listing goes on after
// it, not after the first row with its folder, which would be itself again.
TEST_F(Playback, AutomaticNextFollowsRowsNotFolders) {
  AddLesson("复习", "shared", {{1, "a.swf", "0"}});
  m_entries.Append({T("再复习"), "shared", "lesson", ""});
  AddLesson("结束", "last", {{1, "c.swf", "0"}});
  StartServer();
  m_window.autoNext = true;
  m_playback.OnPlay(0);
  m_playback.OnTimer();
  for (int page = 0; page < 6 && m_window.timer; ++page) FinishPage();
  EXPECT_EQ(m_player.loaded,
            (std::vector<std::string>{PageUrl("shared", "a.swf"), PageUrl("shared", "a.swf"),
                                      PageUrl("last", "c.swf")}));
  EXPECT_FALSE(m_window.timer);
}

TEST_F(Playback, PlayFromTheTreeResolvesATitleToItsFirstRow) {
  AddLesson("复习", "first", {{1, "a.swf", "0"}});
  AddLesson("复习", "second", {{1, "b.swf", "0"}});
  StartServer();
  m_playback.OnPlay(1);
  m_playback.OnTimer();
  EXPECT_EQ(LastUrl(), PageUrl("first", "a.swf"));
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
  m_playback.OnPlay(0);
  m_playback.OnTimer();
  m_playback.OnPlay(2);
  EXPECT_EQ(ReadFileBytes(Local("dl/download.xml")), "<job>game</job>");
  EXPECT_EQ(m_state.m_strLessonDir, "one");
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
  m_playback.OnPlay(0);
  m_playback.OnTimer();

  int ticksInside = 0;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    if (m_playback.RequestRunning()) ++ticksInside;
    m_playback.OnTimer();
    m_playback.OnPlay(2);
  });
  ticker.start(0);
  m_playback.OnPlay(1);
  ticker.stop();

  EXPECT_GT(ticksInside, 0);
  EXPECT_EQ(m_player.loaded.size(), 1u);
  EXPECT_EQ(m_state.m_strLessonDir, "two");
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
    m_playback.OnPlay(1);
  });
  presser.start(0);
  m_playback.OnPlay(0);
  presser.stop();

  EXPECT_GT(playsInside, 0);
  EXPECT_TRUE(m_window.titles.empty());
  EXPECT_FALSE(m_window.timer);
}

}  // namespace
}  // namespace zorva::test
