#include "platform/RegistryStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>

#include "QVFramework.h"
#include "platform/ErrorMap.h"
#include "platform/StationDir.h"

namespace qvplatform {

namespace {

// The key tables; '@' stands for the database that holds them. The keys of
// the station's own database ("main") are the administrators'; the children
// of a key named in its table "delegated" live in the station's shared
// database ("shared"), with ids from kSharedBase up, where every user of the
// station may write them: the project list.
const char kKeySchema[] =
    "CREATE TABLE IF NOT EXISTS @.keys(id INTEGER PRIMARY KEY, parent INTEGER, name TEXT NOT NULL,"
    " lname TEXT NOT NULL, owner TEXT NOT NULL DEFAULT '', has_dacl INTEGER NOT NULL DEFAULT 0);"
    "CREATE UNIQUE INDEX IF NOT EXISTS @.keys_child ON keys(parent, lname);"
    "CREATE TABLE IF NOT EXISTS @.aces(key INTEGER NOT NULL, seq INTEGER NOT NULL, account TEXT NOT NULL,"
    " mask INTEGER NOT NULL, PRIMARY KEY(key, seq));"
    "CREATE TABLE IF NOT EXISTS @.vals(key INTEGER NOT NULL, lname TEXT NOT NULL, name TEXT NOT NULL,"
    " type INTEGER NOT NULL, data BLOB, PRIMARY KEY(key, lname));";
const char kMainSchema[] =
    "CREATE TABLE IF NOT EXISTS main.groups(lname TEXT PRIMARY KEY, name TEXT NOT NULL, comment TEXT NOT NULL);"
    "CREATE TABLE IF NOT EXISTS main.members(glname TEXT NOT NULL, lname TEXT NOT NULL, user TEXT NOT NULL,"
    " PRIMARY KEY(glname, lname));"
    "CREATE TABLE IF NOT EXISTS main.delegated(key INTEGER PRIMARY KEY);";

constexpr int64_t kSharedBase = int64_t{1} << 40;

// The SQL with '@' replaced by the database that holds the key id.
std::string In(int64_t id, const char* sql) {
  std::string text(sql);
  const char* schema = id >= kSharedBase ? "shared" : "main";
  for (size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at)) text.replace(at, 1, schema);
  return text;
}

std::string Lower(const std::string& text) { return QVLowerAscii(text); }

// Codes of the platform that the database's failures stand for; the
// platform's error-code header does not carry them.
constexpr LONG kErrorBusy = 170;
constexpr LONG kErrorFileCorrupt = 1392;
constexpr LONG kErrorOpenFailed = 110;

// What a failed SQLite call means to the registry's callers. File-system
// failures are told by the errno behind them, through the one errno table;
// a read-only registry is access denied, as a read-only file is.
LONG RegistryError(sqlite3* db, int rc) {
  switch (rc & 0xff) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
      return 0;
    case SQLITE_FULL:
      return ERROR_DISK_FULL;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return ERROR_ACCESS_DENIED;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return kErrorBusy;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
      return kErrorFileCorrupt;
    case SQLITE_NOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_CANTOPEN:
    case SQLITE_IOERR: {
      int err = db != nullptr ? sqlite3_system_errno(db) : 0;
      if (err != 0) return static_cast<LONG>(Win32FromErrno(err));
      return (rc & 0xff) == SQLITE_CANTOPEN ? kErrorOpenFailed : ERROR_GEN_FAILURE;
    }
    default:
      return ERROR_BADDB;
  }
}

