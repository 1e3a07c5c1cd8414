#include "LibQVCCommon/QVCRevision.h"

#include <cstring>

#include "LibQVCCommon/QVCCodes.h"

uint32_t QVCGetRevInfo(_QVCRevInfo* info) {
  if (info == nullptr) return QVC_ERR_CANNOT_EXECUTE;
  std::memset(info, 0, sizeof *info);
  info->major = 3;
  info->minor = 0;
  info->patch = 0;
  std::strncpy(info->text, "R3.00.00", sizeof info->text - 1);
  return 0;
}
