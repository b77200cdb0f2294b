#pragma once

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <QList>
#include <QObject>
#include <QUrl>

#include "core/text.h"
#include "support/file_bytes.h"

namespace zorva::test {

// The QApplication of the test program (offscreen), created on first use,
// with the program's message pump installed.
void EnsureApplication();

// Bytes of a whole file; empty when it cannot be read.
std::string ReadBytes(const std::string& path);
// The permission bits of a file, or -1.
int Mode(const std::string& path);

// Places a stand-in updater as "zupdate.exe" in dir: a script that leaves
// the marker "updater-ran" in the directory it was started in.
void PlaceTestUpdater(const std::string& dir);
// Waits generously for that marker.
bool UpdaterRan(const std::string& dir);

// A handled quit request leaves Qt's event loops ending at once; a short run
// of the application's own loop clears that for the tests that follow.
void ClearHandledQuit();

// A base address nothing listens on.
std::string DeadAddress();

// A small scripted service on 127.0.0.1 for the replies the stand-in server
// never gives (foreign bodies, an upper-case "OK", versions of our choice).
class FakeService {
 public:
  FakeService();
  ~FakeService();
  FakeService(const FakeService&) = delete;
  FakeService& operator=(const FakeService&) = delete;

  std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(m_port); }

  // Bodies by path ("/Handler.asp", "/zorva.xml", "/dl/download.xml" ...);
  // a path without one answers 404.
  void SetBody(const std::string& path, const std::string& body);
  // How many requests reached any path (or this one), and a decoded query
  // value of the last request to a path.
  int RequestCount() const { return m_requests.load(); }
  int RequestCount(const std::string& path) const;
  std::string LastParam(const std::string& path, const std::string& key) const;
  // The request target of the last request to a path, exactly as it was sent.
  std::string LastTarget(const std::string& path) const;

 private:
  httplib::Server m_server;
  std::thread m_thread;
  int m_port = 0;
  std::atomic<int> m_requests{0};
  mutable std::mutex m_mutex;
  std::map<std::string, std::string> m_bodies;
  std::map<std::string, httplib::Params> m_params;
  std::map<std::string, std::string> m_targets;
  std::map<std::string, int> m_counts;
};

// Captures what the program asks the desktop to open (web pages, local
// documents) instead of starting a browser.
class OpenedUrls : public QObject {
  Q_OBJECT
 public:
  OpenedUrls();
  ~OpenedUrls() override;
  QList<QUrl> urls;
 public slots:
  void Open(const QUrl& url) { urls.append(url); }
};

// Every test runs in a fresh working directory (program value and process
// directory), with message boxes answered by the test and the server
// candidates set to the given addresses.
class SignInEnvironment : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Three candidates; missing ones are dead addresses.
  void UseServers(std::vector<std::string> bases);
  std::string Local(const std::string& relative) const { return m_dir + "/" + relative; }

  struct Question {
    std::string text;     // UTF-8
    std::string caption;  // UTF-8
  };
  std::vector<Question> m_questions;
  std::vector<std::string> m_messages;  // UTF-8 texts of the OK boxes
  bool m_answerYes = false;
  std::string m_dir;

 private:
  std::string m_previousDir;
};

// UTF-8 literal to a Text.
Text T(const char* utf8);

}  // namespace zorva::test
