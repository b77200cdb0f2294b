// The browser switches the program adds to those of the environment.
#include "controls/web_engine.h"

#include <gtest/gtest.h>

namespace zorva {
namespace {

struct SwitchCase {
  const char* name;
  const char* given;
  const char* added;
  const char* expected;
};
void PrintTo(const SwitchCase& c, std::ostream* os) { *os << c.name; }

class ChromiumSwitchTest : public ::testing::TestWithParam<SwitchCase> {};

TEST_P(ChromiumSwitchTest, EnvironmentWinsByWholeName) {
  std::string switches = GetParam().given;
  AddChromiumSwitch(switches, GetParam().added);
  EXPECT_EQ(switches, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ChromiumSwitchTest,
    ::testing::Values(
        SwitchCase{"IntoNothing", "", "--disable-gpu", "--disable-gpu"},
        SwitchCase{"Appended", "--no-sandbox", "--disable-gpu", "--no-sandbox --disable-gpu"},
        SwitchCase{"AlreadyGiven", "--disable-gpu --no-sandbox", "--disable-gpu",
                   "--disable-gpu --no-sandbox"},
        SwitchCase{"LongerNameIsAnotherSwitch", "--disable-gpu-compositing", "--disable-gpu",
                   "--disable-gpu-compositing --disable-gpu"},
        SwitchCase{"ShorterNameIsAnotherSwitch", "--disable-gpu", "--disable-gpu-compositing",
                   "--disable-gpu --disable-gpu-compositing"},
        SwitchCase{"GivenValueWins", "--js-flags=--expose-gc", "--js-flags=--wasm-lazy-compilation",
                   "--js-flags=--expose-gc"},
        SwitchCase{"ValueDoesNotMakeAName", "--js-flags=--disable-gpu", "--disable-gpu",
                   "--js-flags=--disable-gpu --disable-gpu"},
        SwitchCase{"ExtraSpaces", "  --disable-gpu  ", "--disable-gpu", "  --disable-gpu  "}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zorva
