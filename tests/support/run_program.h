#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/file_bytes.h"

namespace zorva::test {

struct ProgramResult {
  int exitCode = -1;  // -1 when the program did not end by itself
  std::string out;
  std::string err;
};

// Runs a program with the arguments as raw bytes and waits for it. Its stdout
// and stderr are caught in two files in scratch, so that neither pipe can
// fill up and block; the files are removed again.
inline ProgramResult RunProgram(const char* program, const std::filesystem::path& scratch,
                                const std::vector<std::string>& args) {
  const std::filesystem::path outPath = scratch / ".stdout", errPath = scratch / ".stderr";
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
    ::dup2(::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
    std::vector<char*> argv{const_cast<char*>(program)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(program, argv.data());
    ::_exit(127);
  }
  ProgramResult r;
  int status = 0;
  if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
    r.exitCode = WEXITSTATUS(status);
  }
  r.out = ReadFileBytes(outPath);
  r.err = ReadFileBytes(errPath);
  std::filesystem::remove(outPath);
  std::filesystem::remove(errPath);
  return r;
}

}  // namespace zorva::test
