#pragma once

#include "core/text.h"

namespace zorva {

// The program-wide values, in one place: written by start-up, the server
// selection and the sign-in, read by every window after them.

// The process's current directory at start-up, without trailing slash
// (except "/"). Every local file is WorkingDirectory() + "/" + relative name.
const Text& WorkingDirectory();
void SetWorkingDirectory(const Text& dir);
// Working directory + "/" + relative (relative without a leading slash).
Text LocalPath(const Text& relative);

// "http://" + host (+ prefix), no trailing slash; empty when no server
// answered.
const Text& ServerBaseAddress();
void SetServerBaseAddress(const Text& base);

struct SignInValues {
  Text userName;   // as typed
  Text password;   // as typed, plain
  Text lastReply;  // user_login of the latest reply
  Text userType;
};
const SignInValues& SignedIn();
SignInValues& MutableSignedIn();

}  // namespace zorva
