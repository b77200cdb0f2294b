#include "signin/login_form.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QSpontaneKeyEvent>
#include <QTest>
#include <QTimer>

#include "controls/static_ex.h"
#include "controls/xp_button.h"
#include "core/cp936.h"
#include "platform/dialog_units.h"
#include "platform/program_values.h"
#include "platform/qt_text.h"
#include "platform/quit.h"
#include "signin/saved_users.h"
#include "signin_test_env.h"
#include "support/server_process.h"

namespace zorva::test {
namespace {

const std::string kCountdown =
    "即将自动登录，您可以点击自动登录选项来取消自动登录，自动登录剩余时间：";
const std::string kWrongPassword = "用户名称或密码不对哦!再输入看看。";
const std::string kErrorReply = "糟糕，在登录的时候发生了错误，可能是用户名称或密码错误！";
const QColor kBackground(228, 239, 255);
constexpr int kGenerousMs = 30000;

// The dialog's parts, found the way a test sees them.
struct Parts {
  explicit Parts(Clogin_form& form)
      : userName(form.findChild<QComboBox*>("userName")),
        password(form.findChild<QLineEdit*>("password")),
        status(form.findChild<CStaticEx*>("statusLine")),
        autoLogin(form.findChild<QCheckBox*>("autoLogin")),
        autoLoginLabel(form.findChild<CStaticEx*>("labelAutoLogin")),
        signIn(form.findChild<CXPButton*>("signInButton")),
        cancel(form.findChild<CXPButton*>("cancelButton")),
        registerPage(form.findChild<CXPButton*>("registerButton")),
        help(form.findChild<CXPButton*>("helpButton")),
        progress(form.findChild<QProgressBar*>("progress")) {}

  std::string Status() const { return status->text().toStdString(); }
  bool InputEnabled() const {
    return userName->isEnabled() && password->isEnabled() && signIn->isEnabled() &&
           cancel->isEnabled() && registerPage->isEnabled();
  }

  QComboBox* userName;
  QLineEdit* password;
  CStaticEx* status;
  QCheckBox* autoLogin;
  CStaticEx* autoLoginLabel;
  CXPButton* signIn;
  CXPButton* cancel;
  CXPButton* registerPage;
  CXPButton* help;
  QProgressBar* progress;
};

bool HasFocus(Clogin_form& form, QWidget* widget) {
  QWidget* focus = form.focusWidget();
  return focus == widget || (focus && focus->parentWidget() == widget);
}

// Runs the dialog modally; act runs once the modal loop is up. Status texts
// are sampled on the way, for the countdown.
struct ModalRun {
  int result = -1;
  std::vector<std::string> statuses;
};
ModalRun RunModal(Clogin_form& form, std::function<void()> act) {
  ModalRun run;
  Parts parts(form);
  QTimer sampler;
  QObject::connect(&sampler, &QTimer::timeout, [&] {
    const std::string text = parts.Status();
    if (run.statuses.empty() || run.statuses.back() != text) run.statuses.push_back(text);
  });
  sampler.start(20);
  // A dialog that never ends would hang the test: cancel it after a while.
  QTimer::singleShot(60000, &form, [&form] { form.reject(); });
  if (act) QTimer::singleShot(0, &form, act);
  run.result = form.exec();
  return run;
}

// Runs the form modally while a user types `name`, no password, and clicks
// the sign-in button.
ModalRun RunSignInByName(Clogin_form& form, const char* name = "ann") {
  Parts parts(form);
  return RunModal(form, [&] {
    parts.userName->setEditText(name);
    parts.signIn->click();
  });
}

class LoginFormTest : public SignInEnvironment {
 protected:
  void SetUp() override {
    SignInEnvironment::SetUp();
    WriteBytes(Local("zorva.xml"), "<zorva>2.0</zorva>");
    m_service.SetBody("/zorva.xml", "<zorva>2.0</zorva>");
    UseServers({m_service.BaseUrl()});
  }

  void SignInReply(const std::string& body) { m_service.SetBody("/Handler.asp", body); }

