// Editing locks: the lock holder keeps the lock file open for writing while
// sharing reading only, so that every other writer fails to open it and can
// read from its text who claims to hold it. The text is whatever
// was written there, so a refusal shows it as the file's claim, escaped.

#include "LibQVBRcpEpa.h"
#include "LibQVBRcpEpa/Failure.h"
#include "LibQVBRcpEpa/Printable.h"
#include "RcpLockText.h"
#include "RcpStorePath.h"
#include "LibQVCCommon/QVCError.h"
#include "LibQVCCommon/QVCEvent.h"
#include "LibQVCCommon/QVCMessage.h"
#include "libqvecommon/QVEEngFile.h"
#include "libqvecommon/QVEEngMsgBuf.h"
#include "libqvecommon/QVEEngPath.h"
#include "platform/Env.h"
#include "platform/FileApi.h"
#include "platform/ShareMode.h"

namespace {

constexpr char kSource[] = "RcpLock";
constexpr uint16_t kMsgPublic = 8209;
constexpr uint16_t kMsgInternal = 9168;
constexpr char kProjectLockFile[] = "RcpPjtLock.txt";
constexpr char kRecipeLockFile[] = "RcpLock.txt";
constexpr int kKindNone = 0;
constexpr int kKindProject = 1;
constexpr int kKindRecipe = 2;

enum class LockEvent { kLock = 0, kUnlock = 1 };

void PutLockEventLog(LockEvent operation, int kind, const char* first, const char* second) {
  const char* a = first != nullptr ? first : "";
  const char* b = second != nullptr ? second : "";
  CString body = kind == kKindProject  ? QVFormat("Project(%s)", a)
                 : kind == kKindRecipe ? QVFormat("RCP(%s, %s)", a, b)
                                       : QVFormat("??[%s, %s)", a, b);
  CString text = (operation == LockEvent::kLock ? "Lock " : "Unlock ") + body;
  _QVCPutEventLog(a, kSource, __LINE__, 0, text.c_str());
}

// The message goes to the buffer first, then to the box, as the flags ask.
void Report(unsigned flags, const CString& message, unsigned icon, CString* out) {
  if ((flags & QVERCP_REPORT_MSGBUF) != 0) QVEEngPutMsgBuf(("ERR:" + message).c_str());
  if ((flags & QVERCP_REPORT_MSGBOX) != 0) AfxMessageBox(message.c_str(), MB_OK | icon, 0);
  if (out != nullptr) *out = message;
}

// The hold on the open file is the lock; the text only tells others who holds
// it. A text that cannot be written (a full disk) leaves the file empty and
// the lock taken, so that a user can still delete to free space.
void WriteLockFile(HANDLE handle, const char* label) {
  std::string text = rcplock::TextOf(rcplock::Own(label));
  DWORD written = 0;
  if (WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size()) {
    return;
  }
  uint32_t rc = GetLastError();
  if (rc == 0) rc = ERROR_DISK_FULL;  // a short write with no reason of its own
  SetFilePointer(handle, 0, nullptr, FILE_BEGIN);
  SetEndOfFile(handle);
  _QVCSetError(kMsgPublic, kSource, __LINE__, rc, "WriteLockFile: the lock is held without its holder's name");
}

// Reads another holder's text: at most what the limit allows, so that no
// content can overrun it. A file that cannot be read names an unknown station.
rcplock::Holder ReadLockFile(const CString& path) {
  HANDLE handle = INVALID_HANDLE_VALUE;
  if (QVEEngCreateFile(path.c_str(), FILE_GENERIC_READ_ACCESS, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr, &handle, 0) != 0) {
    rcplock::Holder unknown;
    unknown.station = "Unknown";
    return unknown;
  }
  char text[rcplock::kTextLimit] = {};
  DWORD got = 0;
  if (!ReadFile(handle, text, sizeof text, &got, nullptr)) got = 0;
  QVEEngCloseFile(handle, 0);
  return rcplock::HolderOf(std::string_view(text, got < sizeof text ? got : sizeof text));
}

bool IsFile(const CString& path) {
  qvplatform::FileStat st;
  return qvplatform::CurrentEnv()->StatEntry(path, &st) == 0 && st.type == qvplatform::EntryType::kFile;
}

// Why the lock file could not be taken: a hold of another process, which the
// file's text names; or, when no process holds it and this user may not
// open it, a stale file (another user's, left 0600).
CString Refusal(const char* name, const CString& path, uint32_t openFailure, const rcplock::Holder& holder) {
  if (openFailure == ERROR_ACCESS_DENIED && !qvplatform::IsHeld(path)) {
    return QVFormat("%s: no process holds its lock, but the stale lock file cannot be taken (%s).",
                    rcpstore::Printable(name).c_str(), rcpstore::CodeMeaning(openFailure).c_str());
  }
  return rcplock::Refusal(name, holder);
}

uint32_t LockByFile(const char* name, unsigned flags, CString* holder, HANDLE* handle, const CString& path, int kind,
                    CString* message) {
  if (holder != nullptr) holder->clear();
  if (name == nullptr) {
    _QVCSetError(kMsgInternal, kSource, __LINE__, QVC_ERR_CANNOT_EXECUTE, "__LockByFile");
    return QVC_ERR_CANNOT_EXECUTE;
  }
  uint32_t opened = QVEEngCreateFile(path.c_str(), FILE_GENERIC_WRITE_ACCESS, FILE_SHARE_READ, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr, handle, 0);
  if (opened == 0) {
    WriteLockFile(*handle, name);
    PutLockEventLog(LockEvent::kLock, kind, name, "");
    return 0;
  }
  *handle = INVALID_HANDLE_VALUE;
  // Only another open of the lock file, or a lock file of another user's that
  // this user may not open (held, or stale), means another holder; any other
  // failure (a read-only file system, a full disk, no right) is told as it is.
  if (opened != ERROR_SHARING_VIOLATION && !(opened == ERROR_ACCESS_DENIED && IsFile(path))) {
    Report(flags, QVFormat("%s cannot be locked: %s", name, rcpstore::CodeMeaning(opened).c_str()), MB_ICONERROR,
           message);
    _QVCSetError(kMsgPublic, kSource, __LINE__, opened, "__LockByFile");
    return opened;
  }
  rcplock::Holder claimed = ReadLockFile(path);
  if (holder != nullptr) *holder = claimed.station;
  Report(flags, Refusal(name, path, opened, claimed), MB_ICONWARNING, message);
  _QVCSetError(kMsgInternal, kSource, __LINE__, QVERCP_ERR_LOCKED, "__LockByFile");
  return QVERCP_ERR_LOCKED;
}

uint32_t UnlockFile(HANDLE handle, int kind, const CString& project, const CString& recipe) {
  if (handle == INVALID_HANDLE_VALUE) {
    _QVCSetError(kMsgInternal, kSource, __LINE__, QVERCP_ERR_NOT_LOCKED, "__UnlockFile");
    return QVERCP_ERR_NOT_LOCKED;
  }
  SetFilePointer(handle, 0, nullptr, FILE_BEGIN);
  SetEndOfFile(handle);
  QVEEngCloseFile(handle, 1);
  PutLockEventLog(LockEvent::kUnlock, kind, project.c_str(), recipe.c_str());
  return 0;
}

uint32_t AlreadyLocked(const char* operation, CString* message) {
  _QVCSetError(kMsgPublic, kSource, __LINE__, QVERCP_ERR_ALREADY_LOCKED, operation);
  if (message != nullptr) *message = "Already Locked";
  return QVERCP_ERR_ALREADY_LOCKED;
}

}  // namespace

