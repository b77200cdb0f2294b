#include "server/accounts.h"

#include "core/codec.h"
#include "core/cp936.h"
#include "core/text.h"

namespace zorva::server {

namespace {

bool IsCleanName(std::string_view name) {
  for (unsigned char c : name) {
    if (c < 0x20 || c == 0x7F || c == 0x80 || c == 0xFF) return false;
  }
  // Code page 936 text converts to UTF-8 without replacement characters.
  return ToUtf8(Text(name)).find("\xEF\xBF\xBD") == std::string::npos;
}

}  // namespace

RegisterResult RegisterUser(Database& db, std::string_view name, std::string_view password,
                            std::string_view type) {
  if (name.empty()) return RegisterResult::EmptyName;
  if (password.empty()) return RegisterResult::EmptyPassword;
  if (name.size() > kMaxNameBytes) return RegisterResult::NameTooLong;
  if (password.size() > kMaxPasswordBytes) return RegisterResult::PasswordTooLong;
  if (!IsCleanName(name)) return RegisterResult::BadName;
  PasswordHash hash;
  if (!HashPassword(ReducePassword(password), &hash)) return RegisterResult::Failed;
  switch (db.AddUser(name, hash, type.empty() ? std::string_view(kDefaultUserType) : type)) {
    case Database::AddResult::Added:
      return RegisterResult::Added;
    case Database::AddResult::Taken:
      return RegisterResult::Taken;
    case Database::AddResult::Failed:
      break;
  }
  return RegisterResult::Failed;
}

const char* Describe(RegisterResult result) {
  switch (result) {
    case RegisterResult::Added:
      return "user added";
    case RegisterResult::Taken:
      return "this name is taken";
    case RegisterResult::EmptyName:
      return "the name is empty";
    case RegisterResult::EmptyPassword:
      return "the password is empty";
    case RegisterResult::NameTooLong:
      return "the name is longer than 32 bytes in code page 936";
    case RegisterResult::PasswordTooLong:
      return "the password is longer than 64 bytes";
    case RegisterResult::BadName:
      return "the name holds control characters or characters code page 936 cannot hold";
    case RegisterResult::Failed:
      return "the database refused the user";
  }
  return "unknown result";
}

std::optional<UserRecord> CheckSignIn(Database& db, std::string_view name,
                                      std::string_view scrambledPassword) {
  if (name.empty() || scrambledPassword.empty()) return std::nullopt;
  auto user = db.FindUser(name);
  if (!user) return std::nullopt;
  Text decoded = ScrambleText(Text(scrambledPassword), Text(""));
  if (decoded.IsEmpty() || !VerifyPassword(decoded.str(), user->password)) return std::nullopt;
  return user;
}

}  // namespace zorva::server
