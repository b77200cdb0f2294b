// Applying a job against a loopback server: files land only when every one
// arrived whole and matches the job; any refusal, failure or cancel leaves
// the working directory as it was, byte for byte.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>

#include "net/transfer.h"
#include "support/file_bytes.h"
#include "support/scripted_server.h"
#include "updater/job_keys.h"
#include "updater/update_job.h"
#include "updater/update_run.h"

namespace zorva {
namespace {

namespace fs = std::filesystem;
using test::ScriptedReply;
using test::ScriptedServer;

const PrivateKey kKey = [] {
  PrivateKey key{};
  for (size_t i = 0; i < key.size(); ++i) key[i] = static_cast<uint8_t>(200 - i);
  return key;
}();

// Every entry under dir: its kind, permissions and bytes (or link target).
std::map<std::string, std::string> Snapshot(const fs::path& dir) {
  std::map<std::string, std::string> entries;
  for (auto it = fs::recursive_directory_iterator(dir); it != fs::end(it); ++it) {
    const std::string name = it->path().lexically_relative(dir).string();
    const fs::file_status st = fs::symlink_status(it->path());
    const std::string mode = std::to_string(static_cast<int>(st.permissions()));
    if (fs::is_symlink(st)) {
      entries[name] = "link " + fs::read_symlink(it->path()).string();
    } else if (fs::is_directory(st)) {
      entries[name] = "dir " + mode;
    } else {
      entries[name] = "file " + mode + " " + test::ReadFileBytes(it->path());
    }
  }
  return entries;
}

void Write(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

class RecordingView : public UpdateView, public ProgressBar {
 public:
  void ShowStep(const std::string& text) override {
    steps.push_back(text);
    if (onStep) onStep(text);
  }
  ProgressBar* Progress() override { return this; }
  void SetRange32(int, int) override {}
  void SetPos(int pos) override {
    m_pos = pos;
    if (onProgress) onProgress(pos);
  }
  int GetPos() const override { return m_pos; }
  void Show(bool) override {}

  std::vector<std::string> steps;
  std::function<void(const std::string&)> onStep;
  std::function<void(int)> onProgress;

 private:
  int m_pos = 0;
};

class ApplyJob : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string dir = ::testing::TempDir() + "/zorva-update-XXXXXX";
    ASSERT_NE(::mkdtemp(dir.data()), nullptr);
    m_root = dir;
    m_work = m_root / "work";
    fs::create_directories(m_work / "dl");
    Write(m_work / "zorva.xml", "<zorva>2.0</zorva>");
    Write(m_work / "help/help.htm", "old help");
    m_server.On("/testinternet.txt", ScriptedReply::Ok("your internet is ok!"));
    setenv("ZORVA_SERVER_CANDIDATES", m_server.Base().c_str(), 1);
  }
  void TearDown() override {
    unsetenv("ZORVA_SERVER_CANDIDATES");
    fs::remove_all(m_root);
  }

  // A file of the job that the server sends as sent (by default what the
  // job says).
  void AddFile(const std::string& local, const std::string& bytes, bool executable = false,
               std::optional<ScriptedReply> sent = std::nullopt) {
    const std::string url = "/dl/new/" + std::to_string(m_job.files.size() + 1);
    m_job.files.push_back({Text(local), Text(url), bytes.size(), Sha256Hex(bytes), executable});
    m_server.On("/" + url, sent ? *sent : ScriptedReply::Ok(bytes));
  }

  // Signs the job (by default it installs 2.1, with its first file as the
  // version file) and runs it. What it should leave unchanged is the working
  // directory as it was, but for the job, which any run uses up.
  UpdateResult Run() {
    if (m_job.version.IsEmpty()) m_job.version = "2.1";
    if (m_job.versionFile.IsEmpty()) m_job.versionFile = m_job.files.front().local;
    Write(m_work / kJobFile, SignJobBody(ComposeJobBody(m_job).value(), kKey));
    return RunWritten();
  }
  UpdateResult RunWritten() {
    m_before = Snapshot(m_work);
    m_before.erase(kJobFile);
    UpdateOptions options;
    options.workDir = Text(m_work.string());
    options.key = PublicKeyOf(kKey);
    options.clientPid = m_clientPid;
    return ApplyUpdateJob(options, m_view, m_cancel);
  }

