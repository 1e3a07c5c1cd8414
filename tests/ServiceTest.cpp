// The service layer: paths, CSV lines, text files, case-insensitive look-up,
// listings and the failure log. How lines are joined and read back, and how
// the text reader cuts a file into pieces, are the fuzz targets' (csv_line,
// text_line) against their models.
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

#include "LibQVCCommon/QVCCodes.h"
#include "LibQVCCommon/QVCError.h"
#include "TestSupport.h"
#include "libqvecommon/QVEEngList.h"
#include "libqvecommon/QVEEngPath.h"
#include "libqvecommon/QVEEngText.h"
#include "libqveeda/QVEEdaCsv.h"
#include "platform/AppendLog.h"
#include "platform/Env.h"
#include "platform/StationDir.h"
#include "platform/StoreRoot.h"

using qvtest::ReadFile;
using qvtest::TempDir;
using qvtest::WriteFile;

namespace {

std::string Cat(std::string path, const char* name) {
  std::string returned = QVEEngCatPath(path, name);
  EXPECT_EQ(returned, path);
  return path;
}

TEST(PathTest, JoinsWithExactlyOneSeparator) {
  EXPECT_EQ(Cat("/p/Recipe", "RG01"), "/p/Recipe/RG01");
  EXPECT_EQ(Cat("/p/Recipe/", "RG01"), "/p/Recipe/RG01");
  EXPECT_EQ(Cat("/p/Recipe//", "/RG01"), "/p/Recipe/RG01");
  EXPECT_EQ(Cat("/p/RG01", ""), "/p/RG01/");
  EXPECT_EQ(Cat("/p/RG01/", ""), "/p/RG01/");
  EXPECT_EQ(Cat(Cat("/p/RG01", ""), "RcpSubGroup.txt"), "/p/RG01/RcpSubGroup.txt");
  EXPECT_EQ(Cat("", "SubA"), "SubA");
  EXPECT_EQ(Cat("SubA", "SubB"), "SubA/SubB");
  EXPECT_EQ(Cat("/", "x"), "/x");
}

TEST(PathTest, SplitsOffTheLastComponent) {
  const std::vector<std::vector<std::string>> splits = {
      {"/p/Recipe/RG01/", "/p/Recipe", "RG01"}, {"/x", "/", "x"}, {"alone", "", "alone"}};
  CString dir, name;
  for (const auto& split : splits) {
    ASSERT_EQ(QVEEngSplitFilePath(split[0].c_str(), 1, dir, name), 0u) << split[0];
    EXPECT_EQ(dir, split[1]);
    EXPECT_EQ(name, split[2]);
  }
  for (const char* bad : {"", "///"}) EXPECT_NE(QVEEngSplitFilePath(bad, 1, dir, name), 0u) << bad;
  EXPECT_NE(QVEEngSplitFilePath("/a/b", 2, dir, name), 0u);
}

TEST(CsvTest, ReadsHandWrittenLines) {
  CStringArray items;
  EXPECT_EQ(QVEEdaCsvParseLine("", items), 0u);
  EXPECT_TRUE(items.empty());
  EXPECT_EQ(QVEEdaCsvParseLine("STARTSUB, SubA ,extra", items), 0u);
  EXPECT_EQ(items, (CStringArray{"STARTSUB", " SubA ", "extra"}));
  EXPECT_EQ(QVEEdaCsvParseLine("a,,b,", items), 0u);
  EXPECT_EQ(items, (CStringArray{"a", "", "b", ""}));
  EXPECT_EQ(QVEEdaCsvParseLine("\"x\"y,z", items), 0u);
  EXPECT_EQ(items, (CStringArray{"xy", "z"}));
  EXPECT_EQ(QVEEdaCsvParseLine("NODE,\"open", items), QVC_ERR_CANNOT_EXECUTE);
  EXPECT_TRUE(items.empty());
  EXPECT_NE(QVEEdaCsvParseLine("\"a\"\"", items), 0u);
}

TEST(TextFileTest, WriterPutsCrLfOnDiskAndReplacesInOneStep) {
  TempDir tmp;
  WriteFile(tmp / "target.txt", "old\r\n");
  QVEEngTextWriter writer;
  ASSERT_EQ(writer.Create(tmp / "work.txt"), 0u);
  writer.Write("a\nb\n");
  EXPECT_EQ(ReadFile(tmp / "target.txt"), "old\r\n");
  ASSERT_EQ(writer.Commit(tmp / "target.txt"), 0u);
  EXPECT_EQ(ReadFile(tmp / "target.txt"), "a\r\nb\r\n");
  EXPECT_FALSE(qvtest::Exists(tmp / "work.txt"));
  {
    QVEEngTextWriter abandoned;
    ASSERT_EQ(abandoned.Create(tmp / "work.txt"), 0u);
    abandoned.Write("partial");
  }
  EXPECT_FALSE(qvtest::Exists(tmp / "work.txt"));
}

TEST(CaseTest, FindsExistingFilesUnderAnotherCase) {
  TempDir tmp;
  WriteFile(tmp / "Group/RcpSubGroup.TXT", "content");
  qvplatform::Env* env = qvplatform::CurrentEnv();
  std::unique_ptr<qvplatform::ReadableFile> file;
  EXPECT_EQ(env->OpenForRead(tmp / "group/rcpsubgroup.txt", &file), 0u);
  EXPECT_EQ(env->Resolve(tmp / "GROUP/rcpsubgroup.txt"), tmp / "Group/RcpSubGroup.TXT");

  // A rewrite replaces the file under its own name; no second file appears.
  QVEEngTextWriter writer;
  ASSERT_EQ(writer.Create(tmp / "group/work.txt"), 0u);
  writer.Write("new\n");
  ASSERT_EQ(writer.Commit(tmp / "GROUP/rcpSUBgroup.txt"), 0u);
  EXPECT_EQ(ReadFile(tmp / "Group/RcpSubGroup.TXT"), "new\r\n");
  std::vector<qvplatform::DirEntry> entries;
  ASSERT_EQ(env->ReadDirectory(tmp / "Group", &entries), 0u);
  ASSERT_EQ(entries.size(), 1u);

  // A new file is created as named.
  std::unique_ptr<qvplatform::WritableFile> created;
  ASSERT_EQ(env->CreateForWrite(tmp / "group/NewFile.txt", &created), 0u);
  EXPECT_TRUE(qvtest::Exists(tmp / "Group/NewFile.txt"));
  EXPECT_EQ(env->RemoveFile(tmp / "GROUP/newfile.TXT"), 0u);
  EXPECT_FALSE(qvtest::Exists(tmp / "Group/NewFile.txt"));
  EXPECT_EQ(env->OpenForRead(tmp / "Group/missing.txt", &file), ERROR_FILE_NOT_FOUND);

  // The store's own hidden names are matched as spelt; their directories still are not.
  WriteFile(tmp / "Group/.RCP0001.new-1-a", "");
  EXPECT_EQ(env->OpenForRead(tmp / "group/.RCP0001.new-1-a", &file), 0u);
  EXPECT_EQ(env->OpenForRead(tmp / "Group/.rcp0001.NEW-1-a", &file), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(env->Resolve(tmp / "GROUP/.rcp0001.new-1-a"), tmp / "Group/.rcp0001.new-1-a");

  // Beneath a store root, so are the names below a hidden one: a missing
  // one fails at once, without a look for another spelling.
  qvplatform::StoreRootScope scope;
  ASSERT_EQ(qvplatform::OpenStoreRoot(tmp.path()), 0u);
  WriteFile(tmp / "Group/.kept/Logs/RG01.log", "x");
  EXPECT_EQ(env->OpenForRead(tmp / "group/.kept/Logs/RG01.log", &file), 0u);
  EXPECT_EQ(env->OpenForRead(tmp / "Group/.kept/logs/RG01.log", &file), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(env->OpenForRead(tmp / "Group/.kept/Logs/rg01.log", &file), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(env->Resolve(tmp / "GROUP/.kept/Logs/rg01.log"), tmp / "Group/.kept/Logs/rg01.log");
}

struct Seen {
  unsigned type;
  unsigned depth;
  std::string directory;
  std::string name;
  std::string extension;
};

int Record(unsigned type, unsigned depth, const char* directory, const char* name, const char* extension,
           WIN32_FIND_DATAA* data, void* context) {
  auto* seen = static_cast<std::vector<Seen>*>(context);
  seen->push_back({type, depth, directory, name, extension});
  EXPECT_EQ((data->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0, type == QVEENG_LIST_DIRS);
  return std::string(name) != "skip";
}

TEST(ListTest, CallsBackInNameOrderDirectoryFirstAndHonoursSkip) {
  TempDir tmp;
  qvtest::MakeDirs(tmp / "root/b/inner");
  qvtest::MakeDirs(tmp / "root/A");
  qvtest::MakeDirs(tmp / "root/skip/hidden");
  WriteFile(tmp / "root/c.tar.edf", "");
  WriteFile(tmp / "root/.dot", "");
  ASSERT_EQ(symlink((tmp / "root/b").c_str(), (tmp / "root/link").c_str()), 0);

  std::vector<Seen> seen;
  ASSERT_EQ(QVEEngListFile2(1, (tmp / "root/*").c_str(), 3, Record, &seen), 0u);
  std::vector<std::string> order;
  for (const Seen& s : seen) order.push_back(std::to_string(s.depth) + ":" + s.name + s.extension);
  EXPECT_EQ(order, (std::vector<std::string>{"1:.dot", "1:A", "1:b", "2:inner", "1:c.tar.edf", "1:skip"}));
  EXPECT_EQ(seen[3].directory, tmp / "root/b");
  EXPECT_EQ(seen[4].name, "c.tar");
  EXPECT_EQ(seen[4].extension, ".edf");

  seen.clear();
  ASSERT_EQ(QVEEngListFile2(0, (tmp / "root/C*.EDF").c_str(), QVEENG_LIST_FILES, Record, &seen), 0u);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].name, "c.tar");

  seen.clear();
  EXPECT_NE(QVEEngListFile2(1, (tmp / "missing/*").c_str(), 3, Record, &seen), 0u);
  EXPECT_TRUE(seen.empty());
}

// Entries beyond one read of the system arrive too, each with its type, and
// a second read of the same opened directory starts again from the first.
TEST(ListTest, ReadsALargeDirectoryWholeAndAgain) {
  TempDir tmp;
  std::map<std::string, qvplatform::EntryType> made;
  for (int i = 0; i < 1500; ++i) {
    std::string name = "an-entry-with-a-rather-long-name-" + std::to_string(i);
    bool file = i % 2 == 1;
    if (file) WriteFile(tmp / ("big/" + name), "");
    if (!file) qvtest::MakeDirs(tmp / ("big/" + name));
    made[name] = file ? qvplatform::EntryType::kFile : qvplatform::EntryType::kDirectory;
  }
  ASSERT_EQ(symlink("missing", (tmp / "big/link").c_str()), 0);
  made["link"] = qvplatform::EntryType::kOther;
  std::unique_ptr<qvplatform::Directory> directory;
  ASSERT_EQ(qvplatform::CurrentEnv()->OpenDirectory(tmp / "big", &directory), 0u);
  for (int pass = 0; pass < 2; ++pass) {
    std::vector<qvplatform::DirEntry> entries;
    ASSERT_EQ(directory->Read(&entries), 0u);
    std::map<std::string, qvplatform::EntryType> seen;
    for (const qvplatform::DirEntry& entry : entries) seen[entry.name] = entry.type;
    EXPECT_EQ(entries.size(), made.size());
    EXPECT_TRUE(seen == made) << "pass " << pass;
  }
}

TEST(ErrorLogTest, RecordsOneLineAndTellsTheObserver) {
  TempDir tmp;
  qvtest::ErrorCapture capture;
  _QVCSetError(9168, "RcpDirInfo", 42, 0x20200001, "Invalid\nDirectory");
  ASSERT_EQ(capture.records().size(), 1u);
  EXPECT_EQ(capture.records()[0].messageNo, 9168);
  EXPECT_EQ(capture.records()[0].line, 42);
  std::string log = ReadFile(tmp / ".station/errors.log");
  EXPECT_NE(log.find("pid=" + std::to_string(getpid()) + " msg=9168 RcpDirInfo:42 code=0x20200001 Invalid Directory\n"),
            std::string::npos)
      << log;
}

TEST(ErrorLogTest, RotatesAtItsLimit) {
  TempDir tmp;
  qvplatform::AppendLog log("small.log", 1000);
  for (int i = 0; i < 100; ++i) log.Append(std::string(50, 'x'));
  EXPECT_LE(ReadFile(tmp / ".station/small.log").size(), 1000u + 51u);
  EXPECT_TRUE(qvtest::Exists(tmp / ".station/small.log.1"));
}

// A line that a full disk cuts short is taken out again: the log holds whole
// lines only, and once there is room the next line is whole too.
TEST(ErrorLogTest, AFullDiskLeavesNoCutLine) {
  TempDir tmp;
  qvtest::TinyDisk disk(tmp / "disk", "size=64k");
  if (!disk.mounted()) GTEST_SKIP() << "mounting a tmpfs is not permitted here";
  qvtest::UseStation(tmp / "disk");
  qvplatform::AppendLog log("audit.log", 1 << 20);
  ASSERT_TRUE(log.Append("first"));
  disk.Fill();
  const std::string line(1000, 'x');
  std::string whole = "first\n";
  while (log.Append(line)) whole += line + "\n";
  EXPECT_EQ(ReadFile(tmp / "disk/audit.log"), whole);
  ASSERT_EQ(unlink((tmp / "disk/filler").c_str()), 0);
  EXPECT_TRUE(log.Append("after"));
  EXPECT_EQ(ReadFile(tmp / "disk/audit.log"), whole + "after\n");
}

}  // namespace
