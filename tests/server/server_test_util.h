#pragma once

#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "core/codec.h"
#include "core/cp936.h"
#include "core/text.h"
#include "support/file_bytes.h"

namespace zorva::test {

// Percent-encodes bytes as the client puts them into a query: RFC 3986
// unreserved characters stay, every other byte becomes %XX.
inline std::string Encode(std::string_view bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '_' || c == '.' || c == '~') {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    }
  }
  return out;
}

// The password as the client sends it: scrambled anew by the real codec.
inline std::string Scramble(const std::string& password) {
  return ScrambleText(Text(password), Text("e")).str();
}

// Code page 936 bytes of a UTF-8 literal.
inline std::string Gbk(const char* utf8) { return FromUtf8(utf8).str(); }

inline std::unique_ptr<httplib::Client> ClientFor(int port) {
  auto client = std::make_unique<httplib::Client>("127.0.0.1", port);
  client->set_connection_timeout(10);
  client->set_read_timeout(60);
  return client;
}

// Sends the request target exactly as given (no client-side cleaning) and
// returns the whole raw response.
inline std::string RawRequest(int port, const std::string& method, const std::string& target) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string response;
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
    std::string request =
        method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    ssize_t sent = send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    if (sent == static_cast<ssize_t>(request.size())) {
      char buffer[4096];
      ssize_t n;
      while ((n = recv(fd, buffer, sizeof buffer, 0)) > 0) response.append(buffer, n);
    }
  }
  close(fd);
  return response;
}

inline std::string RawGet(int port, const std::string& target) {
  return RawRequest(port, "GET", target);
}

// "HTTP/1.1 404 Not Found" -> 404; 0 for no response.
inline int RawStatus(const std::string& response) {
  if (response.compare(0, 9, "HTTP/1.1 ") != 0) return 0;
  return std::atoi(response.c_str() + 9);
}

}  // namespace zorva::test
