// verify and repair on generated stores: every planted defect is found and
// nothing else; a repair fixes what loses nothing and keeps every recipe's
// data byte for byte.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>

#include "LibQVBRcpEpa.h"
#include "RcpVerify.h"
#include "RcpstoreRun.h"
#include "StoreGen.h"
#include "TestProcess.h"
#include "TestSupport.h"
#include "libqvecommon/QVEEngFile.h"

using nlohmann::json;

namespace {

using Found = std::vector<std::pair<std::string, std::string>>;

Found Sorted(Found found) {
  std::sort(found.begin(), found.end());
  return found;
}

Found Expected(const std::vector<qvtest::Defect>& defects, bool onlyUnrepairable) {
  Found found;
  for (const auto& defect : defects) {
    if (!onlyUnrepairable || !defect.repairable) found.emplace_back(defect.path, defect.kind);
  }
  return Sorted(found);
}

Found Verify(const std::string& project) {
  std::vector<rcpverify::Finding> findings;
  EXPECT_EQ(rcpverify::Verify(project, {}, &findings), 0u);
  Found found;
  for (const auto& finding : findings) found.emplace_back(finding.path, finding.kind);
  return Sorted(found);
}

class VerifyTest : public ::testing::Test {
 protected:
  std::string project() const { return tmp_ / "P"; }
  qvtest::Outcome Rcpstore(const std::vector<std::string>& words) {
    return qvtest::RunRcpstore(tmp_.path(), tmp_ / ".station", words, tmp_.path());
  }

