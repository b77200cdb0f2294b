#include <QApplication>
#include <QtGlobal>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "app/pelk_app.h"
#include "controls/web_engine.h"
#include "core/xml.h"
#include "platform/log_file.h"
#include "platform/shell.h"
#include "updater/update_files.h"

namespace {

constexpr char kUsage[] =
    "usage: zorva [--help | --version]\n"
    "The Zorva learning client. Start it in its working directory: the version\n"
    "file zorva.xml, the users file, saved passwords, the download folder dl/ and\n"
    "the log file zorva.log live there. ZORVA_LOG_DEBUG=1 adds debug lines to the\n"
    "log; ZORVA_SERVER_CANDIDATES=\"a;b;c\" replaces the built-in servers.\n";

// Prints and returns true for the options that answer without starting the
// client; anything else on the command line is left to Qt.
bool AnswerOption(int argc, char** argv, int* exitCode) {
  if (argc < 2) return false;
  if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    std::fputs(kUsage, stdout);
    *exitCode = 0;
    return true;
  }
  if (std::strcmp(argv[1], "--version") == 0) {
    std::printf("zorva %s\n", ZORVA_VERSION);
    // The installed version as the update check sees it, when there is one.
    const zorva::Text installed = zorva::ReadXmlValue("zorva.xml", "zorva", "", "", "");
    if (!installed.IsEmpty()) std::printf("zorva.xml: %s\n", installed.c_str());
    *exitCode = 0;
    return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  int exitCode = 0;
  if (AnswerOption(argc, argv, &exitCode)) return exitCode;

  // The updater this client may start learns from these whom to wait for
  // and what to start again when it is done.
  const std::string pid = std::to_string(::getpid());
  ::setenv("ZORVA_CLIENT_PID", pid.c_str(), 1);
  std::error_code error;
  const std::filesystem::path self = std::filesystem::canonical("/proc/self/exe", error);
  if (!error) ::setenv("ZORVA_CLIENT_PROGRAM", self.c_str(), 1);
  const std::filesystem::path current = std::filesystem::current_path(error);
  zorva::InstallLogFile(error ? "." : current.c_str(), "zorva");
  // An update killed in the middle is rolled back before anything reads the
  // files it was replacing.
  std::string kept;
  if (!error && zorva::RecoverInterruptedRuns(current.string(), &kept) > 0) {
    qWarning("an interrupted update was rolled back%s", kept.empty() ? "" : ", not whole");
  }

  // Programs the client starts (the updater among them) get the environment
  // as it is now, not what the web engine is about to be given.
  zorva::KeepEnvironmentForPrograms();
  zorva::PrepareWebEngine();
  QApplication app(argc, argv);
  qInfo("start %s in %s", ZORVA_VERSION, error ? "?" : current.c_str());
  zorva::CPelkApp pelk;
  if (!pelk.InitInstance()) {
    exitCode = zorva::CPelkApp::ExitCode();
  } else {
    exitCode = app.exec();
  }
  qInfo("end with code %d", exitCode);
  return exitCode;
}
