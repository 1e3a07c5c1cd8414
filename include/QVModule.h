// The process's module chain. Each library of the family that carries texts
// by number (its string resources) joins the chain while it is loaded; a text
// asked for by number is looked up from the module that joined last to the
// one that joined first, so that a host and the libraries it loads share one
// set of texts. The chain is process-wide: when a program that has its own
// copy of these functions exports them, a library loaded into it uses the
// program's chain.
#pragma once

#include <cstddef>

#include "QVFramework.h"

// One text of a module's string resources.
struct QVStringResource {
  unsigned id;
  const char* text;
};

// A module's record: its name and string resources. The chain links records
// through `next` and counts how often each has joined; a record lives as
// long as its module (a static object of the module).
struct QVModule {
  const char* name;
  const QVStringResource* strings;
  size_t stringCount;
  QVModule* next;
  unsigned joined;
};

// Puts the module at the head of the chain; a module already on it stays
// where it is and is counted once more.
QV_EXPORT void QVJoinModuleChain(QVModule* module);
// Takes the module off the chain when it leaves as often as it joined.
QV_EXPORT void QVLeaveModuleChain(QVModule* module);
// The text of a number from the first module on the chain that has it.
QV_EXPORT bool QVFindModuleString(unsigned id, CString* text);
// The names of the modules on the chain, newest first.
QV_EXPORT CStringArray QVModuleChainNames();
