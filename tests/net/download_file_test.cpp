#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "core/cp936.h"
#include "core/pump.h"
#include "net/recording_status.h"
#include "net/transfer.h"
#include "support/file_bytes.h"
#include "support/scripted_server.h"

namespace zorva {
namespace {

namespace fs = std::filesystem;
using test::RecordingProgress;
using test::RecordingStatus;
using test::ReplyEnd;
using test::ScriptedReply;
using test::ScriptedServer;

Text Cn(const char* utf8) { return FromUtf8(utf8); }

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string Bytes(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + i % 26);
  return s;
}

// The status texts with each run of read-counter texts folded into one
// "<counter>" entry; the counter values go to counts.
std::vector<std::string> Folded(const std::vector<Text>& texts, std::vector<int>* counts) {
  const Text prefix = Cn("正在从互联网读取数据......");
  std::vector<std::string> folded;
  for (const Text& t : texts) {
    const bool counter = t.GetLength() > prefix.GetLength() && t.Left(prefix.GetLength()) == prefix;
    if (!counter) {
      folded.push_back(ToUtf8(t));
      continue;
    }
    counts->push_back(std::stoi(t.Mid(prefix.GetLength()).str()));
    if (folded.empty() || folded.back() != "<counter>") folded.push_back("<counter>");
  }
  return folded;
}

class DownloadFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetTransferTimeouts(5000, 2);
    std::string pattern = ::testing::TempDir() + "/zorva-download-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    m_dir = pattern;
  }
  void TearDown() override {
    ResetTransferTimeouts();
    fs::remove_all(m_dir);
  }

  int Download(const std::string& remotePath) {
    return DownloadFile(Text(m_server.Base()), Text(remotePath), Text(m_dir.string()), &m_progress,
                        &m_status);
  }

  // Every file below the folder, relative: no half-written file may stay.
  std::vector<std::string> Files() const {
    std::vector<std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(m_dir)) {
      if (e.is_regular_file()) files.push_back(fs::relative(e.path(), m_dir).string());
    }
    return files;
  }

  ScriptedServer m_server;
  fs::path m_dir;
  RecordingStatus m_status;
  RecordingProgress m_progress;
};

TEST_F(DownloadFileTest, StoresTheBodyCountingReadsOf99Bytes) {
  const std::string body = Bytes(198);
  m_server.On("//dl/download.xml", ScriptedReply::Ok(body));
  ASSERT_EQ(Download("/dl/download.xml"), kDownloadFinished);

  EXPECT_EQ(test::ReadFileBytes(m_dir / "dl" / "download.xml"), body);
  std::vector<int> counts;
  EXPECT_EQ(Folded(m_status.texts, &counts),
            (std::vector<std::string>{"完成创建目录!", "Downloading file:download.xml ...... ",
                                      "Opening Internet...", "连接互联网成功. ",
                                      "正在下载文件: download.xml", "正在从互联网读取数据......",
                                      "<counter>", "完成下载文件:download.xml"}));
  // 99 + 99 + the empty read; the first count shows, the last is exact.
  ASSERT_FALSE(counts.empty());
  EXPECT_EQ(counts.front(), 1);
  EXPECT_EQ(counts.back(), 3);
  EXPECT_TRUE(std::is_sorted(counts.begin(), counts.end()));
  EXPECT_EQ(m_progress.pos, 3);
  EXPECT_EQ(m_progress.events,
            (std::vector<std::string>{"pos 0", "show", "range 0..1", "pos 0", "hide"}));
  const auto requests = m_server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].target, "//dl/download.xml");
  EXPECT_EQ(requests[0].Header("Accept"), "*/*");
  EXPECT_EQ(requests[0].Header("User-Agent"), "MyProgram/1.0");
  EXPECT_EQ(requests[0].Header("Cache-Control"), "no-cache");
  EXPECT_EQ(requests[0].Header("Pragma"), "no-cache");
  EXPECT_EQ(Files(), std::vector<std::string>{"dl/download.xml"});
}

struct ReadCountCase {
  const char* name;
  size_t bodySize;
  bool contentLength;
  int reads;
  int rangeUpper;
};

void PrintTo(const ReadCountCase& c, std::ostream* os) { *os << c.name; }

class DownloadReadCount : public DownloadFileTest,
                          public ::testing::WithParamInterface<ReadCountCase> {};

