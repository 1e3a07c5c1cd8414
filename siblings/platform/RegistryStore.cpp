#include "platform/RegistryStore.h"

#include <unistd.h>

#include "QVFramework.h"
#include "platform/StationDir.h"

namespace qvplatform {

namespace {

const char kSchema[] =
    "CREATE TABLE IF NOT EXISTS keys(id INTEGER PRIMARY KEY, parent INTEGER, name TEXT NOT NULL,"
    " lname TEXT NOT NULL, owner TEXT NOT NULL DEFAULT '', has_dacl INTEGER NOT NULL DEFAULT 0);"
    "CREATE UNIQUE INDEX IF NOT EXISTS keys_child ON keys(parent, lname);"
    "CREATE TABLE IF NOT EXISTS aces(key INTEGER NOT NULL, seq INTEGER NOT NULL, account TEXT NOT NULL,"
    " mask INTEGER NOT NULL, PRIMARY KEY(key, seq));"
    "CREATE TABLE IF NOT EXISTS vals(key INTEGER NOT NULL, lname TEXT NOT NULL, name TEXT NOT NULL,"
    " type INTEGER NOT NULL, data BLOB, PRIMARY KEY(key, lname));"
    "CREATE TABLE IF NOT EXISTS groups(lname TEXT PRIMARY KEY, name TEXT NOT NULL, comment TEXT NOT NULL);"
    "CREATE TABLE IF NOT EXISTS members(glname TEXT NOT NULL, lname TEXT NOT NULL, user TEXT NOT NULL,"
    " PRIMARY KEY(glname, lname));";

std::string Lower(const std::string& text) { return QVLowerAscii(text); }

// A prepared statement, finalized when it goes out of scope.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr); }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& Bind(int i, int64_t v) {
    sqlite3_bind_int64(stmt_, i, v);
    return *this;
  }
  Statement& Bind(int i, const std::string& v) {
    sqlite3_bind_text(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Statement& BindBlob(int i, const std::string& v) {
    sqlite3_bind_blob(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    return *this;
  }
  bool Row() { return stmt_ != nullptr && sqlite3_step(stmt_) == SQLITE_ROW; }
  bool Done() { return stmt_ != nullptr && sqlite3_step(stmt_) == SQLITE_DONE; }
  int64_t Int(int col) { return sqlite3_column_int64(stmt_, col); }
  std::string Text(int col) {
    const void* p = sqlite3_column_blob(stmt_, col);
    return p != nullptr ? std::string(static_cast<const char*>(p), sqlite3_column_bytes(stmt_, col)) : std::string();
  }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

std::mutex g_openMutex;
RegistryStore* g_store = nullptr;
std::string g_storePath;
pid_t g_storePid = 0;

}  // namespace

RegistryStore* RegistryStore::ForStation() {
  std::string dir = StationDirectory();
  if (dir.empty()) return nullptr;
  std::string path = dir + "/registry.db";
  std::lock_guard<std::mutex> lock(g_openMutex);
  if (g_store != nullptr && g_storePath == path && g_storePid == getpid()) return g_store;
  // A connection must not cross a fork; the parent's is left alone.
  if (g_store != nullptr && g_storePid == getpid()) delete g_store;
  g_store = nullptr;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                      nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return nullptr;
  }
  sqlite3_busy_timeout(db, 30000);
  auto* store = new RegistryStore(db);
  sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;", nullptr, nullptr, nullptr);
  if (!store->LayOutNewStation()) {
    delete store;
    return nullptr;
  }
  g_store = store;
  g_storePath = path;
  g_storePid = getpid();
  return g_store;
}

RegistryStore::~RegistryStore() { sqlite3_close(db_); }

LONG RegistryStore::Transaction(const std::function<LONG()>& body) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) return ERROR_BADDB;
  LONG rc = body();
  if (rc == 0 && sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) rc = ERROR_BADDB;
  if (rc != 0) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  return rc;
}

