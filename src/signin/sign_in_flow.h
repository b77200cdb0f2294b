#pragma once

#include <vector>

#include "core/status_window.h"
#include "core/text.h"

class QWidget;

namespace zorva {

// What the sign-in flow asks of the login dialog. The dialog implements it;
// tests drive the flow through a plain object instead.
class SignInView {
 public:
  virtual ~SignInView() = default;

  // The user name box: its edit text and its list of saved names.
  virtual Text UserName() const = 0;
  virtual void SetUserName(const Text& name) = 0;
  virtual std::vector<Text> SavedUserNames() const = 0;
  virtual void InsertSavedUserName(int index, const Text& name) = 0;

  virtual Text Password() const = 0;
  virtual void SetPassword(const Text& password) = 0;
  // Selects the whole password text so that typing replaces it.
  virtual void SelectWholePassword() = 0;

  virtual bool AutoLoginChecked() const = 0;
  virtual void SetAutoLoginChecked(bool checked) = 0;

  // The user name box, the password box and the buttons "登录", "取消" and
  // "注册新用户"; labels, the check box, "帮助" and the status line stay.
  virtual void EnableInputControls(bool enable) = 0;
  virtual void FocusUserName() = 0;
  virtual void FocusPassword() = 0;

  // The status line; Repaint paints it at once, before a blocking step.
  virtual StatusWindow* StatusLine() = 0;
  virtual void RepaintStatusLine() = 0;
  virtual ProgressBar* DownloadProgress() = 0;
  // Owner of the update question.
  virtual QWidget* MessageOwner() = 0;

  // The auto-login countdown timer (1000 ms).
  virtual void StartCountdown() = 0;
  virtual void StopCountdown() = 0;

  // Ends the dialog with OK.
  virtual void EndWithOk() = 0;
};

// The login dialog's logic: loading the saved users, the auto-login
// countdown, the sign-in itself and the registration page.
class SignInFlow {
 public:
  explicit SignInFlow(SignInView& view) : m_view(view) {}

  // Fills the user name box from the users file, presets the last user and
  // the check box, and starts the countdown when automatic sign-in is on.
  void LoadSavedUsers();

  // One tick of the countdown: after the third, the saved password is filled
  // in and the sign-in runs. A cleared check box stops the countdown.
  void CountdownTick();

  // Signs the user in. A call while a sign-in is running is ignored: the
  // codec and the download pump messages, so a click can arrive inside.
  void SignIn();

  // Opens the service's registration page once a server answered.
  void OpenRegistrationPage();

  bool IsSigningIn() const { return m_signingIn; }
  int AutoLoginTicks() const { return m_autoLoginTicks; }

 private:
  void RunSignIn();
  void SetStatus(const Text& text);
  void SetStatusAndRepaint(const Text& text);

  SignInView& m_view;
  int m_autoLoginTicks = 0;
  bool m_signingIn = false;
  // A program update the user accepted could not be handed over: the next
  // attempt of this dialog signs in without asking again.
  bool m_updateHandOffFailed = false;
};

}  // namespace zorva
