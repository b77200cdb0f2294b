#include "feedback/suggestion_flow.h"

#include "core/cp936.h"
#include "core/toolkit.h"
#include "core/xml.h"
#include "net/service_requests.h"
#include "net/transfer.h"
#include "platform/message_box.h"
#include "platform/program_values.h"

namespace zorva {

namespace {

Text T(const char* utf8) { return FromUtf8(utf8); }

}  // namespace

Text SuggestionFlow::CutToBytes(const Text& text, int count) {
  if (count <= 0) return {};
  if (text.GetLength() <= count) return text;
  Text cut = text.Left(count);
  // A cut inside a two-byte character leaves its lead byte behind; a cut
  // inside a line break leaves its carriage return. Neither is a character
  // the box could show.
  if (!Text::IsCharBoundary(text.view(), count) ||
      (cut[count - 1] == '\r' && text[count] == '\n')) {
    cut = cut.Left(cut.GetLength() - 1);
  }
  return cut;
}

void SuggestionFlow::CounterTick() {
  Text text = m_view.SuggestionText();
  int length = text.GetLength();
  if (length > kMaxBytes) {
    text = CutToBytes(text, kMaxBytes);
    m_view.SetSuggestionText(text);
    length = text.GetLength();
  }
  m_view.SetCounterText(T("当前还可以输入") + IntToText((kMaxBytes - length) / 2) + T("个汉字"));
}

void SuggestionFlow::Save() {
  Text text = m_view.SuggestionText();
  const int length = text.GetLength();
  const int category = m_view.SelectedCategory();
  if (category < 0) {
    ShowMessage(T("请选择分类！"), m_view.MessageOwner());
    return;
  }
  if (length > kMaxBytes) {
    ShowMessage(T("字数超过50个了！请修改！"), m_view.MessageOwner());
    return;
  }
  if (length < kMinBytes) {
    ShowMessage(T("字数小于5个了！字数太少,我们看不明白的哦。呵呵。请修改！"),
                m_view.MessageOwner());
    return;
  }

  // The service keeps the text in a store that takes an apostrophe for a
  // quote of its own.
  text.Replace("'", "\"");

  // The counter stays stopped from here on, also when the save fails.
  m_view.StopCounterTimer();

  const SignInValues& signedIn = SignedIn();
  Text reply;
  // Without a server there is nowhere to send the suggestion to.
  if (!ServerBaseAddress().IsEmpty()) {
    reply = FetchText(requests::Suggestion(ServerBaseAddress(), signedIn.userName,
                                           signedIn.password, IntToText(category), text));
  }
  const Text value = GetXmlValue(reply, "save_static", "", "", "");
  MutableSignedIn().lastReply = value;

  if (value == "ok") {
    ShowMessage(T("保存成功！"), m_view.MessageOwner());
    m_view.EndWithOk();
    return;
  }
  m_view.SetExplanationText(T("糟糕，在保存的时候发生了错误！"));
  m_view.FocusSuggestionText();
}

}  // namespace zorva
