// zorva-server: the stand-in for the service's web server.

#include <httplib.h>
#include <signal.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/cp936.h"
#include "core/text.h"
#include "server/accounts.h"
#include "server/content_folder.h"
#include "server/database.h"
#include "server/guarded_server.h"
#include "server/service.h"

namespace {

using namespace zorva;
using namespace zorva::server;

constexpr const char* kUsage = R"(usage: zorva-server COMMAND [OPTIONS]

Commands:
  serve [--listen HOST:PORT ...] [--prefix /PATH] [--content DIR]
      Answers the client's requests. Several --listen options open several
      listeners (default 127.0.0.1:8080); port 0 picks a free port. Each
      listener is reported as "listening on http://HOST:PORT". With --prefix
      everything is also served under that path. --content is the folder
      whose files are served (default: the sample content).
  add-user NAME PASSWORD [--type TYPE]
      Adds a user (NAME and PASSWORD as typed in the terminal, UTF-8; taken
      as code page 936, as the client sends them). Only a salted hash of the
      password is stored. TYPE defaults to
      "normal" and is what sign-in replies carry as user_type.
  suggestions
      Lists the suggestions received: id, time (UTC), user, type, content,
      separated by tabs, one per line (line breaks shown as \n).

Options for every command:
  --db FILE   the database (default: zorva.db in the current directory)
  --help      this text
)";

struct Arguments {
  std::string command;
  std::string db = "zorva.db";
  std::vector<std::string> listen;
  std::string prefix;
  std::string content = ZORVA_SAMPLE_CONTENT;
  std::string type;
  std::vector<std::string> positional;
  bool help = false;
};

int UsageError(const std::string& message) {
  std::fprintf(stderr, "zorva-server: %s\n(zorva-server --help shows the usage)\n",
               message.c_str());
  return 2;
}

// Returns 0 when parsed, otherwise the exit code.
int Parse(int argc, char** argv, Arguments* args) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= argc) return false;
      *out = argv[++i];
      return true;
    };
    if (arg == "--help" || arg == "-h") {
      args->help = true;
    } else if (arg == "--db") {
      if (!value(&args->db)) return UsageError("--db needs a file");
    } else if (arg == "--listen") {
      std::string address;
      if (!value(&address)) return UsageError("--listen needs HOST:PORT");
      args->listen.push_back(address);
    } else if (arg == "--prefix") {
      if (!value(&args->prefix)) return UsageError("--prefix needs a path");
    } else if (arg == "--content") {
      if (!value(&args->content)) return UsageError("--content needs a folder");
    } else if (arg == "--type") {
      if (!value(&args->type)) return UsageError("--type needs a value");
    } else if (arg.size() > 1 && arg[0] == '-') {
      return UsageError("unknown option " + arg);
    } else if (args->command.empty()) {
      args->command = arg;
    } else {
      args->positional.push_back(arg);
    }
  }
  return 0;
}

std::unique_ptr<Database> OpenDatabase(const std::string& path) {
  std::string error;
  auto db = Database::Open(path, &error);
  if (!db) std::fprintf(stderr, "zorva-server: cannot open %s: %s\n", path.c_str(), error.c_str());
  return db;
}

bool SplitAddress(const std::string& address, std::string* host, int* port) {
  size_t colon = address.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == address.size()) return false;
  std::string portText = address.substr(colon + 1);
  if (portText.size() > 5 || portText.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  *port = std::stoi(portText);
  if (*port > 65535) return false;
  *host = address.substr(0, colon);
  if (host->size() > 2 && host->front() == '[' && host->back() == ']') {
    *host = host->substr(1, host->size() - 2);
  }
  return true;
}