  qvtest::TempDir tmp_;
};

TEST_F(VerifyTest, AHealthyStoreIsCleanAndLiveWorkIsNoFinding) {
  qvtest::BuildStore(tmp_.path(), "P", 2, 3);
  std::string recipe = project() + "/Recipe/RG01/RCP0002";
  // Another station editing a recipe, a writer at work on a sub-group file
  // and a recorded move cut short before its recipe's line went are the
  // store at work, not defects.
  std::filesystem::rename(project() + "/Recipe/RG01/RCP0001", project() + "/Recipe/RG02/RCP0009");
  qvtest::WriteFile(project() + "/Recipe/.move-RG01-RCP0001", "");
  qvtest::ChildProcess editor = qvtest::HoldLock(recipe, "");
  ASSERT_EQ(editor.started(), 0);
  HANDLE work = INVALID_HANDLE_VALUE;
  ASSERT_EQ(QVEEngCreateFile((project() + "/Recipe/RG02/RcpSubGroupwork.txt").c_str(), FILE_GENERIC_WRITE_ACCESS,
                             FILE_SHARE_READ, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr, &work, 0),
            0u);
  EXPECT_EQ(Verify(project()), Found{});
  qvtest::Outcome clean = Rcpstore({"verify", project()});
  EXPECT_EQ(clean.status, 0) << clean.err;
  EXPECT_EQ(clean.out, "clean\n");
  QVEEngCloseFile(work, 0);
  EXPECT_EQ(Rcpstore({"verify", tmp_ / "nowhere"}).status, 1);
}

// The defects planted by hand in recipes also leave them behind their
// history (historyBehind, which the history's own test covers): left out here.
Found WithoutHistory(Found found) {
  found.erase(std::remove_if(found.begin(), found.end(), [](const auto& f) { return f.second == "historyBehind"; }),
              found.end());
  return found;
}

TEST_F(VerifyTest, EveryPlantedDefectIsFoundAndRepairKeepsTheData) {
  qvtest::BuildStore(tmp_.path(), "P", 14, 3, 11);
  std::vector<qvtest::Defect> defects = qvtest::PlantDefects(project());
  EXPECT_EQ(WithoutHistory(Verify(project())), Expected(defects, false));

  // The recipe an in-use check left aside comes back under its own name.
  std::map<std::string, std::string> before;
  for (auto& [path, bytes] : qvtest::Snapshot(project() + "/Recipe")) {
    std::string key = path;
    size_t aside = key.find("RCP00021765000000");
    if (aside != std::string::npos) key.replace(aside, 17, "RCP0002");
    before[key] = bytes;
  }

  qvtest::Outcome repair = Rcpstore({"verify", project(), "--repair", "--json"});
  ASSERT_EQ(repair.status, 1) << repair.err;
  ASSERT_FALSE(repair.out.empty()) << repair.err;
  json report = json::parse(repair.out);
  size_t repairable = std::count_if(defects.begin(), defects.end(), [](const auto& d) { return d.repairable; });
  size_t behind = std::count_if(report["findings"].begin(), report["findings"].end(),
                                [](const json& f) { return f["finding"] == "historyBehind"; });
  // The project lock file is the repairing command's own while it runs.
  EXPECT_EQ(report["fixed"], repairable - 1 + behind);
  EXPECT_EQ(report["left"], defects.size() - repairable);
  for (const json& finding : report["findings"]) {
    if (finding["finding"] == "historyBehind") continue;
    auto defect =
        std::find_if(defects.begin(), defects.end(), [&](const auto& d) { return d.path == finding["path"]; });
    ASSERT_NE(defect, defects.end()) << finding.dump();
    EXPECT_EQ(finding["repaired"], defect->repairable) << finding.dump();
  }

  EXPECT_EQ(WithoutHistory(Verify(project())), Expected(defects, true));
  std::map<std::string, std::string> after = qvtest::Snapshot(project() + "/Recipe");
  for (const auto& [path, bytes] : before) {
    std::string full = project() + "/Recipe/" + path;
    if (std::any_of(defects.begin(), defects.end(), [&](const auto& d) { return d.repairable && d.path == full; })) {
      continue;
    }
    ASSERT_EQ(after.count(path), 1u) << path;
    EXPECT_EQ(after[path], bytes) << path;
  }
  std::string log = qvtest::ReadFile(tmp_ / ".station/audit.log");
  EXPECT_NE(log.find("\"operation\":\"repair\",\"path\":\"" + project() + "/Recipe/RG02/RcpGrAttr.txt\""),
            std::string::npos);
}

// A repaired sub-group file reads as the same tree as before.
TEST_F(VerifyTest, ARepairedSubGroupFileReadsAsTheSameTree) {
  qvtest::BuildStore(tmp_.path(), "P", 1, 4);
  std::string group = project() + "/Recipe/RG01";
  qvtest::WriteFile(group + "/RcpSubGroup.txt",
                    "ENDSUB,X\r\nSTARTSUB,A\r\nNODE,RCP0002\r\nNODE,RCP0009\r\nSTARTSUB,B\r\nNODE,RCP0003\r\n"
                    "NODE,RCP0002\r\nENDSUB,B\r\nNODE,RCP0004");
  auto tree = [&] {
    CQVERcpDirInfo node;
    node.m_nKind = QVERCP_KIND_GROUP;
    node.SetFullPath(group.c_str());
    CQVERcpUtil::GetDirectoryList(&node, 0, 1);
    return qvtest::Shape(node);
  };
  std::string shape = tree();
  std::vector<rcpverify::Finding> findings;
  rcpverify::Options repair;
  repair.repair = true;
  ASSERT_EQ(rcpverify::Verify(project(), repair, &findings), 0u);
  EXPECT_EQ(findings.size(), 4u);
  for (const auto& finding : findings) EXPECT_TRUE(finding.repaired) << finding.cause;
  EXPECT_EQ(tree(), shape);
  EXPECT_EQ(qvtest::ReadFile(group + "/RcpSubGroup.txt"),
            "STARTSUB,A\r\nNODE,RCP0002\r\nSTARTSUB,B\r\nNODE,RCP0003\r\nENDSUB,B\r\nNODE,RCP0004\r\nENDSUB,A\r\n");
  EXPECT_EQ(Verify(project()), Found{});
}

}  // namespace
