#include "signin_test_env.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>

#include "core/cp936.h"
#include "platform/message_box.h"
#include "platform/program_values.h"
#include "platform/quit.h"

namespace zorva::test {

namespace fs = std::filesystem;

void EnsureApplication() {
  static int argc = 1;
  static char name[] = "signin_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    auto* created = new QApplication(argc, argv);
    InstallQtMessagePump();
    return created;
  }();
  (void)app;
}

std::string ReadBytes(const std::string& path) { return ReadFileBytes(path); }

int Mode(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return -1;
  return static_cast<int>(info.st_mode & 07777);
}

std::string DeadAddress() {
  // A port that was free a moment ago and has nobody listening now.
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  socklen_t len = sizeof addr;
  ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  ::close(fd);
  return "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port));
}

Text T(const char* utf8) { return FromUtf8(utf8); }

FakeService::FakeService() {
  m_server.Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
    ++m_requests;
    std::lock_guard<std::mutex> lock(m_mutex);
    // Doubled slashes are folded, as the stand-in server does.
    std::string path = request.path;
    for (size_t at; (at = path.find("//")) != std::string::npos;) path.erase(at, 1);
    m_params[path] = request.params;
    m_targets[path] = request.target;
    ++m_counts[path];
    auto body = m_bodies.find(path);
    if (body == m_bodies.end()) {
      response.status = 404;
      return;
    }
    response.set_content(body->second, "text/xml");
  });
  m_port = m_server.bind_to_any_port("127.0.0.1");
  m_thread = std::thread([this] { m_server.listen_after_bind(); });
  while (!m_server.is_running()) std::this_thread::yield();
  SetBody("/testinternet.txt", "your internet is ok!");
}

FakeService::~FakeService() {
  m_server.stop();
  m_thread.join();
}

void FakeService::SetBody(const std::string& path, const std::string& body) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_bodies[path] = body;
}

int FakeService::RequestCount(const std::string& path) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  auto it = m_counts.find(path);
  return it == m_counts.end() ? 0 : it->second;
}

std::string FakeService::LastTarget(const std::string& path) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  auto it = m_targets.find(path);
  return it == m_targets.end() ? std::string() : it->second;
}

std::string FakeService::LastParam(const std::string& path, const std::string& key) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  auto it = m_params.find(path);
  if (it == m_params.end()) return {};
  auto value = it->second.find(key);
  return value == it->second.end() ? std::string() : value->second;
}

OpenedUrls::OpenedUrls() {
  QDesktopServices::setUrlHandler("http", this, "Open");
  QDesktopServices::setUrlHandler("file", this, "Open");
}

OpenedUrls::~OpenedUrls() {
  QDesktopServices::unsetUrlHandler("http");
  QDesktopServices::unsetUrlHandler("file");
}

// Places a stand-in updater as "zupdate.exe": a script that leaves a marker
// in the directory it was started in.
void PlaceTestUpdater(const std::string& dir) {
  WriteBytes(dir + "/zupdate.exe", "#!/bin/sh\ntouch updater-ran\n");
  ::chmod((dir + "/zupdate.exe").c_str(), 0755);
}

// Waits generously for the updater's marker.
bool UpdaterRan(const std::string& dir) {
  for (int i = 0; i < 600; ++i) {
    if (Exists(dir + "/updater-ran")) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

// A handled quit request leaves Qt's loops ending at once; a short run of
// the application's own loop clears that for the tests that follow.
void ClearHandledQuit() {
  QMetaObject::invokeMethod(
      qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
  QCoreApplication::exec();
}

void SignInEnvironment::SetUp() {
  EnsureApplication();
  m_previousDir = fs::current_path().string();
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/zorva-signin-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
  m_dir = pattern;
  fs::current_path(m_dir);
  SetWorkingDirectory(Text(m_dir));
  SetServerBaseAddress(Text());
  MutableSignedIn() = SignInValues{};
  SetMessageBoxHandler([this](MessageBoxStyle style, const Text& text, const Text& caption) {
    if (style == MessageBoxStyle::YesNo) {
      m_questions.push_back({ToUtf8(text), ToUtf8(caption)});
      return m_answerYes;
    }
    m_messages.push_back(ToUtf8(text));
    return true;
  });
  UseServers({});
}

void SignInEnvironment::TearDown() {
  SetMessageBoxHandler({});
  fs::current_path(m_previousDir);
  std::error_code ec;
  if (!m_dir.empty()) fs::remove_all(m_dir, ec);
}

void SignInEnvironment::UseServers(std::vector<std::string> bases) {
  while (bases.size() < 3) bases.push_back(DeadAddress());
  const std::string joined = bases[0] + ";" + bases[1] + ";" + bases[2];
  ::setenv("ZORVA_SERVER_CANDIDATES", joined.c_str(), 1);
}

}  // namespace zorva::test
