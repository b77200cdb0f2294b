#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/text.h"
#include "support/server_process.h"

namespace zorva::test {

// The QApplication of the test program (offscreen), created on first use,
// with the program's message pump installed. The movie player runs its
// headless backend: these tests look at the window, not at movies.
void EnsureApplication();

// A fixture serving the sample content from a real zorva-server for the
// whole suite, its address as the server base address, and message boxes
// answered and recorded (UTF-8 texts).
class SampleServerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  static void TearDownTestSuite();
  void SetUp() override;
  void TearDown() override;

  // How many lesson elements the sample catalogue holds.
  static int SampleLessonCount();

  static ServerProcess* s_server;
  std::vector<std::string> m_messages;
};

}  // namespace zorva::test
