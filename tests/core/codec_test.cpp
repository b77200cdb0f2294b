#include "core/codec.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <random>
#include <set>
#include <string>
#include <string_view>

#include "core/pump.h"

namespace zorva {
namespace {

constexpr std::string_view kAlphabet = "abcdefghijklmnopqrstuvwxyz0123456789";

// A clock that only moves when the codec waits: each pump pass and each
// rest advances it, so encodings are fast and repeatable, and the test sees
// how often the codec pumped.
class FakeClock : public MessagePump {
 public:
  bool PumpMessages() override {
    ++pumps;
    now += 1;
    return true;
  }
  void Idle(uint32_t ms) override { now += ms; }
  void EndOfPumping() override { ++endsOfPumping; }

  uint32_t now = 0;
  int pumps = 0;
  int endsOfPumping = 0;
};

class Codec : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallMessagePump(&m_clock);
    SetTickSource([this] { return m_clock.now; });
  }
  void TearDown() override {
    InstallMessagePump(nullptr);
    SetTickSource({});
  }
  FakeClock m_clock;
};

int SymbolIndex(unsigned char c) {
  if (c >= 'A' && c <= 'Z') c = c - 'A' + 'a';
  size_t i = kAlphabet.find(static_cast<char>(c));
  return i == std::string_view::npos ? -1 : static_cast<int>(i);
}

// The group a byte must become in table k, by the rule "code = j + k + 1".
std::string ExpectedCode(unsigned char c, int k) {
  int j = SymbolIndex(c);
  if (j < 0) return "??";
  char code[12];
  std::snprintf(code, sizeof code, "%.2d", j + k + 1);
  return code;
}

// Checks one group "k" + code against the byte it stands for.
void ExpectGroup(std::string_view group, unsigned char original) {
  ASSERT_EQ(group.size(), 3u);
  ASSERT_GE(group[0], '0');
  ASSERT_LE(group[0], '9');
  EXPECT_EQ(group.substr(1), ExpectedCode(original, group[0] - '0'))
      << "group " << group << " for byte " << int(original);
}

TEST_F(Codec, EveryTableFollowsTheCodeRule) {
  std::set<int> tablesSeen;
  for (uint32_t start = 0; start < 300; ++start) {
    m_clock.now = start * 7;
    Text encoded = ScrambleChars(Text(kAlphabet), "e");
    ASSERT_EQ(encoded.GetLength(), 1 + 2 * 36);
    int k = encoded[0] - '0';
    ASSERT_TRUE(k >= 0 && k <= 9);
    tablesSeen.insert(k);
    for (int j = 0; j < 36; ++j) {
      EXPECT_EQ(encoded.Mid(1 + 2 * j, 2).str(), ExpectedCode(kAlphabet[j], k));
    }
    EXPECT_EQ(ScrambleChars(encoded, ""), Text(kAlphabet));
  }
  EXPECT_EQ(tablesSeen.size(), 10u) << "the tick count should spread the table choice";
}

struct ChunkCase {
  const char* name;
  const char* encoded;
  const char* expected;
};

void PrintTo(const ChunkCase& c, std::ostream* os) {
  PrintTo(Text(c.encoded), os);
  *os << " -> ";
  PrintTo(Text(c.expected), os);
}

class ChunkDecoding : public ::testing::TestWithParam<ChunkCase> {};

