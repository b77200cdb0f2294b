// zorva-tool's network commands, run as a user runs them, against a scripted
// server on the loopback.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/file_bytes.h"
#include "support/scripted_server.h"

extern char** environ;

namespace zorva {
namespace {

namespace fs = std::filesystem;
using test::ScriptedReply;
using test::ScriptedServer;

struct ToolRun {
  int exitCode = -1;
  int signal = 0;
  std::string out;
  std::string err;
};

class ToolNetCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "/zorva-tool-net-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    m_dir = pattern;
  }
  void TearDown() override { fs::remove_all(m_dir); }

  // Runs the tool; with stopAfter, sends it SIGTERM that long after start.
  ToolRun Tool(std::vector<std::string> args,
               std::chrono::milliseconds stopAfter = std::chrono::milliseconds(0)) {
    args.insert(args.begin(), ZORVA_TOOL_EXE);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string out = (m_dir / "stdout").string(), err = (m_dir / "stderr").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ToolRun run;
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
      if (stopAfter.count() > 0) {
        std::this_thread::sleep_for(stopAfter);
        kill(pid, SIGTERM);
      }
      int status = 0;
      while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      run.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    }
    posix_spawn_file_actions_destroy(&actions);
    run.out = test::ReadFileBytes(out);
    run.err = test::ReadFileBytes(err);
    return run;
  }

  ScriptedServer m_server;
  fs::path m_dir;
};

TEST_F(ToolNetCommands, FetchPrintsTheBodyRaw) {
  const std::string body = "\xD6\xD0\xCE\xC4\r\nline two\r\n";
  m_server.On("/t", ScriptedReply::Ok(body));
  const ToolRun run = Tool({"fetch", m_server.Base() + "/t"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, body);
  EXPECT_EQ(Tool({"fetch", "https://example.invalid/"}).out, "0");
}

// What the client would read is printed either way; the exit code tells a
// script whether the transfer ended in an error.
TEST_F(ToolNetCommands, FetchExitsWithTwoAfterAFailedTransfer) {
  ScriptedReply reset;
  reset.head = "HTTP/1.1 200 OK\r\nContent-Length: 1000";
  reset.body = "partial";
  reset.end = test::ReplyEnd::Reset;
  reset.pauseBeforeEnd = std::chrono::milliseconds(300);
  m_server.On("/reset", reset);
  m_server.On("/missing", ScriptedReply::Status(404, "Not Found"));
  ToolRun run = Tool({"fetch", m_server.Base() + "/reset"});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_EQ(run.out, "partial");
  run = Tool({"fetch", m_server.Base() + "/missing"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, "");
  int port;
  { port = ScriptedServer().Port(); }
  EXPECT_EQ(Tool({"fetch", "http://127.0.0.1:" + std::to_string(port) + "/x"}).exitCode, 2);
}

TEST_F(ToolNetCommands, DownloadThatCannotPutItsFileInPlaceNeverSaysFinished) {
  const std::string name(256, 'n');
  m_server.On("/" + name, ScriptedReply::Ok("body"));
  const ToolRun run = Tool({"download", m_server.Base(), name, m_dir.string()});
  EXPECT_EQ(run.exitCode, 3);
  EXPECT_EQ(run.err.find("完成下载文件"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("status: 创建文件失败: " + name + "\n"), std::string::npos) << run.err;
}

TEST_F(ToolNetCommands, StoppedDownloadLeavesNoTemporaryFile) {
  ScriptedReply endless = ScriptedReply::Ok(std::string(65536, 'e'), false);
  endless.end = test::ReplyEnd::Endless;
  m_server.On("/endless.bin", endless);
  const fs::path target = m_dir / "d";
  const ToolRun run =
      Tool({"download", m_server.Base(), "endless.bin", target.string()}, std::chrono::seconds(1));
  EXPECT_EQ(run.signal, SIGTERM);
  EXPECT_NE(run.err.find("正在从互联网读取数据"), std::string::npos) << run.err;
  ASSERT_TRUE(fs::is_directory(target));
  EXPECT_TRUE(fs::is_empty(target)) << fs::begin(fs::directory_iterator(target))->path();
}

TEST_F(ToolNetCommands, DownloadPrintsEachStepAndExitsWithTheResult) {
  m_server.On("//dl/job.xml", ScriptedReply::Ok(std::string(198, 'j')));
  const ToolRun run = Tool({"download", m_server.Base(), "/dl/job.xml", (m_dir / "d").string()});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(test::ReadFileBytes(m_dir / "d" / "dl" / "job.xml"), std::string(198, 'j'));
  EXPECT_EQ(run.err.rfind("progress: pos 0\nprogress: show\nstatus: 完成创建目录!\n", 0), 0u)
      << run.err;
  EXPECT_NE(run.err.find("progress: range 0..1\n"), std::string::npos);
  EXPECT_NE(run.err.find("status: 正在从互联网读取数据......3\n"), std::string::npos);
  EXPECT_TRUE(run.err.ends_with("status: 完成下载文件:job.xml\nprogress: hide\n")) << run.err;

  EXPECT_EQ(Tool({"download", m_server.Base(), "missing", (m_dir / "d").string()}).exitCode, 1);
  EXPECT_EQ(Tool({"download", m_server.Base()}).exitCode, 2);  // usage
}

TEST_F(ToolNetCommands, SelectServerPrintsTheChosenBase) {
  m_server.On("/testinternet.txt", ScriptedReply::Ok("your internet is ok!"));
  int downPort;
  { downPort = ScriptedServer().Port(); }
  const std::string down = "http://127.0.0.1:" + std::to_string(downPort);
  setenv("ZORVA_SERVER_CANDIDATES", (down + ";" + m_server.Base()).c_str(), 1);
  ToolRun run = Tool({"select-server"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, m_server.Base() + "\n");
  setenv("ZORVA_SERVER_CANDIDATES", down.c_str(), 1);
  run = Tool({"select-server"});
  unsetenv("ZORVA_SERVER_CANDIDATES");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, "\n");
}

}  // namespace
}  // namespace zorva
