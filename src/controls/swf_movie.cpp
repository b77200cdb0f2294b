#include "controls/swf_movie.h"

#include <lzma.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "controls/swf_format.h"

namespace zorva {

using namespace swf;

namespace {

// Inflates a zlib stream into out until out holds `wanted` bytes. False when
// the stream is broken or ends before that; what follows is never looked
// at, as bytes beyond a plain movie's length are not.
bool Inflate(std::string_view in, size_t wanted, std::string& out) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return false;
  // zlib cannot expand more than about 1032:1, so a small file claiming a
  // huge length gets no huge buffer before its bytes prove it.
  out.resize(std::min(wanted, out.size() + in.size() * 1032 + 64));
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  z.avail_in = static_cast<uInt>(std::min<size_t>(in.size(), UINT32_MAX));
  size_t done = kHeaderSize;
  while (done < wanted) {
    if (done == out.size()) out.resize(std::min(wanted, out.size() * 2));
    z.next_out = reinterpret_cast<Bytef*>(out.data() + done);
    z.avail_out = static_cast<uInt>(std::min<size_t>(out.size() - done, UINT32_MAX));
    const uInt before = z.avail_out;
    const int rc = inflate(&z, Z_NO_FLUSH);
    done += before - z.avail_out;
    if (rc != Z_OK) break;
  }
  inflateEnd(&z);
  out.resize(done);
  return done == wanted;
}

// Decodes the LZMA body of a "ZWS" movie: after the 8-byte header come the
// compressed length (4 bytes), the 5 LZMA property bytes and the raw stream.
bool DecodeLzma(std::string_view file, size_t wanted, std::string& out) {
  if (file.size() < kHeaderSize + 4 + 5) return false;
  // An ".lzma" header (properties and the uncompressed size) in front of the
  // stream lets liblzma's legacy decoder read it and stop at the size.
  std::string head(file.substr(kHeaderSize + 4, 5));
  uint64_t size = wanted - kHeaderSize;
  for (int i = 0; i < 8; ++i) head.push_back(static_cast<char>((size >> (8 * i)) & 0xFF));
  const std::string_view body = file.substr(kHeaderSize + 4 + 5);

  lzma_stream s = LZMA_STREAM_INIT;
  if (lzma_alone_decoder(&s, 128u << 20) != LZMA_OK) return false;
  out.resize(std::min(wanted, out.size() + body.size() * 64 + 4096));
  size_t done = kHeaderSize;
  lzma_ret rc = LZMA_OK;
  auto feed = [&](std::string_view in, bool last) {
    s.next_in = reinterpret_cast<const uint8_t*>(in.data());
    s.avail_in = in.size();
    while (rc == LZMA_OK && done < wanted && (s.avail_in > 0 || last)) {
      if (done == out.size()) out.resize(std::min(wanted, out.size() * 2));
      s.next_out = reinterpret_cast<uint8_t*>(out.data() + done);
      s.avail_out = out.size() - done;
      const size_t before = s.avail_out;
      rc = lzma_code(&s, last ? LZMA_FINISH : LZMA_RUN);
      done += before - s.avail_out;
      if (last && before == s.avail_out && rc == LZMA_OK) break;
    }
  };
  feed(head, false);
  feed(body, true);
  lzma_end(&s);
  out.resize(done);
  return done == wanted;
}

// The header's stage rectangle is a bit field: 5 bits giving the width n of
// each of the four values that follow, padded to a whole byte.
std::optional<size_t> SkipRect(std::string_view b, size_t at) {
  if (at >= b.size()) return {};
  const size_t bits = static_cast<uint8_t>(b[at]) >> 3;
  const size_t bytes = (5 + 4 * bits + 7) / 8;
  if (b.size() - at < bytes) return {};
  return at + bytes;
}

// True when a frame's action list calls stop() at its top level. Function
// bodies are skipped: a stop() there runs only when something calls it.
// Broken action records end the scan; the player would stop reading them too.
bool ActionsStop(std::string_view actions) {
  size_t at = 0;
  while (at < actions.size()) {
    const uint8_t code = static_cast<uint8_t>(actions[at++]);
    if (code == action::kEnd) return false;
    if (code == action::kStop) return true;
    if (code < action::kFirstWithLength) continue;
    if (actions.size() - at < 2) return false;
    const size_t length = Le16(actions, at);
    at += 2;
    if (actions.size() - at < length) return false;
    size_t skip = 0;
    if ((code == action::kDefineFunction || code == action::kDefineFunction2) && length >= 2) {
      skip = Le16(actions, at + length - 2);  // the body's size ends the record
    }
    at += length;
    if (actions.size() - at < skip) return false;
    at += skip;
  }
  return false;
}

bool WalkTags(SwfMovie& movie) {
  const std::string_view b = movie.bytes;
  size_t at = movie.firstTag;
  size_t frame = 0;
  auto markStop = [&movie](size_t f) {
    if (movie.stopFrames.size() <= f) movie.stopFrames.resize(f + 1, false);
    movie.stopFrames[f] = true;
  };
  while (at < b.size()) {
    std::optional<Tag> tag = ReadTag(b, at);
    if (!tag) return false;
    at = tag->body + tag->length;
    const std::string_view body = b.substr(tag->body, tag->length);
    switch (tag->code) {
      case kTagEnd:
        at = b.size();
        break;
      case kTagShowFrame:
        movie.frameEnds.push_back(at);
        ++frame;
        break;
      case kTagDoAction:
        if (ActionsStop(body)) markStop(frame);
        break;
      case kTagFileAttributes:
        if (!body.empty() && (static_cast<uint8_t>(body[0]) & 0x08)) movie.actionScript3 = true;
        break;
      case kTagDoAbcOld:
      case kTagDoAbc:
        movie.actionScript3 = true;
        break;
      default:
        break;
    }
  }
  const size_t frames = std::max<size_t>(movie.frameCount, movie.frameEnds.size());
  if (movie.stopFrames.size() < frames) movie.stopFrames.resize(frames, false);
  return true;
}

}  // namespace

std::optional<SwfMovie> ReadSwfMovie(std::string_view file) {
  if (file.size() < kHeaderSize) return {};
  const std::string_view signature = file.substr(0, 3);
  if (signature != "FWS" && signature != "CWS" && signature != "ZWS") return {};
  const size_t declared = Le32(file, 4);
  if (declared < kHeaderSize) return {};

  SwfMovie movie;
  movie.version = static_cast<uint8_t>(file[3]);
  if (signature == "FWS") {
    if (declared > file.size()) return {};
    movie.bytes.assign(file.substr(0, declared));
  } else {
    if (declared > kSwfInflateLimit) return {};
    movie.bytes.assign(file.substr(0, kHeaderSize));
    const bool read = signature == "CWS" ? Inflate(file.substr(kHeaderSize), declared, movie.bytes)
                                         : DecodeLzma(file, declared, movie.bytes);
    if (!read) return {};
  }
  movie.bytes.replace(0, 3, "FWS");

  const std::optional<size_t> afterRect = SkipRect(movie.bytes, kHeaderSize);
  if (!afterRect || movie.bytes.size() - *afterRect < 4) return {};
  const uint16_t rate = Le16(movie.bytes, *afterRect);
  movie.frameRate = (rate >> 8) + (rate & 0xFF) / 256.0;
  movie.frameCount = Le16(movie.bytes, *afterRect + 2);
  movie.firstTag = *afterRect + 4;
  if (!WalkTags(movie)) return {};
  return movie;
}

}  // namespace zorva
