#include "core/codec.h"

#include <array>
#include <cstdint>
#include <string_view>

#include "core/pump.h"
#include "core/toolkit.h"

namespace zorva {

namespace {

// The 36 symbols in table order: a-z, then 0-9.
constexpr std::string_view kAlphabet = "abcdefghijklmnopqrstuvwxyz0123456789";

// Table k gives the j-th symbol the code j + k + 1, held as "~", symbol, "_",
// two code digits for every symbol (180 bytes). Both directions search these
// texts, so a piece that is not a whole code is still looked up the way the
// server does it.
const std::array<Text, 10>& Tables() {
  static const std::array<Text, 10> tables = [] {
    std::array<Text, 10> built;
    for (int k = 0; k < 10; ++k) {
      for (size_t j = 0; j < kAlphabet.size(); ++j) {
        built[k] += Text::Format("~%c_%.2d", kAlphabet[j], static_cast<int>(j) + k + 1);
      }
    }
    return built;
  }();
  return tables;
}

// The generator only has to spread the table choice: the decoder reads the
// table digit from every group. A linear congruential generator of the
// familiar 0..32767 kind, reseeded from the tick count before every draw.
uint32_t g_randomState = 1;

void SeedRandom(uint32_t seed) { g_randomState = seed; }

int DrawRandom() {
  g_randomState = g_randomState * 214013u + 2531011u;
  return static_cast<int>((g_randomState >> 16) & 0x7fff);
}

// The last digit of the decimal form of a fresh number drawn after seeding
// from the tick count, and that decimal form.
Text FreshRandom() {
  SeedRandom(TickCount());
  return IntToText(DrawRandom());
}

Text Encode(const Text& lower) {
  const Text digit = FreshRandom().Right(1);
  const Text& table = Tables()[digit[0] - '0'];
  Text out = digit;
  for (int i = 0; i < lower.GetLength(); ++i) {
    const char probe[2] = {'~', static_cast<char>(lower[i])};
    const int p = table.Find(std::string_view(probe, 2));
    out += p < 0 ? Text("??") : table.Mid(p + 3, 2);
  }
  return out;
}

Text Decode(const Text& lower) {
  // TextToInt of one byte: a digit gives its value, anything else 0, so the
  // table index is always in range.
  const Text& table = Tables()[TextToInt(lower.Left(1))];
  Text out;
  const Text codes = lower.Mid(1);
  for (int i = 0; i < codes.GetLength(); i += 2) {
    const Text piece = codes.Mid(i, 2);
    const int p = table.Find(("_" + piece).view());
    out += p < 0 ? Text("?") : table.Mid(p - 1, 1);
  }
  return out;
}

}  // namespace

Text ScrambleChars(const Text& text, const Text& mode) {
  const Text lower = text.Lower();
  return mode == "e" ? Encode(lower) : Decode(lower);
}

Text ScrambleText(const Text& text, const Text& mode) {
  if (mode == "e") {
    // One pumping operation for the whole text: a quit request taken by one
    // of the waits is posted again only when the encoding is done.
    PumpingScope scope;
    Text body;
    for (int i = 0; i < text.GetLength(); ++i) {
      // The wait moves the tick count on, and with it the table choice.
      WaitPumping(10);
      body += ScrambleChars(text.Mid(i, 1), "e");
    }
    const Text plain = Text::Format("%.3d", body.GetLength());
    Text trailer;
    for (int i = 0; i < 3; ++i) {
      WaitPumping(10);
      trailer += ScrambleChars(plain.Mid(i, 1), "e");
    }
    const Text random = FreshRandom();
    return random.Right(1) + body + random + plain + trailer;
  }

  // The last nine bytes carry the body length as three groups. Foreign
  // input gives a count of 0 to 999 and short or missing groups decode to
  // nothing, so nothing here can reach outside the text.
  const Text tail = text.Right(9);
  Text length;
  for (int i = 0; i < 9; i += 3) length += ScrambleChars(tail.Mid(i, 3), Text());
  const int count = TextToInt(length);
  const Text body = text.Mid(1, count);
  Text out;
  for (int pos = 0; pos < count && pos < body.GetLength(); pos += 3) {
    out += ScrambleChars(body.Mid(pos, 3), Text());
  }
  return out;
}

}  // namespace zorva
