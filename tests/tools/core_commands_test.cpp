// Runs the built zorva-tool and checks what it prints and how it exits.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "core/codec.h"
#include "core/file_crypt.h"
#include "core/xml.h"
#include "support/run_program.h"

namespace zorva {
namespace {

namespace fs = std::filesystem;

using Result = test::ProgramResult;
using test::ReadFileBytes;

class Tool : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "zorva-tool-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    m_dir = pattern;
  }
  void TearDown() override { fs::remove_all(m_dir); }

  // Runs the tool with the arguments as raw bytes.
  Result Run(const std::vector<std::string>& args) const {
    return test::RunProgram(ZORVA_TOOL_EXE, m_dir, args);
  }

  std::string Path(const char* name) const { return (m_dir / name).string(); }
  void Write(const char* name, const std::string& bytes) const {
    std::ofstream(m_dir / name, std::ios::binary) << bytes;
  }
  std::string Read(const char* name) const { return ReadFileBytes(m_dir / name); }

  fs::path m_dir;
};

TEST_F(Tool, HelpListsTheCommands) {
  Result r = Run({"--help"});
  EXPECT_EQ(r.exitCode, 0);
  for (const char* name : {"xml-value", "scramble", "unscramble", "encrypt", "decrypt"}) {
    EXPECT_NE(r.out.find(std::string("  ") + name + " "), std::string::npos) << name;
  }
}

class CommandHelp : public Tool, public ::testing::WithParamInterface<const char*> {};

