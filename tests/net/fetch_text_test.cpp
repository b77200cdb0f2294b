#include <gtest/gtest.h>

#include <chrono>
#include <ostream>
#include <string>

#include "net/transfer.h"
#include "support/scripted_server.h"

namespace zorva {
namespace {

using test::ReplyEnd;
using test::ScriptedReply;
using test::ScriptedServer;

// Shortened time-outs so that stall cases end in seconds.
class TransferTimeouts : public ::testing::Test {
 protected:
  void SetUp() override { SetTransferTimeouts(5000, 2); }
  void TearDown() override { ResetTransferTimeouts(); }
};

std::string CrlfBody100() {
  std::string body;
  while (body.size() < 100) body += "line " + std::to_string(body.size()) + "\r\n";
  body.resize(98);
  return body + "\r\n";
}

ScriptedReply Partial(std::string sent, size_t announced, ReplyEnd end) {
  ScriptedReply reply;
  reply.head =
      "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: " + std::to_string(announced);
  reply.body = std::move(sent);
  reply.end = end;
  reply.pauseBeforeEnd = std::chrono::milliseconds(500);
  return reply;
}

struct FetchCase {
  const char* name;
  ScriptedReply reply;
  std::string expected;
};

void PrintTo(const FetchCase& c, std::ostream* os) { *os << c.name; }

class FetchTextReplies : public TransferTimeouts,
                         public ::testing::WithParamInterface<FetchCase> {};

TEST_P(FetchTextReplies, ReturnsWhatTheRulesSay) {
  ScriptedServer server;
  server.On("/t", GetParam().reply);
  const Text got = FetchText(Text(server.Base() + "/t"));
  EXPECT_EQ(got.str(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, FetchTextReplies,
    ::testing::Values(
        FetchCase{"CrlfBodyByteForByte", ScriptedReply::Ok(CrlfBody100()), CrlfBody100()},
        FetchCase{"ChineseBytesUnchanged", ScriptedReply::Ok("\xD6\xD0\xCE\xC4ok"),
                  "\xD6\xD0\xCE\xC4ok"},
        FetchCase{"BodyWithoutContentLength", ScriptedReply::Ok("no length here", false),
                  "no length here"},
        FetchCase{"EmptyBody", ScriptedReply::Ok(""), ""},
        FetchCase{"RedirectNotFollowed",
                  ScriptedReply::Status(302, "Found", "Location: /elsewhere"), ""},
        FetchCase{"NotFound", ScriptedReply::Status(404, "Not Found"), ""},
        FetchCase{"ServerError",
                  [] {
                    ScriptedReply r = ScriptedReply::Ok("<user_login>ok</user_login>");
                    r.head.replace(9, 6, "500 Internal Server Error");
                    return r;
                  }(),
                  ""},
        FetchCase{"ResetInMidBodyKeepsWhatArrived",
                  Partial("first part of the body", 1000, ReplyEnd::Reset),
                  "first part of the body"},
        FetchCase{"StallInMidBodyKeepsWhatArrived",
                  Partial("before the stall", 1000, ReplyEnd::Stall), "before the stall"},
        FetchCase{"StallBeforeTheBody",
                  [] {
                    ScriptedReply r;
                    r.head = "HTTP/1.1 200 OK\r\nContent-Length: 5";
                    r.end = ReplyEnd::Stall;
                    return r;
                  }(),
                  ""},
        FetchCase{"NulByteDropsTheRestOfItsPiece",
                  ScriptedReply::Ok(std::string("before\0after", 12)), "before"},
        FetchCase{"BodyGoesOnAfterThePieceWithANulByte",
                  // A first piece of 29 bytes with a NUL byte at 10.
                  ScriptedReply::Ok(std::string("0123456789") + '\0' + std::string(18, 'x') +
                                    "next piece"),
                  "0123456789next piece"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(TransferTimeouts, FetchTextSendsTheAgentAndItsHeadersAndAsksForAFreshReply) {
  ScriptedServer server;
  server.On("/Handler.asp", ScriptedReply::Ok("x"));
  FetchText(Text(server.Base() + "/Handler.asp?user=a%20b&action=login"));
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(requests[0].target, "/Handler.asp?user=a%20b&action=login");
  EXPECT_EQ(requests[0].Header("User-Agent"), "MyProgram/1.0");
  EXPECT_EQ(requests[0].Header("Accept"), "text/*");
  // No cache on the way (a proxy's either) may answer in the server's place.
  EXPECT_EQ(requests[0].Header("Cache-Control"), "no-cache");
  EXPECT_EQ(requests[0].Header("Pragma"), "no-cache");
}

// Whether FetchText says the transfer failed, beside what it returns.
struct OutcomeCase {
  const char* name;
  ScriptedReply reply;
  std::string body;
  bool failed;
};

void PrintTo(const OutcomeCase& c, std::ostream* os) { *os << c.name; }

class FetchTextOutcome : public TransferTimeouts,
                         public ::testing::WithParamInterface<OutcomeCase> {};

TEST_P(FetchTextOutcome, TellsAWholeReplyFromAFailedTransfer) {
  ScriptedServer server;
  server.On("/t", GetParam().reply);
  bool failed = !GetParam().failed;
  EXPECT_EQ(FetchText(Text(server.Base() + "/t"), &failed).str(), GetParam().body);
  EXPECT_EQ(failed, GetParam().failed);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, FetchTextOutcome,
    ::testing::Values(
        OutcomeCase{"WholeBody", ScriptedReply::Ok("all of it"), "all of it", false},
        OutcomeCase{"NotFoundIsNoFailure", ScriptedReply::Status(404, "Not Found"), "", false},
        OutcomeCase{"ResetInMidBody", Partial("part", 1000, ReplyEnd::Reset), "part", true},
        OutcomeCase{"ShortBody", Partial("short", 1000, ReplyEnd::Close), "short", true},
        OutcomeCase{"Stall", Partial("stalled", 1000, ReplyEnd::Stall), "stalled", true}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(TransferTimeouts, FetchTextEndsAtItsDeadlineWhenTheBodyOnlyTrickles) {
  // Two bytes a second is never a stall; only the overall deadline ends it.
  SetTransferLimits(2500, kDownloadCeiling);
  ScriptedServer server;
  ScriptedReply drip = ScriptedReply::Ok("ab", false);
  drip.end = ReplyEnd::Drip;
  server.On("/drip", drip);
  bool failed = false;
  const auto start = std::chrono::steady_clock::now();
  const Text got = FetchText(Text(server.Base() + "/drip"), &failed);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_TRUE(failed);
  EXPECT_LT(took, std::chrono::seconds(10));
  // What arrived by the deadline: the first two bytes and a few drops.
  EXPECT_GE(got.GetLength(), 3);
  EXPECT_EQ(got.Left(2), Text("ab"));
}

TEST_F(TransferTimeouts, FetchTextKeepsAnEndlessBodyToTheLimit) {
  ScriptedServer server;
  ScriptedReply endless = ScriptedReply::Ok(std::string(65536, 'z'), false);
  endless.end = ReplyEnd::Endless;
  server.On("/endless", endless);
  const Text got = FetchText(Text(server.Base() + "/endless"));
  EXPECT_EQ(static_cast<size_t>(got.GetLength()), kFetchTextLimit);
}

TEST_F(TransferTimeouts, FetchTextOfAnUnreachableServerIsEmpty) {
  int port;
  { port = ScriptedServer().Port(); }  // a port nobody listens on any more
  EXPECT_EQ(FetchText(Text("http://127.0.0.1:" + std::to_string(port) + "/x")), "");
}

class FetchTextRefuses : public TransferTimeouts,
                         public ::testing::WithParamInterface<const char*> {};

TEST_P(FetchTextRefuses, AnswersZeroWithoutTraffic) {
  ScriptedServer server;
  server.On("/t", ScriptedReply::Ok("reached"));
  std::string url = GetParam();
  const std::string hostPort = "127.0.0.1:" + std::to_string(server.Port());
  for (size_t at; (at = url.find("HOST")) != std::string::npos;) url.replace(at, 4, hostPort);
  EXPECT_EQ(FetchText(Text(url)), "0");
  EXPECT_EQ(server.Connections(), 0);
}

INSTANTIATE_TEST_SUITE_P(NotHttp, FetchTextRefuses,
                         ::testing::Values("https://HOST/t", "ftp://HOST/t", "HOST/t", "not a url",
                                           "", "http://", "file:///etc/passwd"));

}  // namespace
}  // namespace zorva
