// Share modes between real processes, and the open and in-use checks that
// rest on them.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "LibQVBRcpEpa.h"
#include "RunInChild.h"
#include "TestProcess.h"
#include "TestSupport.h"
#include "libqvecommon/QVEEngFile.h"
#include "libqvecommon/QVEEngText.h"
#include "platform/Env.h"
#include "platform/ShareMode.h"

using qvtest::Exists;
using qvtest::ReadFile;
using qvtest::WriteFile;

namespace {

constexpr uint32_t kRead = 0x80000000;
constexpr uint32_t kWrite = 0x40000000;

uint32_t Open(const std::string& path, uint32_t access, uint32_t share, uint32_t disposition, HANDLE* handle,
              uint32_t flags = FILE_ATTRIBUTE_NORMAL) {
  return QVEEngCreateFile(path.c_str(), access, share, disposition, flags, nullptr, handle, 0);
}

TEST(ShareModeTest, AHolderKeepsOtherWritersOutUntilItDies) {
  qvtest::TempDir tmp;
  std::string lock = tmp / "RcpLock.txt";
  qvtest::ChildProcess holder([&] { return qvtest::HoldFile(lock, "STATION-A\r\n"); });
  ASSERT_EQ(holder.started(), 0);

  HANDLE handle;
  EXPECT_EQ(Open(lock, kRead | kWrite, FILE_SHARE_READ, CREATE_ALWAYS, &handle), ERROR_SHARING_VIOLATION);
  EXPECT_EQ(Open(lock, kWrite, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, &handle), ERROR_SHARING_VIOLATION);
  EXPECT_EQ(Open(lock, kRead, FILE_SHARE_READ, OPEN_EXISTING, &handle), ERROR_SHARING_VIOLATION);
  EXPECT_EQ(ReadFile(lock), "STATION-A\r\n");  // refused opens truncate nothing, readers read
  ASSERT_EQ(Open(lock, kRead, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, &handle), 0u);
  QVEEngCloseFile(handle, 0);
  EXPECT_TRUE(qvplatform::IsHeld(lock));
  EXPECT_EQ(CQVERcpUtil::FileAccessCheck(lock.c_str()), static_cast<uint32_t>(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(QVEEngDeleteFile(lock.c_str(), 0, 0), static_cast<uint32_t>(ERROR_SHARING_VIOLATION));

  holder.Kill();
  EXPECT_FALSE(qvplatform::IsHeld(lock));
  ASSERT_EQ(Open(lock, kRead | kWrite, FILE_SHARE_READ, CREATE_ALWAYS, &handle), 0u);
  EXPECT_EQ(ReadFile(lock), "");
  QVEEngCloseFile(handle, 0);
}

TEST(ShareModeTest, TwoOpensInOneProcessExcludeEachOther) {
  qvtest::TempDir tmp;
  std::string file = tmp / "f.txt";
  HANDLE first;
  HANDLE second;
  ASSERT_EQ(Open(file, kWrite, FILE_SHARE_READ, OPEN_ALWAYS, &first), 0u);
  EXPECT_EQ(Open(file, kWrite, FILE_SHARE_READ, OPEN_ALWAYS, &second), ERROR_SHARING_VIOLATION);
  EXPECT_EQ(Open(tmp / "F.TXT", kWrite, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, &second),
            ERROR_SHARING_VIOLATION);
  QVEEngCloseFile(first, 0);
  ASSERT_EQ(Open(file, kWrite, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, &first), 0u);
  ASSERT_EQ(Open(file, kWrite, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, &second), 0u);
  HANDLE third;
  EXPECT_EQ(Open(file, kRead, FILE_SHARE_READ, OPEN_EXISTING, &third), ERROR_SHARING_VIOLATION);
  QVEEngCloseFile(first, 0);
  QVEEngCloseFile(second, 0);
  EXPECT_EQ(Open(tmp / "new.txt", kWrite, 0, CREATE_NEW, &first), 0u);
  EXPECT_EQ(Open(tmp / "new.txt", kWrite, 0, CREATE_NEW, &second), ERROR_FILE_EXISTS);
  QVEEngCloseFile(first, 0);
}

TEST(ShareModeTest, OpenChecksTellFilesFromDirectories) {
  qvtest::TempDir tmp;
  qvtest::MakeDirs(tmp / "Dir");
  WriteFile(tmp / "file.txt", "x");
  HANDLE handle;
  EXPECT_EQ(Open(tmp / "Dir", kRead, 3, OPEN_EXISTING, &handle), ERROR_ACCESS_DENIED);
  EXPECT_NE(CQVERcpUtil::CheckFile((tmp / "Dir").c_str(), kRead, 3), 0u);
  EXPECT_EQ(CQVERcpUtil::CheckDirFile((tmp / "dir").c_str(), kRead, 3), 0u);
  EXPECT_EQ(CQVERcpUtil::CheckDirFile((tmp / "missing").c_str(), kRead, 3), static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(CQVERcpUtil::CheckFile((tmp / "FILE.txt").c_str(), kRead, 3), 0u);
  EXPECT_FALSE(Exists(tmp / "missing"));
}

TEST(ShareModeTest, InUseChecksMoveAndRestoreOnlyWhatIsFree) {
  qvtest::TempDir tmp;
  std::string group = tmp / "RG01";
  qvtest::MakeDirs(group + "/RCP0001/TEMP");
  WriteFile(group + "/RcpGrAttr.txt", "x");
  EXPECT_EQ(CQVERcpUtil::DirAccessCheck(group.c_str()), 0u);
  EXPECT_EQ(CQVERcpUtil::DirAccessCheck((group + "/").c_str()), 0u);
  EXPECT_EQ(CQVERcpUtil::FileAccessCheck((group + "/RcpGrAttr.txt").c_str()), 0u);
  EXPECT_EQ(CQVERcpUtil::FileAccessCheck((group + "/none.txt").c_str()), static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(Exists(group + "/RcpGrAttr.txt"));
  {
    qvtest::ChildProcess holder([&] { return qvtest::HoldFile(group + "/RCP0001/RcpLock.txt", "A"); });
    ASSERT_EQ(holder.started(), 0);
    EXPECT_EQ(CQVERcpUtil::DirAccessCheck(group.c_str()), static_cast<uint32_t>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(QVEEngRenameDir(group.c_str(), (tmp / "RG02").c_str(), 0), static_cast<uint32_t>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(QVEEngDeleteRecursive((tmp / "rg*").c_str(), 0, 0), static_cast<uint32_t>(ERROR_SHARING_VIOLATION));
    EXPECT_TRUE(Exists(group + "/RCP0001/TEMP"));
  }
  qvtest::MakeDirs(tmp / "RG02");
  qvtest::MakeDirs(tmp / "keep");
  ASSERT_EQ(QVEEngDeleteRecursive((tmp / "rg*").c_str(), 0, 0), 0u);
  EXPECT_FALSE(Exists(group));
  EXPECT_FALSE(Exists(tmp / "RG02"));
  EXPECT_TRUE(Exists(tmp / "keep"));
}

TEST(ShareModeTest, OneEditorAtATimeHoldsAWorkFileAndADeadEditorsCopyIsReplaced) {
  qvtest::TempDir tmp;
  std::string group = tmp / "RG01";
  std::string file = group + "/RcpSubGroup.txt";
  std::string work = group + "/RcpSubGroupwork.txt";
  WriteFile(file, "STARTSUB,A\r\nENDSUB,A\r\n");
  const std::string half(70000, 'h');  // more than the writer buffers, so it is on disk
  qvtest::ChildProcess editor([&] {
    auto* writer = new QVEEngTextWriter;  // lives until the editor is killed
    uint32_t rc = writer->Create(work);
    return static_cast<int>(rc != 0 ? rc : writer->WriteBinary(half.data(), half.size()));
  });
  ASSERT_EQ(editor.started(), 0);

  QVEEngTextWriter second;
  EXPECT_EQ(second.Create(work), static_cast<uint32_t>(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(second.Abandon(), 0u);
  EXPECT_EQ(CQVERcpUtil::InsertSubGroup(group.c_str(), {"B"}), static_cast<uint32_t>(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(ReadFile(work), half);  // the live editor's copy is never touched
  EXPECT_EQ(ReadFile(file), "STARTSUB,A\r\nENDSUB,A\r\n");

  editor.Kill();
  ASSERT_EQ(CQVERcpUtil::InsertSubGroup(group.c_str(), {"B"}), 0u);
  EXPECT_EQ(ReadFile(file), "STARTSUB,B\r\nENDSUB,B\r\nSTARTSUB,A\r\nENDSUB,A\r\n");
  EXPECT_FALSE(Exists(work));
}

TEST(ShareModeTest, OpensRefuseLinksAndNonFilesWithoutWaiting) {
  qvtest::TempDir tmp;
  WriteFile(tmp / "victim.txt", "victim");
  std::filesystem::create_symlink(tmp / "victim.txt", tmp / "link.txt");
  ASSERT_EQ(mkfifo((tmp / "fifo.txt").c_str(), 0666), 0);
  qvtest::MakeDirs(tmp / "dir.txt");
  qvplatform::Env* env = qvplatform::Env::Posix();
  auto outcome = qvtest::RunInChild([&] {
    std::unique_ptr<qvplatform::ReadableFile> in;
    std::unique_ptr<qvplatform::WritableFile> out;
    HANDLE handle;
    for (const char* name : {"link.txt", "LINK.TXT", "fifo.txt"}) {
      if (env->OpenForRead(tmp / name, &in) != ERROR_CANT_ACCESS_FILE ||
          env->CreateForWrite(tmp / name, &out) != ERROR_CANT_ACCESS_FILE ||
          Open(tmp / name, kRead | kWrite, FILE_SHARE_READ, CREATE_ALWAYS, &handle) != ERROR_CANT_ACCESS_FILE ||
          Open(tmp / name, kRead, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, &handle) != ERROR_CANT_ACCESS_FILE) {
        return 1u;
      }
    }
    return env->OpenForRead(tmp / "dir.txt", &in) == ERROR_ACCESS_DENIED &&
                   env->CreateForWrite(tmp / "dir.txt", &out) != 0
               ? 0u
               : 2u;
  });
  ASSERT_TRUE(outcome.finished);
  EXPECT_EQ(outcome.rc, 0u);
  EXPECT_EQ(ReadFile(tmp / "victim.txt"), "victim");
  EXPECT_FALSE(qvplatform::IsHeld(tmp / "link.txt"));
  EXPECT_FALSE(qvplatform::IsHeld(tmp / "fifo.txt"));
}

TEST(ShareModeTest, AGuardByteThatStaysTakenRefusesInsteadOfWaiting) {
  qvtest::TempDir tmp;
  std::string recipe = tmp / "RCP0001";
  std::string lock = recipe + "/RcpLock.txt";
  WriteFile(lock, "");
  // Another process takes the short exclusive guard byte and keeps it.
  qvtest::ChildProcess squatter([&] {
    int fd = open(lock.c_str(), O_RDWR);
    struct flock fl = {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0x7FFFFFFF00000000LL;
    fl.l_len = 1;
    return fd >= 0 ? fcntl(fd, F_OFD_SETLK, &fl) : -1;
  });
  ASSERT_EQ(squatter.started(), 0);
  auto locked = qvtest::RunInChild([&] {
    CQVERcpLock recipeLock;
    return recipeLock.LockRecipe("R", 0, 0, recipe.c_str(), 0, nullptr, nullptr);
  });
  ASSERT_TRUE(locked.finished);
  EXPECT_EQ(locked.rc, QVERCP_ERR_LOCKED);
  squatter.Kill();
  CQVERcpLock recipeLock;
  EXPECT_EQ(recipeLock.LockRecipe("R", 0, 0, recipe.c_str(), 0, nullptr, nullptr), 0u);
}

}  // namespace
