#include "signin/saved_users.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/codec.h"
#include "core/cp936.h"
#include "core/file_crypt.h"
#include "core/xml.h"
#include "platform/program_values.h"
#include "signin_test_env.h"

namespace zorva::test {
namespace {

// Records every text and the rights of "temp.tmp" at that moment, to see the
// transient file while the encryption reads it.
class SpyStatus : public StatusWindow {
 public:
  explicit SpyStatus(std::string tempPath = {}) : m_tempPath(std::move(tempPath)) {}
  void SetText(const Text& text) override {
    texts.push_back(ToUtf8(text));
    if (!m_tempPath.empty() && Exists(m_tempPath)) tempModes.push_back(Mode(m_tempPath));
  }
  std::vector<std::string> texts;
  std::vector<int> tempModes;

 private:
  std::string m_tempPath;
};

std::string Crlf(std::string text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

struct ComposeCase {
  const char* name;
  std::vector<std::string> listed;
  std::string user;
  bool autoLogin;
  std::string expected;
};
void PrintTo(const ComposeCase& c, std::ostream* os) { *os << c.name; }

class ComposeSavedUsersTest : public ::testing::TestWithParam<ComposeCase> {};

TEST_P(ComposeSavedUsersTest, ComposesTheExactBytes) {
  const ComposeCase& c = GetParam();
  std::vector<Text> listed(c.listed.begin(), c.listed.end());
  EXPECT_EQ(ComposeSavedUsers(listed, Text(c.user), c.autoLogin).str(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, ComposeSavedUsersTest,
    ::testing::Values(
        ComposeCase{"FirstUserHasOrderOneAndNoLineBreakBeforeTheDefault",
                    {},
                    "ann",
                    false,
                    "<user name=\"ann\" order=\"1\" /><default_user_name>ann</default_user_name>"
                    "\n<auto_login>false</auto_login>"},
        ComposeCase{"SecondUserFollowsTheFirstRecordsLineBreak",
                    {"ann"},
                    "bob",
                    false,
                    "<user name=\"ann\" order=\"1\" />\n<user name=\"bob\" order=\"2\" />"
                    "<default_user_name>bob</default_user_name>\n<auto_login>false</auto_login>"},
        ComposeCase{"ReturningUserAddsNoRecord",
                    {"ann", "bob"},
                    "ann",
                    true,
                    "<user name=\"ann\" order=\"1\" />\n<user name=\"bob\" order=\"2\" />\n"
                    "<default_user_name>ann</default_user_name>\n<auto_login>true</auto_login>"},
        ComposeCase{"NameInOtherLetterCaseIsANewUser",
                    {"ann"},
                    "Ann",
                    false,
                    "<user name=\"ann\" order=\"1\" />\n<user name=\"Ann\" order=\"2\" />"
                    "<default_user_name>Ann</default_user_name>\n<auto_login>false</auto_login>"},
        ComposeCase{"NameThatPrefixesAListedNameIsANewUser",
                    {"annie"},
                    "ann",
                    false,
                    "<user name=\"annie\" order=\"1\" />\n<user name=\"ann\" order=\"2\" />"
                    "<default_user_name>ann</default_user_name>\n<auto_login>false</auto_login>"},
        ComposeCase{"NameIsWrittenUnescaped",
                    {},
                    "a\"b&<c>",
                    false,
                    "<user name=\"a\"b&<c>\" order=\"1\" /><default_user_name>a\"b&<c>"
                    "</default_user_name>\n<auto_login>false</auto_login>"}),
    [](const auto& info) { return std::string(info.param.name); });

class SavedUsersFiles : public SignInEnvironment {};

TEST_F(SavedUsersFiles, UsersFileIsStoredWithCarriageReturnsAndReadBackInFileOrder) {
  const Text chinese = T("张三");
  SaveUsers({Text("ann"), chinese}, Text("bob"), Text("pw"), false, nullptr);
  EXPECT_EQ(ReadBytes(Local("zorva_user.xml")),
            Crlf("<user name=\"ann\" order=\"1\" />\n<user name=\"" + chinese.str() +
                 "\" order=\"2\" />\n<user name=\"bob\" order=\"3\" />"
                 "<default_user_name>bob</default_user_name>\n<auto_login>false</auto_login>"));
  EXPECT_FALSE(Exists(Local("bob.dat")));

  const SavedUsersFile file = LoadSavedUsers();
  ASSERT_EQ(file.names.size(), 3u);
  EXPECT_EQ(file.names[0], Text("ann"));
  EXPECT_EQ(file.names[1], chinese);
  EXPECT_EQ(file.names[2], Text("bob"));
  EXPECT_EQ(file.defaultUser, Text("bob"));
  EXPECT_FALSE(file.autoLogin);
}

TEST(ParseSavedUsers, ListFollowsOrderNumbersNotPositionAndStopsAtAGap) {
  const SavedUsersFile file = ParseSavedUsers(
      "<user name=\"second\" order=\"2\" />\n<user name=\"first\" order=\"1\" />\n"
      "<user name=\"fourth\" order=\"4\" />\n<default_user_name>first</default_user_name>\n"
      "<auto_login>true</auto_login>");
  ASSERT_EQ(file.names.size(), 2u);
  EXPECT_EQ(file.names[0], Text("first"));
  EXPECT_EQ(file.names[1], Text("second"));
  EXPECT_TRUE(file.autoLogin);
  EXPECT_FALSE(ParseSavedUsers("<auto_login>True</auto_login>").autoLogin);
  EXPECT_TRUE(ParseSavedUsers(Text()).names.empty());
}

struct PasswordCase {
  const char* name;
  std::string typed;     // UTF-8
  std::string restored;  // what the codec gives back
};
void PrintTo(const PasswordCase& c, std::ostream* os) { *os << c.name; }

class SavedPasswordTest : public SignInEnvironment,
                          public ::testing::WithParamInterface<PasswordCase> {};

TEST_P(SavedPasswordTest, ComesBackThroughTheCodec) {
  SpyStatus status(Local("temp.tmp"));
  ASSERT_TRUE(SavePassword(Text("ann"), T(GetParam().typed.c_str()), &status));
  EXPECT_FALSE(Exists(Local("temp.tmp")));
  EXPECT_EQ(Mode(Local("ann.dat")), 0600);
  // The encryption showed its progress while reading the transient file,
  // which only its owner could read.
  ASSERT_FALSE(status.tempModes.empty());
  for (int mode : status.tempModes) EXPECT_EQ(mode, 0600);

  // The file holds the encrypted "<password>" element of the scrambled text.
  ASSERT_TRUE(DecryptFile(Text(Local("ann.dat")), Text(Local("plain")), "qmvra.zk418", nullptr));
  const std::string plain = ReadBytes(Local("plain"));
  EXPECT_EQ(plain.rfind("<password>", 0), 0u) << plain;
  EXPECT_EQ(plain.find('\n'), std::string::npos);

  EXPECT_EQ(ToUtf8(LoadSavedPassword(Text("ann"), &status)), GetParam().restored);
  EXPECT_FALSE(Exists(Local("temp.tmp")));
}

INSTANTIATE_TEST_SUITE_P(
    Passwords, SavedPasswordTest,
    ::testing::Values(PasswordCase{"LowerCaseAndDigitsStay", "secret42", "secret42"},
                      PasswordCase{"CapitalsComeBackLowerCased", "SeCrEt1", "secret1"},
                      PasswordCase{"OtherBytesComeBackAsQuestionMarks", "a-b中", "a?b??"},
                      PasswordCase{"EmptyPassword", "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SavedUsersFiles, TransientFileIsRemovedWhenEncryptionFails) {
  std::filesystem::create_directory(Local("ann.dat"));  // cannot become a file
  SpyStatus status;
  EXPECT_FALSE(SavePassword(Text("ann"), Text("pw"), &status));
  EXPECT_FALSE(Exists(Local("temp.tmp")));
  EXPECT_FALSE(status.texts.empty());
}

TEST_F(SavedUsersFiles, MissingPasswordFileGivesTheEmptyPasswordAndIgnoresALeftover) {
  // A leftover "temp.tmp" from an interrupted run holds another password.
  WriteBytes(Local("temp.tmp"), "<password>" + ScrambleText("other", "e").str() + "</password>");
  SpyStatus status;
  EXPECT_EQ(LoadSavedPassword(Text("ann"), &status), Text());
  EXPECT_FALSE(Exists(Local("temp.tmp")));
  EXPECT_FALSE(status.texts.empty());  // the decryption said why
}

TEST_F(SavedUsersFiles, PasswordFileWithOtherContentGivesNoPassword) {
  WriteBytes(Local("ann.dat"), "not encrypted at all");
  EXPECT_EQ(LoadSavedPassword(Text("ann"), nullptr), Text());
  EXPECT_FALSE(Exists(Local("temp.tmp")));
}

struct NameCase {
  const char* name;
  std::string user;
  bool usable;
};
void PrintTo(const NameCase& c, std::ostream* os) { *os << c.name; }

class PasswordFileNameTest : public SignInEnvironment,
                             public ::testing::WithParamInterface<NameCase> {};

TEST_P(PasswordFileNameTest, OnlyPlainFileNamesBecomePaths) {
  EXPECT_EQ(IsPasswordFileUsable(Text(GetParam().user)), GetParam().usable);
}

INSTANTIATE_TEST_SUITE_P(
    Names, PasswordFileNameTest,
    ::testing::Values(NameCase{"Plain", "ann", true}, NameCase{"Chinese", "\xD5\xC5\xC8\xFD", true},
                      NameCase{"BlanksAndAmpersand", "a b&c", true},
                      NameCase{"Slash", "../ann", false}, NameCase{"SlashInside", "a/b", false},
                      NameCase{"Backslash", "a\\b", false}, NameCase{"Dot", ".", false},
                      NameCase{"DotDot", "..", false},
                      // ".dat" and the encryption's transient ".XXXXXX" within
                      // the 255 bytes of a file name.
                      NameCase{"LongestFileName", std::string(244, 'x'), true},
                      NameCase{"FileNameTooLong", std::string(245, 'x'), false},
                      NameCase{"LongestDatFileName", std::string(251, 'x'), false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SavedUsersFiles, NameThatIsNoFileNameSavesTheUsersFileButNoPassword) {
  std::filesystem::create_directory(Local("sub"));
  SpyStatus status;
  SaveUsers({}, Text("sub/ann"), Text("pw"), true, &status);
  ASSERT_FALSE(status.texts.empty());
  EXPECT_EQ(status.texts.back(), "这个用户名称不能用作文件名，无法保存自动登录所需的密码。");
  EXPECT_FALSE(Exists(Local("sub/ann.dat")));
  EXPECT_FALSE(Exists(Local("temp.tmp")));
  EXPECT_EQ(ReadBytes(Local("zorva_user.xml")),
            Crlf("<user name=\"sub/ann\" order=\"1\" />"
                 "<default_user_name>sub/ann</default_user_name>\n<auto_login>true</auto_login>"));

  // Reading is refused the same way, even when such a file exists.
  WriteBytes(Local("sub/ann.dat"), "x");
  status.texts.clear();
  EXPECT_EQ(LoadSavedPassword(Text("sub/ann"), &status), Text());
  EXPECT_EQ(status.texts,
            std::vector<std::string>{"这个用户名称不能用作文件名，无法读取保存的密码。"});
  EXPECT_FALSE(Exists(Local("temp.tmp")));
}

// Every name the check lets through can really be saved and read back, and
// the first one it refuses gets the clear sentence, not a file system error.
TEST_F(SavedUsersFiles, LongestAcceptedNameSavesAndTheNextIsRefusedClearly) {
  size_t longest = 0;
  while (IsPasswordFileUsable(Text(std::string(longest + 1, 'n')))) ++longest;
  ASSERT_GT(longest, 0u);

  const Text accepted(std::string(longest, 'n'));
  SpyStatus status;
  ASSERT_TRUE(SavePassword(accepted, Text("pw7"), &status)) << status.texts.back();
  EXPECT_EQ(LoadSavedPassword(accepted, &status), Text("pw7"));

  status.texts.clear();
  EXPECT_FALSE(SavePassword(Text(std::string(longest + 1, 'n')), Text("pw7"), &status));
  EXPECT_EQ(status.texts,
            std::vector<std::string>{"这个用户名称不能用作文件名，无法保存自动登录所需的密码。"});
  EXPECT_FALSE(Exists(Local("temp.tmp")));
}

// The saved password lives only as long as the user wants automatic
// sign-in: nothing reads it afterwards, and its key is the same everywhere.
TEST_F(SavedUsersFiles, SavedPasswordFollowsTheUsersChoice) {
  SaveUsers({}, Text("bob"), Text("pw"), true, nullptr);
  SaveUsers({Text("bob")}, Text("ann"), Text("pw"), true, nullptr);
  ASSERT_TRUE(Exists(Local("ann.dat")));

  SaveUsers({Text("bob"), Text("ann")}, Text("ann"), Text("pw"), false, nullptr);
  EXPECT_FALSE(Exists(Local("ann.dat")));
  EXPECT_TRUE(Exists(Local("bob.dat")));  // another user's choice stands

  SaveUsers({Text("bob"), Text("ann")}, Text("ann"), Text("pw2"), true, nullptr);
  EXPECT_EQ(LoadSavedPassword(Text("ann"), nullptr), Text("pw2"));
}

// A read-only users file is replaced whole: saves go through a new file
// renamed into place, which only needs a writable directory.
TEST_F(SavedUsersFiles, ReadOnlyUsersFileIsReplaced) {
  SaveUsers({}, Text("ann"), Text("pw"), false, nullptr);
  ::chmod(Local("zorva_user.xml").c_str(), 0444);
  SaveUsers({Text("ann")}, Text("bob"), Text("pw"), false, nullptr);
  EXPECT_EQ(LoadSavedUsers().defaultUser, Text("bob"));
}

// A working directory nobody may write to gives the failure texts of the
// saves, says why, and the sign-in still goes on.
TEST_F(SavedUsersFiles, UnwritableWorkingDirectoryIsReported) {
  const std::string dir = Local("locked");
  std::filesystem::create_directory(dir);
  SetWorkingDirectory(Text(dir));
  // Permission bits do not stop root; a removed directory stops everyone.
  if (::geteuid() == 0) {
    std::filesystem::remove(dir);
  } else {
    ::chmod(dir.c_str(), 0555);
  }
  SpyStatus status;
  SaveUsers({}, Text("ann"), Text("pw"), true, &status);
  ::chmod(dir.c_str(), 0755);
  ASSERT_FALSE(status.texts.empty());
  EXPECT_EQ(status.texts.front(), "error in saving file" + dir + "/temp.tmp");
  EXPECT_EQ(status.texts.back(), "error in saving file" + dir +
                                     "/zorva_user.xml（程序所在的目录不可写，无法保存用户信息）");
  EXPECT_FALSE(Exists(dir + "/zorva_user.xml"));
}

TEST_F(SavedUsersFiles, TooLongNameIsRefusedBeforeTheFileSystemSeesIt) {
  const Text user(std::string(300, 'n'));
  SpyStatus status;
  EXPECT_FALSE(SavePassword(user, Text("pw"), &status));
  EXPECT_EQ(status.texts.size(), 1u);
  EXPECT_FALSE(Exists(Local("temp.tmp")));
}

}  // namespace
}  // namespace zorva::test
