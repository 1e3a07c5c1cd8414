#include "LibQVCCommon/QVCRegistry.h"

#include <strings.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "LibQVCCommon/QVCCodes.h"
#include "LibQVCCommon/QVCError.h"
#include "platform/RegistryStore.h"

const QVCComponentRow QVC_COMPONENT_TABLE[] = {
    {QVC_COMPONENT_COMMON, "Common"}, {QVC_COMPONENT_ENG, "ENG"}, {QVC_COMPONENT_HIS, "HIS"},
    {QVC_COMPONENT_NET, "NET"},       {QVC_COMPONENT_FCS, "FCS"}, {QVC_COMPONENT_RCP, "RCP"},
    {0, nullptr}};

const QVCProductRow QVC_PRODUCT_TABLE[] = {{"Recipe Engineering Station", "RcpStation"},
                                           {"Recipe Engineering Client", "RcpClient"},
                                           {"Recipe Engineering Viewer", "RcpClient"},
                                           {nullptr, nullptr}};

namespace {

constexpr char kSource[] = "QVCRegistry";
constexpr uint16_t kMsgRegistry = 16;

const char* ComponentName(int number) {
  for (const QVCComponentRow* c = QVC_COMPONENT_TABLE; c->number != 0; ++c) {
    if (c->number == number) return c->name;
  }
  return nullptr;
}

std::string ProductKey() {
  char name[32];
  QVCGetProductName(name, sizeof name);
  const char* key = QVCProductKeyName(name);
  return key != nullptr ? key : QVC_PRODUCT_TABLE[0].key;
}

// A new station's layout: the product tree readable by Everyone and fully
// open to Administrators, and the project list fully open to Everyone, who
// register projects, and kept where every user of the station may write. Laid out once per station and process.
void EnsureStationLayout() {
  static std::mutex mutex;
  static std::set<std::string> done;
  std::string station = qvplatform::RegistryPath();
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (station.empty() || done.count(station) != 0) return;
  }
  // The store is used without holding the mutex: a thread in a read scope
  // holds the store and may come here, so holding both would deadlock. Two
  // threads laying out at once is harmless; each step is one transaction.
  std::shared_ptr<qvplatform::RegistryStore> store = qvplatform::RegistryStore::ForStation();
  if (store == nullptr) return;
  const std::string product = ProductKey();
  LONG rc = store->EnsureLayoutKey({"Software", "VELMORAN", product}, true,
                                   {{"Everyone", KEY_READ}, {"Administrators", KEY_ALL_ACCESS}});
  if (rc == 0) {
    rc = store->EnsureLayoutKey({"Software", "VELMORAN", product, "ENG", "Batch", "Project List"}, true,
                                {{"Everyone", KEY_ALL_ACCESS}}, true);
  }
  std::lock_guard<std::mutex> lock(mutex);
  if (rc == 0) done.insert(station);
}

std::string KeyPath(int component, const char* section, const char* subKey) {
  std::string path = "Software\\VELMORAN\\" + ProductKey() + "\\" + ComponentName(component);
  for (const char* part : {section, subKey}) {
    if (part != nullptr && *part != 0) path += std::string("\\") + part;
  }
  return path;
}

// A key that may not be created is reported as such; a failure of the
// registry file itself (a full disk, a damaged file) keeps the platform's code.
uint32_t CreateResult(LONG rc, bool refused) {
  return refused ? QVC_ERR_REGISTRY_CREATE : static_cast<uint32_t>(rc);
}

}  // namespace

uint32_t QVCOpenRegistry(HKEY root, int component, const char* section, const char* subKey, int create, HKEY* key) {
  if (key == nullptr || ComponentName(component) == nullptr) {
    _QVCSetError(kMsgRegistry, kSource, __LINE__, QVC_ERR_CANNOT_EXECUTE, "QVCOpenRegistry");
    return QVC_ERR_CANNOT_EXECUTE;
  }
  EnsureStationLayout();
  std::string path = KeyPath(component, section, subKey);
  if (create == 1) {
    DWORD disposition = 0;
    LONG rc = RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, MAXIMUM_ALLOWED, nullptr, key, &disposition);
    return CreateResult(rc, rc == ERROR_ACCESS_DENIED);
  }
  return static_cast<uint32_t>(RegOpenKeyExA(root, path.c_str(), 0, MAXIMUM_ALLOWED, key));
}

