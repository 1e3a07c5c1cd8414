// Recipe access rights on a real station registry: the default access table
// right by right for every group, switching on and off, what a user who is
// not an administrator cannot do, and the byte layouts behind the access
// lists under hostile sizes.
#include <strings.h>

#include <cstring>
#include <functional>
#include <random>

#include "LibQVBRcpEpa.h"
#include "LibQVBRcpEpa/Archive.h"
#include "LibQVBRcpEpa/Changes.h"
#include "LibQVBRcpEpa/Failure.h"
#include "LibQVBRcpEpa/Verify.h"
#include "LibQVCCommon/QVCMessage.h"
#include "LibQVCCommon/QVCRegistry.h"
#include "SecuritySupport.h"
#include "TestSupport.h"
#include "platform/Accounts.h"
#include "platform/FileApi.h"
#include "platform/StationDir.h"

using qvplatform::testing::ActAsUser;
using qvtest::AccessListOf;
using qvtest::DefaultAccessList;
using qvtest::DescribeAccess;
using qvtest::kDefaultRights;
using qvtest::KeyExists;
using qvtest::kRightKeys;
using qvtest::kSecurityGroups;
using qvtest::OpenBatch;
using qvtest::RightKey;
using qvtest::SecurityEnabled;

// The private steps of the class, for the tests.
struct CQVERcpSecurityProbe {
  static uint32_t CreateRegKey(const char* account, unsigned component, HKEY* key) {
    CQVERcpSecurity security;
    return security.CreateRegKey(account, GENERIC_READ, HKEY_LOCAL_MACHINE, component, "Batch", "Probe", key);
  }
  static uint32_t AddAccessCtl(HKEY key, const char* account, unsigned long access) {
    CQVERcpSecurity security;
    return security.AddAccessCtl(key, account, access);
  }
  static uint32_t CheckGrpName(const char* name) {
    CQVERcpSecurity security;
    return security.CheckGrpName(name);
  }
};

namespace {

constexpr uint32_t kReadWrite = GENERIC_READ | GENERIC_WRITE;

class SecurityTest : public ::testing::Test {
 protected:
  // The station is laid out by root, its creator.
  void SetUp() override {
    ActAsUser("root", true);
    ASSERT_TRUE(qvplatform::CallerIsAdministrator());
  }
  void TearDown() override { ActAsUser(""); }

  static void Enrol(const std::string& user, const std::string& group) {
    ActAsUser("root", true);
    ASSERT_EQ(qvplatform::LocalGroupAddMember(group, user), 0u) << group;
  }

