#include "LibQVCCommon/QVCTime.h"

#include <ctime>

int32_t QVCTime(int32_t* t) {
  int32_t now = static_cast<int32_t>(std::time(nullptr));
  if (t != nullptr) *t = now;
  return now;
}
