#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "server/database.h"

namespace zorva::server {

// Limits of a user name (code page 936 bytes) and of a password.
constexpr size_t kMaxNameBytes = 32;
constexpr size_t kMaxPasswordBytes = 64;

enum class RegisterResult {
  Added,
  Taken,
  EmptyName,
  EmptyPassword,
  NameTooLong,
  PasswordTooLong,
  BadName,  // control characters, or bytes that are not code page 936 text
  Failed,   // the database refused
};

// Adds a user; name and password are code page 936 bytes, as the client
// sends them (a two-byte character of the password counts as two bytes that
// the codec cannot carry). Only a salted hash of the password's reduced form
// is stored.
RegisterResult RegisterUser(Database& db, std::string_view name, std::string_view password,
                            std::string_view type);

// A short English explanation for the command line.
const char* Describe(RegisterResult result);

// The user when the scrambled password decodes to the reduced form of the
// registered one; nothing for an unknown user or a wrong password.
std::optional<UserRecord> CheckSignIn(Database& db, std::string_view name,
                                      std::string_view scrambledPassword);

// The type a user gets when none is given.
inline constexpr const char* kDefaultUserType = "normal";

}  // namespace zorva::server
