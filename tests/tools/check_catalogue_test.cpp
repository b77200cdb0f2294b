// zorva-tool check-catalogue, run as an author runs it: against a content
// folder and against zorva-server serving the same folder.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "support/run_program.h"
#include "support/server_process.h"
#include "support/swf_writer.h"

namespace zorva {
namespace {

namespace fs = std::filesystem;

using Result = test::ProgramResult;
using test::ReadFileBytes;

// Runs the tool.
Result RunTool(const fs::path& scratch, const std::vector<std::string>& args) {
  return test::RunProgram(ZORVA_TOOL_EXE, scratch, args);
}

// A small content folder with nothing wrong: one lesson of one page and one
// program item with its version and job files. Each fault case spoils one
// file of it.
using Files = std::map<std::string, std::string>;

// clang-format off
const char kCatalogue[] =
    "<?xml version=\"1.0\" encoding=\"gb2312\"?>\n"                                              // 1
    "<catalogue>\n"                                                                              // 2
    "<sort_list order=\"1\" title=\"Reading\">\n"                                                // 3
    "  <lesson_list order=\"1\" title=\"Letters\">\n"                                            // 4
    "    <lesson order=\"1\" title=\"Vowels\" dir=\"vowels\" type=\"lesson\" file_name=\"\"/>\n"      // 5
    "    <lesson order=\"2\" title=\"Puzzle\" dir=\"puzzle\" type=\"game\" file_name=\"puzzle.exe\"/>\n"  // 6
    "  </lesson_list>\n"                                                                         // 7
    "</sort_list>\n"                                                                             // 8
    "</catalogue>\n";                                                                            // 9
// clang-format on

const char kPages[] =
    "<pages>\n"                                                   // 1
    "<file order=\"1\" name=\"page01.swf\" delay_time=\"6\"/>\n"  // 2
    "</pages>\n";                                                 // 3

Files GoodContent() {
  return {
      {"lesson/lesson_list.xml", kCatalogue},
      {"lesson/vowels/0010/pages.xml", kPages},
      {"lesson/vowels/0010/page01.swf", test::MakeSwf({})},
      {"puzzle.xml", "<version>1.0</version>\n"},
      {"dl/download_puzzle.xml", "<job/>\n"},
  };
}

// The catalogue with the text of line `line` (1-based) replaced.
std::string CatalogueWithLine(int line, const std::string& text) {
  std::string out;
  std::string all = kCatalogue;
  int n = 1;
  for (size_t start = 0; start < all.size(); ++n) {
    size_t end = all.find('\n', start) + 1;
    out += n == line ? text + "\n" : all.substr(start, end - start);
    start = end;
  }
  return out;
}

std::string PagesWith(const std::string& fileElements) {
  return "<pages>\n" + fileElements + "</pages>\n";
}

const char kLesson3[] =
    "    <lesson order=\"%s\" title=\"%s\" dir=\"vowels\" type=\"lesson\" file_name=\"\"/>";

std::string Lesson(const std::string& order, const std::string& title) {
  char buffer[256];
  std::snprintf(buffer, sizeof buffer, kLesson3, order.c_str(), title.c_str());
  return buffer;
}

enum class Where { Catalogue, PageList };

struct FaultCase {
  const char* name;
  std::function<void(Files&)> spoil;
  const char* severity;
  Where where;
  int line;  // 0: the finding has no line
  const char* message;
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

const FaultCase kFaults[] = {
    {"OrderAfterGap",
     [](Files& f) {
       f["lesson/lesson_list.xml"] =
           CatalogueWithLine(7, Lesson("4", "Late") + "\n  </lesson_list>");
     },
     "warning", Where::Catalogue, 7,
     "comes after a gap in the order numbers (no order 3): never shown"},
    {"OrderWithLeadingZero",
     [](Files& f) {
       f["lesson/lesson_list.xml"] =
           CatalogueWithLine(7, Lesson("03", "Late") + "\n  </lesson_list>");
     },
     "warning", Where::Catalogue, 7, "order \"03\" has a leading zero: never shown"},
    {"OrderWithSign",
     [](Files& f) {
       f["lesson/lesson_list.xml"] =
           CatalogueWithLine(7, Lesson("+3", "Late") + "\n  </lesson_list>");
     },
     "warning", Where::Catalogue, 7, "order \"+3\" has a sign: never shown"},
    {"EmptyTitleEndsList",
     [](Files& f) {
       f["lesson/lesson_list.xml"] = CatalogueWithLine(
           7, Lesson("3", "") + "\n" + Lesson("4", "Late") + "\n  </lesson_list>");
     },
     "warning", Where::Catalogue, 7, "has an empty title: it ends the list"},
    {"DuplicateLessonTitle",
     [](Files& f) {
       f["lesson/lesson_list.xml"] =
           CatalogueWithLine(7, "  </lesson_list>\n  <lesson_list order=\"2\" title=\"More\">\n" +
                                    Lesson("1", "Vowels") + "\n  </lesson_list>");
     },
     "warning", Where::Catalogue, 9,
     "row 2 \"Vowels\" has the title of row 0: each plays its own entry"},
    {"ListWithoutClosingTag",
     [](Files& f) { f["lesson/lesson_list.xml"] = CatalogueWithLine(7, ""); }, "warning",
     Where::Catalogue, 4, "<lesson_list> \"Letters\" has no closing tag"},
    {"LessonInsideComment",
     [](Files& f) {
       f["lesson/lesson_list.xml"] =
           CatalogueWithLine(7, "<!--\n" + Lesson("3", "Old") + "\n-->\n  </lesson_list>");
     },
     "warning", Where::Catalogue, 8, "<lesson> \"Old\" stands inside a comment"},
    {"EmptyPageList", [](Files& f) { f["lesson/vowels/0010/pages.xml"] = PagesWith(""); }, "error",
     Where::PageList, 0, "the page list holds no pages"},
    {"PageAfterTenGaps",
     [](Files& f) {
       f["lesson/vowels/0010/pages.xml"] = PagesWith(
           "<file order=\"1\" name=\"page01.swf\"/>\n<file order=\"13\" name=\"page01.swf\"/>\n");
     },
     "warning", Where::PageList, 3,
     "comes after more than ten missing orders (2 to 12): never played"},
    {"HtmlPageName",
     [](Files& f) {
       f["lesson/vowels/0010/pages.xml"] = PagesWith("<file order=\"1\" name=\"page01.html\"/>\n");
     },
     "warning", Where::PageList, 2,
     "is written \"page01.html\": the client plays it as the movie \"page01.swf\""},
    {"MissingMovie", [](Files& f) { f.erase("lesson/vowels/0010/page01.swf"); }, "error",
     Where::PageList, 2, "movie missing"},
    {"MalformedMovie", [](Files& f) { f["lesson/vowels/0010/page01.swf"] = "FWS\x08not a movie"; },
     "error", Where::PageList, 2, "malformed movie"},
    {"ActionScript3Movie",
     [](Files& f) {
       test::SwfSpec spec;
       spec.actionScript3 = true;
       f["lesson/vowels/0010/page01.swf"] = test::MakeSwf(spec);
     },
     "warning", Where::PageList, 2, "is an ActionScript 3 movie"},
    {"NegativeDelay",
     [](Files& f) {
       f["lesson/vowels/0010/pages.xml"] =
           PagesWith("<file order=\"1\" name=\"page01.swf\" delay_time=\"-1\"/>\n");
     },
     "warning", Where::PageList, 2, "has a negative delay"},
    {"AdvertisementWithNegativeDelay",
     [](Files& f) {
       f["lesson/vowels/0010/pages.xml"] =
           PagesWith("<file order=\"1\" name=\"page01_AD.swf\" delay_time=\"-1\"/>\n");
       f["lesson/vowels/0010/page01_AD.swf"] = test::MakeSwf({});
     },
     "error", Where::PageList, 2, "neither the delay nor the page buttons ever move the lesson on"},
    {"ProgramNotPlainName",
     [](Files& f) {
       f["lesson/lesson_list.xml"] =
           CatalogueWithLine(6,
                             "    <lesson order=\"2\" title=\"Puzzle\" dir=\"puzzle\" "
                             "type=\"game\" file_name=\"../puzzle.exe\"/>");
     },
     "error", Where::Catalogue, 6, "is not a plain file name"},
    {"ProgramWithoutVersionFile", [](Files& f) { f.erase("puzzle.xml"); }, "error",
     Where::Catalogue, 6, "no version file \"puzzle.xml\""},
    {"ProgramWithoutJobFile", [](Files& f) { f.erase("dl/download_puzzle.xml"); }, "error",
     Where::Catalogue, 6, "no updater job file \"dl/download_puzzle.xml\""},
};

class CheckCatalogue : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "zorva-check-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    m_dir = pattern;
  }
  void TearDown() override { fs::remove_all(m_dir); }

