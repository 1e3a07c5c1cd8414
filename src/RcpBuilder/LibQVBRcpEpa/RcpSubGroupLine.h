// The lines of a recipe group's sub-group file, shared by its reader and its
// editors.
#pragma once

#include <cstddef>

#include "LibQVBRcpEpa.h"
#include "QVFramework.h"
#include "RcpKeywordFile.h"

namespace rcpsubgroup {

constexpr char kFileName[] = "RcpSubGroup.txt";
constexpr char kWorkFileName[] = "RcpSubGroupwork.txt";
constexpr char kStart[] = "STARTSUB";
constexpr char kNode[] = "NODE";
constexpr char kEnd[] = "ENDSUB";

using rcptext::kLineBuffer;
using Line = rcptext::KeywordLine;
using rcptext::ParseLine;

// Lays a group's sub-group file over its listed recipes as ReadSubGroupFile
// does, but keeps no path in the nodes: memory grows with the file, not with
// its depth times its width. Recipes keep their own paths.
void ReadLayout(const CString& groupDirectory, CQVERcpDirInfo* groupNode);

// The sub-group path of a node laid out so: the names of the sub-groups from
// the top level down to it ("" for a node at its group's top level).
CString PathOf(const CQVERcpDirInfo* node);

}  // namespace rcpsubgroup
