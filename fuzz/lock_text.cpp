// The lock-file text another station left: the file is held the way a
// locking station holds it (open for writing, denying writers) and holds
// the input; a lock attempt must be refused and report a bounded holder.
#include "FuzzSupport.h"
#include "LibQVBRcpEpa.h"
#include "libqvecommon/QVEEngFile.h"
#include "platform/FileApi.h"

namespace {

using qvfuzz::Require;

constexpr size_t kHolderLimit = 255;
// Each byte of the station, user (64) and label (64) may be shown as \xNN.
constexpr size_t kMessageLimit = 4 * (kHolderLimit + 64 + 64) + 128;

struct Held {
  std::string recipe;
  HANDLE handle = INVALID_HANDLE_VALUE;
};

const Held& HeldLockFile() {
  static const Held held = [] {
    Held h{qvfuzz::ScratchDir() + "/P/Recipe/RG01/RCP0001"};
    qvfuzz::MakeDirs(h.recipe);
    Require(QVEEngCreateFile((h.recipe + "/RcpLock.txt").c_str(), FILE_GENERIC_WRITE_ACCESS, FILE_SHARE_READ,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr, &h.handle, 0) == 0,
            "holding the lock file failed");
    return h;
  }();
  return held;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Held& held = HeldLockFile();
  SetFilePointer(held.handle, 0, nullptr, FILE_BEGIN);
  Require(SetEndOfFile(held.handle), "emptying the lock file failed");
  DWORD written = 0;
  Require(WriteFile(held.handle, data, static_cast<DWORD>(size), &written, nullptr) && written == size,
          "writing the lock file failed");

  CQVERcpLock lock;
  CString message;
  CString holder = "stale";
  uint32_t rc = lock.LockRecipe("R", 0, 0, held.recipe.c_str(), 0, &message, &holder);
  Require(rc == QVERCP_ERR_LOCKED, "a held lock was not refused");
  Require(holder.size() <= kHolderLimit, "the holder text is not bounded");
  Require(holder.find_first_of(CString(" \t\r\n\0", 5)) == CString::npos, "the holder text holds blanks");
  Require(message.size() <= kMessageLimit, "the message is not bounded");
  return 0;
}