// The root key, readable by Everyone and fully open to Administrators, and
// the Administrators group with the station's creator in it.
bool RegistryStore::LayOutNewStation() {
  return Transaction([&]() -> LONG {
    if (sqlite3_exec(db_, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK) return ERROR_BADDB;
    KeyRow root;
    if (ReadKey(1, &root)) return 0;
    root = KeyRow{1, "HKEY_LOCAL_MACHINE", "Administrators", true,
                  {{"Everyone", KEY_READ}, {"Administrators", KEY_ALL_ACCESS}}};
    Statement insert(db_, "INSERT INTO keys(id, parent, name, lname, owner, has_dacl) VALUES(1, NULL, ?, ?, ?, 1)");
    if (!insert.Bind(1, root.name).Bind(2, Lower(root.name)).Bind(3, root.owner).Done() || !WriteAces(root)) {
      return ERROR_BADDB;
    }
    if (AddGroup("Administrators", "Administrators of the station") != 0) return ERROR_BADDB;
    return AddMember("Administrators", CallerUserName());
  }) == 0;
}

bool RegistryStore::ReadAces(KeyRow* row) {
  row->dacl.clear();
  Statement q(db_, "SELECT account, mask FROM aces WHERE key = ? ORDER BY seq");
  q.Bind(1, row->id);
  while (q.Row()) row->dacl.push_back({q.Text(0), static_cast<uint32_t>(q.Int(1))});
  return true;
}

bool RegistryStore::WriteAces(const KeyRow& row) {
  Statement clear(db_, "DELETE FROM aces WHERE key = ?");
  if (!clear.Bind(1, row.id).Done()) return false;
  for (size_t i = 0; i < row.dacl.size(); ++i) {
    Statement add(db_, "INSERT INTO aces(key, seq, account, mask) VALUES(?, ?, ?, ?)");
    add.Bind(1, row.id).Bind(2, static_cast<int64_t>(i)).Bind(3, row.dacl[i].account);
    if (!add.Bind(4, static_cast<int64_t>(row.dacl[i].mask)).Done()) return false;
  }
  return true;
}

bool RegistryStore::ReadKey(int64_t id, KeyRow* row) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Statement q(db_, "SELECT name, owner, has_dacl FROM keys WHERE id = ?");
  if (!q.Bind(1, id).Row()) return false;
  *row = KeyRow{id, q.Text(0), q.Text(1), q.Int(2) != 0, {}};
  return ReadAces(row);
}

bool RegistryStore::FindChild(int64_t parent, const std::string& name, KeyRow* row) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Statement q(db_, "SELECT id FROM keys WHERE parent = ? AND lname = ?");
  if (!q.Bind(1, parent).Bind(2, Lower(name)).Row()) return false;
  return ReadKey(q.Int(0), row);
}

bool RegistryStore::ChildAt(int64_t parent, uint32_t index, std::string* name) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Statement q(db_, "SELECT name FROM keys WHERE parent = ? ORDER BY lname LIMIT 1 OFFSET ?");
  if (!q.Bind(1, parent).Bind(2, static_cast<int64_t>(index)).Row()) return false;
  *name = q.Text(0);
  return true;
}

bool RegistryStore::InsertKey(int64_t parent, KeyRow* row) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Statement add(db_, "INSERT INTO keys(parent, name, lname, owner, has_dacl) VALUES(?, ?, ?, ?, ?)");
  add.Bind(1, parent).Bind(2, row->name).Bind(3, Lower(row->name)).Bind(4, row->owner);
  if (!add.Bind(5, row->hasDacl ? 1 : 0).Done()) return false;
  row->id = sqlite3_last_insert_rowid(db_);
  return WriteAces(*row);
}

