#include "signin/sign_in_flow.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include <curl/curl.h>

#include <QCoreApplication>

#include <cstdio>

#include "core/codec.h"
#include "core/cp936.h"
#include "platform/program_values.h"
#include "platform/quit.h"
#include "signin/saved_users.h"
#include "signin_test_env.h"

namespace zorva::test {
namespace {

const std::string kCountdown =
    "即将自动登录，您可以点击自动登录选项来取消自动登录，自动登录剩余时间：";

// The dialog as the flow sees it, recording what the flow does to it.
class FakeView : public SignInView, public StatusWindow {
 public:
  Text UserName() const override { return userName; }
  void SetUserName(const Text& name) override { userName = name; }
  std::vector<Text> SavedUserNames() const override { return saved; }
  void InsertSavedUserName(int index, const Text& name) override {
    saved.insert(saved.begin() + index, name);
  }
  Text Password() const override { return password; }
  void SetPassword(const Text& text) override { password = text; }
  void SelectWholePassword() override { events.push_back("select password"); }
  bool AutoLoginChecked() const override { return autoLogin; }
  void SetAutoLoginChecked(bool checked) override { autoLogin = checked; }
  void EnableInputControls(bool enable) override {
    events.push_back(enable ? "enable" : "disable");
  }
  void FocusUserName() override { events.push_back("focus user name"); }
  void FocusPassword() override { events.push_back("focus password"); }
  StatusWindow* StatusLine() override { return this; }
  void RepaintStatusLine() override { events.push_back("repaint"); }
  ProgressBar* DownloadProgress() override { return nullptr; }
  QWidget* MessageOwner() override { return nullptr; }
  void StartCountdown() override { events.push_back("start countdown"); }
  void StopCountdown() override { events.push_back("stop countdown"); }
  void EndWithOk() override { events.push_back("ok"); }

  void SetText(const Text& text) override {
    status = ToUtf8(text);
    statuses.push_back(status);
    if (onStatus) onStatus();
  }

  Text userName;
  Text password;
  std::vector<Text> saved;
  bool autoLogin = false;
  std::string status;
  std::vector<std::string> statuses;
  std::vector<std::string> events;
  std::function<void()> onStatus;
};

bool Has(const std::vector<std::string>& events, const std::string& event) {
  return std::find(events.begin(), events.end(), event) != events.end();
}

class SignInFlowTest : public SignInEnvironment {
 protected:
  void SetUp() override {
    SignInEnvironment::SetUp();
    UseServers({m_service.BaseUrl()});
    m_service.SetBody("/zorva.xml", "<zorva>2.0</zorva>");
    WriteBytes(Local("zorva.xml"), "<zorva>2.0</zorva>");
    m_service.SetBody("/Handler.asp", "<user_login>ok</user_login><user_type>9</user_type>");
  }

  // A users file with automatic sign-in for ann and her saved password.
  void SaveAutoLogin(const char* password) {
    SaveUsers({Text("bob")}, Text("ann"), Text(password), true, nullptr);
  }

