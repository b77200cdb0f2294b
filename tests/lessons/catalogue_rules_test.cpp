#include "lessons/catalogue_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace zorva {
namespace {

struct PageCase {
  const char* name;
  const char* page;
  bool advertisement;
};
void PrintTo(const PageCase& c, std::ostream* os) { *os << c.page; }

class AdvertisementPage : public ::testing::TestWithParam<PageCase> {};

TEST_P(AdvertisementPage, IsKnownByItsName) {
  EXPECT_EQ(IsAdvertisementPage(GetParam().page), GetParam().advertisement);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, AdvertisementPage,
    ::testing::Values(
        PageCase{"Suffix", "page03_ad.swf", true}, PageCase{"UpperCase", "PAGE03_AD.SWF", true},
        PageCase{"Inside", "x_advert.swf", true}, PageCase{"InAFolder", "ads_ad/p1.swf", true},
        PageCase{"NoUnderscore", "road.swf", false}, PageCase{"Plain", "page01.swf", false},
        // A "_" that is the second byte of a two-byte character is not the marker's.
        PageCase{"UnderscoreAsSecondByte", "\x81_ad.swf", false}),
    [](const auto& row) { return std::string(row.param.name); });

struct ItemCase {
  const char* name;
  const char* fileName;
  const char* baseName;
  const char* versionFile;
  const char* jobFile;
};
void PrintTo(const ItemCase& c, std::ostream* os) { *os << '"' << c.fileName << '"'; }

class ProgramItemFileNames : public ::testing::TestWithParam<ItemCase> {};

TEST_P(ProgramItemFileNames, ComeFromTheNameLessItsLastFourCharacters) {
  const ItemCase& c = GetParam();
  const std::optional<ProgramItemFiles> files = ProgramItemNames(c.fileName);
  ASSERT_TRUE(files.has_value());
  EXPECT_EQ(files->program, c.fileName);
  EXPECT_EQ(files->baseName, c.baseName);
  EXPECT_EQ(files->versionFile, c.versionFile);
  EXPECT_EQ(files->jobFile, c.jobFile);
}

INSTANTIATE_TEST_SUITE_P(
    Items, ProgramItemFileNames,
    ::testing::Values(ItemCase{"Exe", "shuzi.exe", "shuzi", "shuzi.xml", "download_shuzi.xml"},
                      ItemCase{"AnyFourCharacters", "game.bin", "game", "game.xml",
                               "download_game.xml"},
                      ItemCase{"ShortExtension", "game.sh", "gam", "gam.xml", "download_gam.xml"},
                      ItemCase{"FiveCharacters", "a.exe", "a", "a.xml", "download_a.xml"},
                      ItemCase{"FourCharacters", "game", "", ".xml", "download_.xml"},
                      ItemCase{"TwoByteCharacters", "\xCA\xFD\xD7\xD6.exe", "\xCA\xFD\xD7\xD6",
                               "\xCA\xFD\xD7\xD6.xml", "download_\xCA\xFD\xD7\xD6.xml"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(ProgramItemFileNames, NoneForANameThatIsNotAPlainFileName) {
  for (const char* name : {"", ".", "..", "sub/game.exe", "sub\\game.exe", "../game.exe"})
    EXPECT_FALSE(ProgramItemNames(name).has_value()) << name;
}

}  // namespace
}  // namespace zorva
