// The transfer, the request builders and the server selection against the
// real zorva-server with its sample content.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "core/cp936.h"
#include "net/recording_status.h"
#include "net/server_selection.h"
#include "net/service_requests.h"
#include "net/transfer.h"
#include "platform/program_values.h"
#include "support/file_bytes.h"
#include "support/scripted_server.h"
#include "support/server_process.h"

namespace zorva {
namespace {

namespace fs = std::filesystem;
using test::ServerProcess;

TEST(WithServer, ProbeAnswersExactly) {
  ServerProcess server;
  ASSERT_NE(server.Port(), 0);
  EXPECT_EQ(FetchText(requests::Probe(Text(server.BaseUrl()))), "your internet is ok!");
}

TEST(WithServer, DownloadsTheProgramJobFileByteForByte) {
  ServerProcess server;
  ASSERT_NE(server.Port(), 0);
  std::string dir = ::testing::TempDir() + "/zorva-with-server-XXXXXX";
  ASSERT_NE(::mkdtemp(dir.data()), nullptr);
  test::RecordingStatus status;
  test::RecordingProgress progress;
  EXPECT_EQ(DownloadFile(Text(server.BaseUrl()), requests::kProgramJobPath, Text(dir), &progress,
                         &status),
            kDownloadFinished);
  const std::string expected =
      test::ReadFileBytes(fs::path(server.ContentDir()) / "dl" / "download.xml");
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(test::ReadFileBytes(fs::path(dir) / "dl" / "download.xml"), expected);
  EXPECT_EQ(ToUtf8(status.texts.back()), "完成下载文件:download.xml");
  EXPECT_EQ(progress.upper, static_cast<int>(expected.size() / 100));
  fs::remove_all(dir);
}

TEST(WithServer, SelectsThePrefixedListenerWhenTheOthersAreDown) {
  ServerProcess::Options options;
  options.prefix = "/xinxi50";
  ServerProcess server(options);
  ASSERT_NE(server.Port(), 0);
  int downPort;
  { downPort = test::ScriptedServer().Port(); }
  const std::string down = "http://127.0.0.1:" + std::to_string(downPort);
  setenv("ZORVA_SERVER_CANDIDATES", (down + ";" + down + ";" + server.BaseUrl()).c_str(), 1);
  SelectServer();
  unsetenv("ZORVA_SERVER_CANDIDATES");
  EXPECT_EQ(ServerBaseAddress().str(), server.BaseUrl());
  EXPECT_EQ(ServerBaseAddress().str().substr(ServerBaseAddress().GetLength() - 8), "/xinxi50");
}

// The user name travels percent-encoded as code page 936 bytes and the
// password scrambled; the server decodes both and accepts them.
TEST(WithServer, SignInAndSuggestionArriveIntact) {
  ServerProcess server;
  ASSERT_NE(server.Port(), 0);
  ASSERT_TRUE(server.AddUser("张 三&co", "Secret7"));
  const Text base = Text(server.BaseUrl());
  const Text user = FromUtf8("张 三&co");
  EXPECT_NE(FetchText(requests::SignIn(base, user, "Secret7")).str().find("<user_login>ok<"),
            std::string::npos);
  EXPECT_EQ(FetchText(requests::SignIn(base, user, "wrong")).str().find("<user_login>ok<"),
            std::string::npos);

  const std::string typed = "a&b #1 + 100%; c=d?";
  EXPECT_NE(FetchText(requests::Suggestion(base, user, "Secret7", "1", Text(typed)))
                .str()
                .find("<save_static>ok<"),
            std::string::npos);
  const std::string listed = test::RunServerCommand({"suggestions", "--db", server.DbPath()});
  EXPECT_NE(listed.find(typed), std::string::npos) << listed;
}

}  // namespace
}  // namespace zorva
