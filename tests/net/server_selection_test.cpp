#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "net/server_selection.h"
#include "net/service_requests.h"
#include "net/transfer.h"
#include "platform/program_values.h"
#include "support/scripted_server.h"

namespace zorva {
namespace {

using test::ScriptedReply;
using test::ScriptedServer;

constexpr char kAnswer[] = "your internet is ok!";

// What one candidate does when probed.
enum class Candidate { Ok, Down, TrailingLineBreak, NulAfterAnswer, NotFound, Redirect };

struct SelectionCase {
  const char* name;
  std::vector<Candidate> candidates;
  int chosen;  // index of the winner, -1 for none
};

void PrintTo(const SelectionCase& c, std::ostream* os) { *os << c.name; }

class SelectServerCases : public ::testing::TestWithParam<SelectionCase> {
 protected:
  void SetUp() override { SetTransferTimeouts(5000, 2); }
  void TearDown() override {
    ResetTransferTimeouts();
    unsetenv("ZORVA_SERVER_CANDIDATES");
  }
};

TEST_P(SelectServerCases, ChoosesTheFirstExactAnswer) {
  std::vector<std::unique_ptr<ScriptedServer>> servers;
  std::vector<std::string> bases;
  for (Candidate c : GetParam().candidates) {
    servers.push_back(std::make_unique<ScriptedServer>());
    ScriptedServer& s = *servers.back();
    bases.push_back(s.Base());
    switch (c) {
      case Candidate::Ok:
        s.On("/testinternet.txt", ScriptedReply::Ok(kAnswer));
        break;
      case Candidate::TrailingLineBreak:
        s.On("/testinternet.txt", ScriptedReply::Ok(std::string(kAnswer) + "\r\n"));
        break;
      case Candidate::NulAfterAnswer:
        s.On("/testinternet.txt", ScriptedReply::Ok(std::string(kAnswer) + '\0' + "tail"));
        break;
      case Candidate::Redirect:
        s.On("/testinternet.txt", ScriptedReply::Status(302, "Found", "Location: /ok"));
        s.On("/ok", ScriptedReply::Ok(kAnswer));
        break;
      case Candidate::NotFound:
        break;
      case Candidate::Down:
        servers.back().reset();  // nobody listens on its port any more
        break;
    }
  }
  std::string list;
  for (const std::string& b : bases) list += (list.empty() ? "" : ";") + b;
  setenv("ZORVA_SERVER_CANDIDATES", list.c_str(), 1);
  SetServerBaseAddress("http://stale.example");

  SelectServer();

  const int chosen = GetParam().chosen;
  EXPECT_EQ(ServerBaseAddress().str(), chosen < 0 ? "" : bases[chosen]);
  // Candidates after the winner are never probed.
  for (size_t i = chosen < 0 ? bases.size() : chosen + 1; i < bases.size(); ++i) {
    if (servers[i]) {
      EXPECT_EQ(servers[i]->Connections(), 0) << "candidate " << i;
    }
  }
}

using C = Candidate;
INSTANTIATE_TEST_SUITE_P(
    Candidates, SelectServerCases,
    ::testing::Values(
        SelectionCase{"FirstAnswers", {C::Ok, C::Ok, C::Ok}, 0},
        SelectionCase{"FirstDownSecondAnswers", {C::Down, C::Ok, C::Ok}, 1},
        SelectionCase{"TrailingLineBreakIsNotAccepted", {C::TrailingLineBreak, C::Ok, C::Ok}, 1},
        SelectionCase{"BytesAfterANulByteAreNotAccepted", {C::NulAfterAnswer, C::Ok, C::Ok}, 1},
        SelectionCase{"OnlyTheThirdAnswers", {C::NotFound, C::Down, C::Ok}, 2},
        SelectionCase{"RedirectIsNotFollowed", {C::Redirect, C::Down, C::Down}, -1},
        SelectionCase{"NoneAnswers", {C::Down, C::NotFound, C::Down}, -1}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(SelectServer, PrefixedThirdCandidateCarriesItsPathIntoLaterRequests) {
  ScriptedServer third;
  third.On("/xinxi50/testinternet.txt", ScriptedReply::Ok(kAnswer));
  int downPort;
  { downPort = ScriptedServer().Port(); }
  const std::string down = "http://127.0.0.1:" + std::to_string(downPort);
  const std::string prefixed = third.Base() + "/xinxi50";
  setenv("ZORVA_SERVER_CANDIDATES", (down + ";" + down + ";" + prefixed).c_str(), 1);
  SelectServer();
  unsetenv("ZORVA_SERVER_CANDIDATES");
  ASSERT_EQ(ServerBaseAddress().str(), prefixed);
  const Text signIn = requests::SignIn(ServerBaseAddress(), "u", "p");
  EXPECT_EQ(signIn.str().rfind(prefixed + "/Handler.asp?user=u&password=", 0), 0u);
}

TEST(ServerCandidates, EnvironmentOverridesTheBuildSettings) {
  unsetenv("ZORVA_SERVER_CANDIDATES");
  EXPECT_EQ(ServerCandidates().size(), 3u);
  setenv("ZORVA_SERVER_CANDIDATES", "http://a;http://b:81;http://c/xinxi50", 1);
  EXPECT_EQ(ServerCandidates(), (std::vector<Text>{"http://a", "http://b:81", "http://c/xinxi50"}));
  unsetenv("ZORVA_SERVER_CANDIDATES");
}

}  // namespace
}  // namespace zorva
