#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "server/password_hash.h"

struct sqlite3;

namespace zorva::server {

struct UserRecord {
  std::string name;  // code page 936 bytes
  std::string type;
  PasswordHash password;
};

struct Suggestion {
  long long id = 0;
  std::string received;  // UTC, "YYYY-MM-DD HH:MM:SS"
  std::string user;      // code page 936 bytes
  std::string type;
  std::string content;  // code page 936 bytes, as received
};

// The server's users and the suggestions it received, in one SQLite file.
// Names and contents are kept as the bytes the client sent. Safe to use from
// several threads; other processes may use the same file at the same time
// (add-user while the server runs).
class Database {
 public:
  // Opens or creates the file. On failure returns nullptr and says why.
  static std::unique_ptr<Database> Open(const std::string& path, std::string* error);
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  enum class AddResult { Added, Taken, Failed };
  AddResult AddUser(std::string_view name, const PasswordHash& password, std::string_view type);
  std::optional<UserRecord> FindUser(std::string_view name);

  bool AddSuggestion(std::string_view user, std::string_view type, std::string_view content);
  std::vector<Suggestion> Suggestions();

  // The last error SQLite reported, for messages.
  std::string LastError();

 private:
  explicit Database(sqlite3* db) : m_db(db) {}
  sqlite3* m_db;
  std::mutex m_mutex;
};

}  // namespace zorva::server
