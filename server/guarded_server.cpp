#include "server/guarded_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <system_error>
#include <thread>

#include "server/request_log.h"

namespace zorva::server {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Room for the framing of a chunked body beyond the payload limit.
constexpr size_t kChunkFramingSlack = 8 * 1024;
constexpr size_t kReceiveSize = 16 * 1024;
constexpr int kBacklog = 512;

int MillisecondsUntil(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
  return static_cast<int>(std::clamp<long long>(left, 0, 60 * 60 * 1000));
}

// True when fd is ready for events before the time-out; EINTR does not end
// the wait early.
bool WaitFor(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    pollfd p{fd, events, 0};
    const int n = ::poll(&p, 1, MillisecondsUntil(deadline));
    if (n > 0) return true;
    if (n == 0 || errno != EINTR) return false;
  }
}

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

void AddressOf(int fd, bool peer, std::string& ip, int& port) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  const int rc = peer ? ::getpeername(fd, reinterpret_cast<sockaddr*>(&address), &length)
                      : ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ip.clear();
  port = 0;
  if (rc != 0) return;
  char text[INET6_ADDRSTRLEN] = {};
  if (address.ss_family == AF_INET) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(&address);
    ::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
    port = ntohs(in->sin_port);
  } else if (address.ss_family == AF_INET6) {
    const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&address);
    ::inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text);
    port = ntohs(in6->sin6_port);
  }
  ip = text;
}

// The connection as httplib reads and writes one request: first the bytes
// already received, then the socket, within the body's deadline and limit.
// Writing waits only for room to write, so a client that shut down its
// sending side still gets the reply.
class ConnectionStream : public httplib::Stream {
 public:
  ConnectionStream(int fd, std::string received, const ConnectionLimits& limits,
                   size_t payloadLimit)
      : m_fd(fd),
        m_data(std::move(received)),
        m_limits(limits),
        m_bodyDeadline(Clock::now() + limits.bodyDeadline),
        m_rawLimit(payloadLimit + kChunkFramingSlack) {}

  bool is_readable() const override {
    return m_pos < m_data.size() || WaitFor(m_fd, POLLIN, ReadDeadline());
  }
  bool is_writable() const override {
    return WaitFor(m_fd, POLLOUT, Clock::now() + m_limits.ioTimeout);
  }

  ssize_t read(char* ptr, size_t size) override {
    if (m_pos == m_data.size()) {
      m_data.clear();
      m_pos = 0;
      // Past the limit the body is refused as it arrives, chunked or not.
      if (m_received >= m_rawLimit) return -1;
      if (!WaitFor(m_fd, POLLIN, ReadDeadline())) return -1;
      char buffer[kReceiveSize];
      const size_t want = std::min(sizeof buffer, m_rawLimit - m_received);
      ssize_t n;
      do {
        n = ::recv(m_fd, buffer, want, 0);
      } while (n < 0 && errno == EINTR);
      if (n <= 0) return n;
      m_received += static_cast<size_t>(n);
      m_data.assign(buffer, static_cast<size_t>(n));
    }
    const size_t n = std::min(size, m_data.size() - m_pos);
    std::memcpy(ptr, m_data.data() + m_pos, n);
    m_pos += n;
    return static_cast<ssize_t>(n);
  }

