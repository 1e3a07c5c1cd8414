// Real files in a temporary directory, a station of the test's own, and the
// failure records the code under test leaves.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "LibQVBRcpEpa.h"
#include "LibQVBRcpEpa/Failure.h"
#include "LibQVCCommon/QVCError.h"

namespace qvtest {

// A fresh directory, removed with everything below it afterwards; the station
// directory points into it for the test's lifetime.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

 private:
  std::string path_;
};

void MakeDirs(const std::string& path);
// Makes the station directory (a station is never made on first use) and
// points this process at it.
void UseStation(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);
std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);

// The result code of a change through the store's API, which throws its
// failure: 0 when it succeeded.
inline uint32_t CodeOf(const std::function<void()>& change) {
  try {
    change();
    return 0;
  } catch (const rcpstore::Failure& failure) {
    return failure.code;
  }
}

// A project's registration: its directory, checked, with a comment.
inline _QVERcpProjectInfo ProjectInfo(const std::string& path, const std::string& comment = "") {
  _QVERcpProjectInfo info{};
  info.strPath = path;
  info.nStatus = 1;
  info.strComment = comment;
  return info;
}

// A small tmpfs of its own, for a real full or read-only disk; tests skip
// where mounting is not permitted.
class TinyDisk {
 public:
  TinyDisk(const std::string& where, const char* size);
  ~TinyDisk();
  TinyDisk(const TinyDisk&) = delete;
  TinyDisk& operator=(const TinyDisk&) = delete;
  bool mounted() const { return mounted_; }
  bool MakeReadOnly();
  // Fills the disk with one file until no byte more fits.
  void Fill();

 private:
  std::string path_;
  bool mounted_ = false;
};

// Collects the failure records written while it lives.
class ErrorCapture {
 public:
  ErrorCapture();
  ~ErrorCapture();
  const std::vector<QVCErrorRecord>& records() const { return records_; }
  size_t Count(uint32_t code, const std::string& text) const;

 private:
  std::vector<QVCErrorRecord> records_;
  QVCErrorObserver previous_;
};

// The sub-group file of the worked example: SubA holding RCP0001 and SubB
// (which holds RCP0002), then an empty SubC.
extern const char kSubGroupExample[];

// The children of a node: "name[children]" for groups and sub-groups, the
// name alone for other nodes.
std::string Shape(const CQVERcpDirInfo& node);

// Text with LF line ends, as it stands on disk with CR LF.
std::string Crlf(const std::string& text);

// Names another user as the one who made every version of the recipe's
// history so far, so that a test running as one user may sign them.
void MakeVersionsOf(const std::string& recipeDirectory, const std::string& user);

}  // namespace qvtest
