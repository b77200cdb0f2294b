// The announcement window on the real web engine (offscreen), showing pages
// that zorva-server serves from a content folder of the test's own.
#include "feedback/gonggao_form.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDesktopServices>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEngineView>
#include <QWheelEvent>

#include <filesystem>
#include <fstream>
#include <string>

#include "feedback/announcement_page.h"
#include "platform/program_values.h"
#include "support/server_process.h"
#include "web_test_support.h"

namespace zorva::test {
namespace {

// The ids the window reacts to, inside a page far larger than the window.
// ButtonCancel holds a child element, as a styled button may.
constexpr char kAnnouncementPage[] = R"html(<html>
<head><meta http-equiv="Content-Type" content="text/html; charset=gb2312"></head>
<body style="margin: 0; background: rgb(255, 0, 0)">
<div style="width: 3000px; height: 3000px; position: relative">
<button id="ButtonOK" style="position: absolute; left: 10px; top: 10px">OK</button>
<div id="ButtonCancel" style="position: absolute; left: 10px; top: 60px; padding: 8px;
  background: white"><span id="closeText">Close</span></div>
<a id="more" href="/more.htm" target="_blank" style="position: absolute; left: 10px;
  top: 120px">more</a>
</div>
</body>
</html>
)html";

// A browser's own stand-in for the desktop's handler of web addresses.
class DesktopBrowser : public QObject {
  Q_OBJECT
 public:
  DesktopBrowser() {
    QDesktopServices::setUrlHandler("http", this, "Open");
    QDesktopServices::setUrlHandler("https", this, "Open");
  }
  ~DesktopBrowser() override {
    QDesktopServices::unsetUrlHandler("http");
    QDesktopServices::unsetUrlHandler("https");
  }
  QList<QUrl> urls;
 public slots:
  void Open(const QUrl& url) { urls.append(url); }
};

class GonggaoFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureWebApplication();
    ASSERT_TRUE(m_content.isValid());
    Write("gonggao.htm", kAnnouncementPage);
    Write("more.htm", "<html><body>more</body></html>");
  }
  void TearDown() override { SetServerBaseAddress(Text()); }

  void Write(const std::string& name, const std::string& bytes) {
    std::ofstream(m_content.filePath(QString::fromStdString(name)).toStdString(), std::ios::binary)
        << bytes;
  }

  // Starts the server on the content folder and makes it the program's
  // server.
  void StartServer() {
    ServerProcess::Options options;
    options.contentDir = m_content.path().toStdString();
    m_server = std::make_unique<ServerProcess>(options);
    SetServerBaseAddress(Text(m_server->BaseUrl()));
  }
  QUrl PageUrl() const {
    return QUrl(QString::fromStdString(m_server->BaseUrl() + "/gonggao.htm"));
  }

  // The window as the main frame makes it: owned by a window of its own,
  // 400 x 300, shown; it returns once the server's page is there.
  void OpenWindow() {
    m_owner = std::make_unique<QWidget>();
    m_owner->show();
    m_form = new gonggao_form(m_owner.get());
    m_loads = std::make_unique<LoadRecorder>(m_form->Page());
    m_form->resize(400, 300);
    m_form->show();
  }
  void OpenWindowOnServerPage() {
    OpenWindow();
    bool ok = false;
    ASSERT_TRUE(m_loads->WaitFor(PageUrl(), &ok));
    ASSERT_TRUE(ok);
  }

  QTemporaryDir m_content;
  std::unique_ptr<ServerProcess> m_server;
  std::unique_ptr<QWidget> m_owner;
  gonggao_form* m_form = nullptr;  // owned by m_owner
  std::unique_ptr<LoadRecorder> m_loads;
};

TEST_F(GonggaoFormTest, GreyPlaceholderShowsUntilTheServerAnswers) {
  SilentServer silent;
  SetServerBaseAddress(Text(silent.Base()));
  OpenWindow();
  EXPECT_EQ(m_form->windowTitle(), QStringLiteral("Dialog"));
  ASSERT_TRUE(silent.WaitForConnection());

  const QVariant shown =
      RunScript(m_form->Page(),
                QStringLiteral("[document.body.id, getComputedStyle(document.body).backgroundColor,"
                               " document.querySelectorAll('table tr').length,"
                               " document.querySelectorAll('table tr')[1].getAttribute('height'),"
                               " document.body.innerText.trim()].join('|')"));
  EXPECT_EQ(shown.toString(), QStringLiteral("gonggao_form|rgb(211, 211, 211)|2|75|"));
}

