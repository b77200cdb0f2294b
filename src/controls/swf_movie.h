#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zorva {

// The most bytes an inflated movie may hold. A compressed movie that
// declares or inflates to more is refused, so a small hostile file cannot
// make the player allocate without bound.
inline constexpr size_t kSwfInflateLimit = 256u << 20;

// A movie file read far enough to play its main timeline: the header's
// values, where each frame ends, and which frames stop the movie.
struct SwfMovie {
  int version = 0;
  double frameRate = 0;  // frames per second, as the header gives it
  int frameCount = 0;    // the header's frame count
  bool actionScript3 = false;
  // One entry per frame (at least frameCount of them): true when the
  // frame's own actions call stop() outside any function body.
  std::vector<bool> stopFrames;
  // Offset just past each frame's ShowFrame tag in bytes.
  std::vector<size_t> frameEnds;
  // The whole movie uncompressed, starting with "FWS"; its length field
  // equals its size.
  std::string bytes;
  size_t firstTag = 0;  // offset of the first tag after the header

  // The rate to play at: a header rate below 0.01 frames a second (0
  // included) would hold a frame for minutes or forever, so such movies run
  // at the authoring tools' default of 12.
  double PlayRate() const { return frameRate >= 0.01 ? frameRate : 12.0; }

  bool StopsAt(int frame) const {
    return frame >= 0 && static_cast<size_t>(frame) < stopFrames.size() && stopFrames[frame];
  }
};

// Reads a movie from its file bytes: "FWS" as it is, "CWS" inflated with
// zlib, "ZWS" decoded with liblzma. Nothing for malformed input of any kind:
// a short or unknown header, a broken or truncated compressed stream, a
// declared length beyond the bytes present or above kSwfInflateLimit, a tag
// running past the end. Bytes beyond the declared length are ignored.
std::optional<SwfMovie> ReadSwfMovie(std::string_view file);

}  // namespace zorva
