#include "core/xml.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/xml_index.h"

namespace zorva {
namespace {

struct LookupCase {
  const char* name;
  std::string document;
  const char* tag;
  const char* attribute;
  const char* value;
  const char* resultAttribute;
  std::string expected;
};

void PrintTo(const LookupCase& c, std::ostream* os) { *os << c.name; }

class LookupTest : public testing::TestWithParam<LookupCase> {};

TEST_P(LookupTest, AnswersAsTheSearchRulesSay) {
  const LookupCase& c = GetParam();
  EXPECT_EQ(GetXmlValue(c.document, c.tag, c.attribute, c.value, c.resultAttribute),
            Text(c.expected));
  // The indexed form owes the same bytes for every question.
  EXPECT_EQ(XmlIndex(c.document).Value(c.tag, c.attribute, c.value, c.resultAttribute),
            Text(c.expected));
}

const LookupCase kLookupCases[] = {
    {"ContentOfElement", "<a>x</a>", "a", "", "", "", "x"},
    {"MissingTag", "<a>x</a>", "b", "", "", "", ""},
    {"EmptyDocument", "", "a", "", "", "", ""},
    {"SelfClosingChildHidesContent", "<a><b/></a>", "a", "", "", "", ""},
    {"SelfClosingAfterCloseIsHarmless", "<a>x</a><b/>", "a", "", "", "", "x"},
    {"SelfClosingElementHasNoContent", "<a/>x</a>", "a", "", "", "", ""},
    {"BlanksKept", "<a>  x  </a>", "a", "", "", "", "  x  "},
    {"LineFeedKept", "<a>one\ntwo</a>", "a", "", "", "", "one\ntwo"},
    {"EntityUnchanged", "<a>&amp;</a>", "a", "", "", "", "&amp;"},
    {"InnerMarkupKept", "<a k=\"1\"><b>y</b></a>", "a", "", "", "", "<b>y</b>"},
    {"ContentUpToFirstClosingTag", "<a><a>in</a>out</a>", "a", "", "", "", "<a>in"},
    {"CommentedElementSkipped", "<!--<a>y</a>--><a>x</a>", "a", "", "", "", "x"},
    {"UnterminatedCommentHidesRest", "<a>x</a><!--<b>y</b>", "b", "", "", "", ""},
    {"ShortestCommentEndsInsideItsOpening", "<!-->q<a>y</a>", "a", "", "", "", "y"},
    {"CommentFormedByRemovalIsRemovedToo", "<!<!--c-->--<a>y</a>--><a>x</a>", "a", "", "", "", "x"},
    {"CommentHidesRecord", "<u n=\"1\" v=\"a\"/><!--<u n=\"2\" v=\"b\"/>-->", "u", "n", "2", "v",
     ""},
    {"TagIsPrefix", "<users><user name=\"k\" order=\"2\"/></users>", "user", "name", "k", "order",
     "2"},
    {"ContentQueryTakesLongerName", "<users><user>y</user></users>", "user", "", "", "", "<user>y"},
    {"RecordResultAttribute", "<u name=\"a\" v=\"1\"/><u name=\"b\" v=\"2\"/>", "u", "name", "b",
     "v", "2"},
    {"RecordValueMissing", "<u name=\"a\" v=\"1\"/><u name=\"b\" v=\"2\"/>", "u", "name", "c", "v",
     ""},
    {"RecordContent", "<u name=\"a\">one</u><u name=\"b\">two</u>", "u", "name", "b", "", "two"},
    {"FirstCandidateWithoutAttributeEndsSearch", "<u id=\"1\" v=\"0\"/><u name=\"b\" v=\"2\"/>",
     "u", "name", "b", "v", ""},
    {"SingleQuotesNotRecognised", "<u name='b' v=\"2\"/>", "u", "name", "b", "v", ""},
    {"ValueComparedCaseSensitively", "<u name=\"B\" v=\"2\"/>", "u", "name", "b", "v", ""},
    {"ResultAttributeMissing", "<u name=\"b\"/>", "u", "name", "b", "v", ""},
    {"AttributeMatchesAsPlainSubstring", "<u xname=\"b\" v=\"1\"/>", "u", "name", "b", "v", "1"},
    {"EmptyValueMatchesEmptyAttribute", "<u n=\"\" v=\"3\"/>", "u", "n", "", "v", "3"},
    {"NestedElementsExaminedInOrder", "<u n=\"1\"><u n=\"2\">in</u></u>", "u", "n", "2", "", "in"},
    {"OuterElementContentEndsAtFirstClose", "<u n=\"1\"><u n=\"2\">in</u></u>", "u", "n", "1", "",
     "<u n=\"2\">in"},
    {"LaterClosingTagWinsOverSelfClose", "<u n=\"1\"/>x</u>", "u", "n", "1", "", "x"},
    {"CandidateInsideOpeningTagSkipped",
     "<u n=\"1\" x=\"<u n=&quot;2\" v=\"9\"/><u n=\"2\" v=\"5\"/>", "u", "n", "2", "v", "5"},
    {"TagAfterLeadByteIsNoTag", "\x81<a>y</a>", "a", "", "", "", ""},
    {"TagAfterWholeTwoByteCharacter", "\x81\x81<a>y</a>", "a", "", "", "", "y"},
    {"CommentOpeningAfterLeadByteIsText", "\x81<!--<a>y</a>--><a>x</a>", "a", "", "", "", "y"},
    {"TwoByteValue", "<u name=\"\xd6\xd0\" v=\"1\"/>", "u", "name", "\xd6\xd0", "v", "1"},
    {"QuoteAsSecondByteIsNoQuote", "<u name=\"\x81\"\" v=\"1\"/>", "u", "name", "\x81\"", "v", "1"},
};

INSTANTIATE_TEST_SUITE_P(GetXmlValue, LookupTest, testing::ValuesIn(kLookupCases),
                         [](const testing::TestParamInfo<LookupCase>& row) {
                           return std::string(row.param.name);
                         });

class RecordingStatus : public StatusWindow {
 public:
  void SetText(const Text& text) override { texts.push_back(text); }
  std::vector<Text> texts;
};

class TextFileTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = testing::TempDir() + "zorva_xml_XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    m_dir = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(m_dir); }

