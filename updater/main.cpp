// zupdate: the updater the client hands off to. Started without arguments
// in the client's working directory, it applies the signed job
// "dl/download.xml" and, when the job says so, starts the client again.
#include <QApplication>
#include <QCoreApplication>

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "core/cp936.h"
#include "platform/log_file.h"
#include "platform/message_box.h"
#include "platform/program_values.h"
#include "platform/quit.h"
#include "platform/shell.h"
#include "updater/job_keys.h"
#include "updater/update_files.h"
#include "updater/update_run.h"
#include "updater/update_window.h"

namespace {

namespace fs = std::filesystem;

constexpr char kUsage[] =
    "usage: zupdate.exe [--version | --recover | --install-from PROGRAM_DIR]\n"
    "The Zorva updater. Run in the client's working directory, it applies the signed\n"
    "job dl/download.xml: downloads every file it lists into a staging folder under\n"
    "dl/, checks each size and SHA-256, puts the files in place (the old ones come\n"
    "back on any failure or cancel) and starts the client again when the job asks.\n"
    "The job is used once: it leaves dl/download.xml as soon as the run starts.\n"
    "A run that was killed is rolled back at the next start.\n"
    "  --version  print the version and the update key this build trusts\n"
    "  --recover  only roll back what an interrupted run left, then end\n"
    "  --install-from PROGRAM_DIR\n"
    "             put an installed package's program into the working directory\n"
    "             when it has none yet or the package's version is newer\n"
    "Exit code: 0 applied, 1 refused or failed (nothing changed), 2 cancelled.\n";

std::atomic<bool> g_cancel{false};

void OnSignal(int) { g_cancel.store(true); }

// A window only where somebody can see it: a platform that draws nowhere
// would leave a refusal's message box waiting forever.
bool HasDisplay() {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (platform &&
      (std::strncmp(platform, "offscreen", 9) == 0 || std::strncmp(platform, "minimal", 7) == 0)) {
    return false;
  }
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value && *value) return true;
  }
  return platform && *platform;
}

pid_t ClientPid() {
  const char* value = std::getenv("ZORVA_CLIENT_PID");
  if (!value) return 0;
  char* end = nullptr;
  const long pid = std::strtol(value, &end, 10);
  return (end && *end == '\0' && pid > 1) ? static_cast<pid_t>(pid) : 0;
}

// The client to start again: the program that handed over, else "zorva"
// in the working directory.
fs::path ClientProgram(const fs::path& work) {
  const char* handedOver = std::getenv("ZORVA_CLIENT_PROGRAM");
  if (handedOver && *handedOver && ::access(handedOver, X_OK) == 0) return handedOver;
  return work / "zorva";
}

}  // namespace

int main(int argc, char** argv) {
  const bool recoverOnly = argc == 2 && std::strcmp(argv[1], "--recover") == 0;
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("zupdate.exe %s\n%s\n", ZORVA_VERSION, zorva::TrustedKeyDescription().c_str());
    return 0;
  }
  const char* packageDir =
      argc == 3 && std::strcmp(argv[1], "--install-from") == 0 ? argv[2] : nullptr;
  if (argc > 1 && !recoverOnly && !packageDir) {
    const bool help = std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0;
    std::fputs(kUsage, help ? stdout : stderr);
    return help ? 0 : 2;
  }
  std::error_code error;
  const fs::path work = fs::current_path(error);
  if (error) {
    std::fprintf(stderr, "zupdate: no working directory: %s\n", error.message().c_str());
    return 1;
  }
  zorva::InstallLogFile(work.c_str(), "zupdate");
  qInfo("%s", zorva::TrustedKeyDescription().c_str());
  if (recoverOnly || packageDir) {
    std::string problem;
    const int rolledBack = zorva::RecoverInterruptedRuns(work.string(), &problem);
    if (rolledBack > 0) qWarning("an interrupted update was rolled back");
    if (!problem.empty()) {
      qWarning("an interrupted update could not be rolled back whole; see %s", problem.c_str());
      return 1;
    }
    if (!packageDir) return 0;
    struct QuietView : zorva::UpdateView {
      void ShowStep(const std::string&) override {}
    } quiet;
    const zorva::UpdateResult copied =
        zorva::InstallPackageProgram(zorva::Text(work.string()), packageDir, quiet);
    switch (copied.outcome) {
      case zorva::UpdateOutcome::Applied:
        qInfo("the package's program in %s is now the working directory's", packageDir);
        return 0;
      case zorva::UpdateOutcome::Refused:
        return 0;
      default:
        qWarning("%s", copied.message.c_str());
        return 1;
    }
  }
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);

  const bool gui = HasDisplay();
  std::unique_ptr<QCoreApplication> app;
  if (gui) {
    app = std::make_unique<QApplication>(argc, argv);
  } else {
    app = std::make_unique<QCoreApplication>(argc, argv);
  }
  zorva::InstallQtMessagePump();
  zorva::SetWorkingDirectory(zorva::Text(work.string()));

  zorva::UpdateOptions options;
  options.workDir = zorva::Text(work.string());
  options.key = zorva::BuiltInPublicKey();
  options.clientPid = ClientPid();

  std::unique_ptr<zorva::UpdateWindow> window;
  zorva::TerminalView terminal;
  zorva::UpdateView* view = &terminal;
  if (gui) {
    window = std::make_unique<zorva::UpdateWindow>(&g_cancel);
    window->show();
    view = window.get();
  }
  const zorva::UpdateResult result = zorva::ApplyUpdateJob(options, *view, g_cancel);
  if (window) window->Done();

  switch (result.outcome) {
    case zorva::UpdateOutcome::Applied:
      qInfo("update applied");
      break;
    case zorva::UpdateOutcome::Cancelled:
      qInfo("%s", result.message.c_str());
      break;
    default:
      qWarning("%s", result.message.c_str());
      if (window) zorva::ShowMessage(zorva::FromUtf8(result.message), window.get());
      break;
  }
  if (result.outcome == zorva::UpdateOutcome::Applied && result.restart) {
    const fs::path client = ClientProgram(work);
    if (!zorva::StartProgram(zorva::Text(client.string()))) {
      qWarning("could not start %s again", client.c_str());
    }
  }
  switch (result.outcome) {
    case zorva::UpdateOutcome::Applied:
      return 0;
    case zorva::UpdateOutcome::Cancelled:
      return 2;
    default:
      return 1;
  }
}