CQVERcpLock::CQVERcpLock() : m_hLockFile(INVALID_HANDLE_VALUE), m_nLockKind(kKindNone) {}

CQVERcpLock::~CQVERcpLock() {
  if (m_hLockFile != INVALID_HANDLE_VALUE) Unlock();
}

// A look-up that yields no path never counts as a lock: it fails with the
// look-up's code, or 0x2000010a when the look-up itself reported success.
uint32_t CQVERcpLock::LockProject(const char* projectName, unsigned flags, CString* message, CString* holder) {
  if (m_hLockFile != INVALID_HANDLE_VALUE) return AlreadyLocked("CQVERcpLock::LockProject", message);
  const char* name = projectName != nullptr ? projectName : "";
  _QVERcpProjectInfo info{};
  uint32_t lookup = CQVERcpUtil::GetProjectInfo(name, &info);
  if (info.strPath.empty()) {
    uint32_t rc = lookup != 0 ? lookup : QVC_ERR_CANNOT_EXECUTE;
    CString text = QVFormat(QVCLoadString(QVC_MSG_PROJECT_NOT_FOUND).c_str(), rc) +
                   QVFormat("(Project:%s)", rcpstore::Printable(name).c_str());
    Report(flags, text, MB_ICONERROR, message);
    _QVCSetError(kMsgPublic, kSource, __LINE__, rc, "CQVERcpLock::LockProject");
    return rc;
  }
  return LockProjectDirectory(projectName, info.strPath.c_str(), flags, message, holder);
}

uint32_t CQVERcpLock::LockProjectDirectory(const char* projectName, const char* projectDirectory, unsigned flags,
                                           CString* message, CString* holder) {
  if (m_hLockFile != INVALID_HANDLE_VALUE) return AlreadyLocked("CQVERcpLock::LockProject", message);
  m_strLockFile = projectDirectory != nullptr ? projectDirectory : "";
  QVEEngCatPath(m_strLockFile, kProjectLockFile);
  uint32_t rc = LockByFile(projectName, flags, holder, &m_hLockFile, m_strLockFile, kKindProject, message);
  if (rc == 0) {
    m_nLockKind = kKindProject;
    m_strProject = projectName;
    m_strRecipeDir.clear();
  }
  return rc;
}

uint32_t CQVERcpLock::LockRecipe(const char* name, unsigned /*unused1*/, unsigned /*unused2*/,
                                 const char* recipeDirectory, unsigned flags, CString* message, CString* holder) {
  if (uint32_t rc = rcppath::Check(recipeDirectory, kRecipeLockFile)) return rc;
  if (m_hLockFile != INVALID_HANDLE_VALUE) return AlreadyLocked("CQVERcpLock::LockRecipe", message);
  m_strLockFile = recipeDirectory != nullptr ? recipeDirectory : "";
  QVEEngCatPath(m_strLockFile, kRecipeLockFile);
  uint32_t rc = LockByFile(name, flags, holder, &m_hLockFile, m_strLockFile, kKindRecipe, message);
  if (rc == 0) {
    m_nLockKind = kKindRecipe;
    m_strProject.clear();
    m_strRecipeDir = recipeDirectory != nullptr ? recipeDirectory : "";
  }
  return rc;
}

uint32_t CQVERcpLock::Unlock() {
  uint32_t rc = UnlockFile(m_hLockFile, m_nLockKind, m_strProject, m_strRecipeDir);
  if (rc == 0) {
    m_hLockFile = INVALID_HANDLE_VALUE;
    m_nLockKind = kKindNone;
    m_strProject.clear();
    m_strRecipeDir.clear();
  }
  return rc;
}