// A prepared statement of the store's cache, reset and given back when it
// goes out of scope. A failure to prepare shows at the first step.
class Statement {
 public:
  Statement(StatementCache& cache, std::string sql) : cache_(cache), sql_(std::move(sql)), db_(cache.Db()) {
    status_ = cache_.Take(sql_, &stmt_);
  }
  ~Statement() { cache_.Give(sql_, stmt_); }
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
  // Steps once: true when a row is there.
  bool Row() { return Step() == SQLITE_ROW; }
  // Runs a statement that gives no rows: 0 or the failure.
  LONG Run() { return Step() == SQLITE_DONE ? 0 : Error(); }
  // After Row() was false: 0 at the end of the rows, else the failure.
  LONG Error() const { return status_ == SQLITE_DONE ? 0 : RegistryError(db_, status_); }
  // After Row() was false: ERROR_FILE_NOT_FOUND when there was no row.
  LONG Missing() const { return status_ == SQLITE_DONE ? ERROR_FILE_NOT_FOUND : Error(); }
  int64_t Int(int col) { return sqlite3_column_int64(stmt_, col); }
  std::string Text(int col) {
    const void* p = sqlite3_column_blob(stmt_, col);
    return p != nullptr ? std::string(static_cast<const char*>(p), sqlite3_column_bytes(stmt_, col)) : std::string();
  }

 private:
  int Step() {
    if (status_ == SQLITE_OK || status_ == SQLITE_ROW) status_ = sqlite3_step(stmt_);
    return status_;
  }

  StatementCache& cache_;
  const std::string sql_;
  sqlite3* db_;
  sqlite3_stmt* stmt_ = nullptr;
  int status_;
};

// The store of the current station, kept for the next call. It is never
// destroyed at exit: a forked child that exits must not close its parent's
// connection.
struct CurrentStore {
  std::mutex mutex;
  std::shared_ptr<RegistryStore> store;
  std::string path;
  pid_t pid = 0;
  // Connections a forked child inherited: SQLite's locks belong to the
  // parent's, so the child never closes them.
  std::vector<std::shared_ptr<RegistryStore>> inherited;
};
CurrentStore& Current() {
  static CurrentStore* current = new CurrentStore;
  return *current;
}

// A registry file made here: the station's own database only its
// administrators may write (0644), the shared one every user of a shared
// station (0660). Only a file made here is touched: closing a descriptor of
// a file that a connection of this process has open would drop that
// connection's locks.
void CreateRegistryFile(const std::string& path, bool shared) {
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return;
  if (shared) ShareStationFile(fd);
  close(fd);
}

// The registry file checked before SQLite opens it: a link, a FIFO or a
// directory is refused, never opened. A missing file is made when this
// process may: anyone in a station of one user, only the administrator in a
// shared one, where a station without its registry refuses every right.
LONG PrepareRegistryFile(const std::string& path, bool shared, struct stat* st) {
  uint32_t rc = CheckStationFile(path, st);
  const bool mayCreate = shared || !IsSharedStation() || CallerOwnsStation() || geteuid() == 0;
  if (rc == ERROR_FILE_NOT_FOUND && mayCreate) {
    CreateRegistryFile(path, shared);
    rc = CheckStationFile(path, st);
  }
  return rc == ERROR_FILE_NOT_FOUND ? ERROR_CANT_ACCESS_FILE : static_cast<LONG>(rc);
}

// A busy registry fails promptly: all the waits of one process together
// stay under a few seconds, so that a user holding the database cannot make
// every command wait on it in turn.
int WaitWhileBusy(void*, int) {
  static std::atomic<int> leftMs{5000};
  constexpr int kStepMs = 5;
  if (leftMs.fetch_sub(kStepMs) <= 0) return 0;
  sqlite3_sleep(kStepMs);
  return 1;
}

