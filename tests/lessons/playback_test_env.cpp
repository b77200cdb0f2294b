#include "playback_test_env.h"

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "core/cp936.h"
#include "lessons_test_env.h"
#include "platform/message_box.h"
#include "platform/program_values.h"

namespace zorva::test {

namespace fs = std::filesystem;

namespace {

std::string MakeTempDir(const char* prefix) {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/" + prefix + "-XXXXXX";
  if (!::mkdtemp(pattern.data())) return {};
  return pattern;
}

}  // namespace

Text T(const char* utf8) { return FromUtf8(utf8); }

bool WaitForFile(const std::string& path) {
  for (int i = 0; i < 600; ++i) {
    if (Exists(path)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

std::string PageList(const std::vector<PageSpec>& pages) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"gb2312\"?>\n<pages>\n";
  for (const PageSpec& page : pages) {
    xml += "<file order=\"" + std::to_string(page.order) + "\" name=\"" + page.name + "\"";
    if (page.delay) xml += std::string(" delay_time=\"") + page.delay + "\"";
    xml += "/>\n";
  }
  return xml + "</pages>\n";
}

void LessonsEnvironment::SetUp() {
  EnsureApplication();
  m_previousDir = fs::current_path().string();
  m_dir = MakeTempDir("zorva-lessons");
  m_contentDir = MakeTempDir("zorva-content");
  ASSERT_FALSE(m_dir.empty());
  ASSERT_FALSE(m_contentDir.empty());
  fs::current_path(m_dir);
  SetWorkingDirectory(Text(m_dir));
  SetServerBaseAddress(Text());
  MutableSignedIn() = SignInValues{"ann", "secret", "ok", "normal"};
  SetMessageBoxHandler([this](MessageBoxStyle style, const Text& text, const Text& caption) {
    const bool question = style == MessageBoxStyle::YesNo;
    m_boxes.push_back({question, ToUtf8(text), ToUtf8(caption)});
    return question ? m_answerYes : true;
  });
}

void LessonsEnvironment::TearDown() {
  SetMessageBoxHandler({});
  m_server.reset();
  fs::current_path(m_previousDir);
  std::error_code ec;
  if (!m_dir.empty()) fs::remove_all(m_dir, ec);
  if (!m_contentDir.empty()) fs::remove_all(m_contentDir, ec);
}

void LessonsEnvironment::Content(const std::string& relative, const std::string& bytes) {
  WriteBytes(m_contentDir + "/" + relative, bytes);
}

void LessonsEnvironment::StartServer() {
  m_server = std::make_unique<ServerProcess>(ServerProcess::Options{m_contentDir, "", 1, {}});
  ASSERT_NE(m_server->Port(), 0);
  ASSERT_TRUE(m_server->AddUser("ann", "secret"));
  SetServerBaseAddress(Text(m_server->BaseUrl()));
}

}  // namespace zorva::test
