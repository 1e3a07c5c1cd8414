// Every file-system call of the service layer goes through an Env, so that
// tests can inject faults and the logic above never touches the OS directly.
// Results are the platform's error codes (0 = success).
//
// Paths are matched as the original platform matches them: the path as given
// is tried first; only when a component is missing is it looked up without
// regard to ASCII case in its parent directory. A new file is created under
// the name given. Names that begin with a dot are the store's own hidden
// names and are matched exactly; below a store root, so is every name below
// one, which only the store makes.
//
// The project directory is shared, so anything in it may be hostile. No call
// follows a link at the last component of a path, and walks below a directory
// work relative to the opened directory, so a link inside a store is never
// entered. Where a regular file belongs, a link, FIFO, device or socket fails
// with ERROR_CANT_ACCESS_FILE (1920) and a directory with ERROR_ACCESS_DENIED.
// The components leading to the path are the caller's and are followed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Win32Types.h"

namespace qvplatform {

// A link is kOther, never the type of what it points to.
enum class EntryType { kFile, kDirectory, kOther };

struct DirEntry {
  std::string name;
  EntryType type = EntryType::kOther;
};

// What a directory is, whatever its name: its device and inode.
struct DirectoryId {
  uint64_t dev = 0;
  uint64_t ino = 0;
  bool operator==(const DirectoryId&) const = default;
};

struct FileStat {
  EntryType type = EntryType::kOther;
  int64_t size = 0;
  int64_t mtime = 0;  // calendar seconds
  bool readOnly = false;
  uint64_t device = 0;  // with inode, what the entry is whatever path names it
  uint64_t inode = 0;
};

class ReadableFile {
 public:
  virtual ~ReadableFile() = default;
  // Reads up to n bytes; *got = 0 at the end of the file.
  virtual uint32_t Read(char* buf, size_t n, size_t* got) = 0;
  // The file's size when it was opened, so that a reader can refuse a file
  // before reading it (a reader checks for bytes beyond it at the end).
  virtual uint32_t Size(uint64_t* size) = 0;
  // Moves n bytes forward without reading them (a tail read).
  virtual uint32_t Skip(uint64_t n) = 0;
};

class WritableFile {
 public:
  virtual ~WritableFile() = default;  // closes without syncing
  virtual uint32_t Append(const char* data, size_t n) = 0;
  // Appends n zero bytes as a hole: no disk is taken for them where the file
  // system keeps holes.
  virtual uint32_t AppendHole(size_t n) = 0;
  virtual uint32_t Sync() = 0;
  virtual uint32_t Close() = 0;
};

// A directory opened once; every name is looked up in it, never through a
// link.
class Directory {
 public:
  virtual ~Directory() = default;
  // Reads the entries once, with the types of the entries themselves.
  virtual uint32_t Read(std::vector<DirEntry>* out) = 0;
  // Opens an entry that is a directory (a link fails, see above).
  virtual uint32_t OpenDirectory(const std::string& name, std::unique_ptr<Directory>* out) = 0;
  // Removes an entry: a file, link or other entry, or an empty directory.
  virtual uint32_t Remove(const std::string& name, bool directory) = 0;
  virtual uint32_t Identity(DirectoryId* id) = 0;
};

class Env {
 public:
  virtual ~Env() = default;

  // Opens a regular file for reading; never waits on a FIFO.
  virtual uint32_t OpenForRead(const std::string& path, std::unique_ptr<ReadableFile>* out) = 0;
  // Opens a regular file for writing and empties it, creating it when missing.
  virtual uint32_t CreateForWrite(const std::string& path, std::unique_ptr<WritableFile>* out) = 0;
  // Opens an existing regular file for writing at its end; every write
  // lands at the end, whatever another writer added.
  virtual uint32_t OpenForAppend(const std::string& path, std::unique_ptr<WritableFile>* out) = 0;
  // Creates a regular file that must not exist yet (ERROR_ALREADY_EXISTS,
  // also for a link there) and opens it for writing.
  virtual uint32_t CreateNew(const std::string& path, std::unique_ptr<WritableFile>* out) = 0;
  // Renames in one step, replacing an existing target (a link at either name
  // is renamed or replaced itself).
  virtual uint32_t Rename(const std::string& from, const std::string& to) = 0;
  virtual uint32_t RemoveFile(const std::string& path) = 0;
  virtual uint32_t RemoveDirectory(const std::string& path) = 0;
  virtual uint32_t MakeDirectory(const std::string& path) = 0;
  // Makes a directory under exactly this name, without looking for one that
  // differs in case: for builds whose names are unique already, where the
  // look-up would cost a read of the parent per entry.
  virtual uint32_t MakeNewDirectory(const std::string& path) = 0;
  // Flushes a directory's entries (after a rename in it).
  virtual uint32_t SyncDirectory(const std::string& path) = 0;
  // Reads a directory once (not through a link at the path); entry types
  // come from the directory itself.
  virtual uint32_t ReadDirectory(const std::string& path, std::vector<DirEntry>* out) = 0;
  // Follows a link at the last component (for paths that users give).
  virtual uint32_t Stat(const std::string& path, FileStat* out) = 0;
  // The entry itself: a link is kOther.
  virtual uint32_t StatEntry(const std::string& path, FileStat* out) = 0;
  // Opens a directory that the path names itself (not a link to one).
  virtual uint32_t OpenDirectory(const std::string& path, std::unique_ptr<Directory>* out) = 0;
  // The path under which an existing file is found (the path itself when it
  // exists as given, or when nothing matches).
  virtual std::string Resolve(const std::string& path) = 0;
  // Renames in one step only when nothing exists under the target name
  // (ERROR_ALREADY_EXISTS otherwise); never replaces, not even an empty
  // directory.
  virtual uint32_t RenameNoReplace(const std::string& from, const std::string& to) = 0;

