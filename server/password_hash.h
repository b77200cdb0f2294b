#pragma once

#include <string>
#include <string_view>

namespace zorva::server {

// What the client's scrambled password can carry: lower case, and every
// byte other than a-z and 0-9 turned into "?". The decoded password of a
// sign-in equals this form of the password the user registered.
std::string ReducePassword(std::string_view plain);

// A salted PBKDF2-HMAC-SHA256 hash of a reduced password.
struct PasswordHash {
  std::string salt;
  std::string hash;
  int iterations = 0;
};

// Hashes with a fresh random salt. Returns false only when the system has
// no randomness to give.
bool HashPassword(std::string_view reduced, PasswordHash* out);

// Constant-time comparison of the candidate's hash with the stored one.
bool VerifyPassword(std::string_view reduced, const PasswordHash& stored);

}  // namespace zorva::server
