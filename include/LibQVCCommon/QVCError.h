// Failure records of the family: each one is appended to errors.log in the
// station directory and handed to an observer.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "QVFramework.h"

struct QVCErrorRecord {
  uint16_t messageNo = 0;
  std::string source;
  int line = 0;
  uint32_t code = 0;
  std::string text;
};

using QVCErrorObserver = std::function<void(const QVCErrorRecord&)>;

// Records one failure. Never fails and never throws.
void _QVCSetError(uint16_t messageNo, const char* source, int line, uint32_t code, const char* text);

// Installs the observer of every record; an empty function removes it.
// Returns the previous observer.
QV_EXPORT QVCErrorObserver QVCSetErrorObserver(QVCErrorObserver observer);
