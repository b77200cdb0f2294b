#pragma once

#include <memory>

#include <QDialog>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>

#include "platform/widget_status.h"
#include "signin/sign_in_flow.h"

namespace Ui {
class login_form;
}

namespace zorva {

// The login dialog, the gate of the program. exec() gives 1 after a
// successful sign-in and 2 when the user cancelled (Esc or the close box);
// when the update hand-off posts the quit request, the modal loop ends on it
// without either. The logic lives in SignInFlow; the dialog shows it.
class Clogin_form : public QDialog, private SignInView {
  Q_OBJECT

 public:
  explicit Clogin_form(QWidget* parent = nullptr);
  ~Clogin_form() override;

  // The handler of "登录" and the Enter key.
  void SignIn();
  void EnableInputControls(bool enable) override;

  bool IsCountingDown() const { return m_countdownTimer != 0; }

 public slots:
  void reject() override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void timerEvent(QTimerEvent* event) override;

 private:
  // SignInView
  Text UserName() const override;
  void SetUserName(const Text& name) override;
  std::vector<Text> SavedUserNames() const override;
  void InsertSavedUserName(int index, const Text& name) override;
  Text Password() const override;
  void SetPassword(const Text& password) override;
  void SelectWholePassword() override;
  bool AutoLoginChecked() const override;
  void SetAutoLoginChecked(bool checked) override;
  void FocusUserName() override;
  void FocusPassword() override;
  StatusWindow* StatusLine() override { return &m_statusWindow; }
  void RepaintStatusLine() override;
  ProgressBar* DownloadProgress() override { return &m_progress; }
  QWidget* MessageOwner() override { return this; }
  void StartCountdown() override;
  void StopCountdown() override;
  void EndWithOk() override;

  void OpenHelpPage();
  void ToggleAutoLogin();

  std::unique_ptr<Ui::login_form> m_ui;
  LabelStatusWindow m_statusWindow;
  WidgetProgressBar m_progress;
  SignInFlow m_flow;
  int m_countdownTimer = 0;
  QPointer<QWidget> m_focusBeforeDisabling;
};

}  // namespace zorva