TEST_P(DownloadReadCount, CounterAndBarEndExact) {
  const ReadCountCase& c = GetParam();
  const std::string body = Bytes(c.bodySize);
  m_server.On("/f.bin", ScriptedReply::Ok(body, c.contentLength));
  ASSERT_EQ(Download("f.bin"), kDownloadFinished);
  EXPECT_EQ(test::ReadFileBytes(m_dir / "f.bin"), body);
  std::vector<int> counts;
  Folded(m_status.texts, &counts);
  ASSERT_FALSE(counts.empty());
  EXPECT_EQ(counts.front(), 1);
  EXPECT_EQ(counts.back(), c.reads);
  EXPECT_EQ(m_progress.pos, c.reads);
  EXPECT_EQ(m_progress.upper, c.rangeUpper);
  EXPECT_FALSE(m_progress.visible);
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, DownloadReadCount,
    ::testing::Values(ReadCountCase{"Empty", 0, true, 1, 0},
                      ReadCountCase{"ShorterThanOneRead", 98, true, 2, 0},
                      ReadCountCase{"ExactlyOneRead", 99, true, 2, 0},
                      ReadCountCase{"OneByteMore", 100, true, 3, 1},
                      ReadCountCase{"NoContentLength", 500, false, 7, 0},
                      // Large enough to be coalesced; the final state is still exact.
                      ReadCountCase{"FourMebibytes", 4 << 20, true, 42368, 41943}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(DownloadFileTest, CoalescesStatusAndBarUpdates) {
  m_server.On("/big", ScriptedReply::Ok(Bytes(4 << 20)));
  ASSERT_EQ(Download("big"), kDownloadFinished);
  std::vector<int> counts;
  Folded(m_status.texts, &counts);
  // 42368 reads, but the status and bar move far less often.
  EXPECT_LT(counts.size(), 2000u);
  EXPECT_LT(m_progress.setPosCalls, 2000);
  EXPECT_EQ(counts.back(), 42368);
}

TEST_F(DownloadFileTest, RemotePathWithoutSlashLandsInTheDirectory) {
  m_server.On("/plain.txt", ScriptedReply::Ok("plain"));
  ASSERT_EQ(Download("plain.txt"), kDownloadFinished);
  EXPECT_EQ(Files(), std::vector<std::string>{"plain.txt"});
  EXPECT_EQ(m_server.Requests().at(0).target, "/plain.txt");
}

TEST_F(DownloadFileTest, PercentEncodedNameIsDecodedLocally) {
  m_server.On("//dl/download_%D6%D0%20x.xml", ScriptedReply::Ok("job"));
  ASSERT_EQ(Download("/dl/download_%D6%D0%20x.xml"), kDownloadFinished);
  EXPECT_EQ(test::ReadFileBytes(m_dir / "dl" / "download_\xD6\xD0 x.xml"), "job");
}

TEST_F(DownloadFileTest, ReplacesAnExistingFile) {
  WriteFile(m_dir / "f.txt", "old content that is longer");
  m_server.On("/f.txt", ScriptedReply::Ok("new"));
  ASSERT_EQ(Download("f.txt"), kDownloadFinished);
  EXPECT_EQ(test::ReadFileBytes(m_dir / "f.txt"), "new");
}

struct FailureCase {
  const char* name;
  ScriptedReply reply;
  int result;
  const char* lastStatus;
  bool barStaysShown;
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class DownloadFailure : public DownloadFileTest,
                        public ::testing::WithParamInterface<FailureCase> {};

TEST_P(DownloadFailure, KeepsTheExistingFile) {
  const FailureCase& c = GetParam();
  WriteFile(m_dir / "f.txt", "previous");
  m_server.On("/f.txt", c.reply);
  EXPECT_EQ(Download("f.txt"), c.result);
  ASSERT_FALSE(m_status.texts.empty());
  EXPECT_EQ(ToUtf8(m_status.texts.back()), c.lastStatus);
  EXPECT_EQ(m_progress.visible, c.barStaysShown);
  EXPECT_EQ(test::ReadFileBytes(m_dir / "f.txt"), "previous");
  EXPECT_EQ(Files(), std::vector<std::string>{"f.txt"});
}

ScriptedReply Cut(ReplyEnd end) {
  ScriptedReply r;
  r.head = "HTTP/1.1 200 OK\r\nContent-Length: 100000";
  r.body = Bytes(250);
  r.end = end;
  r.pauseBeforeEnd = std::chrono::milliseconds(500);
  return r;
}

INSTANTIATE_TEST_SUITE_P(
    Replies, DownloadFailure,
    ::testing::Values(FailureCase{"NotFound", ScriptedReply::Status(404, "Not Found"),
                                  kDownloadNotHttp, "连接互联网失败。", true},
                      FailureCase{"Redirect", ScriptedReply::Status(302, "Found", "Location: /x"),
                                  kDownloadNotHttp, "连接互联网失败。", true},
                      FailureCase{"ServerError",
                                  ScriptedReply::Status(500, "Internal Server Error"),
                                  kDownloadNotHttp, "连接互联网失败。", true},
                      FailureCase{"ResetInMidBody", Cut(ReplyEnd::Reset), kDownloadNetError,
                                  "发生互联网错误. ", false},
                      FailureCase{"StallInMidBody", Cut(ReplyEnd::Stall), kDownloadNetError,
                                  "发生互联网错误. ", false}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(DownloadFileTest, InterruptedBodyShowsTheReadsDoneBeforeTheError) {
  m_server.On("/f.txt", Cut(ReplyEnd::Reset));
  ASSERT_EQ(Download("f.txt"), kDownloadNetError);
  std::vector<int> counts;
  EXPECT_EQ(Folded(m_status.texts, &counts).back(), "发生互联网错误. ");
  ASSERT_FALSE(counts.empty());
  EXPECT_EQ(counts.back(), 2);  // 250 bytes: two whole reads, the third failed
  EXPECT_EQ(m_progress.pos, 2);
}

TEST_F(DownloadFileTest, UnreachableServerIsANetworkError) {
  int port;
  { port = ScriptedServer().Port(); }
  EXPECT_EQ(DownloadFile(Text("http://127.0.0.1:" + std::to_string(port)), "f",
                         Text(m_dir.string()), &m_progress, &m_status),
            kDownloadNetError);
  EXPECT_EQ(ToUtf8(m_status.texts.back()), "发生互联网错误. ");
  EXPECT_EQ(ToUtf8(m_status.texts[m_status.texts.size() - 2]), "Opening Internet...");
  EXPECT_FALSE(m_progress.visible);
}

TEST_F(DownloadFileTest, NonHttpBaseIsRefusedWithoutTraffic) {
  const Text base = Text("https://127.0.0.1:" + std::to_string(m_server.Port()));
  EXPECT_EQ(DownloadFile(base, "f.txt", Text(m_dir.string()), &m_progress, &m_status),
            kDownloadNotHttp);
  EXPECT_EQ(m_status.texts.back(), "Error: can only use URLs beginning with http://");
  EXPECT_TRUE(m_progress.visible);
  EXPECT_EQ(m_server.Connections(), 0);
}

TEST_F(DownloadFileTest, FileThatCannotBeCreatedIsReportedAndCountsAsDone) {
  fs::create_directories(m_dir / "dl" / "taken");
  m_server.On("//dl/taken", ScriptedReply::Ok("body"));
  EXPECT_EQ(Download("/dl/taken"), kDownloadFinished);
  EXPECT_EQ(ToUtf8(m_status.texts.back()), "创建文件失败: /dl/taken");
  EXPECT_FALSE(m_progress.visible);
  EXPECT_TRUE(fs::is_directory(m_dir / "dl" / "taken"));

  // The object shows decoded, as every other text shows the name.
  fs::create_directories(m_dir / "dl" / "\xD6\xD0 x");
  m_server.On("//dl/%D6%D0%20x", ScriptedReply::Ok("body"));
  EXPECT_EQ(Download("/dl/%D6%D0%20x"), kDownloadFinished);
  EXPECT_EQ(ToUtf8(m_status.texts.back()), "创建文件失败: /dl/中 x");
}

TEST_F(DownloadFileTest, FileThatCannotBePutInPlaceNeverSaysFinished) {
  // The temporary name is short enough, the 256-byte target is not.
  const std::string name(256, 'n');
  m_server.On("/" + name, ScriptedReply::Ok("body"));
  EXPECT_EQ(Download(name), kDownloadOtherError);
  for (const Text& text : m_status.texts) {
    EXPECT_NE(ToUtf8(text).rfind("完成下载文件:", 0), 0u) << ToUtf8(text);
  }
  EXPECT_EQ(ToUtf8(m_status.texts.back()), "创建文件失败: " + name);
  EXPECT_TRUE(Files().empty());
}

struct CeilingCase {
  const char* name;
  ScriptedReply reply;
};

void PrintTo(const CeilingCase& c, std::ostream* os) { *os << c.name; }

class DownloadCeiling : public DownloadFileTest,
                        public ::testing::WithParamInterface<CeilingCase> {};

// An endless body is a network error once it passes what it may hold.
TEST_P(DownloadCeiling, EndlessBodyFailsAsANetworkError) {
  SetTransferLimits(kFetchTextDeadlineMs, 1 << 20);
  m_server.On("/endless", GetParam().reply);
  EXPECT_EQ(Download("endless"), kDownloadNetError);
  EXPECT_EQ(ToUtf8(m_status.texts.back()), "发生互联网错误. ");
  EXPECT_TRUE(Files().empty());
}

std::string Chunk(size_t n) {
  char size[16];
  std::snprintf(size, sizeof size, "%zx", n);
  return size + std::string("\r\n") + Bytes(n) + "\r\n";
}

INSTANTIATE_TEST_SUITE_P(
    Replies, DownloadCeiling,
    ::testing::Values(CeilingCase{"NoLengthPastTheCeiling",
                                  [] {
                                    ScriptedReply r = ScriptedReply::Ok(Bytes(65536), false);
                                    r.end = ReplyEnd::Endless;
                                    return r;
                                  }()},
                      // libcurl takes the chunks and ignores the declared length.
                      CeilingCase{"ChunkedPastItsDeclaredLength",
                                  [] {
                                    ScriptedReply r;
                                    r.head =
                                        "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n"
                                        "Transfer-Encoding: chunked";
                                    r.body = Chunk(4096);
                                    r.end = ReplyEnd::Endless;
                                    return r;
                                  }()}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(DownloadFileTest, AbortedDownloadRemovesItsTemporaryFile) {
  // AbortDownloads is for a process about to end, so it runs in a child.
  ScriptedReply endless = ScriptedReply::Ok(Bytes(65536), false);
  endless.end = ReplyEnd::Endless;
  m_server.On("/endless", endless);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    struct AbortOnCounter : test::RecordingStatus {
      void SetText(const Text& text) override {
        if (ToUtf8(text) == "正在从互联网读取数据......1") AbortDownloads();
      }
    } aborting;
    const int result =
        DownloadFile(Text(m_server.Base()), "endless", Text(m_dir.string()), nullptr, &aborting);
    ::_exit(result);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), kDownloadNetError);
  EXPECT_TRUE(Files().empty());
}

TEST_F(DownloadFileTest, StaleTemporaryFilesOfEndedProcessesAreRemoved) {
  // A pid that no longer runs: a child that has ended and been reaped.
  const pid_t ended = ::fork();
  if (ended == 0) ::_exit(0);
  ::waitpid(ended, nullptr, 0);
  const std::string gone = std::to_string(ended), alive = std::to_string(::getppid());
  for (const std::string& name : std::vector<std::string>{
           ".download.xml.part-" + gone + "-0", ".a.part-b.part-" + gone + "-12",
           ".job.xml.part-" + alive + "-0", "download.xml.part-" + gone + "-0", ".x.part-" + gone,
           ".x.part-" + gone + "-", ".x.part-" + gone + "-0z", "download.xml"}) {
    WriteFile(m_dir / name, "x");
  }
  fs::create_directory(m_dir / (".dir.part-" + gone + "-0"));
  RemoveStaleDownloadFiles(Text(m_dir.string()));
  std::vector<std::string> left = Files();
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{".job.xml.part-" + alive + "-0", ".x.part-" + gone,
                                            ".x.part-" + gone + "-", ".x.part-" + gone + "-0z",
                                            "download.xml", "download.xml.part-" + gone + "-0"}));
  EXPECT_TRUE(fs::is_directory(m_dir / (".dir.part-" + gone + "-0")));
}

TEST_F(DownloadFileTest, WriteFailureIsResultThree) {
  m_server.On("/big", ScriptedReply::Ok(Bytes(1 << 20)));
  // A file size limit makes the writes fail the way a full disk would.
  struct sigaction ignore {
  }, previous{};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, &previous);
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  rlimit limited = saved;
  limited.rlim_cur = 64 * 1024;
  setrlimit(RLIMIT_FSIZE, &limited);
  const int result = Download("big");
  setrlimit(RLIMIT_FSIZE, &saved);
  sigaction(SIGXFSZ, &previous, nullptr);

  EXPECT_EQ(result, kDownloadOtherError);
  EXPECT_TRUE(Files().empty());
  EXPECT_FALSE(m_progress.visible);
}

TEST_F(DownloadFileTest, PathsLeavingTheDirectoryAreRefusedWithoutTraffic) {
  for (const char* path :
       {"/../escape.txt", "/dl/..%2F..%2Fescape.txt", "/a/../../x", "..", "/dl/%2E%2E",
        "/dl/..%5Cescape.txt", "/dl/a\\b.txt", "/dl/", "/dl/a%00b"}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(Download(path), kDownloadOtherError);
  }
  EXPECT_EQ(m_server.Connections(), 0);
  EXPECT_TRUE(Files().empty());
  EXPECT_FALSE(fs::exists(m_dir.parent_path() / "escape.txt"));
}

TEST_F(DownloadFileTest, WorksWithoutStatusWindowOrBar) {
  m_server.On("/f", ScriptedReply::Ok("quiet"));
  EXPECT_EQ(DownloadFile(Text(m_server.Base()), "f", Text(m_dir.string()), nullptr, nullptr),
            kDownloadFinished);
  EXPECT_EQ(test::ReadFileBytes(m_dir / "f"), "quiet");
}

// A pump that counts its passes once the body has begun to arrive.
class CountingPump : public MessagePump {
 public:
  bool PumpMessages() override {
    if (counting) ++passes;
    return true;
  }
  void Idle(uint32_t) override {}
  void EndOfPumping() override { ++ends; }
  bool counting = false;
  int passes = 0;
  int ends = 0;
};

// Starts the pump's count at the first read of the body.
class CountFromFirstRead : public test::RecordingStatus {
 public:
  explicit CountFromFirstRead(CountingPump& pump) : m_pump(pump) {}
  void SetText(const Text& text) override {
    if (ToUtf8(text) == "正在从互联网读取数据......1") m_pump.counting = true;
  }

 private:
  CountingPump& m_pump;
};

TEST_F(DownloadFileTest, PumpsMessagesWhileTheServerIsSilent) {
  CountingPump pump;
  CountFromFirstRead status(pump);
  InstallMessagePump(&pump);
  ScriptedReply slow = Cut(ReplyEnd::Close);
  slow.pauseBeforeEnd = std::chrono::milliseconds(1500);
  m_server.On("/slow", slow);
  DownloadFile(Text(m_server.Base()), "slow", Text(m_dir.string()), nullptr, &status);
  InstallMessagePump(nullptr);
  // 1.5 s of silence after the first bytes: a pass every ~30 ms, not one
  // per second or only when bytes arrive.
  EXPECT_GE(pump.passes, 15);
  EXPECT_EQ(pump.ends, 1);
}

class MakeDirectoriesTest : public DownloadFileTest {};

TEST_F(MakeDirectoriesTest, ExistingPathOnlyReportsDone) {
  MakeDirectories(Text(m_dir.string()), &m_status);
  EXPECT_EQ(m_status.texts, std::vector<Text>{Cn("完成创建目录!")});
}

TEST_F(MakeDirectoriesTest, CreatesEveryLevel) {
  MakeDirectories(Text((m_dir / "a" / "b" / "c").string()), &m_status);
  EXPECT_TRUE(fs::is_directory(m_dir / "a" / "b" / "c"));
  EXPECT_EQ(m_status.texts, std::vector<Text>{Cn("完成创建目录!")});
}

TEST_F(MakeDirectoriesTest, FailuresAreReplacedByDone) {
  WriteFile(m_dir / "file", "x");
  MakeDirectories(Text((m_dir / "file" / "a" / "b").string()), &m_status);
  EXPECT_EQ(m_status.texts, (std::vector<Text>{Cn("创建目录失败!"), Cn("完成创建目录!")}));
  m_status.texts.clear();
  MakeDirectories(Text((m_dir / "file" / "a").string()), &m_status);
  EXPECT_EQ(m_status.texts, (std::vector<Text>{Cn("创建目录时发生错误!"), Cn("完成创建目录!")}));
}

}  // namespace
}  // namespace zorva
