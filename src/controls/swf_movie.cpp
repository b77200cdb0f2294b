#include "controls/swf_movie.h"

#include <lzma.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace zorva {

namespace {

constexpr size_t kHeaderSize = 8;  // signature, version, length

constexpr uint16_t kTagEnd = 0;
constexpr uint16_t kTagShowFrame = 1;
constexpr uint16_t kTagDoAction = 12;
constexpr uint16_t kTagFileAttributes = 69;
constexpr uint16_t kTagDoAbcOld = 72;
constexpr uint16_t kTagDoAbc = 82;

constexpr uint8_t kActionStop = 0x07;
constexpr uint8_t kActionDefineFunction = 0x9B;
constexpr uint8_t kActionDefineFunction2 = 0x8E;

uint16_t Le16(std::string_view b, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8);
}

uint32_t Le32(std::string_view b, size_t at) {
  return static_cast<uint32_t>(Le16(b, at)) | static_cast<uint32_t>(Le16(b, at + 2)) << 16;
}

void PutLe16(std::string& out, uint16_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>(v >> 8));
}

void PutLe32(std::string& out, uint32_t v) {
  PutLe16(out, static_cast<uint16_t>(v & 0xFFFF));
  PutLe16(out, static_cast<uint16_t>(v >> 16));
}

void SetLe32(std::string& out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

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
    if (code == 0) return false;
    if (code == kActionStop) return true;
    if (code < 0x80) continue;
    if (actions.size() - at < 2) return false;
    const size_t length = Le16(actions, at);
    at += 2;
    if (actions.size() - at < length) return false;
    size_t skip = 0;
    if ((code == kActionDefineFunction || code == kActionDefineFunction2) && length >= 2) {
      skip = Le16(actions, at + length - 2);  // the body's size ends the record
    }
    at += length;
    if (actions.size() - at < skip) return false;
    at += skip;
  }
  return false;
}

struct Tag {
  uint16_t code;
  size_t start;  // offset of the tag header
  size_t body;   // offset of the tag body
  size_t length;
};

