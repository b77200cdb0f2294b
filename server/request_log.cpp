#include "server/request_log.h"

#include <httplib.h>

#include <cstdio>
#include <mutex>
#include <string>

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

// The fields the service reads as a password.
bool IsPasswordKey(const std::string& key) { return key == "password" || key == "password2"; }

// The name of a password field in one "&"-separated piece of a query, as
// the service reads it: decoded by the very parser that gives the service
// its parameters, so no spelling of the name ("%u0070assword", "pass%77ord",
// "=password=...") slips past. Empty when the piece is no password field.
std::string PasswordKeyOf(std::string_view pair) {
  httplib::Params params;
  httplib::detail::parse_query_text(std::string(pair), params);
  for (const auto& [key, value] : params) {
    if (IsPasswordKey(key)) return key;
  }
  return {};
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
    const std::string passwordKey = PasswordKeyOf(pair);
    if (!passwordKey.empty()) {
      out += passwordKey + "=***";
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