  qvtest::TempDir tmp_;
};

TEST_F(SecurityTest, TheDefaultTableHoldsForEveryGroupAndRight) {
  CQVERcpSecurity security;
  ASSERT_EQ(security.SetSecurity(1), 1);
  EXPECT_EQ(SecurityEnabled(), 1u);
  EXPECT_EQ(security.GetSecurityInfo(), 1);

  // The groups with their comments, and each right key's list in group order.
  for (int n = 1; n <= QVERCP_SECURITY_GROUPS; ++n) {
    qvplatform::LocalGroupInfo group;
    ASSERT_EQ(qvplatform::LocalGroupGet(kSecurityGroups[n], &group), 0u);
    EXPECT_EQ(group.comment, QVCLoadString(16720 + n - 1));
    EXPECT_FALSE(group.comment.empty());
  }
  for (int r = 0; r < 7; ++r) {
    EXPECT_EQ(DescribeAccess(AccessListOf(RightKey(kRightKeys[r]))), DefaultAccessList(r)) << kRightKeys[r];
  }

  // One member per group, one user in two groups, one in none.
  for (int g = 0; g < 6; ++g) Enrol(std::string("member") + kSecurityGroups[g], kSecurityGroups[g]);
  Enrol("twice", "RcpSec1");
  Enrol("twice", "RcpSec4");
  struct Case {
    std::string user;
    unsigned rights;
  };
  std::vector<Case> cases;
  for (int g = 0; g < 6; ++g) cases.push_back({std::string("member") + kSecurityGroups[g], kDefaultRights[g]});
  cases.push_back({"twice", 0x3f});
  cases.push_back({"nobody-in-particular", 0});
  cases.push_back({"rcpsec4", 0});  // a user named like a group is not its member
  for (const Case& c : cases) {
    ActAsUser(c.user);
    for (unsigned bit = 1; bit <= 0x40; bit <<= 1) {
      EXPECT_EQ(security.CheckSecurity(bit), (c.rights & bit) != 0 ? 1 : 0) << c.user << " right " << bit;
    }
    // A mask needs every right in it; a mask without a known right is refused.
    EXPECT_EQ(security.CheckSecurity(c.rights | 0x80), c.rights != 0 ? 1 : 0) << c.user;
    EXPECT_EQ(security.CheckSecurity(0x7f), c.rights == 0x7f ? 1 : 0) << c.user;
    EXPECT_EQ(security.CheckSecurity(0), 0) << c.user;
    EXPECT_EQ(security.CheckSecurity(0xFFFFFF80u), 0) << c.user;
  }

  // A member may read the branch but not switch it: the switch says so.
  ActAsUser("memberRcpSec4");
  EXPECT_EQ(security.SetSecurity(0), 0);
  EXPECT_EQ(security.SetSecurity(1), 0);
  EXPECT_EQ(SecurityEnabled(), 1u);
  // Asking whether security is on removes nothing.
  EXPECT_EQ(security.GetSecurityInfo(), 1);
  ActAsUser("root", true);
  for (const char* right : kRightKeys) EXPECT_TRUE(KeyExists(RightKey(right))) << right;
}

TEST_F(SecurityTest, OffOrAbsentAllowsEverythingAndSwitchingKeepsTheLists) {
  CQVERcpSecurity security;
  ActAsUser("alice");
  for (unsigned mask : {0u, 0x01u, 0x7fu, 0x80u}) EXPECT_EQ(security.CheckSecurity(mask), 1) << mask;
  EXPECT_EQ(security.GetSecurityInfo(), 0);
  EXPECT_EQ(security.SetSecurity(1), 0);  // only an administrator builds the branch
  ActAsUser("root", true);
  EXPECT_EQ(security.SetSecurity(0), 0);  // nothing to switch off
  EXPECT_EQ(security.SetSecurity(2), 0);
  EXPECT_FALSE(KeyExists("RecipeSecurity"));

  // A group made beforehand keeps its comment and members.
  ASSERT_EQ(qvplatform::LocalGroupAdd("RcpSec2", "our engineers"), 0u);
  Enrol("alice", "RcpSec2");
  ASSERT_EQ(security.SetSecurity(1), 1);
  qvplatform::LocalGroupInfo group;
  ASSERT_EQ(qvplatform::LocalGroupGet("RcpSec2", &group), 0u);
  EXPECT_EQ(group.comment, "our engineers");
  EXPECT_EQ(group.members, std::vector<std::string>{"alice"});

  EXPECT_EQ(security.SetSecurity(2), 0);
  EXPECT_EQ(SecurityEnabled(), 1u);
  ActAsUser("alice");
  EXPECT_EQ(security.CheckSecurity(QVERCP_RIGHT_EDIT), 1);
  EXPECT_EQ(security.CheckSecurity(QVERCP_RIGHT_DELETE), 0);

  // An administrator changes a list; off and on again keep it.
  ActAsUser("root", true);
  HKEY del = OpenBatch(RightKey("Delete"));
  ASSERT_NE(del, nullptr);
  std::vector<qvplatform::AccessEntry> changed = AccessListOf(RightKey("Delete"));
  changed.push_back({"RcpSec2", kReadWrite});
  ASSERT_EQ(qvtest::SetAccessList(del, changed), 0);
  QVCCloseRegistry(del);
  ASSERT_EQ(security.SetSecurity(0), 1);
  EXPECT_EQ(SecurityEnabled(), 0u);
  EXPECT_EQ(security.GetSecurityInfo(), 0);
  ActAsUser("carol");
  for (unsigned mask : {0u, 0x20u, 0x80u}) EXPECT_EQ(security.CheckSecurity(mask), 1) << mask;
  ActAsUser("root", true);
  ASSERT_EQ(security.SetSecurity(1), 1);
  EXPECT_EQ(AccessListOf(RightKey("Delete")).size(), changed.size());
  ActAsUser("alice");
  EXPECT_EQ(security.CheckSecurity(QVERCP_RIGHT_DELETE), 1);
}

TEST_F(SecurityTest, TheBranchGoesOnlyWholeAndOnlyForWhoMayDeleteEveryKey) {
  CQVERcpSecurity security;
  ASSERT_EQ(security.SetSecurity(1), 1);
  // Administrators may read the right keys only: asking removes nothing.
  EXPECT_EQ(security.GetSecurityInfo(), 1);

  // DELETE for Administrators on every right key but the last.
  auto grantDelete = [&](const char* right) {
    HKEY key = OpenBatch(RightKey(right));
    ASSERT_NE(key, nullptr);
    std::vector<qvplatform::AccessEntry> list = AccessListOf(RightKey(right));
    list.push_back({"Administrators", GENERIC_ALL});
    ASSERT_EQ(qvtest::SetAccessList(key, list), 0);
    QVCCloseRegistry(key);
  };
  for (int r = 0; r < 6; ++r) grantDelete(kRightKeys[r]);
  EXPECT_EQ(security.GetSecurityInfo(), 1);
  for (const char* right : kRightKeys) EXPECT_TRUE(KeyExists(RightKey(right))) << right;

  // A right key that went missing (a switch-on cut short) is built again by
  // the next switch-on, with its default list; the others keep theirs.
  HKEY batch = OpenBatch("");
  ASSERT_EQ(RegDeleteKeyA(batch, RightKey("Approve").c_str()), 0);
  QVCCloseRegistry(batch);
  ASSERT_EQ(security.SetSecurity(1), 1);
  EXPECT_EQ(DescribeAccess(AccessListOf(RightKey("Approve"))), "Administrators:r RcpSec4:rw ");
  EXPECT_EQ(AccessListOf(RightKey("Run")).size(), 7u);

  grantDelete(kRightKeys[5]);
  grantDelete(kRightKeys[6]);
  ActAsUser("alice");
  EXPECT_EQ(security.GetSecurityInfo(), 1);  // not an administrator
  ActAsUser("root", true);
  EXPECT_EQ(security.GetSecurityInfo(), 0);
  EXPECT_FALSE(KeyExists("RecipeSecurity"));
  ActAsUser("alice");
  EXPECT_EQ(security.CheckSecurity(QVERCP_RIGHT_APPROVE), 1);
}

// Every change of the store asks for its right before it touches anything,
// and the refusal names the user and the right.
TEST_F(SecurityTest, EveryChangeAsksForItsRightFirst) {
  const std::string project = tmp_ / "demo";
  const std::string group = project + "/Recipe/RG01";
  const std::string recipe = group + "/RCP0003";
  rcpstore::CreateProject("demo", tmp_.path());
  rcpstore::RegisterProject("Demo", project);
  rcpstore::CreateGroup("Demo", 1);
  rcpstore::CreateRecipe(group, 3, "H");
  rcpstore::CreateUnit(recipe, 0, "H");
  ASSERT_EQ(CQVERcpSecurity().SetSecurity(1), 1);
  Enrol("alice", "RcpSec1");  // run and read only
  struct Refusal {
    const char* right;
    std::function<void()> call;
  };
  const Refusal refusals[] = {
      {"create", [&] { rcpstore::CreateRecipe(group, 7, "H"); }},
      {"edit", [&] { rcpstore::SetRecipeTexts(recipe, rcpstore::RecipeTexts{"T", {}, {}}); }},
      {"edit", [&] { rcpstore::AddSubGroup(group, {"New"}); }},
      {"edit", [&] { rcpstore::MoveToSubGroup(group, {3}, {}); }},
      {"delete", [&] { rcpstore::DeleteUnit(recipe, 0); }},
      {"create", [&] { rcpstore::CreateGroup(project, 9); }},
      {"delete", [&] { rcpstore::DeleteProject(project); }},
      {"create", [&] { rcpstore::CopyRecipe(recipe, group, 30); }},
      {"create", [&] { rcpstore::MoveRecipe(recipe, group, 31); }},
      {"edit", [&] { rcpstore::VerifyStore(project, true); }},
      {"create", [&] { rcpstore::ImportStore({tmp_ / "none.tgz", tmp_ / "restored", "", false}); }},
  };
  ActAsUser("alice");
  for (const Refusal& refusal : refusals) {
    try {
      refusal.call();
      ADD_FAILURE() << refusal.right << ": allowed";
    } catch (const rcpstore::Failure& failure) {
      EXPECT_EQ(failure.cause, std::string("user alice lacks the ") + refusal.right + " right");
      EXPECT_EQ(failure.code, static_cast<uint32_t>(ERROR_ACCESS_DENIED));
    }
  }
  for (const char* gone : {"/RCP0007", "/RCP0030", "/RCP0031", "/RCP0003/RcpRP.edf", "/../RG09"}) {
    EXPECT_EQ(qvtest::Exists(group + gone), std::string(gone) == "/RCP0003/RcpRP.edf") << gone;
  }
  // Enrolled where create and edit are given, it creates; delete stays refused.
  Enrol("alice", "RcpSec2");
  ActAsUser("alice");
  EXPECT_NO_THROW(rcpstore::CreateRecipe(group, 7, "H"));
  EXPECT_THROW(rcpstore::DeleteRecipe(recipe), rcpstore::Failure);
  // Switched off, everything is allowed again.
  ActAsUser("root", true);
  ASSERT_EQ(CQVERcpSecurity().SetSecurity(0), 1);
  ActAsUser("alice");
  EXPECT_NO_THROW(rcpstore::DeleteRecipe(recipe));
}

TEST_F(SecurityTest, KeysAndGroupsOfThePrivateSteps) {
  qvtest::ErrorCapture errors;
  // An account that cannot be looked up gets no key; neither does an unknown component.
  HKEY key = nullptr;
  EXPECT_EQ(CQVERcpSecurityProbe::CreateRegKey("No Such Account", QVC_COMPONENT_ENG, &key), QVC_ERR_ACCOUNT);
  EXPECT_EQ(key, nullptr);
  EXPECT_EQ(CQVERcpSecurityProbe::CreateRegKey("Administrators", 9, &key), QVC_ERR_CANNOT_EXECUTE);
  EXPECT_EQ(key, nullptr);
  EXPECT_FALSE(KeyExists("Probe"));
  EXPECT_EQ(errors.Count(QVC_ERR_ACCOUNT, "LookupAccountNameA"), 1u);
  EXPECT_EQ(errors.Count(QVC_ERR_CANNOT_EXECUTE, "QVCOpenRegistry"), 1u);

  // A key without an access list gets a list of the one new entry.
  ASSERT_EQ(CQVERcpSecurityProbe::CreateRegKey("Administrators", QVC_COMPONENT_ENG, &key), 0u);
  qvplatform::KeySecurity open{"", false, {}};
  DWORD size = 0;
  qvplatform::WriteDescriptor(open, DACL_SECURITY_INFORMATION, nullptr, &size);
  std::vector<uint8_t> block(size);
  ASSERT_EQ(qvplatform::WriteDescriptor(open, DACL_SECURITY_INFORMATION, block.data(), &size), 0u);
  ASSERT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, block.data()), 0);
  ASSERT_EQ(CQVERcpSecurityProbe::AddAccessCtl(key, "Everyone", GENERIC_READ), 0u);
  EXPECT_EQ(DescribeAccess(qvtest::SecurityOf(key).dacl), "Everyone:r ");
  EXPECT_EQ(CQVERcpSecurityProbe::AddAccessCtl(key, "No Such Account", GENERIC_READ), QVC_ERR_ACCOUNT);
  RegCloseKey(key);

  // Groups: made when missing, an existing account left alone, a name that
  // does not fit the group buffer refused; code-page bytes kept as they are.
  EXPECT_EQ(CQVERcpSecurityProbe::CheckGrpName("RcpSec3"), 0u);
  EXPECT_TRUE(qvplatform::LocalGroupExists("RcpSec3"));
  EXPECT_EQ(CQVERcpSecurityProbe::CheckGrpName("root"), 0u);
  EXPECT_FALSE(qvplatform::LocalGroupExists("root"));
  std::vector<WCHAR> root{L'r', L'o', L'o', L't', 0};
  LOCALGROUP_INFO_0 named{root.data()};
  EXPECT_EQ(NetLocalGroupAdd(nullptr, 0, reinterpret_cast<BYTE*>(&named), nullptr), NERR_UserExists);
  EXPECT_EQ(CQVERcpSecurityProbe::CheckGrpName(std::string(41, 'g').c_str()), QVC_ERR_ACCOUNT);
  EXPECT_EQ(CQVERcpSecurityProbe::CheckGrpName(std::string(40, 'g').c_str()), 0u);
  const char latin[] = "Gr\xfcppe";
  EXPECT_EQ(CQVERcpSecurityProbe::CheckGrpName(latin), 0u);
  qvplatform::LocalGroupInfo group;
  ASSERT_EQ(qvplatform::LocalGroupGet(latin, &group), 0u);
  EXPECT_EQ(group.name, latin);
  ActAsUser("alice");
  EXPECT_EQ(CQVERcpSecurityProbe::CheckGrpName("RcpSec5"), QVC_ERR_ACCOUNT);
  EXPECT_FALSE(qvplatform::LocalGroupExists("RcpSec5"));
}

