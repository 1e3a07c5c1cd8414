// The object store of the history: each distinct content once, named by its
// SHA-256, written durably and never rewritten.
#include <nettle/sha2.h>
#include <strings.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "LibQVBRcpEpa/Target.h"
#include "RcpHidden.h"
#include "RcpHistory.h"
#include "libqvecommon/QVEEngText.h"
#include "libqveeda/QVEEdaFile.h"
#include "platform/Env.h"
#include "platform/Win32Types.h"

namespace rcphistory {

namespace {

using rcpstore::IsRegularFile;

bool IsDataFile(const qvplatform::DirEntry& entry) {
  const std::string& name = entry.name;
  return entry.type == qvplatform::EntryType::kFile && !rcphidden::IsTransient(name) && name.size() > 4 &&
         strcasecmp(name.c_str() + name.size() - 4, ".edf") == 0;
}

// Another writer of the same object holds its work file: it finishes soon.
bool AwaitOther(const std::string& path) {
  for (int i = 0; i < 200 && !IsRegularFile(path); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return IsRegularFile(path);
}

}  // namespace

std::string HashOf(const std::string& bytes) {
  sha256_ctx ctx;
  sha256_init(&ctx);
  sha256_update(&ctx, bytes.size(), reinterpret_cast<const uint8_t*>(bytes.data()));
  uint8_t digest[SHA256_DIGEST_SIZE];
  sha256_digest(&ctx, sizeof digest, digest);
  return Hex(std::string(reinterpret_cast<const char*>(digest), sizeof digest));
}

std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (unsigned char b : bytes) {
    text += kDigits[b >> 4];
    text += kDigits[b & 15];
  }
  return text;
}

uint32_t HashOfFile(const std::string& path, std::string* hash) {
  std::string bytes;
  if (uint32_t rc = ReadWhole(path, &bytes)) return rc;
  *hash = HashOf(bytes);
  return 0;
}

std::vector<qvplatform::DirEntry> EntriesOf(const std::string& directory, qvplatform::EntryType type) {
  std::vector<qvplatform::DirEntry> entries;
  std::vector<qvplatform::DirEntry> typed;
  if (qvplatform::CurrentEnv()->ReadDirectory(directory, &entries) != 0) return typed;
  for (qvplatform::DirEntry& entry : entries) {
    if (entry.type == type) typed.push_back(std::move(entry));
  }
  return typed;
}

uint32_t ReadWhole(const std::string& path, std::string* bytes, uint64_t limit) {
  std::unique_ptr<qvplatform::ReadableFile> file;
  if (uint32_t rc = qvplatform::CurrentEnv()->OpenForRead(path, &file)) return rc;
  uint64_t size = 0;
  if (uint32_t rc = file->Size(&size)) return rc;
  if (size > limit) return ERROR_FILE_CORRUPT;
  bytes->clear();
  bytes->reserve(size);
  char buf[65536];
  for (size_t got = 0;;) {
    if (uint32_t rc = file->Read(buf, sizeof buf, &got)) return rc;
    if (got == 0) return 0;
    if (bytes->size() + got > limit) return ERROR_FILE_CORRUPT;
    bytes->append(buf, got);
    // A short read at the size the file had when opened is its end: the
    // read that would give nothing is spared.
    if (got < sizeof buf && bytes->size() >= size) return 0;
  }
}

std::string ObjectPath(const std::string& historyDir, const std::string& hash) {
  return historyDir + "/objects/" + hash.substr(0, 2) + "/" + hash;
}

bool HasObject(const std::string& historyDir, const std::string& hash) {
  return IsRegularFile(ObjectPath(historyDir, hash));
}

uint32_t ReadObject(const std::string& historyDir, const std::string& hash, std::string* bytes) {
  if (hash.size() != 64 || hash.find_first_not_of("0123456789abcdef") != std::string::npos) {
    return ERROR_INVALID_PARAMETER;
  }
  if (uint32_t rc = ReadWhole(ObjectPath(historyDir, hash), bytes)) return rc;
  return HashOf(*bytes) == hash ? 0 : ERROR_FILE_CORRUPT;
}

// A directory made is flushed into its parent, so that what is written in
// it later survives a crash with it.
uint32_t MakeDirectories(const std::string& directory) {
  qvplatform::Env* env = qvplatform::CurrentEnv();
  size_t slash = directory.find_last_of('/');
  uint32_t rc = env->MakeDirectory(directory);
  if (rc == ERROR_ALREADY_EXISTS) return 0;
  if (rc != 0 && slash != std::string::npos &&
      directory.compare(slash + 1, std::string::npos, kHistoryName) != 0) {
    if (uint32_t up = MakeDirectories(directory.substr(0, slash))) return up;
    rc = env->MakeDirectory(directory);
    if (rc == ERROR_ALREADY_EXISTS) return 0;
  }
  if (rc != 0) return rc;
  return slash == std::string::npos ? 0 : env->SyncDirectory(directory.substr(0, slash));
}

uint32_t WriteDurably(const std::string& path, const std::string& bytes) {
  QVEEngTextWriter out;
  if (uint32_t rc = out.Create(path + ".new")) return rc;
  if (uint32_t rc = out.WriteBinary(bytes.data(), bytes.size())) return rc;
  return out.Commit(path);
}

uint32_t StoreObject(const std::string& historyDir, const std::string& bytes, std::string* hash) {
  *hash = HashOf(bytes);
  std::string path = ObjectPath(historyDir, *hash);
  if (IsRegularFile(path)) return 0;
  std::string directory = path.substr(0, path.find_last_of('/'));
  if (uint32_t rc = MakeDirectories(directory)) return rc;
  QVEEngTextWriter out;
  uint32_t rc = out.Create(path + ".new");
  if (rc == ERROR_SHARING_VIOLATION) return AwaitOther(path) ? 0 : rc;
  if (rc == 0) rc = out.WriteBinary(bytes.data(), bytes.size());
  if (rc == 0) rc = out.Commit(path);
  return rc;
}

uint32_t CurrentFiles(const std::string& recipeDirectory, std::map<std::string, std::string>* files,
                      std::map<std::string, std::string>* contents) {
  files->clear();
  std::vector<qvplatform::DirEntry> entries;
  uint32_t rc = qvplatform::CurrentEnv()->ReadDirectory(recipeDirectory, &entries);
  if (rc == ERROR_FILE_NOT_FOUND || rc == ERROR_PATH_NOT_FOUND) return 0;
  if (rc != 0) return rc;
  for (const qvplatform::DirEntry& entry : entries) {
    if (!IsDataFile(entry)) continue;
    std::string bytes;
    if (uint32_t read = ReadWhole(recipeDirectory + "/" + entry.name, &bytes)) return read;
    std::string hash = HashOf(bytes);
    (*files)[entry.name] = hash;
    if (contents != nullptr) (*contents)[hash] = std::move(bytes);
  }
  return 0;
}

}  // namespace rcphistory
