#include "core/file_name.h"

#include <gtest/gtest.h>

#include <string>

namespace zorva {
namespace {

struct NameCase {
  const char* name;
  std::string fileName;
  bool plain;
};
void PrintTo(const NameCase& c, std::ostream* os) { *os << c.name; }

class PlainFileName : public ::testing::TestWithParam<NameCase> {};

TEST_P(PlainFileName, DecidesWhetherANameStaysInItsFolder) {
  EXPECT_EQ(IsPlainFileName(GetParam().fileName), GetParam().plain);
}

INSTANTIATE_TEST_SUITE_P(
    Names, PlainFileName,
    ::testing::Values(NameCase{"Plain", "game.exe", true},
                      NameCase{"TwoByteCharacters", "\xCA\xFD\xD7\xD6.exe", true},
                      NameCase{"ThreeDots", "...", true}, NameCase{"LeadingDot", ".hidden", true},
                      NameCase{"Empty", "", false}, NameCase{"Dot", ".", false},
                      NameCase{"DotDot", "..", false}, NameCase{"Slash", "sub/game.exe", false},
                      NameCase{"TrailingSlash", "game/", false},
                      NameCase{"Backslash", "sub\\game.exe", false},
                      NameCase{"BackslashAsSecondByte", "\x81\x5C.exe", true},
                      NameCase{"BackslashAfterTwoByteCharacter", "\x81\x5C\\x", false},
                      NameCase{"SlashAfterLoneLeadByte", "\x81/game.exe", false},
                      NameCase{"Nul", std::string("game\0/x", 7), false}),
    [](const auto& row) { return std::string(row.param.name); });

class PlainRelativePath : public ::testing::TestWithParam<NameCase> {};

TEST_P(PlainRelativePath, DecidesWhetherAPathStaysBelowItsFolder) {
  EXPECT_EQ(IsPlainRelativePath(GetParam().fileName), GetParam().plain);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, PlainRelativePath,
    ::testing::Values(
        NameCase{"OneName", "p1.swf", true}, NameCase{"InFolders", "part/sub/p1.swf", true},
        NameCase{"Empty", "", false}, NameCase{"Absolute", "/etc/passwd", false},
        NameCase{"Climbs", "part/../../x", false}, NameCase{"DoubleSlash", "part//p1.swf", false},
        NameCase{"TrailingSlash", "part/", false}, NameCase{"DotSegment", "./p1.swf", false},
        NameCase{"BackslashSegment", "part/..\\x", false},
        NameCase{"BackslashAsSecondByte", "part/\x81\x5C.swf", true}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace zorva
