#include "lessons_test_env.h"

#include <QApplication>

#include <fstream>
#include <iterator>

#include "controls/web_engine.h"
#include "core/cp936.h"
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

}  // namespace zorva::test
