#pragma once

// The parts of the movie file format that both the reader and the action
// writer use: tag codes, action opcodes, little-endian numbers and the tag
// header. Used only inside the movie library.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zorva::swf {

constexpr size_t kHeaderSize = 8;  // signature, version, length

// A tag header's 6-bit length holding this says a 32-bit length follows.
constexpr uint16_t kTagLongLength = 0x3F;

constexpr uint16_t kTagEnd = 0;
constexpr uint16_t kTagShowFrame = 1;
constexpr uint16_t kTagDoAction = 12;
constexpr uint16_t kTagFileAttributes = 69;
constexpr uint16_t kTagDoAbcOld = 72;
constexpr uint16_t kTagDoAbc = 82;

// Action opcodes (AVM1). Codes from kFirstWithLength up carry a 16-bit
// length and that many bytes of data; codes below it are one byte.
namespace action {
constexpr uint8_t kEnd = 0x00;
constexpr uint8_t kStop = 0x07;
constexpr uint8_t kNot = 0x12;
constexpr uint8_t kPop = 0x17;
constexpr uint8_t kGetVariable = 0x1C;
constexpr uint8_t kAdd2 = 0x47;
constexpr uint8_t kEquals2 = 0x49;
constexpr uint8_t kGetMember = 0x4E;
constexpr uint8_t kSetMember = 0x4F;
constexpr uint8_t kCallMethod = 0x52;
constexpr uint8_t kFirstWithLength = 0x80;
constexpr uint8_t kDefineFunction2 = 0x8E;
constexpr uint8_t kPush = 0x96;
constexpr uint8_t kGetUrl2 = 0x9A;
constexpr uint8_t kDefineFunction = 0x9B;
constexpr uint8_t kIf = 0x9D;
}  // namespace action

// Value types of a Push record.
namespace push {
constexpr char kString = 0;
constexpr char kNull = 2;
constexpr char kInteger = 7;
}  // namespace push

inline uint16_t Le16(std::string_view b, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8);
}

inline uint32_t Le32(std::string_view b, size_t at) {
  return static_cast<uint32_t>(Le16(b, at)) | static_cast<uint32_t>(Le16(b, at + 2)) << 16;
}

inline void PutLe16(std::string& out, uint16_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>(v >> 8));
}

inline void PutLe32(std::string& out, uint32_t v) {
  PutLe16(out, static_cast<uint16_t>(v & 0xFFFF));
  PutLe16(out, static_cast<uint16_t>(v >> 16));
}

struct Tag {
  uint16_t code;
  size_t start;  // offset of the tag header
  size_t body;   // offset of the tag body
  size_t length;
};

// The tag at `at`, or nothing when its header or body runs past the end.
inline std::optional<Tag> ReadTag(std::string_view b, size_t at) {
  if (b.size() - at < 2) return {};
  const uint16_t head = Le16(b, at);
  Tag tag{static_cast<uint16_t>(head >> 6), at, at + 2, static_cast<size_t>(head & kTagLongLength)};
  if (tag.length == kTagLongLength) {
    if (b.size() - tag.body < 4) return {};
    tag.length = Le32(b, tag.body);
    tag.body += 4;
  }
  if (b.size() - tag.body < tag.length) return {};
  return tag;
}

}  // namespace zorva::swf
