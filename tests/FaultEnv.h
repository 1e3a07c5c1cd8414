// An Env that fails one step of a file rewrite, for the failure-path tests.
#pragma once

#include <memory>
#include <string>

#include "platform/Env.h"
#include "platform/Win32Types.h"

namespace qvtest {

// Fails one step of a rewrite: opening the work file, writing, flushing,
// renaming, or reading the sub-group file half way.
enum class Step { kCreate, kAppend, kSync, kRename, kRead };

class FaultEnv : public qvplatform::EnvWrapper {
 public:
  explicit FaultEnv(Step step) : EnvWrapper(qvplatform::Env::Posix()), step_(step) {}

  uint32_t CreateForWrite(const std::string& p, std::unique_ptr<qvplatform::WritableFile>* out) override {
    if (step_ == Step::kCreate) return ERROR_ACCESS_DENIED;
    std::unique_ptr<qvplatform::WritableFile> real;
    uint32_t rc = target()->CreateForWrite(p, &real);
    if (rc == 0) *out = std::make_unique<FaultyWritable>(std::move(real), step_);
    return rc;
  }
  uint32_t OpenForRead(const std::string& p, std::unique_ptr<qvplatform::ReadableFile>* out) override {
    std::unique_ptr<qvplatform::ReadableFile> real;
    uint32_t rc = target()->OpenForRead(p, &real);
    if (rc == 0) *out = std::make_unique<FaultyReadable>(std::move(real), step_);
    return rc;
  }
  uint32_t Rename(const std::string& f, const std::string& t) override {
    return step_ == Step::kRename ? ERROR_ACCESS_DENIED : target()->Rename(f, t);
  }

 private:
  struct FaultyWritable : qvplatform::WritableFile {
    FaultyWritable(std::unique_ptr<qvplatform::WritableFile> f, Step s) : real(std::move(f)), step(s) {}
    uint32_t Append(const char* d, size_t n) override {
      return step == Step::kAppend ? ERROR_DISK_FULL : real->Append(d, n);
    }
    uint32_t AppendHole(size_t n) override { return step == Step::kAppend ? ERROR_DISK_FULL : real->AppendHole(n); }
    uint32_t Sync() override { return step == Step::kSync ? ERROR_GEN_FAILURE : real->Sync(); }
    uint32_t Close() override { return real->Close(); }
    std::unique_ptr<qvplatform::WritableFile> real;
    Step step;
  };
  struct FaultyReadable : qvplatform::ReadableFile {
    FaultyReadable(std::unique_ptr<qvplatform::ReadableFile> f, Step s) : real(std::move(f)), step(s) {}
    uint32_t Read(char* buf, size_t n, size_t* got) override {
      if (step == Step::kRead && reads++ > 0) return ERROR_GEN_FAILURE;
      return real->Read(buf, step == Step::kRead ? 8 : n, got);
    }
    uint32_t Size(uint64_t* size) override { return real->Size(size); }
    uint32_t Skip(uint64_t n) override { return real->Skip(n); }
    std::unique_ptr<qvplatform::ReadableFile> real;
    Step step;
    int reads = 0;
  };

  Step step_;
};

}  // namespace qvtest
