#include "FuzzSupport.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/StationDir.h"

namespace qvfuzz {

namespace fs = std::filesystem;

namespace {

class Scratch {
 public:
  Scratch() {
    std::string pattern = (fs::temp_directory_path() / "qvfuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) Require(false, "mkdtemp failed");
    path_ = pattern;
    // A station is never made on first use.
    fs::create_directory(path_ + "/.station");
    qvplatform::SetStationDirectory(path_ + "/.station");
  }
  ~Scratch() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace

const std::string& ScratchDir() {
  static Scratch scratch;
  return scratch.path();
}

void MakeDirs(const std::string& path) { fs::create_directories(path); }

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

void WriteFile(const std::string& path, const std::string& content) {
  WriteFile(path, reinterpret_cast<const uint8_t*>(content.data()), content.size());
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool Exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

void Require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "property failed: %s\n", what);
  std::abort();
}

namespace {

std::string Escaped(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02x", c);
    out += c >= 0x20 && c < 0x7F && c != '\\' ? std::string(1, static_cast<char>(c)) : std::string(hex);
    if (c == '\n') out += '\n';
  }
  return out;
}

}  // namespace

void RequireSame(const std::string& actual, const std::string& expected, const char* what) {
  if (actual == expected) return;
  std::fprintf(stderr, "actual:\n%s\nexpected:\n%s\n", Escaped(actual).c_str(), Escaped(expected).c_str());
  Require(false, what);
}

std::string Input::ShortString() {
  size_t n = Byte() % 32;
  if (n > size_) n = size_;
  std::string text(reinterpret_cast<const char*>(data_), n);
  data_ += n;
  size_ -= n;
  return text;
}

}  // namespace qvfuzz
