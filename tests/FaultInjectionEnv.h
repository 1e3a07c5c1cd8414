// An Env that fails the n-th write-path call of any operation, for the
// fault-injection harness.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Env.h"
#include "platform/Win32Types.h"

namespace qvtest {

// The write-path calls of the Env seam.
enum class Call { kOpenForWrite, kAppend, kSync, kClose, kRename, kSyncDirectory, kRemove, kMakeDirectory, kShareOpen };

inline const char* CallName(Call call) {
  constexpr const char* kNames[] = {"open-for-write", "append", "sync",           "close",     "rename",
                                    "directory-sync", "remove", "make-directory", "share-open"};
  return kNames[static_cast<int>(call)];
}

// Fails the n-th write-path call (counting from 1) with the given code and
// lets every other call through. It keeps the call it failed, so that a
// harness can name the site, and tells when an operation never got that far.
class NthCallFaultEnv : public qvplatform::EnvWrapper {
 public:
  struct Site {
    Call call;
    std::string path;
  };

  NthCallFaultEnv(int failAt, uint32_t code) : EnvWrapper(qvplatform::Env::Posix()), failAt_(failAt), code_(code) {}

  int calls() const { return calls_; }
  const std::optional<Site>& failed() const { return failed_; }

  uint32_t CreateForWrite(const std::string& p, std::unique_ptr<qvplatform::WritableFile>* out) override {
    return OpenCounted(p, out, [&](std::unique_ptr<qvplatform::WritableFile>* real) {
      return target()->CreateForWrite(p, real);
    });
  }
  uint32_t OpenForAppend(const std::string& p, std::unique_ptr<qvplatform::WritableFile>* out) override {
    return OpenCounted(p, out, [&](std::unique_ptr<qvplatform::WritableFile>* real) {
      return target()->OpenForAppend(p, real);
    });
  }
  uint32_t Rename(const std::string& f, const std::string& t) override {
    return Checked(Call::kRename, f, [&] { return target()->Rename(f, t); });
  }
  uint32_t RenameNoReplace(const std::string& f, const std::string& t) override {
    return Checked(Call::kRename, f, [&] { return target()->RenameNoReplace(f, t); });
  }
  uint32_t OpenDirectory(const std::string& p, std::unique_ptr<qvplatform::Directory>* out) override {
    return CountedDirectory::Open(this, p, [&](std::unique_ptr<qvplatform::Directory>* real) {
      return target()->OpenDirectory(p, real);
    }, out);
  }
  uint32_t RemoveFile(const std::string& p) override {
    return Checked(Call::kRemove, p, [&] { return target()->RemoveFile(p); });
  }
  uint32_t RemoveDirectory(const std::string& p) override {
    return Checked(Call::kRemove, p, [&] { return target()->RemoveDirectory(p); });
  }
  uint32_t MakeDirectory(const std::string& p) override {
    return Checked(Call::kMakeDirectory, p, [&] { return target()->MakeDirectory(p); });
  }
  uint32_t SyncDirectory(const std::string& p) override {
    return Checked(Call::kSyncDirectory, p, [&] { return target()->SyncDirectory(p); });
  }
  uint32_t ShareOpen(const std::string& p, uint32_t access, uint32_t shareMode, uint32_t disposition, uint32_t flags,
                     HANDLE* handle) override {
    return Checked(Call::kShareOpen, p, [&] { return target()->ShareOpen(p, access, shareMode, disposition, flags, handle); });
  }
  uint32_t ShareCreateHeld(const std::string& p, HANDLE* handle) override {
    return Checked(Call::kShareOpen, p, [&] { return target()->ShareCreateHeld(p, handle); });
  }
  uint32_t RemoveUnheld(const std::string& p) override {
    return Checked(Call::kRemove, p, [&] { return target()->RemoveUnheld(p); });
  }

 private:
  // The injected code when this call is the n-th, else 0.
  uint32_t Count(Call call, const std::string& path) {
    if (++calls_ != failAt_) return 0;
    failed_ = Site{call, path};
    return code_;
  }
  // An open for writing counts as one call; what it opens counts each write.
  template <typename Open>
  uint32_t OpenCounted(const std::string& path, std::unique_ptr<qvplatform::WritableFile>* out, Open open) {
    if (uint32_t rc = Count(Call::kOpenForWrite, path)) return rc;
    std::unique_ptr<qvplatform::WritableFile> real;
    uint32_t rc = open(&real);
    if (rc == 0) *out = std::make_unique<CountedWritable>(std::move(real), this, path);
    return rc;
  }
  template <typename Op>
  uint32_t Checked(Call call, const std::string& path, Op op) {
    uint32_t rc = Count(call, path);
    return rc != 0 ? rc : op();
  }

  struct CountedWritable : qvplatform::WritableFile {
    CountedWritable(std::unique_ptr<qvplatform::WritableFile> f, NthCallFaultEnv* e, std::string p)
        : real(std::move(f)), env(e), path(std::move(p)) {}
    uint32_t Append(const char* d, size_t n) override {
      return env->Checked(Call::kAppend, path, [&] { return real->Append(d, n); });
    }
    uint32_t AppendHole(size_t n) override {
      return env->Checked(Call::kAppend, path, [&] { return real->AppendHole(n); });
    }
    uint32_t Sync() override {
      return env->Checked(Call::kSync, path, [&] { return real->Sync(); });
    }
    uint32_t Close() override {
      return env->Checked(Call::kClose, path, [&] { return real->Close(); });
    }
    std::unique_ptr<qvplatform::WritableFile> real;
    NthCallFaultEnv* env;
    std::string path;
  };

  // A directory whose removals count, and whose sub-directories too.
  struct CountedDirectory : qvplatform::Directory {
    CountedDirectory(std::unique_ptr<qvplatform::Directory> d, NthCallFaultEnv* e, std::string p)
        : real(std::move(d)), env(e), path(std::move(p)) {}
    template <typename OpenReal>
    static uint32_t Open(NthCallFaultEnv* env, const std::string& path, OpenReal openReal,
                         std::unique_ptr<qvplatform::Directory>* out) {
      std::unique_ptr<qvplatform::Directory> real;
      uint32_t rc = openReal(&real);
      if (rc == 0) *out = std::make_unique<CountedDirectory>(std::move(real), env, path);
      return rc;
    }
    uint32_t Read(std::vector<qvplatform::DirEntry>* out) override { return real->Read(out); }
    uint32_t OpenDirectory(const std::string& name, std::unique_ptr<qvplatform::Directory>* out) override {
      return Open(env, path + "/" + name, [&](std::unique_ptr<qvplatform::Directory>* d) {
        return real->OpenDirectory(name, d);
      }, out);
    }
    uint32_t Remove(const std::string& name, bool directory) override {
      return env->Checked(Call::kRemove, path + "/" + name, [&] { return real->Remove(name, directory); });
    }
    uint32_t Identity(qvplatform::DirectoryId* id) override { return real->Identity(id); }
    std::unique_ptr<qvplatform::Directory> real;
    NthCallFaultEnv* env;
    std::string path;
  };

  int failAt_;
  uint32_t code_;
  int calls_ = 0;
  std::optional<Site> failed_;
};

}  // namespace qvtest
