// The movie reader must survive any input, bound its memory, and read a
// movie the same whether it arrives plain or compressed; inserting the
// probe must keep the movie readable with the same frames and stops.
//
// Input: a mode byte, then a movie file. Mode bit 0 also packs the file
// (taken as a plain movie) with zlib, bit 1 with LZMA, so the tag walk is
// explored behind both decoders and compared with the plain reading.

#include <lzma.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "controls/swf_actions.h"
#include "controls/swf_movie.h"

namespace {

void Fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

std::string Zlib(std::string_view data) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  std::string out(size, '\0');
  if (compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size()),
                1) != Z_OK) {
    return {};
  }
  out.resize(size);
  return out;
}

// The ZWS body: compressed length, 5 property bytes, the raw stream.
std::string Lzma(std::string_view data) {
  lzma_options_lzma options;
  lzma_lzma_preset(&options, 0);
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
  if (out.size() < 13) return {};
  std::string body;
  const uint32_t length = static_cast<uint32_t>(out.size() - 13);
  for (int i = 0; i < 4; ++i) body.push_back(static_cast<char>(length >> (8 * i)));
  return body + out.substr(0, 5) + out.substr(13);
}

void CheckProbe(const zorva::SwfMovie& movie) {
  const std::string patched =
      zorva::InsertFrameActions(movie, zorva::ProbeActions(movie.version, "7"));
  const std::optional<zorva::SwfMovie> again = zorva::ReadSwfMovie(patched);
  if (!again) Fail("a movie with the probe inserted cannot be read");
  if (again->frameCount != movie.frameCount || again->stopFrames != movie.stopFrames ||
      again->frameEnds.size() != movie.frameEnds.size()) {
    Fail("the probe changed the frames or their stops");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int mode = data[0];
  const std::string_view file(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::optional<zorva::SwfMovie> plain = zorva::ReadSwfMovie(file);
  if (plain) {
    if (plain->bytes.size() > zorva::kSwfInflateLimit) Fail("a movie beyond the inflate limit");
    if (plain->bytes.compare(0, 3, "FWS") != 0) Fail("the read movie is not plain");
    CheckProbe(*plain);
  }
  if ((mode & 3) == 0 || file.size() < 8 || !file.starts_with("FWS")) return 0;
  std::string packed(file.substr(0, 8));
  const std::string_view body = file.substr(8);
  packed[0] = (mode & 1) ? 'C' : 'Z';
  packed += (mode & 1) ? Zlib(body) : Lzma(body);
  const std::optional<zorva::SwfMovie> unpacked = zorva::ReadSwfMovie(packed);
  if (plain.has_value() != unpacked.has_value())
    Fail("plain and packed readings disagree on validity");
  if (plain && (plain->bytes != unpacked->bytes || plain->stopFrames != unpacked->stopFrames)) {
    Fail("plain and packed readings differ");
  }
  return 0;
}
