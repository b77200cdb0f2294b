// The log file in the working directory: what goes in, the detail switch,
// and the move aside when it grows too large.
#include "platform/log_file.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QtGlobal>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/file_bytes.h"

namespace zorva {
namespace {

namespace fs = std::filesystem;

class LogFile : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string dir = ::testing::TempDir() + "/zorva-log-XXXXXX";
    ASSERT_NE(::mkdtemp(dir.data()), nullptr);
    m_dir = dir;
  }
  void TearDown() override {
    qInstallMessageHandler(nullptr);
    unsetenv(kLogDetailVariable);
    fs::remove_all(m_dir);
  }
  std::string Log() const { return test::ReadFileBytes(m_dir / kLogFileName); }

  fs::path m_dir;
};

TEST_F(LogFile, DebugLinesOnlyWhenAskedFor) {
  for (const char* detail : {"", "0", "1"}) {
    SCOPED_TRACE(detail);
    fs::remove(m_dir / kLogFileName);
    if (*detail) setenv(kLogDetailVariable, detail, 1);
    InstallLogFile(m_dir.c_str(), "zorva");
    qInfo("signed in");
    qDebug("probe answered");
    qWarning("no mixer");
    const std::string log = Log();
    EXPECT_NE(log.find(" zorva[" + std::to_string(::getpid()) + "] info: signed in\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("] warning: no mixer\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("probe answered") != std::string::npos, std::string(detail) == "1") << log;
  }
}

TEST_F(LogFile, ALargeLogIsMovedAsideAndBegunAnew) {
  std::ofstream(m_dir / kLogFileName) << std::string((1 << 20) + 10, 'o');
  InstallLogFile(m_dir.c_str(), "zupdate");
  qInfo("fresh");
  EXPECT_EQ(fs::file_size(m_dir / (std::string(kLogFileName) + ".1")), (1u << 20) + 10);
  const std::string log = Log();
  EXPECT_EQ(log.find("oooo"), std::string::npos) << "the new log holds only the new line";
  EXPECT_NE(log.find(" zupdate[" + std::to_string(::getpid()) + "] info: fresh\n"),
            std::string::npos)
      << log;
}

}  // namespace
}  // namespace zorva