int Attach(sqlite3* db, const std::string& file) {
  sqlite3_stmt* attach = nullptr;
  int rc = sqlite3_prepare_v2(db, "ATTACH ? AS shared", -1, &attach, nullptr);
  if (rc == SQLITE_OK) sqlite3_bind_text(attach, 1, file.c_str(), -1, SQLITE_TRANSIENT);
  if (rc == SQLITE_OK) rc = sqlite3_step(attach);
  sqlite3_finalize(attach);
  return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

// A path as an SQLite file URI.
std::string FileUri(const std::string& path) {
  std::string uri = "file:";
  for (char c : path) {
    if (c == '%' || c == '?' || c == '#') {
      char escaped[4];
      snprintf(escaped, sizeof escaped, "%%%02X", static_cast<unsigned char>(c));
      uri += escaped;
    } else {
      uri += c;
    }
  }
  return uri;
}

// Opens the station's database and attaches the shared one; never follows a
// link in either.
LONG OpenDatabases(const std::string& path, sqlite3** db, bool* trusted) {
  struct stat st;
  if (LONG rc = PrepareRegistryFile(path, false, &st)) return rc;
  *trusted = !IsSharedStation() || WritableByAdministratorsOnly(st);
  const std::string shared = path.substr(0, path.find_last_of('/') + 1) + RegistryStore::kSharedFile;
  struct stat sharedSt;
  if (LONG rc = PrepareRegistryFile(shared, true, &sharedSt)) return rc;
  int rc = sqlite3_open_v2(FileUri(path).c_str(), db,
                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX | SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_URI,
                           nullptr);
  if (rc != SQLITE_OK) return RegistryError(*db, rc);
  sqlite3_busy_handler(*db, WaitWhileBusy, nullptr);
  rc = Attach(*db, FileUri(shared));
  // A write-ahead log on a read-only mount cannot be opened for reading; no
  // one can change the file there, so it is read as it stands.
  struct statvfs fs;
  if (rc == SQLITE_CANTOPEN && statvfs(shared.c_str(), &fs) == 0 && (fs.f_flag & ST_RDONLY) != 0) {
    rc = Attach(*db, FileUri(shared) + "?immutable=1");
  }
  return rc == SQLITE_OK || rc == SQLITE_DONE ? 0 : RegistryError(*db, rc);
}

}  // namespace

void StatementCache::Clear() {
  for (auto& kept : kept_) sqlite3_finalize(kept.second);
  kept_.clear();
}

int StatementCache::Take(const std::string& sql, sqlite3_stmt** stmt) {
  auto kept = kept_.find(sql);
  if (kept != kept_.end()) {
    *stmt = kept->second;
    kept_.erase(kept);
    return SQLITE_OK;
  }
  return sqlite3_prepare_v3(db_, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, stmt, nullptr);
}

void StatementCache::Give(const std::string& sql, sqlite3_stmt* stmt) {
  if (stmt == nullptr) return;
  // A reset statement holds no read transaction open between calls.
  sqlite3_reset(stmt);
  sqlite3_clear_bindings(stmt);
  if (!kept_.emplace(sql, stmt).second) sqlite3_finalize(stmt);
}

std::shared_ptr<RegistryStore> RegistryStore::ForStation(LONG* error) {
  LONG ignored = 0;
  LONG& result = error != nullptr ? *error : ignored;
  std::string path = RegistryPath();
  if (path.empty()) {
    result = ERROR_CANT_ACCESS_FILE;  // no station, so no registry to grant a right
    return nullptr;
  }
  CurrentStore& current = Current();
  std::lock_guard<std::mutex> lock(current.mutex);
  if (current.store != nullptr && current.pid != getpid()) current.inherited.push_back(std::move(current.store));
  if (current.store != nullptr && current.path == path) return current.store;
  current.store.reset();  // users of the previous station's store keep it open until they are done
  sqlite3* db = nullptr;
  bool trusted = false;
  result = OpenDatabases(path, &db, &trusted);
  if (result != 0) {
    sqlite3_close(db);
    return nullptr;
  }
  std::shared_ptr<RegistryStore> store(new RegistryStore(db, trusted));
  result = store->Exec(In(kSharedBase, kKeySchema).c_str());
  // The shared database keeps a write-ahead log, so that a long read of one
  // process never holds up another's registration.
  if (result == 0) result = store->Exec("PRAGMA shared.journal_mode=WAL; PRAGMA main.synchronous=FULL;"
                                        " PRAGMA shared.synchronous=FULL;");
  if (result == 0) result = store->LayOutNewStation();
  if (result != 0) return nullptr;
  current.store = store;
  current.path = path;
  current.pid = getpid();
  return store;
}