TEST_F(SecurityTest, AccountLookUpGivesSizesFirstAndKnowsEveryKind) {
  ASSERT_EQ(qvplatform::LocalGroupAdd(std::string(200, 'L'), ""), 0u);
  struct Case {
    std::string name;
    SID_NAME_USE use;
  };
  for (const Case& c : {Case{"Everyone", SidTypeWellKnownGroup}, Case{"administrators", SidTypeAlias},
                        Case{"root", SidTypeUser}, Case{std::string(200, 'L'), SidTypeAlias}}) {
    DWORD cbSid = 0;
    DWORD cchDomain = 0;
    SID_NAME_USE use = SidTypeUnknown;
    EXPECT_FALSE(LookupAccountNameA(nullptr, c.name.c_str(), nullptr, &cbSid, nullptr, &cchDomain, &use));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    ASSERT_GT(cbSid, 0u) << c.name;
    // One byte short of either size is refused without a write past it.
    std::vector<uint8_t> sid(cbSid + 4, 0xAB);
    std::vector<char> domain(cchDomain + 4, 'x');
    DWORD shortSid = cbSid - 1;
    DWORD room = cchDomain;
    EXPECT_FALSE(LookupAccountNameA(nullptr, c.name.c_str(), sid.data(), &shortSid, domain.data(), &room, &use));
    EXPECT_EQ(sid[cbSid - 1], 0xAB);
    DWORD shortDomain = cchDomain - 1;
    DWORD sidRoom = cbSid;
    EXPECT_FALSE(LookupAccountNameA(nullptr, c.name.c_str(), sid.data(), &sidRoom, domain.data(), &shortDomain, &use));
    sidRoom = cbSid;
    room = cchDomain;
    ASSERT_TRUE(LookupAccountNameA(nullptr, c.name.c_str(), sid.data(), &sidRoom, domain.data(), &room, &use));
    EXPECT_EQ(sidRoom, GetLengthSid(sid.data()));
    EXPECT_EQ(sid[cbSid], 0xAB);
    EXPECT_EQ(domain[cchDomain], 'x');
    EXPECT_EQ(room + 1, cchDomain);
    EXPECT_EQ(use, c.use) << c.name;
    EXPECT_EQ(strcasecmp(qvplatform::SidAccount(sid.data()).c_str(), c.name.c_str()), 0);
  }
  // The long group's SID does not fit the 100-byte buffer of a key's creation.
  HKEY key = nullptr;
  EXPECT_EQ(CQVERcpSecurityProbe::CreateRegKey(std::string(200, 'L').c_str(), QVC_COMPONENT_ENG, &key),
            QVC_ERR_ACCOUNT);
  DWORD cbSid = 100;
  DWORD cchDomain = 80;
  SID_NAME_USE use;
  uint8_t sid[100];
  char domain[80];
  EXPECT_FALSE(LookupAccountNameA(nullptr, "no-such-account", sid, &cbSid, domain, &cchDomain, &use));
  EXPECT_EQ(GetLastError(), ERROR_NONE_MAPPED);
  EXPECT_EQ(cbSid, 100u);
  EXPECT_EQ(cchDomain, 80u);
  EXPECT_FALSE(LookupAccountNameA("another-computer", "root", sid, &cbSid, domain, &cchDomain, &use));
}

