// The SQLite file behind the station registry and its local groups. Only the
// registry calls use it; they make the access checks.
//
// Results are the platform's codes: 0, ERROR_FILE_NOT_FOUND for a missing
// key, value or group, or what a failure of the database means (a full disk,
// a read-only file, a busy or damaged database).
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/Registry.h"

namespace qvplatform {

struct KeyRow {
  int64_t id = 0;
  std::string name;
  std::string owner;
  bool hasDacl = false;
  std::vector<AccessEntry> dacl;
};

// The prepared statements of one connection, kept for the next call: parsing
// the SQL costs more than running it. A statement in use is out of the
// cache, so a nested use of the same SQL prepares a second one.
class StatementCache {
 public:
  explicit StatementCache(sqlite3* db) : db_(db) {}
  ~StatementCache() { Clear(); }
  StatementCache(const StatementCache&) = delete;
  StatementCache& operator=(const StatementCache&) = delete;

  sqlite3* Db() const { return db_; }
  // The kept statement for sql, else a new one: SQLite's result code.
  int Take(const std::string& sql, sqlite3_stmt** stmt);
  // Resets stmt and keeps it for the next Take of the same sql.
  void Give(const std::string& sql, sqlite3_stmt* stmt);
  void Clear();

 private:
  sqlite3* db_;
  std::unordered_map<std::string, sqlite3_stmt*> kept_;
};

class RegistryStore {
 public:
  // The station's shared database, beside its own.
  static constexpr char kSharedFile[] = "names.db";

  // The store of the current station for this process, opened (and laid
  // out when new) on first use; null, with the reason in *error, when it
  // cannot be opened. The caller's reference keeps the store open while the
  // station changes under it.
  static std::shared_ptr<RegistryStore> ForStation(LONG* error = nullptr);
  ~RegistryStore();
  RegistryStore(const RegistryStore&) = delete;
  RegistryStore& operator=(const RegistryStore&) = delete;

  // Runs body in one write transaction, committed when it returns 0; inside
  // another's body, as a step of that one. Refused (170, busy) inside a read
  // scope.
  LONG Transaction(const std::function<LONG()>& body);
  // Holds the store for the calling thread and opens a read transaction,
  // unless one is open already: true when it opened one. Each BeginRead is
  // followed by one EndRead with what it returned.
  bool BeginRead();
  void EndRead(bool began);
  // Changes with every commit to the file, by this connection or another,
  // and differs from every number an earlier connection of this process
  // gave; 0 when it cannot be told.
  uint64_t Generation();

  LONG ReadKey(int64_t id, KeyRow* row);
  LONG FindChild(int64_t parent, const std::string& name, KeyRow* row);
  // ERROR_NO_MORE_ITEMS past the last child.
  LONG ChildAt(int64_t parent, uint32_t index, std::string* name);
  LONG InsertKey(int64_t parent, KeyRow* row);
  LONG DeleteKey(int64_t id);
  LONG UpdateSecurity(const KeyRow& row);
  LONG ReadValue(int64_t key, const std::string& name, uint32_t* type, std::string* bytes);
  LONG WriteValue(int64_t key, const std::string& name, uint32_t type, const std::string& bytes);

  bool Trusted() const { return trusted_; }
  // The local groups of user; none when the registry is not Trusted().
  std::vector<std::string> GroupsOf(const std::string& user);
  uint32_t AddGroup(const std::string& name, const std::string& comment);
  uint32_t AddMember(const std::string& group, const std::string& user);
  uint32_t RemoveMember(const std::string& group, const std::string& user);
  bool GroupExists(const std::string& name);
  uint32_t ReadGroup(const std::string& name, LocalGroupInfo* info);

  // Creates the keys of path that are missing, the last one with the given
  // access list, without an access check: the station's fixed layout. With
  // shareChildren, the last key's children are kept in the station's shared
  // database, which every user of the station may write.
  LONG EnsureLayoutKey(const std::vector<std::string>& path, bool hasDacl,
                       const std::vector<AccessEntry>& dacl, bool shareChildren = false);
  // Gives the station's database a rollback journal, which readers who may
  // not write it can read; busy while another connection has it open.
  LONG UseRollbackJournal();

 private:
  RegistryStore(sqlite3* db, bool trusted) : db_(db), statements_(db), trusted_(trusted) {}
  // Where the children of parent are kept: an id of that database.
  int64_t ChildrenIn(int64_t parent);
  LONG LayOutNewStation();
  LONG ReadAces(KeyRow* row);
  LONG WriteAces(const KeyRow& row);
  // Runs SQL text of any number of statements, or one kept statement.
  LONG Exec(const char* sql);
  LONG Run(const char* sql);
  // Follows path from the root; missing keys are made when create is set,
  // else ERROR_FILE_NOT_FOUND.
  LONG WalkLayout(const std::vector<std::string>& path, bool create, bool hasDacl,
                  const std::vector<AccessEntry>& dacl, KeyRow* row);
  LONG ShareChildren(int64_t key);
  LONG MoveChildren(int64_t from, int64_t to);

  sqlite3* db_;
  StatementCache statements_;
  // Only the administrators may write the station's database: its groups and
  // its security branch can be believed.
  const bool trusted_;
  std::recursive_mutex mutex_;
  int readScopes_ = 0;    // open read scopes, all of the thread that holds mutex_
  bool writing_ = false;  // inside Transaction's body
  uint64_t generation_ = 0;
  int64_t seenOthers_ = 0;
  int64_t seenOwn_ = 0;
};

}  // namespace qvplatform