RegistryStore::~RegistryStore() {
  statements_.Clear();
  sqlite3_close(db_);
}

LONG RegistryStore::Run(const char* sql) {
  Statement statement(statements_, sql);
  return statement.Run();
}

LONG RegistryStore::Exec(const char* sql) {
  int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
  return rc == SQLITE_OK ? 0 : RegistryError(db_, rc);
}

LONG RegistryStore::Transaction(const std::function<LONG()>& body) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  // A read scope promises one state of the registry: no change inside it.
  if (readScopes_ > 0) return kErrorBusy;
  if (writing_) return body();  // a step of the transaction already open
  // The shared database is locked for writing at once, so that two writers
  // never both wait to upgrade a read. The station's own database is locked
  // only by a step that writes it: its lock would hold up every reader of a
  // rollback journal, and most transactions never write it.
  if (LONG rc = Run("BEGIN")) return rc;
  if (LONG rc = Run("UPDATE shared.keys SET id = id WHERE 0")) {
    Run("ROLLBACK");
    return rc;
  }
  writing_ = true;
  LONG rc = body();
  writing_ = false;
  if (rc == 0) rc = Run("COMMIT");
  if (rc != 0) Run("ROLLBACK");
  return rc;
}

bool RegistryStore::BeginRead() {
  mutex_.lock();
  ++readScopes_;
  return sqlite3_get_autocommit(db_) != 0 && Run("BEGIN") == 0;
}

void RegistryStore::EndRead(bool began) {
  if (began && Run("COMMIT") != 0) Run("ROLLBACK");
  --readScopes_;
  mutex_.unlock();
}

uint64_t RegistryStore::Generation() {
  // Numbers handed out in this process only grow, so a connection opened
  // later (after a change of station, or in a forked child) never repeats
  // one that an earlier connection gave.
  static std::atomic<uint64_t> lastGiven{0};
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  // data_version counts the commits of other connections, the change count
  // this connection's own.
  Statement main(statements_, "PRAGMA main.data_version");
  Statement shared(statements_, "PRAGMA shared.data_version");
  if (!main.Row() || !shared.Row()) return 0;
  const int64_t others = (main.Int(0) << 32) + shared.Int(0);
  const int64_t own = sqlite3_total_changes64(db_);
  if (generation_ == 0 || others != seenOthers_ || own != seenOwn_) {
    generation_ = ++lastGiven;
    seenOthers_ = others;
    seenOwn_ = own;
  }
  return generation_;
}

// The root key, readable by Everyone and fully open to Administrators, and
// the Administrators group with the station's creator (the owner of the
// station directory) in it.
LONG RegistryStore::LayOutNewStation() {
  KeyRow root;
  if (ReadKey(1, &root) == 0) return 0;  // laid out already: no write needed
  return Transaction([&]() -> LONG {
    if (LONG rc = Exec(In(1, kKeySchema).c_str())) return rc;
    if (LONG rc = Exec(kMainSchema)) return rc;
    LONG found = ReadKey(1, &root);
    if (found != ERROR_FILE_NOT_FOUND) return found;
    root = KeyRow{1, "HKEY_LOCAL_MACHINE", "Administrators", true,
                  {{"Everyone", KEY_READ}, {"Administrators", KEY_ALL_ACCESS}}};
    Statement insert(statements_,
                     "INSERT INTO main.keys(id, parent, name, lname, owner, has_dacl) VALUES(1, NULL, ?, ?, ?, 1)");
    if (LONG rc = insert.Bind(1, root.name).Bind(2, Lower(root.name)).Bind(3, root.owner).Run()) return rc;
    if (LONG rc = WriteAces(root)) return rc;
    if (LONG rc = AddGroup("Administrators", "Administrators of the station")) return rc;
    // Whoever happens to open a shared station first is not its administrator.
    return CallerOwnsStation() ? AddMember("Administrators", CallerUserName()) : 0;
  });
}

