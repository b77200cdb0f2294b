// The movie reader on generated movies of every kind and on broken ones.
#include "controls/swf_movie.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "support/swf_writer.h"

namespace zorva {
namespace {

using test::MakeSwf;
using test::PlainSwf;
using test::SwfKind;
using test::SwfSpec;

struct KindCase {
  const char* name;
  SwfKind kind;
};
void PrintTo(const KindCase& c, std::ostream* os) { *os << c.name; }

class SwfKindTest : public ::testing::TestWithParam<KindCase> {};

TEST_P(SwfKindTest, ReadsHeaderFramesAndStops) {
  SwfSpec spec;
  spec.version = 7;
  spec.frameRate = 12.5;
  spec.frames = 5;
  spec.stopFrames = {0, 4};
  spec.kind = GetParam().kind;
  const std::optional<SwfMovie> movie = ReadSwfMovie(MakeSwf(spec));
  ASSERT_TRUE(movie);
  EXPECT_EQ(movie->version, 7);
  EXPECT_DOUBLE_EQ(movie->frameRate, 12.5);
  EXPECT_EQ(movie->frameCount, 5);
  EXPECT_EQ(movie->frameEnds.size(), 5u);
  EXPECT_EQ(movie->stopFrames, (std::vector<bool>{true, false, false, false, true}));
  EXPECT_FALSE(movie->actionScript3);
  // Whatever the kind, the reader hands on the plain movie.
  EXPECT_EQ(movie->bytes, PlainSwf(spec));
}

INSTANTIATE_TEST_SUITE_P(Kinds, SwfKindTest,
                         ::testing::Values(KindCase{"Plain", SwfKind::Plain},
                                           KindCase{"Zlib", SwfKind::Zlib},
                                           KindCase{"Lzma", SwfKind::Lzma}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SwfMovieTest, StopInsideAFunctionBodyDoesNotStopTheFrame) {
  // function () { stop(); } defined in frame 0, never called; frame 1 stops.
  std::string define("\x9B\x05\x00\x00\x00\x00\x01\x00\x07", 9);  // no name, no params, body 1 byte
  std::string frame0 = test::SwfTag(12, define + std::string("\x17\x00", 2));
  SwfSpec spec;
  spec.frames = 2;
  spec.stopFrames = {1};
  const std::optional<SwfMovie> movie = ReadSwfMovie(PlainSwf(spec, frame0));
  ASSERT_TRUE(movie);
  EXPECT_EQ(movie->stopFrames, (std::vector<bool>{false, true}));
}

TEST(SwfMovieTest, ActionScript3IsRecognised) {
  SwfSpec spec;
  spec.version = 10;
  spec.actionScript3 = true;
  const std::optional<SwfMovie> movie = ReadSwfMovie(MakeSwf(spec));
  ASSERT_TRUE(movie);
  EXPECT_TRUE(movie->actionScript3);
  EXPECT_FALSE(CanTakeProbe(*movie));
}

TEST(SwfMovieTest, BytesBeyondTheDeclaredLengthAreIgnored) {
  const std::string plain = PlainSwf(SwfSpec{});
  const std::optional<SwfMovie> movie = ReadSwfMovie(plain + "trailing junk");
  ASSERT_TRUE(movie);
  EXPECT_EQ(movie->bytes, plain);
}

std::string WithLength(std::string file, uint32_t length) {
  for (int i = 0; i < 4; ++i) file[4 + i] = static_cast<char>(length >> (8 * i));
  return file;
}

// A zlib stream of `size` zero bytes, made piece by piece so the test holds
// only the small compressed form.
std::string ZeroBomb(size_t size) {
  z_stream z{};
  deflateInit(&z, 1);
  std::string zeros(1 << 20, '\0');
  std::string out;
  char buffer[4096];
  for (size_t left = size; left > 0;) {
    const size_t n = std::min(left, zeros.size());
    left -= n;
    z.next_in = reinterpret_cast<Bytef*>(zeros.data());
    z.avail_in = static_cast<uInt>(n);
    do {
      z.next_out = reinterpret_cast<Bytef*>(buffer);
      z.avail_out = sizeof buffer;
      deflate(&z, left == 0 ? Z_FINISH : Z_NO_FLUSH);
      out.append(buffer, sizeof buffer - z.avail_out);
    } while (z.avail_out == 0);
  }
  deflateEnd(&z);
  return out;
}

struct BrokenCase {
  const char* name;
  std::string file;
};
void PrintTo(const BrokenCase& c, std::ostream* os) {
  *os << c.name << " (" << c.file.size() << " bytes)";
}

std::vector<BrokenCase> BrokenMovies() {
  const std::string plain = PlainSwf(SwfSpec{});
  SwfSpec zlibSpec;
  zlibSpec.kind = SwfKind::Zlib;
  const std::string zlib = MakeSwf(zlibSpec);
  SwfSpec lzmaSpec;
  lzmaSpec.kind = SwfKind::Lzma;
  const std::string lzma = MakeSwf(lzmaSpec);
  std::string corrupt = zlib;
  for (size_t i = 12; i < corrupt.size(); i += 3) corrupt[i] = static_cast<char>(corrupt[i] ^ 0x5A);
  std::string cutTag = plain;
  cutTag.resize(plain.size() - 3);
  std::string bomb = "CWS\x08";
  bomb = WithLength(bomb + "0000", 300u << 20) + ZeroBomb(300u << 20);
  std::string liar = "CWS\x08";  // claims 200 MB, holds a few bytes
  liar = WithLength(liar + "0000", 200u << 20) + zlib.substr(8);
  return {
      {"Empty", ""},
      {"TruncatedHeader", plain.substr(0, 7)},
      {"HeaderWithoutStage", plain.substr(0, 8)},
      {"WrongSignature", "XWS" + plain.substr(3)},
      {"LowerCaseSignature", "fws" + plain.substr(3)},
      {"DeclaredLengthBelowHeader", WithLength(plain, 4)},
      {"DeclaredLengthBeyondBytes", WithLength(plain, 0x7FFFFFF0)},
      {"TagRunsPastTheEnd", WithLength(cutTag, static_cast<uint32_t>(cutTag.size()))},
      {"BrokenZlib", corrupt},
      {"TruncatedZlib", zlib.substr(0, zlib.size() - 10)},
      {"ZlibShorterThanDeclared", liar},
      {"ZlibBomb", bomb},
      {"TruncatedLzma", lzma.substr(0, lzma.size() / 2)},
      {"LzmaWithoutProperties", lzma.substr(0, 14)},
  };
}

class BrokenSwfTest : public ::testing::TestWithParam<BrokenCase> {};

TEST_P(BrokenSwfTest, GivesNoMovie) { EXPECT_FALSE(ReadSwfMovie(GetParam().file)); }

INSTANTIATE_TEST_SUITE_P(Broken, BrokenSwfTest, ::testing::ValuesIn(BrokenMovies()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SwfMovieTest, InsertedActionsGoAfterFileAttributesAndFixTheLength) {
  SwfSpec spec;
  spec.version = 8;
  spec.frames = 3;
  spec.stopFrames = {2};
  const std::optional<SwfMovie> movie = ReadSwfMovie(MakeSwf(spec));
  ASSERT_TRUE(movie);
  const std::string patched = InsertFrameActions(*movie, std::string("\x07", 1));
  const std::optional<SwfMovie> again = ReadSwfMovie(patched);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->bytes.size(), patched.size());
  // The inserted stop() belongs to the first frame, and the rest is kept.
  EXPECT_EQ(again->stopFrames, (std::vector<bool>{true, false, true}));
  // FileAttributes stays the first tag.
  const uint16_t firstCode = static_cast<uint16_t>(uint8_t(patched[again->firstTag]) |
                                                   uint8_t(patched[again->firstTag + 1]) << 8) >>
                             6;
  EXPECT_EQ(firstCode, 69);
}

TEST(SwfMovieTest, ProbeIsAWellFormedActionList) {
  for (int version : {6, 8}) {
    SCOPED_TRACE(version);
    SwfSpec spec;
    spec.version = version;
    const std::optional<SwfMovie> movie = ReadSwfMovie(MakeSwf(spec));
    ASSERT_TRUE(movie);
    ASSERT_TRUE(CanTakeProbe(*movie));
    const std::string probe = ProbeActions(version, "7");
    // The probe never stops the movie by itself: its stop() lives only in a
    // callback body.
    const std::optional<SwfMovie> patched = ReadSwfMovie(InsertFrameActions(*movie, probe));
    ASSERT_TRUE(patched);
    EXPECT_EQ(patched->stopFrames, movie->stopFrames);
    EXPECT_EQ(probe.find("FSCommand:zorva_frame") != std::string::npos, true);
    EXPECT_EQ(probe.find("addCallback") != std::string::npos, version >= 8);
  }
}

}  // namespace
}  // namespace zorva
