#include "lessons/lesson_playback.h"

#include <QScopedValueRollback>

#include <algorithm>

#include "controls/movie_player.h"
#include "core/cp936.h"
#include "core/toolkit.h"
#include "core/xml.h"
#include "lessons/entry_table.h"
#include "lessons/program_items.h"
#include "net/service_requests.h"
#include "net/transfer.h"
#include "platform/message_box.h"
#include "platform/program_values.h"

namespace zorva {

namespace {

constexpr char kLessonType[] = "lesson";
// Page list reading goes on across this many missing orders in a row.
constexpr int kMaxPageGaps = 10;
// Delay of a page whose page list entry gives none.
constexpr int kDefaultPageDelay = 6;
// Still ticks before the button row hides, and ticks a page stands stopped
// at its last frame before it counts as over.
constexpr int kIdleTicksBeforeHiding = 3;
constexpr int kEndTicks = 4;

Text Cn(const char* utf8) { return FromUtf8(utf8); }

}  // namespace

LessonPlayback::LessonPlayback(PlaybackView& view, MoviePlayer& player, const EntryTable& entries,
                               PageTable& pages, PlaybackState& state)
    : m_view(view), m_player(player), m_entries(entries), m_pages(pages), m_state(state) {}

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
  m_state.m_strLessonDir = entry.dir;
  m_state.m_nPageIndex = 0;
  m_state.m_bPaused = false;
  m_view.SetPauseButtonText(Cn("暂停"));
  m_state.m_bShowNow = true;
  m_view.HideTreeAndPageStore();
  m_view.ShowButtonRow(false);
  LoadLessonContent(entry.title);
}

void LessonPlayback::LoadLessonContent(const Text& title) {
  const int row = m_entries.FindTitle(title);
  if (row < 0) {
    m_view.SetTitle(Cn("正在读取课程内容..."));
    ShowMessage(Cn("请选择一个课程！"), m_view.MessageOwner());
    return;
  }
  LoadLessonRow(row);
}

void LessonPlayback::LoadLessonRow(int row) {
  m_view.SetTitle(Cn("正在读取课程内容..."));
  m_nLessonRow = row;
  m_state.m_strLessonDir = m_entries.Row(row).dir;

  Text reply;
  {
    const QScopedValueRollback<bool> running(m_bRequestRunning, true);
    const SignInValues& user = SignedIn();
    reply = FetchText(requests::Lesson(ServerBaseAddress(), user.userName, user.password,
                                       m_state.m_strLessonDir));
  }
  if (reply.IsEmpty()) {
    // Back to idle: a timer left running would go on with the previous
    // lesson's pages under this lesson's folder.
    m_view.StopPlaybackTimer();
    m_view.SetTitle(Cn("主窗口：读取网络信息出错！"));
    m_view.ShowButtonRow(true);
    return;
  }

  m_pages.Clear();
  for (int order = 1, gaps = 0; gaps <= kMaxPageGaps; ++order) {
    const Text orderText = IntToText(order);
    Text name = GetXmlValue(reply, "file", "order", orderText, "name");
    const Text delay = GetXmlValue(reply, "file", "order", orderText, "delay_time");
    name.Replace(".html", ".swf");
    if (name.IsEmpty()) {
      ++gaps;
      continue;
    }
    m_pages.Insert(order - 1, {name, delay});
    gaps = 0;
  }

  m_state.m_nPageIndex = 0;
  m_view.StartPlaybackTimer();
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
    AdvancePage();
    return;
  }
  if (m_state.m_nPageDelay < 0) return;
  if (m_player.IsPlaying()) return;
  if (m_state.m_nPageDelay == 0) {
    AdvancePage();
    return;
  }
  if (m_player.TotalFrames() - 1 > m_player.CurrentFrame()) return;
  if (++m_state.m_nEndTicks < kEndTicks) return;
  m_state.m_nEndTicks = 0;
  AdvancePage();
}

void LessonPlayback::AdvancePage() {
  if (m_state.m_nPageIndex >= m_pages.Count()) {
    EndOfLesson();
    return;
  }
  const LessonPage page = m_pages.Row(m_state.m_nPageIndex);
  m_state.m_nPageDelay = page.delay.IsEmpty() ? kDefaultPageDelay : TextToInt(page.delay);
  ++m_state.m_nPageIndex;
  m_view.SetTitle(Cn("正在播放") + IntToText(m_state.m_nPageIndex));
  m_player.LoadMovie(0,
                     requests::LessonPage(ServerBaseAddress(), m_state.m_strLessonDir, page.name));
  m_player.Play();
  std::vector<Text> next;  // fetched ahead while this page plays
  if (m_state.m_nPageIndex < m_pages.Count())
    next.push_back(requests::LessonPage(ServerBaseAddress(), m_state.m_strLessonDir,
                                        m_pages.Row(m_state.m_nPageIndex).name));
  m_player.NextMovies(next);
}

void LessonPlayback::EndOfLesson() {
  if (!m_view.AutoNextChecked()) {
    StopPlayback();
    return;
  }
  int current = m_nLessonRow;
  if (current < 0 || current >= m_entries.Count())
    current = std::max(0, m_entries.FindDir(m_state.m_strLessonDir));
  const int next = current + 1;
  if (next >= m_entries.Count() || !(m_entries.Row(next).type == kLessonType)) {
    StopPlayback();
    return;
  }
  // A last page that only the page buttons could end leaves no delay rule
  // that could ever end the next lesson's wait for its first page.
  if (m_state.m_nPageDelay < 0) m_state.m_bShowNow = true;
  LoadLessonRow(next);
}

void LessonPlayback::StopPlayback() {
  m_view.StopPlaybackTimer();
  m_view.ShowButtonRow(true);
  m_view.SetTitle(Cn("主窗口"));
  m_view.ShowBlankPage();
}

bool LessonPlayback::OnAdvertisement() const {
  const int row = m_state.m_nPageIndex - 1;
  return row >= 0 && row < m_pages.Count() && m_pages.Row(row).name.Lower().Find("_ad") >= 0;
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