// Lists and entries built and walked with sizes that lie: every call either
// works inside the buffer or refuses. Run under the address sanitizer this
// shows that nothing is read or written outside.
TEST(SecurityLayoutTest, HostileSizesAreRefusedWithoutTouchingOutside) {
  uint8_t sid[QV_MAX_SID_SIZE];
  DWORD sidSize = sizeof sid;
  ASSERT_EQ(qvplatform::MakeSid("RcpSec1", SidTypeAlias, sid, &sidSize), 0u);
  EXPECT_EQ(sidSize, 12u);
  EXPECT_EQ(qvplatform::MakeSid(std::string(QV_MAX_ACCOUNT_NAME + 1, 'n'), SidTypeAlias, sid, &sidSize),
            ERROR_INVALID_SID);

  // A full list refuses the next entry and leaves the guard bytes behind it.
  std::vector<uint8_t> buffer(64 + 16, 0xCD);
  auto* acl = reinterpret_cast<PACL>(buffer.data());
  EXPECT_FALSE(InitializeAcl(acl, 4, ACL_REVISION));
  ASSERT_TRUE(InitializeAcl(acl, 64, ACL_REVISION));
  int added = 0;
  while (AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_READ, sid)) ++added;
  EXPECT_EQ(GetLastError(), ERROR_ALLOTTED_SPACE_EXCEEDED);
  EXPECT_EQ(added, 2);  // 8 + 2 * 20 of 64 bytes
  for (size_t i = 64; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], 0xCD) << i;
  ACL_SIZE_INFORMATION sizes{};
  ASSERT_TRUE(GetAclInformation(acl, &sizes, sizeof sizes, AclSizeInformation));
  EXPECT_EQ(sizes.AceCount, 2u);
  EXPECT_EQ(sizes.AclBytesInUse, 48u);
  EXPECT_EQ(sizes.AclBytesFree, 16u);
  EXPECT_FALSE(GetAclInformation(acl, &sizes, sizeof sizes - 1, AclSizeInformation));
  void* ace = nullptr;
  EXPECT_FALSE(GetAce(acl, 2, &ace));

  // AddAce takes whole entries only, at the place asked for.
  std::vector<uint8_t> other(128);
  auto* copy = reinterpret_cast<PACL>(other.data());
  ASSERT_TRUE(InitializeAcl(copy, 128, ACL_REVISION));
  ASSERT_TRUE(GetAce(acl, 0, &ace));
  EXPECT_FALSE(AddAce(copy, ACL_REVISION, MAXDWORD, ace, 19));
  EXPECT_FALSE(AddAce(copy, ACL_REVISION, MAXDWORD, ace, 24));
  EXPECT_TRUE(AddAce(copy, ACL_REVISION, MAXDWORD, ace, 40));  // both entries
  uint8_t first[QV_MAX_SID_SIZE];
  DWORD firstSize = sizeof first;
  ASSERT_EQ(qvplatform::MakeSid("Everyone", SidTypeWellKnownGroup, first, &firstSize), 0u);
  std::vector<uint8_t> single(32);
  auto* one = reinterpret_cast<PACL>(single.data());
  ASSERT_TRUE(InitializeAcl(one, 32, ACL_REVISION));
  ASSERT_TRUE(AddAccessAllowedAce(one, ACL_REVISION, KEY_READ, first));
  void* everyone = nullptr;
  ASSERT_TRUE(GetAce(one, 0, &everyone));
  ASSERT_TRUE(AddAce(copy, ACL_REVISION, 0, everyone, static_cast<ACE_HEADER*>(everyone)->AceSize));
  SECURITY_DESCRIPTOR sd;
  ASSERT_TRUE(InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(SetSecurityDescriptorDacl(&sd, 1, copy, 0));
  qvplatform::KeySecurity read;
  ASSERT_EQ(qvplatform::ReadDescriptor(&sd, &read), 0u);
  ASSERT_EQ(read.dacl.size(), 3u);
  EXPECT_EQ(read.dacl[0].account, "Everyone");
  EXPECT_EQ(read.dacl[2].account, "RcpSec1");

  // Random damage to a list: nothing reads outside it, and what is accepted
  // reads back within its size.
  std::mt19937 random(11);
  const int kInputs = 20000;
  int accepted = 0;
  for (int n = 0; n < kInputs; ++n) {
    std::vector<uint8_t> damaged(other.begin(), other.begin() + 8 + 60);
    for (int flips = 1 + random() % 4; flips > 0; --flips) damaged[random() % damaged.size()] = random() & 0xFF;
    auto* list = reinterpret_cast<PACL>(damaged.data());
    if (list->AclSize > damaged.size()) list->AclSize = static_cast<WORD>(damaged.size());
    SECURITY_DESCRIPTOR wrapped;
    InitializeSecurityDescriptor(&wrapped, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&wrapped, 1, list, 0);
    qvplatform::KeySecurity out;
    if (qvplatform::ReadDescriptor(&wrapped, &out) == 0) ++accepted;
    for (DWORD i = 0; i < 4; ++i) GetAce(list, i, &ace);
    AddAccessAllowedAce(list, ACL_REVISION, GENERIC_READ, sid);
  }
  EXPECT_GT(accepted, 0);
  EXPECT_LT(accepted, kInputs);
}

}  // namespace
