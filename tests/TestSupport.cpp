#include "TestSupport.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "LibQVBRcpEpa/Station.h"
#include "RcpHistory.h"
#include "platform/StationDir.h"

namespace qvtest {

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "qvtest-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
  UseStation(path_ + "/.station");
}

void UseStation(const std::string& path) {
  MakeDirs(path);
  qvplatform::SetStationDirectory(path);
}

TempDir::~TempDir() {
  qvplatform::SetStationDirectory("");
  std::error_code ec;
  for (auto& entry : fs::recursive_directory_iterator(path_, ec)) {
    fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(path_, ec);
}

TinyDisk::TinyDisk(const std::string& where, const char* size) : path_(where) {
  MakeDirs(path_);
  mounted_ = mount("tmpfs", path_.c_str(), "tmpfs", 0, size) == 0;
}

TinyDisk::~TinyDisk() {
  if (mounted_) umount2(path_.c_str(), MNT_DETACH);
}

bool TinyDisk::MakeReadOnly() { return mount("tmpfs", path_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0; }

void TinyDisk::Fill() {
  int fd = open((path_ + "/filler").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  const std::string block(65536, 'f');
  for (size_t size = block.size(); fd >= 0 && size > 0; size /= 2) {
    while (write(fd, block.data(), size) > 0) {
    }
  }
  if (fd >= 0) close(fd);
}

void MakeDirs(const std::string& path) { fs::create_directories(path); }

void WriteFile(const std::string& path, const std::string& content) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool Exists(const std::string& path) { return fs::exists(path); }

ErrorCapture::ErrorCapture() {
  previous_ = QVCSetErrorObserver([this](const QVCErrorRecord& r) { records_.push_back(r); });
}

ErrorCapture::~ErrorCapture() { QVCSetErrorObserver(previous_); }

size_t ErrorCapture::Count(uint32_t code, const std::string& text) const {
  size_t n = 0;
  for (const auto& r : records_) n += r.code == code && r.text == text ? 1 : 0;
  return n;
}

const char kSubGroupExample[] =
    "STARTSUB,SubA\n"
    "NODE,RCP0001\n"
    "STARTSUB,SubB\n"
    "NODE,RCP0002\n"
    "ENDSUB,SubB\n"
    "ENDSUB,SubA\n"
    "STARTSUB,SubC\n"
    "ENDSUB,SubC\n";

std::string Shape(const CQVERcpDirInfo& node) {
  std::string out;
  for (const auto& child : node.m_listChild) {
    if (!out.empty()) out += ',';
    out += child->m_strName;
    if (child->m_nKind == QVERCP_KIND_SUBGROUP || child->m_nKind == QVERCP_KIND_GROUP) {
      out += "[" + Shape(*child) + "]";
    }
  }
  return out;
}

void MakeVersionsOf(const std::string& recipeDirectory, const std::string& user) {
  const std::string log = rcphistory::LogPathOf(recipeDirectory);
  const std::string caller = "\"user\":\"" + rcpstore::CallerName() + "\"";
  std::string versions = ReadFile(log);
  for (size_t at = versions.find(caller); at != std::string::npos; at = versions.find(caller, at)) {
    versions.replace(at, caller.size(), "\"user\":\"" + user + "\"");
  }
  WriteFile(log, versions);
}

std::string Crlf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

}  // namespace qvtest
