#include "platform/program_values.h"

namespace zorva {

namespace {

Text g_workingDirectory;
Text g_serverBase;
SignInValues g_signIn;

}  // namespace

const Text& WorkingDirectory() { return g_workingDirectory; }
void SetWorkingDirectory(const Text& dir) { g_workingDirectory = dir; }

Text LocalPath(const Text& relative) {
  if (g_workingDirectory == "/") return "/" + relative;
  return g_workingDirectory + "/" + relative;
}

const Text& ServerBaseAddress() { return g_serverBase; }
void SetServerBaseAddress(const Text& base) { g_serverBase = base; }

const SignInValues& SignedIn() { return g_signIn; }
SignInValues& MutableSignedIn() { return g_signIn; }

}  // namespace zorva
