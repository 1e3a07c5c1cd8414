// The lines of a recipe group's sub-group file, shared by its reader and its
// editors.
#pragma once

#include <cstddef>

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

}  // namespace rcpsubgroup
