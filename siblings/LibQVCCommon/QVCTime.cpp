#include "LibQVCCommon/QVCTime.h"

#include <atomic>
#include <ctime>

namespace {

std::atomic<bool> g_frozen{false};
std::atomic<int32_t> g_frozenAt{0};

}  // namespace

int32_t QVCTime(int32_t* t) {
  int32_t now = g_frozen ? g_frozenAt.load() : static_cast<int32_t>(std::time(nullptr));
  if (t != nullptr) *t = now;
  return now;
}

// Logs tell the real time, also while a test holds the clock.
std::string QVCUtcNow() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&now, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return text;
}

namespace qvcommon::testing {

void FreezeClock(const int32_t* at) {
  if (at != nullptr) g_frozenAt = *at;
  g_frozen = at != nullptr;
}

}  // namespace qvcommon::testing
