// The changes of recipe groups: create, attributes, delete.
#include "LibQVBRcpEpa.h"
#include "LibQVBRcpEpa/Changes.h"
#include "LibQVBRcpEpa/Failure.h"
#include "LibQVBRcpEpa/Locks.h"
#include "LibQVBRcpEpa/Rights.h"
#include "LibQVBRcpEpa/Texts.h"
#include "RcpChanged.h"
#include "RcpGroupBuild.h"

namespace rcpstore {

namespace {

// Changes what the attributes give and keeps the rest.
// Texts that the group's attribute file could not give back as written are refused.
void CheckTexts(const GroupAttributes& attributes) {
  if (attributes.comment) RequireNoProblem("comment", OneLineProblem(*attributes.comment));
  for (const std::string& server : attributes.servers.value_or(std::vector<std::string>{})) {
    RequireNoProblem("server", server.empty() ? "a server name is not empty" : OneLineProblem(server));
  }
}

void Apply(const GroupAttributes& attributes, _QVERcpGroupInfo* info) {
  if (attributes.comment) info->strComment = *attributes.comment;
  if (attributes.servers) info->astrServer = *attributes.servers;
}

// A group that is gone: the store clears what an interrupted delete of it
// left beside it, and the group is reported missing.
[[noreturn]] void FinishDelete(const std::string& group) {
  Target target;
  try {
    target = ProjectOfGroup(group);
  } catch (const Failure&) {
    Fail("no such directory", ERROR_PATH_NOT_FOUND);
  }
  CommandLocks locks;
  locks.LockProject(target);
  CQVERcpUtil::DeleteRecipeGroup(group.c_str());
  Fail("no such directory", ERROR_PATH_NOT_FOUND);
}

}  // namespace

ChangeReport CreateGroup(const std::string& project, unsigned number, const GroupAttributes& attributes) {
  CheckTexts(attributes);
  OpenedProjects opened;
  RequireRight(Right::Create);
  Target target = ProjectTarget(project);
  if (number < 1 || number > kMaxGroupNo) Fail("group numbers are 1 to 16", ERROR_INVALID_PARAMETER);
  CommandLocks locks;
  locks.LockProject(target);
  Target group = GroupOf(target, number, target.project + "/Recipe/" + GroupDirectoryName(number));
  // The store's duplicate check also clears what an interrupted create left.
  CheckAbsent(CQVERcpUtil::CheckRcpGroupDuplicate(target.project.c_str(), number), LastName(group.group));
  _QVERcpGroupInfo info;
  Apply(attributes, &info);
  Check(rcpgroup::CreateWithAttributes(target.project.c_str(), number, info));
  return {Made(GroupItem(group))};
}

ChangeReport SetGroupAttributes(const std::string& given, const GroupAttributes& attributes) {
  if (!attributes.comment && !attributes.servers) Fail("nothing to change", ERROR_INVALID_PARAMETER);
  CheckTexts(attributes);
  OpenedProjects opened;
  RequireRight(Right::Edit);
  Target group = GroupTarget(given);
  CommandLocks locks;
  locks.LockProject(group);
  _QVERcpGroupInfo info;
  Check(CQVERcpUtil::GetRecipeGroupInfo(group.group.c_str(), &info));
  Apply(attributes, &info);
  Check(CQVERcpUtil::SetRecipeGroupInfo(group.group.c_str(), &info));
  return {Changed(GroupItem(group))};
}

ChangeReport DeleteGroup(const std::string& given, const DeleteOptions& how) {
  OpenedProjects opened;
  RequireRight(Right::Delete);
  if (!Exists(RestoredPath(given)) && !how.dryRun) FinishDelete(CleanPath(given));
  Target group = GroupTarget(given);
  if (how.dryRun) return WouldRemove(PlainItem(group), RemovalListing(group.group));
  CommandLocks locks;
  locks.LockProject(group);
  RequireEmpty(how, CountDirectories(group.group), "recipes");
  StoreItem item = GroupItem(group);
  Check(CQVERcpUtil::DeleteRecipeGroup(group.group.c_str()));
  return {Removed(std::move(item))};
}

}  // namespace rcpstore
