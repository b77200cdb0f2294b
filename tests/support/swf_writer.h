#pragma once

// Writes small movie files for the player tests: a coloured stage with one
// square that moves right across it frame by frame, optional stop() actions
// on chosen frames, and any of the three file kinds.

#include <lzma.h>
#include <zlib.h>

#include <cmath>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>

namespace zorva::test {

enum class SwfKind { Plain, Zlib, Lzma };

struct SwfSpec {
  int version = 8;
  double frameRate = 12;
  int frames = 6;
  std::set<int> stopFrames;  // zero-based frames whose actions call stop()
  int width = 320;           // stage size in pixels
  int height = 240;
  uint32_t background = 0x3366CC;
  uint32_t square = 0xFFCC00;
  SwfKind kind = SwfKind::Plain;
  bool actionScript3 = false;  // FileAttributes says ActionScript 3
};

class BitWriter {
 public:
  void Put(uint32_t value, int bits) {
    for (int i = bits - 1; i >= 0; --i) {
      m_byte = static_cast<uint8_t>(m_byte << 1 | ((value >> i) & 1));
      if (++m_used == 8) Flush();
    }
  }
  void PutSigned(int32_t value, int bits) {
    Put(static_cast<uint32_t>(value) & ((1u << bits) - 1), bits);
  }
  std::string Bytes() {
    if (m_used > 0) {
      m_byte = static_cast<uint8_t>(m_byte << (8 - m_used));
      Flush();
    }
    return m_out;
  }

 private:
  void Flush() {
    m_out.push_back(static_cast<char>(m_byte));
    m_byte = 0;
    m_used = 0;
  }
  std::string m_out;
  uint8_t m_byte = 0;
  int m_used = 0;
};

inline void PutLe16(std::string& out, uint32_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>((v >> 8) & 0xFF));
}
inline void PutLe32(std::string& out, uint32_t v) {
  PutLe16(out, v & 0xFFFF);
  PutLe16(out, v >> 16);
}

// A tag with the long length form, which every reader must take.
inline std::string SwfTag(int code, std::string_view body) {
  std::string out;
  PutLe16(out, static_cast<uint32_t>(code << 6 | 0x3F));
  PutLe32(out, static_cast<uint32_t>(body.size()));
  out.append(body);
  return out;
}

inline std::string SwfRect(int32_t xMin, int32_t xMax, int32_t yMin, int32_t yMax, int bits = 16) {
  BitWriter w;
  w.Put(static_cast<uint32_t>(bits), 5);
  for (int32_t v : {xMin, xMax, yMin, yMax}) w.PutSigned(v, bits);
  return w.Bytes();
}

inline std::string Rgb(uint32_t rgb) {
  return std::string{static_cast<char>(rgb >> 16), static_cast<char>(rgb >> 8),
                     static_cast<char>(rgb)};
}

// A filled square of side `side` twips with its corner at the origin.
inline std::string SquareShape(uint16_t id, int32_t side, uint32_t rgb) {
  std::string body;
  PutLe16(body, id);
  body += SwfRect(0, side, 0, side);
  body += '\x01';  // one fill style
  body += '\x00';  // solid
  body += Rgb(rgb);
  body += '\x00';  // no line styles
  BitWriter w;
  w.Put(1, 4);  // fill index bits
  w.Put(0, 4);  // line index bits
  // Style change: move to (0, 0), fill style 1 on the left of the edges.
  w.Put(0, 1);
  w.Put(0b00101, 5);  // StateMoveTo and StateFillStyle1
  w.Put(16, 5);
  w.PutSigned(0, 16);
  w.PutSigned(0, 16);
  w.Put(1, 1);
  // Four straight edges, each vertical or horizontal.
  auto edge = [&w](bool vertical, int32_t delta) {
    w.Put(1, 1);   // edge
    w.Put(1, 1);   // straight
    w.Put(15, 4);  // 17 bits per delta
    w.Put(0, 1);   // not general
    w.Put(vertical ? 1 : 0, 1);
    w.PutSigned(delta, 17);
  };
  edge(false, side);
  edge(true, side);
  edge(false, -side);
  edge(true, -side);
  w.Put(0, 6);  // end of shape
  body += w.Bytes();
  return SwfTag(2, body);
}

inline std::string PlaceAt(uint16_t id, bool first, int32_t x, int32_t y) {
  std::string body;
  body += static_cast<char>(first ? 0x06 : 0x05);  // matrix, plus character or move
  PutLe16(body, 1);                                // depth
  if (first) PutLe16(body, id);
  BitWriter w;
  w.Put(0, 1);  // no scale
  w.Put(0, 1);  // no rotation
  w.Put(20, 5);
  w.PutSigned(x, 20);
  w.PutSigned(y, 20);
  body += w.Bytes();
  return SwfTag(26, body);
}

