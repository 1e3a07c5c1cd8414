// Files of any size cost bounded memory and disk: a sub-group file crafted
// to multiply its bytes, a sparse unit file of 3 GiB, a work directory chain
// deeper than the descriptors a process may hold. Each runs rcpstore as a
// real process.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "RcpstoreRun.h"
#include "TestSupport.h"

namespace {

using qvtest::Outcome;

class LargeInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qvtest::MakeDirs(tmp_ / "io");
    Ok({"project", "create", "P", tmp_.path()});
    Ok({"group", "create", tmp_ / "P", "1"});
    Ok({"recipe", "create", group(), "1"});
  }

  std::string group() const { return tmp_ / "P/Recipe/RG01"; }

  Outcome Rcpstore(const std::vector<std::string>& words) {
    return qvtest::RunRcpstore(tmp_.path(), tmp_ / "station", words, tmp_ / "io");
  }

  std::string Ok(const std::vector<std::string>& words) {
    Outcome run = Rcpstore(words);
    EXPECT_EQ(run.status, 0) << words[0] << " " << words[1] << "\n" << run.err;
    return run.out;
  }

  qvtest::TempDir tmp_;
};

// Four nested sub-groups with 1,000-byte names, then 233,000 empty ones
// inside the deepest: 4.4 MiB that cost gigabytes while every node held its
// path.
TEST_F(LargeInputTest, TreeOfACraftedSubGroupFileStaysSmall) {
  {
    std::ofstream file(group() + "/RcpSubGroup.txt", std::ios::binary);
    for (int level = 0; level < 4; ++level) file << "STARTSUB," << std::string(1000, 'a' + level) << "\r\n";
    for (int i = 0; i < 233000; ++i) file << "STARTSUB,e\r\nENDSUB,e\r\n";
    for (int level = 0; level < 4; ++level) file << "ENDSUB,x\r\n";
  }
  std::string out = Ok({"tree", tmp_ / "P"});
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 3 + 4 + 233000);
  EXPECT_NE(out.find("                    ├── e/\n"), std::string::npos);  // below the four
#ifndef __SANITIZE_ADDRESS__  // the sanitizer's shadow and quarantine are not the store's memory
  rusage usage{};
  ASSERT_EQ(getrusage(RUSAGE_CHILDREN, &usage), 0);
  EXPECT_LT(usage.ru_maxrss, 128 * 1024) << "peak KB of a child";
#endif
}

// A sparse unit file far beyond any store file: a copy, which its history
// could not keep, is refused before anything is made; an export refuses it
// before reading it.
TEST_F(LargeInputTest, ASparseUnitFileBeyondAnyStoreFileIsNeitherCopiedNorExported) {
  const off_t size = off_t{3} << 30;
  int fd = open((group() + "/RCP0001/RcpPT01.edf").c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, size), 0);
  ASSERT_EQ(pwrite(fd, "QEDF", 4, size / 2), 4);  // data amid the holes
  close(fd);
  Outcome copy = Rcpstore({"recipe", "copy", group() + "/RCP0001", group(), "2"});
  EXPECT_EQ(copy.status, 1);
  EXPECT_FALSE(qvtest::Exists(group() + "/RCP0002"));

  Outcome run = Rcpstore({"export", tmp_ / "P", tmp_ / "p.tgz"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("RcpPT01.edf is larger than any store file"), std::string::npos) << run.err;
  EXPECT_FALSE(qvtest::Exists(tmp_ / "p.tgz"));
}

// A chain of work directories three times deeper than the descriptors the
// delete may hold.
TEST_F(LargeInputTest, ARecipeWithADeepWorkChainIsDeleted) {
  std::string temp = group() + "/RCP0001/TEMP";
  qvtest::MakeDirs(temp);
  // Made level by level from the one above: the chain's path is longer than
  // any path a call takes.
  int fd = open(temp.c_str(), O_RDONLY | O_DIRECTORY);
  for (int level = 0; level < 3000 && fd >= 0; ++level) {
    ASSERT_EQ(mkdirat(fd, "d", 0755), 0);
    int below = openat(fd, "d", O_RDONLY | O_DIRECTORY);
    close(fd);
    fd = below;
  }
  ASSERT_GE(fd, 0);
  int leaf = openat(fd, "leaf", O_WRONLY | O_CREAT, 0644);
  EXPECT_GE(leaf, 0);
  close(leaf);
  close(fd);
  rlimit limit{1024, 1024};
  rlimit saved{};
  getrlimit(RLIMIT_NOFILE, &saved);
  setrlimit(RLIMIT_NOFILE, &limit);  // the children inherit it
  Outcome run = Rcpstore({"recipe", "delete", group() + "/RCP0001"});
  setrlimit(RLIMIT_NOFILE, &saved);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_FALSE(qvtest::Exists(group() + "/RCP0001"));
}

}  // namespace