  fs::path Content(const Files& files) const {
    const fs::path root = m_dir / "content";
    for (const auto& [name, bytes] : files) {
      fs::create_directories((root / name).parent_path());
      std::ofstream(root / name, std::ios::binary) << bytes;
    }
    return root;
  }
  Result Run(const std::vector<std::string>& args) const { return RunTool(m_dir, args); }

  fs::path m_dir;
};

QJsonObject ParseJson(const Result& r) {
  QJsonParseError error;
  const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(r.out), &error);
  EXPECT_EQ(error.error, QJsonParseError::NoError) << r.out << r.err;
  return doc.object();
}

class FaultyContent : public CheckCatalogue,
                      public ::testing::WithParamInterface<std::tuple<FaultCase, bool>> {};

// Every fault is found once, in its file, on its line and with its
// severity; an error makes the exit code 1.
TEST_P(FaultyContent, IsReportedWhereItIs) {
  const auto& [fault, viaServer] = GetParam();
  Files files = GoodContent();
  fault.spoil(files);
  const fs::path content = Content(files);
  std::vector<std::string> args{"check-catalogue"};
  std::optional<test::ServerProcess> server;
  if (viaServer) {
    server.emplace(test::ServerProcess::Options{content.string(), "", 1, {}});
    ASSERT_TRUE(server->AddUser("author", "secret1"));
    args.insert(args.end(), {server->BaseUrl(), "--user", "author", "--password", "secret1"});
  } else {
    args.push_back(content.string());
  }
  args.push_back("--json");
  const Result r = Run(args);
  const QJsonObject report = ParseJson(r);
  const bool error = std::string(fault.severity) == "error";
  EXPECT_EQ(r.exitCode, error ? 1 : 0) << r.out;

  const std::string file =
      fault.where == Where::Catalogue
          ? (viaServer ? "lesson_list.xml" : "lesson/lesson_list.xml")
          : (viaServer ? "page list of vowels" : "lesson/vowels/0010/pages.xml");
  int matching = 0;
  for (const QJsonValue& value : report["findings"].toArray()) {
    const QJsonObject f = value.toObject();
    if (f["message"].toString().toStdString().find(fault.message) == std::string::npos) continue;
    ++matching;
    EXPECT_EQ(f["severity"].toString().toStdString(), fault.severity);
    EXPECT_EQ(f["file"].toString().toStdString(), file);
    EXPECT_EQ(f["line"].toInt(), fault.line);
  }
  EXPECT_EQ(matching, 1) << r.out;
}

