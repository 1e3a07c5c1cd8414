#include "LibQVCCommon/QVCError.h"

#include <unistd.h>

#include <cinttypes>
#include <cstdio>

#include "LibQVCCommon/QVCObserver.h"
#include "LibQVCCommon/QVCTime.h"
#include "platform/AppendLog.h"

namespace {

constexpr int64_t kErrorLogLimit = 4 << 20;

QVCObserverSlot<QVCErrorObserver> g_observer;

qvplatform::AppendLog& ErrorLog() {
  static auto* log = new qvplatform::AppendLog("errors.log", kErrorLogLimit);
  return *log;
}

// Keeps a record on one line whatever its text holds.
std::string OneLine(const char* text) {
  std::string out = text != nullptr ? text : "";
  for (char& c : out) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return out;
}

}  // namespace

void _QVCSetError(uint16_t messageNo, const char* source, int line, uint32_t code, const char* text) {
  try {
    QVCErrorRecord record{messageNo, OneLine(source), line, code, OneLine(text)};
    char head[96];
    std::snprintf(head, sizeof head, "%" PRId32 " pid=%d msg=%u ", QVCTime(nullptr), static_cast<int>(getpid()),
                  static_cast<unsigned>(messageNo));
    char tail[48];
    std::snprintf(tail, sizeof tail, ":%d code=0x%08X ", line, code);
    ErrorLog().Append(head + record.source + tail + record.text);
    if (QVCErrorObserver observer = g_observer.Get()) observer(record);
  } catch (...) {
    // A failure record must never become a failure of its own.
  }
}

QVCErrorObserver QVCSetErrorObserver(QVCErrorObserver observer) { return g_observer.Set(std::move(observer)); }
