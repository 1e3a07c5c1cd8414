// What the fuzz targets share: a scratch directory of the process with a
// station of its own, and whole-file reads and writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qvfuzz {

// A fresh directory under $TMPDIR for this process's files, removed at exit;
// the station directory points into it.
const std::string& ScratchDir();

void MakeDirs(const std::string& path);
void WriteFile(const std::string& path, const uint8_t* data, size_t size);
void WriteFile(const std::string& path, const std::string& content);
std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);

// Aborts with the message when a property of the code under test fails, so
// that libFuzzer keeps the input.
void Require(bool condition, const char* what);
// The same for two texts that must be equal; both are shown when they differ.
void RequireSame(const std::string& actual, const std::string& expected, const char* what);

// Consumes the input's first bytes as small numbers and short strings.
class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t Byte() { return size_ > 0 ? (--size_, *data_++) : 0; }
  // A string of up to 31 bytes, its length in the first byte.
  std::string ShortString();
  const uint8_t* rest() const { return data_; }
  size_t restSize() const { return size_; }

 private:
  const uint8_t* data_;
  size_t size_;
};

}  // namespace qvfuzz
