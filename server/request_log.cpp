#include "server/request_log.h"

#include <cstdio>
#include <mutex>

namespace zorva::server {

namespace {

void AppendPrintable(std::string* out, std::string_view bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  for (unsigned char c : bytes) {
    if (c > 0x20 && c < 0x7F && c != '%') {
      out->push_back(static_cast<char>(c));
    } else {
      out->push_back('%');
      out->push_back(kHex[c >> 4]);
      out->push_back(kHex[c & 15]);
    }
  }
}

// A raw '%' stays as it is: percent-encoded text is already printable.
void AppendEncoded(std::string* out, std::string_view bytes) {
  size_t start = 0;
  for (size_t pos = 0; pos <= bytes.size(); ++pos) {
    if (pos == bytes.size() || bytes[pos] == '%') {
      AppendPrintable(out, bytes.substr(start, pos - start));
      if (pos < bytes.size()) out->push_back('%');
      start = pos + 1;
    }
  }
}

// The key as the server reads it: percent-decoded, so that an encoded
// "password" is masked too.
std::string DecodeKey(std::string_view key) {
  std::string out;
  for (size_t i = 0; i < key.size(); ++i) {
    auto hex = [](char c) -> int {
      if (c >= '0' && c <= '9') return c - '0';
      if (c >= 'a' && c <= 'f') return c - 'a' + 10;
      if (c >= 'A' && c <= 'F') return c - 'A' + 10;
      return -1;
    };
    if (key[i] == '%' && i + 2 < key.size() && hex(key[i + 1]) >= 0 && hex(key[i + 2]) >= 0) {
      out.push_back(static_cast<char>(hex(key[i + 1]) * 16 + hex(key[i + 2])));
      i += 2;
    } else {
      out.push_back(key[i]);
    }
  }
  return out;
}

}  // namespace

std::string LoggableTarget(std::string_view target) {
  std::string out;
  size_t question = target.find('?');
  AppendEncoded(&out, target.substr(0, question));
  if (question == std::string_view::npos) return out;
  out.push_back('?');
  std::string_view query = target.substr(question + 1);
  size_t pos = 0;
  bool first = true;
  while (pos <= query.size()) {
    size_t amp = query.find('&', pos);
    if (amp == std::string_view::npos) amp = query.size();
    std::string_view pair = query.substr(pos, amp - pos);
    if (!first) out.push_back('&');
    first = false;
    size_t equals = pair.find('=');
    std::string_view key = pair.substr(0, equals);
    if (DecodeKey(key) == "password") {
      out += "password=***";
    } else {
      AppendEncoded(&out, pair);
    }
    pos = amp + 1;
  }
  return out;
}

void LogRequest(std::string_view method, std::string_view target, int status) {
  // A request too broken to parse has no method or target: show "-".
  std::string line;
  AppendPrintable(&line, method.empty() ? "-" : method);
  line += ' ';
  line += target.empty() ? "-" : LoggableTarget(target);
  line += ' ';
  line += std::to_string(status);
  line += '\n';
  static std::mutex mutex;
  std::lock_guard lock(mutex);
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

}  // namespace zorva::server
