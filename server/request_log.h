#pragma once

#include <string>
#include <string_view>

namespace zorva::server {

// The request target as it may appear in a log: every "password" value in
// the query replaced by "***", and bytes outside printable ASCII written as
// %XX so that no request can forge or break a log line.
std::string LoggableTarget(std::string_view target);

// Writes "METHOD TARGET STATUS" as one line to stderr.
void LogRequest(std::string_view method, std::string_view target, int status);

}  // namespace zorva::server
