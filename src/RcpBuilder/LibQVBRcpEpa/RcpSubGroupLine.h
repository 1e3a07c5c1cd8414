// The lines of a recipe group's sub-group file, shared by its reader and its
// editors.
#pragma once

#include <cstddef>

#include "QVFramework.h"

namespace rcpsubgroup {

constexpr char kFileName[] = "RcpSubGroup.txt";
constexpr char kWorkFileName[] = "RcpSubGroupwork.txt";
constexpr char kStart[] = "STARTSUB";
constexpr char kNode[] = "NODE";
constexpr char kEnd[] = "ENDSUB";

// Lines are read through a buffer of this size (longer lines arrive in pieces).
constexpr size_t kLineBuffer = 1024;

// A line's keyword (item 1) and name (item 2, empty when missing).
struct Line {
  CString keyword;
  CString name;
};

// Parses one line or piece as read (cut at its first line feed; the piece is
// unchanged afterwards). False when it does not parse or yields no item.
bool ParseLine(char* piece, size_t length, Line* line, CStringArray* scratch);

// The path of a file of the group directory.
CString FileIn(const char* groupDirectory, const char* name);

}  // namespace rcpsubgroup
