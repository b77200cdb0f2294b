#pragma once

#include "core/text.h"

namespace zorva {

// The shell's "open": a document or web address goes to the desktop's
// handler. The result is not examined, as nobody acts on it. A web address
// is code page 936 text; a local path is in the file system's bytes, as the
// working directory is.
void ShellOpenDocument(const Text& pathOrUrl);

// Starts a program (a local path, in the file system's bytes) detached, in
// the current directory, with parameters (code page 936 text) split as a
// command line is split (no shell involved), in the environment kept by
// KeepEnvironmentForPrograms (the current one until then). Returns whether
// it started.
bool StartProgram(const Text& program, const Text& parameters = Text());

// Keeps the environment as it is now for the programs StartProgram starts:
// what the program later sets for itself alone (its web engine's renderer,
// OpenGL and allocator settings) is not passed on.
void KeepEnvironmentForPrograms();

}  // namespace zorva
