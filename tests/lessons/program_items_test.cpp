#include "lessons/program_items.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include <QString>
#include <QtGlobal>

#include "platform/program_values.h"
#include "playback_test_env.h"
#include "support/file_bytes.h"

namespace zorva::test {
namespace {

constexpr char kJob[] = "<job>game</job>";
constexpr char kEmptyBaseJob[] = "<job>no base name</job>";

class ProgramItems : public LessonsEnvironment {
 protected:
  void SetUp() override {
    LessonsEnvironment::SetUp();
    MutableSignedIn().userName = T("张三");
    Content("dl/download_game.xml", kJob);
    Content("dl/download_.xml", kEmptyBaseJob);
    WriteBytes(Local("zupdate.exe"), "#!/bin/sh\ntouch updater-ran\n");
    ::chmod(Local("zupdate.exe").c_str(), 0755);
  }

  // A program that writes the arguments it got, one a line, into "ran"
  // (renamed into place, so that the file is complete once it is there).
  void PlaceProgram(const std::string& fileName) {
    WriteBytes(Local(fileName), "#!/bin/sh\nprintf '%s\\n' \"$@\" > ran.part && mv ran.part ran\n");
    ::chmod(Local(fileName).c_str(), 0755);
  }
  std::string ProgramArguments() {
    return WaitForFile(Local("ran")) ? ReadFileBytes(Local("ran")) : std::string("(not started)");
  }
  bool UpdaterRan() { return WaitForFile(Local("updater-ran")); }
};

const char kArguments[] = "user_name=张三\nuser_password=secret\n";

struct MissingCase {
  const char* name;
  const char* fileName;
  const char* job;  // what the hand-off fetched
};
void PrintTo(const MissingCase& c, std::ostream* os) { *os << c.fileName; }

class MissingProgram : public ProgramItems, public ::testing::WithParamInterface<MissingCase> {};

// A program that is not there is fetched through the updater without a
// question; its job file is named after the file name without its last four
// characters.
TEST_P(MissingProgram, IsHandedToTheUpdater) {
  StartServer();
  PlayProgramItem(GetParam().fileName, nullptr);
  EXPECT_TRUE(m_boxes.empty());
  EXPECT_TRUE(UpdaterRan());
  EXPECT_EQ(ReadFileBytes(Local("dl/download.xml")), GetParam().job);
  EXPECT_FALSE(Exists(Local("ran")));
}

INSTANTIATE_TEST_SUITE_P(ProgramItems, MissingProgram,
                         ::testing::Values(MissingCase{"GameExe", "game.exe", kJob},
                                           MissingCase{"FourCharacters", "abcd", kEmptyBaseJob}),
                         [](const auto& row) { return std::string(row.param.name); });

// A job that does not arrive is never followed by the updater, which would
// apply whatever older job is still in place; the user is told instead.
TEST_F(ProgramItems, AnItemWhoseJobCannotBeFetchedIsReported) {
  WriteBytes(Local("dl/download.xml"), "<job>old</job>");
  StartServer();
  PlayProgramItem("other.exe", nullptr);  // the server has no download_other.xml
  ASSERT_EQ(m_boxes.size(), 1u);
  EXPECT_FALSE(m_boxes[0].question);
  EXPECT_NE(m_boxes[0].text.find("无法获取这个项目"), std::string::npos) << m_boxes[0].text;
  EXPECT_EQ(ReadFileBytes(Local("dl/download.xml")), "<job>old</job>");
  EXPECT_FALSE(Exists(Local("updater-ran")));
}

struct VersionCase {
  const char* name;
  const char* fileName;
  const char* local;   // content of the local version element; nullptr: no file
  const char* server;  // nullptr: the server has no version file
  bool reachable;
  bool answerYes;
  bool asked;
};
void PrintTo(const VersionCase& c, std::ostream* os) { *os << c.name; }

class ProgramVersion : public ProgramItems, public ::testing::WithParamInterface<VersionCase> {};

// A present program is offered for download only when the server's version
// is strictly newer; otherwise, or when the user declines, it starts with
// the signed-in user's name and password.
TEST_P(ProgramVersion, DecidesBetweenStartAndDownload) {
  const VersionCase& c = GetParam();
  const std::string fileName = c.fileName;
  const std::string base = fileName.size() > 4 ? fileName.substr(0, fileName.size() - 4) : "";
  if (c.server) Content(base + ".xml", std::string("<version>") + c.server + "</version>");
  if (c.local) WriteBytes(Local(base + ".xml"), std::string("<version>") + c.local + "</version>");
  PlaceProgram(fileName);
  StartServer();
  if (!c.reachable) m_server->Stop();
  m_answerYes = c.answerYes;

  PlayProgramItem(Text(fileName), nullptr);

  if (c.asked) {
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_TRUE(m_boxes[0].question);
    EXPECT_EQ(m_boxes[0].text, "发现新版本，是否下载?在下载完毕后重新按播放按钮来运行");
    EXPECT_EQ(m_boxes[0].caption, "信息");
  } else {
    EXPECT_TRUE(m_boxes.empty());
  }
  if (c.asked && c.answerYes) {
    EXPECT_TRUE(UpdaterRan());
    EXPECT_EQ(ReadFileBytes(Local("dl/download.xml")), kJob);
    EXPECT_FALSE(Exists(Local("ran")));
  } else {
    EXPECT_EQ(ProgramArguments(), kArguments);
    EXPECT_FALSE(Exists(Local("updater-ran")));
  }
}

INSTANTIATE_TEST_SUITE_P(
    ProgramItems, ProgramVersion,
    ::testing::Values(
        VersionCase{"NewerDeclinedStarts", "game.exe", "1.0", "1.5", true, false, true},
        VersionCase{"NewerAcceptedDownloads", "game.exe", "1.0", "1.5", true, true, true},
        VersionCase{"EqualStarts", "game.exe", "1.5", "1.5", true, true, false},
        VersionCase{"ComparedAsNumbers", "game.exe", "2.9", "2.10", true, true, false},
        VersionCase{"NoLocalVersionAsks", "game.exe", nullptr, "0.1", true, false, true},
        VersionCase{"UnreachableServerStarts", "game.exe", "1.5", "1.5", false, true, false}),
    [](const auto& row) { return std::string(row.param.name); });

// A name of four characters has an empty base name: its version is asked
// for as "/.xml" (which zorva-server never serves), and the program starts.
TEST_F(ProgramItems, FourCharacterNameAsksForTheVersionFileWithNoBaseName) {
  WriteBytes(Local(".xml"), "<version>1.0</version>");
  PlaceProgram("game");
  StartServer();

  PlayProgramItem("game", nullptr);

  EXPECT_TRUE(m_boxes.empty());
  EXPECT_EQ(ProgramArguments(), kArguments);
  EXPECT_NE(m_server->LogText().find(" /.xml"), std::string::npos) << m_server->LogText();
  EXPECT_EQ(m_server->LogText().find("/game.xml"), std::string::npos);
}

struct NameCase {
  const char* name;
  const char* fileName;
};
void PrintTo(const NameCase& c, std::ostream* os) { *os << '"' << c.fileName << '"'; }

class RefusedName : public ProgramItems, public ::testing::WithParamInterface<NameCase> {};

// A file_name from the catalogue that is not one plain file name is never
// looked up, fetched or started.
TEST_P(RefusedName, IsReportedAndNothingElseHappens) {
  PlaceProgram("game.exe");
  WriteBytes(Local("sub/game.exe"), "#!/bin/sh\ntouch ran\n");
  ::chmod(Local("sub/game.exe").c_str(), 0755);
  StartServer();
  const std::string logBefore = m_server->LogText();

  PlayProgramItem(GetParam().fileName, nullptr);

  ASSERT_EQ(m_boxes.size(), 1u);
  EXPECT_FALSE(m_boxes[0].question);
  EXPECT_EQ(m_boxes[0].text, "无法启动这个项目：它在课程列表中的文件名不是一个有效的文件名！");
  EXPECT_EQ(m_server->LogText(), logBefore);
  EXPECT_FALSE(Exists(Local("dl")));
  EXPECT_FALSE(Exists(Local("updater-ran")));
  EXPECT_FALSE(Exists(Local("ran")));
}

INSTANTIATE_TEST_SUITE_P(ProgramItems, RefusedName,
                         ::testing::Values(NameCase{"Subfolder", "sub/game.exe"},
                                           NameCase{"ParentFolder", "../game.exe"},
                                           NameCase{"Backslash", "sub\\game.exe"},
                                           NameCase{"SlashAfterLeadByte", "\x81/game.exe"},
                                           NameCase{"Dot", "."}, NameCase{"DotDot", ".."},
                                           NameCase{"Empty", ""}),
                         [](const auto& row) { return std::string(row.param.name); });

std::vector<std::string> g_log;

void Record(QtMsgType, const QMessageLogContext&, const QString& message) {
  g_log.push_back(message.toStdString());
}

// A program that cannot be started fails without a message box, leaving one
// log line that does not give the password away.
TEST_F(ProgramItems, ProgramThatCannotStartLeavesOneLogLine) {
  WriteBytes(Local("game.exe"), "not a program");
  ::chmod(Local("game.exe").c_str(), 0644);
  StartServer();
  g_log.clear();
  const QtMessageHandler previous = qInstallMessageHandler(Record);
  PlayProgramItem("game.exe", nullptr);
  qInstallMessageHandler(previous);

  EXPECT_TRUE(m_boxes.empty());
  ASSERT_EQ(g_log.size(), 1u);
  EXPECT_NE(g_log[0].find("game.exe"), std::string::npos);
  EXPECT_EQ(g_log[0].find("secret"), std::string::npos);
}

}  // namespace
}  // namespace zorva::test
