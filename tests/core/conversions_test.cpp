#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <string>

#include "core/pump.h"
#include "core/toolkit.h"

namespace zorva {
namespace {

struct IntCase {
  const char* name;
  const char* text;
  int expected;
};

void PrintTo(const IntCase& c, std::ostream* os) {
  PrintTo(Text(c.text), os);
  *os << " -> " << c.expected;
}

class TextToIntCases : public ::testing::TestWithParam<IntCase> {};

TEST_P(TextToIntCases, ReadsTheLeadingNumber) {
  EXPECT_EQ(TextToInt(GetParam().text), GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Conversions, TextToIntCases,
    ::testing::Values(IntCase{"StopsAtFirstNonDigit", "12abc", 12},
                      IntCase{"NoDigitIsZero", "abc", 0}, IntCase{"BlankThenMinus", " -7", -7},
                      IntCase{"TabThenPlus", "\t+42", 42},
                      IntCase{"EveryCSpaceSkipped", "\n\v\f\r 3", 3},
                      IntCase{"TwoByteBlankIsNoSpace",
                              "\xa1\xa1"
                              "5",
                              0},
                      IntCase{"Empty", "", 0}, IntCase{"SignAlone", "-", 0},
                      IntCase{"TooLargeSaturates", "99999999999", 2147483647},
                      IntCase{"TooSmallSaturates", "-99999999999", -2147483647 - 1}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(Conversions, IntToText) {
  EXPECT_EQ(IntToText(-5), Text("-5"));
  EXPECT_EQ(IntToText(0), Text("0"));
  EXPECT_EQ(IntToText(2147483647), Text("2147483647"));
}

TEST(Conversions, TextToFloatNarrowsToSinglePrecision) {
  EXPECT_EQ(TextToFloat("0.1"), 0.1f);
  EXPECT_EQ(TextToFloat("2.10"), TextToFloat("2.1"));
  EXPECT_LT(TextToFloat("2.10"), TextToFloat("2.9"));
  EXPECT_EQ(TextToFloat("abc"), 0.0f);
  EXPECT_EQ(TextToFloat(" 3.5beta"), 3.5f);
  EXPECT_TRUE(std::isinf(TextToFloat("1e300")));
}

TEST(Conversions, OnlyTheFirst255BytesCount) {
  std::string digits(300, '1');
  EXPECT_EQ(TextToFloat(Text(std::string(254, ' ') + "7")), 7.0f);
  EXPECT_EQ(TextToFloat(Text(std::string(255, ' ') + "7")), 0.0f);
  EXPECT_EQ(TextToInt(Text(std::string(255, ' ') + "7")), 0);
}

// A clock the test moves by hand; every reading advances it by `step`.
struct SteppingClock {
  uint32_t now;
  uint32_t step;
};

TEST(WaitPumping, ZeroPumpsOnceAndReturns) {
  struct CountingPump : MessagePump {
    int passes = 0;
    bool PumpMessages() override { return ++passes, true; }
    void Idle(uint32_t) override {}
  } pump;
  InstallMessagePump(&pump);
  WaitPumping(0);
  EXPECT_EQ(pump.passes, 1);
  WaitPumping(std::nan(""));  // no time to wait for, not an endless one
  EXPECT_EQ(pump.passes, 2);
  InstallMessagePump(nullptr);
}

TEST(WaitPumping, SurvivesTheTickCountWrap) {
  struct CountingPump : MessagePump {
    int passes = 0;
    bool PumpMessages() override { return ++passes, true; }
    void Idle(uint32_t) override {}
  } pump;
  SteppingClock clock{0xFFFFFFF0u, 1};
  SetTickSource([&] { return clock.now += clock.step; });
  InstallMessagePump(&pump);
  WaitPumping(40);
  InstallMessagePump(nullptr);
  SetTickSource({});
  // Started 15 ms before the wrap; 40 ticks later, across it, it returns.
  EXPECT_EQ(clock.now, 0xFFFFFFF0u + 41u);
  EXPECT_GE(pump.passes, 40);
}

TEST(WaitPumping, WaitsAtLeastTheTimeAsked) {
  uint32_t start = TickCount();
  WaitPumping(25);
  EXPECT_GE(TickCount() - start, 25u);
}

}  // namespace
}  // namespace zorva
