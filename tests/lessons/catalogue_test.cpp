// Catalogue building and selection resolution without a display: the
// catalogue comes from the real zorva-server, the tree is a recording.
#include "lessons/catalogue.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <numeric>
#include <string>
#include <vector>

#include "core/cp936.h"
#include "lessons_test_env.h"
#include "platform/message_box.h"
#include "platform/program_values.h"
#include "support/server_process.h"

namespace zorva {
namespace {

namespace fs = std::filesystem;

// The window as loading sees it: each tree item as one line, its level's
// depth in blanks before its text (UTF-8), and every step in order.
class RecordingView : public CatalogueView {
 public:
  void SetTitle(const Text& title) override { steps.push_back("title " + ToUtf8(title)); }
  void DeleteAllTreeItems() override {
    steps.push_back("delete items");
    tree.clear();
  }
  void AddLevel1Item(const Text& text) override { tree.push_back(ToUtf8(text)); }
  void AddLevel2Item(const Text& text) override { tree.push_back(" " + ToUtf8(text)); }
  void AddLevel3Item(const Text& text, int row) override {
    tree.push_back("  " + ToUtf8(text));
    rows.push_back(row);
  }

  std::vector<std::string> steps;
  std::vector<int> rows;  // the entry row of each lesson-level item
  std::vector<std::string> tree;
};

// Each row as "title|dir|type|file_name" (UTF-8).
std::vector<std::string> Rows(const EntryTable& entries) {
  std::vector<std::string> rows;
  for (int i = 0; i < entries.Count(); ++i) {
    const CatalogueEntry& e = entries.Row(i);
    rows.push_back(ToUtf8(e.title) + "|" + ToUtf8(e.dir) + "|" + ToUtf8(e.type) + "|" +
                   ToUtf8(e.fileName));
  }
  return rows;
}

// A lesson element.
std::string L(int order, const std::string& title, const std::string& dir = "d",
              const std::string& type = "lesson") {
  return "<lesson order=\"" + std::to_string(order) + "\" title=\"" + title + "\" dir=\"" + dir +
         "\" type=\"" + type + "\" file_name=\"" + dir + ".exe\"/>";
}

struct CatalogueCase {
  const char* name;
  std::string catalogue;  // UTF-8; served in code page 936
  std::vector<std::string> tree;
  std::vector<std::string> rows;
};
void PrintTo(const CatalogueCase& c, std::ostream* os) { *os << c.name; }

std::vector<CatalogueCase> Cases() {
  return {
      {"ThreeLevelsInCodePage936",
       "<?xml version=\"1.0\" encoding=\"gb2312\"?>\n<!-- 目录 -->\n<catalogue>"
       "<sort_list order=\"1\" title=\"语文\"><lesson_list order=\"1\" title=\"拼音\">" +
           L(1, "认识声母", "pinyin") + L(2, "数字连连看", "shuzi", "game") +
           "</lesson_list></sort_list></catalogue>",
       {"语文.", " 拼音.", "  认识声母", "  数字连连看"},
       {"认识声母|pinyin|lesson|pinyin.exe", "数字连连看|shuzi|game|shuzi.exe"}},
      {"Level1InTextOrderTwoThenOne",
       "<sort_list order=\"2\" title=\"B\"><lesson_list order=\"1\" title=\"b\">" + L(1, "b1") +
           "</lesson_list></sort_list><sort_list order=\"1\" title=\"A\">"
           "<lesson_list order=\"1\" title=\"a\">" +
           L(1, "a1") + "</lesson_list></sort_list>",
       {"A.", " a.", "  a1", "B.", " b.", "  b1"},
       {"a1|d|lesson|d.exe", "b1|d|lesson|d.exe"}},
      {"OrdersOneTwoFourStopAtTheGap",
       "<sort_list order=\"1\" title=\"A\"><lesson_list order=\"1\" title=\"a\">" + L(1, "x") +
           L(2, "y") + L(4, "z") + "</lesson_list><lesson_list order=\"4\" title=\"late\">" +
           L(1, "w") + "</lesson_list></sort_list>",
       {"A.", " a.", "  x", "  y"},
       {"x|d|lesson|d.exe", "y|d|lesson|d.exe"}},
      {"LeadingZeroNeverMatches",
       "<sort_list order=\"1\" title=\"A\"><lesson_list order=\"01\" title=\"a\">" + L(1, "x") +
           "</lesson_list></sort_list><sort_list order=\"02\" title=\"B\"></sort_list>",
       {"A."},
       {}},
      {"EmptyLessonTitleEndsItsList",
       "<sort_list order=\"1\" title=\"A\"><lesson_list order=\"1\" title=\"a\">" + L(1, "x") +
           L(2, "", "gone") + L(3, "y") + "</lesson_list></sort_list>",
       {"A.", " a.", "  x"},
       {"x|d|lesson|d.exe"}},
      {"MissingLessonTitleEndsItsList",
       "<sort_list order=\"1\" title=\"A\"><lesson_list order=\"1\" title=\"a\">" + L(1, "x") +
           "<lesson order=\"2\" dir=\"gone\" type=\"lesson\" file_name=\"g\"/>" + L(3, "y") +
           "</lesson_list><lesson_list order=\"2\" title=\"b\">" + L(1, "v") +
           "</lesson_list></sort_list>",
       {"A.", " a.", "  x", " b.", "  v"},
       {"x|d|lesson|d.exe", "v|d|lesson|d.exe"}},
      {"Level1WithoutClosingTagHasNoChildren",
       "<sort_list order=\"1\" title=\"A\"><lesson_list order=\"1\" title=\"a\">" + L(1, "x") +
           "</lesson_list></sort_list><sort_list order=\"2\" title=\"B\">"
           "<lesson_list order=\"1\" title=\"b\">" +
           L(1, "y") + "</lesson_list>",
       {"A.", " a.", "  x", "B."},
       {"x|d|lesson|d.exe"}},
      {"Level2WithoutClosingTagHasNoChildren",
       "<sort_list order=\"1\" title=\"A\"><lesson_list order=\"1\" title=\"a\">" + L(1, "x") +
           "</lesson_list><lesson_list order=\"2\" title=\"b\">" + L(1, "y") + "</sort_list>",
       {"A.", " a.", "  x", " b."},
       {"x|d|lesson|d.exe"}},
      {"SameTitleInTwoBranchesGivesTwoRows",
       "<sort_list order=\"1\" title=\"A\"><lesson_list order=\"1\" title=\"a\">" +
           L(1, "same", "first") +
           "</lesson_list></sort_list><sort_list order=\"2\" title=\"B\">"
           "<lesson_list order=\"1\" title=\"b\">" +
           L(1, "same", "second") + "</lesson_list></sort_list>",
       {"A.", " a.", "  same", "B.", " b.", "  same"},
       {"same|first|lesson|first.exe", "same|second|lesson|second.exe"}},
      {"EmptyCatalogue", "", {}, {}},
  };
}

// One server for the whole suite; each case writes the catalogue it serves.
class CatalogueTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_content = new std::string(fs::temp_directory_path() /
                                ("zorva-catalogue-" + std::to_string(::getpid())));
    fs::create_directories(*s_content + "/lesson");
    test::ServerProcess::Options options;
    options.contentDir = *s_content;
    s_server = new test::ServerProcess(options);
  }
  static void TearDownTestSuite() {
    delete s_server;
    s_server = nullptr;
    fs::remove_all(*s_content);
    delete s_content;
  }

