#include "web_test_support.h"

#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <memory>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "controls/web_engine.h"
#include "platform/quit.h"

namespace zorva::test {

namespace {

// The machine may be busy: a first page takes seconds there.
constexpr int kGenerousMs = 60000;

}  // namespace

void EnsureWebApplication() {
  static int argc = 1;
  static char name[] = "feedback_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    PrepareWebEngine();
    auto* created = new QApplication(argc, argv);
    InstallQtMessagePump();
    return created;
  }();
  (void)app;
}

QVariant RunScript(QWebEnginePage* page, const QString& source, quint32 world) {
  struct State {
    bool done = false;
    QVariant result;
  };
  auto state = std::make_shared<State>();
  page->runJavaScript(source, world, [state](const QVariant& value) {
    state->result = value;
    state->done = true;
  });
  if (!QTest::qWaitFor([&] { return state->done; }, kGenerousMs)) return {};
  return state->result;
}

LoadRecorder::LoadRecorder(QWebEnginePage* page) {
  QObject::connect(page, &QWebEnginePage::loadFinished, page, [loads = m_loads, page](bool ok) {
    loads->push_back({page->url(), ok});
  });
}

bool LoadRecorder::WaitFor(const QUrl& url, bool* ok) const {
  const auto find = [&]() -> const Load* {
    for (const Load& load : *m_loads)
      if (load.url == url) return &load;
    return nullptr;
  };
  (void)QTest::qWaitFor([&] { return find() != nullptr; }, kGenerousMs);
  const Load* load = find();
  if (ok) *ok = load && load->ok;
  return load != nullptr;
}

std::string UnusedAddress() {
  // A port that was free a moment ago, with nobody listening now.
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
}

SilentServer::SilentServer() {
  m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::listen(m_listener, 8);
  ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
  m_port = ntohs(address.sin_port);
}

SilentServer::~SilentServer() {
  for (int fd : m_connections) ::close(fd);
  ::close(m_listener);
}

std::string SilentServer::Base() const { return "http://127.0.0.1:" + std::to_string(m_port); }

bool SilentServer::WaitForConnection() {
  return QTest::qWaitFor(
      [this] {
        const int fd = ::accept(m_listener, nullptr, nullptr);
        if (fd >= 0) m_connections.push_back(fd);
        return !m_connections.empty();
      },
      kGenerousMs);
}

bool ClickElement(QWidget* view, QWebEnginePage* page, const QString& selector) {
  const QVariant rect =
      RunScript(page, QStringLiteral("(function () { var e = document.querySelector('%1');"
                                     " if (!e) return null; var r = e.getBoundingClientRect();"
                                     " return JSON.stringify({x: r.left + r.width / 2,"
                                     " y: r.top + r.height / 2}); })()")
                          .arg(selector));
  if (!rect.isValid() || rect.isNull()) return false;
  const QJsonObject point = QJsonDocument::fromJson(rect.toString().toUtf8()).object();
  QWidget* target = view->focusProxy() ? view->focusProxy() : view;
  const QPoint at(qRound(point.value("x").toDouble()), qRound(point.value("y").toDouble()));
  QTest::mouseClick(target, Qt::LeftButton, {}, at);
  return true;
}

}  // namespace zorva::test
