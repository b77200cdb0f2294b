// The movie reader on generated movies of every kind and on broken ones.
#include "controls/swf_movie.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <set>
#include <string>

#include "controls/swf_actions.h"
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

// Walks an action list record by record: a code byte, and for codes from
// 0x80 up a 16-bit length and that many bytes. Every record must fit, the
// walk must end exactly at the end of the list, and each jump target (a
// function body's end, an If's destination) must fall on a record boundary
// inside the list. Gives the number of records, or -1 with a failure.
int WalkActionRecords(std::string_view list) {
  std::set<size_t> boundaries{0};
  std::vector<size_t> targets;
  size_t at = 0;
  int records = 0;
  while (at < list.size()) {
    const uint8_t code = static_cast<uint8_t>(list[at++]);
    size_t length = 0;
    if (code >= 0x80) {
      if (list.size() - at < 2) {
        ADD_FAILURE() << "record header of 0x" << std::hex << int(code) << " cut at " << at;
        return -1;
      }
      length = static_cast<uint8_t>(list[at]) | static_cast<uint8_t>(list[at + 1]) << 8;
      at += 2;
      if (list.size() - at < length) {
        ADD_FAILURE() << "record 0x" << std::hex << int(code) << " runs past the end";
        return -1;
      }
    }
    const std::string_view data = list.substr(at, length);
    at += length;
    auto le16 = [&](size_t i) {
      return static_cast<size_t>(static_cast<uint8_t>(data[i]) | static_cast<uint8_t>(data[i + 1])
                                                                     << 8);
    };
    if (code == 0x9B && length >= 2) targets.push_back(at + le16(length - 2));  // DefineFunction
    if (code == 0x9D && length == 2) {                                          // If
      targets.push_back(at + static_cast<size_t>(static_cast<int16_t>(le16(0))));
    }
    boundaries.insert(at);
    ++records;
  }
  EXPECT_EQ(at, list.size()) << "the records end exactly at the end of the list";
  for (size_t target : targets) {
    EXPECT_TRUE(boundaries.count(target)) << "a jump lands inside a record, at " << target;
  }
  return records;
}

TEST(SwfMovieTest, ProbeActionRecordsEndExactlyAtTheEndOfTheList) {
  for (int version : {6, 8}) {
    SCOPED_TRACE(version);
    SwfSpec spec;
    spec.version = version;
    spec.stopFrames = {5};
    const std::optional<SwfMovie> movie = ReadSwfMovie(MakeSwf(spec));
    ASSERT_TRUE(movie);
    ASSERT_TRUE(CanTakeProbe(*movie));
    const std::string probe = ProbeActions(version, "7");
    EXPECT_GT(WalkActionRecords(probe), 20);
    EXPECT_NE(probe.find("FSCommand:zorva_frame"), std::string::npos);
    EXPECT_EQ(probe.find("addCallback") != std::string::npos, version >= 8);

    // In the movie the list is one DoAction tag, ended by a 0 byte, at the
    // start of the first frame; the probe never stops the movie by itself
    // (its stop() lives only in a callback body).
    const std::string patched = InsertFrameActions(*movie, probe);
    const std::optional<SwfMovie> read = ReadSwfMovie(patched);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->stopFrames, movie->stopFrames);
    // Tag headers: code and short length, or 0x3F and a 32-bit length.
    struct TagHead {
      unsigned code;
      bool longForm;
      size_t body, length;
    };
    auto tagAt = [&](size_t at) {
      const unsigned head =
          static_cast<uint8_t>(patched[at]) | static_cast<uint8_t>(patched[at + 1]) << 8;
      TagHead t{head >> 6, (head & 0x3F) == 0x3F, at + 2, head & 0x3Fu};
      if (t.longForm) {
        t.length = 0;
        for (int i = 3; i >= 0; --i)
          t.length = t.length << 8 | static_cast<uint8_t>(patched[at + 2 + i]);
        t.body += 4;
      }
      return t;
    };
    // After a leading FileAttributes tag, which stays first.
    TagHead tag = tagAt(movie->firstTag);
    if (tag.code == 69) tag = tagAt(tag.body + tag.length);
    EXPECT_EQ(tag.code, 12u) << "DoAction";
    EXPECT_TRUE(tag.longForm);
    ASSERT_LE(tag.body + tag.length, patched.size());
    const std::string_view list = std::string_view(patched).substr(tag.body, tag.length);
    ASSERT_EQ(list.size(), probe.size() + 1);
    EXPECT_EQ(list.back(), '\0');
    EXPECT_EQ(WalkActionRecords(list.substr(0, list.size() - 1)), WalkActionRecords(probe));
  }
}

}  // namespace
}  // namespace zorva
