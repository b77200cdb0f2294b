// zorva-server under slow clients: SLOW connections that send their request
// one byte a second, while a normal client asks for the probe four times a
// second. Prints how fast the normal client is answered, and when the slow
// connections are ended by the server. A figure, not a test: it asserts
// nothing.
//
// Usage: bench_slow_clients [ZORVA_SERVER [SLOW [SECONDS]]]
//        (default: the built zorva-server, 200 connections, 15 seconds)

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Starts "zorva-server serve --listen 127.0.0.1:0" with a database of its
// own; returns its port (0 on failure) and its pid.
int StartServer(const char* exe, const std::string& db, pid_t* pid) {
  int out[2];
  if (pipe(out) != 0) return 0;
  *pid = fork();
  if (*pid == 0) {
    dup2(out[1], 1);
    close(out[0]);
    // One log line per request would drown the figures.
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, 2);
    execl(exe, exe, "serve", "--listen", "127.0.0.1:0", "--db", db.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  std::string text;
  char buffer[256];
  ssize_t n;
  while (text.find('\n') == std::string::npos && (n = read(out[0], buffer, sizeof buffer)) > 0) {
    text.append(buffer, static_cast<size_t>(n));
  }
  close(out[0]);
  const size_t colon = text.rfind(':', text.find('\n'));
  return colon == std::string::npos ? 0 : std::atoi(text.c_str() + colon + 1);
}

int Connect(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// One normal request; its time in ms, or a negative number when no
// answer came within 5 s.
double NormalRequest(int port) {
  const Clock::time_point start = Clock::now();
  const int fd = Connect(port);
  if (fd < 0) return -1;
  const std::string request =
      "GET /testinternet.txt HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
  send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  std::string reply;
  char buffer[1024];
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    const int left = 5000 - static_cast<int>(MsSince(start));
    if (left <= 0 || poll(&p, 1, left) <= 0) break;
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    reply.append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  const bool ok = reply.compare(0, 12, "HTTP/1.1 200") == 0 &&
                  reply.find("your internet is ok!") != std::string::npos;
  return ok ? MsSince(start) : -1;
}

double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1, static_cast<size_t>(p * (values.size() - 1) + 0.5))];
}

}  // namespace

int main(int argc, char** argv) {
  const char* exe = argc > 1 ? argv[1] : ZORVA_SERVER_EXE;
  const int slowCount = argc > 2 ? std::atoi(argv[2]) : 200;
  const int seconds = argc > 3 ? std::atoi(argv[3]) : 15;
  signal(SIGPIPE, SIG_IGN);

  char dir[] = "/tmp/zorva-bench-slow-XXXXXX";
  if (!mkdtemp(dir)) return 1;
  pid_t server = -1;
  const int port = StartServer(exe, std::string(dir) + "/bench.db", &server);
  if (port == 0) {
    std::fprintf(stderr, "bench_slow_clients: %s did not start\n", exe);
    return 1;
  }

  const std::string slowRequest =
      "GET /testinternet.txt HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: slow\r\n\r\n";
  struct Slow {
    int fd;
    size_t sent = 0;
    double closedAtMs = -1;
  };
  std::vector<Slow> slow;
  for (int i = 0; i < slowCount; ++i) {
    const int fd = Connect(port);
    if (fd >= 0) slow.push_back({fd});
  }

  const Clock::time_point start = Clock::now();
  const auto running = [&] { return MsSince(start) < seconds * 1000.0; };
  // The slow clients drip on a thread of their own, whatever the normal
  // client waits for.
  std::thread dripper([&] {
    for (Clock::time_point next = start; running(); next += std::chrono::seconds(1)) {
      std::this_thread::sleep_until(next);
      for (Slow& s : slow) {
        if (s.closedAtMs >= 0) continue;
        // A closed connection shows as readable with nothing (or a
        // refusal) to read, or as a failed send.
        pollfd p{s.fd, POLLIN, 0};
        char sink[512];
        bool closed = poll(&p, 1, 0) > 0 && recv(s.fd, sink, sizeof sink, MSG_DONTWAIT) <= 0;
        if (!closed && s.sent < slowRequest.size()) {
          closed = send(s.fd, slowRequest.data() + s.sent, 1, MSG_NOSIGNAL | MSG_DONTWAIT) != 1;
          if (!closed) ++s.sent;
        }
        if (closed) s.closedAtMs = MsSince(start);
      }
    }
  });
  std::vector<double> answered;
  int unanswered = 0;
  while (running()) {
    const double ms = NormalRequest(port);
    if (ms >= 0)
      answered.push_back(ms);
    else
      ++unanswered;
    usleep(250 * 1000);
  }
  dripper.join();

  int stillOpen = 0;
  double lastClosed = 0;
  for (const Slow& s : slow) {
    if (s.closedAtMs < 0)
      ++stillOpen;
    else
      lastClosed = std::max(lastClosed, s.closedAtMs);
    close(s.fd);
  }
  kill(server, SIGTERM);
  waitpid(server, nullptr, 0);
  std::string cleanup = std::string("rm -rf ") + dir;
  if (std::system(cleanup.c_str()) != 0) {
  }

  std::printf("slow clients: %zu connections sending one byte a second, for %d s\n", slow.size(),
              seconds);
  std::printf(
      "normal client: %zu answered, %d unanswered within 5 s; median %.1f ms, p95 %.1f ms, "
      "max %.1f ms\n",
      answered.size(), unanswered, Percentile(answered, 0.5), Percentile(answered, 0.95),
      Percentile(answered, 1.0));
  std::printf(
      "slow connections ended by the server: %zu of %zu, the last after %.1f s; %d still "
      "open at the end\n",
      slow.size() - stillOpen, slow.size(), lastClosed / 1000.0, stillOpen);
  return 0;
}
