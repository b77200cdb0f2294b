#include <curl/curl.h>
#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>

#include "core/codec.h"
#include "net/service_requests.h"
#include "net/transfer.h"
#include "support/scripted_server.h"

namespace zorva {
namespace {

const Text kBase = "http://127.0.0.1:8082/xinxi50";

std::string Decoded(std::string_view encoded) {
  int length = 0;
  char* raw =
      curl_easy_unescape(nullptr, encoded.data(), static_cast<int>(encoded.size()), &length);
  std::string out(raw, static_cast<size_t>(length));
  curl_free(raw);
  return out;
}

// The value of name= in the query of url, still encoded.
std::string QueryValue(const Text& url, const std::string& name) {
  const std::string& s = url.str();
  size_t at = s.find("?" + name + "=");
  if (at == std::string::npos) at = s.find("&" + name + "=");
  if (at == std::string::npos) return "<absent>";
  at += name.size() + 2;
  return s.substr(at, s.find('&', at) - at);
}

struct EncodeCase {
  const char* name;
  std::string raw;
  std::string encoded;
};

void PrintTo(const EncodeCase& c, std::ostream* os) { *os << c.name; }

class EncodeValues : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(EncodeValues, PercentEncodesAllButUnreserved) {
  EXPECT_EQ(requests::Encode(Text(GetParam().raw)).str(), GetParam().encoded);
}

INSTANTIATE_TEST_SUITE_P(
    Values, EncodeValues,
    ::testing::Values(EncodeCase{"UnreservedStay", "AZaz09-._~", "AZaz09-._~"},
                      EncodeCase{"QueryDelimiters", "a&b=c#d?e", "a%26b%3Dc%23d%3Fe"},
                      EncodeCase{"PercentPlusAndBlank", "50% + 1", "50%25%20%2B%201"},
                      EncodeCase{"LineBreaks", "one\r\ntwo", "one%0D%0Atwo"},
                      EncodeCase{"SlashInAName", "a/b", "a%2Fb"},
                      EncodeCase{"CodePage936Bytes", "\xD6\xD0\xCE\xC4", "%D6%D0%CE%C4"},
                      EncodeCase{"Empty", "", ""}),
    [](const auto& row) { return std::string(row.param.name); });

struct UrlCase {
  const char* name;
  std::function<Text()> build;
  std::string expected;
};

void PrintTo(const UrlCase& c, std::ostream* os) { *os << c.name; }

class FixedUrls : public ::testing::TestWithParam<UrlCase> {};

TEST_P(FixedUrls, AreBaseAndPath) { EXPECT_EQ(GetParam().build().str(), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Requests, FixedUrls,
    ::testing::Values(
        UrlCase{"Probe", [] { return requests::Probe(kBase); }, kBase.str() + "/testinternet.txt"},
        UrlCase{"Registration", [] { return requests::Registration(kBase); },
                kBase.str() + "/reg.asp"},
        UrlCase{"ServerVersion", [] { return requests::ServerVersion(kBase); },
                kBase.str() + "/zorva.xml"},
        UrlCase{"ItemVersion", [] { return requests::ItemVersion(kBase, "game 1.xml"); },
                kBase.str() + "/game%201.xml"},
        UrlCase{"Catalogue", [] { return requests::Catalogue(kBase); },
                kBase.str() + "//lesson//lesson_list.xml"},
        UrlCase{"LessonPage", [] { return requests::LessonPage(kBase, "abc", "p 1.swf"); },
                kBase.str() + "/lesson/abc/0010/p%201.swf"},
        UrlCase{"LessonPageInFolders",
                [] { return requests::LessonPage(kBase, "grade 1/abc", "part/p 1.swf"); },
                kBase.str() + "/lesson/grade%201/abc/0010/part/p%201.swf"},
        UrlCase{"Announcement", [] { return requests::Announcement(kBase); },
                kBase.str() + "/gonggao.htm"},
        UrlCase{"ProgramJobPath", [] { return Text(requests::kProgramJobPath); },
                "/dl/download.xml"},
        UrlCase{"JobPath", [] { return requests::JobPath("download_\xD6\xD0.xml"); },
                "/dl/download_%D6%D0.xml"}),
    [](const auto& row) { return std::string(row.param.name); });

// Requests that carry the user: the shape around the values, the user name
// encoded, and a password that decodes back to what was typed.
struct SignedCase {
  const char* name;
  std::function<Text(const Text& user, const Text& password)> build;
  std::string before;  // everything up to "user="
  std::string after;   // everything after the password value
};

void PrintTo(const SignedCase& c, std::ostream* os) { *os << c.name; }

class SignedUrls : public ::testing::TestWithParam<SignedCase> {};

TEST_P(SignedUrls, CarryTheEncodedUserAndAFreshlyScrambledPassword) {
  const Text user = "\xD5\xC5 san&co";
  const Text password = "Pass123";
  const Text url = GetParam().build(user, password);
  const std::string& s = url.str();
  ASSERT_EQ(s.substr(0, GetParam().before.size()), GetParam().before);
  EXPECT_EQ(QueryValue(url, "user"), "%D5%C5%20san%26co");
  const std::string scrambled = Decoded(QueryValue(url, "password"));
  EXPECT_FALSE(scrambled.empty());
  EXPECT_EQ(ScrambleText(Text(scrambled), "d"), "pass123");
  const size_t afterPassword = s.find('&', s.find("password="));
  EXPECT_EQ(s.substr(afterPassword), GetParam().after);

  // Scrambled anew for each build: another value that reads the same.
  const Text again = GetParam().build(user, password);
  const std::string rescrambled = Decoded(QueryValue(again, "password"));
  EXPECT_NE(rescrambled, scrambled);
  EXPECT_EQ(ScrambleText(Text(rescrambled), "d"), "pass123");
}

INSTANTIATE_TEST_SUITE_P(
    Requests, SignedUrls,
    ::testing::Values(
        SignedCase{"SignIn", [](auto& u, auto& p) { return requests::SignIn(kBase, u, p); },
                   kBase.str() + "/Handler.asp?user=", "&action=login"},
        SignedCase{
            "Lesson", [](auto& u, auto& p) { return requests::Lesson(kBase, u, p, "l 1"); },
            kBase.str() + "/handler.asp?user=", "&lesson_id=0010&lesson_dir=l%201&action=lesson"},
        SignedCase{"Suggestion",
                   [](auto& u, auto& p) {
                     return requests::Suggestion(kBase, u, p, "2", "a&b #1 100%+\r\nend");
                   },
                   kBase.str() + "/Handler.asp?user=",
                   "&action=save_suggest&type=2&content=a%26b%20%231%20100%25%2B%0D%0Aend"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(SuggestionRequest, ServerSeesExactlyTheTypedBytes) {
  test::ScriptedServer server;
  server.On("/Handler.asp", test::ScriptedReply::Ok("<save_static>ok</save_static>"));
  const std::string typed = "\xC4\xE3\xBA\xC3 & welcome #1 + 100%\r\nbye";
  FetchText(requests::Suggestion(Text(server.Base()), "u", "p", "1", Text(typed)));
  const auto received = server.Requests();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].target.find_first_of(" \r\n#"), std::string::npos);
  const std::string content = received[0].target.substr(received[0].target.find("&content=") + 9);
  EXPECT_EQ(Decoded(content), typed);
}

}  // namespace
}  // namespace zorva
