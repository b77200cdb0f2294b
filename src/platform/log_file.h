#pragma once

namespace zorva {

// The log file every program of the client keeps in its working directory.
inline constexpr char kLogFileName[] = "zorva.log";
// Set to 1 (or any value but 0) for debug lines as well.
inline constexpr char kLogDetailVariable[] = "ZORVA_LOG_DEBUG";

// Sends Qt's messages (qInfo, qWarning, ...) to dir + "/zorva.log" as well
// as to stderr, one line each with the time, the program's name, its
// process id and the level. Debug lines are written only when
// ZORVA_LOG_DEBUG is set. When the file passes 1 MiB it is moved to
// "zorva.log.1" and begun anew. A file that cannot be opened leaves stderr
// alone as the log.
void InstallLogFile(const char* dir, const char* program);

}  // namespace zorva
