#include "net/update_check.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <thread>

#include <QCoreApplication>

#include "core/cp936.h"
#include "platform/program_values.h"
#include "platform/quit.h"
#include "signin_test_env.h"

namespace zorva::test {

namespace {

class UpdateCheck : public SignInEnvironment {
 protected:
  void SetUp() override {
    SignInEnvironment::SetUp();
    SetServerBaseAddress(Text(m_service.BaseUrl()));
  }
  FakeService m_service;
};

TEST_F(UpdateCheck, DeliveredUpdaterReplacesTheWorkingOneAndCanRun) {
  WriteBytes(Local("zupdate.exe"), "old");
  WriteBytes(Local("dl/zupdate.exe"), "#!/bin/sh\ntouch updater-ran\n");
  ::chmod(Local("dl/zupdate.exe").c_str(), 0644);  // as a download leaves it
  ReplaceUpdater();
  EXPECT_EQ(ReadBytes(Local("zupdate.exe")), "#!/bin/sh\ntouch updater-ran\n");
  EXPECT_FALSE(Exists(Local("dl/zupdate.exe")));
  EXPECT_TRUE(Mode(Local("zupdate.exe")) & 0100);
  StartUpdater();
  EXPECT_TRUE(UpdaterRan(m_dir));
}

TEST_F(UpdateCheck, UpdaterStartsFromAnInstallationFolderWithAChineseName) {
  const std::string installed = Local("学习 空间");
  std::filesystem::create_directory(installed);
  std::filesystem::current_path(installed);
  SetWorkingDirectory(Text(installed));
  PlaceTestUpdater(installed);
  StartUpdater();
  EXPECT_TRUE(UpdaterRan(installed));
}

TEST_F(UpdateCheck, WithoutDeliveryTheUpdaterStaysAsItIs) {
  WriteBytes(Local("zupdate.exe"), "old");
  ReplaceUpdater();
  EXPECT_EQ(ReadBytes(Local("zupdate.exe")), "old");
}

struct VersionCase {
  const char* name;
  std::optional<std::string> local;   // content of the local zorva element
  std::optional<std::string> server;  // content of the server's
  bool offered;
};
void PrintTo(const VersionCase& c, std::ostream* os) { *os << c.name; }

class VersionComparison : public UpdateCheck, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(VersionComparison, OffersOnlyAStrictlyHigherServerVersion) {
  const VersionCase& c = GetParam();
  if (c.local) WriteBytes(Local("zorva.xml"), "<zorva>" + *c.local + "</zorva>\n");
  if (c.server) m_service.SetBody("/zorva.xml", "<zorva>" + *c.server + "</zorva>");
  m_answerYes = false;
  EXPECT_EQ(CheckProgramUpdate(nullptr, nullptr, nullptr), UpdateCheckResult::GoOn);
  ASSERT_EQ(m_questions.size(), c.offered ? 1u : 0u);
  if (c.offered) {
    EXPECT_EQ(m_questions[0].text, "发现新版本，是否下载？");
    EXPECT_EQ(m_questions[0].caption, "信息");
  }
  // Declined or not offered: nothing fetched for the updater.
  EXPECT_FALSE(Exists(Local("dl/download.xml")));
}

INSTANTIATE_TEST_SUITE_P(
    Versions, VersionComparison,
    ::testing::Values(VersionCase{"HigherServerVersion", "2.0", "2.1", true},
                      VersionCase{"EqualVersions", "2.1", "2.1", false},
                      VersionCase{"NumbersNotParts", "2.9", "2.10", false},
                      VersionCase{"LowerServerVersion", "3", "2.5", false},
                      VersionCase{"NoLocalVersionFile", std::nullopt, "0.5", true},
                      VersionCase{"NoServerVersionFile", "2.0", std::nullopt, false},
                      VersionCase{"ServerVersionNotANumber", std::nullopt, "new", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(UpdateCheck, AcceptedUpdateFetchesTheJobStartsTheUpdaterAndQuitsWithOne) {
  WriteBytes(Local("zorva.xml"), "<zorva>2.0</zorva>");
  m_service.SetBody("/zorva.xml", "<zorva>2.1</zorva>");
  m_service.SetBody("/dl/download.xml", "<job>program</job>");
  PlaceTestUpdater(m_dir);
  m_answerYes = true;

  EXPECT_EQ(CheckProgramUpdate(nullptr, nullptr, nullptr), UpdateCheckResult::HandedOver);
  EXPECT_EQ(m_questions.size(), 1u);
  EXPECT_EQ(ReadBytes(Local("dl/download.xml")), "<job>program</job>");
  EXPECT_TRUE(UpdaterRan(m_dir));

  QCoreApplication::processEvents();
  EXPECT_EQ(HandledQuitCode(), 1);
  ClearHandledQuit();
}

// The status line of the login dialog, as the check leaves it.
struct StatusLine : StatusWindow {
  void SetText(const Text& t) override { text = ToUtf8(t); }
  std::string text;
};

// Accepted, but the job did not arrive or the updater did not start: the
// client stays, says which, and no stale job is handed over.
TEST_F(UpdateCheck, AHandOffThatFailsIsReportedAndTheClientStays) {
  struct Case {
    const char* name;
    bool jobOnServer;
    bool updaterPresent;
    const char* status;
  } cases[] = {
      {"job missing on the server", false, true, "无法下载新版本的更新任务"},
      {"updater missing", true, false, "无法启动更新程序"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteBytes(Local("zorva.xml"), "<zorva>2.0</zorva>");
    m_service.SetBody("/zorva.xml", "<zorva>2.1</zorva>");
    if (c.jobOnServer) m_service.SetBody("/dl/download.xml", "<job>program</job>");
    std::filesystem::remove(Local("zupdate.exe"));
    if (c.updaterPresent) PlaceTestUpdater(m_dir);
    m_answerYes = true;
    StatusLine status;
    EXPECT_EQ(CheckProgramUpdate(nullptr, nullptr, &status), UpdateCheckResult::Failed);
    EXPECT_NE(status.text.find(c.status), std::string::npos) << status.text;
    QCoreApplication::processEvents();
    EXPECT_EQ(HandledQuitCode(), -1);
  }
  EXPECT_FALSE(Exists(Local("updater-ran")));
}

TEST_F(UpdateCheck, ItemHandOffCopiesItsJobOverTheProgramJobAndStartsTheUpdater) {
  WriteBytes(Local("dl/download.xml"), "<job>old</job>");
  m_service.SetBody("/dl/download_abc.xml", "<job>abc</job>");
  PlaceTestUpdater(m_dir);
  EXPECT_TRUE(HandOffItem("download_abc.xml"));
  EXPECT_EQ(ReadBytes(Local("dl/download_abc.xml")), "<job>abc</job>");
  EXPECT_EQ(ReadBytes(Local("dl/download.xml")), "<job>abc</job>");
  EXPECT_TRUE(UpdaterRan(m_dir));
}

TEST_F(UpdateCheck, ItemHandOffRefusesAJobNameThatIsNoPlainFileName) {
  PlaceTestUpdater(m_dir);
  for (const char* job : {"../download_x.xml", "a/b.xml", "..", "", "..\\download_x.xml"}) {
    EXPECT_FALSE(HandOffItem(job));
  }
  EXPECT_EQ(m_service.RequestCount(), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(Exists(Local("updater-ran")));
}

}  // namespace
}  // namespace zorva::test