INSTANTIATE_TEST_SUITE_P(Tool, FaultyContent,
                         ::testing::Combine(::testing::ValuesIn(kFaults), ::testing::Bool()),
                         [](const auto& row) {
                           return std::string(std::get<0>(row.param).name) +
                                  (std::get<1>(row.param) ? "ViaServer" : "InFolder");
                         });

TEST_F(CheckCatalogue, GoodContentIsCleanInFolderAndViaServer) {
  const fs::path content = Content(GoodContent());
  test::ServerProcess server({content.string(), "", 1, {}});
  ASSERT_TRUE(server.AddUser("author", "secret1"));
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"check-catalogue", content.string()},
        std::vector<std::string>{"check-catalogue", server.BaseUrl(), "--user", "author",
                                 "--password", "secret1"}}) {
    const Result r = Run(args);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(
        r.out.find("\n  Reading.\n    Letters.\n      row 0  Vowels  [lesson vowels, 1 page]\n"
                   "      row 1  Puzzle  [game puzzle.exe]\n"),
        std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\n0 errors, 0 warnings\n"), std::string::npos) << r.out;
  }
}

// The shipped sample content plays as it is meant to: its deliberate cases
// (a ".html" page name, pages that wait for the page buttons) are warnings,
// nothing is an error.
TEST_F(CheckCatalogue, SampleContentHasNoErrors) {
  test::ServerProcess server;
  ASSERT_TRUE(server.AddUser("demo", "demo123"));
  const Result r = Run(
      {"check-catalogue", server.BaseUrl(), "--user", "demo", "--password", "demo123", "--json"});
  EXPECT_EQ(r.exitCode, 0) << r.out;
  const QJsonObject report = ParseJson(r);
  EXPECT_EQ(report["errors"].toInt(), 0) << r.out;
  EXPECT_EQ(report["lessons"].toArray().size(), 6);
  EXPECT_EQ(report["tree"].toArray().size(), 2);
}

