// The text line reader, over bytes served in read sizes the input chooses,
// against a plain model: CR LF becomes LF; pieces hold at most size-1
// bytes and end at the first line feed; together they are the whole text.
#include <algorithm>
#include <memory>

#include "FuzzSupport.h"
#include "libqvecommon/QVEEngText.h"
#include "platform/Env.h"
#include "platform/Win32Types.h"

namespace {

using qvfuzz::Require;

constexpr char kPath[] = "/fuzz/input.txt";

// Serves the input's bytes, in reads no longer than the chosen step.
class BytesFile : public qvplatform::ReadableFile {
 public:
  BytesFile(const uint8_t* data, size_t size, size_t step) : data_(data), size_(size), step_(step) {}
  uint32_t Read(char* buf, size_t n, size_t* got) override {
    *got = std::min({n, step_, size_ - pos_});
    std::copy(data_ + pos_, data_ + pos_ + *got, buf);
    pos_ += *got;
    return 0;
  }
  uint32_t Size(uint64_t* size) override {
    *size = size_;
    return 0;
  }
  uint32_t Skip(uint64_t n) override {
    pos_ += std::min<uint64_t>(n, size_ - pos_);
    return 0;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t step_;
  size_t pos_ = 0;
};

class BytesEnv : public qvplatform::EnvWrapper {
 public:
  BytesEnv(const uint8_t* data, size_t size, size_t step)
      : EnvWrapper(qvplatform::Env::Posix()), data_(data), size_(size), step_(step) {}
  uint32_t OpenForRead(const std::string& path, std::unique_ptr<qvplatform::ReadableFile>* out) override {
    if (path != kPath) return ERROR_FILE_NOT_FOUND;
    *out = std::make_unique<BytesFile>(data_, size_, step_);
    return 0;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t step_;
};

std::string WithoutCrBeforeLf(const uint8_t* data, size_t size) {
  std::string text;
  text.reserve(size);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == '\r' && i + 1 < size && data[i + 1] == '\n') continue;
    text += static_cast<char>(data[i]);
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qvfuzz::Input input(data, size);
  const uint8_t sizeChoice = input.Byte();
  // The store's own buffer most of the time, small ones to reach the edges.
  const size_t bufferSize = sizeChoice < 128 ? 1024 : 2 + sizeChoice % 16;
  const size_t step = 1 + input.Byte() % 64 * (input.Byte() % 8 == 0 ? 1024 : 1);
  BytesEnv env(input.rest(), input.restSize(), step);
  qvplatform::ScopedEnv scoped(&env);

  QVEEngTextReader reader;
  Require(reader.Open(kPath) == 0, "open failed");
  const std::string expected = WithoutCrBeforeLf(input.rest(), input.restSize());
  std::string read;
  std::unique_ptr<char[]> buffer(new char[bufferSize + 1]);
  buffer[bufferSize] = 'G';  // a guard just past the buffer the reader is given
  while (size_t n = reader.Gets(buffer.get(), bufferSize)) {
    Require(n <= bufferSize - 1, "a piece overruns the buffer");
    Require(buffer[n] == 0, "a piece is not terminated");
    const std::string piece(buffer.get(), n);
    const size_t feed = piece.find('\n');
    Require(feed == std::string::npos || feed == n - 1, "a piece goes past a line feed");
    read += piece;
    Require(expected.compare(0, read.size(), read) == 0, "the pieces differ from the text");
    if (feed == std::string::npos && read.size() < expected.size()) {
      Require(n == bufferSize - 1, "a piece ends early");
    }
  }
  Require(buffer[bufferSize] == 'G', "the reader wrote past its buffer");
  Require(reader.Error() == 0, "a read failed");
  Require(read == expected, "the pieces do not make the whole text");
  return 0;
}