LONG RegistryStore::ReadAces(KeyRow* row) {
  row->dacl.clear();
  Statement q(statements_, In(row->id, "SELECT account, mask FROM @.aces WHERE key = ? ORDER BY seq"));
  q.Bind(1, row->id);
  while (q.Row()) row->dacl.push_back({q.Text(0), static_cast<uint32_t>(q.Int(1))});
  return q.Error();
}

LONG RegistryStore::WriteAces(const KeyRow& row) {
  Statement clear(statements_, In(row.id, "DELETE FROM @.aces WHERE key = ?"));
  if (LONG rc = clear.Bind(1, row.id).Run()) return rc;
  for (size_t i = 0; i < row.dacl.size(); ++i) {
    Statement add(statements_, In(row.id, "INSERT INTO @.aces(key, seq, account, mask) VALUES(?, ?, ?, ?)"));
    add.Bind(1, row.id).Bind(2, static_cast<int64_t>(i)).Bind(3, row.dacl[i].account);
    if (LONG rc = add.Bind(4, static_cast<int64_t>(row.dacl[i].mask)).Run()) return rc;
  }
  return 0;
}

LONG RegistryStore::ReadKey(int64_t id, KeyRow* row) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Statement q(statements_, In(id, "SELECT name, owner, has_dacl FROM @.keys WHERE id = ?"));
  if (!q.Bind(1, id).Row()) return q.Missing();
  *row = KeyRow{id, q.Text(0), q.Text(1), q.Int(2) != 0, {}};
  return ReadAces(row);
}

LONG RegistryStore::FindChild(int64_t parent, const std::string& name, KeyRow* row) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Statement q(statements_, In(ChildrenIn(parent), "SELECT id FROM @.keys WHERE parent = ? AND lname = ?"));
  if (!q.Bind(1, parent).Bind(2, Lower(name)).Row()) return q.Missing();
  return ReadKey(q.Int(0), row);
}

LONG RegistryStore::ChildAt(int64_t parent, uint32_t index, std::string* name) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Statement q(statements_,
              In(ChildrenIn(parent), "SELECT name FROM @.keys WHERE parent = ? ORDER BY lname LIMIT 1 OFFSET ?"));
  if (!q.Bind(1, parent).Bind(2, static_cast<int64_t>(index)).Row()) {
    LONG rc = q.Error();
    return rc != 0 ? rc : ERROR_NO_MORE_ITEMS;
  }
  *name = q.Text(0);
  return 0;
}

int64_t RegistryStore::ChildrenIn(int64_t parent) {
  if (parent >= kSharedBase) return kSharedBase;
  Statement q(statements_, "SELECT 1 FROM main.delegated WHERE key = ?");
  return q.Bind(1, parent).Row() ? kSharedBase : 0;
}

LONG RegistryStore::InsertKey(int64_t parent, KeyRow* row) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  const int64_t in = ChildrenIn(parent);
  Statement add(statements_, In(in, "INSERT INTO @.keys(id, parent, name, lname, owner, has_dacl)"
                                    " VALUES(max(?, (SELECT coalesce(max(id), 0) + 1 FROM @.keys)), ?, ?, ?, ?, ?)"));
  add.Bind(1, in).Bind(2, parent).Bind(3, row->name).Bind(4, Lower(row->name)).Bind(5, row->owner);
  if (LONG rc = add.Bind(6, row->hasDacl ? 1 : 0).Run()) return rc;
  row->id = sqlite3_last_insert_rowid(db_);
  return WriteAces(*row);
}

LONG RegistryStore::DeleteKey(int64_t id) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  for (const char* sql : {"DELETE FROM @.aces WHERE key = ?", "DELETE FROM @.vals WHERE key = ?",
                          "DELETE FROM @.keys WHERE id = ?"}) {
    Statement remove(statements_, In(id, sql));
    if (LONG rc = remove.Bind(1, id).Run()) return rc;
  }
  return 0;
}

