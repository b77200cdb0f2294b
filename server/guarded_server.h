#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <string>

namespace zorva::server {

// Limits every connection of the service is held to.
struct ConnectionLimits {
  // The request line and headers of each request must arrive within this
  // time, counted from its first byte (or from the connection's start).
  std::chrono::milliseconds headDeadline{10000};
  // A kept-alive connection may wait this long for its next request.
  std::chrono::milliseconds keepAliveIdle{5000};
  // A request body must arrive within this time after its head.
  std::chrono::milliseconds bodyDeadline{30000};
  // Longest wait for one read or write.
  std::chrono::milliseconds ioTimeout{5000};
  // Request line and headers together; a longer head gets 431.
  size_t maxHeadBytes = 64 * 1024;
  // Connections served at once; more are closed as they arrive.
  size_t maxConnections = 1024;
  // Requests served on one connection.
  int maxRequestsPerConnection = 5;
};

// An HTTP server with the routes, handlers and logger of httplib::Server,
// whose connections are accepted and read here instead: each connection has
// a thread of its own, so slow clients never keep a fast one waiting; its
// request head has a deadline and a size limit, its body a deadline and the
// payload limit as it arrives (chunked bodies too), and a client that shut
// down its sending side still gets its reply. Bind with bind_to_port or
// bind_to_any_port, then Run.
class GuardedServer : public httplib::Server {
 public:
  explicit GuardedServer(ConnectionLimits limits = {});
  ~GuardedServer() override;

  // Accepts connections until Shutdown; false when nothing is bound.
  bool Run();
  // Stops accepting, ends every open connection and waits for them.
  void Shutdown();

 private:
  void Serve(int fd);
  bool Refuse(int fd, const std::string& head, int status, const char* reason);

  ConnectionLimits m_limits;
  std::atomic<bool> m_stopping{false};
  std::mutex m_mutex;
  std::condition_variable m_idle;
  std::set<int> m_connections;
};

}  // namespace zorva::server
