// The recipe a history command is pointed at: one that exists, or the
// address of one that was deleted, whose history stays.
#pragma once

#include <string>

#include "LibQVBRcpEpa/Target.h"

namespace rcpstore {

// Checked as RecipeTarget when the recipe is there; else its group must be,
// and the path must name a recipe number in it.
Target HistoryTarget(const std::string& given);

}  // namespace rcpstore
