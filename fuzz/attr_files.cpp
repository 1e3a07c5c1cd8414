// The project and group attribute files. The first byte picks the file;
// the rest is its content. Whatever is read stays within the line buffer,
// and writing it back either is refused with the file untouched or reads
// back as the same attributes.
#include "FuzzSupport.h"
#include "LibQVBRcpEpa.h"
#include "RcpKeywordFile.h"

namespace {

using qvfuzz::Require;

constexpr char kProject[] = "F";

struct Store {
  std::string project;
  std::string group;
};

const Store& TheStore() {
  static const Store store = [] {
    Store s{qvfuzz::ScratchDir() + "/" + kProject, qvfuzz::ScratchDir() + "/" + kProject + "/Recipe/RG01"};
    Require(CQVERcpUtil::CreateProject(kProject, qvfuzz::ScratchDir().c_str()) == 0, "project create failed");
    _QVERcpProjectInfo info{};
    info.strPath = s.project;
    info.nStatus = 1;
    Require(CQVERcpUtil::SetProjectInfo(kProject, &info, 0) == 0, "project register failed");
    qvfuzz::MakeDirs(s.group);
    return s;
  }();
  return store;
}

bool Bounded(const CString& value) { return value.size() < rcptext::kLineBuffer; }

void ProjectFile(const uint8_t* data, size_t size) {
  const std::string file = TheStore().project + "/Recipe/RcpPJTAttr.txt";
  qvfuzz::WriteFile(file, data, size);
  _QVERcpProjectInfo info{};
  info.nStatus = 1;
  Require(CQVERcpUtil::GetProjectInfo(kProject, &info) == 0, "reading the project failed");
  Require(info.strPath == TheStore().project, "the project's path changed");
  Require(info.nStatus == 1 || info.nStatus == 2, "a status out of range");
  Require(info.nVersionMode == 0 || info.nVersionMode == 1, "a version mode out of range");
  for (const CString* value : {&info.strComment, &info.strPjtHost, &info.strRevision, &info.strRefPjtDir}) {
    Require(Bounded(*value), "a project value longer than a line");
  }
}

void GroupFile(const uint8_t* data, size_t size) {
  const std::string file = TheStore().group + "/RcpGrAttr.txt";
  qvfuzz::WriteFile(file, data, size);
  _QVERcpGroupInfo info;
  Require(CQVERcpUtil::GetRecipeGroupInfo(TheStore().group.c_str(), &info) == 0, "reading the group failed");
  Require(info.astrServer.size() <= 2, "more than two servers");
  Require(Bounded(info.strComment), "a comment longer than a line");
  for (const CString& server : info.astrServer) Require(Bounded(server) && !server.empty(), "a bad server");

  const std::string before = qvfuzz::ReadFile(file);
  uint32_t rc = CQVERcpUtil::SetRecipeGroupInfo(TheStore().group.c_str(), &info);
  Require(!qvfuzz::Exists(file + ".new"), "a work file was left behind");
  if (rc != 0) {
    Require(rc == QVC_ERR_CANNOT_EXECUTE, "writing back failed otherwise than by refusal");
    Require(qvfuzz::ReadFile(file) == before, "a refused write changed the file");
    return;
  }
  _QVERcpGroupInfo back;
  Require(CQVERcpUtil::GetRecipeGroupInfo(TheStore().group.c_str(), &back) == 0, "reading back failed");
  Require(back.strComment == info.strComment && back.astrServer == info.astrServer, "written values read back otherwise");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  if (data[0] % 2 == 0) {
    ProjectFile(data + 1, size - 1);
  } else {
    GroupFile(data + 1, size - 1);
  }
  return 0;
}
