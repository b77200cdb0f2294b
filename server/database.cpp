#include "server/database.h"

#include <sqlite3.h>

namespace zorva::server {

namespace {

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS users (
  name BLOB PRIMARY KEY NOT NULL,
  type TEXT NOT NULL,
  salt BLOB NOT NULL,
  hash BLOB NOT NULL,
  iterations INTEGER NOT NULL,
  created TEXT NOT NULL DEFAULT (datetime('now'))
);
CREATE TABLE IF NOT EXISTS suggestions (
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  received TEXT NOT NULL DEFAULT (datetime('now')),
  user BLOB NOT NULL,
  type TEXT NOT NULL,
  content BLOB NOT NULL
);
)sql";

// A prepared statement that finalizes itself.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr); }
  ~Statement() { sqlite3_finalize(m_stmt); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool Valid() const { return m_stmt != nullptr; }
  void Bind(int index, std::string_view bytes) {
    sqlite3_bind_blob(m_stmt, index, bytes.data(), static_cast<int>(bytes.size()),
                      SQLITE_TRANSIENT);
  }
  void BindText(int index, std::string_view text) {
    sqlite3_bind_text(m_stmt, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  }
  void Bind(int index, int value) { sqlite3_bind_int(m_stmt, index, value); }
  int Step() { return sqlite3_step(m_stmt); }
  std::string Column(int index) {
    const void* data = sqlite3_column_blob(m_stmt, index);
    int size = sqlite3_column_bytes(m_stmt, index);
    return data ? std::string(static_cast<const char*>(data), static_cast<size_t>(size))
                : std::string();
  }
  long long ColumnInt(int index) { return sqlite3_column_int64(m_stmt, index); }

 private:
  sqlite3_stmt* m_stmt = nullptr;
};

}  // namespace

std::unique_ptr<Database> Database::Open(const std::string& path, std::string* error) {
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  if (rc != SQLITE_OK) {
    if (error) *error = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    sqlite3_close(db);
    return nullptr;
  }
  // Another process (add-user) may hold the write lock for a moment.
  sqlite3_busy_timeout(db, 10000);
  char* message = nullptr;
  if (sqlite3_exec(db, kSchema, nullptr, nullptr, &message) != SQLITE_OK) {
    if (error) *error = message ? message : "cannot create the tables";
    sqlite3_free(message);
    sqlite3_close(db);
    return nullptr;
  }
  return std::unique_ptr<Database>(new Database(db));
}

Database::~Database() { sqlite3_close(m_db); }

Database::AddResult Database::AddUser(std::string_view name, const PasswordHash& password,
                                      std::string_view type) {
  std::lock_guard lock(m_mutex);
  Statement insert(m_db,
                   "INSERT INTO users (name, type, salt, hash, iterations) VALUES (?, ?, ?, ?, ?)");
  if (!insert.Valid()) return AddResult::Failed;
  insert.Bind(1, name);
  insert.BindText(2, type);
  insert.Bind(3, password.salt);
  insert.Bind(4, password.hash);
  insert.Bind(5, password.iterations);
  int rc = insert.Step();
  if (rc == SQLITE_DONE) return AddResult::Added;
  if (sqlite3_extended_errcode(m_db) == SQLITE_CONSTRAINT_PRIMARYKEY) return AddResult::Taken;
  return AddResult::Failed;
}

std::optional<UserRecord> Database::FindUser(std::string_view name) {
  std::lock_guard lock(m_mutex);
  Statement select(m_db, "SELECT type, salt, hash, iterations FROM users WHERE name = ?");
  if (!select.Valid()) return std::nullopt;
  select.Bind(1, name);
  if (select.Step() != SQLITE_ROW) return std::nullopt;
  UserRecord user;
  user.name = std::string(name);
  user.type = select.Column(0);
  user.password.salt = select.Column(1);
  user.password.hash = select.Column(2);
  user.password.iterations = static_cast<int>(select.ColumnInt(3));
  return user;
}

bool Database::AddSuggestion(std::string_view user, std::string_view type,
                             std::string_view content) {
  std::lock_guard lock(m_mutex);
  Statement insert(m_db, "INSERT INTO suggestions (user, type, content) VALUES (?, ?, ?)");
  if (!insert.Valid()) return false;
  insert.Bind(1, user);
  insert.BindText(2, type);
  insert.Bind(3, content);
  return insert.Step() == SQLITE_DONE;
}

std::vector<Suggestion> Database::Suggestions() {
  std::lock_guard lock(m_mutex);
  std::vector<Suggestion> rows;
  Statement select(m_db, "SELECT id, received, user, type, content FROM suggestions ORDER BY id");
  if (!select.Valid()) return rows;
  while (select.Step() == SQLITE_ROW) {
    Suggestion row;
    row.id = select.ColumnInt(0);
    row.received = select.Column(1);
    row.user = select.Column(2);
    row.type = select.Column(3);
    row.content = select.Column(4);
    rows.push_back(std::move(row));
  }
  return rows;
}

std::string Database::LastError() {
  std::lock_guard lock(m_mutex);
  return sqlite3_errmsg(m_db);
}

}  // namespace zorva::server
