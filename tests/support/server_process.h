#pragma once

#include <sys/types.h>
#include <string>
#include <vector>

namespace zorva::test {

// The real zorva-server binary, started for one test with a database of its
// own in a temporary folder and stopped when the object goes. Listeners are
// on 127.0.0.1 with ports chosen by the system.
class ServerProcess {
 public:
  struct Options {
    std::string contentDir;  // empty: the sample content shipped with the server
    std::string prefix;      // e.g. "/xinxi50"; empty: none
    int listeners = 1;
    std::vector<std::string> extraArgs;  // appended to "serve ..."
  };

  // Starts the server and waits until every listener answers. A server that
  // does not come up fails the calling test (GoogleTest ADD_FAILURE) and
  // leaves Port() at 0.
  ServerProcess();
  explicit ServerProcess(Options options);
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  // "http://127.0.0.1:PORT", followed by the prefix when one was asked for.
  std::string BaseUrl(int listener = 0) const;
  int Port(int listener = 0) const;

  // Runs "zorva-server add-user" on this server's database. Name and
  // password are UTF-8 as on a command line; the server stores the name as
  // code page 936 bytes. An empty type keeps the server's default.
  bool AddUser(const std::string& name, const std::string& password, const std::string& type = "");

  std::string DbPath() const;
  std::string ContentDir() const;

  // Everything the server wrote to stderr so far (one line per request).
  std::string LogText() const;

  // SIGTERM, then waits for the exit (SIGKILL after a generous time-out).
  // Returns the exit status as waitpid reports it, or -1 when not running.
  int Stop();

 private:
  Options m_options;
  std::string m_tempDir;
  std::vector<int> m_ports;
  pid_t m_pid = -1;
};

// Runs zorva-server with the given arguments (no shell) and returns its
// stdout; exitCode receives the exit status (-1 when it could not run).
std::string RunServerCommand(const std::vector<std::string>& args, int* exitCode = nullptr);

// The path of the zorva-server binary the tests run.
std::string ServerExecutable();

}  // namespace zorva::test
