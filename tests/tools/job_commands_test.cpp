// zorva-tool's update job commands, run as a content author runs them: the
// built binary on real folders and key files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "core/xml.h"
#include "support/run_program.h"

namespace zorva {
namespace {

namespace fs = std::filesystem;

using Result = test::ProgramResult;
using test::ReadFileBytes;

class JobCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "zorva-tool-job-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    m_dir = pattern;
  }
  void TearDown() override { fs::remove_all(m_dir); }

  Result Run(const std::vector<std::string>& args) const {
    return test::RunProgram(ZORVA_TOOL_EXE, m_dir, args);
  }

  std::string Path(const std::string& name) const { return (m_dir / name).string(); }
  void Write(const std::string& name, const std::string& bytes, bool executable = false) const {
    fs::create_directories((m_dir / name).parent_path());
    std::ofstream(m_dir / name, std::ios::binary) << bytes;
    if (executable) fs::permissions(m_dir / name, fs::perms::owner_exec, fs::perm_options::add);
  }

  fs::path m_dir;
};

TEST_F(JobCommands, AKeyAJobAndItsSignatureWorkTogether) {
  const Result key = Run({"make-key", Path("author.key")});
  ASSERT_EQ(key.exitCode, 0) << key.err;
  const std::string pub = key.out.substr(0, key.out.find('\n'));
  ASSERT_EQ(pub.size(), 64u);
  EXPECT_EQ(fs::status(Path("author.key")).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  const std::string keyFile = ReadFileBytes(Path("author.key"));
  EXPECT_EQ(Run({"make-key", Path("author.key")}).exitCode, 1);
  EXPECT_EQ(ReadFileBytes(Path("author.key")), keyFile) << "a key file is never overwritten";

  Write("pkg/zorva.xml", "<zorva>2.1</zorva>");
  Write("pkg/help/what new.htm", "new");
  Write("pkg/bin/run.sh", "#!/bin/sh\n", /*executable=*/true);
  ASSERT_EQ(
      Run({"make-job", Path("pkg"), "/dl/p/", Path("job.xml"), "--restart", "--version", "2.1"})
          .exitCode,
      0);
  const Result sign = Run({"sign-job", Path("job.xml"), Path("author.key")});
  ASSERT_EQ(sign.exitCode, 0) << sign.err;

  const Result verified = Run({"verify-job", Path("job.xml"), pub});
  ASSERT_EQ(verified.exitCode, 0) << verified.err;
  EXPECT_EQ(verified.out.substr(0, 32), "restart\t1\nversion\t2.1\tzorva.xml\n");
  EXPECT_NE(verified.out.find("bin/run.sh\t10\t"), std::string::npos) << verified.out;
  EXPECT_NE(verified.out.find("\t1\t/dl/p/bin/run.sh\n"), std::string::npos) << verified.out;
  EXPECT_NE(verified.out.find("\t0\t/dl/p/help/what%20new.htm\n"), std::string::npos);
  // Support looks into jobs with the client's lookup.
  EXPECT_EQ(ReadXmlValue(Text(Path("job.xml")), "local", "order", "3", ""), "zorva.xml");

  // The build's updater trusts the demo key, not this one.
  const Result untrusted = Run({"verify-job", Path("job.xml")});
  EXPECT_EQ(untrusted.exitCode, 1);
  EXPECT_NE(untrusted.err.find("签名无效"), std::string::npos) << untrusted.err;
}

TEST_F(JobCommands, SigningAgainReplacesTheSignatureAndNonJobsStayUnsigned) {
  ASSERT_EQ(Run({"make-key", Path("k")}).exitCode, 0);
  Write("pkg/a.txt", "a");
  ASSERT_EQ(Run({"make-job", Path("pkg"), "/dl", Path("job.xml"), "--version", "1.5",
                 "--version-file", "a.txt"})
                .exitCode,
            0);
  ASSERT_EQ(Run({"sign-job", Path("job.xml"), Path("k")}).exitCode, 0);
  const std::string once = ReadFileBytes(Path("job.xml"));
  ASSERT_EQ(Run({"sign-job", Path("job.xml"), Path("k")}).exitCode, 0);
  EXPECT_EQ(ReadFileBytes(Path("job.xml")), once);

  Write("not-a-job.xml", "<zorva>2.1</zorva>");
  EXPECT_EQ(Run({"sign-job", Path("not-a-job.xml"), Path("k")}).exitCode, 1);
  EXPECT_EQ(ReadFileBytes(Path("not-a-job.xml")), "<zorva>2.1</zorva>");
  // A body the writer would not have written is never signed: it could
  // mean one thing to one reader and another to the next.
  std::string ambiguous = once.substr(0, once.find("<signature>"));
  ambiguous.replace(ambiguous.find("<file order"), 5, "<file xsize=\"999\"");
  Write("ambiguous.xml", ambiguous);
  const Result refused = Run({"sign-job", Path("ambiguous.xml"), Path("k")});
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_NE(refused.err.find("标准写法"), std::string::npos) << refused.err;
  Write("short.key", "# too short\nabcdef\n");
  EXPECT_EQ(Run({"sign-job", Path("job.xml"), Path("short.key")}).exitCode, 1);
  EXPECT_EQ(ReadFileBytes(Path("job.xml")), once);
}

TEST_F(JobCommands, MakeJobRefusesWhatAJobCannotHold) {
  struct Case {
    const char* name;
    std::function<void()> prepare;
    const char* serverPath;
    std::vector<std::string> extra;
  } cases[] = {
      {"a symbolic link",
       [&] { fs::create_symlink("/etc/passwd", m_dir / "pkg/link"); },
       "/dl",
       {}},
      {"a quote in a name", [&] { Write("pkg/a\"b.txt", "x"); }, "/dl", {}},
      {"a --url for no file", [] {}, "/dl", {"--url", "missing.txt=/dl/m"}},
      {"a server path without its slash", [] {}, "dl", {}},
      {"a version file that is not in the folder", [] {}, "/dl", {"--version-file", "v.xml"}},
      {"no version", [] {}, "/dl", {"--version", ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(m_dir / "pkg");
    Write("pkg/ok.txt", "ok");
    c.prepare();
    std::vector<std::string> args{"make-job",  Path("pkg"), c.serverPath,     Path("job.xml"),
                                  "--version", "1.0",       "--version-file", "ok.txt"};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    const Result r = Run(args);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_FALSE(r.err.empty());
    EXPECT_FALSE(fs::exists(m_dir / "job.xml"));
  }
}

}  // namespace
}  // namespace zorva
