#include "server/password_hash.h"

#include <nettle/memops.h>
#include <nettle/pbkdf2.h>
#include <sys/random.h>

#include <cerrno>

namespace zorva::server {

namespace {

constexpr int kIterations = 50000;
constexpr size_t kSaltBytes = 16;
constexpr size_t kHashBytes = 32;

std::string Derive(std::string_view reduced, const std::string& salt, int iterations) {
  std::string out(kHashBytes, '\0');
  pbkdf2_hmac_sha256(reduced.size(), reinterpret_cast<const uint8_t*>(reduced.data()),
                     static_cast<unsigned>(iterations), salt.size(),
                     reinterpret_cast<const uint8_t*>(salt.data()), out.size(),
                     reinterpret_cast<uint8_t*>(out.data()));
  return out;
}

}  // namespace

std::string ReducePassword(std::string_view plain) {
  std::string reduced;
  reduced.reserve(plain.size());
  for (char c : plain) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    bool carried = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    reduced.push_back(carried ? c : '?');
  }
  return reduced;
}

bool HashPassword(std::string_view reduced, PasswordHash* out) {
  std::string salt(kSaltBytes, '\0');
  size_t filled = 0;
  while (filled < salt.size()) {
    ssize_t n = getrandom(salt.data() + filled, salt.size() - filled, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    filled += static_cast<size_t>(n);
  }
  out->salt = salt;
  out->iterations = kIterations;
  out->hash = Derive(reduced, salt, kIterations);
  return true;
}

bool VerifyPassword(std::string_view reduced, const PasswordHash& stored) {
  if (stored.iterations <= 0 || stored.hash.size() != kHashBytes) return false;
  std::string candidate = Derive(reduced, stored.salt, stored.iterations);
  return memeql_sec(candidate.data(), stored.hash.data(), kHashBytes) != 0;
}

}  // namespace zorva::server