TEST_P(ChunkDecoding, GivesTheSymbols) {
  EXPECT_EQ(ScrambleChars(GetParam().encoded, ""), Text(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Codec, ChunkDecoding,
    ::testing::Values(ChunkCase{"ThreeCodesInTableZero", "0010203", "abc"},
                      ChunkCase{"HighestTable", "94510", "9a"},
                      ChunkCase{"CodeAboveTableZero", "037", "?"},
                      ChunkCase{"CodeBelowTableNine", "905", "?"},
                      ChunkCase{"UncodableMark", "0??", "?"},
                      ChunkCase{"NonDigitTableCountsAsZero", "x01", "a"},
                      ChunkCase{"DoubleByteCharacter", "0\xd6\xd0", "?"},
                      ChunkCase{"TrailingSingleDigitIsLookedUpAsPrefix", "0011", "aj"},
                      ChunkCase{"TableDigitOnly", "7", ""}, ChunkCase{"Empty", "", ""}),
    [](const auto& row) { return std::string(row.param.name); });

// The encoded text, taken apart by the field lengths of the format.
struct Fields {
  std::string lead, body, random, plain, trailer;
};

Fields Split(const Text& encoded, int inputLength) {
  std::string s = encoded.str();
  Fields f;
  size_t bodyLength = 3 * static_cast<size_t>(inputLength);
  size_t randomLength = s.size() - 1 - bodyLength - 12;
  f.lead = s.substr(0, 1);
  f.body = s.substr(1, bodyLength);
  f.random = s.substr(1 + bodyLength, randomLength);
  f.plain = s.substr(1 + bodyLength + randomLength, 3);
  f.trailer = s.substr(s.size() - 9);
  return f;
}

class EncodingFormat : public Codec, public ::testing::WithParamInterface<const char*> {};

TEST_P(EncodingFormat, HasEveryFieldInOrder) {
  const std::string input = GetParam();
  const int n = static_cast<int>(input.size());
  for (uint32_t start : {0u, 12345u, 4294967000u}) {
    m_clock.now = start;
    Text encoded = ScrambleText(Text(input), "e");
    const int randomDigits = encoded.GetLength() - 13 - 3 * n;
    ASSERT_GE(randomDigits, 1) << encoded.str();
    ASSERT_LE(randomDigits, 5) << encoded.str();
    Fields f = Split(encoded, n);

    ASSERT_EQ(f.random.find_first_not_of("0123456789"), std::string::npos);
    EXPECT_TRUE(f.random == "0" || f.random[0] != '0') << "a decimal form: " << f.random;
    EXPECT_LE(std::stoi(f.random), 32767);
    EXPECT_EQ(f.lead[0], f.random.back());

    for (int i = 0; i < n; ++i) {
      ExpectGroup(std::string_view(f.body).substr(3 * i, 3), input[i]);
    }
    char plain[8];
    std::snprintf(plain, sizeof plain, "%.3d", 3 * n);
    EXPECT_EQ(f.plain, plain);
    for (int i = 0; i < 3; ++i) ExpectGroup(std::string_view(f.trailer).substr(3 * i, 3), plain[i]);
  }
}

INSTANTIATE_TEST_SUITE_P(Codec, EncodingFormat,
                         ::testing::Values("", "a", "Abc123", "pass word!", "\xd6\xd0\xce\xc4x"));

struct RoundTripCase {
  const char* name;
  const char* input;
  const char* decoded;
};

void PrintTo(const RoundTripCase& c, std::ostream* os) {
  PrintTo(Text(c.input), os);
  *os << " -> ";
  PrintTo(Text(c.decoded), os);
}

class RoundTrip : public Codec, public ::testing::WithParamInterface<RoundTripCase> {};

TEST_P(RoundTrip, DecodesWhatWasEncoded) {
  for (uint32_t start : {0u, 777u, 90001u}) {
    m_clock.now = start;
    EXPECT_EQ(ScrambleText(ScrambleText(GetParam().input, "e"), ""), Text(GetParam().decoded));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Codec, RoundTrip,
    ::testing::Values(RoundTripCase{"LettersAndDigits", "qmvra2010", "qmvra2010"},
                      RoundTripCase{"UpperCaseComesBackLower", "AbC9Z", "abc9z"},
                      RoundTripCase{"BlankAndPunctuationBecomeQuestionMarks", "a b.c", "a?b?c"},
                      RoundTripCase{"EachHalfOfADoubleByteCharacter", "x\xd6\xd0y", "x??y"},
                      RoundTripCase{"Empty", "", ""}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(Codec, TwoEncodingsDifferButDecodeAlike) {
  m_clock.now = 1000;
  Text first = ScrambleText("secret42", "e");
  m_clock.now = 5003;
  Text second = ScrambleText("secret42", "e");
  EXPECT_NE(first, second);
  EXPECT_EQ(ScrambleText(first, ""), Text("secret42"));
  EXPECT_EQ(ScrambleText(second, ""), Text("secret42"));
}

TEST_F(Codec, LengthFieldHoldsThreeDigitsOnly) {
  // 333 bytes still fit; beyond that only the first three digits of the
  // body length travel in the trailer and the decoded text comes back short.
  std::string fits(333, 'k');
  EXPECT_EQ(ScrambleText(ScrambleText(Text(fits), "e"), ""), Text(fits));
  Text longer = ScrambleText(Text(std::string(340, 'k')), "e");
  EXPECT_EQ(longer.Right(9 + 4).Left(4), Text("1020"));
  EXPECT_EQ(ScrambleText(longer, ""), Text(std::string(34, 'k')));
}

TEST_F(Codec, EncodingPumpsBeforeEveryCharacterAndRepostsQuitOnce) {
  const uint32_t start = m_clock.now;
  ScrambleText("abcd", "e");
  EXPECT_GE(m_clock.now - start, 10u * (4 + 3));
  EXPECT_GE(m_clock.pumps, 4 + 3);
  // The whole encoding is one pumping operation: a quit request a wait took
  // is handed back once, after the last character.
  EXPECT_EQ(m_clock.endsOfPumping, 1);

  ScrambleText(ScrambleText("abcd", "e"), "");
  EXPECT_EQ(m_clock.endsOfPumping, 2);
  m_clock.pumps = 0;
  ScrambleText("40010203900122038036029", "");
  EXPECT_EQ(m_clock.pumps, 0) << "decoding does not wait";
}

TEST(CodecRealClock, RoundTripWithTheSteadyClock) {
  Text encoded = ScrambleText("Zorva7", "e");
  EXPECT_GE(encoded.GetLength(), 13 + 3 * 6 + 1);
  EXPECT_EQ(ScrambleText(encoded, ""), Text("zorva7"));
}

struct ForeignCase {
  const char* name;
  const char* text;
  const char* decoded;
};

void PrintTo(const ForeignCase& c, std::ostream* os) {
  PrintTo(Text(c.text), os);
  *os << " -> ";
  PrintTo(Text(c.decoded), os);
}

class ForeignInput : public ::testing::TestWithParam<ForeignCase> {};

TEST_P(ForeignInput, DecodesWhatTheRulesSelect) {
  EXPECT_EQ(ScrambleText(GetParam().text, ""), Text(GetParam().decoded));
}

INSTANTIATE_TEST_SUITE_P(
    Codec, ForeignInput,
    ::testing::Values(ForeignCase{"Empty", "", ""}, ForeignCase{"ShorterThanTheTrailer", "12", ""},
                      ForeignCase{"NotDigits", "hello world, not a code", ""},
                      ForeignCase{"TrailerClaimsMoreThanThereIs", "1036036036", "999"},
                      ForeignCase{"DoubleByteText", "\xd6\xd0\xce\xc4\xd6\xd0\xce\xc4\xd6\xd0", ""},
                      ForeignCase{"EncodedEmptyText",
                                  "1"
                                  "31"
                                  "000"
                                  "027027229",
                                  ""}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(CodecForeignInput, ArbitraryBytesNeverFail) {
  std::mt19937 random(2024);
  const std::string digitHeavy = "0123456789012345678901234567890123456789?_~x";
  for (int round = 0; round < 5000; ++round) {
    std::string s(random() % 80, '\0');
    for (char& c : s) {
      c = round % 2 ? digitHeavy[random() % digitHeavy.size()]
                    : static_cast<char>(1 + random() % 255);
    }
    Text decoded = ScrambleText(Text(s), "");
    ASSERT_LE(decoded.GetLength(), 333);
    ASSERT_EQ(decoded.str().find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789?"),
              std::string::npos)
        << decoded.str();
  }
}

}  // namespace
}  // namespace zorva
