// A program of a plant built against the installed store with its public
// API only: it resolves a group by its address, creates a recipe under the
// store's locks, moves it into a sub-group and reads the tree with its
// title, checking the change report of each step; a refusal is a Failure
// with its cause and code.
#include <LibQVBRcpEpa/Changes.h>
#include <LibQVBRcpEpa/Failure.h>
#include <LibQVBRcpEpa/Reads.h>
#include <LibQVBRcpEpa/Target.h>
#include <cstdio>
#include <string>

using namespace rcpstore;

namespace {

int failures = 0;

void Expect(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "api_example: %s\n", what);
    ++failures;
  }
}

bool OneChange(const ChangeReport& report, Change::Verb verb, StoreItem::Kind kind) {
  return report.size() == 1 && report[0].verb == verb && report[0].item.kind == kind;
}

const TreeNode* Find(const TreeNode& node, unsigned recipeNo) {
  if (node.kind == StoreItem::Kind::kRecipe && node.target.recipeNo == recipeNo) return &node;
  for (const TreeNode& child : node.children) {
    if (const TreeNode* found = Find(child, recipeNo)) return found;
  }
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::string dir = argv[1];
  try {
    CreateProject("Plant", dir);
    RegisterProject("P", dir + "/Plant");
    CreateGroup("@P", 1);

    Target group = GroupTarget("@P/1");
    Expect(group.groupNo == 1 && group.group == dir + "/Plant/Recipe/RG01", "@P/1 resolves to its group");
    Expect(OneChange(CreateRecipe("@P/1", 7, "R7"), Change::Verb::kMade, StoreItem::Kind::kRecipe),
           "a create reports the recipe made");
    RecipeTexts texts;
    texts.title = "Dough";
    Expect(OneChange(SetRecipeTexts("@P/1/7", texts), Change::Verb::kChanged, StoreItem::Kind::kRecipe),
           "a change of texts reports the recipe changed");
    Expect(OneChange(AddSubGroup("@P/1", {"Trials"}), Change::Verb::kMade, StoreItem::Kind::kSubGroup),
           "a new sub-group is reported made");
    ChangeReport moved = MoveToSubGroup("@P/1", {7}, {"Trials"});
    Expect(OneChange(moved, Change::Verb::kChanged, StoreItem::Kind::kRecipe) && moved[0].item.subGroup == "Trials",
           "a recipe moved into a sub-group is reported there");

    TreeNode tree = ReadTree(ProjectTarget("@P"), TreeRead{});
    const TreeNode* recipe = Find(tree, 7);
    Expect(recipe != nullptr && recipe->head.title == "Dough" && recipe->subGroup == "Trials",
           "the tree shows the recipe with its title in its sub-group");
    Expect(UnreadNodes(tree) == 0, "every node of the tree is read");

    try {
      CreateRecipe("@P/1", 7, "R7");
      Expect(false, "a second recipe 7 is refused");
    } catch (const Failure& failure) {
      Expect(failure.cause.find("RCP0007 already exists") != std::string::npos, "a refusal says why");
    }
  } catch (const Failure& failure) {
    std::fprintf(stderr, "api_example: %s (0x%08X)\n", failure.cause.c_str(), failure.code);
    return 1;
  }
  return failures == 0 ? 0 : 1;
}
