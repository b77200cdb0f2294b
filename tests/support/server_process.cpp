#include "support/server_process.h"

#include "support/file_bytes.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>

extern char** environ;

namespace zorva::test {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr auto kStartTimeout = std::chrono::seconds(60);
constexpr auto kStopTimeout = std::chrono::seconds(30);

std::string MakeTempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/zorva-server-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (!mkdtemp(buffer.data())) return {};
  return buffer.data();
}

// Starts the binary with stdout and stderr going to the given files.
pid_t Spawn(const std::vector<std::string>& args, const std::string& outPath,
            const std::string& errPath) {
  std::vector<std::string> argv = {ServerExecutable()};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> cargv;
  for (auto& a : argv) cargv.push_back(a.data());
  cargv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                   0600);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, cargv[0], &actions, nullptr, cargv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

// Ports from lines "listening on http://HOST:PORT".
std::vector<int> ParsePorts(const std::string& out) {
  std::vector<int> ports;
  std::istringstream lines(out);
  std::string line;
  const std::string marker = "listening on http://";
  while (std::getline(lines, line)) {
    if (lines.eof()) break;  // a line without its line feed may be incomplete
    if (line.rfind(marker, 0) != 0) continue;
    auto colon = line.rfind(':');
    if (colon == std::string::npos) continue;
    ports.push_back(std::atoi(line.c_str() + colon + 1));
  }
  return ports;
}

bool Answers(int port) {
  httplib::Client client("127.0.0.1", port);
  client.set_connection_timeout(5);
  client.set_read_timeout(10);
  auto res = client.Get("/testinternet.txt");
  return res && res->status == 200;
}

}  // namespace

std::string ServerExecutable() { return ZORVA_SERVER_EXE; }

std::string RunServerCommand(const std::vector<std::string>& args, int* exitCode) {
  if (exitCode) *exitCode = -1;
  std::string dir = MakeTempDir();
  if (dir.empty()) return {};
  std::string outPath = dir + "/stdout";
  pid_t pid = Spawn(args, outPath, dir + "/stderr");
  std::string out;
  if (pid > 0) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (exitCode) *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    out = ReadFileBytes(outPath);
    std::string err = ReadFileBytes(dir + "/stderr");
    if (!err.empty()) std::fprintf(stderr, "%s", err.c_str());
  }
  std::error_code ec;
  fs::remove_all(dir, ec);
  return out;
}

ServerProcess::ServerProcess() : ServerProcess(Options()) {}

ServerProcess::ServerProcess(Options options) : m_options(std::move(options)) {
  if (m_options.contentDir.empty()) m_options.contentDir = ZORVA_SAMPLE_CONTENT;
  m_tempDir = MakeTempDir();
  if (m_tempDir.empty()) {
    ADD_FAILURE() << "cannot create a temporary folder for zorva-server";
    return;
  }

  std::vector<std::string> args = {"serve", "--db", DbPath(), "--content", m_options.contentDir};
  for (int i = 0; i < m_options.listeners; ++i) {
    args.push_back("--listen");
    args.push_back("127.0.0.1:0");
  }
  if (!m_options.prefix.empty()) {
    args.push_back("--prefix");
    args.push_back(m_options.prefix);
  }
  args.insert(args.end(), m_options.extraArgs.begin(), m_options.extraArgs.end());

  const std::string outPath = m_tempDir + "/stdout";
  m_pid = Spawn(args, outPath, m_tempDir + "/stderr");
  if (m_pid <= 0) {
    ADD_FAILURE() << "cannot start " << ServerExecutable();
    m_pid = -1;
    return;
  }

  const auto deadline = Clock::now() + kStartTimeout;
  std::vector<int> ports;
  while (Clock::now() < deadline) {
    ports = ParsePorts(ReadFileBytes(outPath));
    if (static_cast<int>(ports.size()) >= m_options.listeners) break;
    int status = 0;
    if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
      m_pid = -1;
      ADD_FAILURE() << "zorva-server ended at start:\n" << LogText();
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (static_cast<int>(ports.size()) < m_options.listeners) {
    ADD_FAILURE() << "zorva-server did not report its ports:\n" << LogText();
    Stop();
    return;
  }
  for (int port : ports) {
    while (!Answers(port)) {
      if (Clock::now() >= deadline) {
        ADD_FAILURE() << "zorva-server does not answer on port " << port << ":\n" << LogText();
        Stop();
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  m_ports = ports;
}

ServerProcess::~ServerProcess() {
  Stop();
  if (!m_tempDir.empty()) {
    std::error_code ec;
    fs::remove_all(m_tempDir, ec);
  }
}

std::string ServerProcess::BaseUrl(int listener) const {
  return "http://127.0.0.1:" + std::to_string(Port(listener)) + m_options.prefix;
}

int ServerProcess::Port(int listener) const {
  if (listener < 0 || listener >= static_cast<int>(m_ports.size())) return 0;
  return m_ports[listener];
}

bool ServerProcess::AddUser(const std::string& name, const std::string& password,
                            const std::string& type) {
  std::vector<std::string> args = {"add-user", "--db", DbPath(), name, password};
  if (!type.empty()) {
    args.push_back("--type");
    args.push_back(type);
  }
  int exitCode = -1;
  RunServerCommand(args, &exitCode);
  return exitCode == 0;
}

std::string ServerProcess::DbPath() const { return m_tempDir + "/zorva.db"; }

std::string ServerProcess::ContentDir() const { return m_options.contentDir; }

std::string ServerProcess::LogText() const { return ReadFileBytes(m_tempDir + "/stderr"); }

int ServerProcess::Stop() {
  if (m_pid <= 0) return -1;
  kill(m_pid, SIGTERM);
  const auto deadline = Clock::now() + kStopTimeout;
  int status = 0;
  for (;;) {
    pid_t done = waitpid(m_pid, &status, WNOHANG);
    if (done == m_pid || (done < 0 && errno != EINTR)) break;
    if (Clock::now() >= deadline) {
      ADD_FAILURE() << "zorva-server ignored SIGTERM";
      kill(m_pid, SIGKILL);
      waitpid(m_pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  m_pid = -1;
  m_ports.clear();
  return status;
}

}  // namespace zorva::test