int Serve(const Arguments& args) {
  ContentFolder content(args.content);
  if (!content.IsValid()) {
    std::fprintf(stderr, "zorva-server: the content folder %s does not exist\n",
                 args.content.c_str());
    return 1;
  }
  auto db = OpenDatabase(args.db);
  if (!db) return 1;

  // The signals are taken by sigwait below; every thread started from here
  // inherits the mask, so none of them is interrupted.
  // A shell starts background jobs with SIGINT ignored; the server still
  // wants it.
  signal(SIGINT, SIG_DFL);
  signal(SIGTERM, SIG_DFL);
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  Service service(*db, content, args.prefix);
  std::vector<std::string> addresses = args.listen;
  if (addresses.empty()) addresses.push_back("127.0.0.1:8080");

  std::vector<std::unique_ptr<GuardedServer>> servers;
  for (const auto& address : addresses) {
    std::string host;
    int port = 0;
    if (!SplitAddress(address, &host, &port)) return UsageError("bad --listen " + address);
    auto server = std::make_unique<GuardedServer>();
    service.Attach(*server);
    if (port == 0) {
      port = server->bind_to_any_port(host);
      if (port < 0) port = 0;
    } else if (!server->bind_to_port(host, port)) {
      port = 0;
    }
    if (port == 0) {
      std::fprintf(stderr, "zorva-server: cannot listen on %s\n", address.c_str());
      return 1;
    }
    bool v6 = host.find(':') != std::string::npos;
    std::printf("listening on http://%s%s%s:%d\n", v6 ? "[" : "", host.c_str(), v6 ? "]" : "",
                port);
    servers.push_back(std::move(server));
  }
  std::string prefix = Service::NormalizePrefix(args.prefix);
  if (!prefix.empty()) std::printf("also under the prefix %s\n", prefix.c_str());
  std::printf("content: %s\n", content.Root().c_str());
  std::fflush(stdout);

  std::vector<std::thread> threads;
  for (auto& server : servers) {
    threads.emplace_back([s = server.get()] { s->Run(); });
  }
  int signal = 0;
  sigwait(&stopSignals, &signal);
  std::fprintf(stderr, "zorva-server: %s, stopping\n", strsignal(signal));
  for (auto& server : servers) server->Shutdown();
  for (auto& thread : threads) thread.join();
  return 0;
}

int AddUser(const Arguments& args) {
  if (args.positional.size() != 2) return UsageError("add-user needs NAME and PASSWORD");
  Text name = FromUtf8(args.positional[0]);
  if (ToUtf8(name) != args.positional[0]) {
    std::fprintf(stderr, "zorva-server: the name holds characters code page 936 cannot hold\n");
    return 1;
  }
  auto db = OpenDatabase(args.db);
  if (!db) return 1;
  RegisterResult result =
      RegisterUser(*db, name.str(), FromUtf8(args.positional[1]).str(), FromUtf8(args.type).str());
  if (result != RegisterResult::Added) {
    std::fprintf(stderr, "zorva-server: cannot add %s: %s\n", args.positional[0].c_str(),
                 Describe(result));
    return 1;
  }
  std::printf("added user %s\n", args.positional[0].c_str());
  return 0;
}

// Tabs and line breaks inside a field would break the one-line-per-row
// listing, and any other control byte could steer the operator's terminal
// (any signed-in user writes these fields): show them all as escapes.
std::string Field(const std::string& cp936) {
  std::string out;
  const std::string utf8 = ToUtf8(Text(cp936));
  for (size_t i = 0; i < utf8.size(); ++i) {
    const char c = utf8[i];
    const auto byte = static_cast<unsigned char>(c);
    const auto next = i + 1 < utf8.size() ? static_cast<unsigned char>(utf8[i + 1]) : 0;
    if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {
      // A C1 control character (U+0080 .. U+009F) steers terminals as well.
      char escaped[7];
      std::snprintf(escaped, sizeof escaped, "\\u%04X", next);
      out += escaped;
      ++i;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\\') {
      out += "\\\\";
    } else if (byte < 0x20 || byte == 0x7F) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      out += escaped;
    } else {
      out.push_back(c);
    }
  }
  return out;
}

int ListSuggestions(const Arguments& args) {
  if (!args.positional.empty()) return UsageError("suggestions takes no arguments");
  auto db = OpenDatabase(args.db);
  if (!db) return 1;
  for (const auto& row : db->Suggestions()) {
    std::printf("%lld\t%s\t%s\t%s\t%s\n", row.id, row.received.c_str(), Field(row.user).c_str(),
                Field(row.type).c_str(), Field(row.content).c_str());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Arguments args;
  if (int rc = Parse(argc, argv, &args)) return rc;
  if (args.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (args.command == "serve") return Serve(args);
  if (args.command == "add-user") return AddUser(args);
  if (args.command == "suggestions") return ListSuggestions(args);
  if (args.command.empty()) return UsageError("no command given");
  return UsageError("unknown command " + args.command);
}