TEST_F(CheckCatalogue, WrongPasswordIsAnErrorPerLesson) {
  const fs::path content = Content(GoodContent());
  test::ServerProcess server({content.string(), "", 1, {}});
  ASSERT_TRUE(server.AddUser("author", "secret1"));
  const Result r =
      Run({"check-catalogue", server.BaseUrl(), "--user", "author", "--password", "wrong"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.out.find("error: page list of vowels: row 0 \"Vowels\": no page list: refused (403)"),
            std::string::npos)
      << r.out;
}

TEST_F(CheckCatalogue, WithoutCredentialsTheServerLessonsAreSkipped) {
  const fs::path content = Content(GoodContent());
  test::ServerProcess server({content.string(), "", 1, {}});
  const Result r = Run({"check-catalogue", server.BaseUrl()});
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_NE(r.out.find("lessons not checked: the lesson request needs --user and --password"),
            std::string::npos);
  EXPECT_NE(r.out.find("row 0  Vowels  [lesson vowels]"), std::string::npos) << r.out;
}

TEST_F(CheckCatalogue, NoCatalogueIsAnError) {
  const Result r = Run({"check-catalogue", (m_dir / "nothing").string()});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.out.find("error: lesson/lesson_list.xml: no catalogue: missing"), std::string::npos)
      << r.out;
}

TEST_F(CheckCatalogue, WrongArgumentsExitTwo) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"check-catalogue"},
        std::vector<std::string>{"check-catalogue", "a", "b"},
        std::vector<std::string>{"check-catalogue", "a", "--user", "u"},
        std::vector<std::string>{"check-catalogue", "a", "--colour"}}) {
    const Result r = Run(args);
    EXPECT_EQ(r.exitCode, 2) << args.size();
    EXPECT_EQ(r.err.rfind("usage: zorva-tool check-catalogue ", 0), 0u) << r.err;
  }
  const Result https = Run({"check-catalogue", "https://example.org"});
  EXPECT_EQ(https.exitCode, 2);
  EXPECT_NE(https.err.find("http:// servers only"), std::string::npos) << https.err;
  EXPECT_TRUE(https.out.empty());
}

}  // namespace
}  // namespace zorva