uint32_t QVCCloseRegistry(HKEY key) { return static_cast<uint32_t>(RegCloseKey(key)); }

uint32_t QVCGetRegistryU32(HKEY key, const char* name, uint32_t defaultValue, uint32_t* value) {
  if (value == nullptr) return QVC_ERR_CANNOT_EXECUTE;
  uint32_t stored = 0;
  DWORD type = 0;
  DWORD size = sizeof stored;
  LONG rc = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<uint8_t*>(&stored), &size);
  if (rc == ERROR_FILE_NOT_FOUND || (rc == 0 && (type != REG_DWORD || size != sizeof stored))) {
    *value = defaultValue;
    return 0;
  }
  if (rc != 0) return static_cast<uint32_t>(rc);
  *value = stored;
  return 0;
}

uint32_t QVCSetRegistryU32(HKEY key, const char* name, uint32_t value, int /*create*/) {
  return static_cast<uint32_t>(
      RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const uint8_t*>(&value), sizeof value));
}

uint32_t QVCGetCommonRegistryString(HKEY root, int component, const char* keyPath, const char* valueName,
                                    const char* defaultText, char* buf, uint32_t* size) {
  if (buf == nullptr || size == nullptr || *size == 0) return QVC_ERR_CANNOT_EXECUTE;
  HKEY key = nullptr;
  if (uint32_t rc = QVCOpenRegistry(root, component, keyPath, nullptr, 0, &key)) return rc;
  std::string text(*size, '\0');
  DWORD type = 0;
  DWORD got = *size;
  LONG rc = RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<uint8_t*>(text.data()), &got);
  RegCloseKey(key);
  if (rc == ERROR_FILE_NOT_FOUND || (rc == 0 && type != REG_SZ)) {
    text = defaultText != nullptr ? defaultText : "";
  } else if (rc != 0) {
    return static_cast<uint32_t>(rc);
  } else {
    text.resize(got);
  }
  if (text.size() + 1 > *size) return ERROR_MORE_DATA;
  std::memcpy(buf, text.c_str(), text.size() + 1);
  *size = static_cast<uint32_t>(text.size() + 1);
  return 0;
}

uint32_t QVCSetCommonRegistryString(HKEY root, int component, const char* keyPath, const char* valueName,
                                    const char* text, int create) {
  std::string value = text != nullptr ? text : "";
  const auto* bytes = reinterpret_cast<const uint8_t*>(value.data());
  const auto size = static_cast<DWORD>(value.size());
  if (create == 1 && ComponentName(component) != nullptr) {
    // The keys and the value in one transaction: never a key without its value.
    EnsureStationLayout();
    bool refused = false;
    LONG rc = qvplatform::CreateKeyAndSetValue(root, KeyPath(component, keyPath, nullptr).c_str(), valueName, REG_SZ,
                                               bytes, size, &refused);
    return CreateResult(rc, refused);
  }
  HKEY key = nullptr;
  if (uint32_t rc = QVCOpenRegistry(root, component, keyPath, nullptr, create, &key)) return rc;
  LONG rc = RegSetValueExA(key, valueName, 0, REG_SZ, bytes, size);
  RegCloseKey(key);
  return static_cast<uint32_t>(rc);
}

uint32_t QVCGetProductName(char* buf, uint32_t size) {
  if (buf == nullptr || size == 0) return QVC_ERR_CANNOT_EXECUTE;
  std::strncpy(buf, QVC_PRODUCT_TABLE[0].name, size - 1);
  buf[size - 1] = 0;
  return 0;
}

const char* QVCProductKeyName(const char* productName) {
  for (const QVCProductRow* p = QVC_PRODUCT_TABLE; productName != nullptr && p->name != nullptr; ++p) {
    if (strcasecmp(p->name, productName) == 0) return p->key;
  }
  return nullptr;
}