TEST_P(CommandHelp, ShowsUsageAndDescription) {
  Result r = Run({GetParam(), "--help"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out.rfind(std::string("usage: zorva-tool ") + GetParam() + " ", 0), 0u) << r.out;
  EXPECT_GT(r.out.size(), 120u) << "a description follows the usage line";
}

INSTANTIATE_TEST_SUITE_P(Tool, CommandHelp,
                         ::testing::Values("xml-value", "scramble", "unscramble", "encrypt",
                                           "decrypt"),
                         [](const auto& row) {
                           std::string name = row.param;
                           std::erase(name, '-');
                           return name;
                         });

struct ArgumentCase {
  const char* name;
  std::vector<std::string> args;
};

void PrintTo(const ArgumentCase& c, std::ostream* os) {
  for (const std::string& a : c.args) *os << a << ' ';
}

class WrongArguments : public Tool, public ::testing::WithParamInterface<ArgumentCase> {};

TEST_P(WrongArguments, PrintUsageAndExitTwo) {
  Result r = Run(GetParam().args);
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_TRUE(r.out.empty());
  EXPECT_EQ(r.err.rfind("usage: zorva-tool " + GetParam().args[0] + " ", 0), 0u) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Tool, WrongArguments,
    ::testing::Values(ArgumentCase{"XmlValueFileOnly", {"xml-value", "f"}},
                      ArgumentCase{"XmlValueAttributeWithoutValue", {"xml-value", "f", "t", "a"}},
                      ArgumentCase{"XmlValueTooMany", {"xml-value", "f", "t", "a", "v", "r", "x"}},
                      ArgumentCase{"ScrambleNothing", {"scramble"}},
                      ArgumentCase{"ScrambleTwo", {"scramble", "a", "b"}},
                      ArgumentCase{"UnscrambleNothing", {"unscramble"}},
                      ArgumentCase{"EncryptSourceOnly", {"encrypt", "a"}},
                      ArgumentCase{"DecryptTooMany", {"decrypt", "a", "b", "c", "d"}}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(Tool, ScrambleAndUnscrambleRoundTrip) {
  Result scrambled = Run({"scramble", "Qmvra2010"});
  ASSERT_EQ(scrambled.exitCode, 0);
  EXPECT_TRUE(scrambled.err.empty());
  ASSERT_GE(scrambled.out.size(), 13u + 27u + 1u);
  EXPECT_EQ(scrambled.out.find_first_not_of("0123456789?"), std::string::npos)
      << "digits only, no line feed: " << scrambled.out;
  EXPECT_EQ(ScrambleText(scrambled.out, ""), Text("qmvra2010"));

  Result plain = Run({"unscramble", scrambled.out});
  EXPECT_EQ(plain.exitCode, 0);
  EXPECT_EQ(plain.out, "qmvra2010");
}

TEST_F(Tool, ScrambleTakesTheShellsBytes) {
  // "中x" in code page 936: each half of the two-byte character has no code.
  Result scrambled = Run({"scramble", "\xd6\xd0x"});
  ASSERT_EQ(scrambled.exitCode, 0);
  EXPECT_EQ(ScrambleText(scrambled.out, ""), Text("??x"));
}

TEST_F(Tool, UnscrambleOfForeignTextPrintsWhatTheRulesSelect) {
  for (const char* foreign : {"", "hello", "1036036036", "\xd6\xd0\xce\xc4"}) {
    Result r = Run({"unscramble", foreign});
    EXPECT_EQ(r.exitCode, 0) << foreign;
    EXPECT_EQ(r.out, ScrambleText(foreign, "").str()) << foreign;
  }
}

TEST_F(Tool, XmlValuePrintsExactlyTheLookupsBytes) {
  const std::string document =
      "<catalogue>\r\n"
      "<!-- <level title=\"hidden\"> -->\r\n"
      "<level title=\"\xce\xc4\" dir=\"d1\">first</level>\r\n"
      "<levelx title=\"two\" dir=\"d2\" type=\"lesson\">second</levelx>\r\n"
      "</catalogue>\r\n";
  Write("doc.xml", document);
  const std::vector<std::vector<std::string>> questions = {
      {"level"},
      {"levelx"},
      {"level", "dir", "d2"},
      {"level", "dir", "d2", "type"},
      {"level", "dir", "d1", "title"},
      {"level", "dir", "none"},
      {"missing"},
  };
  for (const auto& q : questions) {
    std::vector<std::string> args = {"xml-value", Path("doc.xml")};
    args.insert(args.end(), q.begin(), q.end());
    auto arg = [&](size_t i) { return i < q.size() ? Text(q[i]) : Text(); };
    Result r = Run(args);
    EXPECT_EQ(r.exitCode, 0) << q[0];
    EXPECT_TRUE(r.err.empty());
    EXPECT_EQ(r.out, ReadXmlValue(Path("doc.xml"), arg(0), arg(1), arg(2), arg(3)).str())
        << "question " << q.size() << " " << q.back();
  }
  EXPECT_EQ(Run({"xml-value", Path("doc.xml"), "level"}).out, "first");
  EXPECT_EQ(Run({"xml-value", Path("doc.xml"), "level", "dir", "d1", "title"}).out, "\xce\xc4");
}

TEST_F(Tool, XmlValueOfAnUnreadableFileIsAnError) {
  fs::create_directory(m_dir / "folder.xml");
  for (const char* name : {"missing.xml", "folder.xml"}) {
    Result r = Run({"xml-value", Path(name), "tag"});
    EXPECT_EQ(r.exitCode, 1) << name;
    EXPECT_TRUE(r.out.empty());
    EXPECT_NE(r.err.find(name), std::string::npos) << r.err;
  }
}

TEST_F(Tool, EncryptWithTheDefaultPasswordAndReportEachStep) {
  Write("plain", "<password>012345</password>");
  Result r = Run({"encrypt", Path("plain"), Path("user.dat")});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(r.out.empty());
  EXPECT_EQ(r.err, Path("plain") +
                       "\n"
                       "A cryptographic provider has been acquired. \n"
                       "A hash object has been created. \n"
                       "The password has been added to the hash. \n"
                       "An encryption key is derived from the password hash. \n"
                       "Memory has been allocated for the buffer. \n");
  // The known answer for the client's fixed password.
  EXPECT_EQ(Read("user.dat"), std::string("\xf6\x48\xe8\x3e\x54\x14\xca\xee\xa2\x45\x64\xc0\x13"
                                          "\x8a\xa0\xbf\xf1\x45\x96\x52\xa7\xb0\x60\xa0\xd3\x21"
                                          "\x1b"));

  Result back = Run({"decrypt", Path("user.dat"), Path("back")});
  EXPECT_EQ(back.exitCode, 0);
  EXPECT_TRUE(back.err.empty());
  EXPECT_EQ(Read("back"), "<password>012345</password>");
}

TEST_F(Tool, EncryptAndDecryptWithAGivenPassword) {
  Write("plain", std::string(2500, 'z'));
  ASSERT_EQ(Run({"encrypt", Path("plain"), Path("cipher"), "\xc3\xdc\xc2\xeb"}).exitCode, 0);
  ASSERT_TRUE(EncryptFile(Path("plain"), Path("oracle"), "\xc3\xdc\xc2\xeb", nullptr));
  EXPECT_EQ(Read("cipher"), Read("oracle"));
  ASSERT_EQ(Run({"decrypt", Path("cipher"), Path("back"), "\xc3\xdc\xc2\xeb"}).exitCode, 0);
  EXPECT_EQ(Read("back"), std::string(2500, 'z'));
}

struct CryptFailure {
  const char* name;
  const char* command;
  const char* source;
  const char* destination;
  const char* lastLine;
};

void PrintTo(const CryptFailure& c, std::ostream* os) {
  *os << c.command << ' ' << c.source << ' ' << c.destination;
}

class CryptFailures : public Tool, public ::testing::WithParamInterface<CryptFailure> {};

TEST_P(CryptFailures, ExitOneWithTheStatusText) {
  Write("plain", "abc");
  const CryptFailure& c = GetParam();
  Result r = Run({c.command, Path(c.source), Path(c.destination)});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(r.out.empty());
  ASSERT_FALSE(r.err.empty());
  EXPECT_EQ(r.err.back(), '\n');
  const std::string last = r.err.substr(r.err.rfind('\n', r.err.size() - 2) + 1);
  EXPECT_EQ(last, std::string(c.lastLine) + "\n") << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Tool, CryptFailures,
    ::testing::Values(CryptFailure{"EncryptMissingSource", "encrypt", "missing", "out",
                                   "Error opening source plaintext file!"},
                      CryptFailure{"EncryptIntoMissingFolder", "encrypt", "plain", "no/out",
                                   "Error opening destination ciphertext file!"},
                      CryptFailure{"DecryptMissingSource", "decrypt", "missing", "out",
                                   "Error opening ciphertext file!"},
                      CryptFailure{"DecryptIntoMissingFolder", "decrypt", "plain", "no/out",
                                   "Error opening plaintext file!"}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace zorva
