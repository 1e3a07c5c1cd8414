// The family's message catalogue (texts by number) and the message box.
#pragma once

#include <functional>
#include <string>

#include "QVFramework.h"

constexpr unsigned QVC_MSG_PROJECT_NOT_FOUND = 1356;  // one argument: the look-up's result code
constexpr unsigned QVC_MSG_LOCKED_BY = 1422;          // arguments: name, computer name, holder number

constexpr unsigned MB_OK = 0x00;
constexpr unsigned MB_ICONERROR = 0x10;
constexpr unsigned MB_ICONWARNING = 0x30;
constexpr int IDOK = 1;

// The text of a message number; empty for an unknown number. The texts are
// the catalogue's own; some are formats whose arguments the number's
// description names.
CString QVCLoadString(unsigned id);

// The message box: shows text through the installed handler and returns its
// answer. Without a handler nothing is shown and the answer is IDOK.
int AfxMessageBox(const char* text, unsigned type, unsigned helpContext);

using QVCMessageBoxHandler = std::function<int(const std::string& text, unsigned type)>;
// Installs the handler; an empty function restores the default. Returns the
// previous one.
QVCMessageBoxHandler QVCSetMessageBoxHandler(QVCMessageBoxHandler handler);