LONG RegistryStore::UpdateSecurity(const KeyRow& row) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Statement u(statements_, In(row.id, "UPDATE @.keys SET owner = ?, has_dacl = ? WHERE id = ?"));
  if (LONG rc = u.Bind(1, row.owner).Bind(2, row.hasDacl ? 1 : 0).Bind(3, row.id).Run()) return rc;
  return WriteAces(row);
}

LONG RegistryStore::ReadValue(int64_t key, const std::string& name, uint32_t* type, std::string* bytes) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Statement q(statements_, In(key, "SELECT type, data FROM @.vals WHERE key = ? AND lname = ?"));
  if (!q.Bind(1, key).Bind(2, Lower(name)).Row()) return q.Missing();
  *type = static_cast<uint32_t>(q.Int(0));
  *bytes = q.Text(1);
  return 0;
}

LONG RegistryStore::WriteValue(int64_t key, const std::string& name, uint32_t type, const std::string& bytes) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Statement existing(statements_, In(key, "SELECT name FROM @.vals WHERE key = ? AND lname = ?"));
  std::string keptName = name;
  if (existing.Bind(1, key).Bind(2, Lower(name)).Row()) {
    keptName = existing.Text(0);
  } else if (LONG rc = existing.Error()) {
    return rc;
  }
  Statement put(statements_,
                In(key, "INSERT OR REPLACE INTO @.vals(key, lname, name, type, data) VALUES(?, ?, ?, ?, ?)"));
  put.Bind(1, key).Bind(2, Lower(name)).Bind(3, keptName).Bind(4, static_cast<int64_t>(type));
  return put.BindBlob(5, bytes).Run();
}

std::vector<std::string> RegistryStore::GroupsOf(const std::string& user) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  std::vector<std::string> groups;
  if (!trusted_) return groups;  // memberships its users could have written grant nothing
  Statement q(statements_, "SELECT g.name FROM main.members m JOIN main.groups g ON g.lname = m.glname WHERE m.lname = ?");
  q.Bind(1, Lower(user));
  while (q.Row()) groups.push_back(q.Text(0));
  return groups;
}

uint32_t RegistryStore::AddGroup(const std::string& name, const std::string& comment) {
  return static_cast<uint32_t>(Transaction([&]() -> LONG {
    if (GroupExists(name)) return ERROR_ALIAS_EXISTS;
    Statement add(statements_, "INSERT INTO main.groups(lname, name, comment) VALUES(?, ?, ?)");
    return add.Bind(1, Lower(name)).Bind(2, name).Bind(3, comment).Run();
  }));
}

uint32_t RegistryStore::AddMember(const std::string& group, const std::string& user) {
  return static_cast<uint32_t>(Transaction([&]() -> LONG {
    if (!GroupExists(group)) return ERROR_NO_SUCH_ALIAS;
    Statement add(statements_, "INSERT OR IGNORE INTO main.members(glname, lname, user) VALUES(?, ?, ?)");
    return add.Bind(1, Lower(group)).Bind(2, Lower(user)).Bind(3, user).Run();
  }));
}

uint32_t RegistryStore::RemoveMember(const std::string& group, const std::string& user) {
  return static_cast<uint32_t>(Transaction([&]() -> LONG {
    if (!GroupExists(group)) return ERROR_NO_SUCH_ALIAS;
    Statement remove(statements_, "DELETE FROM main.members WHERE glname = ? AND lname = ?");
    if (LONG rc = remove.Bind(1, Lower(group)).Bind(2, Lower(user)).Run()) return rc;
    return sqlite3_changes(db_) == 0 ? ERROR_MEMBER_NOT_IN_ALIAS : 0;
  }));
}

uint32_t RegistryStore::ReadGroup(const std::string& name, LocalGroupInfo* info) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Statement group(statements_, "SELECT name, comment FROM main.groups WHERE lname = ?");
  if (!group.Bind(1, Lower(name)).Row()) return group.Error() != 0 ? static_cast<uint32_t>(group.Error()) : ERROR_NO_SUCH_ALIAS;
  LocalGroupInfo read{group.Text(0), group.Text(1), {}};
  Statement members(statements_, "SELECT user FROM main.members WHERE glname = ? ORDER BY lname");
  members.Bind(1, Lower(name));
  while (members.Row()) read.members.push_back(members.Text(0));
  if (LONG rc = members.Error()) return static_cast<uint32_t>(rc);
  *info = std::move(read);
  return 0;
}