  Text PathOf(const std::string& name) const { return Text(m_dir + "/" + name); }

  static void WriteBytes(const Text& path, const std::string& bytes) {
    std::ofstream(path.str(), std::ios::binary) << bytes;
  }
  static std::string ReadBytes(const Text& path) {
    std::ifstream in(path.str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(m_dir)) {
      names.push_back(entry.path().filename().string());
    }
    return names;
  }

  std::string m_dir;
};

TEST_F(TextFileTest, ReadingEndsEveryLineInOneLineFeed) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"a\r\nb\r\n", "a\nb\n"},
      {"a\r\nb", "a\nb\n"},
      {"a\nb", "a\nb\n"},
      {"\r\n\r\n", "\n\n"},
      {"a\rb\r\n", "a\rb\n"},
      {"<a>\xd6\xd0</a>\r\n", "<a>\xd6\xd0</a>\n"},
      {std::string("ab\0cd\r\nef", 9), "ab\nef\n"},
  };
  for (const auto& [onDisk, expected] : cases) {
    Text path = PathOf("read.xml");
    WriteBytes(path, onDisk);
    EXPECT_EQ(ReadTextFile(path), Text(expected)) << testing::PrintToString(Text(onDisk));
  }
}

TEST_F(TextFileTest, ReadingMissingFileReportsPath) {
  RecordingStatus status;
  Text path = PathOf("missing.xml");
  EXPECT_EQ(ReadTextFile(path, &status), Text());
  ASSERT_EQ(status.texts.size(), 1u);
  EXPECT_EQ(status.texts[0], "error reading file:" + path);
  EXPECT_EQ(ReadTextFile(PathOf("")), Text());  // a directory cannot be read as text
}

TEST_F(TextFileTest, SavingWritesCarriageReturnLineFeed) {
  Text path = PathOf("save.xml");
  ASSERT_TRUE(SaveTextFile(path, "<a>\n  x\n</a>"));
  EXPECT_EQ(ReadBytes(path), "<a>\r\n  x\r\n</a>");
  EXPECT_EQ(ReadTextFile(path), Text("<a>\n  x\n</a>\n"));
  EXPECT_EQ(ReadXmlValue(path, "a", "", "", ""), Text("\n  x\n"));
}

TEST_F(TextFileTest, SavingReplacesWholeFileAndKeepsItsPermissions) {
  Text path = PathOf("users.xml");
  WriteBytes(path, "a much longer old content that must not survive");
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  ASSERT_TRUE(SaveTextFile(path, "new"));
  EXPECT_EQ(ReadBytes(path), "new");
  struct stat info;
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  EXPECT_EQ(Entries(), std::vector<std::string>{"users.xml"});  // no temporary left behind
}

TEST_F(TextFileTest, SavingIntoMissingDirectoryReportsPath) {
  RecordingStatus status;
  Text path = PathOf("no/such/dir.xml");
  EXPECT_FALSE(SaveTextFile(path, "x", &status));
  ASSERT_EQ(status.texts.size(), 1u);
  EXPECT_EQ(status.texts[0], "error in saving file" + path);
  EXPECT_FALSE(SaveTextFile(path, "x"));  // without a status window nothing is shown
}

TEST_F(TextFileTest, FailedWriteLeavesOldFileWhole) {
  Text path = PathOf("catalogue.xml");
  WriteBytes(path, "old content");
  // A file size limit makes the write fail part-way, as a full disk would.
  struct rlimit old;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  RecordingStatus status;
  bool saved = SaveTextFile(path, Text(std::string(100000, 'x')), &status);
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, oldHandler);

  EXPECT_FALSE(saved);
  EXPECT_EQ(ReadBytes(path), "old content");
  ASSERT_EQ(status.texts.size(), 1u);
  EXPECT_EQ(status.texts[0], "error in saving file" + path);
  EXPECT_EQ(Entries(), std::vector<std::string>{"catalogue.xml"});
}

TEST_F(TextFileTest, ReadXmlValueOfMissingFileIsEmpty) {
  EXPECT_EQ(ReadXmlValue(PathOf("missing.xml"), "a", "", "", ""), Text());
}

}  // namespace
}  // namespace zorva