inline std::string CompressZlib(std::string_view data) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &size,
            reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size()), 9);
  out.resize(size);
  return out;
}

// The ".lzma" form of data: 5 property bytes, 8 size bytes, the stream.
inline std::string CompressLzmaAlone(std::string_view data) {
  lzma_options_lzma options;
  lzma_lzma_preset(&options, 6);
  options.dict_size = 1u << 16;
  lzma_stream s = LZMA_STREAM_INIT;
  if (lzma_alone_encoder(&s, &options) != LZMA_OK) return {};
  std::string out(data.size() + data.size() / 2 + 4096, '\0');
  s.next_in = reinterpret_cast<const uint8_t*>(data.data());
  s.avail_in = data.size();
  s.next_out = reinterpret_cast<uint8_t*>(out.data());
  s.avail_out = out.size();
  while (lzma_code(&s, LZMA_FINISH) == LZMA_OK) {
  }
  out.resize(out.size() - s.avail_out);
  lzma_end(&s);
  return out;
}

// The file of an uncompressed movie (starting "FWS") packed as `kind`.
inline std::string PackSwf(const std::string& plain, SwfKind kind) {
  if (kind == SwfKind::Plain) return plain;
  std::string out = plain.substr(0, 8);
  if (kind == SwfKind::Zlib) {
    out[0] = 'C';
    return out + CompressZlib(std::string_view(plain).substr(8));
  }
  out[0] = 'Z';
  const std::string alone = CompressLzmaAlone(std::string_view(plain).substr(8));
  PutLe32(out, static_cast<uint32_t>(alone.size() - 13));
  out += alone.substr(0, 5);
  out += alone.substr(13);
  return out;
}

// A tone of `hz` for `seconds` as uncompressed 16-bit mono sound at
// 11,025 Hz (DefineSound, id `id`), started at once (StartSound): tags for
// the first frame.
inline std::string ToneTags(uint16_t id, int hz, double seconds) {
  constexpr int kRate = 11025;
  const auto samples = static_cast<uint32_t>(seconds * kRate);
  std::string define;
  PutLe16(define, id);
  define += '\x36';  // format 3 (little-endian PCM), 11 kHz, 16 bits, mono
  PutLe32(define, samples);
  for (uint32_t i = 0; i < samples; ++i) {
    const double phase = 2 * 3.14159265358979 * hz * i / kRate;
    PutLe16(define, static_cast<uint16_t>(static_cast<int16_t>(12000 * std::sin(phase))));
  }
  std::string start;
  PutLe16(start, id);
  start += '\x00';  // no envelope, loops or in/out points
  return SwfTag(14, define) + SwfTag(15, start);
}

// The header, stage and timeline of spec as an uncompressed movie.
inline std::string PlainSwf(const SwfSpec& spec, const std::string& firstFrameTags = "") {
  std::string body = SwfRect(0, spec.width * 20, 0, spec.height * 20);
  const int rate = static_cast<int>(spec.frameRate * 256 + 0.5);
  PutLe16(body, static_cast<uint32_t>(rate));
  PutLe16(body, static_cast<uint32_t>(spec.frames));
  if (spec.version >= 8) {
    std::string attributes(4, '\0');
    attributes[0] = static_cast<char>(spec.actionScript3 ? 0x08 : 0x00);
    body += SwfTag(69, attributes);
  }
  body += SwfTag(9, Rgb(spec.background));
  const int32_t side = spec.height * 20 / 3;
  body += SquareShape(1, side, spec.square);
  body += firstFrameTags;
  for (int f = 0; f < spec.frames; ++f) {
    const int32_t travel = spec.width * 20 - side;
    const int32_t x = spec.frames > 1 ? travel * f / (spec.frames - 1) : 0;
    body += PlaceAt(1, f == 0, x, side);
    if (spec.stopFrames.count(f)) body += SwfTag(12, std::string("\x07\x00", 2));
    body += SwfTag(1, "");
  }
  body += SwfTag(0, "");
  std::string file = "FWS";
  file += static_cast<char>(spec.version);
  PutLe32(file, static_cast<uint32_t>(8 + body.size()));
  return file + body;
}

inline std::string MakeSwf(const SwfSpec& spec) { return PackSwf(PlainSwf(spec), spec.kind); }

}  // namespace zorva::test
