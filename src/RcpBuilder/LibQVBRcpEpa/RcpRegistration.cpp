// A registration that writes the attribute file and the registry all or
// nothing: the record, the registry, then the file.
#include "LibQVBRcpEpa.h"
#include "RcpProjectFile.h"
#include "RcpStorePath.h"
#include "libqvecommon/QVEEngPath.h"
#include "platform/Env.h"

namespace {

constexpr char kRecordName[] = ".RcpPJTAttr.txt.register";

CString RecordPath(const CString& projectDirectory) {
  CString recipe = QVEEngJoinPath(projectDirectory.c_str(), "Recipe");
  return QVEEngJoinPath(recipe.c_str(), kRecordName);
}

struct Record {
  CString name;
  CString directory;
  _QVERcpProjectInfo info{};
};

// 0 and the record when one is there and reads; otherwise why not.
uint32_t ReadRecord(const CString& path, Record* record) {
  if (uint32_t rc = rcppath::Check(path.c_str())) return rc;
  record->info.nStatus = 2;
  return rcptext::ReadKeywordFile(path, [&](const rcptext::KeywordLine& line) {
    if (line.keyword == "PROJECT") record->name = line.value;
    if (line.keyword == "PATH") record->directory = line.value;
    rcpproject::ApplyAttributeLine(line, &record->info);
  });
}

// The registration commits when the station registers the name for the directory.
bool Committed(const Record& record) {
  return !record.name.empty() && rcpproject::RegisteredDirectory(record.name) == record.directory;
}

}  // namespace

namespace rcpproject {

uint32_t Register(const CString& name, const _QVERcpProjectInfo& info) {
  if (info.nStatus != 1 && info.nStatus != 2) return QVC_ERR_CANNOT_EXECUTE;
  std::vector<CStringArray> lines = {{"PROJECT", name}, {"PATH", info.strPath}};
  for (CStringArray& line : AttributeLines(info)) lines.push_back(std::move(line));
  CString record = RecordPath(info.strPath);
  if (uint32_t rc = rcppath::Check(record.c_str())) return rc;
  if (uint32_t rc = rcptext::WriteKeywordFile(record, lines)) return rc;
  // The name changes last: a registration that fails before it leaves only
  // the record, which the settling drops. The new attributes are in force
  // exactly when the station registers the name there; a failure after that
  // (a flush) is reported, and the next lock of the project finishes it.
  uint32_t registered = CQVERcpUtil::SetProjectInfo(name.c_str(), &info, 0);
  uint32_t settled = SettleRegistration(info.strPath);
  if (RegisteredDirectory(name) == info.strPath) return settled;
  return registered != 0 ? registered : QVC_ERR_CANNOT_EXECUTE;
}

CString CommittedRegistration(const CString& projectDirectory) {
  Record record;
  CString path = RecordPath(projectDirectory);
  qvplatform::FileStat st;
  if (qvplatform::CurrentEnv()->StatEntry(path, &st) != 0) return {};
  return ReadRecord(path, &record) == 0 && Committed(record) ? path : CString();
}

uint32_t SettleRegistration(const CString& projectDirectory) {
  CString path = RecordPath(projectDirectory);
  qvplatform::Env* env = qvplatform::CurrentEnv();
  qvplatform::FileStat st;
  if (env->StatEntry(path, &st) != 0) return 0;
  Record record;
  if (ReadRecord(path, &record) == 0 && Committed(record)) {
    record.info.strPath = record.directory;
    CString recipe = QVEEngJoinPath(projectDirectory.c_str(), "Recipe");
    if (uint32_t rc = rcptext::WriteKeywordFile(QVEEngJoinPath(recipe.c_str(), "RcpPJTAttr.txt"),
                                                AttributeLines(record.info))) {
      return rc;
    }
  }
  if (uint32_t rc = env->RemoveFile(path)) return rc;
  return env->SyncDirectory(QVEEngJoinPath(projectDirectory.c_str(), "Recipe"));
}

}  // namespace rcpproject