  FakeService m_service;
};

// The stand-in server with a user, for the replies of the real service.
class LoginFormWithServer : public LoginFormTest {
 protected:
  static void SetUpTestSuite() {
    EnsureApplication();
    std::string pattern = ::testing::TempDir() + "zorva-signin-content-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    s_content = std::make_unique<std::string>(pattern);
    WriteBytes(*s_content + "/zorva.xml", "<zorva>2.0</zorva>\n");
    WriteBytes(*s_content + "/dl/download.xml", "<job>program</job>\n");
    s_server = std::make_unique<ServerProcess>(ServerProcess::Options{*s_content});
    ASSERT_TRUE(s_server->AddUser("ann", "Right1", "vip"));
  }
  static void TearDownTestSuite() {
    s_server.reset();
    if (s_content) std::filesystem::remove_all(*s_content);
    s_content.reset();
  }
  void SetUp() override {
    LoginFormTest::SetUp();
    UseServers({DeadAddress(), s_server->BaseUrl()});
  }

  static std::unique_ptr<std::string> s_content;
  static std::unique_ptr<ServerProcess> s_server;
};
std::unique_ptr<std::string> LoginFormWithServer::s_content;
std::unique_ptr<ServerProcess> LoginFormWithServer::s_server;

TEST_F(LoginFormTest, LooksLikeItsTemplate) {
  Clogin_form form;
  Parts parts(form);
  EXPECT_EQ(form.windowTitle().toStdString(), "欢迎您进入Zorva学习娱乐空间");
  EXPECT_TRUE(form.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(form.size(), DluSize(226, 137));

  struct Placed {
    QWidget* widget;
    QRect dlu;
  };
  for (const Placed& p :
       {Placed{parts.password, {79, 59, 88, 14}}, Placed{parts.status, {18, 77, 193, 18}},
        Placed{parts.autoLogin, {99, 95, 9, 10}}, Placed{parts.autoLoginLabel, {110, 95, 50, 8}},
        Placed{parts.signIn, {10, 109, 49, 14}}, Placed{parts.cancel, {60, 109, 50, 14}},
        Placed{parts.registerPage, {137, 109, 49, 14}}, Placed{parts.help, {188, 109, 32, 14}},
        Placed{parts.progress, {0, 129, 223, 7}}}) {
    EXPECT_EQ(p.widget->geometry(), DluRect(p.dlu.x(), p.dlu.y(), p.dlu.width(), p.dlu.height()))
        << p.widget->objectName().toStdString();
  }
  EXPECT_EQ(parts.userName->pos(), DluRect(79, 43, 88, 14).topLeft());

  EXPECT_TRUE(parts.cancel->isHidden());
  EXPECT_TRUE(parts.progress->isHidden());
  EXPECT_TRUE(parts.userName->isEditable());
  EXPECT_EQ(parts.password->echoMode(), QLineEdit::Password);
  EXPECT_TRUE(parts.autoLogin->text().isEmpty());
  EXPECT_EQ(parts.autoLoginLabel->text().toStdString(), "下次自动登录");
  EXPECT_TRUE(parts.autoLoginLabel->Notify());
  for (const char* name : {"labelUser", "labelPassword", "statusLine", "labelAutoLogin"}) {
    EXPECT_EQ(form.findChild<CStaticEx*>(name)->BackgroundColor(), kBackground) << name;
  }
  EXPECT_TRUE(parts.signIn->isDefault());
  EXPECT_TRUE(parts.signIn->m_bShowIcon);
  EXPECT_TRUE(parts.cancel->m_bShowIcon);
  EXPECT_FALSE(parts.registerPage->m_bShowIcon);

  // Background with the frame inset 15/65/15/50.
  const QImage image = form.grab().toImage();
  const int w = image.width();
  const int h = image.height();
  EXPECT_EQ(QColor(image.pixel(5, 100)), kBackground);
  EXPECT_EQ(QColor(image.pixel(15, 100)), QColor(100, 0, 255));
  EXPECT_EQ(QColor(image.pixel(w - 16, 100)), QColor(100, 0, 255));
  EXPECT_EQ(QColor(image.pixel(w - 15, 100)), kBackground);
  EXPECT_EQ(QColor(image.pixel(8, 65)), kBackground);
  EXPECT_EQ(QColor(image.pixel(8, h - 51)), kBackground);
  EXPECT_EQ(QColor(image.pixel(15, h - 52)), QColor(100, 0, 255));
}

TEST_F(LoginFormTest, EmptyUserNameAsksForItWithoutTouchingTheNetwork) {
  Clogin_form form;
  Parts parts(form);
  form.show();
  parts.password->setText("pw");
  parts.signIn->click();
  EXPECT_EQ(parts.Status(), "对不起，您是不是忘记输入用户名称了？");
  EXPECT_TRUE(HasFocus(form, parts.userName));
  EXPECT_TRUE(parts.InputEnabled());
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(m_service.RequestCount(), 0);
}

TEST_F(LoginFormTest, NoServerSaysSoAndKeepsTheDialogOpen) {
  UseServers({});
  Clogin_form form;
  Parts parts(form);
  form.show();
  parts.userName->setEditText("ann");
  ASSERT_TRUE(HasFocus(form, parts.password));
  parts.signIn->click();
  EXPECT_EQ(parts.Status(), "对不起，无法获取服务器信息!劳烦您检查一下您的互联网连接是否正确!!!");
  EXPECT_TRUE(parts.InputEnabled());
  EXPECT_TRUE(form.isVisible());
  // Disabling the boxes took the focus away; it comes back where it was,
  // not on the check box where a typed blank would toggle automatic sign-in.
  EXPECT_TRUE(HasFocus(form, parts.password));
}

struct ReplyCase {
  const char* name;
  const char* body;  // nullptr: no handler page at all (404)
  std::string status;
  bool focusPassword;
};
void PrintTo(const ReplyCase& c, std::ostream* os) { *os << c.name; }

class UnusableReplyTest : public LoginFormTest, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(UnusableReplyTest, KeepsTheDialogOpenWithItsStatus) {
  if (GetParam().body) SignInReply(GetParam().body);
  Clogin_form form;
  Parts parts(form);
  form.show();
  parts.userName->setEditText("ann");
  parts.password->setText("Secret");
  parts.signIn->click();
  EXPECT_EQ(parts.Status(), GetParam().status);
  EXPECT_TRUE(parts.InputEnabled());
  EXPECT_TRUE(form.isVisible());
  EXPECT_TRUE(HasFocus(
      form, GetParam().focusPassword ? static_cast<QWidget*>(parts.password) : parts.userName));
  EXPECT_EQ(SignedIn().userName, Text());
  EXPECT_FALSE(Exists(Local("zorva_user.xml")));
}

INSTANTIATE_TEST_SUITE_P(
    Replies, UnusableReplyTest,
    ::testing::Values(
        ReplyCase{"NotXml", "<html><body>Server Error</body></html>", kErrorReply, false},
        ReplyCase{"EmptyStatus", "<user_login></user_login>", kErrorReply, false},
        ReplyCase{"NoHandlerPage", nullptr, kErrorReply, false},
        ReplyCase{"UpperCaseOkIsNoSuccess", "<user_login>OK</user_login>", kWrongPassword, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LoginFormWithServer, WrongPasswordSelectsItForRetyping) {
  Clogin_form form;
  Parts parts(form);
  form.show();
  parts.userName->setEditText("ann");
  parts.password->setText("wrong9");
  parts.signIn->click();
  EXPECT_EQ(parts.Status(), kWrongPassword);
  EXPECT_EQ(parts.password->selectedText().toStdString(), "wrong9");
  EXPECT_TRUE(HasFocus(form, parts.password));
  EXPECT_TRUE(parts.InputEnabled());
  EXPECT_FALSE(SignedIn().lastReply.IsEmpty());
  EXPECT_FALSE(SignedIn().lastReply == "ok");
}

TEST_F(LoginFormWithServer, SuccessEndsWithOkAndSavesTheUser) {
  SaveUsers({Text("bob")}, Text("bob"), Text(), false, nullptr);
  Clogin_form form;
  Parts parts(form);
  ASSERT_EQ(parts.userName->count(), 1);
  EXPECT_EQ(parts.userName->currentText().toStdString(), "bob");

  const ModalRun run = RunModal(form, [&] {
    parts.userName->setEditText("ann");
    parts.password->setText("Right1");
    parts.autoLogin->setChecked(true);
    parts.signIn->click();
  });
  EXPECT_EQ(run.result, 1);
  EXPECT_EQ(parts.Status(), "");
  EXPECT_EQ(SignedIn().userName, Text("ann"));
  EXPECT_EQ(SignedIn().password, Text("Right1"));
  EXPECT_EQ(SignedIn().lastReply, Text("ok"));
  EXPECT_EQ(SignedIn().userType, Text("vip"));
  EXPECT_EQ(ReadBytes(Local("zorva_user.xml")),
            "<user name=\"bob\" order=\"1\" />\r\n<user name=\"ann\" order=\"2\" />"
            "<default_user_name>ann</default_user_name>\r\n<auto_login>true</auto_login>");
  EXPECT_EQ(Mode(Local("ann.dat")), 0600);
  EXPECT_FALSE(Exists(Local("temp.tmp")));
  EXPECT_TRUE(m_questions.empty());
}

TEST_F(LoginFormWithServer, CountdownSignsInWithTheSavedPasswordLowerCased) {
  SaveUsers({}, Text("ann"), Text("RIGHT1"), true, nullptr);
  Clogin_form form;
  Parts parts(form);
  EXPECT_EQ(parts.Status(), kCountdown + "3  秒");
  EXPECT_TRUE(parts.autoLogin->isChecked());
  EXPECT_TRUE(form.IsCountingDown());

  const ModalRun run = RunModal(form, nullptr);
  EXPECT_EQ(run.result, 1);
  const std::vector<std::string> countdown(
      run.statuses.begin(), run.statuses.begin() + std::min<size_t>(3, run.statuses.size()));
  EXPECT_EQ(countdown, (std::vector<std::string>{kCountdown + "3  秒", kCountdown + "  2  秒",
                                                 kCountdown + "  1  秒"}));
  EXPECT_EQ(parts.password->text().toStdString(), "right1");
  EXPECT_EQ(SignedIn().password, Text("right1"));
  EXPECT_FALSE(Exists(Local("temp.tmp")));
}

TEST_F(LoginFormTest, ClickOnTheAutoLoginLabelCancelsTheCountdown) {
  SaveUsers({}, Text("ann"), Text("pw"), true, nullptr);
  Clogin_form form;
  Parts parts(form);
  form.show();
  ASSERT_TRUE(form.IsCountingDown());
  QTest::mouseClick(parts.autoLoginLabel, Qt::LeftButton);
  EXPECT_FALSE(parts.autoLogin->isChecked());
  // The next tick notices and stops; the status keeps its countdown text.
  EXPECT_TRUE(QTest::qWaitFor([&] { return !form.IsCountingDown(); }, kGenerousMs));
  EXPECT_EQ(parts.Status().rfind(kCountdown, 0), 0u);
  EXPECT_EQ(m_service.RequestCount(), 0);
  EXPECT_TRUE(form.isVisible());

  QTest::mouseClick(parts.autoLoginLabel, Qt::LeftButton);
  EXPECT_TRUE(parts.autoLogin->isChecked());
  EXPECT_FALSE(form.IsCountingDown());
}

TEST_F(LoginFormTest, EnterInEitherBoxSignsIn) {
  SignInReply("<user_login>ok</user_login>");
  for (const char* box : {"password", "userName"}) {
    Clogin_form form;
    Parts parts(form);
    const ModalRun run = RunModal(form, [&] {
      parts.userName->setEditText("ann");
      QWidget* target = std::string(box) == "password" ? static_cast<QWidget*>(parts.password)
                                                       : parts.userName->lineEdit();
      QTest::keyClick(target, Qt::Key_Return);
    });
    EXPECT_EQ(run.result, 1) << box;
    EXPECT_EQ(m_service.RequestCount("/Handler.asp"), std::string(box) == "password" ? 1 : 2);
  }
}

TEST_F(LoginFormTest, EscapeAndCloseBoxCancelWithTwo) {
  {
    Clogin_form form;
    Parts parts(form);
    EXPECT_EQ(RunModal(form, [&] { QTest::keyClick(parts.password, Qt::Key_Escape); }).result, 2);
  }
  {
    Clogin_form form;
    EXPECT_EQ(RunModal(form, [&] { form.close(); }).result, 2);
  }
  EXPECT_EQ(m_service.RequestCount(), 0);
}

TEST_F(LoginFormTest, FocusGoesToThePasswordBoxWhenShown) {
  Clogin_form form;
  form.show();
  EXPECT_TRUE(HasFocus(form, Parts(form).password));
}

// Restoring a minimised dialog: the window system shows it again, with a
// spontaneous show event, and the user's focus stays where it was.
TEST_F(LoginFormTest, FocusStaysWhenTheDialogIsShownAgainByTheSystem) {
  Clogin_form form;
  Parts parts(form);
  form.show();
  parts.userName->setFocus();
  ASSERT_TRUE(HasFocus(form, parts.userName));
  QShowEvent restored;
  QSpontaneKeyEvent::setSpontaneous(&restored);
  // Straight to notify, as QTest does: sendEvent would clear the flag.
  qApp->notify(&form, &restored);
  EXPECT_TRUE(HasFocus(form, parts.userName));
}

TEST_F(LoginFormTest, UpdateDeclinedGoesOnSigningIn) {
  m_service.SetBody("/zorva.xml", "<zorva>2.1</zorva>");
  SignInReply("<user_login>ok</user_login>");
  m_answerYes = false;
  Clogin_form form;
  const ModalRun run = RunSignInByName(form);
  EXPECT_EQ(run.result, 1);
  ASSERT_EQ(m_questions.size(), 1u);
  EXPECT_EQ(m_questions[0].text, "发现新版本，是否下载？");
  EXPECT_EQ(m_questions[0].caption, "信息");
  EXPECT_FALSE(Exists(Local("dl/download.xml")));
}

TEST_F(LoginFormTest, UpdateAcceptedHandsOverToTheUpdaterAndQuitsWithOne) {
  m_service.SetBody("/zorva.xml", "<zorva>2.1</zorva>");
  // Large enough for the progress bar's range (a step per 100 bytes).
  const std::string job = "<job>" + std::string(2000, 'p') + "</job>";
  m_service.SetBody("/dl/download.xml", job);
  SignInReply("<user_login>ok</user_login>");
  PlaceTestUpdater(m_dir);
  m_answerYes = true;
  Clogin_form form;
  Parts parts(form);
  const ModalRun run = RunSignInByName(form);
  EXPECT_NE(run.result, 1);
  EXPECT_EQ(HandledQuitCode(), 1);
  EXPECT_EQ(m_service.RequestCount("/Handler.asp"), 0);
  EXPECT_EQ(ReadBytes(Local("dl/download.xml")), job);
  // The download reported in the dialog's own status line and progress bar.
  EXPECT_EQ(parts.Status(), "完成下载文件:download.xml");
  EXPECT_GT(parts.progress->value(), 0);
  EXPECT_TRUE(parts.progress->isHidden());
  EXPECT_TRUE(UpdaterRan(m_dir));
  EXPECT_FALSE(Exists(Local("zorva_user.xml")));
  ClearHandledQuit();
}

// Only a job that arrived goes to an updater that started: otherwise the
// dialog stays with the reason in its status line, and signing in again goes
// on without the update.
struct HandOffCase {
  const char* name;
  const char* job;  // nullptr: the server has no job file (404)
  enum { Runnable, Missing, NotExecutable } updater;
  const char* status;  // what the status line says; nullptr: handed over
};

void PrintTo(const HandOffCase& c, std::ostream* os) { *os << c.name; }

class LoginFormHandOff : public LoginFormTest, public ::testing::WithParamInterface<HandOffCase> {};

TEST_P(LoginFormHandOff, HandsOverOnlyAJobThatArrivedToAnUpdaterThatStarted) {
  const HandOffCase& c = GetParam();
  m_service.SetBody("/zorva.xml", "<zorva>2.1</zorva>");
  if (c.job) m_service.SetBody("/dl/download.xml", c.job);
  SignInReply("<user_login>ok</user_login>");
  if (c.updater == HandOffCase::Runnable) PlaceTestUpdater(m_dir);
  if (c.updater == HandOffCase::NotExecutable) {
    WriteBytes(Local("zupdate.exe"), "#!/bin/sh\ntouch updater-ran\n");
  }
  m_answerYes = true;
  ResetHandledQuitCode();
  Clogin_form form;
  Parts parts(form);
  std::string firstStatus;
  const ModalRun run = RunModal(form, [&] {
    parts.userName->setEditText("ann");
    parts.signIn->click();
    if (!c.status) return;
    firstStatus = parts.Status();
    parts.signIn->click();
  });
  EXPECT_EQ(m_service.RequestCount("/dl/download.xml"), 1);
  // A job under 100 bytes gives the bar an empty range: still no busy bar.
  EXPECT_LT(parts.progress->minimum(), parts.progress->maximum());
  if (!c.status) {
    EXPECT_NE(run.result, 1);
    EXPECT_EQ(HandledQuitCode(), 1);
    EXPECT_EQ(m_service.RequestCount("/Handler.asp"), 0);
    EXPECT_TRUE(UpdaterRan(m_dir));
    ClearHandledQuit();
    return;
  }
  EXPECT_NE(firstStatus.find(c.status), std::string::npos) << firstStatus;
  EXPECT_EQ(run.result, 1);
  EXPECT_EQ(HandledQuitCode(), -1);
  EXPECT_EQ(m_questions.size(), 1u);
  EXPECT_EQ(m_service.RequestCount("/Handler.asp"), 1);
  EXPECT_FALSE(Exists(Local("updater-ran")));
}

INSTANTIATE_TEST_SUITE_P(
    Updates, LoginFormHandOff,
    ::testing::Values(
        HandOffCase{"SmallJob", "<job/>", HandOffCase::Runnable, nullptr},
        HandOffCase{"JobNotFound", nullptr, HandOffCase::Runnable, "无法下载新版本的更新任务"},
        HandOffCase{"UpdaterMissing", "<job/>", HandOffCase::Missing, "无法启动更新程序"},
        HandOffCase{"UpdaterNotExecutable", "<job/>", HandOffCase::NotExecutable,
                    "无法启动更新程序"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(LoginFormTest, DeliveredUpdaterIsMovedIntoPlaceAtSignIn) {
  WriteBytes(Local("dl/zupdate.exe"), "new updater");
  SignInReply("<user_login>no</user_login>");
  Clogin_form form;
  Parts parts(form);
  form.show();
  parts.userName->setEditText("ann");
  parts.signIn->click();
  EXPECT_EQ(ReadBytes(Local("zupdate.exe")), "new updater");
  EXPECT_FALSE(Exists(Local("dl/zupdate.exe")));
}

TEST_F(LoginFormTest, RegistrationAndHelpPagesAreOpenedByTheDesktop) {
  OpenedUrls opened;
  Clogin_form form;
  Parts parts(form);
  parts.registerPage->click();
  parts.help->click();
  ASSERT_EQ(opened.urls.size(), 2);
  EXPECT_EQ(opened.urls[0].toString().toStdString(), m_service.BaseUrl() + "/reg.asp");
  EXPECT_EQ(opened.urls[1], QUrl::fromLocalFile(QString::fromStdString(Local("help/help.htm"))));

  UseServers({});
  parts.registerPage->click();
  EXPECT_EQ(opened.urls.size(), 2);
}

}  // namespace
}  // namespace zorva::test
