// The commands that talk to a server with exactly the client's transfer
// rules: fetch a text, download a file, choose a server.
#include <signal.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/cp936.h"
#include "core/status_window.h"
#include "core/text.h"
#include "net/server_selection.h"
#include "net/transfer.h"
#include "platform/program_values.h"
#include "tools/command.h"

namespace zorva::tool {

namespace {

// Status and progress of a download, one stderr line per change, in UTF-8
// for the terminal.
class PrintingStatus : public StatusWindow {
 public:
  void SetText(const Text& text) override {
    std::fprintf(stderr, "status: %s\n", ToUtf8(text).c_str());
  }
};

class PrintingProgress : public ProgressBar {
 public:
  void SetRange32(int lower, int upper) override {
    std::fprintf(stderr, "progress: range %d..%d\n", lower, upper);
  }
  void SetPos(int pos) override {
    m_pos = pos;
    std::fprintf(stderr, "progress: pos %d\n", pos);
  }
  int GetPos() const override { return m_pos; }
  void Show(bool visible) override {
    std::fprintf(stderr, "progress: %s\n", visible ? "show" : "hide");
  }

 private:
  int m_pos = 0;
};

// The exit code of a fetch whose transfer ended in an error, so that a
// script can tell a whole reply from what arrived before the error.
constexpr int kFetchFailed = 2;

int Fetch(const std::vector<std::string>& args) {
  if (args.size() != 1) return UsageError("fetch");
  bool failed = false;
  const Text body = FetchText(Text(args[0]), &failed);
  std::fwrite(body.c_str(), 1, static_cast<size_t>(body.GetLength()), stdout);
  std::fflush(stdout);
  return failed ? kFetchFailed : 0;
}

volatile sig_atomic_t g_stopSignal = 0;

void OnStopSignal(int signal) {
  g_stopSignal = signal;
  AbortDownloads();
}

// SIGINT and SIGTERM stop a download the way a network error would, so its
// temporary file goes; the tool then ends by the same signal.
class StopSignals {
 public:
  StopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &m_previousInt);
    sigaction(SIGTERM, &action, &m_previousTerm);
  }
  ~StopSignals() {
    sigaction(SIGINT, &m_previousInt, nullptr);
    sigaction(SIGTERM, &m_previousTerm, nullptr);
    if (g_stopSignal != 0) {
      signal(g_stopSignal, SIG_DFL);
      raise(g_stopSignal);
    }
  }
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

 private:
  struct sigaction m_previousInt {};
  struct sigaction m_previousTerm {};
};

int Download(const std::vector<std::string>& args) {
  if (args.size() != 3) return UsageError("download");
  PrintingStatus status;
  PrintingProgress progress;
  StopSignals stopSignals;
  return DownloadFile(Text(args[0]), Text(args[1]), Text(args[2]), &progress, &status);
}

int SelectServerCommand(const std::vector<std::string>& args) {
  if (!args.empty()) return UsageError("select-server");
  SelectServer();
  std::printf("%s\n", ServerBaseAddress().c_str());
  return ServerBaseAddress().IsEmpty() ? 1 : 0;
}

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {
      {"fetch", "fetch URL", "GET a URL and print the reply body raw",
       "Sends the client's GET (agent MyProgram/1.0, Accept: text/*, no redirects) and\n"
       "prints the reply body byte for byte, as code page 936 bytes, with nothing added.\n"
       "The output is empty for a reply status other than 200 or a failed connection,\n"
       "and the text 0 for a URL that is not http://. A transfer that ended in an error\n"
       "(no connection, a reset, a stall, the 60 s deadline, the 16 MiB cap) prints what\n"
       "arrived before it and exits with 2; otherwise the exit code is 0.",
       Fetch},
      {"download", "download BASE PATH DIR", "download BASE/PATH into DIR as the client does",
       "Downloads BASE + \"/\" + PATH into DIR + \"/\" + directory part + \"/\" + file name,\n"
       "with the client's status texts and progress steps printed to stderr, one line\n"
       "each (\"status: ...\" in UTF-8, \"progress: ...\"). Exit code: 0 finished (also\n"
       "when the local file could not be created, see the status), 1 not an http:// URL\n"
       "or a reply status other than 200, 2 network error, 3 any other error.\n"
       "SIGINT or SIGTERM stops the download, removes its temporary file and ends the\n"
       "tool by that signal.",
       Download},
      {"select-server", "select-server", "probe the candidate servers and print the chosen one",
       "Probes the candidate servers in order (the build's, or those of\n"
       "ZORVA_SERVER_CANDIDATES=\"a;b;c\") and prints the base address of the first whose\n"
       "/testinternet.txt is exactly \"your internet is ok!\", then a line break; an\n"
       "empty line and exit code 1 when none answers.",
       SelectServerCommand},
  };
  return commands;
}

}  // namespace

std::vector<Command> NetCommands() { return Commands(); }

}  // namespace zorva::tool
