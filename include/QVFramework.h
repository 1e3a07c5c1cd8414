// Framework types of the engineering tools, mapped onto the standard library.
// The exported classes of the family keep these names.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <vector>

// Marks what a shared build of the library exports; everything else is
// hidden.
#define QV_EXPORT __attribute__((visibility("default")))

using CString = std::string;
using CStringArray = std::vector<std::string>;

// Root class of the framework's object hierarchy.
class QV_EXPORT CObject {
 public:
  virtual ~CObject() = default;
  virtual void Serialize() {}
  virtual void AssertValid() const {}
  virtual void Dump() const {}
};

class CUIntArray : public std::vector<unsigned> {
 public:
  using std::vector<unsigned>::vector;
};

// The text with ASCII letters in upper or lower case; other bytes as they are.
QV_EXPORT CString QVUpperAscii(CString text);
QV_EXPORT CString QVLowerAscii(CString text);

// printf-style formatting into a string (the framework's CString::Format).
// The format is always the caller's own text, never an argument.
QV_EXPORT CString QVFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));