  // The share-mode opens (see ShareMode.h), here so that a test Env can fail
  // lock files, holds and work copies like any other write.
  virtual uint32_t ShareOpen(const std::string& path, uint32_t access, uint32_t shareMode, uint32_t disposition,
                             uint32_t flags, HANDLE* handle) = 0;
  virtual uint32_t ShareCreateHeld(const std::string& path, HANDLE* handle) = 0;
  virtual uint32_t RemoveUnheld(const std::string& path) = 0;

  // The operating system's file system.
  static Env* Posix();
};

// The Env that the service layer uses; the operating system's by default.
Env* CurrentEnv();
// Replaces it (tests); nullptr restores the default. Returns the previous one.
Env* SetCurrentEnv(Env* env);

// Forwards every call; fault-injecting test Envs derive from it.
class EnvWrapper : public Env {
 public:
  explicit EnvWrapper(Env* target) : target_(target) {}
  uint32_t OpenForRead(const std::string& p, std::unique_ptr<ReadableFile>* o) override {
    return target_->OpenForRead(p, o);
  }
  uint32_t CreateForWrite(const std::string& p, std::unique_ptr<WritableFile>* o) override {
    return target_->CreateForWrite(p, o);
  }
  uint32_t OpenForAppend(const std::string& p, std::unique_ptr<WritableFile>* o) override {
    return target_->OpenForAppend(p, o);
  }
  uint32_t CreateNew(const std::string& p, std::unique_ptr<WritableFile>* o) override { return target_->CreateNew(p, o); }
  uint32_t Rename(const std::string& f, const std::string& t) override { return target_->Rename(f, t); }
  uint32_t RemoveFile(const std::string& p) override { return target_->RemoveFile(p); }
  uint32_t RemoveDirectory(const std::string& p) override { return target_->RemoveDirectory(p); }
  uint32_t MakeDirectory(const std::string& p) override { return target_->MakeDirectory(p); }
  uint32_t MakeNewDirectory(const std::string& p) override { return target_->MakeNewDirectory(p); }
  uint32_t SyncDirectory(const std::string& p) override { return target_->SyncDirectory(p); }
  uint32_t ReadDirectory(const std::string& p, std::vector<DirEntry>* o) override {
    return target_->ReadDirectory(p, o);
  }
  uint32_t Stat(const std::string& p, FileStat* o) override { return target_->Stat(p, o); }
  uint32_t StatEntry(const std::string& p, FileStat* o) override { return target_->StatEntry(p, o); }
  uint32_t OpenDirectory(const std::string& p, std::unique_ptr<Directory>* o) override {
    return target_->OpenDirectory(p, o);
  }
  std::string Resolve(const std::string& p) override { return target_->Resolve(p); }
  uint32_t RenameNoReplace(const std::string& f, const std::string& t) override {
    return target_->RenameNoReplace(f, t);
  }
  uint32_t ShareOpen(const std::string& p, uint32_t access, uint32_t shareMode, uint32_t disposition, uint32_t flags,
                     HANDLE* handle) override {
    return target_->ShareOpen(p, access, shareMode, disposition, flags, handle);
  }
  uint32_t ShareCreateHeld(const std::string& p, HANDLE* handle) override { return target_->ShareCreateHeld(p, handle); }
  uint32_t RemoveUnheld(const std::string& p) override { return target_->RemoveUnheld(p); }

 protected:
  Env* target() const { return target_; }

 private:
  Env* target_;
};

// Installs an Env for the lifetime of a scope.
class ScopedEnv {
 public:
  explicit ScopedEnv(Env* env) : previous_(SetCurrentEnv(env)) {}
  ~ScopedEnv() { SetCurrentEnv(previous_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  Env* previous_;
};

}  // namespace qvplatform
