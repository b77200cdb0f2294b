#pragma once

#include <QString>
#include <QUrl>
#include <QVariant>
#include <QWebEngineScript>

#include <memory>
#include <string>
#include <vector>

class QWebEnginePage;
class QWidget;

namespace zorva::test {

// The QApplication of a test program that uses the web engine: the engine
// is prepared first, as the program does. Created on first use.
void EnsureWebApplication();

// Runs a script in the page and waits for its result (an invalid variant
// when none came within the time-out).
QVariant RunScript(QWebEnginePage* page, const QString& source,
                   quint32 world = QWebEngineScript::MainWorld);

// Records every load the page finishes, from its construction on.
class LoadRecorder {
 public:
  explicit LoadRecorder(QWebEnginePage* page);

  struct Load {
    QUrl url;
    bool ok;
  };
  const std::vector<Load>& Loads() const { return *m_loads; }

  // Waits until a load of url finished (successfully or not); returns
  // whether it did within the time-out, and the outcome in ok.
  bool WaitFor(const QUrl& url, bool* ok = nullptr) const;

 private:
  std::shared_ptr<std::vector<Load>> m_loads = std::make_shared<std::vector<Load>>();
};

// "http://127.0.0.1:PORT" with a port that nobody listens on.
std::string UnusedAddress();

// A server on 127.0.0.1 that takes connections and never answers: the
// browser waits on it with the page it had.
class SilentServer {
 public:
  SilentServer();
  ~SilentServer();
  SilentServer(const SilentServer&) = delete;
  SilentServer& operator=(const SilentServer&) = delete;

  std::string Base() const;  // "http://127.0.0.1:PORT"
  // Waits until a client connected; the connection stays open, unanswered.
  bool WaitForConnection();

 private:
  int m_listener = -1;
  int m_port = 0;
  std::vector<int> m_connections;
};

// Clicks with the left button in the middle of the element that the CSS
// selector names, as a user would. False when the element was not found.
bool ClickElement(QWidget* view, QWebEnginePage* page, const QString& selector);

}  // namespace zorva::test
