#include "lessons/lesson_playback.h"

#include <QScopedValueRollback>

#include <algorithm>

#include "controls/movie_player.h"
#include "core/cp936.h"
#include "core/toolkit.h"
#include "lessons/catalogue_rules.h"
#include "lessons/entry_table.h"
#include "lessons/program_items.h"
#include "net/service_requests.h"
#include "net/transfer.h"
#include "platform/interval_timer.h"
#include "platform/message_box.h"

namespace zorva {

namespace {

constexpr char kLessonType[] = "lesson";
// Still ticks before the button row hides, and ticks a page stands stopped
// at its last frame before it counts as over.
constexpr int kIdleTicksBeforeHiding = 3;
constexpr int kEndTicks = 4;

Text Cn(const char* utf8) { return FromUtf8(utf8); }

}  // namespace

LessonPlayback::LessonPlayback(PlaybackView& view, MoviePlayer& player, const EntryTable& entries,
                               LessonSource source, std::unique_ptr<IntervalTimer> timer)
    : m_view(view),
      m_player(player),
      m_entries(entries),
      m_source(std::move(source)),
      m_timer(timer ? std::move(timer) : MakeQtIntervalTimer()) {}

LessonPlayback::~LessonPlayback() { StopTimer(); }

void LessonPlayback::StartTimer() {
  m_timer->Start(kTickPeriodMs, [this] { OnTimer(); });
}

void LessonPlayback::StopTimer() { m_timer->Stop(); }

bool LessonPlayback::IsTimerRunning() const { return m_timer->IsActive(); }

Text LessonPlayback::LessonDir() const {
  if (m_nLessonRow < 0 || m_nLessonRow >= m_entries.Count()) return Text();
  return m_entries.Row(m_nLessonRow).dir;
}

void LessonPlayback::OnPlay(int row) {
  // The password codec pumps messages while a lesson request is prepared,
  // and so does an item's download: a second Play can arrive inside the
  // first, and would leave the first request's pages under the second
  // lesson's folder, or fetch a job file while another is being fetched.
  if (m_bPlayRunning || m_bRequestRunning) return;
  if (row < 0 || row >= m_entries.Count()) return;
  const QScopedValueRollback<bool> playing(m_bPlayRunning, true);
  const CatalogueEntry& entry = m_entries.Row(row);
  if (!(entry.type == kLessonType)) {
    // A program item leaves the folder of a lesson that is playing alone:
    // the lesson's remaining pages still come from its own folder.
    PlayProgramItem(entry.fileName, m_view.MessageOwner());
    return;
  }
  m_state.m_nPageIndex = 0;
  m_state.m_bPaused = false;
  m_view.SetPauseButtonText(Cn("暂停"));
  m_state.m_bShowNow = true;
  m_view.HideTreeAndPageStore();
  m_view.ShowButtonRow(false);
  // By its row: another entry with the same title may stand before it.
  LoadLessonContent(row);
}

void LessonPlayback::LoadLessonContent(int row) {
  m_view.SetTitle(Cn("正在读取课程内容..."));
  if (row < 0 || row >= m_entries.Count()) {
    ShowMessage(Cn("请选择一个课程！"), m_view.MessageOwner());
    return;
  }
  m_nLessonRow = row;

  Text reply;
  {
    const QScopedValueRollback<bool> running(m_bRequestRunning, true);
    reply = FetchText(
        requests::Lesson(m_source.baseAddress, m_source.userName, m_source.password, LessonDir()));
  }
  if (reply.IsEmpty()) {
    // Back to idle: a timer left running would go on with the previous
    // lesson's pages under this lesson's folder.
    StopTimer();
    m_view.SetTitle(Cn("主窗口：读取网络信息出错！"));
    m_view.ShowButtonRow(true);
    return;
  }

  m_pages = ReadPageList(reply);
  m_state.m_nPageIndex = 0;
  // The first page shows at the first tick, a second from now: its movie
  // is fetched meanwhile.
  std::vector<Text> first;
  if (m_pages.Count() > 0)
    first.push_back(requests::LessonPage(m_source.baseAddress, LessonDir(), m_pages.Row(0).name));
  m_player.NextMovies(first);
  StartTimer();
  m_view.SetTitle(Cn("开始播放......"));
}

void LessonPlayback::OnTimer() {
  // A tick inside the lesson request (the password codec pumps messages)
  // would decide on a page table that is about to be replaced.
  if (m_bRequestRunning) return;

  const QPoint cursor = m_view.CursorPosition();
  if (cursor == m_state.m_ptLastCursor) {
    ++m_state.m_nIdleTicks;
    if (m_state.m_nIdleTicks > kIdleTicksBeforeHiding) {
      if (cursor == m_state.m_ptLastClick) {
        m_state.m_nIdleTicks = 0;
      } else {
        m_view.ShowButtonRow(false);
      }
    }
  } else {
    m_state.m_ptLastCursor = cursor;
    m_state.m_nIdleTicks = 0;
    m_view.ShowButtonRow(true);
  }

  if (m_state.m_bPaused) return;

  if (m_state.m_bShowNow) {
    m_state.m_bShowNow = false;
    AdvancePage(true);
    return;
  }
  if (m_state.m_nPageDelay < 0) return;
  if (m_player.IsPlaying()) return;
  if (m_state.m_nPageDelay == 0) {
    AdvancePage(false);
    return;
  }
  if (m_player.TotalFrames() - 1 > m_player.CurrentFrame()) return;
  if (++m_state.m_nEndTicks < kEndTicks) return;
  m_state.m_nEndTicks = 0;
  AdvancePage(false);
}

void LessonPlayback::AdvancePage(bool showNow) {
  if (m_state.m_nPageIndex >= m_pages.Count()) {
    EndOfLesson(showNow);
    return;
  }
  const LessonPage page = m_pages.Row(m_state.m_nPageIndex);
  m_state.m_nPageDelay =
      page.delay.IsEmpty() ? PlaybackState::kDefaultPageDelay : TextToInt(page.delay);
  ++m_state.m_nPageIndex;
  m_view.SetTitle(Cn("正在播放") + IntToText(m_state.m_nPageIndex));
  m_player.LoadMovie(0, requests::LessonPage(m_source.baseAddress, LessonDir(), page.name));
  m_player.Play();
  std::vector<Text> next;  // fetched ahead while this page plays
  if (m_state.m_nPageIndex < m_pages.Count())
    next.push_back(requests::LessonPage(m_source.baseAddress, LessonDir(),
                                        m_pages.Row(m_state.m_nPageIndex).name));
  m_player.NextMovies(next);
}

void LessonPlayback::EndOfLesson(bool showNow) {
  if (!m_view.AutoNextChecked()) {
    StopPlayback();
    return;
  }
  const int next = m_nLessonRow + 1;
  if (m_nLessonRow < 0 || next >= m_entries.Count() || !(m_entries.Row(next).type == kLessonType)) {
    StopPlayback();
    return;
  }
  // The delay rule waits on the movie still on screen. After a page button
  // (the movie may loop or play on) or a page only a button can end, no
  // rule would ever end that wait: the next lesson starts at once.
  if (showNow || m_state.m_nPageDelay < 0) m_state.m_bShowNow = true;
  LoadLessonContent(next);
}

void LessonPlayback::StopPlayback() {
  StopTimer();
  m_view.ShowButtonRow(true);
  m_view.SetTitle(Cn("主窗口"));
  m_view.ShowBlankPage();
}

bool LessonPlayback::OnAdvertisement() const {
  const int row = m_state.m_nPageIndex - 1;
  return row >= 0 && row < m_pages.Count() && IsAdvertisementPage(m_pages.Row(row).name);
}

void LessonPlayback::OnPrevPage() {
  m_state.m_ptLastClick = m_view.CursorPosition();
  if (m_state.m_nPageIndex <= 0) return;
  if (OnAdvertisement()) return;
  // A change is already pending: pressed twice, it still moves back once.
  if (m_state.m_bShowNow) return;
  m_state.m_nPageIndex = std::max(0, m_state.m_nPageIndex - 2);
  m_state.m_bShowNow = true;
}

void LessonPlayback::OnNextPage() {
  m_state.m_ptLastClick = m_view.CursorPosition();
  if (m_state.m_nPageIndex <= 0) return;
  if (OnAdvertisement()) return;
  m_state.m_bShowNow = true;
}

void LessonPlayback::OnPauseResume() {
  m_state.m_ptLastClick = m_view.CursorPosition();
  if (m_state.m_bPaused) {
    m_view.SetPauseButtonText(Cn("暂停"));
    m_player.Play();
    m_state.m_bPaused = false;
  } else {
    m_view.SetPauseButtonText(Cn("继续"));
    m_player.StopPlay();
    m_state.m_bPaused = true;
  }
}

}  // namespace zorva
