#include "feedback/announcement_page.h"

#include <QFile>
#include <QWebChannel>
#include <QWebEngineNewWindowRequest>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>

#include "controls/web_engine.h"
#include "platform/shell.h"

namespace zorva {

namespace {

// The world the program's own scripts run in: it shares the document with
// the page but none of the page's script objects, and the channel lives
// only here.
constexpr quint32 kProgramWorld = QWebEngineScript::ApplicationWorld;

// Catches clicks on "ButtonCancel" (or anything inside it) before the page
// can stop them, as an event handler bound to the element would see them.
constexpr char kCancelScript[] = R"(
(function () {
  var bridge = null;
  var pending = false;
  new QWebChannel(qt.webChannelTransport, function (channel) {
    bridge = channel.objects.gonggao;
    if (pending) bridge.cancel();
  });
  window.addEventListener('click', function (event) {
    for (var node = event.target; node; node = node.parentNode) {
      if (node.id === 'ButtonCancel') {
        if (bridge) bridge.cancel(); else pending = true;
        return;
      }
    }
  }, true);
})();
)";

// The window has no scroll bars, and the page cannot be scrolled either: a
// page larger than the window is cut off.
constexpr char kNoScrollScript[] = R"(
(function () {
  var style = document.createElement('style');
  style.textContent = 'html, body { overflow: hidden !important; }';
  (document.head || document.documentElement).appendChild(style);
})();
)";

QWebEngineScript ProgramScript(const QString& name, const QString& source,
                               QWebEngineScript::InjectionPoint when) {
  QWebEngineScript script;
  script.setName(name);
  script.setSourceCode(source);
  script.setInjectionPoint(when);
  script.setWorldId(kProgramWorld);
  script.setRunsOnSubFrames(false);
  return script;
}

QString ChannelLibrary() {
  QFile file(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(file.readAll());
}

bool IsWebScheme(const QUrl& url) {
  const QString scheme = url.scheme();
  return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

}  // namespace

AnnouncementPage::AnnouncementPage(QObject* parent)
    : QWebEnginePage(SharedWebProfile(), parent), m_channel(new QWebChannel(this)) {
  QWebEngineSettings* page = settings();
  page->setAttribute(QWebEngineSettings::ShowScrollBars, false);
  page->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
  page->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
  page->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
  page->setAttribute(QWebEngineSettings::ErrorPageEnabled, true);

  auto* bridge = new AnnouncementBridge(this);
  connect(bridge, &AnnouncementBridge::cancelRequested, this, &AnnouncementPage::cancelRequested);
  m_channel->registerObject(QStringLiteral("gonggao"), bridge);
  setWebChannel(m_channel, kProgramWorld);

  QWebEngineScriptCollection& collection = scripts();
  collection.insert(ProgramScript(QStringLiteral("gonggao-channel"),
                                  ChannelLibrary() + QLatin1String(kCancelScript),
                                  QWebEngineScript::DocumentCreation));
  collection.insert(ProgramScript(QStringLiteral("gonggao-no-scroll"),
                                  QLatin1String(kNoScrollScript), QWebEngineScript::DocumentReady));

  connect(this, &QWebEnginePage::newWindowRequested, this,
          &AnnouncementPage::OpenNewWindowInBrowser);
}

AnnouncementPage::~AnnouncementPage() = default;

bool AnnouncementPage::acceptNavigationRequest(const QUrl& url, NavigationType type,
                                               bool isMainFrame) {
  // The server's page may lead to other web pages, never to local files or
  // the program's resources. The placeholder page comes as data.
  const QString scheme = url.scheme();
  if (!IsWebScheme(url) && scheme != QLatin1String("data") && scheme != QLatin1String("about")) {
    return false;
  }
  return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
}

void AnnouncementPage::OpenNewWindowInBrowser(QWebEngineNewWindowRequest& request) {
  // Only a window the user asked for by a click, and only for a web page:
  // a page cannot start the browser on its own.
  if (!request.isUserInitiated() || !IsWebScheme(request.requestedUrl())) return;
  ShellOpenDocument(Text(request.requestedUrl().toEncoded().toStdString()));
}

}  // namespace zorva