  void SetUp() override {
    test::EnsureApplication();
    SetServerBaseAddress(Text(s_server->BaseUrl()));
    SetMessageBoxHandler([this](MessageBoxStyle, const Text& text, const Text&) {
      m_messages.push_back(ToUtf8(text));
      return true;
    });
  }
  void TearDown() override {
    SetMessageBoxHandler({});
    SetServerBaseAddress(Text());
  }

  // Serves the catalogue as code page 936 bytes; nullptr removes it.
  static void Serve(const char* utf8) {
    const std::string path = *s_content + "/lesson/lesson_list.xml";
    if (!utf8) {
      fs::remove(path);
      return;
    }
    std::ofstream(path, std::ios::binary) << FromUtf8(utf8).str();
  }

  static std::string* s_content;
  static test::ServerProcess* s_server;
  std::vector<std::string> m_messages;
};
std::string* CatalogueTest::s_content = nullptr;
test::ServerProcess* CatalogueTest::s_server = nullptr;

class CatalogueCaseTest : public CatalogueTest,
                          public ::testing::WithParamInterface<CatalogueCase> {};

TEST_P(CatalogueCaseTest, TreeAndEntryTableFollowTheOrderNumbers) {
  Serve(GetParam().catalogue.c_str());
  for (CatalogueLookup lookup : {CatalogueLookup::Indexed, CatalogueLookup::Plain}) {
    SCOPED_TRACE(lookup == CatalogueLookup::Indexed ? "indexed" : "plain");
    RecordingView view;
    EntryTable entries;
    LoadCatalogue(view, entries, lookup);
    EXPECT_EQ(view.tree, GetParam().tree);
    EXPECT_EQ(Rows(entries), GetParam().rows);
    // Each lesson-level item stands for its own row, in build order.
    std::vector<int> ownRows(entries.Count());
    std::iota(ownRows.begin(), ownRows.end(), 0);
    EXPECT_EQ(view.rows, ownRows);
    EXPECT_EQ(view.steps.back(), "title 主窗口");
  }
  EXPECT_TRUE(m_messages.empty());
}

