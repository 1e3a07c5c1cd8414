#include "RcpPlacement.h"

#include "LibQVBRcpEpa.h"
#include "LibQVBRcpEpa/Failure.h"

namespace rcpplacement {

bool Forget(const rcpstore::Target& recipe) {
  CQVERcpDirInfo node;
  node.SetRcpDirInfo(nullptr, rcpstore::RecipeDirectoryName(recipe.recipeNo).c_str());
  uint32_t rc = CQVERcpUtil::DeleteItemFromSubGroup(recipe.group.c_str(), CStringArray{}, &node);
  if (rc == QVC_ERR_TEXT_FILE_OPEN && !rcpstore::Exists(recipe.group + "/RcpSubGroup.txt")) rc = QVC_ERR_NOT_FOUND;
  if (rc == QVC_ERR_NOT_FOUND) return false;
  rcpstore::Check(rc, "the recipe is gone, but its line in the sub-group file stays: " + rcpstore::CodeMeaning(rc) +
                          " (a re-run of the command removes it)");
  return true;
}

}  // namespace rcpplacement
