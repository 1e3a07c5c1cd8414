#include "LibQVBRcpEpa/Failure.h"

#include "LibQVBRcpEpa.h"
#include "LibQVBRcpEpa/Printable.h"
#include "platform/Win32Types.h"

namespace rcpstore {

namespace {

struct Meaning {
  uint32_t code;
  const char* text;
};

constexpr Meaning kMeanings[] = {
    {QVERCP_ERR_INVALID_NAME, "invalid directory name or file extension"},
    {QVERCP_ERR_LOCKED, "locked by another process"},
    {QVERCP_ERR_NOT_LOCKED, "not locked"},
    {QVERCP_ERR_ALREADY_LOCKED, "already locked by this object"},
    {QVC_ERR_ACCOUNT, "account, access list or local group operation failed"},
    {QVC_ERR_EXISTS, "already exists"},
    {QVC_ERR_TEXT_FILE_OPEN, "text file cannot be opened"},
    {QVC_ERR_CANNOT_EXECUTE, "request cannot be carried out"},
    {QVC_ERR_REGISTRY_CREATE, "registry key cannot be created"},
    {QVC_ERR_NOT_FOUND, "sub-group or item not found"},
    {ERROR_FILE_NOT_FOUND, "file not found"},
    {ERROR_PATH_NOT_FOUND, "path not found"},
    {ERROR_TOO_MANY_OPEN_FILES, "too many open files"},
    {ERROR_ACCESS_DENIED, "access denied"},
    {ERROR_NOT_ENOUGH_MEMORY, "not enough memory"},
    {ERROR_GEN_FAILURE, "input/output failure"},
    {ERROR_SHARING_VIOLATION, "in use by another process"},
    {ERROR_NOT_SUPPORTED, "not supported"},
    {ERROR_INVALID_PARAMETER, "invalid parameter"},
    {ERROR_DISK_FULL, "disk full"},
    {ERROR_WRITE_PROTECT, "read-only file system"},
    {ERROR_INVALID_NAME, "invalid name"},
    {ERROR_DIR_NOT_EMPTY, "directory not empty"},
    {ERROR_ALREADY_EXISTS, "already exists"},
    {ERROR_FILENAME_EXCED_RANGE, "name too long"},
    {ERROR_DIRECTORY, "not a directory"},
    {1392, "the file is damaged or not of the expected format"},
};

}  // namespace

std::string CodeMeaning(uint32_t code) {
  for (const Meaning& m : kMeanings) {
    if (m.code == code) return m.text;
  }
  return "failure";
}

void Fail(const std::string& cause, uint32_t code) { throw Failure(cause, code); }

void Check(uint32_t rc) {
  if (rc != 0) Fail(CodeMeaning(rc), rc);
}

void Check(uint32_t rc, const std::string& cause) {
  if (rc != 0) Fail(cause, rc);
}

void CheckAbsent(uint32_t rc, const std::string& name) {
  if (rc == QVC_ERR_EXISTS) Fail(Printable(name) + " already exists", rc);
  Check(rc);
}

}  // namespace rcpstore
