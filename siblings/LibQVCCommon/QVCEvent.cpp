#include "LibQVCCommon/QVCEvent.h"

#include <unistd.h>

#include "LibQVCCommon/QVCObserver.h"
#include "LibQVCCommon/QVCTime.h"
#include "platform/AppendLog.h"
#include "platform/Host.h"
#include "platform/Registry.h"

namespace {

constexpr int64_t kEventLogLimit = 16 << 20;

QVCObserverSlot<QVCEventObserver> g_observer;

qvplatform::AppendLog& EventLog() {
  static auto* log = new qvplatform::AppendLog("events.log", kEventLogLimit);
  return *log;
}

// Keeps an entry on one line and its fields apart, whatever its texts hold.
std::string Field(const char* text) {
  std::string out = text != nullptr ? text : "";
  for (char& c : out) {
    if (c == '\n' || c == '\r' || c == '\t') c = ' ';
  }
  return out;
}

}  // namespace

void _QVCPutEventLog(const char* first, const char* source, int line, uint32_t /*value*/, const char* text) {
  try {
    QVCEventRecord record{QVCUtcNow(), qvplatform::ComputerName(), qvplatform::CallerUserName(),
                          static_cast<int>(getpid()), Field(source), line, Field(first), Field(text)};
    EventLog().Append(record.time + "\t" + record.host + "\t" + record.user + "\t" + std::to_string(record.pid) +
                      "\t" + record.source + ":" + std::to_string(line) + "\t" + record.first + "\t" + record.text);
    if (QVCEventObserver observer = g_observer.Get()) observer(record);
  } catch (...) {
    // The audit trail must never become a failure of its own.
  }
}

QVCEventObserver QVCSetEventObserver(QVCEventObserver observer) { return g_observer.Set(std::move(observer)); }

void QVCGetInitLogInfo(uint32_t* processId, uint16_t* holderNumber) {
  uint32_t pid = static_cast<uint32_t>(getpid());
  if (processId != nullptr) *processId = pid;
  if (holderNumber != nullptr) *holderNumber = static_cast<uint16_t>(pid & 0xFFFF);
}