  ssize_t write(const char* ptr, size_t size) override {
    if (!is_writable()) return -1;
    ssize_t n;
    do {
      n = ::send(m_fd, ptr, size, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    return n;
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    AddressOf(m_fd, true, ip, port);
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    AddressOf(m_fd, false, ip, port);
  }
  socket_t socket() const override { return m_fd; }

  // What was received beyond the request: the start of the next one.
  std::string TakeRest() { return m_data.substr(m_pos); }

 private:
  Clock::time_point ReadDeadline() const {
    return std::min(m_bodyDeadline, Clock::now() + m_limits.ioTimeout);
  }

  int m_fd;
  std::string m_data;
  size_t m_pos = 0;
  const ConnectionLimits& m_limits;
  Clock::time_point m_bodyDeadline;
  size_t m_rawLimit;
  size_t m_received = 0;
};

enum class Head { Complete, Closed, TimedOut, TooLarge };

// Reads until buffer holds a whole request head (request line and headers,
// up to the empty line), within the head's deadline and size limit.
// firstRequest: a kept-alive connection first waits for its next request.
Head ReadHead(int fd, std::string& buffer, const ConnectionLimits& limits, bool firstRequest) {
  Clock::time_point deadline = Clock::now() + limits.headDeadline;
  if (buffer.empty() && !firstRequest) {
    if (!WaitFor(fd, POLLIN, Clock::now() + limits.keepAliveIdle)) return Head::Closed;
    deadline = Clock::now() + limits.headDeadline;
  }
  size_t searched = 0;
  for (;;) {
    const size_t end = buffer.find("\r\n\r\n", searched);
    if (end != std::string::npos && end + 4 <= limits.maxHeadBytes) return Head::Complete;
    if (buffer.size() > limits.maxHeadBytes) return Head::TooLarge;
    searched = buffer.size() >= 3 ? buffer.size() - 3 : 0;
    if (!WaitFor(fd, POLLIN, deadline)) return Head::TimedOut;
    char chunk[kReceiveSize];
    const size_t want = std::min(sizeof chunk, limits.maxHeadBytes + 1 - buffer.size());
    const ssize_t n = ::recv(fd, chunk, want, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return Head::Closed;
    buffer.append(chunk, static_cast<size_t>(n));
  }
}

// Whether the head announces how long its body is, as a request that sends
// one must: without either header the body would be read until the client
// closes.
bool BodyLengthKnown(const std::string& head) {
  const std::string lower = AsciiLower(head.substr(0, head.find("\r\n\r\n") + 2));
  const std::string method = lower.substr(0, lower.find(' '));
  if (method != "post" && method != "put" && method != "patch") return true;
  return lower.find("\r\ncontent-length:") != std::string::npos ||
         lower.find("\r\ntransfer-encoding:") != std::string::npos;
}

}  // namespace

GuardedServer::GuardedServer(ConnectionLimits limits) : m_limits(limits) {}

GuardedServer::~GuardedServer() { Shutdown(); }

bool GuardedServer::Run() {
  const int listener = svr_sock_;
  if (listener == INVALID_SOCKET) return false;
  // httplib listens with a backlog of 5; a burst of clients needs more.
  ::listen(listener, kBacklog);
  while (!m_stopping) {
    if (!WaitFor(listener, POLLIN, Clock::now() + milliseconds(100))) continue;
    const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    {
      std::lock_guard lock(m_mutex);
      if (m_stopping || m_connections.size() >= m_limits.maxConnections) {
        ::close(fd);
        continue;
      }
      m_connections.insert(fd);
    }
    try {
      std::thread(&GuardedServer::Serve, this, fd).detach();
    } catch (const std::system_error&) {
      std::lock_guard lock(m_mutex);
      m_connections.erase(fd);
      ::close(fd);
      m_idle.notify_all();
    }
  }
  return true;
}

void GuardedServer::Shutdown() {
  m_stopping = true;
  const int listener = svr_sock_.exchange(INVALID_SOCKET);
  if (listener != INVALID_SOCKET) {
    ::shutdown(listener, SHUT_RDWR);
    ::close(listener);
  }
  std::unique_lock lock(m_mutex);
  for (int fd : m_connections) ::shutdown(fd, SHUT_RDWR);
  m_idle.wait(lock, [this] { return m_connections.empty(); });
}

void GuardedServer::Serve(int fd) {
  std::string buffer;
  for (int left = m_limits.maxRequestsPerConnection; left > 0 && !m_stopping; --left) {
    const bool first = left == m_limits.maxRequestsPerConnection;
    const Head head = ReadHead(fd, buffer, m_limits, first);
    if (head == Head::TooLarge) {
      Refuse(fd, buffer, 431, "Request Header Fields Too Large");
      break;
    }
    if (head == Head::TimedOut) {
      if (!buffer.empty()) Refuse(fd, buffer, 408, "Request Timeout");
      break;
    }
    if (head == Head::Closed) break;
    if (!BodyLengthKnown(buffer)) {
      Refuse(fd, buffer, 411, "Length Required");
      break;
    }
    ConnectionStream stream(fd, std::move(buffer), m_limits, payload_max_length_);
    bool closed = false;
    const bool ok = process_request(stream, left == 1, closed, {});
    buffer = stream.TakeRest();
    if (!ok || closed) break;
  }
  std::lock_guard lock(m_mutex);
  ::shutdown(fd, SHUT_RDWR);
  ::close(fd);
  m_connections.erase(fd);
  m_idle.notify_all();
}

// Answers a request this server will not read with an error status, logs
// it, and lets the client read the answer before the connection goes.
bool GuardedServer::Refuse(int fd, const std::string& head, int status, const char* reason) {
  const std::string body = "<error>" + AsciiLower(reason) + "</error>";
  const std::string reply =
      "HTTP/1.1 " + std::to_string(status) + " " + reason +
      "\r\nContent-Type: text/xml\r\nContent-Length: " + std::to_string(body.size()) +
      "\r\nConnection: close\r\n\r\n" + body;
  // The request line, when it arrived whole, names what was refused.
  const std::string_view line = std::string_view(head).substr(0, head.find("\r\n"));
  const bool whole = head.find("\r\n") != std::string::npos;
  const size_t space1 = line.find(' ');
  const size_t space2 = space1 == line.npos ? line.npos : line.find(' ', space1 + 1);
  if (whole && space2 != line.npos) {
    LogRequest(line.substr(0, space1), line.substr(space1 + 1, space2 - space1 - 1), status);
  } else {
    LogRequest("", "", status);
  }
  std::string_view rest = reply;
  const Clock::time_point deadline = Clock::now() + m_limits.ioTimeout;
  while (!rest.empty() && WaitFor(fd, POLLOUT, deadline)) {
    const ssize_t n = ::send(fd, rest.data(), rest.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    rest.remove_prefix(static_cast<size_t>(n));
  }
  // Closing with unread bytes would reset the connection and could destroy
  // the answer before the client reads it: read a little of what follows.
  ::shutdown(fd, SHUT_WR);
  const Clock::time_point drain = Clock::now() + milliseconds(1000);
  char sink[kReceiveSize];
  for (size_t drained = 0; drained < 1024 * 1024 && WaitFor(fd, POLLIN, drain);) {
    const ssize_t n = ::recv(fd, sink, sizeof sink, 0);
    if (n <= 0) break;
    drained += static_cast<size_t>(n);
  }
  return rest.empty();
}

}  // namespace zorva::server