TEST_F(GonggaoFormTest, ServerPageIsCutOffWithoutScrollBars) {
  StartServer();
  OpenWindowOnServerPage();
  // The wheel does not scroll the page.
  QWidget* surface = m_form->View()->focusProxy();
  ASSERT_NE(surface, nullptr);
  const QPoint middle(200, 150);
  QWheelEvent wheel(middle, surface->mapToGlobal(middle), QPoint(), QPoint(0, -360), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(surface, &wheel);
  QTest::qWait(500);
  EXPECT_EQ(RunScript(m_form->Page(), QStringLiteral("scrollX + ',' + scrollY")).toString(),
            QStringLiteral("0,0"));

  // The page's red reaches the window's right and bottom edges.
  const QImage picture = m_form->View()->grab().toImage();
  ASSERT_FALSE(picture.isNull());
  for (const QPoint at : {QPoint(picture.width() - 2, picture.height() / 2),
                          QPoint(picture.width() / 2, picture.height() - 2)}) {
    EXPECT_EQ(picture.pixelColor(at), QColor(255, 0, 0)) << at.x() << "," << at.y();
  }
}

TEST_F(GonggaoFormTest, ButtonCancelHidesTheWindowAndButtonOkDoesNothing) {
  StartServer();
  OpenWindowOnServerPage();
  ASSERT_TRUE(ClickElement(m_form->View(), m_form->Page(), "#ButtonOK"));
  QTest::qWait(1000);
  EXPECT_TRUE(m_form->isVisible());

  // A click on the text inside the element counts as a click on it.
  ASSERT_TRUE(ClickElement(m_form->View(), m_form->Page(), "#closeText"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return !m_form->isVisible(); }, 60000));
  EXPECT_TRUE(m_owner->isVisible());
  EXPECT_EQ(m_form->result(), QDialog::Rejected);
}

TEST_F(GonggaoFormTest, CloseBoxHidesTheWindowAndKeepsIt) {
  StartServer();
  OpenWindowOnServerPage();
  QPointer<gonggao_form> form(m_form);
  EXPECT_TRUE(m_form->close());
  QApplication::processEvents();
  ASSERT_FALSE(form.isNull());
  EXPECT_FALSE(m_form->isVisible());
  EXPECT_TRUE(m_owner->isVisible());
}

TEST_F(GonggaoFormTest, PageReachesNeitherTheProgramNorLocalFiles) {
  StartServer();
  OpenWindowOnServerPage();
  // The page's own scripts see no channel to the program.
  EXPECT_EQ(RunScript(m_form->Page(), QStringLiteral("typeof qt")).toString(),
            QStringLiteral("undefined"));
  // Nor can it read or open local files.
  const QVariant read = RunScript(
      m_form->Page(), QStringLiteral("(function () { try { var x = new XMLHttpRequest();"
                                     " x.open('GET', 'file:///etc/hostname', false); x.send();"
                                     " return 'read ' + x.responseText.length; }"
                                     " catch (e) { return 'refused'; } })()"));
  EXPECT_EQ(read.toString(), QStringLiteral("refused"));
  RunScript(m_form->Page(), QStringLiteral("location.href = 'file:///etc/hostname'"));
  QTest::qWait(1000);
  EXPECT_EQ(m_form->Page()->url(), PageUrl());
  EXPECT_TRUE(m_form->isVisible());
}

TEST_F(GonggaoFormTest, NewWindowOpensInTheDesktopBrowserOnlyOnAClick) {
  StartServer();
  DesktopBrowser browser;
  OpenWindowOnServerPage();
  // A window the page opens by itself goes nowhere.
  RunScript(m_form->Page(), QStringLiteral("window.open('/more.htm?by-script'); 1"));
  QTest::qWait(1000);
  EXPECT_TRUE(browser.urls.isEmpty());

  ASSERT_TRUE(ClickElement(m_form->View(), m_form->Page(), "#more"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !browser.urls.isEmpty(); }, 60000));
  EXPECT_EQ(browser.urls,
            QList<QUrl>{QUrl(QString::fromStdString(m_server->BaseUrl() + "/more.htm"))});
  EXPECT_EQ(m_form->Page()->url(), PageUrl());
  EXPECT_TRUE(m_form->isVisible());
}

TEST_F(GonggaoFormTest, UnreachableServerGivesTheBrowsersErrorPage) {
  const std::string dead = UnusedAddress();
  SetServerBaseAddress(Text(dead));
  OpenWindow();
  bool ok = true;
  ASSERT_TRUE(m_loads->WaitFor(QUrl(QString::fromStdString(dead + "/gonggao.htm")), &ok));
  EXPECT_FALSE(ok);
  const QVariant text = RunScript(m_form->Page(), QStringLiteral("document.body.innerText"));
  EXPECT_TRUE(text.toString().contains(QStringLiteral("ERR_CONNECTION_REFUSED")))
      << text.toString().toStdString();
  EXPECT_TRUE(m_form->isVisible());
}

TEST_F(GonggaoFormTest, NoServerAddressLeavesABlankPageAndNoCrash) {
  // The bare "/gonggao.htm" names no server: the engine shows a blank page.
  SetServerBaseAddress(Text());
  OpenWindow();
  ASSERT_TRUE(m_loads->WaitFor(QUrl(QStringLiteral("about:blank"))));
  EXPECT_TRUE(m_form->isVisible());
  EXPECT_EQ(RunScript(m_form->Page(), QStringLiteral("document.body.innerText")).toString(),
            QString());
}

}  // namespace
}  // namespace zorva::test

#include "gonggao_form_test.moc"