  void ExpectUnchanged() { EXPECT_EQ(Snapshot(m_work), m_before); }

  fs::path m_root;
  fs::path m_work;
  ScriptedServer m_server;
  UpdateJob m_job;
  RecordingView m_view;
  std::atomic<bool> m_cancel{false};
  pid_t m_clientPid = 0;
  std::map<std::string, std::string> m_before;
};

TEST_F(ApplyJob, PutsEveryFileInPlaceAndLeavesNoStagingBehind) {
  AddFile("zorva.xml", "<zorva>2.1</zorva>");
  AddFile("help/whatsnew.htm", "new in 2.1");
  AddFile("games/bin/shuzi.exe", "#!/bin/sh\n", /*executable=*/true);
  const UpdateResult result = Run();
  ASSERT_EQ(result.outcome, UpdateOutcome::Applied) << result.message;
  EXPECT_EQ(test::ReadFileBytes(m_work / "zorva.xml"), "<zorva>2.1</zorva>");
  EXPECT_EQ(test::ReadFileBytes(m_work / "help/whatsnew.htm"), "new in 2.1");
  EXPECT_EQ(test::ReadFileBytes(m_work / "help/help.htm"), "old help");
  EXPECT_EQ(::access((m_work / "games/bin/shuzi.exe").c_str(), X_OK), 0);
  EXPECT_NE(::access((m_work / "help/whatsnew.htm").c_str(), X_OK), 0);
  // The job is used up and the staging folder gone.
  EXPECT_TRUE(fs::is_empty(m_work / "dl"));
}

TEST_F(ApplyJob, RefusesAFileWhoseSizeOrHashDiffersAndChangesNothing) {
  struct Case {
    const char* name;
    std::string sent;
    UpdateOutcome outcome;
    const char* messagePart;
  } cases[] = {
      // Cut off as soon as it passes the size: a server cannot fill the disk.
      {"longer than the job says", "<zorva>2.1</zorva>" + std::string(100000, ' '),
       UpdateOutcome::Failed, "更长"},
      {"shorter than the job says", "<zorva>2.1", UpdateOutcome::Refused, "大小不符"},
      {"same size, other bytes", "<zorva>6.6</zorva>", UpdateOutcome::Refused, "SHA-256"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    m_job = {};
    AddFile("help/whatsnew.htm", "new in 2.1");
    AddFile("zorva.xml", "<zorva>2.1</zorva>", false, ScriptedReply::Ok(c.sent));
    const UpdateResult result = Run();
    EXPECT_EQ(result.outcome, c.outcome);
    EXPECT_NE(result.message.find(c.messagePart), std::string::npos) << result.message;
    ExpectUnchanged();
  }
}

TEST_F(ApplyJob, AServerThatResetsInTheMiddleOfAFileChangesNothing) {
  const std::string big(300000, 'z');
  AddFile("zorva.xml", "<zorva>2.1</zorva>");
  ScriptedReply reset = ScriptedReply::Ok(big);
  reset.body.resize(big.size() / 2);
  reset.head = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(big.size());
  reset.end = test::ReplyEnd::Reset;
  reset.pauseBeforeEnd = std::chrono::milliseconds(50);
  AddFile("help/big.bin", big, false, reset);
  const UpdateResult result = Run();
  EXPECT_EQ(result.outcome, UpdateOutcome::Failed);
  ExpectUnchanged();
}

TEST_F(ApplyJob, RefusesALinkThatLeadsOutsideBeforeAnyTraffic) {
  fs::create_directories(m_root / "outside");
  fs::create_symlink(m_root / "outside", m_work / "escape");
  AddFile("zorva.xml", "<zorva>2.1</zorva>");
  AddFile("escape/evil.sh", "echo owned");
  const UpdateResult result = Run();
  EXPECT_EQ(result.outcome, UpdateOutcome::Refused);
  EXPECT_NE(result.message.find("escape/evil.sh"), std::string::npos) << result.message;
  ExpectUnchanged();
  EXPECT_TRUE(fs::is_empty(m_root / "outside"));
  EXPECT_EQ(m_server.Requests().size(), 0u);
}

// A job signed with another key is refused before any traffic. Refused or
// not, a job is used once: it is gone, and a second start finds no job,
// says so and changes nothing.
TEST_F(ApplyJob, AJobSignedWithAnotherKeyIsRefusedAndUsedUp) {
  AddFile("zorva.xml", "<zorva>2.1</zorva>");
  m_job.version = "2.1";
  m_job.versionFile = "zorva.xml";
  PrivateKey other = kKey;
  other[0] ^= 1;
  Write(m_work / kJobFile, SignJobBody(ComposeJobBody(m_job).value(), other));
  const UpdateResult refused = RunWritten();
  EXPECT_EQ(refused.outcome, UpdateOutcome::Refused);
  EXPECT_NE(refused.message.find("签名无效"), std::string::npos) << refused.message;
  EXPECT_FALSE(fs::exists(m_work / kJobFile));
  ExpectUnchanged();

  const UpdateResult again = RunWritten();
  EXPECT_EQ(again.outcome, UpdateOutcome::Refused);
  EXPECT_NE(again.message.find("找不到更新任务"), std::string::npos) << again.message;
  ExpectUnchanged();
  EXPECT_EQ(m_server.Requests().size(), 0u);
}

TEST_F(ApplyJob, ABuildWithoutAKeyRefusesEveryJob) {
  AddFile("zorva.xml", "<zorva>2.1</zorva>");
  m_job.version = "2.1";
  m_job.versionFile = "zorva.xml";
  Write(m_work / kJobFile, SignJobBody(ComposeJobBody(m_job).value(), kKey));
  m_before = Snapshot(m_work);
  m_before.erase(kJobFile);
  UpdateOptions options{Text(m_work.string()), std::nullopt, 0};
  const UpdateResult result = ApplyUpdateJob(options, m_view, m_cancel);
  EXPECT_EQ(result.outcome, UpdateOutcome::Refused);
  EXPECT_NE(result.message.find("ZORVA_UPDATE_PUBLIC_KEY"), std::string::npos) << result.message;
  ExpectUnchanged();
}

// A job binds the version it installs: one signed for an older or the same
// version cannot take the working directory back.
TEST_F(ApplyJob, AJobForAVersionThatIsNotNewerIsRefused) {
  struct Case {
    const char* name;
    const char* installed;  // nullptr: no version file
    const char* versionFile;
    const char* jobVersion;
    bool applied;
  } cases[] = {
      {"an old program job over a newer one", "<zorva>2.1</zorva>", "zorva.xml", "2.0", false},
      {"the same version again", "<zorva>2.1</zorva>", "zorva.xml", "2.1", false},
      {"versions compare as numbers", "<zorva>2.9</zorva>", "zorva.xml", "2.10", false},
      {"an item at its version", "<version>1.5</version>", "game.xml", "1.5", false},
      {"a newer item", "<version>1.0</version>", "game.xml", "1.5", true},
      {"an item not yet there", nullptr, "game.xml", "0.1", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(m_work / c.versionFile);
    if (c.installed) Write(m_work / c.versionFile, c.installed);
    m_job = {};
    AddFile(c.versionFile, "<version>new</version>");
    m_job.version = c.jobVersion;
    m_job.versionFile = c.versionFile;
    const size_t requestsBefore = m_server.Requests().size();
    const UpdateResult result = Run();
    if (c.applied) {
      EXPECT_EQ(result.outcome, UpdateOutcome::Applied) << result.message;
    } else {
      EXPECT_EQ(result.outcome, UpdateOutcome::Refused);
      EXPECT_NE(result.message.find("不比已安装的版本"), std::string::npos) << result.message;
      EXPECT_EQ(m_server.Requests().size(), requestsBefore);
      ExpectUnchanged();
    }
  }
}

// Each way a transfer fails says which it was.
TEST_F(ApplyJob, ATransferFailureSaysWhatFailed) {
  ScriptedReply reset = ScriptedReply::Ok("<zorva>");
  reset.head = "HTTP/1.1 200 OK\r\nContent-Length: 18";
  reset.end = test::ReplyEnd::Reset;
  reset.pauseBeforeEnd = std::chrono::milliseconds(50);
  ScriptedReply huge = ScriptedReply::Ok("x");
  huge.head = "HTTP/1.1 200 OK\r\nContent-Length: 5000000000";
  huge.end = test::ReplyEnd::Stall;
  struct Case {
    const char* name;
    ScriptedReply sent;
    const char* messagePart;
  } cases[] = {
      {"not found", ScriptedReply::Status(404, "Not Found"), "HTTP 404"},
      {"a redirect", ScriptedReply::Status(302, "Found", "Location: http://127.0.0.1:1/x"),
       "HTTP 302"},
      {"a reset", reset, "网络错误"},
      {"a 5 GB length", huge, "更长"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    m_job = {};
    AddFile("zorva.xml", "<zorva>2.1</zorva>", false, c.sent);
    const UpdateResult result = Run();
    EXPECT_EQ(result.outcome, UpdateOutcome::Failed);
    EXPECT_NE(result.message.find(c.messagePart), std::string::npos) << result.message;
    ExpectUnchanged();
  }
}

// A folder swapped for a link while the files download is not followed when
// they are put in place: nothing lands outside, nothing outside is moved.
TEST_F(ApplyJob, AFolderSwappedForALinkDuringTheDownloadIsNotFollowed) {
  fs::create_directories(m_root / "outside");
  Write(m_root / "outside/a.txt", "outside");
  Write(m_work / "sub/a.txt", "inside");
  AddFile("zorva.xml", "<zorva>2.1</zorva>");
  AddFile("sub/a.txt", "new");
  m_view.onStep = [this](const std::string& step) {
    if (step.find("正在下载") == std::string::npos || step.find("2/2") == std::string::npos) return;
    fs::rename(m_work / "sub", m_root / "sub-moved");
    fs::create_directory_symlink(m_root / "outside", m_work / "sub");
  };
  const UpdateResult result = Run();
  EXPECT_NE(result.outcome, UpdateOutcome::Applied);
  EXPECT_EQ(test::ReadFileBytes(m_root / "outside/a.txt"), "outside");
  EXPECT_EQ(std::distance(fs::directory_iterator(m_root / "outside"), fs::directory_iterator()), 1);
  EXPECT_EQ(test::ReadFileBytes(m_work / "zorva.xml"), "<zorva>2.0</zorva>");
}

TEST_F(ApplyJob, AFailureWhilePlacingPutsTheOldFilesBack) {
  // The last file goes missing from the staging folder: by then the first
  // two are in place (one in a new folder, one replacing) and must go again.
  AddFile("zorva.xml", "<zorva>2.1</zorva>");
  AddFile("news/2.1/whatsnew.htm", "new in 2.1");
  AddFile("help/help.htm", "new help");
  m_view.onStep = [this](const std::string& step) {
    if (step.find("正在安装") == std::string::npos || step.find("3/3") == std::string::npos) return;
    EXPECT_EQ(test::ReadFileBytes(m_work / "help/help.htm"), "new help");
    for (const auto& staging : fs::directory_iterator(m_work / "dl")) {
      for (const auto& staged : fs::directory_iterator(staging.path() / "new")) {
        fs::remove(staged.path());
      }
    }
  };
  const UpdateResult result = Run();
  EXPECT_EQ(result.outcome, UpdateOutcome::Failed);
  EXPECT_NE(result.message.find("已全部恢复"), std::string::npos) << result.message;
  ExpectUnchanged();
}

TEST_F(ApplyJob, CancelDuringTheDownloadsChangesNothing) {
  AddFile("zorva.xml", "<zorva>2.1</zorva>");
  AddFile("help/whatsnew.htm", "new in 2.1");
  m_view.onStep = [this](const std::string& step) {
    if (step.find("2/2") != std::string::npos) m_cancel = true;
  };
  EXPECT_EQ(Run().outcome, UpdateOutcome::Cancelled);
  ExpectUnchanged();
}

TEST_F(ApplyJob, CancelInTheMiddleOfAStalledFileEndsTheTransfer) {
  // The server sends half the file and then nothing, and the stall time-out
  // is an hour: only cancel can end this transfer.
  const std::string big(200000, 'q');
  ScriptedReply stall = ScriptedReply::Ok(big);
  stall.head = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(big.size());
  stall.body.resize(big.size() / 2);
  stall.end = test::ReplyEnd::Stall;
  AddFile("zorva.xml", "<zorva>2.1</zorva>");
  AddFile("help/big.bin", big, false, stall);
  m_view.onProgress = [this](int pos) {
    if (pos > 0 && m_view.steps.back().find("2/2") != std::string::npos) m_cancel = true;
  };
  SetTransferTimeouts(10000, 3600);
  EXPECT_EQ(Run().outcome, UpdateOutcome::Cancelled);
  ResetTransferTimeouts();
  ExpectUnchanged();
}

TEST_F(ApplyJob, CancelWhilePlacingPutsTheOldFilesBack) {
  AddFile("zorva.xml", "<zorva>2.1</zorva>");
  AddFile("news/whatsnew.htm", "new in 2.1");
  m_view.onStep = [this](const std::string& step) {
    if (step.find("正在安装") == std::string::npos || step.find("2/2") == std::string::npos) return;
    // The first file is in place by now (the version file comes last).
    EXPECT_EQ(test::ReadFileBytes(m_work / "news/whatsnew.htm"), "new in 2.1");
    m_cancel = true;
  };
  EXPECT_EQ(Run().outcome, UpdateOutcome::Cancelled);
  ExpectUnchanged();
}

TEST_F(ApplyJob, NoServerChangesNothing) {
  AddFile("zorva.xml", "<zorva>2.1</zorva>");
  setenv("ZORVA_SERVER_CANDIDATES", "http://127.0.0.1:1", 1);
  EXPECT_EQ(Run().outcome, UpdateOutcome::Failed);
  ExpectUnchanged();
}

TEST_F(ApplyJob, ARestartingJobWaitsForTheClientToEnd) {
  // The "client" ends when its pipe closes; the run must not touch the
  // working directory before that.
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  const pid_t client = ::fork();
  ASSERT_GE(client, 0);
  if (client == 0) {
    ::close(pipeFds[1]);
    char c;
    while (::read(pipeFds[0], &c, 1) > 0) {
    }
    ::_exit(0);
  }
  ::close(pipeFds[0]);
  m_clientPid = client;
  m_job.restart = true;
  AddFile("zorva.xml", "<zorva>2.1</zorva>");
  bool waited = false;
  m_view.onStep = [&](const std::string& step) {
    if (step.find("等待") == std::string::npos) return;
    waited = true;
    // Only the job has moved, into the run's staging folder.
    std::map<std::string, std::string> now = Snapshot(m_work);
    std::erase_if(now, [](const auto& entry) { return entry.first.starts_with("dl/"); });
    EXPECT_EQ(now, m_before);
    EXPECT_EQ(m_server.Connections(), 0);
    ::close(pipeFds[1]);  // the client ends now
  };
  const UpdateResult result = Run();
  ::waitpid(client, nullptr, 0);
  EXPECT_TRUE(waited);
  EXPECT_EQ(result.outcome, UpdateOutcome::Applied) << result.message;
  EXPECT_TRUE(result.restart);
  EXPECT_EQ(test::ReadFileBytes(m_work / "zorva.xml"), "<zorva>2.1</zorva>");
}

TEST_F(ApplyJob, AnItemJobDoesNotWaitForTheRunningClient) {
  // The client keeps running after handing over a program item.
  m_clientPid = ::getpid();
  AddFile("shuzi.exe", "#!/bin/sh\n", true);
  const UpdateResult result = Run();
  EXPECT_EQ(result.outcome, UpdateOutcome::Applied) << result.message;
  EXPECT_FALSE(result.restart);
}

// A kill (as by a power loss) at any point of a 2,000-file job, followed by
// the next start, gives the whole old set of files, byte for byte, and no
// staging folder left behind.
TEST_F(ApplyJob, AKillAtAnyStepIsRolledBackAtTheNextStart) {
  constexpr int kFiles = 2000;
  for (int i = 0; i < kFiles; ++i) {
    const std::string name =
        "lessons/" + std::to_string(i % 20) + "/page" + std::to_string(i) + ".swf";
    if (i % 2 == 0) Write(m_work / name, "old " + std::to_string(i));
    AddFile(name, "new " + std::to_string(i));
  }
  AddFile("zorva.xml", "<zorva>2.1</zorva>");
  m_job.version = "2.1";
  m_job.versionFile = "zorva.xml";
  const std::string job = SignJobBody(ComposeJobBody(m_job).value(), kKey);
  const std::string total = "/" + std::to_string(kFiles + 1) + "）";
  struct Case {
    const char* phase;
    int step;  // 0: the phase has no steps
  } cases[] = {{"正在下载", 5},      {"正在安装", 1},          {"正在安装", 2}, {"正在安装", 1000},
               {"正在安装", kFiles}, {"正在安装", kFiles + 1}, {"正在完成", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.phase) + " " + std::to_string(c.step));
    Write(m_work / kJobFile, job);
    m_before = Snapshot(m_work);
    m_before.erase(kJobFile);
    const std::string at = c.step ? "（" + std::to_string(c.step) + total : "";
    const pid_t run = ::fork();
    ASSERT_GE(run, 0);
    if (run == 0) {
      m_view.onStep = [&](const std::string& step) {
        if (step.starts_with(c.phase) && step.ends_with(at)) ::raise(SIGKILL);
      };
      UpdateOptions options{Text(m_work.string()), PublicKeyOf(kKey), 0};
      ApplyUpdateJob(options, m_view, m_cancel);
      ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(run, &status, 0), run);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the run was not killed";

    // The next start finds no job; it rolls back what the killed run left.
    UpdateOptions options{Text(m_work.string()), PublicKeyOf(kKey), 0};
    EXPECT_EQ(ApplyUpdateJob(options, m_view, m_cancel).outcome, UpdateOutcome::Refused);
    ExpectUnchanged();
    EXPECT_TRUE(fs::is_empty(m_work / "dl"));
  }
}

// The launcher's copy of an installed package's program into the user's
// working directory: a newer package wins over an older self-update, a newer
// self-update survives an older package, and the user's own files are never
// touched.
TEST_F(ApplyJob, APackageProgramIsCopiedOnlyWhenNewer) {
  const fs::path package = m_root / "package";
  struct Case {
    const char* name;
    const char* userVersion;  // nullptr: a working directory without a client
    const char* packageVersion;
    bool copied;
  } cases[] = {
      {"first start", nullptr, "2.0", true},
      {"a package upgrade", "2.0", "2.1", true},
      {"an older package under a newer self-update", "2.1", "2.0", false},
      {"the same version", "2.1", "2.1", false},
      {"versions compare as numbers", "2.9", "2.10", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(m_work);
    fs::remove_all(package);
    Write(m_work / "zorva_user.xml", "users");
    Write(m_work / "ann.dat", "password");
    Write(m_work / "dl/download_x.xml", "job");
    if (c.userVersion) {
      Write(m_work / "zorva", std::string("client ") + c.userVersion);
      Write(m_work / "zorva.xml", std::string("<zorva>") + c.userVersion + "</zorva>");
    }
    Write(package / "zorva", std::string("client ") + c.packageVersion);
    fs::permissions(package / "zorva", fs::perms::owner_exec, fs::perm_options::add);
    Write(package / "player/ruffle.js", "player");
    Write(package / "zorva.xml", std::string("<zorva>") + c.packageVersion + "</zorva>");
    std::map<std::string, std::string> before = Snapshot(m_work);

    const UpdateResult result = InstallPackageProgram(Text(m_work.string()), package, m_view);

    EXPECT_EQ(result.outcome, c.copied ? UpdateOutcome::Applied : UpdateOutcome::Refused)
        << result.message;
    std::map<std::string, std::string> after = Snapshot(m_work);
    if (c.copied) {
      for (const char* file : {"zorva", "player/ruffle.js", "zorva.xml"}) {
        EXPECT_EQ(test::ReadFileBytes(m_work / file), test::ReadFileBytes(package / file)) << file;
      }
      EXPECT_EQ(::access((m_work / "zorva").c_str(), X_OK), 0);
      for (const char* user : {"zorva_user.xml", "ann.dat", "dl/download_x.xml"}) {
        EXPECT_EQ(after[user], before[user]) << user;
      }
      // The version file goes in last, just before the run completes.
      ASSERT_GE(m_view.steps.size(), 2u);
      EXPECT_EQ(m_view.steps[m_view.steps.size() - 2].find("正在安装 zorva.xml"), 0u);
    } else {
      EXPECT_EQ(after, before);
    }
  }
}

}  // namespace
}  // namespace zorva
