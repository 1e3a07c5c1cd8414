#include "platform/FileApi.h"

#include "platform/Env.h"
#include "platform/ShareMode.h"

namespace {

thread_local DWORD g_lastError = 0;

}  // namespace

namespace qvplatform {

uint32_t MoveExclusive(const std::string& from, const std::string& to) {
  Env* env = CurrentEnv();
  FileStat source;
  if (uint32_t rc = env->Stat(from, &source)) return rc;
  FileStat target;
  if (env->Stat(to, &target) == 0 && env->Resolve(to) != env->Resolve(from)) return ERROR_ALREADY_EXISTS;
  bool held = source.type == EntryType::kDirectory ? IsAnythingBelowHeld(env->Resolve(from)) : IsHeld(from);
  if (held) return ERROR_SHARING_VIOLATION;
  return env->Rename(from, to);
}

}  // namespace qvplatform

BOOL MoveFileA(const char* from, const char* to) {
  if (from == nullptr || to == nullptr) {
    g_lastError = ERROR_INVALID_PARAMETER;
    return 0;
  }
  g_lastError = qvplatform::MoveExclusive(from, to);
  return g_lastError == 0 ? 1 : 0;
}

DWORD GetLastError() { return g_lastError; }

void SetLastError(DWORD code) { g_lastError = code; }
