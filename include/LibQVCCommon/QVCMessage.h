// The family's message catalogue (texts by number) and the message box.
#pragma once

#include <functional>
#include <string>

#include "QVFramework.h"

constexpr unsigned QVC_MSG_PROJECT_NOT_FOUND = 1356;  // one argument: the look-up's result code
constexpr unsigned QVC_MSG_LOCKED_BY = 1422;          // arguments: name, station and holder number claimed

constexpr unsigned MB_OK = 0x00;
constexpr unsigned MB_ICONERROR = 0x10;
constexpr unsigned MB_ICONWARNING = 0x30;
constexpr int IDOK = 1;

struct QVModule;

// The family's message catalogue: a module whose string resources are the
// texts of the message numbers. Some texts are formats whose arguments the
// number's description names. A library that shows these messages joins it
// to the module chain while it is loaded.
QV_EXPORT QVModule* QVCMessageModule();

// The text of a message number, looked up along the module chain; empty
// when no module on the chain has it.
QV_EXPORT CString QVCLoadString(unsigned id);

// The message box: shows text through the installed handler and returns its
// answer. Without a handler nothing is shown and the answer is IDOK.
QV_EXPORT int AfxMessageBox(const char* text, unsigned type, unsigned helpContext);

using QVCMessageBoxHandler = std::function<int(const std::string& text, unsigned type)>;
// Installs the handler; an empty function restores the default. Returns the
// previous one.
QV_EXPORT QVCMessageBoxHandler QVCSetMessageBoxHandler(QVCMessageBoxHandler handler);
