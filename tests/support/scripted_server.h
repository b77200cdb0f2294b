#pragma once

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace zorva::test {

// What a scripted server received on one connection.
struct ReceivedRequest {
  std::string method;
  std::string target;  // as sent: path and query
  std::string head;    // the whole request head
  // The value of a header (name case-insensitive, value trimmed); "" when
  // absent.
  std::string Header(std::string_view name) const;
};

// How a reply ends once its head and body are sent.
enum class ReplyEnd {
  Close,    // close the connection normally
  Reset,    // abort the connection (TCP reset)
  Stall,    // keep the connection open, send nothing more
  Endless,  // repeat the body until the client goes away
  Drip,     // then one more byte of the body every 500 ms, until the client goes away
};

struct ScriptedReply {
  std::string head;  // status line and header lines, without the blank line
  std::string body;
  ReplyEnd end = ReplyEnd::Close;
  // Time between the last byte sent and the end (lets the client read the
  // bytes before a reset).
  std::chrono::milliseconds pauseBeforeEnd{0};

  // 200 with the body; with or without a Content-Length header.
  static ScriptedReply Ok(std::string body, bool contentLength = true);
  // Any status with an empty body; extraHeaders are "Name: value" lines
  // joined by "\r\n".
  static ScriptedReply Status(int code, std::string_view reason,
                              std::string_view extraHeaders = {});
};

// An HTTP server on 127.0.0.1 (port chosen by the system) that answers each
// request path with a scripted reply, byte for byte, including the faults a
// real server would not produce on purpose: resets, stalls, endless bodies.
// One request per connection; unknown paths get 404.
class ScriptedServer {
 public:
  ScriptedServer();
  ~ScriptedServer();
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  int Port() const { return m_port; }
  std::string Base() const;  // "http://127.0.0.1:PORT"

  // Answers requests whose path (the target without its query) is path.
  void On(const std::string& path, ScriptedReply reply);

  std::vector<ReceivedRequest> Requests() const;
  // Connections accepted so far (also those that sent no request).
  int Connections() const { return m_connections.load(); }

 private:
  void AcceptLoop();
  void Serve(int fd);

  int m_listenFd = -1;
  int m_port = 0;
  std::atomic<bool> m_stop{false};
  std::atomic<int> m_connections{0};
  mutable std::mutex m_mutex;
  std::map<std::string, ScriptedReply> m_replies;
  std::vector<ReceivedRequest> m_requests;
  std::vector<std::thread> m_workers;
  std::thread m_acceptor;
};

}  // namespace zorva::test
