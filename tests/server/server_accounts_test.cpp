// Requests that check the user: sign-in, lesson page lists and suggestions,
// with passwords scrambled by the real codec; the registration page; the
// add-user and suggestions commands.

#include <gtest/gtest.h>

#include "core/xml.h"
#include "server/server_test_util.h"
#include "support/server_process.h"

namespace zorva::test {
namespace {

std::string SignInTarget(const std::string& user, const std::string& password) {
  return "/Handler.asp?user=" + Encode(user) + "&password=" + Encode(Scramble(password)) +
         "&action=login";
}

struct SignInCase {
  const char* name;
  std::string storedUser;
  std::string storedPassword;  // UTF-8, as given to add-user
  std::string sentUser;        // code page 936 bytes, as the client sends
  std::string sentPassword;    // as typed in the client
  bool accepted;
};

void PrintTo(const SignInCase& c, std::ostream* os) { *os << c.name; }

class ServerSignIn : public testing::TestWithParam<SignInCase> {};

TEST_P(ServerSignIn, ChecksTheScrambledPassword) {
  const SignInCase& c = GetParam();
  ServerProcess server;
  ASSERT_TRUE(server.AddUser(c.storedUser, c.storedPassword, "vip"));
  auto res = ClientFor(server.Port())->Get(SignInTarget(c.sentUser, c.sentPassword));
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  EXPECT_EQ(res->get_header_value("Content-Type"), "text/xml");
  Text status = GetXmlValue(Text(res->body), "user_login", "", "", "");
  if (c.accepted) {
    EXPECT_EQ(status, Text("ok")) << res->body;
    EXPECT_EQ(GetXmlValue(Text(res->body), "user_type", "", "", ""), Text("vip"));
  } else {
    EXPECT_FALSE(status.IsEmpty()) << "a refusal still carries a status";
    EXPECT_NE(status, Text("ok")) << res->body;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Requests, ServerSignIn,
    testing::Values(SignInCase{"RightPassword", "demo", "demo123", "demo", "demo123", true},
                    SignInCase{"CapitalsStoredMatchTheLowerCasedScramble", "demo", "Demo123",
                               "demo", "DEMO123", true},
                    SignInCase{"PunctuationTravelsAsQuestionMarks", "demo", "a-b!c", "demo",
                               "a.b c", true},
                    SignInCase{"ChineseName", "小明", "abc123", Gbk("小明"), "abc123", true},
                    SignInCase{"ChinesePasswordCountsItsCodePage936Bytes", "demo", "密码1", "demo",
                               Gbk("密码1"), true},
                    SignInCase{"WrongPassword", "demo", "demo123", "demo", "demo124", false},
                    SignInCase{"ShorterPassword", "demo", "demo123", "demo", "demo12", false},
                    SignInCase{"UnknownUser", "demo", "demo123", "nobody", "demo123", false},
                    SignInCase{"NameIsCaseSensitive", "demo", "demo123", "Demo", "demo123", false}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(ServerSignIn, BothSpellingsOfTheHandlerPageAndGarbagePasswords) {
  ServerProcess server;
  ASSERT_TRUE(server.AddUser("demo", "demo123"));
  auto client = ClientFor(server.Port());
  std::string query = "?user=demo&password=" + Encode(Scramble("demo123")) + "&action=login";
  for (const char* page : {"/Handler.asp", "/handler.asp"}) {
    auto res = client->Get(page + query);
    ASSERT_TRUE(res);
    EXPECT_EQ(GetXmlValue(Text(res->body), "user_login", "", "", ""), Text("ok")) << page;
    EXPECT_EQ(GetXmlValue(Text(res->body), "user_type", "", "", ""), Text("normal"));
  }
  // A password that is not in the scrambled format decodes to nothing useful.
  for (const char* garbage : {"x", "demo123", "%FF%FE%00", "0123456789012"}) {
    auto res =
        client->Get(std::string("/Handler.asp?user=demo&password=") + garbage + "&action=login");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->body, "<user_login>error</user_login>") << garbage;
  }
}

TEST(ServerAccounts, DatabaseHoldsNoClearPassword) {
  ServerProcess server;
  ASSERT_TRUE(server.AddUser("demo", "Unusual4Password"));
  std::string db = ReadFileBytes(server.DbPath());
  ASSERT_FALSE(db.empty());
  EXPECT_EQ(db.find("Unusual4Password"), std::string::npos);
  EXPECT_EQ(db.find("unusual4password"), std::string::npos);
}

std::string LessonTarget(const std::string& user, const std::string& password,
                         const std::string& dir) {
  return "/handler.asp?user=" + Encode(user) + "&password=" + Encode(Scramble(password)) +
         "&lesson_id=0010&lesson_dir=" + Encode(dir) + "&action=lesson";
}

TEST(ServerLesson, RepliesWithThePageListOfTheContentFolder) {
  ServerProcess server;
  ASSERT_TRUE(server.AddUser("demo", "demo123"));
  auto res = ClientFor(server.Port())->Get(LessonTarget("demo", "demo123", "pinyin_shengmu"));
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  EXPECT_EQ(res->get_header_value("Content-Type"), "text/xml");
  EXPECT_EQ(res->body,
            ReadFileBytes(server.ContentDir() + "/lesson/pinyin_shengmu/0010/pages.xml"));
  Text reply(res->body);
  EXPECT_EQ(GetXmlValue(reply, "file", "order", "1", "name"), Text("page01.swf"));
  EXPECT_EQ(GetXmlValue(reply, "file", "order", "2", "name"), Text("page02.html"));
  EXPECT_EQ(GetXmlValue(reply, "file", "order", "2", "delay_time"), Text("0"));
  // Every page the list names can be fetched (".html" stands for ".swf").
  for (int order = 1;; ++order) {
    Text name = GetXmlValue(reply, "file", "order", Text::Format("%d", order), "name");
    if (name.IsEmpty()) break;
    name.Replace(".html", ".swf");
    auto movie = ClientFor(server.Port())->Get("/lesson/pinyin_shengmu/0010/" + name.str());
    ASSERT_TRUE(movie);
    EXPECT_EQ(movie->status, 200) << name.str();
    EXPECT_EQ(movie->body.compare(1, 2, "WS"), 0) << name.str();  // FWS or CWS
  }
}

TEST(ServerLesson, PageListsAreGivenOnlyAfterTheUserCheck) {
  ServerProcess server;
  auto client = ClientFor(server.Port());
  for (const char* path :
       {"/lesson/pinyin_shengmu/0010/pages.xml", "//lesson//pinyin_shengmu//0010//pages.xml"}) {
    auto res = client->Get(path);
    ASSERT_TRUE(res) << path;
    EXPECT_EQ(res->status, 404) << path;
  }
  // The movies beside it stay public: the player fetches them without a user.
  EXPECT_EQ(client->Get("/lesson/pinyin_shengmu/0010/page01.swf")->status, 200);
}

struct LessonRefusal {
  const char* name;
  std::string password;
  std::string dir;
  int status;
};

void PrintTo(const LessonRefusal& c, std::ostream* os) { *os << c.name; }

class ServerLessonRefusals : public testing::TestWithParam<LessonRefusal> {};

TEST_P(ServerLessonRefusals, NoPagesAndAnErrorStatus) {
  const LessonRefusal& c = GetParam();
  ServerProcess server;
  ASSERT_TRUE(server.AddUser("demo", "demo123"));
  auto res = ClientFor(server.Port())->Get(LessonTarget("demo", c.password, c.dir));
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, c.status);
  EXPECT_TRUE(GetXmlValue(Text(res->body), "file", "order", "1", "name").IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Requests, ServerLessonRefusals,
    testing::Values(LessonRefusal{"WrongPassword", "wrong", "pinyin_shengmu", 403},
                    LessonRefusal{"NoSuchLesson", "demo123", "no_such_lesson", 404},
                    LessonRefusal{"DirClimbsOut", "demo123", "..", 400},
                    LessonRefusal{"DirWithSlash", "demo123", "pinyin_shengmu/0010", 400}),
    [](const auto& row) { return std::string(row.param.name); });

std::string SuggestionTarget(const std::string& password, const std::string& content) {
  return "/Handler.asp?user=demo&password=" + Encode(Scramble(password)) +
         "&action=save_suggest&type=3&content=" + Encode(content);
}

TEST(ServerSuggestions, StoredAsSentAndListedForSupport) {
  ServerProcess server;
  ASSERT_TRUE(server.AddUser("demo", "demo123"));
  auto client = ClientFor(server.Port());
  // Code page 936 text with the characters a raw query would have broken.
  const std::string content = Gbk("课程很好 & 100% \"有用\"") + "\r\n" + Gbk("谢谢#");
  auto res = client->Get(SuggestionTarget("demo123", content));
  ASSERT_TRUE(res);
  EXPECT_EQ(res->body, "<save_static>ok</save_static>");

  auto refused = client->Get(SuggestionTarget("wrong", Gbk("不应保存的建议")));
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 200);
  EXPECT_EQ(refused->body, "<save_static>error</save_static>");

  int exitCode = -1;
  std::string listing = RunServerCommand({"suggestions", "--db", server.DbPath()}, &exitCode);
  EXPECT_EQ(exitCode, 0);
  // id, time, user, type, content; the line break shown as an escape.
  EXPECT_NE(listing.find("\tdemo\t3\t课程很好 & 100% \"有用\"\\r\\n谢谢#\n"), std::string::npos)
      << listing;
  EXPECT_EQ(listing.rfind("1\t", 0), 0u) << listing;
  EXPECT_EQ(listing.find("不应保存"), std::string::npos) << listing;
}

// A suggestion must not steer the operator's terminal.
TEST(ServerSuggestions, ControlBytesAreListedEscaped) {
  ServerProcess server;
  ASSERT_TRUE(server.AddUser("demo", "demo123"));
  auto res = ClientFor(server.Port())
                 ->Get(SuggestionTarget("demo123", "X\x1b[2J\x07\x7f\x01" + Gbk("好")));
  ASSERT_TRUE(res);
  ASSERT_EQ(res->body, "<save_static>ok</save_static>");
  const std::string listing = RunServerCommand({"suggestions", "--db", server.DbPath()});
  EXPECT_NE(listing.find("\tX\\x1B[2J\\x07\\x7F\\x01好\n"), std::string::npos) << listing;
  for (char control : {'\x1b', '\x07', '\x7f', '\x01'}) {
    EXPECT_EQ(listing.find(control), std::string::npos) << int(control);
  }
}

TEST(ServerRegistration, GetShowsAFormThatPostsBack) {
  ServerProcess server;
  auto res = ClientFor(server.Port())->Get("/reg.asp");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  EXPECT_EQ(res->get_header_value("Content-Type"), "text/html; charset=utf-8");
  EXPECT_NE(res->body.find("<form method=\"post\" action=\"reg.asp\""), std::string::npos);
  for (const char* field : {"name=\"user\"", "name=\"password\"", "name=\"password2\""}) {
    EXPECT_NE(res->body.find(field), std::string::npos) << field;
  }
}

TEST(ServerRegistration, NewUserCanSignInWithTheClientsScramble) {
  ServerProcess server;
  auto client = ClientFor(server.Port());
  // The password's Chinese character is two bytes in the client's scramble.
  httplib::Params form{{"user", "小红"}, {"password", "红Hong88"}, {"password2", "红Hong88"}};
  auto res = client->Post("/reg.asp", form);
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  EXPECT_NE(res->body.find("注册成功"), std::string::npos) << res->body;
  auto signIn = client->Get(SignInTarget(Gbk("小红"), Gbk("红hong88")));
  ASSERT_TRUE(signIn);
  EXPECT_EQ(GetXmlValue(Text(signIn->body), "user_login", "", "", ""), Text("ok"));
}

struct RegistrationRefusal {
  const char* name;
  std::string user;
  std::string password;
  std::string again;
  int status;
  const char* message;
};

void PrintTo(const RegistrationRefusal& c, std::ostream* os) { *os << c.name; }

class ServerRegistrationRefusals : public testing::TestWithParam<RegistrationRefusal> {};

TEST_P(ServerRegistrationRefusals, ExplainsAndKeepsTheForm) {
  const RegistrationRefusal& c = GetParam();
  ServerProcess server;
  ASSERT_TRUE(server.AddUser("demo", "demo123"));
  httplib::Params form{{"user", c.user}, {"password", c.password}, {"password2", c.again}};
  auto res = ClientFor(server.Port())->Post("/reg.asp", form);
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, c.status);
  EXPECT_NE(res->body.find(c.message), std::string::npos) << res->body;
  EXPECT_NE(res->body.find("<form"), std::string::npos);
  // The existing user is untouched.
  auto signIn = ClientFor(server.Port())->Get(SignInTarget("demo", "demo123"));
  EXPECT_EQ(GetXmlValue(Text(signIn->body), "user_login", "", "", ""), Text("ok"));
}

INSTANTIATE_TEST_SUITE_P(
    Requests, ServerRegistrationRefusals,
    testing::Values(
        RegistrationRefusal{"TakenName", "demo", "other1", "other1", 409, "已经有人使用"},
        RegistrationRefusal{"EmptyName", "  ", "other1", "other1", 400, "请填写用户名称"},
        RegistrationRefusal{"EmptyPassword", "neu", "", "", 400, "请填写密码"},
        RegistrationRefusal{"PasswordsDiffer", "neu", "abc", "abd", 400, "两次输入的密码不一致"},
        RegistrationRefusal{"NameOutsideCodePage936", "\xF0\x9F\x98\x80", "abc", "abc", 400,
                            "无法使用的字符"},
        RegistrationRefusal{"NameTooLong", std::string(33, 'n'), "abc", "abc", 400, "用户名称太长"},
        RegistrationRefusal{"NameWithMarkup", "<b>", "abc", "abc", 200, "&lt;b&gt;"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(ServerCommands, AddUserRefusesATakenNameAndEveryCommandHasHelp) {
  ServerProcess server;
  EXPECT_TRUE(server.AddUser("demo", "demo123"));
  EXPECT_FALSE(server.AddUser("demo", "other"));
  for (const char* command : {"serve", "add-user", "suggestions"}) {
    int exitCode = -1;
    std::string help = RunServerCommand({command, "--help"}, &exitCode);
    EXPECT_EQ(exitCode, 0) << command;
    EXPECT_NE(help.find("--db FILE"), std::string::npos) << command;
  }
  int exitCode = -1;
  RunServerCommand({"frobnicate"}, &exitCode);
  EXPECT_EQ(exitCode, 2);
}

}  // namespace
}  // namespace zorva::test