INSTANTIATE_TEST_SUITE_P(Catalogues, CatalogueCaseTest, ::testing::ValuesIn(Cases()),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(CatalogueTest, LoadingReplacesWhatWasThereAndSaysSoInTheTitle) {
  Serve(
      "<sort_list order=\"1\" title=\"A\"><lesson_list order=\"1\" title=\"a\">"
      "<lesson order=\"1\" title=\"x\" dir=\"d\" type=\"lesson\" file_name=\"\"/>"
      "</lesson_list></sort_list>");
  RecordingView view;
  view.tree = {"old"};
  EntryTable entries;
  entries.Append({"old", "old", "lesson", ""});
  LoadCatalogue(view, entries);
  EXPECT_EQ(view.steps, (std::vector<std::string>{"title 正在读取课程列表......", "delete items",
                                                  "title 主窗口"}));
  EXPECT_EQ(view.tree, (std::vector<std::string>{"A.", " a.", "  x"}));
  EXPECT_EQ(Rows(entries), (std::vector<std::string>{"x|d|lesson|"}));
}

TEST_F(CatalogueTest, CatalogueThatCannotBeFetchedLeavesAnEmptyTreeSilently) {
  struct Failure {
    const char* name;
    std::string base;
  };
  Serve(nullptr);
  for (const Failure& failure :
       {Failure{"not found", s_server->BaseUrl()},
        Failure{"nothing listening", "http://127.0.0.1:1"}, Failure{"no server answered", ""}}) {
    SCOPED_TRACE(failure.name);
    SetServerBaseAddress(Text(failure.base));
    RecordingView view;
    view.tree = {"old"};
    EntryTable entries;
    entries.Append({"old", "old", "lesson", ""});
    LoadCatalogue(view, entries);
    EXPECT_TRUE(view.tree.empty());
    EXPECT_TRUE(entries.IsEmpty());
    EXPECT_EQ(view.steps.back(), "title 主窗口");
  }
  EXPECT_TRUE(m_messages.empty());
}

// ResolveSelectedItem against a small table.
const char kNoSelection[] =
    "您没有选择课程或游戏等项目！请在列表中选择第三级别的项目."
    "如果列表没有显示，请点击“应用列表”按钮"
    "来显示列表";
const char kNotALesson[] = "您没有选择课程或游戏等项目！请在列表中选择第三级别的项目";

struct ResolveCase {
  const char* name;
  std::optional<int> selected;  // the item's entry row, -1 above lesson level; nullopt: none
  bool emptyTable;
  int row;
  const char* message;  // nullptr: none
};
void PrintTo(const ResolveCase& c, std::ostream* os) { *os << c.name; }

class ResolveTest : public ::testing::TestWithParam<ResolveCase> {};

TEST_P(ResolveTest, SelectionResolvesToItsOwnRowOrSaysWhy) {
  test::EnsureApplication();
  std::vector<std::string> messages;
  std::vector<std::string> captions;
  SetMessageBoxHandler([&](MessageBoxStyle style, const Text& text, const Text& caption) {
    EXPECT_EQ(style, MessageBoxStyle::Exclamation);
    messages.push_back(ToUtf8(text));
    captions.push_back(ToUtf8(caption));
    return true;
  });
  EntryTable entries;
  if (!GetParam().emptyTable) {
    for (const char* title : {"认识声母", "语文.", "same", "same", "数字"})
      entries.Append({FromUtf8(title), "dir", "lesson", ""});
  }
  EXPECT_EQ(ResolveSelectedItem(GetParam().selected, entries), GetParam().row);
  if (GetParam().message) {
    EXPECT_EQ(messages, std::vector<std::string>{GetParam().message});
    EXPECT_EQ(captions, std::vector<std::string>{"lessons_tests"});
  } else {
    EXPECT_TRUE(messages.empty());
  }
  SetMessageBoxHandler({});
}

INSTANTIATE_TEST_SUITE_P(
    Selections, ResolveTest,
    ::testing::Values(ResolveCase{"NothingSelected", std::nullopt, false, -1, kNoSelection},
                      ResolveCase{"NothingSelectedEmptyTable", std::nullopt, true, -1,
                                  kNoSelection},
                      ResolveCase{"EmptyTable", 0, true, -1, kNotALesson},
                      // Titles are not compared: an item above lesson level is none, even
                      // when named like a lesson ("语文." in row 1), and the second of two
                      // equal titles is its own row.
                      ResolveCase{"UpperLevelItem", -1, false, -1, kNotALesson},
                      ResolveCase{"LessonLevelItem", 4, false, 4, nullptr},
                      ResolveCase{"FirstRow", 0, false, 0, nullptr},
                      ResolveCase{"SecondOfTwoEqualTitles", 3, false, 3, nullptr},
                      ResolveCase{"RowBeyondTheTable", 5, false, -1, kNotALesson}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace zorva
