// The members of the path catalogue as data, so that a program can call any
// member by its name (the command line's "path" command does).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "libqveeda/QVEFilePath.h"

// The arguments given to a member, in its order; a trailing optional one
// that was not given is null.
struct QVEFilePathArguments {
  std::vector<std::string> values;
  const char* Text(size_t i) const { return i < values.size() ? values[i].c_str() : nullptr; }
  unsigned Number(size_t i) const;
};

struct QVEFilePathMember {
  const char* name;
  // The member's arguments in order, in words: STATION, OWNER, NAME, FILE,
  // KEY or NUMBER; an optional one in brackets ("STATION [FILE]").
  const char* arguments;
  // The key it uses, and the folder key it chooses without its optional
  // argument (null when it has one key only, or none).
  const char* key;
  const char* folderKey;
  uint32_t (*call)(CQVEFilePath& resolver, const QVEFilePathArguments& arguments, CString* path);
};

// Every member of the catalogue, in the catalogue's order; an overloaded
// name has one entry per form.
const std::vector<QVEFilePathMember>& QVEFilePathMembers();
