#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/text.h"
#include "support/file_bytes.h"
#include "support/server_process.h"

namespace zorva::test {

// UTF-8 literal to a Text.
Text T(const char* utf8);

// Polls until the file exists (programs started detached need a moment).
bool WaitForFile(const std::string& path);

// A page list as the lesson request answers it.
struct PageSpec {
  int order;
  std::string name;
  const char* delay;  // nullptr: no delay_time attribute
};
std::string PageList(const std::vector<PageSpec>& pages);

// Every test runs with the program's message pump in an offscreen
// application, in a fresh working directory, with message boxes answered by
// the test, and with the real zorva-server serving a content folder of the
// test's own. The signed-in user is ann / secret, registered on that server.
class LessonsEnvironment : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Files of the content folder, written before StartServer.
  void Content(const std::string& relative, const std::string& bytes);
  void Lesson(const std::string& dir, const std::vector<PageSpec>& pages) {
    Content("lesson/" + dir + "/0010/pages.xml", PageList(pages));
  }
  // Starts the server on the content so far and makes it the server base
  // address.
  void StartServer();

  std::string Local(const std::string& relative) const { return m_dir + "/" + relative; }

  struct Box {
    bool question;
    std::string text;     // UTF-8
    std::string caption;  // UTF-8
  };
  std::vector<Box> m_boxes;
  bool m_answerYes = false;
  std::string m_dir;
  std::string m_contentDir;
  std::unique_ptr<ServerProcess> m_server;

 private:
  std::string m_previousDir;
};

}  // namespace zorva::test
