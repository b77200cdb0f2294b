#include "signin/sign_in_flow.h"

#include <QScopedValueRollback>

#include "core/cp936.h"
#include "core/toolkit.h"
#include "core/xml.h"
#include "net/server_selection.h"
#include "net/service_requests.h"
#include "net/transfer.h"
#include "net/update_check.h"
#include "platform/program_values.h"
#include "platform/shell.h"
#include "signin/saved_users.h"

namespace zorva {

namespace {

constexpr int kCountdownTicks = 3;
constexpr char kCountdownText[] =
    "即将自动登录，您可以点击自动登录选项来取消自动登录，自动登录剩余时间：";

}  // namespace

void SignInFlow::SetStatus(const Text& text) {
  if (StatusWindow* status = m_view.StatusLine()) status->SetText(text);
}

void SignInFlow::SetStatusAndRepaint(const Text& text) {
  SetStatus(text);
  m_view.RepaintStatusLine();
}

void SignInFlow::LoadSavedUsers() {
  m_autoLoginTicks = 0;
  const SavedUsersFile file = zorva::LoadSavedUsers();
  for (size_t i = 0; i < file.names.size(); ++i) {
    m_view.InsertSavedUserName(static_cast<int>(i), file.names[i]);
  }
  m_view.SetUserName(file.defaultUser);
  if (file.autoLogin) m_view.SetAutoLoginChecked(true);
  if (m_view.AutoLoginChecked()) {
    SetStatus(FromUtf8(kCountdownText) + "3  " + FromUtf8("秒"));
    m_view.StartCountdown();
  }
}

void SignInFlow::CountdownTick() {
  if (!m_view.AutoLoginChecked()) {
    // Cancelled: the status line keeps the last countdown text.
    m_view.StopCountdown();
    return;
  }
  const Text user = m_view.UserName();
  ++m_autoLoginTicks;
  if (m_autoLoginTicks < kCountdownTicks) {
    SetStatus(FromUtf8(kCountdownText) + "  " + IntToText(kCountdownTicks - m_autoLoginTicks) +
              "  " + FromUtf8("秒"));
    return;
  }
  m_view.StopCountdown();
  m_view.SetPassword(LoadSavedPassword(user, m_view.StatusLine()));
  SignIn();
}

void SignInFlow::SignIn() {
  if (m_signingIn) return;
  const QScopedValueRollback<bool> running(m_signingIn, true);
  RunSignIn();
  // Every way out leaves the input controls usable; after a success the
  // dialog is already ending and this has no visible effect.
  m_view.EnableInputControls(true);
}

void SignInFlow::RunSignIn() {
  m_view.StopCountdown();
  const Text user = m_view.UserName();
  const Text password = m_view.Password();
  m_view.EnableInputControls(false);

  if (user.IsEmpty()) {
    SetStatus(FromUtf8("对不起，您是不是忘记输入用户名称了？"));
    // Enabled first: a disabled box cannot take the focus.
    m_view.EnableInputControls(true);
    m_view.FocusUserName();
    return;
  }

  SetStatusAndRepaint(FromUtf8("正在检查您的互联网连接......"));
  SelectServer();
  m_view.EnableInputControls(true);
  const Text base = ServerBaseAddress();
  if (base.IsEmpty()) {
    SetStatus(FromUtf8("对不起，无法获取服务器信息!劳烦您检查一下您的互联网连接是否正确!!!"));
    return;
  }

  SetStatusAndRepaint(FromUtf8("太好了，服务器连接正常！现在正在检查是否存在新版本......"));
  ReplaceUpdater();
  if (!m_updateHandOffFailed) {
    switch (
        CheckProgramUpdate(m_view.MessageOwner(), m_view.DownloadProgress(), m_view.StatusLine())) {
      case UpdateCheckResult::GoOn:
        break;
      case UpdateCheckResult::HandedOver:
        return;
      case UpdateCheckResult::Failed:
        // The status line says what failed; the dialog stays for the user.
        m_updateHandOffFailed = true;
        return;
    }
  }

  SetStatusAndRepaint(FromUtf8("不错，服务器连接正常！现在正在向服务器认证用户和密码......"));
  const Text reply = FetchText(requests::SignIn(base, user, password));
  SignInValues& values = MutableSignedIn();
  values.lastReply = GetXmlValue(reply, "user_login", "", "", "");

  if (values.lastReply.IsEmpty()) {
    SetStatus(FromUtf8("糟糕，在登录的时候发生了错误，可能是用户名称或密码错误！"));
    m_view.EnableInputControls(true);
    m_view.FocusUserName();
    return;
  }
  // Only the exact lower-case "ok" is a success.
  if (!(values.lastReply == "ok")) {
    SetStatus(FromUtf8("用户名称或密码不对哦!再输入看看。"));
    m_view.SelectWholePassword();
    m_view.EnableInputControls(true);
    m_view.FocusPassword();
    return;
  }

  SetStatus(FromUtf8("恭喜您，登录成功!现在正在处理信息......"));
  values.userName = user;
  values.password = password;
  values.userType = GetXmlValue(reply, "user_type", "", "", "");

  SaveUsers(m_view.SavedUserNames(), user, password, m_view.AutoLoginChecked(),
            m_view.StatusLine());

  SetStatus(Text());
  m_view.EndWithOk();
}

void SignInFlow::OpenRegistrationPage() {
  SelectServer();
  m_view.EnableInputControls(true);
  const Text base = ServerBaseAddress();
  if (!base.IsEmpty()) ShellOpenDocument(requests::Registration(base));
}

}  // namespace zorva
