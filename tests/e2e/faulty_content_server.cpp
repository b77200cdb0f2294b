// A content server for the updater's end-to-end test that fails on one
// file: it serves the probe and every file of a content folder (paths as the
// client sends them, with the doubled leading slash too), except that one
// file is cut off halfway and then reset, or stalls halfway.
//
// usage: faulty_content_server CONTENT_DIR (--reset | --stall) PATH
// Prints "listening on http://127.0.0.1:PORT" and serves until SIGTERM.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "support/file_bytes.h"
#include "support/scripted_server.h"

namespace fs = std::filesystem;
using zorva::test::ReplyEnd;
using zorva::test::ScriptedReply;
using zorva::test::ScriptedServer;

int main(int argc, char** argv) {
  if (argc != 4 || (std::strcmp(argv[2], "--reset") != 0 && std::strcmp(argv[2], "--stall") != 0)) {
    std::fprintf(stderr, "usage: %s CONTENT_DIR (--reset | --stall) PATH\n", argv[0]);
    return 2;
  }
  const fs::path content = argv[1];
  const bool reset = std::strcmp(argv[2], "--reset") == 0;
  const std::string faulty = argv[3];

  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTERM);
  sigaddset(&stop, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);

  ScriptedServer server;
  server.On("/testinternet.txt", ScriptedReply::Ok("your internet is ok!"));
  bool found = false;
  for (const auto& entry : fs::recursive_directory_iterator(content)) {
    if (!entry.is_regular_file()) continue;
    const std::string path = "/" + entry.path().lexically_relative(content).generic_string();
    const std::string bytes = zorva::test::ReadFileBytes(entry.path());
    ScriptedReply reply = ScriptedReply::Ok(bytes);
    if (path == faulty) {
      found = true;
      reply.body.resize(bytes.size() / 2);
      reply.end = reset ? ReplyEnd::Reset : ReplyEnd::Stall;
      reply.pauseBeforeEnd = std::chrono::milliseconds(100);
    }
    server.On(path, reply);
    server.On("/" + path, reply);
  }
  if (!found) {
    std::fprintf(stderr, "%s is not in %s\n", faulty.c_str(), content.c_str());
    return 2;
  }
  std::printf("listening on %s\n", server.Base().c_str());
  std::fflush(stdout);
  int signal = 0;
  sigwait(&stop, &signal);
  return 0;
}
