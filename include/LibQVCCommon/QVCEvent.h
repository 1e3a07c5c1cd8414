// The station's event log, its audit trail: who locked and unlocked what,
// when, from where. Each entry is one line of events.log in the station
// directory, also handed to an observer.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "QVFramework.h"

struct QVCEventRecord {
  std::string time;  // UTC, ISO 8601
  std::string host;
  std::string user;
  int pid = 0;
  std::string source;
  int line = 0;
  std::string first;
  std::string text;
};

using QVCEventObserver = std::function<void(const QVCEventRecord&)>;

// Appends one entry. Never fails and never throws.
void _QVCPutEventLog(const char* first, const char* source, int line, uint32_t value, const char* text);

// Installs the observer of every entry; an empty function removes it.
// Returns the previous observer.
QV_EXPORT QVCEventObserver QVCSetEventObserver(QVCEventObserver observer);

// The identity of this process as a log writer: the process id, and its low
// 16 bits as the holder number that lock files carry.
void QVCGetInitLogInfo(uint32_t* processId, uint16_t* holderNumber);
