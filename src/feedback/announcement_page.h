#pragma once

#include <QObject>
#include <QWebEnginePage>

class QWebChannel;
class QWebEngineNewWindowRequest;

namespace zorva {

// The browser page of the announcement window. The server's page is remote
// content and is treated as such: it is shown without scroll bars, it may
// not navigate to local files or other non-web schemes, a new window it
// asks for on a user's click is opened in the desktop's browser, and the
// only way it reaches the program is a click on an element with the id
// "ButtonCancel". That click is caught by a script in a world of its own,
// out of the page's reach, which tells the program through a channel that
// the page's own scripts cannot see.
class AnnouncementPage : public QWebEnginePage {
  Q_OBJECT

 public:
  explicit AnnouncementPage(QObject* parent = nullptr);
  ~AnnouncementPage() override;

 signals:
  // A click landed on the element "ButtonCancel" or inside it.
  void cancelRequested();

 protected:
  bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;

 private:
  void OpenNewWindowInBrowser(QWebEngineNewWindowRequest& request);

  QWebChannel* m_channel;
};

// What the page's click script calls; the only object on the channel.
class AnnouncementBridge : public QObject {
  Q_OBJECT

 public:
  using QObject::QObject;

  Q_INVOKABLE void cancel() { emit cancelRequested(); }

 signals:
  void cancelRequested();
};

}  // namespace zorva
