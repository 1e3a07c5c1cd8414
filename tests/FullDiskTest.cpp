// A store on a real small disk that is full or mounted read-only, driven by
// rcpstore processes: a full disk still lets a user delete and clean to free
// space, and every refusal names what failed.
#include "RcpstoreRun.h"
#include "TestSupport.h"

namespace {

struct Case {
  std::vector<std::string> words;
  int status;
  const char* said;  // on stderr, when refused
};

class FullDiskTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!disk_.mounted()) GTEST_SKIP() << "mounting a tmpfs is not permitted here";
    for (const std::vector<std::string>& words :
         std::vector<std::vector<std::string>>{{"project", "create", "P", tmp_ / "disk"},
                                               {"project", "register", "Line1", project()},
                                               {"group", "create", "@Line1", "1"},
                                               {"recipe", "create", "@Line1/1", "1"},
                                               {"recipe", "create", "@Line1/1", "2"},
                                               {"unit", "create", "@Line1/1/1", "1"}}) {
      ASSERT_EQ(Run(words).status, 0) << words[0] << " " << words[1];
    }
    qvtest::WriteFile(recipe(1) + "/TEMP/work", std::string(8192, 'w'));
  }

  qvtest::Outcome Run(const std::vector<std::string>& words) {
    return qvtest::RunRcpstore(tmp_.path(), tmp_ / ".station", words, tmp_.path());
  }

  void Expect(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
      qvtest::Outcome outcome = Run(c.words);
      std::string command = c.words[0] + " " + c.words[1];
      EXPECT_EQ(outcome.status, c.status) << command << ": " << outcome.err;
      if (c.status != 0) {
        EXPECT_NE(outcome.err.find(c.said), std::string::npos) << command << ": " << outcome.err;
      }
      EXPECT_EQ(outcome.err.find("another station"), std::string::npos) << command << ": " << outcome.err;
    }
  }

  std::string project() const { return tmp_ / "disk/P"; }
  std::string recipe(int n) const { return project() + "/Recipe/RG01/RCP000" + std::to_string(n); }

  qvtest::TempDir tmp_;
  qvtest::TinyDisk disk_{tmp_ / "disk", "size=512k"};
};

// Taking a lock writes its holder's name; on a full disk the lock is still
// taken without it, so deletes and clean-temp go through and free space.
TEST_F(FullDiskTest, AFullDiskStillDeletesAndCleans) {
  disk_.Fill();
  Expect({{{"recipe", "set", "@Line1/1/1", "--title", "T"}, 1, "disk full"},
          {{"clean-temp", "@Line1"}, 0, ""},
          {{"unit", "delete", "@Line1/1/1/1"}, 0, ""},
          {{"recipe", "delete", "@Line1/1/2"}, 0, ""}});
  EXPECT_FALSE(qvtest::Exists(recipe(1) + "/TEMP/work"));
  EXPECT_FALSE(qvtest::Exists(recipe(1) + "/RcpPT01.edf"));
  EXPECT_FALSE(qvtest::Exists(recipe(2)));
  EXPECT_EQ(Run({"lock", "status", "@Line1"}).out.find("held"), std::string::npos);
}

// A read-only mount is named as such by every refused change, the lock
// refusals included, never taken for another station's lock.
TEST_F(FullDiskTest, AReadOnlyDiskIsNamedByEveryRefusal) {
  ASSERT_TRUE(disk_.MakeReadOnly());
  const char* readOnly = "read-only file system";
  Expect({{{"recipe", "set", "@Line1/1/1", "--title", "T"}, 1, readOnly},
          {{"recipe", "delete", "@Line1/1/2"}, 1, readOnly},
          {{"unit", "delete", "@Line1/1/1/1"}, 1, readOnly},
          {{"group", "create", "@Line1", "2"}, 1, readOnly},
          {{"lock", "project", "@Line1", "--", "true"}, 1, readOnly},
          {{"lock", "recipe", "@Line1/1/1", "--", "true"}, 1, readOnly},
          {{"clean-temp", "@Line1"}, 1, readOnly},
          {{"tree", "@Line1"}, 0, ""}});
}

}  // namespace
