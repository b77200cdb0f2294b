#include "lessons_test_env.h"

#include <QApplication>

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
    auto* created = new QApplication(argc, argv);
    InstallQtMessagePump();
    return created;
  }();
  (void)app;
}

ServerProcess* SampleServerTest::s_server = nullptr;

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