// The tag at `at`, or nothing when its header or body runs past the end.
std::optional<Tag> ReadTag(std::string_view b, size_t at) {
  if (b.size() - at < 2) return {};
  const uint16_t head = Le16(b, at);
  Tag tag{static_cast<uint16_t>(head >> 6), at, at + 2, static_cast<size_t>(head & 0x3F)};
  if (tag.length == 0x3F) {
    if (b.size() - tag.body < 4) return {};
    tag.length = Le32(b, tag.body);
    tag.body += 4;
  }
  if (b.size() - tag.body < tag.length) return {};
  return tag;
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

// ------------------------------------------------------------ actions

// Writes AVM1 action records.
class Actions {
 public:
  Actions& PushString(std::string_view s) {
    std::string data(1, '\0');  // type 0: string
    data.append(s);
    data.push_back('\0');
    return Record(0x96, data);
  }
  Actions& PushInt(uint32_t v) {
    std::string data(1, '\x07');  // type 7: integer
    PutLe32(data, v);
    return Record(0x96, data);
  }
  Actions& PushNull() { return Record(0x96, std::string(1, '\x02')); }
  Actions& Op(uint8_t code) {
    m_out.push_back(static_cast<char>(code));
    return *this;
  }
  // The value of a variable ("this", "_root", a global), and of a member
  // of the value on the stack.
  Actions& Get(std::string_view variable) { return PushString(variable).Op(0x1C); }
  Actions& Member(std::string_view name) { return PushString(name).Op(0x4E); }
  // An anonymous function without parameters, left on the stack.
  Actions& Function(const Actions& body) {
    std::string data(1, '\0');  // no name
    PutLe16(data, 0);           // no parameters
    PutLe16(data, static_cast<uint16_t>(body.m_out.size()));
    Record(kActionDefineFunction, data);
    m_out += body.m_out;
    return *this;
  }
  // getURL2 with its one flag byte: "FSCommand:" URLs go to the host.
  Actions& GetUrl2() { return Record(0x9A, std::string(1, '\0')); }
  Actions& Append(const Actions& other) {
    m_out += other.m_out;
    return *this;
  }
  // Skips the next `bytes` bytes when the value on the stack is true.
  Actions& IfSkip(uint16_t bytes) {
    std::string data;
    PutLe16(data, bytes);
    return Record(0x9D, data);
  }
  const std::string& Bytes() const { return m_out; }

 private:
  Actions& Record(uint8_t code, std::string_view data) {
    m_out.push_back(static_cast<char>(code));
    PutLe16(m_out, static_cast<uint16_t>(data.size()));
    m_out.append(data);
    return *this;
  }
  std::string m_out;
};

constexpr uint8_t kSetMember = 0x4F;
constexpr uint8_t kCallMethod = 0x52;
constexpr uint8_t kPop = 0x17;
constexpr uint8_t kAdd2 = 0x47;
constexpr uint8_t kEquals2 = 0x49;
constexpr uint8_t kNot = 0x12;

constexpr char kProbeClip[] = "zorva_probe";
constexpr uint32_t kProbeDepth = 1048575;  // the highest depth a script may use

// The enter-frame handler: this.zf = frame; this.zs = "token,frame,total,moved";
// this.zl = frame; when zs differs from the last sent zp, send it.
Actions ProbeHandler(std::string_view token) {
  Actions send;
  send.Get("this").PushString("zp").Get("this").Member("zs").Op(kSetMember);
  send.PushString(std::string("FSCommand:") + kProbeCommand).Get("this").Member("zs").GetUrl2();
  Actions h;
  h.Get("this").PushString("zf").Get("_root").Member("_currentframe").Op(kSetMember);
  h.Get("this").PushString("zs");
  h.PushString(std::string(token) + ",")
      .Get("this")
      .Member("zf")
      .Op(kAdd2)
      .PushString(",")
      .Op(kAdd2);
  h.Get("_root").Member("_totalframes").Op(kAdd2).PushString(",").Op(kAdd2);
  h.Get("this").Member("zf").Get("this").Member("zl").Op(kEquals2).Op(kNot).Op(kAdd2);
  h.Op(kSetMember);
  h.Get("this").PushString("zl").Get("this").Member("zf").Op(kSetMember);
  h.Get("this").Member("zs").Get("this").Member("zp").Op(kEquals2);
  h.IfSkip(static_cast<uint16_t>(send.Bytes().size())).Append(send);
  return h;
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

std::string InsertFrameActions(const SwfMovie& movie, std::string_view actions) {
  const std::string_view b = movie.bytes;
  size_t at = movie.firstTag;
  if (std::optional<Tag> first = ReadTag(b, at); first && first->code == kTagFileAttributes) {
    at = first->body + first->length;
  }
  std::string tag;
  const size_t length = actions.size() + 1;  // the list ends with a 0 byte
  PutLe16(tag, static_cast<uint16_t>(kTagDoAction << 6 | 0x3F));
  PutLe32(tag, static_cast<uint32_t>(length));
  tag.append(actions);
  tag.push_back('\0');
  std::string out;
  out.reserve(b.size() + tag.size());
  out.append(b.substr(0, at));
  out.append(tag);
  out.append(b.substr(at));
  SetLe32(out, 4, static_cast<uint32_t>(out.size()));
  return out;
}

bool CanTakeProbe(const SwfMovie& movie) { return movie.version >= 6 && !movie.actionScript3; }

std::string ProbeActions(int version, std::string_view token) {
  Actions a;
  // _root.createEmptyMovieClip(kProbeClip, kProbeDepth)
  a.PushInt(kProbeDepth).PushString(kProbeClip).PushInt(2).Get("_root");
  a.PushString("createEmptyMovieClip").Op(kCallMethod).Op(kPop);
  // _root[kProbeClip].onEnterFrame = function () { ... }
  a.Get("_root").Member(kProbeClip).PushString("onEnterFrame").Function(ProbeHandler(token));
  a.Op(kSetMember);
  if (version >= 8) {
    // flash.external.ExternalInterface.addCallback(name, null, function () { _root.play(); })
    for (const auto& [name, method] :
         {std::pair{kProbePlayCallback, "play"}, std::pair{kProbeStopCallback, "stop"}}) {
      Actions body;
      body.PushInt(0).Get("_root").PushString(method).Op(kCallMethod).Op(kPop);
      a.Function(body).PushNull().PushString(name).PushInt(3);
      a.Get("flash").Member("external").Member("ExternalInterface");
      a.PushString("addCallback").Op(kCallMethod).Op(kPop);
    }
  }
  return a.Bytes();
}

}  // namespace zorva