  FakeService m_service;
  FakeView m_view;
  SignInFlow m_flow{m_view};
};

TEST_F(SignInFlowTest, CountdownCountsThreeTwoOneThenSignsInWithTheSavedPassword) {
  SaveAutoLogin("Secret7");
  m_flow.LoadSavedUsers();
  ASSERT_EQ(m_view.saved.size(), 2u);
  EXPECT_EQ(m_view.saved[0], Text("bob"));
  EXPECT_EQ(m_view.saved[1], Text("ann"));
  EXPECT_EQ(m_view.userName, Text("ann"));
  EXPECT_TRUE(m_view.autoLogin);
  EXPECT_EQ(m_view.status, kCountdown + "3  秒");
  EXPECT_EQ(m_view.events, std::vector<std::string>{"start countdown"});

  m_flow.CountdownTick();
  EXPECT_EQ(m_view.status, kCountdown + "  2  秒");
  m_flow.CountdownTick();
  EXPECT_EQ(m_view.status, kCountdown + "  1  秒");
  EXPECT_EQ(m_service.RequestCount(), 0);

  m_flow.CountdownTick();
  EXPECT_TRUE(Has(m_view.events, "ok"));
  // The codec keeps lower-case letters and digits only.
  EXPECT_EQ(m_view.password, Text("secret7"));
  EXPECT_EQ(SignedIn().password, Text("secret7"));
  EXPECT_EQ(ScrambleText(Text(m_service.LastParam("/Handler.asp", "password")), ""),
            Text("secret7"));
  EXPECT_FALSE(Exists(Local("temp.tmp")));
}

TEST_F(SignInFlowTest, CountdownUsesTheNameInTheBoxAtTheLastTick) {
  SaveAutoLogin("pw1");
  SaveUsers({}, Text("bob"), Text("pw2"), true, nullptr);  // bob is the default user now
  m_flow.LoadSavedUsers();
  m_view.userName = "ann";
  for (int i = 0; i < 3; ++i) m_flow.CountdownTick();
  EXPECT_EQ(m_service.LastParam("/Handler.asp", "user"), "ann");
  EXPECT_EQ(m_view.password, Text("pw1"));
}

TEST_F(SignInFlowTest, ClearedCheckBoxStopsTheCountdownAndKeepsTheLastText) {
  SaveAutoLogin("pw");
  m_flow.LoadSavedUsers();
  m_flow.CountdownTick();
  m_view.autoLogin = false;
  m_view.events.clear();
  m_flow.CountdownTick();
  EXPECT_EQ(m_view.events, std::vector<std::string>{"stop countdown"});
  EXPECT_EQ(m_view.status, kCountdown + "  2  秒");
  EXPECT_EQ(m_flow.AutoLoginTicks(), 1);
  EXPECT_EQ(m_service.RequestCount(), 0);
}

TEST_F(SignInFlowTest, NoUsersFileMeansNoListNoNameAndNoCountdown) {
  m_flow.LoadSavedUsers();
  EXPECT_TRUE(m_view.saved.empty());
  EXPECT_EQ(m_view.userName, Text());
  EXPECT_FALSE(m_view.autoLogin);
  EXPECT_TRUE(m_view.events.empty());
  EXPECT_TRUE(m_view.statuses.empty());
}

TEST_F(SignInFlowTest, EmptyUserNameNeverReachesTheNetwork) {
  m_view.password = "pw";
  m_flow.SignIn();
  EXPECT_EQ(m_service.RequestCount(), 0);
  EXPECT_EQ(m_view.status, "对不起，您是不是忘记输入用户名称了？");
  EXPECT_EQ(m_view.events, (std::vector<std::string>{"stop countdown", "disable", "enable",
                                                     "focus user name", "enable"}));
}

TEST_F(SignInFlowTest, SuccessWalksThroughEveryStatusAndStoresTheValues) {
  m_view.userName = T("张 三&x");
  m_view.password = "";
  m_flow.SignIn();
  EXPECT_EQ(m_view.statuses,
            (std::vector<std::string>{"正在检查您的互联网连接......",
                                      "太好了，服务器连接正常！现在正在检查是否存在新版本......",
                                      "不错，服务器连接正常！现在正在向服务器认证用户和密码......",
                                      "恭喜您，登录成功!现在正在处理信息......", ""}));
  EXPECT_EQ(SignedIn().userName, T("张 三&x"));
  EXPECT_EQ(SignedIn().lastReply, Text("ok"));
  EXPECT_EQ(SignedIn().userType, Text("9"));
  EXPECT_TRUE(Has(m_view.events, "ok"));
  EXPECT_EQ(m_view.events.back(), "enable");
  EXPECT_TRUE(Exists(Local("zorva_user.xml")));
}

// An accepted update whose job cannot be fetched keeps the dialog with the
// reason in its status line; the next attempt signs in without asking.
TEST_F(SignInFlowTest, AFailedHandOffKeepsTheDialogAndTheNextAttemptSignsIn) {
  m_service.SetBody("/zorva.xml", "<zorva>2.1</zorva>");  // and no /dl/download.xml
  PlaceTestUpdater(m_dir);
  m_answerYes = true;
  m_view.userName = "ann";
  m_flow.SignIn();
  EXPECT_EQ(m_questions.size(), 1u);
  EXPECT_NE(m_view.status.find("无法下载新版本的更新任务"), std::string::npos) << m_view.status;
  EXPECT_FALSE(Has(m_view.events, "ok"));
  EXPECT_EQ(m_view.events.back(), "enable");
  QCoreApplication::processEvents();
  EXPECT_EQ(HandledQuitCode(), -1);

  m_flow.SignIn();
  EXPECT_EQ(m_questions.size(), 1u);
  EXPECT_TRUE(Has(m_view.events, "ok"));
  EXPECT_FALSE(Exists(Local("updater-ran")));
}

// The request as it went out: the name's code page 936 bytes
// percent-encoded, so a blank and "&" stay inside the value, and a password
// value that decodes to the scramble of what was typed, the empty one too.
TEST_F(SignInFlowTest, RequestCarriesTheTypedValuesEncoded) {
  for (const char* typed : {"Pass 1&", ""}) {
    SCOPED_TRACE(typed);
    m_view.userName = T("张 三&x");
    m_view.password = typed;
    m_flow.SignIn();
    const std::string target = m_service.LastTarget("/Handler.asp");
    const std::string prefix = "/Handler.asp?user=%D5%C5%20%C8%FD%26x&password=";
    ASSERT_EQ(target.rfind(prefix, 0), 0u) << target;
    const std::string suffix = "&action=login";
    ASSERT_TRUE(target.ends_with(suffix)) << target;
    const std::string sent =
        target.substr(prefix.size(), target.size() - prefix.size() - suffix.size());
    ASSERT_EQ(sent.find('&'), std::string::npos) << target;
    EXPECT_FALSE(sent.empty());
    int length = 0;
    char* raw = curl_easy_unescape(nullptr, sent.c_str(), static_cast<int>(sent.size()), &length);
    const std::string decoded(raw, static_cast<size_t>(length));
    curl_free(raw);
    EXPECT_EQ(ScrambleText(Text(decoded), ""), Text(typed == std::string("") ? "" : "pass?1?"));
  }
}

// A saved password that cannot be read leaves the box empty, and the
// sign-in goes ahead with the empty password.
TEST_F(SignInFlowTest, CountdownWithoutAReadablePasswordSignsInWithAnEmptyOne) {
  for (bool damaged : {false, true}) {
    SCOPED_TRACE(damaged ? "damaged" : "missing");
    SaveAutoLogin("pw");
    if (damaged) {
      WriteBytes(Local("ann.dat"), "not an encrypted file at all");
    } else {
      std::remove(Local("ann.dat").c_str());
    }
    m_view = FakeView();
    m_view.password = "left over";
    SignInFlow flow(m_view);
    flow.LoadSavedUsers();
    for (int i = 0; i < 3; ++i) flow.CountdownTick();
    EXPECT_EQ(m_view.password, Text());
    EXPECT_EQ(m_service.LastParam("/Handler.asp", "user"), "ann");
    EXPECT_EQ(ScrambleText(Text(m_service.LastParam("/Handler.asp", "password")), ""), Text());
    EXPECT_FALSE(Exists(Local("temp.tmp")));
  }
}

TEST_F(SignInFlowTest, ASecondSignInWhileOneRunsIsIgnored) {
  m_view.userName = "ann";
  m_view.password = "pw";
  // A click on "登录" dispatched while the codec pumps messages.
  int nested = 0;
  m_view.onStatus = [&] {
    if (nested++ < 5) m_flow.SignIn();
  };
  m_flow.SignIn();
  EXPECT_EQ(m_service.RequestCount("/Handler.asp"), 1);
  EXPECT_FALSE(m_flow.IsSigningIn());
}

TEST_F(SignInFlowTest, RegistrationPageOpensOnlyWhenAServerAnswers) {
  OpenedUrls opened;
  m_flow.OpenRegistrationPage();
  ASSERT_EQ(opened.urls.size(), 1);
  EXPECT_EQ(opened.urls[0].toString().toStdString(), m_service.BaseUrl() + "/reg.asp");

  UseServers({});
  m_flow.OpenRegistrationPage();
  EXPECT_EQ(opened.urls.size(), 1);
}

}  // namespace
}  // namespace zorva::test
