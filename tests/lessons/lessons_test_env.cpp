#include "lessons_test_env.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTest>
#include <QTreeWidget>

#include <fstream>
#include <iterator>

#include "controls/web_engine.h"
#include "core/cp936.h"
#include "lessons/catalogue_tree.h"
#include "lessons/lesson_form.h"
#include "platform/interval_timer.h"
#include "platform/message_box.h"
#include "platform/program_values.h"
#include "platform/quit.h"

namespace zorva::test {

void EnsureApplication() {
  static int argc = 1;
  static char name[] = "lessons_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    qputenv("ZORVA_PLAYER", "timeline");
    // The main frame shows the announcement page after the sign-in: the web
    // engine is prepared before the application, as the program does.
    PrepareWebEngine();
    auto* created = new QApplication(argc, argv);
    InstallQtMessagePump();
    return created;
  }();
  (void)app;
}

ServerProcess* SampleServerTest::s_server = nullptr;

int SampleServerTest::SampleLessonCount() {
  std::ifstream in(s_server->ContentDir() + "/lesson/lesson_list.xml", std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  int count = 0;
  for (size_t at = text.find("<lesson "); at != std::string::npos;
       at = text.find("<lesson ", at + 1))
    ++count;
  return count;
}

void SampleServerTest::SetUpTestSuite() { s_server = new ServerProcess(); }

void SampleServerTest::TearDownTestSuite() {
  delete s_server;
  s_server = nullptr;
}

void SampleServerTest::SetUp() {
  EnsureApplication();
  SetServerBaseAddress(Text(s_server->BaseUrl()));
  SetMessageBoxHandler([this](MessageBoxStyle, const Text& text, const Text&) {
    m_messages.push_back(ToUtf8(text));
    return true;
  });
}

void SampleServerTest::TearDown() {
  SetMessageBoxHandler({});
  SetServerBaseAddress(Text());
}

InnerWidget::InnerWidget(QWidget* parent) : QWidget(parent) { setFocusPolicy(Qt::StrongFocus); }
void InnerWidget::mousePressEvent(QMouseEvent* e) { presses.push_back(e->button()); }
void InnerWidget::mouseReleaseEvent(QMouseEvent* e) { releases.push_back(e->button()); }
void InnerWidget::contextMenuEvent(QContextMenuEvent*) { ++contextMenus; }
void InnerWidget::keyPressEvent(QKeyEvent* e) { keys.push_back(e->key()); }

void LessonWindowTest::SetUp() {
  SampleServerTest::SetUp();
  s_server->AddUser("ann", "secret");  // a second call only fails
  MutableSignedIn() = SignInValues{"ann", "secret", "ok", "normal"};
  auto timer = std::make_unique<ManualIntervalTimer>();
  m_timer = timer.get();
  m_owner = std::make_unique<QWidget>();
  m_form = new lesson_form(std::move(timer));
  ASSERT_TRUE(m_form->Create(m_owner.get()));
  m_form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(m_form));
}

void LessonWindowTest::TearDown() {
  delete m_form;
  MutableSignedIn() = SignInValues{};
  SampleServerTest::TearDown();
}

QTreeWidgetItem* LessonWindowTest::Item(const char* utf8) const {
  const QList<QTreeWidgetItem*> found =
      m_form->Tree()->findItems(QString::fromUtf8(utf8), Qt::MatchExactly | Qt::MatchRecursive);
  return found.size() == 1 ? found[0] : nullptr;
}

bool LessonWindowTest::TicksUntilTitle(const char* utf8, int limit) {
  const QString title = QString::fromUtf8(utf8);
  for (int tick = 0; tick < limit && m_form->windowTitle() != title; ++tick) {
    m_timer->Fire();
    QApplication::processEvents();
  }
  return m_form->windowTitle() == title;
}

}  // namespace zorva::test