bool RegistryStore::GroupExists(const std::string& name) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Statement q(statements_, "SELECT 1 FROM main.groups WHERE lname = ?");
  return q.Bind(1, Lower(name)).Row();
}

LONG RegistryStore::EnsureLayoutKey(const std::vector<std::string>& path, bool hasDacl,
                                    const std::vector<AccessEntry>& dacl, bool shareChildren) {
  // A station laid out already needs no write, so that this works inside a
  // read scope too.
  KeyRow row;
  if (WalkLayout(path, false, hasDacl, dacl, &row) == 0 && (!shareChildren || ChildrenIn(row.id) == kSharedBase)) {
    return 0;
  }
  return Transaction([&]() -> LONG {
    if (LONG rc = WalkLayout(path, true, hasDacl, dacl, &row)) return rc;
    return shareChildren ? ShareChildren(row.id) : 0;
  });
}

LONG RegistryStore::WalkLayout(const std::vector<std::string>& path, bool create, bool hasDacl,
                               const std::vector<AccessEntry>& dacl, KeyRow* row) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (LONG rc = ReadKey(1, row)) return rc;
  for (size_t i = 0; i < path.size(); ++i) {
    KeyRow child;
    LONG found = FindChild(row->id, path[i], &child);
    if (found == 0) {
      *row = child;
      continue;
    }
    if (found != ERROR_FILE_NOT_FOUND || !create) return found;
    const bool last = i + 1 == path.size();
    child = KeyRow{0, path[i], "Administrators", last ? hasDacl : row->hasDacl, last ? dacl : row->dacl};
    if (LONG rc = InsertKey(row->id, &child)) return rc;
    *row = child;
  }
  return 0;
}

// Marks the key's children as kept in the shared database and moves there the
// ones it has (a registry laid out before the split). What a move cut short by
// a crash left in the shared database is thrown away first: until the mark is
// committed, the station's database holds them all.
LONG RegistryStore::ShareChildren(int64_t key) {
  if (ChildrenIn(key) == kSharedBase) return 0;
  if (LONG rc = Exec(kMainSchema)) return rc;
  if (LONG rc = Exec("DELETE FROM shared.aces; DELETE FROM shared.vals; DELETE FROM shared.keys;")) return rc;
  Statement mark(statements_, "INSERT INTO main.delegated(key) VALUES(?)");
  if (LONG rc = mark.Bind(1, key).Run()) return rc;
  return MoveChildren(key, key);
}

// Copies the children of from (in the station's database), with their values
// and sub-keys, under to, then removes them where they were.
LONG RegistryStore::MoveChildren(int64_t from, int64_t to) {
  std::vector<int64_t> children;
  {
    Statement q(statements_, "SELECT id FROM main.keys WHERE parent = ?");
    q.Bind(1, from);
    while (q.Row()) children.push_back(q.Int(0));
    if (LONG rc = q.Error()) return rc;
  }
  for (int64_t child : children) {
    KeyRow row;
    if (LONG rc = ReadKey(child, &row)) return rc;
    if (LONG rc = InsertKey(to, &row)) return rc;
    Statement values(statements_, "INSERT INTO shared.vals(key, lname, name, type, data)"
                                  " SELECT ?, lname, name, type, data FROM main.vals WHERE key = ?");
    if (LONG rc = values.Bind(1, row.id).Bind(2, child).Run()) return rc;
    if (LONG rc = MoveChildren(child, row.id)) return rc;
    if (LONG rc = DeleteKey(child)) return rc;
  }
  return 0;
}

LONG RegistryStore::UseRollbackJournal() { return Exec("PRAGMA main.journal_mode=DELETE"); }

}  // namespace qvplatform
