#include "core/text.h"

#include <gtest/gtest.h>

#include <ostream>

#include "core/cp936.h"

namespace zorva {
namespace {

// "中文" in code page 936: D6 D0 CE C4.
const Text kChinese("\xD6\xD0\xCE\xC4");

struct MidCase {
  const char* name;
  const char* text;
  int first;
  int count;
  const char* expected;
};

void PrintTo(const MidCase& c, std::ostream* os) {
  *os << '"' << c.text << "\".Mid(" << c.first << ", " << c.count << ")";
}

class TextMid : public ::testing::TestWithParam<MidCase> {};

TEST_P(TextMid, ClampsAsDocumented) {
  const MidCase& c = GetParam();
  EXPECT_EQ(Text(c.text).Mid(c.first, c.count), Text(c.expected));
}

INSTANTIATE_TEST_SUITE_P(Edges, TextMid,
                         ::testing::Values(MidCase{"CountCutToRest", "abcde", 3, 10, "de"},
                                           MidCase{"FirstBeyondEnd", "abcde", 7, 1, ""},
                                           MidCase{"FirstAtEnd", "abcde", 5, 1, ""},
                                           MidCase{"NegativeFirstCountsAsZero", "abcde", -2, 2,
                                                   "ab"},
                                           MidCase{"NegativeCountIsEmpty", "abcde", 1, -1, ""},
                                           MidCase{"Whole", "abcde", 0, 5, "abcde"}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(Text, MidToEndAndLeftRight) {
  Text t("12345");
  EXPECT_EQ(t.Mid(3), Text("45"));
  EXPECT_EQ(t.Mid(-1), t);
  EXPECT_EQ(t.Mid(9), Text());
  EXPECT_EQ(t.Right(1), Text("5"));
  EXPECT_EQ(t.Right(-1), Text());
  EXPECT_EQ(t.Right(99), t);
  EXPECT_EQ(t.Left(-2), Text());
  EXPECT_EQ(t.Left(2), Text("12"));
  EXPECT_EQ(t.Left(5), t);
}

TEST(Text, FindRespectsStartLimits) {
  Text t("abcabc");
  EXPECT_EQ(t.Find("bc"), 1);
  EXPECT_EQ(t.Find("bc", 2), 4);
  EXPECT_EQ(t.Find("bc", 6), -1);
  EXPECT_EQ(t.Find("", 6), 6);
  EXPECT_EQ(t.Find("bc", 7), -1);
  EXPECT_EQ(t.Find("bc", -1), -1);
  EXPECT_EQ(t.Find("x"), -1);
}

TEST(Text, FindNeverMatchesAcrossTwoByteCharacters) {
  // The bytes D0 CE straddle the two characters of "中文".
  EXPECT_EQ(kChinese.Find("\xD0\xCE"), -1);
  EXPECT_EQ(kChinese.Find("\xCE\xC4"), 2);
  // A second byte in the ASCII range is not an ASCII character: in
  // "\x81\x41" (a two-byte character) there is no "A".
  Text mixed(
      "\x81\x41"
      "A");
  EXPECT_EQ(mixed.Find("A"), 2);
  // Starting on a second byte finds nothing there.
  EXPECT_EQ(Text("\x81\x41\x41").Find("\x41", 1), 2);
}

TEST(Text, CharBoundaryFollowsLeadByteRuns) {
  std::string_view s("a\xB0\xA1\xB0\xA1z");
  EXPECT_TRUE(Text::IsCharBoundary(s, 0));
  EXPECT_TRUE(Text::IsCharBoundary(s, 1));
  EXPECT_FALSE(Text::IsCharBoundary(s, 2));
  EXPECT_TRUE(Text::IsCharBoundary(s, 3));
  EXPECT_FALSE(Text::IsCharBoundary(s, 4));
  EXPECT_TRUE(Text::IsCharBoundary(s, 5));
  EXPECT_TRUE(Text::IsCharBoundary(s, 6));
}

TEST(Text, ReplaceAll) {
  struct Case {
    const char* before;
    const char* from;
    const char* to;
    int count;
    const char* after;
  };
  const Case cases[] = {
      {"no apostrophe", "'", "\"", 0, "no apostrophe"},
      {"a'b'c", "'", "\"", 2, "a\"b\"c"},
      // Scanning continues after the inserted text: no endless growth.
      {"aa", "a", "aa", 2, "aaaa"},
      {"abc", "", "x", 0, "abc"},
      // Bytes that straddle two double-byte characters are no match.
      {"\xD6\xD0\xCE\xC4", "\xD0\xCE", "!", 0, "\xD6\xD0\xCE\xC4"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.before);
    Text t(c.before);
    EXPECT_EQ(t.Replace(c.from, c.to), c.count);
    EXPECT_EQ(t, Text(c.after));
  }
}

TEST(Text, LowerChangesAsciiLettersOnly) {
  Text t("ABC\x81\x41z1");
  t.MakeLower();
  EXPECT_EQ(t, Text("abc\x81\x41z1"));
}

TEST(Text, NeverHoldsNul) {
  EXPECT_EQ(Text(std::string_view("ab\0cd", 5)).GetLength(), 2);
  Text t("x");
  t.Append(std::string_view("y\0z", 3));
  EXPECT_EQ(t, Text("xy"));
}

TEST(Text, ConcatenationAndComparison) {
  Text a("ab");
  EXPECT_EQ(a + "c", Text("abc"));
  EXPECT_EQ("c" + a, Text("cab"));
  EXPECT_EQ(a + a, Text("abab"));
  EXPECT_TRUE(Text("a") < Text("b"));
  EXPECT_TRUE(Text("Z") < Text("a"));         // case-sensitive
  EXPECT_TRUE(Text("z") < Text("\xB0\xA1"));  // unsigned bytes
  EXPECT_FALSE(Text("ab") == Text("aB"));
}

TEST(Text, FormatHasExactLength) {
  EXPECT_EQ(Text::Format("%.3d", 6), Text("006"));
  EXPECT_EQ(Text::Format("%.3d", 1234), Text("1234"));
  EXPECT_EQ(Text::Format("%s-%d", "x", -5), Text("x--5"));
  EXPECT_EQ(Text::Format("%s", ""), Text());
}

TEST(Cp936, RoundTripsChineseAndMarksTheUnrepresentable) {
  EXPECT_EQ(FromUtf8("中文"), kChinese);
  EXPECT_EQ(ToUtf8(kChinese), "中文");
  EXPECT_EQ(FromUtf8("a😀b"), Text("a?b"));
  EXPECT_EQ(FromUtf8("Zorva学习娱乐空间"), FromUtf8("Zorva") + FromUtf8("学习娱乐空间"));
  EXPECT_EQ(ToUtf8(Text("\xFF")), "\xEF\xBF\xBD");
}

TEST(Cp936, MalformedBytesCostOnlyThemselves) {
  // A cut UTF-8 sequence or a lead byte without a valid second byte must
  // not take the character after it along.
  EXPECT_EQ(FromUtf8("\xE4\xB8"
                     "A"),
            Text("?A"));
  EXPECT_EQ(FromUtf8("\xC3"), Text("?"));
  EXPECT_EQ(ToUtf8(Text("\x81 a")), "\xEF\xBF\xBD a");
  EXPECT_EQ(ToUtf8(Text("\xD6\xD0\x81")), "中\xEF\xBF\xBD");
}

}  // namespace
}  // namespace zorva
