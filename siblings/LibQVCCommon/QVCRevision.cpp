#include "LibQVCCommon/QVCRevision.h"

#include <cstdio>
#include <cstring>

#include "LibQVCCommon/QVCCodes.h"

uint32_t QVCGetRevInfo(_QVCRevInfo* info) {
  if (info == nullptr) return QVC_ERR_CANNOT_EXECUTE;
  std::memset(info, 0, sizeof *info);
  info->major = QV_VERSION_MAJOR;
  info->minor = QV_VERSION_MINOR;
  info->patch = QV_VERSION_PATCH;
  std::snprintf(info->text, sizeof info->text, "R%u.%02u.%02u", QV_VERSION_MAJOR, QV_VERSION_MINOR, QV_VERSION_PATCH);
  return 0;
}
