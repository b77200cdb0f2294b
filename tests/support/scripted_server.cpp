#include "support/scripted_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <stdexcept>

namespace zorva::test {

namespace {

constexpr int kPollMs = 50;
constexpr size_t kMaxHead = 64 * 1024;

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

// Sends all of data unless the server stops or the peer goes away.
bool SendAll(int fd, std::string_view data, const std::atomic<bool>& stop) {
  while (!data.empty()) {
    if (stop) return false;
    pollfd p{fd, POLLOUT, 0};
    if (::poll(&p, 1, kPollMs) <= 0) continue;
    const ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return false;
    }
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// Waits until the server stops or the peer closes its side.
void WaitForPeerOrStop(int fd, const std::atomic<bool>& stop) {
  char buffer[4096];
  while (!stop) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, kPollMs) <= 0) continue;
    if (::recv(fd, buffer, sizeof buffer, 0) <= 0) return;
  }
}

void SleepUnlessStopped(std::chrono::milliseconds total, const std::atomic<bool>& stop) {
  const auto end = std::chrono::steady_clock::now() + total;
  while (!stop && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace

std::string ReceivedRequest::Header(std::string_view name) const {
  const std::string wanted = Lower(name);
  std::string_view rest = head;
  while (!rest.empty()) {
    const size_t end = rest.find("\r\n");
    const std::string_view line = rest.substr(0, end);
    const size_t colon = line.find(':');
    if (colon != std::string_view::npos && Lower(line.substr(0, colon)) == wanted) {
      return std::string(Trim(line.substr(colon + 1)));
    }
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 2);
  }
  return {};
}

ScriptedReply ScriptedReply::Ok(std::string body, bool contentLength) {
  ScriptedReply reply;
  reply.head = "HTTP/1.1 200 OK\r\nConnection: close";
  if (contentLength) reply.head += "\r\nContent-Length: " + std::to_string(body.size());
  reply.body = std::move(body);
  return reply;
}

ScriptedReply ScriptedReply::Status(int code, std::string_view reason,
                                    std::string_view extraHeaders) {
  ScriptedReply reply;
  reply.head = "HTTP/1.1 " + std::to_string(code) + " " + std::string(reason) +
               "\r\nConnection: close\r\nContent-Length: 0";
  if (!extraHeaders.empty()) reply.head += "\r\n" + std::string(extraHeaders);
  return reply;
}

ScriptedServer::ScriptedServer() {
  m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (m_listenFd < 0) throw std::runtime_error("scripted server: socket failed");
  const int on = 1;
  ::setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  socklen_t length = sizeof addr;
  if (::bind(m_listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(m_listenFd, 64) != 0 ||
      ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&addr), &length) != 0) {
    ::close(m_listenFd);
    throw std::runtime_error("scripted server: cannot listen on 127.0.0.1");
  }
  m_port = ntohs(addr.sin_port);
  m_acceptor = std::thread(&ScriptedServer::AcceptLoop, this);
}

ScriptedServer::~ScriptedServer() {
  m_stop = true;
  m_acceptor.join();
  std::vector<std::thread> workers;
  {
    std::lock_guard lock(m_mutex);
    workers.swap(m_workers);
  }
  for (std::thread& t : workers) t.join();
  ::close(m_listenFd);
}

std::string ScriptedServer::Base() const { return "http://127.0.0.1:" + std::to_string(m_port); }

void ScriptedServer::On(const std::string& path, ScriptedReply reply) {
  std::lock_guard lock(m_mutex);
  m_replies[path] = std::move(reply);
}

std::vector<ReceivedRequest> ScriptedServer::Requests() const {
  std::lock_guard lock(m_mutex);
  return m_requests;
}

void ScriptedServer::AcceptLoop() {
  while (!m_stop) {
    pollfd p{m_listenFd, POLLIN, 0};
    if (::poll(&p, 1, kPollMs) <= 0) continue;
    const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    ++m_connections;
    std::lock_guard lock(m_mutex);
    m_workers.emplace_back(&ScriptedServer::Serve, this, fd);
  }
}

void ScriptedServer::Serve(int fd) {
  std::string head;
  char buffer[4096];
  while (!m_stop && head.find("\r\n\r\n") == std::string::npos && head.size() < kMaxHead) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, kPollMs) <= 0) continue;
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    head.append(buffer, static_cast<size_t>(n));
  }
  const size_t headEnd = head.find("\r\n\r\n");
  if (headEnd == std::string::npos) {
    ::close(fd);
    return;
  }
  head.resize(headEnd);

  ReceivedRequest request;
  request.head = head;
  const std::string_view requestLine = std::string_view(head).substr(0, head.find("\r\n"));
  const size_t space1 = requestLine.find(' ');
  const size_t space2 = requestLine.find(' ', space1 + 1);
  request.method = std::string(requestLine.substr(0, space1));
  if (space1 != std::string_view::npos) {
    request.target = std::string(requestLine.substr(space1 + 1, space2 - space1 - 1));
  }
  const std::string path = request.target.substr(0, request.target.find('?'));

  ScriptedReply reply = ScriptedReply::Status(404, "Not Found");
  {
    std::lock_guard lock(m_mutex);
    m_requests.push_back(request);
    if (auto it = m_replies.find(path); it != m_replies.end()) reply = it->second;
  }

  bool alive = SendAll(fd, reply.head + "\r\n\r\n" + reply.body, m_stop);
  if (reply.end == ReplyEnd::Endless) {
    const std::string chunk = reply.body.empty() ? std::string(4096, 'x') : reply.body;
    while (alive) alive = SendAll(fd, chunk, m_stop);
  }
  if (reply.end == ReplyEnd::Drip) {
    const std::string drops = reply.body.empty() ? std::string("x") : reply.body;
    for (size_t i = 0; alive; ++i) {
      SleepUnlessStopped(std::chrono::milliseconds(500), m_stop);
      alive = !m_stop && SendAll(fd, drops.substr(i % drops.size(), 1), m_stop);
    }
  }
  SleepUnlessStopped(reply.pauseBeforeEnd, m_stop);
  switch (reply.end) {
    case ReplyEnd::Reset: {
      const linger abort{1, 0};
      ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
      break;
    }
    case ReplyEnd::Stall:
      if (alive) WaitForPeerOrStop(fd, m_stop);
      break;
    case ReplyEnd::Close:
      ::shutdown(fd, SHUT_WR);
      WaitForPeerOrStop(fd, m_stop);
      break;
    case ReplyEnd::Endless:
    case ReplyEnd::Drip:
      break;
  }
  ::close(fd);
}

}  // namespace zorva::test
