#pragma once

#include <string>
#include <string_view>

namespace zorva::server {

// The registration page in UTF-8: a form for name, password and the password
// once more, with an optional message above it (an error when isError) and
// the name filled in again after a failed attempt.
std::string RegistrationPage(std::string_view messageUtf8, bool isError, std::string_view nameUtf8);

// Escapes &, <, >, " and ' for HTML text and attribute values.
std::string HtmlEscape(std::string_view text);

}  // namespace zorva::server
