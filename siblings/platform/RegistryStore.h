// The SQLite file behind the station registry and its local groups. Only the
// registry calls use it; they make the access checks.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Registry.h"

namespace qvplatform {

struct KeyRow {
  int64_t id = 0;
  std::string name;
  std::string owner;
  bool hasDacl = false;
  std::vector<ACCESS_ALLOWED_ACE> dacl;
};

class RegistryStore {
 public:
  // The store of the current station for this process, opened (and laid
  // out when new) on first use; null when it cannot be opened.
  static RegistryStore* ForStation();
  ~RegistryStore();

  // Runs body in one write transaction, committed when it returns 0.
  LONG Transaction(const std::function<LONG()>& body);

  bool ReadKey(int64_t id, KeyRow* row);
  bool FindChild(int64_t parent, const std::string& name, KeyRow* row);
  bool ChildAt(int64_t parent, uint32_t index, std::string* name);
  bool InsertKey(int64_t parent, KeyRow* row);
  bool DeleteKey(int64_t id);
  bool UpdateSecurity(const KeyRow& row);
  bool ReadValue(int64_t key, const std::string& name, uint32_t* type, std::string* bytes);
  bool WriteValue(int64_t key, const std::string& name, uint32_t type, const std::string& bytes);

  std::vector<std::string> GroupsOf(const std::string& user);
  uint32_t AddGroup(const std::string& name, const std::string& comment);
  uint32_t AddMember(const std::string& group, const std::string& user);
  bool GroupExists(const std::string& name);

  // Creates the keys of path that are missing, the last one with the given
  // access list, without an access check: the station's fixed layout.
  LONG EnsureLayoutKey(const std::vector<std::string>& path, bool hasDacl,
                       const std::vector<ACCESS_ALLOWED_ACE>& dacl);

 private:
  explicit RegistryStore(sqlite3* db) : db_(db) {}
  bool LayOutNewStation();
  bool ReadAces(KeyRow* row);
  bool WriteAces(const KeyRow& row);

  sqlite3* db_;
  std::recursive_mutex mutex_;
};

}  // namespace qvplatform
