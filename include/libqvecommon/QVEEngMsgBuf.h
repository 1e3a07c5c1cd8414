// The engineering tools' message buffer: lines the user sees.
#pragma once

#include <functional>
#include <string>

#include "QVFramework.h"

using QVEEngMsgBufObserver = std::function<void(const std::string& line)>;

// Appends one line; it goes to the installed observer (nowhere without one).
void QVEEngPutMsgBuf(const char* text);

// Installs the observer; an empty function removes it. Returns the previous one.
QV_EXPORT QVEEngMsgBufObserver QVEEngSetMsgBufObserver(QVEEngMsgBufObserver observer);
