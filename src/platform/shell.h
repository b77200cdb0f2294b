#pragma once

#include "core/text.h"

namespace zorva {

// The shell's "open": a document or web address goes to the desktop's
// handler. The result is not examined, as nobody acts on it.
void ShellOpenDocument(const Text& pathOrUrl);

// Starts a program detached, in the current directory, with parameters split
// as a command line is split (no shell involved). Returns whether it started.
bool StartProgram(const Text& program, const Text& parameters = Text());

}  // namespace zorva