bool RegistryStore::DeleteKey(int64_t id) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Statement a(db_, "DELETE FROM aces WHERE key = ?");
  Statement v(db_, "DELETE FROM vals WHERE key = ?");
  Statement k(db_, "DELETE FROM keys WHERE id = ?");
  return a.Bind(1, id).Done() && v.Bind(1, id).Done() && k.Bind(1, id).Done();
}

bool RegistryStore::UpdateSecurity(const KeyRow& row) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Statement u(db_, "UPDATE keys SET owner = ?, has_dacl = ? WHERE id = ?");
  return u.Bind(1, row.owner).Bind(2, row.hasDacl ? 1 : 0).Bind(3, row.id).Done() && WriteAces(row);
}

bool RegistryStore::ReadValue(int64_t key, const std::string& name, uint32_t* type, std::string* bytes) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Statement q(db_, "SELECT type, data FROM vals WHERE key = ? AND lname = ?");
  if (!q.Bind(1, key).Bind(2, Lower(name)).Row()) return false;
  *type = static_cast<uint32_t>(q.Int(0));
  *bytes = q.Text(1);
  return true;
}

bool RegistryStore::WriteValue(int64_t key, const std::string& name, uint32_t type, const std::string& bytes) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Statement existing(db_, "SELECT name FROM vals WHERE key = ? AND lname = ?");
  std::string keptName = existing.Bind(1, key).Bind(2, Lower(name)).Row() ? existing.Text(0) : name;
  Statement put(db_, "INSERT OR REPLACE INTO vals(key, lname, name, type, data) VALUES(?, ?, ?, ?, ?)");
  put.Bind(1, key).Bind(2, Lower(name)).Bind(3, keptName).Bind(4, static_cast<int64_t>(type));
  return put.BindBlob(5, bytes).Done();
}

std::vector<std::string> RegistryStore::GroupsOf(const std::string& user) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  std::vector<std::string> groups;
  Statement q(db_, "SELECT g.name FROM members m JOIN groups g ON g.lname = m.glname WHERE m.lname = ?");
  q.Bind(1, Lower(user));
  while (q.Row()) groups.push_back(q.Text(0));
  return groups;
}

uint32_t RegistryStore::AddGroup(const std::string& name, const std::string& comment) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (GroupExists(name)) return ERROR_ALIAS_EXISTS;
  Statement add(db_, "INSERT INTO groups(lname, name, comment) VALUES(?, ?, ?)");
  return add.Bind(1, Lower(name)).Bind(2, name).Bind(3, comment).Done() ? 0 : ERROR_BADDB;
}

uint32_t RegistryStore::AddMember(const std::string& group, const std::string& user) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (!GroupExists(group)) return ERROR_NO_SUCH_ALIAS;
  Statement add(db_, "INSERT OR IGNORE INTO members(glname, lname, user) VALUES(?, ?, ?)");
  return add.Bind(1, Lower(group)).Bind(2, Lower(user)).Bind(3, user).Done() ? 0 : ERROR_BADDB;
}

bool RegistryStore::GroupExists(const std::string& name) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Statement q(db_, "SELECT 1 FROM groups WHERE lname = ?");
  return q.Bind(1, Lower(name)).Row();
}

LONG RegistryStore::EnsureLayoutKey(const std::vector<std::string>& path, bool hasDacl,
                                    const std::vector<ACCESS_ALLOWED_ACE>& dacl) {
  return Transaction([&]() -> LONG {
    KeyRow row;
    if (!ReadKey(1, &row)) return ERROR_BADDB;
    for (size_t i = 0; i < path.size(); ++i) {
      KeyRow child;
      if (FindChild(row.id, path[i], &child)) {
        row = child;
        continue;
      }
      const bool last = i + 1 == path.size();
      child = KeyRow{0, path[i], "Administrators", last ? hasDacl : row.hasDacl, last ? dacl : row.dacl};
      if (!InsertKey(row.id, &child)) return ERROR_BADDB;
      row = child;
    }
    return 0;
  });
}

}  // namespace qvplatform
